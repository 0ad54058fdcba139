#include "IdentityJson.h"

#include "ImageHeader.h"
#include "Sha256.h"
#include "UpdateDlg.h"
#include "Utf8Text.h"

namespace {

// A header text is quoted at most this far; a loaded image's are short.
constexpr std::size_t kLongestHeaderText = 24;  // bytes

std::string ImageBuildTime(std::span<const std::uint8_t> image) {
    return PrintableAscii(ImageHeaderText(image, kImageBuildDateOffset), kLongestHeaderText) + " " +
           PrintableAscii(ImageHeaderText(image, kImageBuildTimeOffset), kLongestHeaderText);
}

void FirmwareMember(JsonObject& change, std::string_view name, const std::optional<FirmwareState>& state) {
    if (!state) {
        change.Null(name);
        return;
    }
    JsonObject firmware;
    firmware.Number("version", state->version);
    firmware.Text("build_time", state->buildTime);
    change.Object(name, firmware);
}

// Whether the run sent the image's pages to the flash.
bool FlashWritten(const RunEnd& end) {
    return end.found && !end.nothingToWrite && end.phase >= PHASE_WRITE;
}

}  // namespace

JsonObject ImageJson(std::span<const std::uint8_t> image, std::string_view source) {
    JsonObject json;
    json.Text("source", source);
    json.Number("version", ImageVersion(image));
    json.Text("build_time", ImageBuildTime(image));
    json.Number("size", image.size());
    json.Text("sha256", Sha256Hex(image));
    return json;
}

JsonObject InstrumentJson(const RunFacts::Identity& id) {
    JsonObject identity;
    if (id.serialNumber) {
        identity.Number("device_type", id.firmwareType.value_or(id.identifiedType));
        identity.Number("serial_number", *id.serialNumber);
        identity.Text("manufactured", std::to_string(id.month) + "/" + std::to_string(id.year));
        if (id.firmwareType) {
            identity.Number("firmware_version", id.firmwareVersion);
            identity.Text("firmware_build_time", id.firmwareDate + " " + id.firmwareTime);
            identity.Number("reprogrammings", id.reprogrammings);
        }
    }
    return identity;
}

FirmwareChange FirmwareChangeOf(const RunFacts::Identity& id, std::span<const std::uint8_t> image,
                                const RunEnd& end) {
    FirmwareChange change;
    if (id.firmwareType) {
        change.before = FirmwareState{id.firmwareVersion, id.firmwareDate + " " + id.firmwareTime};
    }
    if (FlashWritten(end)) {
        if (end.success) {
            change.after = FirmwareState{ImageVersion(image), ImageBuildTime(image)};
        }
    } else {
        change.after = change.before;
    }
    return change;
}

JsonObject FirmwareChangeJson(const RunFacts::Identity& id, std::span<const std::uint8_t> image,
                              const RunEnd& end) {
    const FirmwareChange change = FirmwareChangeOf(id, image, end);
    JsonObject json;
    FirmwareMember(json, "before", change.before);
    FirmwareMember(json, "after", change.after);
    return json;
}

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

JsonObject Firmware(std::uint64_t version, const std::string& buildTime) {
    JsonObject firmware;
    firmware.Number("version", version);
    firmware.Text("build_time", buildTime);
    return firmware;
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

JsonObject InstrumentJson(const SessionLog::Identity& id) {
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

JsonObject FirmwareChangeJson(const SessionLog::Identity& id, std::span<const std::uint8_t> image,
                              const RunEnd& end) {
    JsonObject change;
    const bool known = id.firmwareType.has_value();
    const JsonObject before = Firmware(id.firmwareVersion, id.firmwareDate + " " + id.firmwareTime);
    if (known) {
        change.Object("before", before);
    } else {
        change.Null("before");
    }
    if (FlashWritten(end) && end.success) {
        change.Object("after", Firmware(ImageVersion(image), ImageBuildTime(image)));
    } else if (!FlashWritten(end) && known) {
        change.Object("after", before);
    } else {
        change.Null("after");
    }
    return change;
}

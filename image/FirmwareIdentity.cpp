#include "FirmwareIdentity.h"

#include <ctime>

#include "BuildDate.h"
#include "ImageHeader.h"
#include "Sha256.h"

namespace {

constexpr const char* kBuildTimeFormat = "%d/%m/%Y %H:%M:%S";  // as the About box shows a build

// "version 6, built 20/06/2011 09:15:48", or why there is none.
std::string HeaderIdentity(std::span<const std::uint8_t> firmware) {
    std::time_t built = 0;
    if (firmware.size() < kMinImageSize || firmware.size() > kMaxImageSize ||
        ParseBuildDate(ImageHeaderText(firmware, kImageBuildDateOffset),
                       ImageHeaderText(firmware, kImageBuildTimeOffset), built) != BUILD_DATE_PARSED) {
        return "the image's header cannot be read";
    }
    return "version " + std::to_string(ImageVersion(firmware)) + ", built " +
           FormatLocalTime(built, kBuildTimeFormat);
}

}  // namespace

std::string VersionText(std::string_view program, std::string_view programVersion,
                        std::span<const std::uint8_t> firmware) {
    std::string text(program);
    text.append(" ").append(programVersion).append("\n");
    if (firmware.empty()) {
        return text + "Firmware: none\n";
    }
    text += "Firmware: " + HeaderIdentity(firmware) + ", " + std::to_string(firmware.size()) +
            " bytes\n";
    text += "SHA-256: " + Sha256Hex(firmware) + "\n";
    return text;
}

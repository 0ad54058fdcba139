#include "ImageFile.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "BuildDate.h"
#include "FirmwareImage.h"
#include "Sha256.h"
#include "Utf8Text.h"

namespace {

// A header text is quoted in a message only this far: a garbage file has
// no terminator where one is due, and its bytes are no text to show.
constexpr std::size_t kLongestQuotedHeaderText = 24;  // bytes

std::string Quoted(std::string_view headerText) {
    return "\"" + PrintableAscii(headerText, kLongestQuotedHeaderText) + "\"";
}

std::string SizeCheckFailure(std::uintmax_t size) {
    // Within the format but beyond what the verification can read back.
    std::string why;
    if (size >= kMinImageSize && size <= kMaxImageSize) {
        char address[8];
        std::snprintf(address, sizeof address, "0x%04X", unsigned{kFinalQueryAddress});
        why = std::string(", the verification could not read back its block at ") + address +
              " (that address asks for the checksum)";
    }
    return "size check failed: " + std::to_string(size) + " bytes" + why + ", an image holds " +
           std::to_string(kMinImageSize) + " to " + std::to_string(kMaxVerifiableImageSize) +
           " bytes";
}

}  // namespace

std::optional<std::string> CheckImage(std::span<const std::uint8_t> image) {
    if (image.size() < kMinImageSize || image.size() > kMaxVerifiableImageSize) {
        return SizeCheckFailure(image.size());
    }
    const std::string_view date = ImageHeaderText(image, kImageBuildDateOffset);
    const std::string_view time = ImageHeaderText(image, kImageBuildTimeOffset);
    std::time_t buildTime = PresetBuildTime();
    switch (ParseBuildDate(date, time, buildTime)) {
        case BUILD_DATE_PARSED:
            return std::nullopt;
        case BUILD_DATE_BAD_MONTH:
            return "build date check failed: no month name in " + Quoted(date) +
                   " at offset " + std::to_string(kImageBuildDateOffset);
        default:
            return "build date and time check failed: " + Quoted(date) + " at offset " +
                   std::to_string(kImageBuildDateOffset) + " and " + Quoted(time) +
                   " at offset " + std::to_string(kImageBuildTimeOffset) +
                   " do not parse as \"Jun 20 2011\" and \"09:15:48\"";
    }
}

ImageFile ReadImageFile(const std::string& path) {
    ImageFile file;
    std::error_code error;
    const std::filesystem::path filePath = std::filesystem::path(std::u8string(path.begin(), path.end()));
    if (!std::filesystem::is_regular_file(filePath, error)) {
        file.error = "cannot read the file: no such file";
        return file;
    }
    // Anything larger is no image; reading it whole would only cost memory.
    const std::uintmax_t size = std::filesystem::file_size(filePath, error);
    if (!error && size > kMaxVerifiableImageSize) {
        file.error = SizeCheckFailure(size);
        return file;
    }
    std::ifstream stream(filePath, std::ios::binary);
    file.bytes.assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
    if (!stream.good() && !stream.eof()) {
        file.error = "cannot read the file";
        return file;
    }
    if (const std::optional<std::string> failed = CheckImage(file.bytes)) {
        file.error = *failed;
        return file;
    }
    file.sha256Hex = Sha256Hex(file.bytes);
    return file;
}

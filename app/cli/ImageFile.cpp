#include "ImageFile.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "BuildDate.h"
#include "CliLanguage.h"
#include "FirmwareImage.h"
#include "Sha256.h"
#include "Utf8Text.h"

namespace {

// A header text is quoted in a message only this far: a garbage file has
// no terminator where one is due, and its bytes are no text to show.
constexpr std::size_t kLongestQuotedHeaderText = 24;  // bytes

std::string Quoted(std::string_view headerText) {
    std::string quoted(1, '"');
    quoted += PrintableAscii(headerText, kLongestQuotedHeaderText);
    quoted += '"';
    return quoted;
}

std::string Words(std::string_view english, std::string_view russian) {
    return std::string(Say(english, russian));
}

std::string SizeCheckFailure(std::uintmax_t size) {
    // Within the format but beyond what the verification can read back.
    std::string why;
    if (size >= kMinImageSize && size <= kMaxImageSize) {
        char address[8];
        std::snprintf(address, sizeof address, "0x%04X", unsigned{kFinalQueryAddress});
        why = Words(", the verification could not read back its block at ",
                    ", проверка не смогла бы прочитать его блок по адресу ") +
              address +
              Words(" (that address asks for the checksum)", " (этот адрес запрашивает контрольную сумму)");
    }
    return Words("size check failed: ", "проверка размера не пройдена: ") + std::to_string(size) +
           Words(" bytes", " байт") + why + Words(", an image holds ", ", образ содержит от ") +
           std::to_string(kMinImageSize) + Words(" to ", " до ") + std::to_string(kMaxVerifiableImageSize) +
           Words(" bytes", " байт");
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
            return Words("build date check failed: no month name in ",
                         "проверка даты сборки не пройдена: нет названия месяца в ") +
                   Quoted(date) + Words(" at offset ", " по смещению ") + std::to_string(kImageBuildDateOffset);
        default:
            return Words("build date and time check failed: ",
                         "проверка даты и времени сборки не пройдена: ") +
                   Quoted(date) + Words(" at offset ", " по смещению ") +
                   std::to_string(kImageBuildDateOffset) + Words(" and ", " и ") + Quoted(time) +
                   Words(" at offset ", " по смещению ") + std::to_string(kImageBuildTimeOffset) +
                   Words(" do not parse as \"Jun 20 2011\" and \"09:15:48\"",
                         " не читаются как \"Jun 20 2011\" и \"09:15:48\"");
    }
}

ImageFile ReadImageFile(const std::string& path) {
    ImageFile file;
    std::error_code error;
    const std::filesystem::path filePath = std::filesystem::path(std::u8string(path.begin(), path.end()));
    if (!std::filesystem::is_regular_file(filePath, error)) {
        file.error = Words("cannot read the file: no such file", "файл не читается: такого файла нет");
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
        file.error = Words("cannot read the file", "файл не читается");
        return file;
    }
    if (const std::optional<std::string> failed = CheckImage(file.bytes)) {
        file.error = *failed;
        return file;
    }
    file.sha256Hex = Sha256Hex(file.bytes);
    return file;
}

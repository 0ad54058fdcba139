#include "FirmwareSeed.h"

#include "Flash.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace sim {
namespace {

// The year sits at characters 7..10 of "Mmm dd yyyy".
constexpr std::size_t kYearPosition = 7;
constexpr int kYearDigits = 4;
constexpr char kUnparseableDate[] = "??? ?? ????";  // no month is named "???"
constexpr char kOldestDate[] = "Jan 01 2000";
constexpr char kLatestDate[] = "Dec 31 2099";

bool ReadYear(const std::uint8_t* text, int& year) {
    year = 0;
    for (int i = 0; i < kYearDigits; ++i) {
        const std::uint8_t digit = text[kYearPosition + static_cast<std::size_t>(i)];
        if (digit < '0' || digit > '9') {
            return false;
        }
        year = year * 10 + (digit - '0');
    }
    return true;
}

void WriteText(std::uint8_t* at, const char* text) {
    std::memcpy(at, text, kBuildDateLength);
}

}  // namespace

bool LoadSeedImage(const std::string& path, std::vector<std::uint8_t>& image, std::string& error) {
    if (path.empty()) {
        image = EmbeddedFirmware();
        if (image.empty()) {
            error = "this build carries no embedded firmware; name an image with --firmware";
            return false;
        }
        return true;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read firmware image " + path;
        return false;
    }
    image.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (image.size() > kFlashSize - 1) {
        error = "firmware image " + path + " does not fit the flash";
        return false;
    }
    return true;
}

void SetBuildDate(std::vector<std::uint8_t>& image, FirmwareDate date) {
    if (date == FirmwareDate::Same) {
        return;
    }
    if (image.size() < kBuildDateOffset + kBuildDateLength) {
        image.resize(kBuildDateOffset + kBuildDateLength, 0xFF);
    }
    std::uint8_t* text = image.data() + kBuildDateOffset;
    int year = 0;
    const bool hasYear = ReadYear(text, year);
    if (date == FirmwareDate::Unparseable) {
        WriteText(text, kUnparseableDate);
        return;
    }
    const int shifted = year + (date == FirmwareDate::Older ? -1 : 1);
    if (!hasYear || shifted < 1000 || shifted > 9999) {
        WriteText(text, date == FirmwareDate::Older ? kOldestDate : kLatestDate);
        return;
    }
    char digits[kYearDigits + 1];
    std::snprintf(digits, sizeof digits, "%04d", shifted);
    std::memcpy(text + kYearPosition, digits, kYearDigits);
}

}  // namespace sim

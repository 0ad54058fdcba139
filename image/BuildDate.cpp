#include "BuildDate.h"

#include <array>

namespace {

constexpr std::size_t kDateTextLength = 11;
constexpr std::size_t kTimeTextLength = 8;
constexpr std::size_t kMonthNameLength = 3;

constexpr std::array<std::string_view, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Fixed field positions: first character and width.
struct Field {
    std::size_t first;
    std::size_t width;
};
constexpr Field kDay{4, 2};
constexpr Field kYear{7, 4};
constexpr Field kHour{0, 2};
constexpr Field kMinute{3, 2};
constexpr Field kSecond{6, 2};

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// 1..12, or 0 when the name is no month; letter case does not matter.
int MonthNumber(std::string_view name) {
    for (std::size_t month = 0; month < kMonthNames.size(); ++month) {
        bool equal = true;
        for (std::size_t i = 0; i < kMonthNameLength; ++i) {
            equal = equal && AsciiUpper(name[i]) == AsciiUpper(kMonthNames[month][i]);
        }
        if (equal) {
            return static_cast<int>(month) + 1;
        }
    }
    return 0;
}

// A decimal field: leading blanks skipped, an optional sign, digits up to the
// first non-digit; no digits read as 0.
int ReadField(std::string_view text, Field field) {
    const std::string_view digits = text.substr(field.first, field.width);
    std::size_t i = 0;
    while (i < digits.size() && IsBlank(digits[i])) {
        ++i;
    }
    bool negative = false;
    if (i < digits.size() && (digits[i] == '+' || digits[i] == '-')) {
        negative = digits[i] == '-';
        ++i;
    }
    int value = 0;
    for (; i < digits.size() && digits[i] >= '0' && digits[i] <= '9'; ++i) {
        value = value * 10 + (digits[i] - '0');
    }
    return negative ? -value : value;
}

}  // namespace

int ParseBuildDate(std::string_view dateText, std::string_view timeText, std::time_t& out) {
    if (dateText.size() != kDateTextLength || timeText.size() != kTimeTextLength) {
        return BUILD_DATE_BAD_LENGTH;
    }
    const int month = MonthNumber(dateText.substr(0, kMonthNameLength));
    if (month == 0) {
        return BUILD_DATE_BAD_MONTH;
    }
    out = MakeLocalTime(ReadField(dateText, kYear), month, ReadField(dateText, kDay),
                        ReadField(timeText, kHour), ReadField(timeText, kMinute),
                        ReadField(timeText, kSecond));
    return BUILD_DATE_PARSED;
}

std::time_t MakeLocalTime(int year, int month, int day, int hour, int minute, int second) {
    constexpr int kTmYearBase = 1900;
    std::tm fields{};
    fields.tm_year = year - kTmYearBase;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;  // let the conversion decide daylight saving
    return std::mktime(&fields);
}

std::time_t PresetBuildTime() {
    return MakeLocalTime(2000, 1, 1, 0, 0, 0);
}

std::string FormatLocalTime(std::time_t time, const char* format) {
    std::tm fields{};
    if (localtime_r(&time, &fields) == nullptr) {
        return {};
    }
    std::array<char, 128> text{};
    const std::size_t length = std::strftime(text.data(), text.size(), format, &fields);
    return std::string(text.data(), length);
}

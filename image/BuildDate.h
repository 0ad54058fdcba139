// Build stamps: the pair of texts "Jun 20 2011" and "09:15:48" as found in
// the firmware image, reported by the instrument and stamped into this
// program, turned into a calendar time, and calendar times formatted back.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

inline constexpr int BUILD_DATE_PARSED = 0;
inline constexpr int BUILD_DATE_BAD_LENGTH = 1;  // date not 11 characters, or time not 8
inline constexpr int BUILD_DATE_BAD_MONTH = 2;   // the first three characters name no month

// Parses an 11-character date text (three-letter English month name in any
// letter case, blank, two-character day, blank, four-digit year) and an
// 8-character time text (hh:mm:ss) as local time, daylight saving decided by
// the conversion. Fields are read at fixed positions and not range-checked.
// On BUILD_DATE_PARSED `out` holds the time; on any other result it is
// left unchanged.
int ParseBuildDate(std::string_view dateText, std::string_view timeText, std::time_t& out);

// `time` as local time through strftime `format` (the dialogs use "%d/%m/%Y"
// and "%d/%m/%Y %H:%M:%S"). Empty when the time cannot be represented.
std::string FormatLocalTime(std::time_t time, const char* format);

// The calendar time of the given local date and time, daylight saving decided
// by the conversion.
std::time_t MakeLocalTime(int year, int month, int day, int hour, int minute, int second);

// 1 January 2000 00:00:00 local time: the build time held until a stamp has
// been read, so that any firmware built since counts as newer.
std::time_t PresetBuildTime();

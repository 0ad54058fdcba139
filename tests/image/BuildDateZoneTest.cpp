// The build date in a time zone with summer time, set through TZ and the
// zone database of the system: a Linux test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "BuildDate.h"

namespace {

TEST(ParseBuildDate, DaylightSavingIsDecidedByTheConversion) {
    // In a zone with summer time, a summer date must not come out an hour off.
    const char* previous = std::getenv("TZ");
    const std::string saved = previous ? previous : "";
    setenv("TZ", "Europe/Moscow", 1);  // summer time in 2010, none in 2011
    tzset();
    std::time_t summer = 0;
    ASSERT_EQ(ParseBuildDate("Jul 01 2010", "12:00:00", summer), BUILD_DATE_PARSED);
    EXPECT_EQ(FormatLocalTime(summer, "%H:%M:%S"), "12:00:00");
    EXPECT_EQ(summer, 1277971200);  // 08:00:00 UTC: MSD is UTC+4
    if (previous) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

}  // namespace

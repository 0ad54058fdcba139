#include "BuildDate.h"

#include <gtest/gtest.h>

namespace {

struct ParsedCase {
    const char* date;
    const char* time;
    const char* expected;  // "%d/%m/%Y %H:%M:%S"
};

class ParsesTo : public ::testing::TestWithParam<ParsedCase> {};

TEST_P(ParsesTo, LocalTime) {
    std::time_t parsed = 0;
    ASSERT_EQ(ParseBuildDate(GetParam().date, GetParam().time, parsed), BUILD_DATE_PARSED);
    EXPECT_EQ(FormatLocalTime(parsed, "%d/%m/%Y %H:%M:%S"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParsesTo,
    ::testing::Values(ParsedCase{"Jun 20 2011", "09:15:48", "20/06/2011 09:15:48"},
                      ParsedCase{"Jul 22 2011", "08:07:33", "22/07/2011 08:07:33"},
                      ParsedCase{"Dec  5 2011", "23:59:59", "05/12/2011 23:59:59"},  // blank-padded
                      ParsedCase{"jan 05 2012", "00:00:00", "05/01/2012 00:00:00"},  // lower case
                      ParsedCase{"fEB 29 2012", "12:00:00", "29/02/2012 12:00:00"},
                      ParsedCase{"Jun 20 2011", "9:15:48 ", "20/06/2011 09:05:08"},  // fixed places
                      ParsedCase{"Jun 20 2011", "ab:cd:ef", "20/06/2011 00:00:00"},
                      ParsedCase{"Apr 31 2011", "00:00:00", "01/05/2011 00:00:00"}));  // unchecked

struct RejectedCase {
    const char* date;
    const char* time;
    int result;
};

class Rejects : public ::testing::TestWithParam<RejectedCase> {};

TEST_P(Rejects, AndLeavesTheOutputUnchanged) {
    std::time_t parsed = 123456;
    EXPECT_EQ(ParseBuildDate(GetParam().date, GetParam().time, parsed), GetParam().result);
    EXPECT_EQ(parsed, 123456);
}

INSTANTIATE_TEST_SUITE_P(Cases, Rejects,
                         ::testing::Values(RejectedCase{"Jun 20 201", "09:15:48", 1},
                                           RejectedCase{"Jun 20 20111", "09:15:48", 1},
                                           RejectedCase{"Jun 20 2011", "09:15:4", 1},
                                           RejectedCase{"Jun 20 2011", "09:15:480", 1},
                                           RejectedCase{"", "", 1},
                                           RejectedCase{"Jux 20 2011", "09:15:48", 2},
                                           RejectedCase{"20 Jun 2011", "09:15:48", 2},
                                           RejectedCase{"Ju  20 2011", "09:15:48", 2}));

TEST(ParseBuildDate, EmbeddedNulCountsAsACharacter) {
    // Texts taken from a reply are as long as the reply made them.
    std::time_t parsed = 0;
    const std::string date("Jun 2\0 2011", 11);
    EXPECT_EQ(ParseBuildDate(date, "09:15:48", parsed), BUILD_DATE_PARSED);
    EXPECT_EQ(FormatLocalTime(parsed, "%d/%m/%Y"), "02/06/2011");
}

TEST(MakeLocalTime, IsTheInverseOfFormatLocalTime) {
    EXPECT_EQ(FormatLocalTime(MakeLocalTime(2000, 1, 1, 0, 0, 0), "%d/%m/%Y %H:%M:%S"),
              "01/01/2000 00:00:00");
}

}  // namespace

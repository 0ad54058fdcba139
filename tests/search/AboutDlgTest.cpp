// The About box's version line from the build stamp.
#include "AboutDlg.h"

#include <gmock/gmock.h>

namespace {

struct StampCase {
    const char* date;
    const char* time;
    const char* line;
};

class AboutVersionLine : public testing::TestWithParam<StampCase> {};

TEST_P(AboutVersionLine, ShowsTheBuildTimeOrUnknown) {
    const StampCase& c = GetParam();
    EXPECT_EQ(CAboutDlg(nullptr, {c.date, c.time}).GetVersionLine(), c.line);
}

INSTANTIATE_TEST_SUITE_P(
    About, AboutVersionLine,
    testing::Values(StampCase{"Mar 05 2012", "09:04:07", "Версия 1.0 от 05/03/2012 09:04:07"},
                    // the compiler pads a one-digit day with a blank
                    StampCase{"Mar  5 2012", "09:04:07", "Версия 1.0 от 05/03/2012 09:04:07"},
                    StampCase{"Jul 22 2011", "08:07:33", "Версия 1.0 от 22/07/2011 08:07:33"},
                    StampCase{"Mar 5 2012", "09:04:07", "Неизвестно"},
                    StampCase{"Mar 05 2012", "9:04:07", "Неизвестно"},
                    StampCase{"Mrz 05 2012", "09:04:07", "Неизвестно"},
                    StampCase{"", "", "Неизвестно"}));

TEST(About, ThisProgramsOwnStampIsReadable) {
    EXPECT_THAT(CAboutDlg().GetVersionLine(), testing::StartsWith("Версия 1.0 от "));
}

}  // namespace

// On Windows a port that another program holds refuses the open with access
// denied: the operator is told it is busy, never to change Linux groups.
#include <gmock/gmock.h>

#include "PortOpenFailure.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST(PortOpenWording, AccessDeniedAndSharingViolationMeanBusy) {
    for (const DWORD code : {DWORD{ERROR_ACCESS_DENIED}, DWORD{ERROR_SHARING_VIOLATION}}) {
        EXPECT_EQ(PortOpenStatus("COM4", static_cast<LONG>(code)),
                  "Порт COM4 занят другой программой");
        const std::string note = DescribePortOpenFailure("COM4", static_cast<LONG>(code));
        EXPECT_THAT(note, HasSubstr("занят другой программой"));
        EXPECT_THAT(note, Not(HasSubstr("dialout")));
    }
}

TEST(PortOpenWording, AMissingPortIsUnavailable) {
    EXPECT_EQ(PortOpenStatus("COM9", ERROR_FILE_NOT_FOUND), "Порт COM9 недоступен");
    EXPECT_THAT(DescribePortOpenFailure("COM9", ERROR_FILE_NOT_FOUND),
                HasSubstr("Нет такого устройства"));
    EXPECT_THAT(DescribePortOpenFailure("COM9", ERROR_GEN_FAILURE), HasSubstr("код ошибки 31"));
}

}  // namespace

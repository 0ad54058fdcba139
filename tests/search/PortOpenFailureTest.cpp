// What the status line and its note say when a port does not open, on
// Linux (Windows: tests/windows/PortOpenWordingTest.cpp).
#include "PortOpenFailure.h"

#include <gmock/gmock.h>

#include "winapi_errors.h"

namespace {

struct FailureCase {
    DWORD code;
    const char* says;
};

class PortOpenFailureNote : public testing::TestWithParam<FailureCase> {};

TEST_P(PortOpenFailureNote, NamesTheReasonAndThePort) {
    const std::string note = DescribePortOpenFailure("COM7", static_cast<LONG>(GetParam().code));
    EXPECT_THAT(note, testing::HasSubstr(GetParam().says));
    EXPECT_THAT(note, testing::HasSubstr("COM7"));
}

TEST(PortOpenFailureStatus, IsUnavailableWhateverTheReason) {
    for (const DWORD code : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION}) {
        EXPECT_EQ(PortOpenStatus("COM7", static_cast<LONG>(code)), "Порт COM7 недоступен");
    }
}

INSTANTIATE_TEST_SUITE_P(
    PortDialog, PortOpenFailureNote,
    testing::Values(FailureCase{ERROR_FILE_NOT_FOUND, "Нет такого устройства"},
                    FailureCase{ERROR_ACCESS_DENIED, "группу dialout"},
                    FailureCase{ERROR_SHARING_VIOLATION, "занят другой программой"},
                    FailureCase{ERROR_GEN_FAILURE, "код ошибки 31"}));

}  // namespace

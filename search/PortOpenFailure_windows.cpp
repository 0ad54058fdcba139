// On Windows every user may open a COM port; a port that another program
// holds refuses the open with access denied (some drivers: sharing
// violation). Both mean busy, and the status line says so.
#include "FormatText.h"
#include "PortOpenFailure.h"
#include "PortOpenTexts.h"
#include "winapi_errors.h"

namespace {

bool HeldByAnotherProgram(LONG code) {
    const auto error = static_cast<DWORD>(code);
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

}  // namespace

std::string PortOpenStatus(const std::string& portName, LONG code) {
    return FormatText(HeldByAnotherProgram(code) ? kPortBusyStatus : kPortUnavailableStatus,
                      portName.c_str());
}

std::string DescribePortOpenFailure(const std::string& portName, LONG code) {
    if (HeldByAnotherProgram(code)) {
        return FormatText(kPortBusyNote, portName.c_str());
    }
    if (static_cast<DWORD>(code) == ERROR_FILE_NOT_FOUND) {
        return FormatText(kNoSuchPortNote, portName.c_str());
    }
    return FormatText(kPortFailedNote, portName.c_str(), static_cast<long>(code));
}

// On Linux a port can also be closed to this user: the serial devices
// belong to the group dialout.
#include "FormatText.h"
#include "PortOpenFailure.h"
#include "PortOpenTexts.h"
#include "winapi_errors.h"

std::string PortOpenStatus(const std::string& portName, LONG) {
    return FormatText(kPortUnavailableStatus, portName.c_str());
}

std::string DescribePortOpenFailure(const std::string& portName, LONG code) {
    switch (static_cast<DWORD>(code)) {
        case ERROR_FILE_NOT_FOUND:
            return FormatText(kNoSuchPortNote, portName.c_str());
        case ERROR_ACCESS_DENIED:
            return FormatText(
                "Нет доступа к порту %s: у пользователя нет прав на него. "
                "Добавьте пользователя в группу dialout "
                "(sudo usermod -aG dialout $USER) и войдите в систему заново.",
                portName.c_str());
        case ERROR_SHARING_VIOLATION:
            return FormatText(kPortBusyNote, portName.c_str());
        default:
            return FormatText(kPortFailedNote, portName.c_str(), static_cast<long>(code));
    }
}

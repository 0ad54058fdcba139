#include "PortOpenFailure.h"

#include "FormatText.h"
#include "winapi_errors.h"

std::string DescribePortOpenFailure(const std::string& portName, LONG code) {
    switch (static_cast<DWORD>(code)) {
        case ERROR_FILE_NOT_FOUND:
            return FormatText(
                "Нет такого устройства: порт %s в системе не найден. "
                "Проверьте подключение кабеля и выберите другой порт.",
                portName.c_str());
        case ERROR_ACCESS_DENIED:
            // The serial layer, like the system it stands for, reports a port that
            // another program holds with the same code as a lack of rights.
            return FormatText(
                "Нет доступа к порту %s: порт занят другой программой или у "
                "пользователя нет прав на него. Закройте программу, которая "
                "держит порт; если порт свободен, добавьте пользователя в группу "
                "dialout (sudo usermod -aG dialout $USER) и войдите в систему заново.",
                portName.c_str());
        case ERROR_SHARING_VIOLATION:
            return FormatText("Порт %s занят другой программой. Закройте её и выберите порт снова.",
                              portName.c_str());
        default:
            return FormatText("Порт %s не открывается (код ошибки %ld).", portName.c_str(),
                              static_cast<long>(code));
    }
}

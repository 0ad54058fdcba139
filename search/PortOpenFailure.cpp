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
            return FormatText(
                "Нет доступа к порту %s: у пользователя нет прав на него. "
                "Добавьте пользователя в группу dialout "
                "(sudo usermod -aG dialout $USER) и войдите в систему заново.",
                portName.c_str());
        case ERROR_SHARING_VIOLATION:
            return FormatText("Порт %s занят другой программой. Закройте её и выберите порт снова.",
                              portName.c_str());
        default:
            return FormatText("Порт %s не открывается (код ошибки %ld).", portName.c_str(),
                              static_cast<long>(code));
    }
}

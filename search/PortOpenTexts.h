// The words for a port that did not open, shared by both systems' mapping
// from result codes (PortOpenFailure_linux.cpp, PortOpenFailure_windows.cpp).
// printf formats in UTF-8; %s is the port's name ("COM3"), %ld the code.
#pragma once

// The status line.
inline constexpr const char* kPortUnavailableStatus = "Порт %s недоступен";
inline constexpr const char* kPortBusyStatus = "Порт %s занят другой программой";

// The status line's note.
inline constexpr const char* kNoSuchPortNote =
    "Нет такого устройства: порт %s в системе не найден. "
    "Проверьте подключение кабеля и выберите другой порт.";
inline constexpr const char* kPortBusyNote =
    "Порт %s занят другой программой. Закройте её и выберите порт снова.";
inline constexpr const char* kPortFailedNote = "Порт %s не открывается (код ошибки %ld).";

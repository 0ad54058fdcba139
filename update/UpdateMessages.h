// Texts that both sides of the update dialog show: the pump's watchdog and
// the replies that count the switches between the instrument's programs.
#pragma once

inline constexpr const char* kCannotEnterLoaderText =
    "Невозможно войти в загрузчик!\nВыключите питание источника - далее читайте readme.txt\n";
inline constexpr const char* kCannotLeaveLoaderText =
    "Невозможно выйти из загрузчика!\nВыключите питание источника - далее читайте readme.txt\n";
inline constexpr const char* kNoLinkText = "Нет связи с Зирон-7!";
// The operator chose not to write into an instrument found in its bootloader.
inline constexpr const char* kStaysInLoaderText =
    "Зирон-7 остаётся в загрузчике, обновление не записано!\nВыключите питание источника - "
    "далее читайте readme.txt\n";

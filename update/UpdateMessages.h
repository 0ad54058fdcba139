// Texts that both sides of the update dialog show: the pump's watchdog and
// the replies that count the switches between the instrument's programs,
// and the log lines of the fast pace, which the sending and the receiving
// side both end.
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

// The log lines of a run at the fast pace: at its start, and when it goes on
// at the default pace after a repeat, a failed checksum or a failed
// verification.
inline constexpr const char* kFastPaceText = "Быстрый обмен: запись и проверка без паузы между кадрами";
inline constexpr const char* kRepeatSlowsText = "Повтор запроса: далее обычная скорость обмена";
inline constexpr const char* kChecksumSlowsText =
    "Ошибка контрольной суммы: далее обычная скорость обмена";
inline constexpr const char* kVerifyFailureSlowsText =
    "Ошибка проверки: далее обычная скорость обмена";

// printf-style formatting into a string, so the dialogs use their message
// formats exactly as written ("Поиск... Скорость %d"). UTF-8 in, UTF-8 out.
#pragma once

#include <string>

std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

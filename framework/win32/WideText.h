// Framework-internal: the program's UTF-8 texts to and from the window
// system's UTF-16.
#pragma once

#include <string>
#include <string_view>

std::wstring WidenUtf8(std::string_view text);
std::string NarrowToUtf8(std::wstring_view text);

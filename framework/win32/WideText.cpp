#include "WideText.h"

#include <windows.h>

std::wstring WidenUtf8(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int inLength = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), inLength, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), inLength, wide.data(), length);
    return wide;
}

std::string NarrowToUtf8(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int inLength = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), inLength, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), inLength, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

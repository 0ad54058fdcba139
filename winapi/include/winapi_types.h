// The Win32 base types as the serial classes use them, on Linux. Sizes follow
// Win32 (DWORD is 32 bits even where long is 64).
#pragma once

#include <cstdint>

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using UINT_PTR = std::uintptr_t;
using ULONG_PTR = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using HANDLE = void*;
using LPCSTR = const char*;

struct HWND__;
using HWND = HWND__*;  // a window known to the window-message service

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;
inline constexpr DWORD INFINITE = 0xFFFFFFFF;  // a wait without limit

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
using LONG_PTR = std::intptr_t;
using SIZE_T = std::uintptr_t;
using HANDLE = void*;
using LPVOID = void*;
using PVOID = void*;
using PHANDLE = HANDLE*;
using ULONG = std::uint32_t;
using BOOLEAN = std::uint8_t;
using LPCVOID = const void*;
using LPDWORD = DWORD*;
using LPCSTR = const char*;
using CHAR = char;
using WCHAR = char16_t;

struct HWND__;
using HWND = HWND__*;  // a window known to the window-message service

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;
inline constexpr DWORD INFINITE = 0xFFFFFFFF;  // a wait without limit
inline constexpr DWORD MAXDWORD = 0xFFFFFFFF;

// The Win32 calling-convention marker; only 32-bit Windows has more than one.
#define WINAPI
#define CALLBACK

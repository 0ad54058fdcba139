#!/usr/bin/env bash
# Compiles the serial classes against the real Win32 headers with the
# MinGW-w64 cross compiler, with the project's warnings as errors: they must
# use nothing but Win32 services (winapi/windows/winapi.h includes
# <windows.h>). A syntax check: linking would need the dialog framework.
set -euo pipefail
cd "$(dirname "$0")/.."

compiler=x86_64-w64-mingw32-g++-posix
flags=(-std=c++20 -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion -Werror
       -fsyntax-only -Iserial -Iwinapi/windows -Iframework -Ilink)

for source in serial/*.cpp; do
  "$compiler" "${flags[@]}" "$source"
done
echo "serial classes: compile against the Win32 headers"

#!/usr/bin/env bash
# Checks that a Windows program needs only DLLs that ship with Windows, so
# that it runs from a bare folder: lists its imports (objdump -p) and fails on
# any outside the system's own.
#   check-imports.sh PROGRAM.exe
set -euo pipefail

program="$1"
# The system's DLLs the program may use: kernel, window system, common
# controls, shell, graphics, multimedia timers, the C runtime every Windows
# carries.
allowed='^(kernel32|user32|comctl32|shell32|gdi32|advapi32|winmm|msvcrt)\.dll$'

imports=$(x86_64-w64-mingw32-objdump -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p')
if [[ -z "$imports" ]]; then
  echo "$program: no import table found" >&2
  exit 1
fi
status=0
while read -r dll; do
  if [[ ! "${dll,,}" =~ $allowed ]]; then
    echo "$program imports $dll, which does not ship with Windows" >&2
    status=1
  fi
done <<< "$imports"
echo "$(basename "$program") imports: $(echo $imports)"
exit $status

#!/usr/bin/env bash
# Runs a Windows program under Wine in a prefix of its own build folder, so
# that no run touches the user's ~/.wine: the emulator of the windows preset's
# tests. The prefix is made once (wineboot -i); later runs start in well
# under a second. The build folder's prefix has no display: its windows live
# in Wine's null graphics driver, so the dialog tests need no X server; and
# its COM1 leads nowhere (Wine would make it the machine's first serial port).
#   wine-run.sh PROGRAM.exe [ARGS...]
# WINEPREFIX, when set, names the prefix instead; it is made with the usual
# graphics driver (the end-to-end runs show their windows on a display).
set -euo pipefail

program="$1"
shift
headless=no
if [[ -z "${WINEPREFIX:-}" ]]; then
  headless=yes
  folder="$(cd "$(dirname "$program")" && pwd)"
  # The build folder: the nearest one up that holds CMakeCache.txt.
  while [[ "$folder" != / && ! -f "$folder/CMakeCache.txt" ]]; do
    folder="$(dirname "$folder")"
  done
  [[ "$folder" == / ]] && folder="$(cd "$(dirname "$program")" && pwd)"
  export WINEPREFIX="$folder/wine-prefix"
fi
export WINEDEBUG="${WINEDEBUG:--all}"
# No .NET or HTML engine: their installers would be offered on first start.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  mkdir -p "$WINEPREFIX"
  # Several tests may start at once: one makes the prefix, the others wait.
  (
    flock 9
    if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
      wineboot -i >/dev/null 2>&1
      if [[ "$headless" == yes ]]; then
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
        wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$WINEPREFIX/no-port" /f \
          >/dev/null 2>&1
      fi
      wineserver -w
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec wine "$program" "$@"

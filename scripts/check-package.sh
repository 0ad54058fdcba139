#!/usr/bin/env bash
# Builds the Debian package with CPack and checks what it holds: the program
# with its readme.txt, ziron7-cli beside it, the links that put both on the
# PATH, the simulated
# instrument, the menu entry with its icon, the documentation with the note
# on the dialout group, and the control fields.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${ZIRON7_BUILD_DIR:-build/default}
# ZIRON7_BUILT=1: the test command has built the programs.
if [[ -z "${ZIRON7_BUILT:-}" ]]; then
  if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake --preset default >/dev/null
  fi
  cmake --build "$build" -j "$(nproc)" --target ziron7-flasher ziron7-cli ziron7-sim ziron7_desktop_icons
fi
echo "== Debian package =="
rm -rf "$build/package"
cpack --config "$build/CPackConfig.cmake" -B "$build/package" >/dev/null
packages=("$build"/package/ziron7-flasher_*.deb)
[[ ${#packages[@]} -eq 1 && -f "${packages[0]}" ]] || { echo "no package was built" >&2; exit 1; }
deb=${packages[0]}
echo "$deb"

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

contents=$(dpkg-deb -c "$deb")
for path in \
  ./usr/lib/ziron7-flasher/ziron7-flasher \
  ./usr/lib/ziron7-flasher/readme.txt \
  ./usr/lib/ziron7-flasher/ziron7-cli \
  ./usr/bin/ziron7-sim \
  ./usr/share/applications/ziron7-flasher.desktop \
  ./usr/share/icons/hicolor/32x32/apps/ziron7-flasher.png \
  ./usr/share/icons/hicolor/16x16/apps/ziron7-flasher.png \
  ./usr/share/doc/ziron7-flasher/README.Debian \
  ./usr/share/doc/ziron7-flasher/copyright \
  ./usr/share/doc/ziron7-flasher/readme.txt; do
  grep -q " $path\$" <<<"$contents" || fail "the package lacks $path"
done
grep -q " ./usr/bin/ziron7-flasher -> ../lib/ziron7-flasher/ziron7-flasher\$" <<<"$contents" ||
  fail "usr/bin/ziron7-flasher does not link to the program"
grep -q "^-rwxr-xr-x .* ./usr/lib/ziron7-flasher/ziron7-flasher\$" <<<"$contents" ||
  fail "the program is not executable"
grep -q " ./usr/bin/ziron7-cli -> ../lib/ziron7-flasher/ziron7-cli\$" <<<"$contents" ||
  fail "usr/bin/ziron7-cli does not link to the console program"
grep -q "^-rwxr-xr-x .* ./usr/lib/ziron7-flasher/ziron7-cli\$" <<<"$contents" ||
  fail "the console program is not executable"

info=$(dpkg-deb -I "$deb")
for field in "Package: ziron7-flasher" "Version: " "Architecture: amd64" "Section: electronics"; do
  grep -q "^ $field" <<<"$info" || fail "control field '$field' missing"
done
grep -q "^ Depends: .*libqt6widgets6" <<<"$info" || fail "Depends does not name the Qt widgets"
grep -q "^ Depends: .*qt6-qpa-plugins" <<<"$info" || fail "Depends does not name the display plugins"

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
cmp -s app/readme.txt "$unpacked/usr/lib/ziron7-flasher/readme.txt" ||
  fail "readme.txt next to the program differs from app/readme.txt"
grep -q "adduser .* dialout" "$unpacked/usr/share/doc/ziron7-flasher/README.Debian" ||
  fail "the documentation lacks the dialout note"
grep -q "^Exec=ziron7-flasher\$" "$unpacked/usr/share/applications/ziron7-flasher.desktop" ||
  fail "the menu entry does not start the program"
grep -q "^Icon=ziron7-flasher\$" "$unpacked/usr/share/applications/ziron7-flasher.desktop" ||
  fail "the menu entry has no icon"
desktop-file-validate "$unpacked/usr/share/applications/ziron7-flasher.desktop" ||
  fail "the menu entry is not valid"
[[ "$(head -c 4 "$unpacked/usr/share/icons/hicolor/32x32/apps/ziron7-flasher.png" | tail -c 3)" == PNG ]] ||
  fail "the 32x32 icon is not a PNG"
# Read whole before it is searched: grep -q leaving early would end a long
# help with a broken pipe.
sim_help=$("$unpacked/usr/bin/ziron7-sim" --help) || fail "the packaged simulator does not run"
grep -q "^Usage: ziron7-sim" <<<"$sim_help" || fail "the packaged simulator's help lacks its usage"
# The console program needs no display: its help and the exit codes in it.
cli_help=$(unset DISPLAY WAYLAND_DISPLAY; "$unpacked/usr/lib/ziron7-flasher/ziron7-cli" --help) ||
  fail "the packaged console program does not run"
grep -q "^  130  interrupted" <<<"$cli_help" || fail "the console program's help lacks its exit codes"

if ((failures > 0)); then
  echo "$failures package check(s) failed" >&2
  exit 1
fi
echo "package contents and control fields: ok"

#!/usr/bin/env bash
# Builds the Debian packages with CPack and checks them: lintian's verdict
# on each (no error, no warning, no hardening tag; every override explained
# beside it), the manual pages against the programs' --help, what each
# package holds (the operator's: the program with its readme.txt, ziron7-cli
# beside it, the links that put both on the PATH, the menu entry with its
# icons, the documentation with the note on the dialout group; the
# simulator's: ziron7-sim alone), the control fields, and the firmware's
# identity in each program's --version and in the descriptions.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${ZIRON7_BUILD_DIR:-build/default}
# ZIRON7_BUILT=1: the test command has built the programs.
if [[ -z "${ZIRON7_BUILT:-}" ]]; then
  if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake --preset default >/dev/null
  fi
  cmake --build "$build" -j "$(nproc)" --target ziron7-flasher ziron7-cli ziron7-sim \
    ziron7_desktop_icons ziron7_package_documents
fi
echo "== Debian packages =="
rm -rf "$build/package"
cpack --config "$build/CPackConfig.cmake" -B "$build/package" >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
flasher_deb="$build/package/ziron7-flasher_${version}_amd64.deb"
sim_deb="$build/package/ziron7-sim_${version}_amd64.deb"
for deb in "$flasher_deb" "$sim_deb"; do
  [[ -f "$deb" ]] || { echo "$deb was not built" >&2; exit 1; }
  echo "$deb"
done

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# --- lintian: its whole output, then its verdict ---
for deb in "$flasher_deb" "$sim_deb"; do
  echo "-- lintian --pedantic --display-info --show-overrides $(basename "$deb")"
  # lintian fails by itself only when it cannot check; the tags are judged here.
  report=$(lintian --pedantic --display-info --show-overrides --fail-on none "$deb" 2>&1) ||
    fail "lintian could not check $(basename "$deb")"
  echo "${report:-(no tags)}"
  grep -q "^[EW]: " <<<"$report" && fail "lintian reports errors or warnings on $(basename "$deb")"
  # The programs are built with the distribution's hardening flags: not even
  # an informational hardening tag may appear.
  grep -q "^[A-Z]: [^ ]* hardening-" <<<"$report" && fail "lintian finds $(basename "$deb") not hardened"
done

# --- what each package holds ---
flasher_contents=$(dpkg-deb -c "$flasher_deb")
for path in \
  ./usr/lib/ziron7-flasher/ziron7-flasher \
  ./usr/lib/ziron7-flasher/readme.txt \
  ./usr/lib/ziron7-flasher/ziron7-cli \
  ./usr/share/applications/ziron7-flasher.desktop \
  ./usr/share/man/man1/ziron7-flasher.1.gz \
  ./usr/share/man/man1/ziron7-cli.1.gz \
  ./usr/share/doc/ziron7-flasher/README.Debian \
  ./usr/share/doc/ziron7-flasher/copyright \
  ./usr/share/doc/ziron7-flasher/changelog.gz \
  ./usr/share/doc/ziron7-flasher/readme.txt; do
  grep -q " $path\$" <<<"$flasher_contents" || fail "ziron7-flasher lacks $path"
done
for size in 16 32 48 64 128 256; do
  grep -q " ./usr/share/icons/hicolor/${size}x${size}/apps/ziron7-flasher.png\$" <<<"$flasher_contents" ||
    fail "ziron7-flasher lacks the ${size}x${size} icon"
done
grep -q "ziron7-sim" <<<"$flasher_contents" && fail "ziron7-flasher carries the simulator"
grep -q " ./usr/bin/ziron7-flasher -> ../lib/ziron7-flasher/ziron7-flasher\$" <<<"$flasher_contents" ||
  fail "usr/bin/ziron7-flasher does not link to the program"
grep -q "^-rwxr-xr-x .* ./usr/lib/ziron7-flasher/ziron7-flasher\$" <<<"$flasher_contents" ||
  fail "the program is not executable"
grep -q " ./usr/bin/ziron7-cli -> ../lib/ziron7-flasher/ziron7-cli\$" <<<"$flasher_contents" ||
  fail "usr/bin/ziron7-cli does not link to the console program"
grep -q "^-rwxr-xr-x .* ./usr/lib/ziron7-flasher/ziron7-cli\$" <<<"$flasher_contents" ||
  fail "the console program is not executable"

sim_contents=$(dpkg-deb -c "$sim_deb")
for path in \
  ./usr/share/man/man1/ziron7-sim.1.gz \
  ./usr/share/doc/ziron7-sim/copyright \
  ./usr/share/doc/ziron7-sim/changelog.gz; do
  grep -q " $path\$" <<<"$sim_contents" || fail "ziron7-sim lacks $path"
done
grep -q "^-rwxr-xr-x .* ./usr/bin/ziron7-sim\$" <<<"$sim_contents" ||
  fail "ziron7-sim lacks the executable usr/bin/ziron7-sim"
# Only its own files and the folders above them.
grep -v " ./usr/\(bin/ziron7-sim\|share/man/man1/ziron7-sim.1.gz\|share/doc/ziron7-sim/[a-z.]*\)\$" <<<"$sim_contents" |
  grep -v "^d" && fail "ziron7-sim holds files of another package"

# --- control fields ---
flasher_info=$(dpkg-deb -I "$flasher_deb")
sim_info=$(dpkg-deb -I "$sim_deb")
for field in "Package: ziron7-flasher" "Version: $version" "Architecture: amd64" "Section: electronics"; do
  grep -q "^ $field" <<<"$flasher_info" || fail "ziron7-flasher: control field '$field' missing"
done
for field in "Package: ziron7-sim" "Version: $version" "Architecture: amd64" "Source: ziron7-flasher"; do
  grep -q "^ $field" <<<"$sim_info" || fail "ziron7-sim: control field '$field' missing"
done
grep -q "^ Depends: .*libqt6widgets6" <<<"$flasher_info" || fail "Depends does not name the Qt widgets"
grep -q "^ Depends: .*qt6-qpa-plugins" <<<"$flasher_info" || fail "Depends does not name the display plugins"
grep -q "^ Suggests: ziron7-sim\$" <<<"$flasher_info" || fail "ziron7-flasher does not suggest ziron7-sim"
grep -q "^ Depends: .*libqt6core6" <<<"$sim_info" || fail "ziron7-sim does not depend on Qt Core"
grep -q "^ Depends: .*\(libqt6widgets6\|qt6-qpa-plugins\)" <<<"$sim_info" &&
  fail "the simulator depends on the display libraries"

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$flasher_deb" "$unpacked"
dpkg-deb -x "$sim_deb" "$unpacked"
flasher="$unpacked/usr/lib/ziron7-flasher/ziron7-flasher"
cli="$unpacked/usr/lib/ziron7-flasher/ziron7-cli"
sim="$unpacked/usr/bin/ziron7-sim"
cmp -s app/readme.txt "$unpacked/usr/lib/ziron7-flasher/readme.txt" ||
  fail "readme.txt next to the program differs from app/readme.txt"
grep -q "adduser .* dialout" "$unpacked/usr/share/doc/ziron7-flasher/README.Debian" ||
  fail "the documentation lacks the dialout note"
desktop="$unpacked/usr/share/applications/ziron7-flasher.desktop"
grep -q "^Exec=ziron7-flasher\$" "$desktop" || fail "the menu entry does not start the program"
grep -q "^Icon=ziron7-flasher\$" "$desktop" || fail "the menu entry has no icon"
grep -q "^Keywords=" "$desktop" || fail "the menu entry has no keywords"
desktop-file-validate "$desktop" || fail "the menu entry is not valid"
[[ "$(zcat "$unpacked/usr/share/doc/ziron7-flasher/changelog.gz" | head -1)" == "ziron7-flasher ($version) "* ]] ||
  fail "the changelog's latest entry is not version $version"

# --- the programs: they run, without a display, and say who they are ---
# Read whole before it is searched: grep -q leaving early would end a long
# help with a broken pipe.
sim_help=$("$sim" --help) || fail "the packaged simulator does not run"
grep -q "^Usage: ziron7-sim" <<<"$sim_help" || fail "the packaged simulator's help lacks its usage"
cli_help=$(unset DISPLAY WAYLAND_DISPLAY; "$cli" --help) || fail "the packaged console program does not run"
grep -q "^  130  interrupted" <<<"$cli_help" || fail "the console program's help lacks its exit codes"

firmware=$(sed -n 's/^ZIRON7_FIRMWARE:FILEPATH=//p' "$build/CMakeCache.txt")
digest=$(sha256sum "$firmware")
size=$(stat -c %s "$firmware")
# The two lines after the program's own, as patterns for grep -x.
firmware_line="Firmware: version [0-9]*, built [0-3][0-9]/[01][0-9]/[0-9]\{4\} [0-2][0-9]:[0-5][0-9]:[0-5][0-9], $size bytes"
digest_line="SHA-256: ${digest%% *}"
identity=
for program in "$flasher" "$cli" "$sim"; do
  name=$(basename "$program")
  said=$(unset DISPLAY WAYLAND_DISPLAY; "$program" --version) || { fail "$name --version fails"; continue; }
  [[ "$(head -1 <<<"$said")" == "$name $version" ]] || fail "$name --version does not start with '$name $version'"
  [[ $(wc -l <<<"$said") -eq 3 ]] && sed -n 2p <<<"$said" | grep -qx "$firmware_line" &&
    sed -n 3p <<<"$said" | grep -qx "$digest_line" ||
    fail "$name --version does not name the firmware $firmware: $said"
  [[ -z "$identity" || "$(tail -n +2 <<<"$said")" == "$identity" ]] || fail "$name --version names other firmware"
  identity=$(tail -n +2 <<<"$said")
done
for info in "$flasher_info" "$sim_info"; do
  while read -r line; do
    grep -qF "   $line" <<<"$info" || fail "a package's description lacks '$line'"
  done <<<"$identity"
done

# --- the manual pages hold each program's current --help ---
pages=$(mktemp -d)
trap 'rm -rf "$unpacked" "$pages"' EXIT
bash packaging/write-manual-pages.sh "$pages" "$flasher" "$cli" "$sim"
for name in ziron7-flasher ziron7-cli ziron7-sim; do
  zcat "$unpacked/usr/share/man/man1/$name.1.gz" | cmp -s - "$pages/$name.1" ||
    fail "the manual page of $name does not match its --help: run packaging/write-manual-pages.sh" \
         "(its first lines say how)"
done

if ((failures > 0)); then
  echo "$failures package check(s) failed" >&2
  exit 1
fi
echo "packages, lintian, manual pages and --version: ok"

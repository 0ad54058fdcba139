#!/usr/bin/env bash
# Builds the Windows packages and checks them: an installer (makensis, for
# the current user without administrator rights) and a portable zip, each
# holding ziron7-flasher.exe, the console program ziron7-cli.exe and
# readme.txt, the readme in a form Windows Notepad shows in Russian (UTF-8
# with a byte-order mark, CRLF line ends), and SHA256SUMS beside them.
# Checks the contents, that the programs need only the system's DLLs, that
# they start under Wine, and, in a throw-away Wine prefix, a silent install,
# a start of the installed updater from its Start-menu entry and a silent
# uninstall that leaves nothing behind.
# ZIRON7_E2E_DOCS=docs also photographs the installer's first page there.
# Prints the packages' folder last.
set -euo pipefail
cd "$(dirname "$0")/.."

build=$(realpath -m "${ZIRON7_WINDOWS_BUILD_DIR:-build/windows}")
readonly start_check_s=5  # the program must still be running after this long
readonly wine_step_timeout_s=120  # an install, an uninstall, a prefix shutting down
# The first Wine run in a fresh build folder makes its prefix: 94 s measured
# at the lowest priority beside two busy loops.
readonly wine_prefix_timeout_s=300
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake --preset windows -B "$build" >/dev/null
fi
cmake --build "$build" -j 2 --target ziron7-flasher ziron7-cli >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")

echo "== Windows package =="
packages="$build/package"
staging="$packages/ziron7-flasher"
zipfile="$packages/ziron7-flasher-$version-windows-x64.zip"
installer="$packages/ziron7-flasher-$version-windows-x64-installer.exe"
rm -rf "$packages"
mkdir -p "$staging"
cp "$build/app/ziron7-flasher.exe" "$build/app/cli/ziron7-cli.exe" "$staging/"
cert=${ZIRON7_SIGN_CERT:-}
key=${ZIRON7_SIGN_KEY:-}
if [[ -n "$cert" || -n "$key" ]]; then
  [[ -f "$cert" && -f "$key" ]] ||
    { echo "signing needs both ZIRON7_SIGN_CERT and ZIRON7_SIGN_KEY as files" >&2; exit 1; }
  if [[ -n "${ZIRON7_SIGN_TIMESTAMP_URL:-}" ]]; then
    signed_as="signed and time-stamped"
  else
    signed_as="signed, NOT time-stamped (no ZIRON7_SIGN_TIMESTAMP_URL): the signature is trusted only while the certificate is valid"
  fi
  sign() {
    local file="$1" signed="$1.signed"
    local command=(osslsigncode sign -certs "$cert" -key "$key" -h sha256
                   -n "Зирон-7: обновление программы прибора" -in "$file" -out "$signed")
    [[ -n "${ZIRON7_SIGN_PASSWORD_FILE:-}" ]] && command+=(-readpass "$ZIRON7_SIGN_PASSWORD_FILE")
    [[ -n "${ZIRON7_SIGN_TIMESTAMP_URL:-}" ]] && command+=(-ts "$ZIRON7_SIGN_TIMESTAMP_URL")
    "${command[@]}" >/dev/null
    mv "$signed" "$file"
  }
  sign "$staging/ziron7-flasher.exe"
  sign "$staging/ziron7-cli.exe"
else
  signed_as="UNSIGNED (no ZIRON7_SIGN_CERT and ZIRON7_SIGN_KEY): Windows will name no publisher and may warn or block it"
  sign() { :; }
fi
# Byte-order mark, then the text with CR before every LF.
{ printf '\xEF\xBB\xBF'; sed 's/$/\r/' app/readme.txt; } > "$staging/readme.txt"
(cd "$staging" && zip -q -X "$zipfile" ziron7-flasher.exe ziron7-cli.exe readme.txt)

# The installer from the same, signed, files. Its version information
# wants four numbers.
file_version=$version
while [[ "$file_version" =~ ^[0-9]+(\.[0-9]+){0,2}$ ]]; do file_version+=.0; done
makensis_log="$packages/makensis.log"
makensis -WX -V4 -INPUTCHARSET UTF8 -DVERSION="$version" -DFILE_VERSION="$file_version" \
  -DSTAGING="$staging" -DICON="$build/res/ziron7-flasher.ico" -DOUTFILE="$installer" \
  packaging/windows/ziron7-flasher.nsi >"$makensis_log" 2>&1 ||
  { tail -20 "$makensis_log" >&2; echo "makensis failed (all of it in $makensis_log)" >&2; exit 1; }
sign "$installer"
(cd "$packages" && sha256sum "$(basename "$installer")" "$(basename "$zipfile")" >SHA256SUMS)

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

listed=$(unzip -Z1 "$zipfile" | sort | tr '\n' ' ')
[[ "$listed" == "readme.txt ziron7-cli.exe ziron7-flasher.exe " ]] || fail "the zip holds: $listed"
(cd "$packages" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the packages"
[[ $(wc -l <"$packages/SHA256SUMS") -eq 2 ]] || fail "SHA256SUMS covers more or less than the two packages"

# What the installer holds, as makensis listed it while packing: the files
# and where they go, the Start-menu entry, the uninstaller and its key.
echo "The installer's contents:"
grep -E '^(InstallDir|SetOutPath|File|CreateShortcut|WriteUninstaller|WriteRegStr|WriteRegDWORD): ' "$makensis_log" |
  sed 's/^/  /'
packed=$(sed -n 's/^File: "\([^"]*\)".*/\1/p' "$makensis_log" | sort | tr '\n' ' ')
[[ "$packed" == "readme.txt ziron7-cli.exe ziron7-flasher.exe " ]] || fail "the installer holds: $packed"
# Windows reads the rights an installer wants from its manifest.
grep -a -q 'requestedExecutionLevel level="asInvoker"' "$installer" ||
  fail "the installer asks for administrator rights"

# Unpacked inside the build folder, so that Wine runs it in the build's prefix.
check="$build/package/unpacked"
mkdir -p "$check"
unzip -q "$zipfile" -d "$check"
readme="$check/readme.txt"
[[ "$(head -c 3 "$readme")" == $'\xEF\xBB\xBF' ]] || fail "readme.txt has no byte-order mark"
tail -c +4 "$readme" | iconv -f UTF-8 -t UTF-8 >/dev/null || fail "readme.txt is not UTF-8"
lines=$(wc -l < "$readme")
crlf=$(grep -c $'\r$' "$readme" || true)
[[ "$lines" -gt 0 && "$crlf" -eq "$lines" ]] || fail "readme.txt: $crlf of $lines lines end in CRLF"
cmp -s <(tail -c +4 "$readme" | tr -d '\r') app/readme.txt || fail "readme.txt differs from app/readme.txt"
cmp -s "$check/ziron7-flasher.exe" "$staging/ziron7-flasher.exe" || fail "the program differs from the one packed"
if [[ -n "$cert" ]]; then
  # The certificate given is taken as trusted: this checks that the
  # signature covers the program as packed, not who issued the certificate.
  osslsigncode verify -CAfile "$cert" -in "$check/ziron7-flasher.exe" >/dev/null ||
    fail "the program's signature does not verify"
  osslsigncode verify -CAfile "$cert" -in "$check/ziron7-cli.exe" >/dev/null ||
    fail "the console program's signature does not verify"
  osslsigncode verify -CAfile "$cert" -in "$installer" >/dev/null ||
    fail "the installer's signature does not verify"
fi

bash scripts/check-imports.sh "$check/ziron7-flasher.exe" || fail "the program needs DLLs Windows lacks"
bash scripts/check-imports.sh "$check/ziron7-cli.exe" || fail "the console program needs DLLs Windows lacks"
cmp -s "$check/ziron7-cli.exe" "$staging/ziron7-cli.exe" || fail "the console program differs from the one packed"
# A program of the console subsystem, which runs under Wine without a display.
subsystem=$(x86_64-w64-mingw32-objdump -p "$check/ziron7-cli.exe" | sed -n 's/^Subsystem[[:space:]]*//p')
[[ "$subsystem" == *"Windows CUI"* ]] || fail "ziron7-cli.exe is not a console program: $subsystem"
timeout "$wine_prefix_timeout_s" bash scripts/wine-run.sh "$check/ziron7-cli.exe" --version \
  >/dev/null 2>&1 || fail "the build folder's Wine prefix could not be made"
cli_help=$(timeout 60 bash scripts/wine-run.sh "$check/ziron7-cli.exe" --help 2>/dev/null | tr -d '\r') ||
  fail "the console program does not run under Wine"
grep -q "^  130  interrupted" <<<"$cli_help" || fail "the console program's help lacks its exit codes"

# Started from the unpacked folder, the program must come up and wait for
# the operator (no display here: Wine's null driver; COM1 leads nowhere).
status=0
timeout "$start_check_s" bash scripts/wine-run.sh "$check/ziron7-flasher.exe" >/dev/null 2>&1 || status=$?
[[ $status -eq 124 ]] || fail "the program did not keep running under Wine (status $status)"

# --- The installer under Wine, in a throw-away prefix copied from the build's
# (no display: Wine's null driver), as an operator and a script would use it.
prefix="$packages/wine-install"
in_prefix() {
  WINEPREFIX="$prefix" WINEDEBUG=-all WINEARCH=win64 \
    WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=" timeout "$wine_step_timeout_s" "$@"
}
windows_folder() {  # the Unix path of a folder Windows names by %VARIABLE%
  in_prefix winepath -u "$(in_prefix wine cmd /c echo "%$1%" | tr -d '\r')"
}
# Every file and folder of the prefix's users but those the installer may
# leave: the temporary folder (the uninstaller runs from a copy there, which
# Windows deletes at the next restart), the operator's session logs and
# settings (kept on purpose), and the folder of per-user programs itself,
# which Windows keeps for every program installed there.
users_files() {
  (cd "$prefix/drive_c/users" &&
     find . \( -path './*/Temp' -o -path './*/AppData/Local/Temp' -o -path './*/AppData/Local/ziron7' \) \
       -prune -o ! -path './*/AppData/Local/Programs' -print | sort)
}
# The build's prefix exists once the console program has run above.
WINEPREFIX="$build/wine-prefix" timeout "$wine_step_timeout_s" wineserver -w
rm -rf "$prefix"
cp -a "$build/wine-prefix" "$prefix"
install_dir="$(windows_folder LOCALAPPDATA)/Programs/ziron7-flasher"
shortcut="$(windows_folder APPDATA)/Microsoft/Windows/Start Menu/Programs/Зирон-7 — обновление программы прибора.lnk"
uninstall_key='[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ziron7-flasher]'
before=$(users_files)

# An operator's silent install brings no console program; /CLI adds it, as
# a service centre installs it, over the first install as an update would.
in_prefix wine "$installer" /S || fail "the silent install failed (status $?)"
in_prefix wineserver -w
[[ -f "$install_dir/ziron7-flasher.exe" ]] || fail "the silent install left no ziron7-flasher.exe"
[[ ! -e "$install_dir/ziron7-cli.exe" ]] || fail "the console program was installed unasked"
in_prefix wine "$installer" /S /CLI || fail "the silent install with /CLI failed (status $?)"
in_prefix wineserver -w  # the registry is on disk once the prefix is idle
for file in ziron7-flasher.exe ziron7-cli.exe readme.txt uninstall.exe; do
  [[ -f "$install_dir/$file" ]] || fail "the silent install left no $file in $install_dir"
done
cmp -s "$install_dir/readme.txt" "$staging/readme.txt" || fail "the installed readme.txt differs"
[[ -f "$shortcut" ]] || fail "the silent install made no Start-menu entry"
grep -qF "$uninstall_key" "$prefix/user.reg" || fail "the silent install wrote no uninstall key"
installed=$(ls "$install_dir" | tr "\n" " ")
echo "silent install, and with /CLI over it: ${installed}and the Start-menu entry and the uninstall key"
installed_cli=$(in_prefix wine "$install_dir/ziron7-cli.exe" --version | tr -d '\r' | head -1) ||
  fail "the installed console program does not run"

# The updater from its Start-menu entry: it must come up and wait for the
# operator. Wine's start returns at once, so the prefix's processes tell.
in_prefix wine start /unix "$shortcut" || fail "the Start-menu entry does not start (status $?)"
sleep "$start_check_s"
processes=$(echo 'info proc' | in_prefix winedbg 2>/dev/null) || true
grep -q "'ziron7-flasher.exe'" <<<"$processes" ||
  fail "the updater started from the Start menu was not running after $start_check_s s"
in_prefix wineserver -k || true

# The uninstaller copies itself away and returns at once: the prefix
# falling idle marks its end.
in_prefix wine "$install_dir/uninstall.exe" /S || fail "the silent uninstall failed (status $?)"
in_prefix wineserver -w
[[ ! -e "$install_dir" ]] || fail "the uninstall left $install_dir: $(ls "$install_dir" | tr '\n' ' ')"
[[ ! -e "$shortcut" ]] || fail "the uninstall left the Start-menu entry"
! grep -qF "$uninstall_key" "$prefix/user.reg" || fail "the uninstall left its registry key"
left=$(comm -13 <(echo "$before") <(users_files) | tr '\n' ' ')
if [[ -z "$left" ]]; then
  echo "silent uninstall: nothing left behind; the installed console program said: $installed_cli"
else
  fail "the install and uninstall left behind: $left"
fi
rm -rf "$prefix"

if [[ -n "${ZIRON7_E2E_DOCS:-}" ]]; then
  timeout --kill-after=10 "$wine_step_timeout_s" \
    python3 scripts/photograph-installer.py "$installer" "$build/wine-prefix" \
    "$ZIRON7_E2E_DOCS/windows-installer.png" >/dev/null ||
    fail "the installer's first page was not photographed"
fi

size=$(stat -c %s "$staging/ziron7-flasher.exe")
echo "ziron7-flasher.exe: $size bytes; installer: $(stat -c %s "$installer") bytes;" \
  "zip: $(stat -c %s "$zipfile") bytes; $signed_as"
if (( failures > 0 )); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "$packages"

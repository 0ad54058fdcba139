#!/usr/bin/env bash
# Builds the Windows package and checks it: a zip holding ziron7-flasher.exe,
# the console program ziron7-cli.exe and readme.txt, the readme in a form Windows Notepad shows in Russian
# (UTF-8 with a byte-order mark, CRLF line ends). Checks the contents, that
# the program needs only the system's DLLs, and that it starts under Wine.
# Prints the package's path last.
set -euo pipefail
cd "$(dirname "$0")/.."

build=$(realpath -m "${ZIRON7_WINDOWS_BUILD_DIR:-build/windows}")
readonly start_check_s=5  # the program must still be running after this long
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake --preset windows -B "$build" >/dev/null
fi
cmake --build "$build" -j 2 --target ziron7-flasher ziron7-cli >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")

echo "== Windows package =="
staging="$build/package/ziron7-flasher"
zipfile="$build/package/ziron7-flasher-$version-windows-x64.zip"
rm -rf "$build/package"
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
  for program in ziron7-flasher.exe ziron7-cli.exe; do
    sign=(osslsigncode sign -certs "$cert" -key "$key" -h sha256
          -n "Зирон-7: обновление программы прибора" -in "$staging/$program"
          -out "$staging/signed.exe")
    [[ -n "${ZIRON7_SIGN_PASSWORD_FILE:-}" ]] && sign+=(-readpass "$ZIRON7_SIGN_PASSWORD_FILE")
    [[ -n "${ZIRON7_SIGN_TIMESTAMP_URL:-}" ]] && sign+=(-ts "$ZIRON7_SIGN_TIMESTAMP_URL")
    "${sign[@]}" >/dev/null
    mv "$staging/signed.exe" "$staging/$program"
  done
else
  signed_as="UNSIGNED (no ZIRON7_SIGN_CERT and ZIRON7_SIGN_KEY): Windows will name no publisher and may warn or block it"
fi
# Byte-order mark, then the text with CR before every LF.
{ printf '\xEF\xBB\xBF'; sed 's/$/\r/' app/readme.txt; } > "$staging/readme.txt"
(cd "$staging" && zip -q -X "$zipfile" ziron7-flasher.exe ziron7-cli.exe readme.txt)

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

listed=$(unzip -Z1 "$zipfile" | sort | tr '\n' ' ')
[[ "$listed" == "readme.txt ziron7-cli.exe ziron7-flasher.exe " ]] || fail "the zip holds: $listed"

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
fi

bash scripts/check-imports.sh "$check/ziron7-flasher.exe" || fail "the program needs DLLs Windows lacks"
bash scripts/check-imports.sh "$check/ziron7-cli.exe" || fail "the console program needs DLLs Windows lacks"
cmp -s "$check/ziron7-cli.exe" "$staging/ziron7-cli.exe" || fail "the console program differs from the one packed"
# A program of the console subsystem, which runs under Wine without a display.
subsystem=$(x86_64-w64-mingw32-objdump -p "$check/ziron7-cli.exe" | sed -n 's/^Subsystem[[:space:]]*//p')
[[ "$subsystem" == *"Windows CUI"* ]] || fail "ziron7-cli.exe is not a console program: $subsystem"
cli_help=$(timeout 60 bash scripts/wine-run.sh "$check/ziron7-cli.exe" --help 2>/dev/null | tr -d '\r') ||
  fail "the console program does not run under Wine"
grep -q "^  130  interrupted" <<<"$cli_help" || fail "the console program's help lacks its exit codes"

# Started from the unpacked folder, the program must come up and wait for
# the operator (no display here: Wine's null driver; COM1 leads nowhere).
status=0
timeout "$start_check_s" bash scripts/wine-run.sh "$check/ziron7-flasher.exe" >/dev/null 2>&1 || status=$?
[[ $status -eq 124 ]] || fail "the program did not keep running under Wine (status $status)"

size=$(stat -c %s "$staging/ziron7-flasher.exe")
echo "ziron7-flasher.exe: $size bytes; zip: $(stat -c %s "$zipfile") bytes; $signed_as"
if (( failures > 0 )); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "$zipfile"

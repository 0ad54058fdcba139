#!/usr/bin/env bash
# The Windows program: cross-builds the windows preset (MinGW-w64), runs its
# tests under Wine (ctest: frames, checksum, image, build date, session log
# files, queue and progress, text formatting, the Win32 dialogs and controls,
# the program's imports), then operates ziron7-flasher.exe under Wine on a
# virtual display against ziron7-sim (a normal update, later firmware refused,
# an update cut short, ...) and runs the console program ziron7-cli.exe under
# Wine against ziron7-sim as a script would, side by side in
# ZIRON7_WINE_SHARDS shards, each in a Wine prefix copied from one template;
# and builds and checks the Windows packages (the installer, also installed,
# started and uninstalled in a throw-away Wine prefix, and the zip), once
# signed with a throw-away certificate it makes (the signatures must
# verify), then as the build ships it.
#   check-windows.sh [build|tests|runs|package]...   (default: all four)
# The test command runs the parts as stages of their own; the runs need the
# Linux build's ziron7-sim and preload library built (ZIRON7_BUILT=1 says the
# test command has built them).
# ZIRON7_E2E_DOCS=docs also refreshes the Windows pictures in docs/.
set -euo pipefail
cd "$(dirname "$0")/.."
readonly e2e_timeout_s=1200  # 31 runs took 9.5 min one after another, 5.4 min in two shards
# One shard by default: two passed alone (5:09) and beside 20,000 simulated
# runs at niceness 19 (5:21), but beside the test command's other runs they
# loaded the machine enough that a Linux run's simulator, starved, read a
# request and its repeat at once.
shards=${ZIRON7_WINE_SHARDS:-1}

windows=${ZIRON7_WINDOWS_BUILD_DIR:-build/windows}
linux=${ZIRON7_BUILD_DIR:-build/default}
parts=("$@")
((${#parts[@]} > 0)) || parts=(build tests runs package)

build() {
  echo "== windows build (MinGW-w64) =="
  if [[ ! -f "$windows/CMakeCache.txt" ]]; then
    cmake --preset windows >/dev/null
  fi
  cmake --build "$windows" -j "$(nproc)"
}

tests() {
  echo "== windows tests under Wine =="
  # Each test has two minutes; the first Wine run in a fresh build folder
  # makes the prefix, which takes longer than that on a loaded machine.
  timeout 300 bash scripts/wine-run.sh "$windows/app/cli/ziron7-cli.exe" --version >/dev/null ||
    { echo "check-windows.sh: the build folder's Wine prefix could not be made" >&2; exit 1; }
  ctest --test-dir "$windows" --output-on-failure
}

runs() {
  echo "== end to end under Wine: ziron7-flasher.exe and ziron7-cli.exe against ziron7-sim =="
  if [[ -z "${ZIRON7_BUILT:-}" ]]; then
    if [[ ! -f "$linux/CMakeCache.txt" ]]; then
      cmake --preset default >/dev/null
    fi
    cmake --build "$linux" -j "$(nproc)" --target ziron7-sim ziron7_pty_modem_lines
  fi
  firmware=$(sed -n 's/^ZIRON7_FIRMWARE:FILEPATH=//p' "$windows/CMakeCache.txt")
  ZIRON7_BUILD_DIR="$PWD/$linux" ZIRON7_WINDOWS_BUILD_DIR="$PWD/$windows" \
    ZIRON7_E2E_FIRMWARE="$firmware" \
    timeout --kill-after=10 "$e2e_timeout_s" \
    python3 tests/e2e/shards.py --shards "$shards" --out "$PWD/$windows/e2e" \
    windows_runs windows_cli_runs
}

package() {
  echo "== the package signed with a throw-away certificate =="
  signing="$windows/signing-check"
  rm -rf "$signing"
  mkdir -p "$signing"
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Ziron-7 test signature" \
    -addext "extendedKeyUsage=codeSigning" \
    -keyout "$signing/key.pem" -out "$signing/cert.pem" 2>/dev/null
  ZIRON7_SIGN_CERT="$signing/cert.pem" ZIRON7_SIGN_KEY="$signing/key.pem" \
    bash scripts/package-windows.sh
  rm -rf "$signing"

  echo "== the package as this build ships it =="
  bash scripts/package-windows.sh
}

for part in "${parts[@]}"; do
  case "$part" in
    build | tests | runs | package) "$part" ;;
    *) echo "check-windows.sh: no part '$part' (build, tests, runs, package)" >&2; exit 2 ;;
  esac
done

#!/usr/bin/env bash
# The winapi and serial tests under ThreadSanitizer: the port's driver
# thread, the listener thread and the UI thread share the port's state.
#   check-tsan.sh [build|run]...   (default: both; the test command runs them
#                                   as stages of their own)
set -euo pipefail
cd "$(dirname "$0")/.."
parts=("$@")
((${#parts[@]} > 0)) || parts=(build run)

build() {
  cmake --preset tsan >/dev/null
  cmake --build --preset tsan --target winapi_tests serial_tests -j "$(nproc)"
}

run() {
  export TSAN_OPTIONS="halt_on_error=1"
  build/tsan/tests/winapi/winapi_tests --gtest_brief=1
  build/tsan/tests/serial/serial_tests --gtest_brief=1
}

for part in "${parts[@]}"; do
  case "$part" in
    build | run) "$part" ;;
    *) echo "check-tsan.sh: no part '$part' (build, run)" >&2; exit 2 ;;
  esac
done

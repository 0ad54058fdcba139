#!/usr/bin/env bash
# The winapi and serial tests under ThreadSanitizer: the port's driver
# thread, the listener thread and the UI thread share the port's state.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset tsan >/dev/null
cmake --build --preset tsan --target winapi_tests serial_tests -j "$(nproc)"
export TSAN_OPTIONS="halt_on_error=1"
build/tsan/tests/winapi/winapi_tests --gtest_brief=1
build/tsan/tests/serial/serial_tests --gtest_brief=1

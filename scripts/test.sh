#!/usr/bin/env bash
# Installs what is needed, builds and runs every test: the default build and
# the sanitizer builds, then the checks that need their own build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-packages.sh
python3 scripts/check-tools.py  # every program called below comes from a listed package

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

for preset in default asan; do
  echo "== $preset build =="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
bash scripts/check-fuzz.sh   # libFuzzer targets under ASan/UBSan, about 20 s each
bash scripts/check-tsan.sh    # the serial tests under ThreadSanitizer
bash scripts/check-windows.sh # the Windows program: cross build, tests and runs under Wine, zip
bash scripts/check-e2e.sh    # the program itself, operated with keys on a virtual display
bash scripts/check-package.sh # the Debian package: builds it and checks its contents

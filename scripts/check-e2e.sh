#!/usr/bin/env bash
# End to end, as a person: the built ziron7-flasher on a virtual display
# against the simulated instrument, keys pressed with xdotool, outcomes read
# from the simulator's transcript and flash and from screenshots; and
# ziron7-cli as a script runs it, with no display, against the same simulator.
# Uses the default build; ZIRON7_E2E_DOCS=docs also refreshes the pictures
# in docs/.
set -euo pipefail
cd "$(dirname "$0")/.."
# The dialogs' twenty-one runs (sixteen whole updates of 25 to 50 s each, two of
# them with --fast) and ziron7-cli's twelve (two whole updates, one with --fast,
# the others of a small image): about 12 min.
readonly whole_run_timeout_s=1500

build=${ZIRON7_BUILD_DIR:-build/default}
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake --preset default >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target ziron7-flasher ziron7-cli ziron7-sim
firmware=$(sed -n 's/^ZIRON7_FIRMWARE:FILEPATH=//p' "$build/CMakeCache.txt")

echo "== end to end: ziron7-flasher on a virtual display and ziron7-cli, against ziron7-sim =="
ZIRON7_BUILD_DIR="$build" ZIRON7_E2E_FIRMWARE="$firmware" ZIRON7_E2E_OUT="$build/e2e" \
  timeout --kill-after=10 "$whole_run_timeout_s" \
  python3 -m unittest discover -s tests/e2e -p "test_*.py" -v

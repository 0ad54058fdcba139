#!/usr/bin/env bash
# End to end, as a person: the built ziron7-flasher on a virtual display
# against the simulated instrument, keys pressed with xdotool, outcomes read
# from the simulator's transcript and flash and from screenshots; and
# ziron7-cli as a script runs it, with no display, against the same simulator.
# The runs wait on the wire, so they run side by side in ZIRON7_E2E_SHARDS
# shards (tests/e2e/shards.py; the README says how the count was measured).
# Uses the default build (ZIRON7_BUILT=1: the test command has built it);
# ZIRON7_E2E_DOCS=docs also refreshes the pictures in docs/.
set -euo pipefail
cd "$(dirname "$0")/.."
# The dialogs' twenty-one runs and ziron7-cli's twelve: about 12 min one after
# another.
readonly whole_run_timeout_s=1500
shards=${ZIRON7_E2E_SHARDS:-3}

build=${ZIRON7_BUILD_DIR:-build/default}
if [[ -z "${ZIRON7_BUILT:-}" ]]; then
  if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake --preset default >/dev/null
  fi
  cmake --build "$build" -j "$(nproc)" --target ziron7-flasher ziron7-cli ziron7-sim
fi
firmware=$(sed -n 's/^ZIRON7_FIRMWARE:FILEPATH=//p' "$build/CMakeCache.txt")

echo "== end to end: ziron7-flasher on a virtual display and ziron7-cli, against ziron7-sim =="
ZIRON7_BUILD_DIR="$build" ZIRON7_E2E_FIRMWARE="$firmware" \
  timeout --kill-after=10 "$whole_run_timeout_s" \
  python3 tests/e2e/shards.py --shards "$shards" --out "$build/e2e" \
  test_operator_runs test_cli_runs

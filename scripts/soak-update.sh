#!/usr/bin/env bash
# Soak of the update: RUNS (default 60) consecutive updates of a small image
# (IMAGE_BYTES, default 2048)
# against the simulated instrument at a random main rate, each with random
# line faults: bit flips and lost bytes up to 1e-3 per byte both ways,
# duplicated replies (immediate, or back to back at wire speed when the run
# is paced), reply delays up to 40 ms, delivery in bursts as a USB adapter
# passes bytes on, and lost switches back to the main program. Prints one
# line per run, the count of each outcome and a table of the bad ones; fails
# on a hang, an outcome the updater does not have, a success without the
# image in the flash, a failure with it, or a success that left the
# instrument in its bootloader. A crash ends the soak with the signal's exit
# status. Not part of scripts/test.sh: it takes minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-60}
seed=${2:-1}
image_bytes=${3:-2048}
cmake --preset default >/dev/null
cmake --build build/default --target update_runner -j 2 >/dev/null
QT_QPA_PLATFORM=offscreen build/default/tests/update/update_runner soak "$runs" "$seed" "$image_bytes"

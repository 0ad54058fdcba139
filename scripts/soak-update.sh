#!/usr/bin/env bash
# Soak of the update: RUNS (default 60) consecutive updates of a small image
# (IMAGE_BYTES, default 2048)
# against the simulated instrument at a random main rate, each with random
# line faults: bit flips and lost bytes up to 1e-3 per byte both ways,
# duplicated replies (immediate, or back to back at wire speed when the run
# is paced), reply delays up to 40 ms, delivery in bursts as a USB adapter
# passes bytes on, lost switches back to the main program, a bootloader echo
# mode (address, zeros or random bytes in bytes 1-2 of its replies), 0 to 9
# switches into the bootloader lost, and in one run of twenty an information
# step that never gets a valid answer (its replies fail their checksum, or
# the main program lacks the step). Every run has a hard bound of 120 s; a
# run past it counts as a hang. Prints one line per run, the count of each
# outcome and a table of runs, successes, crashes, hangs, false successes,
# false failures and instruments left in the bootloader although the switch
# back was still possible; fails on any of the bad ones or an outcome the
# updater does not have. A crash ends the soak with the signal's exit
# status. Not part of scripts/test.sh: it takes minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-60}
seed=${2:-1}
image_bytes=${3:-2048}
cmake --preset default >/dev/null
cmake --build build/default --target update_runner -j 2 >/dev/null
QT_QPA_PLATFORM=offscreen build/default/tests/update/update_runner soak "$runs" "$seed" "$image_bytes"

#!/usr/bin/env bash
# Times one whole update of the embedded image against the simulated
# instrument at 38400 baud with wire-time pacing: wall time from OK in the
# port dialog to the outcome box, the program's CPU time meanwhile and the
# requests repeated. Arguments go to the simulator as extra faults, e.g.
# `--chunk 16` for a USB adapter's bursts.
# The pump's floor is one frame per 50 ms tick (3 information, 2 status and
# 2 switch requests, 421 write and 281 verify frames) plus two 500 ms settles.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build build/default --target update_runner -j 2 >/dev/null
QT_QPA_PLATFORM=offscreen build/default/tests/update/update_runner measure "$@"

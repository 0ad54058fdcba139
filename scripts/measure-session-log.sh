#!/usr/bin/env bash
# What the session log costs the update: the whole update of the embedded
# image at 38400 baud with wire-time pacing, PAIRS times (default 1) without
# and then with the session log listening, in one run; prints the wall time
# and the CPU time of each and the means. The pump's 50 ms tick sets the
# wall time, so the CPU time is the figure that would show a cost.
set -euo pipefail
cd "$(dirname "$0")/.."
pairs=${1:-1}
cmake --preset default >/dev/null
cmake --build build/default --target update_runner -j 2 >/dev/null
QT_QPA_PLATFORM=offscreen build/default/tests/update/update_runner measure-log "$pairs"

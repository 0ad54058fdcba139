#!/usr/bin/env bash
# Soak of the update: RUNS (default 60) consecutive updates of a small image
# (IMAGE_BYTES, default 2048)
# against the simulated instrument, each with random line faults (bit flips
# and lost bytes up to 1e-3 per byte, duplicated replies, reply delays up to
# 40 ms). Prints one line per run and the count of each outcome; fails on a
# hang, an outcome the updater does not have, or a success reported without
# the image in the flash. Not part of scripts/test.sh: it takes minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-60}
seed=${2:-1}
image_bytes=${3:-2048}
cmake --preset default >/dev/null
cmake --build build/default --target update_runner -j 2 >/dev/null
QT_QPA_PLATFORM=offscreen build/default/tests/update/update_runner soak "$runs" "$seed" "$image_bytes"

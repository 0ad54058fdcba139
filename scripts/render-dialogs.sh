#!/usr/bin/env bash
# Renders the port dialog (searching, found) and the About box to docs/*.png
# against the simulated instrument, without a display.
#   bash scripts/render-dialogs.sh [BUILD_DIR]   (default build/default)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
cmake --build "$build" --target render_dialogs ziron7-sim >/dev/null

devices=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; rm -rf "$devices"' EXIT
export ZIRON7_DEVICE_DIR=$devices
"$build/sim/ziron7-sim" --com 1 --baud 19200 >"$devices/sim.out" 2>&1 &
sim=$!
for _ in $(seq 50); do grep -q '^ready' "$devices/sim.out" && break; sleep 0.1; done

QT_QPA_PLATFORM=offscreen "$build/tests/search/render_dialogs" docs

#!/usr/bin/env bash
# Times whole updates of the embedded image by the real ziron7-flasher on a
# virtual display against `ziron7-sim --pace` (main program at 9600 baud):
# clean, in 16 ms chunks and with every reply 30 ms late, each at the default
# pace and with --fast; prints the median time from OK to the outcome box,
# its ratio to the 36.6 s floor, the requests repeated, the program's CPU and
# the machine. Three runs each, about 15 min; options go to
# scripts/pacing-runs.py, e.g. `--runs 1 --line clean --pace fast`.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ ! -f build/default/CMakeCache.txt ]]; then
  cmake --preset default >/dev/null
fi
cmake --build build/default --target ziron7-flasher ziron7-sim -j 2 >/dev/null
python3 scripts/pacing-runs.py "$@"

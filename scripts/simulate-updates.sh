#!/usr/bin/env bash
# Seeded runs of the whole program in simulated time: the real port and
# update dialogs against the simulated instrument on a simulated line, each
# seed drawing its own instrument, line faults, timer lateness, pace and
# operator, held against the oracle (tests/simulation/RunOracle.h).
#
#   bash scripts/simulate-updates.sh [SEEDS] [FIRST-SEED]
#       SEEDS runs (100000 by default) from FIRST-SEED (1) on every core:
#       a table of outcomes and violations, the replay command of every
#       failing seed, and last "N passed, N failed".
#   bash scripts/simulate-updates.sh --replay SEED
#       one seed alone, with a trace of every frame, timer and box.
#
# Uses the default build (ZIRON7_BUILT=1: the test command has built it).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ZIRON7_BUILD_DIR:-build/default}
if [[ -z "${ZIRON7_BUILT:-}" ]]; then
  if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake --preset default >/dev/null
  fi
  cmake --build "$build" -j "$(nproc)" --target simulate-updates >/dev/null
fi
runner="$build/tests/simulation/simulate-updates"
# The session logs and settings of the simulated runs stay out of the user's.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export XDG_DATA_HOME="$scratch/data" XDG_CONFIG_HOME="$scratch/config"
if [[ "${1:-}" == "--replay" ]]; then
  "$runner" replay "${2:?--replay needs a seed}"
else
  "$runner" run "${1:-100000}" "${2:-1}"
fi

#!/usr/bin/env bash
# Installs what is needed, builds and runs every test, as one pipeline
# (scripts/pipeline.py, stages in scripts/stages.py): each stage starts once
# what it needs is built, builds run one at a time at the lowest priority,
# the end-to-end runs run side by side in shards, and a stage whose inputs
# are byte-identical to its last passing run is skipped (ZIRON7_RERUN=1 runs
# everything). Ends with a table of the stages' wall and CPU times.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-packages.sh
python3 scripts/check-tools.py  # every program called below comes from a listed package

export QT_QPA_PLATFORM=offscreen
# The compiler cache serves a re-run; a fresh machine builds the same without it.
if command -v ccache >/dev/null; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
fi
rerun=()
[[ -n "${ZIRON7_RERUN:-}" ]] && rerun=(--rerun)
exec python3 scripts/pipeline.py "${rerun[@]}" "$@"

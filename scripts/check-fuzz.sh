#!/usr/bin/env bash
# Builds the libFuzzer targets with clang-14 under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs each for a bounded time (FUZZ_SECONDS,
# 20 by default). Any crash, sanitizer report, leak or time-out fails.
#   check-fuzz.sh [build|run]...   (default: both; the test command runs them
#                                   as stages of their own)
set -euo pipefail
cd "$(dirname "$0")/.."
parts=("$@")
((${#parts[@]} > 0)) || parts=(build run)

seconds=${FUZZ_SECONDS:-20}
build=build/fuzz
sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=all"

targets=(fuzz_reassembler fuzz_image_reply fuzz_build_date)

build() {
  cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_COMPILER=clang++-14 \
    -DCMAKE_CXX_FLAGS="$sanitizers -fsanitize=fuzzer-no-link -fno-omit-frame-pointer -O1" \
    -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" \
    -DZIRON7_BUILD_FUZZERS=ON >/dev/null
  cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
}

run() {
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  for target in "${targets[@]}"; do
    corpus="$build/corpus/$target"
    log="$build/findings/$target.log"
    mkdir -p "$corpus" "$build/findings"
    echo "== fuzzing $target for ${seconds}s =="
    if ! "$build/tests/fuzz/$target" "$corpus" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -artifact_prefix="$build/findings/$target-" -print_final_stats=1 \
        >"$log" 2>&1; then
      tail -n 60 "$log"
      echo "fuzzing $target found a fault; the input is in $build/findings/"
      exit 1
    fi
    grep -E '^(Done|stat::number_of_executed_units)' "$log" || true
  done
  echo "fuzzing found nothing"
}

for part in "${parts[@]}"; do
  case "$part" in
    build | run) "$part" ;;
    *) echo "check-fuzz.sh: no part '$part' (build, run)" >&2; exit 2 ;;
  esac
done

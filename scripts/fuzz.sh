#!/usr/bin/env bash
# Fuzzes one target for a while: scripts/fuzz.sh reader|plot|replay|convert SECONDS [JOBS]
# New inputs gather in build-fuzz/corpus-TARGET; crashes in build-fuzz/crashes.
# Copy the interesting ones into fuzz/corpus/TARGET (the seed corpus that the
# tests run).
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?target: reader, plot, replay or convert}
seconds=${2:-600}
jobs=${3:-1}
scripts/install-deps.sh
BUILD_DIR=build-fuzz scripts/build.sh -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DISOVAR_FUZZ=ON -DISOVAR_GUI=OFF -DISOVAR_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Absolute paths: the targets move into a private working folder on their
# first input.
work=$PWD/build-fuzz/corpus-$target
crashes=$PWD/build-fuzz/crashes
mkdir -p "$work" "$crashes"
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
parallel=()
if [ "$jobs" -gt 1 ]; then
  # Several workers each log to fuzz-N.log in the current folder.
  parallel=(-jobs="$jobs" -workers="$jobs")
fi
build-fuzz/bin/fuzz_$target "$work" "$PWD/fuzz/corpus/$target" \
  -max_total_time="$seconds" "${parallel[@]}" \
  -artifact_prefix="$crashes/" -print_final_stats=1 -max_len=65536

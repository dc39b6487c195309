#!/usr/bin/env bash
# Installs what is missing, then runs every test twice: a gcc build with
# warnings as errors, and a clang build with AddressSanitizer and
# UndefinedBehaviorSanitizer that also runs every fuzz corpus once; then the
# tests of several threads at once under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "== gcc build and tests"
BUILD_DIR=build scripts/build.sh -DISOVAR_WERROR=ON
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== sanitizer build and tests (clang, ASan + UBSan, fuzz corpora)"
BUILD_DIR=build-asan scripts/build.sh -DISOVAR_WERROR=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DISOVAR_FUZZ=ON -DISOVAR_GUI=OFF -DISOVAR_BENCH=OFF
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== ThreadSanitizer build and the tests of several threads"
unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS
scripts/tsan.sh

#!/usr/bin/env bash
# The tests of several threads at once (CTest label `threads`) under
# ThreadSanitizer: a clang build in build-tsan (BUILD_DIR to change) of only
# their programs (the target isovar_threads_tests), then `ctest -L threads`.
# Any report fails the test that made it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build_dir=${BUILD_DIR:-build-tsan}

# ThreadSanitizer's runtime (clang 14) wants its shadow memory at fixed
# places; where the kernel randomises addresses with more bits than it
# expects, a program stops at once with "unexpected memory mapping". Then
# the build and the tests run without address randomisation (setarch -R, for
# this script's commands and their children only).
run=()
probe_dir=$(mktemp -d)
trap 'rm -rf "$probe_dir"' EXIT
echo 'int main() { return 0; }' >"$probe_dir/probe.cpp"
clang++ -fsanitize=thread "$probe_dir/probe.cpp" -o "$probe_dir/probe"
if ! "$probe_dir/probe" 2>"$probe_dir/err"; then
  if grep -q "unexpected memory mapping" "$probe_dir/err" && command -v setarch >/dev/null; then
    echo "ThreadSanitizer needs address randomisation off here: running under setarch -R"
    run=(setarch "$(uname -m)" -R)
  else
    cat "$probe_dir/err" >&2
    exit 1
  fi
fi

generator=()
if [ ! -f "$build_dir/CMakeCache.txt" ] && command -v ninja >/dev/null; then
  generator=(-G Ninja)
fi
cmake -S . -B "$build_dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DISOVAR_TSAN=ON -DISOVAR_GUI=OFF -DISOVAR_BENCH=OFF -DISOVAR_WERROR=ON "$@" >/dev/null
"${run[@]}" cmake --build "$build_dir" -j "$(nproc)" --target isovar_threads_tests

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
"${run[@]}" ctest --test-dir "$build_dir" -L threads --output-on-failure -j "$(nproc)"

#!/usr/bin/env bash
# Configures and builds the project into build/ (BUILD_DIR to change).
# A new build folder gets Ninja when it is installed; a folder configured
# before (say by the README's `cmake -B build`, which makes Makefiles) keeps
# the generator it has, since CMake refuses to switch.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
generator=()
if [ ! -f "$build_dir/CMakeCache.txt" ] && command -v ninja >/dev/null; then
  generator=(-G Ninja)
fi
cmake -S . -B "$build_dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build_dir" -j "$(nproc)"

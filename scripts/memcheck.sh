#!/usr/bin/env bash
# Runs one plot of each example (read, plot run, BMP) under valgrind's
# memcheck; fails on any memory error or definite leak.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
BUILD_DIR=build scripts/build.sh
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
status=0
for f in examples/*.isovar; do
  name=$(basename "$f" .isovar)
  echo "== $f"
  if ! (cd "$out" && valgrind --quiet --error-exitcode=99 --leak-check=full --suppressions="$OLDPWD/scripts/valgrind.supp" \
        --errors-for-leak-kinds=definite "$OLDPWD/build/bin/isovar-plot" "$OLDPWD/$f" \
        --display-list "$name.dl" --bmp "$name.bmp"); then
    status=1
  fi
done
exit $status

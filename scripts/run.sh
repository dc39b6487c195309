#!/usr/bin/env bash
# Installs what is missing, builds, and reads every example file.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
BUILD_DIR=build scripts/build.sh
for f in examples/*.iso; do
  echo "== $f"
  build/bin/isovar-read "$f" || true
done

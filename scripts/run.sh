#!/usr/bin/env bash
# Installs what is missing, builds, and plots every example with isovar-plot:
# a BMP and a PNG picture, the printed page as PDF and the isolines as
# GeoJSON, into out/.
# With a display, it then shows the first example in the window.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
BUILD_DIR=build scripts/build.sh
# All examples at once, one worker process per core; a failing example fails
# the job (after the others are plotted).
build/bin/isovar-plot examples/*.isovar --outdir out --format bmp,png,pdf,isolines
echo "Pictures, pages and isolines are in out/"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  build/bin/Isovar examples/terrain.isovar
fi

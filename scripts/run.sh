#!/usr/bin/env bash
# Installs what is missing, builds, and plots every example with isovar-plot:
# a PNG picture, the printed page as PDF and the isolines as GeoJSON, into out/.
# With a display, it then shows the first example in the window.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
BUILD_DIR=build scripts/build.sh
mkdir -p out
for f in examples/*.isovar; do
  name=$(basename "$f" .isovar)
  echo "== $f"
  (cd out && ../build/bin/isovar-plot "../$f" --display-list "$name.dl" \
     --bmp "$name.bmp" --png "$name.png" --pdf "$name.pdf" --isolines "$name.geojson") || true
done
echo "Pictures, pages and isolines are in out/"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  build/bin/Isovar examples/terrain.isovar
fi

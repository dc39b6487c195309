#!/usr/bin/env bash
# Makes two models past the default tables with build/bin/isovar-gen and plots
# them with isovar-plot --large into out/: a 2000 x 2000 grid of a few sines
# and 2 % noise, and a 1200 x 900 terrain in whole metres with levels every
# 40 m. Each is first plotted with --strict, which refuses it and says why.
# Expects a build (scripts/build.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p out
bin=build/bin
"$bin/isovar-gen" noise 2000 out/noise-2000.isovar
"$bin/isovar-gen" terrain 1200 900 out/terrain-1200x900.isovar
for model in noise-2000 terrain-1200x900; do
  echo "== $model"
  if "$bin/isovar-plot" "out/$model.isovar" --strict --display-list out/prtInfo.tmp; then
    echo "unexpected: the default tables took out/$model.isovar" >&2
    exit 1
  fi
  /usr/bin/time -f "%e s, %M KB at most" \
    "$bin/isovar-plot" "out/$model.isovar" --large --display-list out/prtInfo.tmp --png "out/$model.png"
done
echo "Pictures in out/"

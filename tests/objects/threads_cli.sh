#!/bin/sh
# isovar-plot on a grid past the default tables: isolines (GeoJSON and
# FlatGeobuf), bands, display list and picture the same for --threads 1, 2,
# 3 and 7.
# Usage: threads_cli.sh ISOVAR_GEN ISOVAR_PLOT
set -eu
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$1" noise 620 "$dir/noise.isovar"
for n in 1 2 3 7; do
  "$2" "$dir/noise.isovar" --large --fill --threads "$n" --isolines "$dir/l$n.geojson" --bands "$dir/b$n.geojson" \
    --display-list "$dir/d$n.dl" --png "$dir/p$n.png"
  "$2" "$dir/noise.isovar" --large --threads "$n" --isolines "$dir/g$n.fgb"
  for f in l b d p g; do
    ext=$(ls "$dir/${f}1".* | sed 's/.*\.//')
    cmp "$dir/${f}1.$ext" "$dir/$f$n.$ext"
  done
done
echo "the same on every thread count"

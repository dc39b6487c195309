#!/usr/bin/env bash
# isovar-plot against gdal_contour, side by side in one run, on an N x N
# GeoTIFF in UTM (a smooth field with noise, single precision) at 21 levels:
# isolines into FlatGeobuf and GeoPackage, band polygons into FlatGeobuf.
# Prints each command's median wall time and peak memory over RUNS runs.
#
#   bench/gis_compare.sh [BUILD_DIR]      (N=2000 RUNS=5 by default)
set -euo pipefail

build=${1:-build}
n=${N:-2000}
runs=${RUNS:-5}
plot=$(cd "$build" && pwd)/bin/isovar-plot
[ -x "$plot" ] || { echo "no $plot: build isovar-plot first" >&2; exit 1; }
command -v gdal_contour >/dev/null || { echo "gdal_contour missing (Debian: gdal-bin)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The field: hills of a few wavelengths, plus noise, 0 to about 1000.
python3 - "$n" <<'EOF'
import math, random, sys
from array import array
n = int(sys.argv[1])
random.seed(7)
t = [i / (n - 1) for i in range(n)]
row = array('f', bytes(4 * n))
with open('dem.raw', 'wb') as out:
    for j in range(n):
        y = t[j]
        cy, c41 = math.cos(5 * y), 41 * y
        for i in range(n):
            x = t[i]
            row[i] = (500 + 250 * math.sin(7 * x) * cy + 150 * math.sin(23 * x + 11 * y)
                      + 60 * math.cos(c41 - 3 * x) + random.gauss(0, 2.0))
        if sys.byteorder != 'little':
            row.byteswap()
        row.tofile(out)
EOF
cat > dem.vrt <<EOF
<VRTDataset rasterXSize="$n" rasterYSize="$n">
  <SRS>EPSG:32633</SRS>
  <GeoTransform>500000.5, 1, 0, $((5000000 + n)).5, 0, -1</GeoTransform>
  <VRTRasterBand dataType="Float32" band="1" subClass="VRTRawRasterBand">
    <SourceFilename relativetoVRT="1">dem.raw</SourceFilename>
    <ImageOffset>0</ImageOffset><PixelOffset>4</PixelOffset><LineOffset>$((4 * n))</LineOffset>
    <ByteOrder>LSB</ByteOrder>
  </VRTRasterBand>
</VRTDataset>
EOF
gdal_translate -q -of GTiff dem.vrt dem.tif
rm dem.raw dem.vrt

# 21 levels, 100 to 900 by 40, for both.
levels=$(seq -s, 100 40 900)
spaced=${levels//,/ }
echo "raster: $n x $n float32 ($((4 * n * n / 1048576)) MiB), levels: $levels"

# Median wall time (s) and peak memory (MiB) of RUNS runs of the command.
measure() {
  local label=$1
  shift
  local times=() mems=()
  for ((i = 0; i < runs; i++)); do
    rm -rf out.* out
    /usr/bin/time -f '%e %M' -o time.txt "$@" >/dev/null 2>err.txt || { cat err.txt >&2; exit 1; }
    read -r t m <time.txt
    times+=("$t")
    mems+=("$m")
  done
  local tm mm
  tm=$(printf '%s\n' "${times[@]}" | sort -g | sed -n "$(((runs + 1) / 2))p")
  mm=$(printf '%s\n' "${mems[@]}" | sort -g | sed -n "$(((runs + 1) / 2))p")
  printf '%-34s %8.2f s %8.0f MiB\n' "$label" "$tm" "$((mm / 1024))"
}

measure "gdal_contour FlatGeobuf" gdal_contour -q -a ELEV -fl $spaced -f FlatGeobuf dem.tif out.fgb
measure "isovar-plot FlatGeobuf" "$plot" dem.tif --fixed-levels "$levels" --isolines out.fgb
measure "gdal_contour GeoPackage" gdal_contour -q -a ELEV -fl $spaced -f GPKG dem.tif out.gpkg
measure "isovar-plot GeoPackage" "$plot" dem.tif --fixed-levels "$levels" --isolines out.gpkg
measure "gdal_contour -p FlatGeobuf" gdal_contour -q -p -amin ELEV_MIN -amax ELEV_MAX -fl $spaced -f FlatGeobuf \
  dem.tif out.fgb
measure "isovar-plot --bands FlatGeobuf" "$plot" dem.tif --fixed-levels "$levels" --bands out.fgb

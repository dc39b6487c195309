#!/usr/bin/env bash
# isovar-plot against gdal_contour, side by side in one run, on an N x N
# GeoTIFF in UTM (a smooth field with noise, single precision) at 21 levels:
# isolines into FlatGeobuf and GeoPackage, band polygons into FlatGeobuf.
# Prints each command's median wall time and peak memory over RUNS runs.
#
#   bench/gis_compare.sh [BUILD_DIR]      (N=2000 RUNS=5 by default)
#   N=10000 RUNS=1 bench/gis_compare.sh   the 10,000 x 10,000 raster (400 MB;
#                                         band polygons left out unless BANDS=1)
#   DEM=FILE.tif ...                      an N x N raster made before, kept
set -euo pipefail

build=${1:-build}
n=${N:-2000}
runs=${RUNS:-5}
bands=${BANDS:-$([ "$n" -le 4000 ] && echo 1 || echo 0)}
dem=${DEM:+$(realpath "$DEM")}
plot=$(cd "$build" && pwd)/bin/isovar-plot
[ -x "$plot" ] || { echo "no $plot: build isovar-plot first" >&2; exit 1; }
command -v gdal_contour >/dev/null || { echo "gdal_contour missing (Debian: gdal-bin)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

if [ -n "$dem" ]; then
  ln -s "$dem" dem.tif
else
# The field: hills of a few wavelengths, plus noise, 0 to about 1000, made
# by a small C program (N=10000, 400 MB, in seconds).
cat > gen.c <<'EOF'
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
static uint64_t state = 7;
static double uniform(void) { /* xorshift64*, in (0, 1) */
  state ^= state >> 12; state ^= state << 25; state ^= state >> 27;
  return ((state * 2685821657736338717ull >> 11) + 0.5) / 9007199254740992.0;
}
static double gauss(void) { return sqrt(-2 * log(uniform())) * cos(6.283185307179586 * uniform()); }
int main(int argc, char** argv) {
  const int n = argc > 1 ? atoi(argv[1]) : 0;
  float* row = malloc(sizeof(float) * (size_t)n);
  FILE* out = fopen("dem.raw", "wb");
  if (n < 2 || row == NULL || out == NULL) return 1;
  for (int j = 0; j < n; ++j) {
    const double y = (double)j / (n - 1), cy = cos(5 * y), c41 = 41 * y;
    for (int i = 0; i < n; ++i) {
      const double x = (double)i / (n - 1);
      row[i] = (float)(500 + 250 * sin(7 * x) * cy + 150 * sin(23 * x + 11 * y) + 60 * cos(c41 - 3 * x) +
                       2.0 * gauss());
    }
    if (fwrite(row, sizeof(float), (size_t)n, out) != (size_t)n) return 1;
  }
  return fclose(out) != 0;
}
EOF
cc -O2 -o gen gen.c -lm
./gen "$n"
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
fi

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
[ "$bands" = 1 ] || exit 0
measure "gdal_contour -p FlatGeobuf" gdal_contour -q -p -amin ELEV_MIN -amax ELEV_MAX -fl $spaced -f FlatGeobuf \
  dem.tif out.fgb
measure "isovar-plot --bands FlatGeobuf" "$plot" dem.tif --fixed-levels "$levels" --bands out.fgb

// Rasters through GDAL: one band of any raster GDAL opens.
#pragma once

#include <cstdint>
#include <string>

#include "model.h"
#include "progress.h"

namespace convert {

struct RasterRequest {
  int band = 1;   // 1-based
  int every = 1;  // keep every K-th row and column, from the first
};

struct Raster {
  Grid grid;
  int band_count = 0;
  bool georeferenced = true;
  int64_t columns = 0;  // the source's size
  int64_t rows = 0;
};

// The band as a grid: x and y are the pixel centres of the geotransform,
// ascending whatever the raster's orientation; nodata, NaN and infinite
// pixels get no value; a band's scale and offset are applied. A raster
// without a geotransform gets pixel-centre coordinates counted from its
// lower left corner, so that it keeps its look.
//
// Throws Failure for a file GDAL cannot open as a raster, a band that is not
// there, a rotated geotransform, pixel centres that single precision cannot
// tell apart, a value beyond single precision, or a band without any value.
Raster read_raster(const std::string& path, const RasterRequest& request, Progress& progress);

}  // namespace convert

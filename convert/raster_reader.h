// Rasters through GDAL: one band of any raster GDAL opens.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model.h"
#include "progress.h"

namespace convert {

struct RasterRequest {
  int band = 1;   // 1-based
  int every = 1;  // keep every K-th row and column, from the first
};

// What a raster is, known before its pixels are read.
struct RasterInfo {
  int band_count = 0;
  bool georeferenced = true;
  int64_t columns = 0;  // the source's size
  int64_t rows = 0;
  std::vector<float> x;  // the grid's coordinates, ascending (empty unless asked for)
  std::vector<float> y;
  std::vector<double> x_full;  // the same in double precision, always there
  std::vector<double> y_full;
  std::string crs_wkt;  // the raster's CRS as WKT; empty when it has none
  std::vector<std::string> files;  // the files GDAL reads for it (its sidecars too)
};

// Where the grid's rows go as they are read.
class RowSink {
 public:
  virtual ~RowSink() = default;
  // Row j (0-based; y[j]) of the grid: values[i] at x[i], NaN where the
  // raster has none; every value fits single precision. The buffer is
  // reused for the next row.
  virtual void row(size_t j, const double* values) = 0;
};

// One band of a raster as a grid: x and y are the pixel centres of the
// geotransform, ascending whatever the raster's orientation; nodata, NaN and
// infinite pixels get no value; a band's scale and offset are applied. A
// raster without a geotransform gets pixel-centre coordinates counted from
// its lower left corner, so that it keeps its look.
//
// The band is read a block row at a time (the raster's own blocks), so
// memory follows the block row, not the raster; the rows go to the sink in
// the raster's order, which is y descending for a north-up raster.
//
// Throws Failure for a file that cannot be opened (with the system's
// reason) or that GDAL cannot open as a raster, a band that is not there, a
// rotated geotransform, pixel centres that single precision cannot tell
// apart (only when single-precision axes are asked for: a model file holds
// absolute coordinates), a scale or offset that is not a finite number, a
// value beyond single precision, or a band without any value.
class RasterReader {
 public:
  RasterReader(const std::string& path, const RasterRequest& request, bool single_axes = true);
  ~RasterReader();
  RasterReader(const RasterReader&) = delete;
  RasterReader& operator=(const RasterReader&) = delete;

  const RasterInfo& info() const { return info_; }
  // Reads the band, row by row into sink.
  void read(RowSink& sink, Progress& progress);

 private:
  template <typename T>
  void read_as(RowSink& sink, Progress& progress);

  struct Source;
  std::unique_ptr<Source> source_;
  RasterRequest request_;
  RasterInfo info_;
  double gt_[6];
};

// A raster read whole into memory.
struct Raster {
  Grid grid;
  int band_count = 0;
  bool georeferenced = true;
  int64_t columns = 0;
  int64_t rows = 0;
};
Raster read_raster(const std::string& path, const RasterRequest& request, Progress& progress);

}  // namespace convert

#include "raster_reader.h"

#include <cpl_error.h>
#include <gdal.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

#include "numbers.h"

namespace convert {

namespace {

// GDAL's own messages are kept, not printed: the first line of the last
// failure becomes part of ours (drivers add where in their source it arose).
std::string last_gdal_failure;

void keep_failure(CPLErr level, CPLErrorNum, const char* text) {
  if (level < CE_Failure) return;
  const std::string message = text != nullptr ? text : "";
  last_gdal_failure = message.substr(0, message.find('\n'));
}

class QuietGdal {
 public:
  QuietGdal() {
    static std::once_flag registered;
    std::call_once(registered, [] { GDALAllRegister(); });
    last_gdal_failure.clear();
    CPLPushErrorHandler(keep_failure);
  }
  ~QuietGdal() { CPLPopErrorHandler(); }
  QuietGdal(const QuietGdal&) = delete;
  QuietGdal& operator=(const QuietGdal&) = delete;
};

std::string gdal_reason(const char* otherwise) {
  return last_gdal_failure.empty() ? std::string(otherwise) : last_gdal_failure;
}

class Dataset {
 public:
  explicit Dataset(const std::string& path)
      : handle_(GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr)) {}
  ~Dataset() {
    if (handle_ != nullptr) GDALClose(handle_);
  }
  Dataset(const Dataset&) = delete;
  Dataset& operator=(const Dataset&) = delete;
  GDALDatasetH get() const { return handle_; }

 private:
  GDALDatasetH handle_;
};

// A file of several rasters (netCDF with several variables, HDF) opens
// without bands; its parts are named in the message.
[[noreturn]] void refuse_subdatasets(GDALDatasetH ds) {
  std::string names;
  char** meta = GDALGetMetadata(ds, "SUBDATASETS");
  for (int k = 0; meta != nullptr && meta[k] != nullptr; ++k) {
    const std::string entry = meta[k];
    const size_t eq = entry.find('=');
    if (eq != std::string::npos && eq >= 5 && entry.compare(eq - 5, 5, "_NAME") == 0)
      names += (names.empty() ? "" : ", ") + entry.substr(eq + 1);
  }
  if (names.empty()) throw Failure("no data: the raster has no band");
  throw Failure("holds several rasters; convert one of them by its name: " + names);
}

// Ascending single-precision pixel centres along one axis: kept pixels
// 0, every, 2 * every, ... of count, origin and size from the geotransform.
std::vector<float> centres(int64_t count, int every, double origin, double size, const char* axis) {
  std::vector<float> out;
  for (int64_t p = 0; p < count; p += every) {
    const double c = origin + (static_cast<double>(p) + 0.5) * size;
    if (!fits_single(c))
      throw Failure(std::string("the pixel centre ") + axis + " = " + show(c) + " is beyond single precision");
    out.push_back(static_cast<float>(c));
  }
  if (size < 0) std::reverse(out.begin(), out.end());
  for (size_t k = 1; k < out.size(); ++k)
    if (!(out[k - 1] < out[k]))
      throw Failure(std::string("pixel centres ") + axis + " = " + show(out[k - 1]) + " and " + show(out[k]) +
                    " are one in single precision; keep fewer pixels with --every");
  return out;
}

}  // namespace

Raster read_raster(const std::string& path, const RasterRequest& request, Progress& progress) {
  QuietGdal quiet;
  Dataset ds(path);
  if (ds.get() == nullptr) throw Failure("cannot open as a raster: " + gdal_reason("not a raster GDAL reads"));
  Raster out;
  out.band_count = GDALGetRasterCount(ds.get());
  if (out.band_count == 0) refuse_subdatasets(ds.get());
  if (request.band > out.band_count)
    throw Failure("has " + std::to_string(out.band_count) + " band" + (out.band_count == 1 ? "" : "s") +
                  ", so no band " + std::to_string(request.band));
  out.columns = GDALGetRasterXSize(ds.get());
  out.rows = GDALGetRasterYSize(ds.get());

  double gt[6];
  if (GDALGetGeoTransform(ds.get(), gt) != CE_None) {
    out.georeferenced = false;
    const double upright[6] = {0, 1, 0, static_cast<double>(out.rows), 0, -1};
    std::copy(upright, upright + 6, gt);
  }
  if (gt[2] != 0 || gt[4] != 0)
    throw Failure("the raster is rotated (its geotransform turns rows and columns); warp it north-up first");
  if (gt[1] == 0 || gt[5] == 0) throw Failure("the geotransform gives pixels no width or no height");

  Grid& grid = out.grid;
  grid.x = centres(out.columns, request.every, gt[0], gt[1], "x");
  grid.y = centres(out.rows, request.every, gt[3], gt[5], "y");
  const size_t nx = grid.x.size();
  const size_t ny = grid.y.size();
  grid.value.assign(nx * ny, NAN);

  GDALRasterBandH band = GDALGetRasterBand(ds.get(), request.band);
  int has_nodata = 0;
  const double nodata = GDALGetRasterNoDataValue(band, &has_nodata);
  // A Float32 band's nodata may be written with fewer digits than its pixels.
  const bool single = GDALGetRasterDataType(band) == GDT_Float32 && fits_single(nodata);
  const float nodata_single = single ? static_cast<float>(nodata) : 0.0f;
  const double scale = GDALGetRasterScale(band, nullptr);
  const double offset = GDALGetRasterOffset(band, nullptr);

  std::vector<double> row(static_cast<size_t>(out.columns));
  bool any = false;
  progress.start("reading the raster", ny);
  for (size_t kept = 0; kept < ny; ++kept) {
    const int64_t r = static_cast<int64_t>(kept) * request.every;
    if (GDALRasterIO(band, GF_Read, 0, static_cast<int>(r), static_cast<int>(out.columns), 1, row.data(),
                     static_cast<int>(out.columns), 1, GDT_Float64, 0, 0) != CE_None)
      throw Failure("cannot read row " + std::to_string(r + 1) + ": " + gdal_reason("read error"));
    const size_t j = gt[5] < 0 ? ny - 1 - kept : kept;
    float* values = grid.value.data() + j * nx;
    for (size_t i_kept = 0; i_kept < nx; ++i_kept) {
      const double raw = row[i_kept * static_cast<size_t>(request.every)];
      if (!std::isfinite(raw)) continue;
      if (has_nodata && (single ? static_cast<float>(raw) == nodata_single : raw == nodata)) continue;
      const double v = raw * scale + offset;
      if (!fits_single(v))
        throw Failure("the pixel at column " + std::to_string(i_kept * request.every + 1) + ", row " +
                      std::to_string(r + 1) + " holds " + show(v) + ", beyond single precision");
      values[gt[1] < 0 ? nx - 1 - i_kept : i_kept] = static_cast<float>(v);
      any = true;
    }
    progress.advance(kept + 1);
  }
  progress.finish();
  if (!any) throw Failure("no data: every pixel of band " + std::to_string(request.band) + " is nodata");
  return out;
}

}  // namespace convert

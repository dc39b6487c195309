#include "raster_reader.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <fcntl.h>
#include <gdal.h>
#include <ogr_srs_api.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
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

// An uncompressed TIFF opened while one lives on this thread is read
// straight into the caller's buffer rather than block by block through the
// cache (twice as fast, and no cache's fresh memory), unless the user chose
// otherwise with GTIFF_DIRECT_IO.
class DirectTiffReads {
 public:
  DirectTiffReads() : set_(CPLGetConfigOption("GTIFF_DIRECT_IO", nullptr) == nullptr) {
    if (set_) CPLSetThreadLocalConfigOption("GTIFF_DIRECT_IO", "YES");
  }
  ~DirectTiffReads() {
    if (set_) CPLSetThreadLocalConfigOption("GTIFF_DIRECT_IO", nullptr);
  }
  DirectTiffReads(const DirectTiffReads&) = delete;
  DirectTiffReads& operator=(const DirectTiffReads&) = delete;

 private:
  const bool set_;
};

class Dataset {
 public:
  explicit Dataset(const std::string& path) : handle_(open(path)) {}
  ~Dataset() {
    if (handle_ != nullptr) GDALClose(handle_);
  }
  Dataset(const Dataset&) = delete;
  Dataset& operator=(const Dataset&) = delete;
  GDALDatasetH get() const { return handle_; }

 private:
  static GDALDatasetH open(const std::string& path) {
    const DirectTiffReads direct;
    return GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
  }
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

// Ascending pixel centres along one axis: kept pixels 0, every, 2 * every,
// ... of count, origin and size from the geotransform.
std::vector<double> centres(int64_t count, int every, double origin, double size, const char* axis) {
  std::vector<double> out;
  for (int64_t p = 0; p < count; p += every) {
    const double c = origin + (static_cast<double>(p) + 0.5) * size;
    if (!fits_single(c))
      throw Failure(std::string("the pixel centre ") + axis + " = " + show(c) + " is beyond single precision");
    out.push_back(c);
  }
  if (size < 0) std::reverse(out.begin(), out.end());
  return out;
}

// The same in single precision, as a model file holds them.
std::vector<float> single_centres(const std::vector<double>& full, const char* axis) {
  std::vector<float> out(full.begin(), full.end());
  for (size_t k = 1; k < out.size(); ++k)
    if (!(out[k - 1] < out[k]))
      throw Failure(std::string("pixel centres ") + axis + " = " + show(out[k - 1]) + " and " + show(out[k]) +
                    " are one in single precision; keep fewer pixels with --every");
  return out;
}

// Why a file GDAL could not open is no raster: the system's reason when the
// name is no file that can be read (unless it is one of GDAL's own names,
// such as NETCDF:"file.nc":variable or /vsizip/...), else GDAL's.
std::string open_failure(const std::string& path) {
  struct stat st;
  const bool gdal_name = path.compare(0, 4, "/vsi") == 0 || path.find(':') != std::string::npos;
  if (stat(path.c_str(), &st) != 0) {
    if (!gdal_name || errno != ENOENT) return std::string("cannot open: ") + std::strerror(errno);
  } else if (S_ISDIR(st.st_mode)) {
    return std::string("cannot open: ") + std::strerror(EISDIR);
  } else {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::string("cannot open: ") + std::strerror(errno);
    ::close(fd);
  }
  return "cannot open as a raster: " + gdal_reason("not a raster GDAL reads");
}

// GDAL's block cache is a share of the machine's memory by default; a block
// row (and a little more) is all a reading from top to bottom needs again.
void limit_block_cache(GDALRasterBandH band, int64_t columns, int block_height) {
  const int64_t block_row = columns * block_height * GDALGetDataTypeSizeBytes(GDALGetRasterDataType(band));
  const int64_t wanted = std::clamp<int64_t>(block_row + (int64_t{4} << 20), int64_t{8} << 20, int64_t{256} << 20);
  if (wanted < GDALGetCacheMax64()) GDALSetCacheMax64(wanted);
}

// A read takes at most this many bytes of pixels, a block row when it fits.
constexpr int64_t kReadBytes = int64_t{64} << 20;
// Rasters of short blocks (a TIFF's one-row strips) are read this much at a
// time, a whole number of blocks.
constexpr int64_t kChunkBytes = int64_t{1} << 20;

}  // namespace

struct RasterReader::Source {
  QuietGdal quiet;  // first: GDAL's messages are kept while the file is open
  Dataset dataset;
  explicit Source(const std::string& path) : dataset(path) {}
};

namespace {

// The raster's CRS as WKT, or empty.
std::string crs_of(GDALDatasetH ds) {
  OGRSpatialReferenceH srs = GDALGetSpatialRef(ds);
  if (srs == nullptr) return {};
  char* text = nullptr;
  std::string wkt;
  if (OSRExportToWkt(srs, &text) == OGRERR_NONE && text != nullptr) wkt = text;
  CPLFree(text);
  return wkt;
}

}  // namespace

RasterReader::RasterReader(const std::string& path, const RasterRequest& request, bool single_axes)
    : source_(new Source(path)), request_(request) {
  GDALDatasetH ds = source_->dataset.get();
  if (ds == nullptr) throw Failure(open_failure(path));
  RasterInfo& out = info_;
  out.band_count = GDALGetRasterCount(ds);
  if (out.band_count == 0) refuse_subdatasets(ds);
  if (request.band > out.band_count)
    throw Failure("has " + std::to_string(out.band_count) + " band" + (out.band_count == 1 ? "" : "s") +
                  ", so no band " + std::to_string(request.band));
  out.columns = GDALGetRasterXSize(ds);
  out.rows = GDALGetRasterYSize(ds);

  double* gt = gt_;
  if (GDALGetGeoTransform(ds, gt) != CE_None) {
    out.georeferenced = false;
    const double upright[6] = {0, 1, 0, static_cast<double>(out.rows), 0, -1};
    std::copy(upright, upright + 6, gt);
  }
  if (gt[2] != 0 || gt[4] != 0)
    throw Failure("the raster is rotated (its geotransform turns rows and columns); warp it north-up first");
  if (gt[1] == 0 || gt[5] == 0) throw Failure("the geotransform gives pixels no width or no height");

  GDALRasterBandH band = GDALGetRasterBand(ds, request.band);
  const std::string which = "band " + std::to_string(request.band) + "'s ";
  const double scale = GDALGetRasterScale(band, nullptr);
  const double offset = GDALGetRasterOffset(band, nullptr);
  if (!std::isfinite(scale)) throw Failure(which + "scale is " + show(scale) + ", not a finite number");
  if (!std::isfinite(offset)) throw Failure(which + "offset is " + show(offset) + ", not a finite number");

  out.x_full = centres(out.columns, request.every, gt[0], gt[1], "x");
  out.y_full = centres(out.rows, request.every, gt[3], gt[5], "y");
  if (single_axes) {
    out.x = single_centres(out.x_full, "x");
    out.y = single_centres(out.y_full, "y");
  }
  out.crs_wkt = crs_of(ds);
  char** files = GDALGetFileList(ds);
  for (int k = 0; files != nullptr && files[k] != nullptr; ++k) out.files.push_back(files[k]);
  CSLDestroy(files);
}

RasterReader::~RasterReader() = default;

void RasterReader::read(RowSink& sink, Progress& progress) {
  // Pixels of the types single precision holds whole are read as such, in
  // half the memory.
  switch (GDALGetRasterDataType(GDALGetRasterBand(source_->dataset.get(), request_.band))) {
    case GDT_Byte:
    case GDT_UInt16:
    case GDT_Int16:
    case GDT_Float32:
      read_as<float>(sink, progress);
      break;
    default:
      read_as<double>(sink, progress);
  }
}

template <typename T>
void RasterReader::read_as(RowSink& sink, Progress& progress) {
  GDALRasterBandH band = GDALGetRasterBand(source_->dataset.get(), request_.band);
  const int64_t columns = info_.columns;
  const int64_t every = request_.every;
  const size_t nx = info_.x_full.size();
  const size_t ny = info_.y_full.size();
  int has_nodata = 0;
  const double nodata = GDALGetRasterNoDataValue(band, &has_nodata);
  // A Float32 band's nodata may be written with fewer digits than its pixels.
  const bool single = GDALGetRasterDataType(band) == GDT_Float32 && fits_single(nodata);
  const float nodata_single = single ? static_cast<float>(nodata) : 0.0f;
  const double scale = GDALGetRasterScale(band, nullptr);
  const double offset = GDALGetRasterOffset(band, nullptr);

  int block_width = 0, block_height = 0;
  GDALGetBlockSize(band, &block_width, &block_height);
  block_height = std::max(block_height, 1);
  limit_block_cache(band, columns, block_height);
  // Rows per read: the block's height, fewer when a block row is huge, and
  // as many blocks as make about a megabyte when they are short.
  const int64_t row_bytes = std::max<int64_t>(columns * static_cast<int64_t>(sizeof(T)), 1);
  const int64_t fit = std::max<int64_t>(kReadBytes / row_bytes, 1);
  int64_t rows_per_read = std::min<int64_t>(fit, block_height);
  if (rows_per_read == block_height)
    rows_per_read = std::min(fit, std::max<int64_t>(kChunkBytes / row_bytes / block_height, 1) * block_height);

  std::vector<T> pixels;
  std::vector<double> values(nx);
  bool any = false;
  size_t kept = 0;  // rows handed on
  progress.start("reading the raster", ny);
  for (int64_t first = 0; first < info_.rows && kept < ny; first += rows_per_read) {
    // The kept rows of these: first_kept, first_kept + every, ... up to last.
    const int64_t last = std::min(first + rows_per_read, info_.rows) - 1;
    const int64_t first_kept = (first + every - 1) / every * every;
    if (first_kept > last) continue;
    const int64_t last_kept = last / every * every;
    const int64_t count = last_kept - first_kept + 1;
    pixels.resize(static_cast<size_t>(count * columns));
    if (GDALRasterIO(band, GF_Read, 0, static_cast<int>(first_kept), static_cast<int>(columns),
                     static_cast<int>(count), pixels.data(), static_cast<int>(columns), static_cast<int>(count),
                     sizeof(T) == sizeof(float) ? GDT_Float32 : GDT_Float64, 0, 0) != CE_None)
      throw Failure("cannot read rows " + std::to_string(first_kept + 1) + " to " + std::to_string(last_kept + 1) +
                    ": " + gdal_reason("read error"));
    for (int64_t r = first_kept; r <= last_kept; r += every) {
      const T* row = pixels.data() + (r - first_kept) * columns;
      for (size_t i_kept = 0; i_kept < nx; ++i_kept) {
        const double raw = row[static_cast<int64_t>(i_kept) * every];  // exact
        double& out = values[gt_[1] < 0 ? nx - 1 - i_kept : i_kept];
        out = NAN;
        if (!std::isfinite(raw)) continue;
        if (has_nodata && (single ? static_cast<float>(raw) == nodata_single : raw == nodata)) continue;
        const double v = raw * scale + offset;
        if (!fits_single(v))
          throw Failure("the pixel at column " + std::to_string(static_cast<int64_t>(i_kept) * every + 1) +
                        ", row " + std::to_string(r + 1) + " holds " + show(v) + ", beyond single precision");
        out = v;
        any = true;
      }
      sink.row(gt_[5] < 0 ? ny - 1 - kept : kept, values.data());
      progress.advance(++kept);
    }
  }
  progress.finish();
  if (!any) throw Failure("no data: every pixel of band " + std::to_string(request_.band) + " is nodata");
}

namespace {

class GridSink : public RowSink {
 public:
  explicit GridSink(Grid& grid) : grid_(grid) {}
  void row(size_t j, const double* values) override {
    float* out = grid_.value.data() + j * grid_.x.size();
    for (size_t i = 0; i < grid_.x.size(); ++i) out[i] = static_cast<float>(values[i]);
  }

 private:
  Grid& grid_;
};

}  // namespace

Raster read_raster(const std::string& path, const RasterRequest& request, Progress& progress) {
  RasterReader reader(path, request);
  const RasterInfo& info = reader.info();
  Raster out;
  out.band_count = info.band_count;
  out.georeferenced = info.georeferenced;
  out.columns = info.columns;
  out.rows = info.rows;
  out.grid.x = info.x;
  out.grid.y = info.y;
  out.grid.value.assign(info.x.size() * info.y.size(), NAN);
  GridSink sink(out.grid);
  reader.read(sink, progress);
  return out;
}

}  // namespace convert

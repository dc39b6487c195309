// Rasters made here through GDAL: orientations, nodata, drivers and faults.
#include <cpl_conv.h>
#include <gdal.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "convert_helper.h"
#include "default_objects.h"
#include "raster_reader.h"
#include "test_support.h"

namespace {

using convert::Grid;
using convert::RasterRequest;

struct TestRaster {
  int columns = 4;
  int rows = 3;
  std::vector<double> gt = {100, 10, 0, 230, 0, -10};  // north up: pixel centres x 105.., y 225..
  bool georeferenced = true;
  bool has_nodata = true;
  double nodata = -9999;
  GDALDataType type = GDT_Float32;
  int bands = 1;
  double scale = 1, offset = 0;
  // Row r (from the file's first), column c, band b.
  std::vector<double> values = {1, 2, 3, 4, 5, -9999, 7, 8, 9, 10, 11, 12.5};
  std::vector<std::string> options;  // the driver's creation options
};

// Writes the raster with driver (GTiff, AAIGrid, netCDF), through an
// in-memory copy for drivers that only copy.
std::string make_raster(const testing_support::TempDir& dir, const std::string& name, const char* driver,
                        const TestRaster& s) {
  GDALAllRegister();
  GDALDatasetH mem = GDALCreate(GDALGetDriverByName("MEM"), "", s.columns, s.rows, s.bands, s.type, nullptr);
  if (s.georeferenced) GDALSetGeoTransform(mem, const_cast<double*>(s.gt.data()));
  for (int b = 1; b <= s.bands; ++b) {
    GDALRasterBandH band = GDALGetRasterBand(mem, b);
    if (s.has_nodata) GDALSetRasterNoDataValue(band, s.nodata);
    if (s.scale != 1) GDALSetRasterScale(band, s.scale);
    if (s.offset != 0) GDALSetRasterOffset(band, s.offset);
    std::vector<double> v = s.values;
    for (double& x : v) x *= b;
    EXPECT_EQ(GDALRasterIO(band, GF_Write, 0, 0, s.columns, s.rows, v.data(), s.columns, s.rows, GDT_Float64, 0, 0),
              CE_None);
  }
  const std::string path = dir.file(name);
  std::vector<char*> options;
  for (const std::string& o : s.options) options.push_back(const_cast<char*>(o.c_str()));
  options.push_back(nullptr);
  GDALDatasetH out =
      GDALCreateCopy(GDALGetDriverByName(driver), path.c_str(), mem, FALSE, options.data(), nullptr, nullptr);
  EXPECT_NE(out, nullptr) << driver;
  if (out != nullptr) GDALClose(out);
  GDALClose(mem);
  return path;
}

convert::Raster raster(const std::string& path, const RasterRequest& request = {}) {
  convert::Progress quiet(false);
  return convert::read_raster(path, request, quiet);
}

std::string refusal(const std::string& path, const RasterRequest& request = {}) {
  try {
    raster(path, request);
  } catch (const convert::Failure& f) {
    return f.what();
  }
  return "accepted";
}

// The grid of the default test raster: x ascending from 105, y from 205 (the
// file's last row), the nodata pixel left out.
void expect_small_grid(const Grid& g) {
  EXPECT_EQ(g.x, (std::vector<float>{105, 115, 125, 135}));
  EXPECT_EQ(g.y, (std::vector<float>{205, 215, 225}));
  EXPECT_EQ(g.at(0, 0), 9.0f);
  EXPECT_EQ(g.at(3, 0), 12.5f);
  EXPECT_EQ(g.at(0, 2), 1.0f);
  EXPECT_TRUE(std::isnan(g.at(1, 1)));
  EXPECT_EQ(g.at(2, 1), 7.0f);
}

TEST(Raster, NorthUpSouthUpAndMirroredGiveOneGrid) {
  testing_support::TempDir dir;
  TestRaster north;
  expect_small_grid(raster(make_raster(dir, "north.tif", "GTiff", north)).grid);
  // Rows from the south: the first row is the lowest y.
  TestRaster south = north;
  south.gt = {100, 10, 0, 200, 0, 10};
  south.values = {9, 10, 11, 12.5, 5, -9999, 7, 8, 1, 2, 3, 4};
  expect_small_grid(raster(make_raster(dir, "south.tif", "GTiff", south)).grid);
  // Columns from the east.
  TestRaster east = north;
  east.gt = {140, -10, 0, 230, 0, -10};
  east.values = {4, 3, 2, 1, 8, 7, -9999, 5, 12.5, 11, 10, 9};
  expect_small_grid(raster(make_raster(dir, "east.tif", "GTiff", east)).grid);
}

TEST(Raster, AsciiGridAndNetcdf) {
  testing_support::TempDir dir;
  TestRaster s;
  expect_small_grid(raster(make_raster(dir, "small.asc", "AAIGrid", s)).grid);
  if (GDALGetDriverByName("netCDF") == nullptr) GTEST_SKIP() << "GDAL has no netCDF driver";
  expect_small_grid(raster(make_raster(dir, "small.nc", "netCDF", s)).grid);
}

TEST(Raster, BandsScaleOffsetEveryAndNoGeotransform) {
  testing_support::TempDir dir;
  TestRaster s;
  s.bands = 3;
  s.has_nodata = false;
  RasterRequest second;
  second.band = 2;
  const convert::Raster r = raster(make_raster(dir, "bands.tif", "GTiff", s), second);
  EXPECT_EQ(r.band_count, 3);
  EXPECT_EQ(r.grid.at(1, 1), -19998.0f);  // without nodata, -9999 is a value
  EXPECT_EQ(r.grid.at(3, 0), 25.0f);

  TestRaster packed;
  packed.type = GDT_Int16;
  packed.values = {1, 2, 3, 4, 5, -9999, 7, 8, 9, 10, 11, 12};
  packed.scale = 0.5;
  packed.offset = 100;
  const Grid g = raster(make_raster(dir, "packed.tif", "GTiff", packed)).grid;
  EXPECT_EQ(g.at(0, 0), 104.5f);
  EXPECT_TRUE(std::isnan(g.at(1, 1)));  // nodata is compared before scaling

  RasterRequest every;
  every.every = 2;
  const Grid thin = raster(make_raster(dir, "every.tif", "GTiff", TestRaster{}), every).grid;
  EXPECT_EQ(thin.x, (std::vector<float>{105, 125}));
  EXPECT_EQ(thin.y, (std::vector<float>{205, 225}));  // rows 1 and 3 of the file
  EXPECT_EQ(thin.at(1, 0), 11.0f);
  EXPECT_EQ(thin.at(1, 1), 3.0f);

  TestRaster plain;
  plain.georeferenced = false;
  const convert::Raster p = raster(make_raster(dir, "plain.tif", "GTiff", plain));
  EXPECT_FALSE(p.georeferenced);
  EXPECT_EQ(p.grid.x, (std::vector<float>{0.5f, 1.5f, 2.5f, 3.5f}));
  EXPECT_EQ(p.grid.y, (std::vector<float>{0.5f, 1.5f, 2.5f}));
  EXPECT_EQ(p.grid.at(0, 2), 1.0f);  // the first row stays on top
}

TEST(Raster, Refusals) {
  testing_support::TempDir dir;
  TestRaster rotated;
  rotated.gt = {100, 10, 1, 230, 0, -10};
  EXPECT_EQ(refusal(make_raster(dir, "rotated.tif", "GTiff", rotated)),
            "the raster is rotated (its geotransform turns rows and columns); warp it north-up first");
  RasterRequest third;
  third.band = 3;
  EXPECT_EQ(refusal(make_raster(dir, "one.tif", "GTiff", TestRaster{}), third), "has 1 band, so no band 3");
  TestRaster empty;
  empty.values.assign(12, -9999);
  EXPECT_EQ(refusal(make_raster(dir, "empty.tif", "GTiff", empty)), "no data: every pixel of band 1 is nodata");
  TestRaster huge;
  huge.type = GDT_Float64;
  huge.values[6] = 1e300;
  EXPECT_EQ(refusal(make_raster(dir, "huge.tif", "GTiff", huge)),
            "the pixel at column 3, row 2 holds 1e+300, beyond single precision");
  TestRaster close;
  close.gt = {1e7, 0.1, 0, 230, 0, -10};
  EXPECT_EQ(refusal(make_raster(dir, "close.tif", "GTiff", close)),
            "pixel centres x = 10000000 and 10000000 are one in single precision; keep fewer pixels with --every");
  TestRaster infinite;
  infinite.scale = INFINITY;
  EXPECT_EQ(refusal(make_raster(dir, "infinite.tif", "GTiff", infinite)), "band 1's scale is inf, not a finite number");
  TestRaster shifted;
  shifted.offset = NAN;
  EXPECT_EQ(refusal(make_raster(dir, "shifted.tif", "GTiff", shifted)), "band 1's offset is nan, not a finite number");
  const std::string text = dir.file("words.tif");
  testing_support::write_file(text, "not a raster\n");
  EXPECT_EQ(refusal(text).rfind("cannot open as a raster: ", 0), 0u) << refusal(text);
  // A name that is no file gets the system's reason.
  EXPECT_EQ(refusal(dir.file("missing.tif")), "cannot open: No such file or directory");
  EXPECT_EQ(refusal(dir.path()), "cannot open: Is a directory");
  EXPECT_EQ(refusal("NETCDF:\"" + dir.file("missing.nc") + "\":tas").rfind("cannot open as a raster: ", 0), 0u);
}

// Rows and columns kept with --every are the same whatever the blocks the
// raster is stored in: tiles smaller than the raster, strips of one row
// (read straight from the file, more than a read's worth of them), one strip
// for the whole raster; and the same when the user turned direct reads off,
// whose choice the reader leaves as it was.
TEST(Raster, BlocksAndStripsGiveOneGrid) {
  testing_support::TempDir dir;
  TestRaster big;
  big.columns = 203;
  big.rows = 1400;
  big.gt = {0, 1, 0, 1400, 0, -1};
  big.values.resize(static_cast<size_t>(big.columns) * big.rows);
  for (size_t k = 0; k < big.values.size(); ++k) big.values[k] = k % 17 == 0 ? -9999 : static_cast<double>(k % 1001);
  TestRaster tiled = big, strips = big, whole = big;
  tiled.options = {"TILED=YES", "BLOCKXSIZE=32", "BLOCKYSIZE=16", "COMPRESS=DEFLATE"};
  strips.options = {"BLOCKYSIZE=1"};
  whole.options = {"BLOCKYSIZE=1400"};
  const std::string whole_path = make_raster(dir, "whole.tif", "GTiff", whole);
  const std::string tiled_path = make_raster(dir, "tiled.tif", "GTiff", tiled);
  const std::string strips_path = make_raster(dir, "strips.tif", "GTiff", strips);
  for (int every : {1, 3, 16, 200}) {
    RasterRequest request;
    request.every = every;
    const Grid want = raster(whole_path, request).grid;
    for (const char* user : {static_cast<const char*>(nullptr), "NO"}) {
      CPLSetThreadLocalConfigOption("GTIFF_DIRECT_IO", user);
      for (const std::string& path : {tiled_path, strips_path, whole_path}) {
        const Grid g = raster(path, request).grid;
        const char* left = CPLGetThreadLocalConfigOption("GTIFF_DIRECT_IO", nullptr);
        EXPECT_EQ(left == nullptr ? "unset" : std::string(left), user == nullptr ? "unset" : user);
        EXPECT_EQ(g.x, want.x) << every;
        EXPECT_EQ(g.y, want.y) << every;
        ASSERT_EQ(g.value.size(), want.value.size());
        for (size_t k = 0; k < g.value.size(); ++k)
          ASSERT_TRUE(g.value[k] == want.value[k] || (std::isnan(g.value[k]) && std::isnan(want.value[k])))
              << path << ", every " << every << " at " << k;
      }
    }
    CPLSetThreadLocalConfigOption("GTIFF_DIRECT_IO", nullptr);
    // The first column of the last row kept is the lowest y.
    const double first = big.values[static_cast<size_t>((big.rows - 1) / every * every * big.columns)];
    if (first == -9999) {
      EXPECT_TRUE(std::isnan(want.at(0, 0))) << every;
    } else {
      EXPECT_EQ(want.at(0, 0), static_cast<float>(first)) << every;
    }
  }
}

TEST(Raster, TheGridIsReadAsWritten) {
  testing_support::TempDir dir;
  convert::Model model;
  model.grid = raster(make_raster(dir, "small.tif", "GTiff", TestRaster{})).grid;
  convert::Header header;
  header.titles = {testing_support::cp932("地形図"), ""};
  header.full = true;
  header.levels = {{5.0f, false, true}};
  ASSERT_EQ(read_back(converted(model, header)), "");
  EXPECT_EQ(model_store.grid_nx, 4);
  EXPECT_EQ(model_store.grid_ny, 3);
  EXPECT_EQ(model_store.grid_x[4], 135.0f);
  EXPECT_EQ(model_store.grid_y[1], 205.0f);
  EXPECT_EQ(model_store.grid_value[4][1], 12.5f);
  EXPECT_EQ(model_store.grid_defined[2][2], 0);
  EXPECT_EQ(model_store.grid_defined[3][2], 1);
  EXPECT_EQ(model_store.title_count, 2);
  EXPECT_EQ(std::string(model_store.titles[0]), testing_support::cp932("地形図"));
  EXPECT_EQ(model_store.display_mode, 2);
}

}  // namespace

// Sources read into memory at full precision, their options, and the mask
// of triangulated tables.
#include <gdal.h>
#include <gtest/gtest.h>
#include <ogr_srs_api.h>

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "IsovarLib.h"
#include "raster_reader.h"
#include "source.h"
#include "test_support.h"

namespace {

using convert::Source;
using convert::SourceRequest;
using testing_support::TempDir;

// A north-up Float64 GeoTIFF in UTM zone 17N (EPSG:32617): columns x rows
// pixels of size metres, the upper left corner at (left, top); value(c, r)
// for column c and row r from the top.
std::string make_utm_tif(const TempDir& dir, const std::string& name, int columns, int rows, double left, double top,
                         double size, double (*value)(int, int), bool with_crs = true) {
  GDALAllRegister();
  const std::string path = dir.file(name);
  GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), columns, rows, 1, GDT_Float64, nullptr);
  double gt[6] = {left, size, 0, top, 0, -size};
  GDALSetGeoTransform(ds, gt);
  if (with_crs) {
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(srs, 32617);
    GDALSetSpatialRef(ds, srs);
    OSRDestroySpatialReference(srs);
  }
  std::vector<double> v;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) v.push_back(value(c, r));
  EXPECT_EQ(GDALRasterIO(GDALGetRasterBand(ds, 1), GF_Write, 0, 0, columns, rows, v.data(), columns, rows,
                         GDT_Float64, 0, 0),
            CE_None);
  GDALClose(ds);
  return path;
}

// A value single precision cannot hold exactly.
double fine_value(int c, int r) { return 100.0 + c * 0.1234567891 + r * 1e-7; }

Source load(const std::string& path, const SourceRequest& request = {}) {
  convert::Progress quiet(false);
  return convert::load_source(path, request, quiet);
}

std::string load_failure(const std::string& path, const SourceRequest& request) {
  try {
    load(path, request);
  } catch (const convert::Failure& f) {
    return f.what();
  }
  return "accepted";
}

TEST(Source, RastersKeepUtmPositionsAndValuesInDouble) {
  TempDir dir;
  struct Case {
    double size;
    int every;
    bool model_file_refuses;  // pixel centres one in single precision
  };
  // 0.5 m pixels at y = 5,000,000 are refused in a model file (single
  // precision steps by 0.5 there), 1 m ones are not.
  const Case cases[] = {{0.5, 1, true}, {0.5, 2, false}, {0.01, 1, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    const double left = 500000.0, top = 5000000.0;
    const std::string path = make_utm_tif(dir, "utm.tif", 5, 4, left, top, c.size, fine_value);
    SourceRequest request;
    request.raster.every = c.every;
    const Source s = load(path, request);
    ASSERT_TRUE(s.is_grid);
    const size_t nx = (5 + c.every - 1) / c.every, ny = (4 + c.every - 1) / c.every;
    ASSERT_EQ(s.x.size(), nx);
    ASSERT_EQ(s.y.size(), ny);
    for (size_t i = 0; i < nx; ++i) EXPECT_EQ(s.x[i], left + (static_cast<double>(i * c.every) + 0.5) * c.size);
    // y ascending: the file's last kept row first.
    for (size_t j = 0; j < ny; ++j) {
      const int r = static_cast<int>((ny - 1 - j) * c.every);
      EXPECT_EQ(s.y[j], top - (r + 0.5) * c.size);
      for (size_t i = 0; i < nx; ++i) EXPECT_EQ(s.z[j * nx + i], fine_value(static_cast<int>(i * c.every), r));
    }
    EXPECT_NE(s.crs_wkt.find("32617"), std::string::npos);
    EXPECT_FALSE(s.levels.empty());
    // The model file holds absolute single-precision positions.
    bool refused = false;
    try {
      convert::RasterReader reader(path, request.raster);
    } catch (const convert::Failure& f) {
      refused = std::string(f.what()).find("one in single precision") != std::string::npos;
    }
    EXPECT_EQ(refused, c.model_file_refuses);
  }
  // Without a CRS none is made up; --crs gives one.
  const std::string bare = make_utm_tif(dir, "bare.tif", 3, 3, 0, 3, 1, fine_value, false);
  EXPECT_TRUE(load(bare).crs_wkt.empty());
  SourceRequest with_crs;
  with_crs.crs = "EPSG:4326";
  EXPECT_NE(load(bare, with_crs).crs_wkt.find("WGS 84"), std::string::npos);
}

// A Float32 raster in UTM with nodata pixels: north-up or south-up.
std::string make_nodata_tif(const TempDir& dir, int columns, int rows, double size, bool south_up) {
  GDALAllRegister();
  const std::string path = dir.file(south_up ? "south.tif" : "north.tif");
  GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), columns, rows, 1, GDT_Float32, nullptr);
  double gt[6] = {600000.25, size, 0, south_up ? 4000000.0 : 4000000.0 + rows * size, 0, south_up ? size : -size};
  GDALSetGeoTransform(ds, gt);
  GDALRasterBandH band = GDALGetRasterBand(ds, 1);
  GDALSetRasterNoDataValue(band, -9999);
  std::vector<float> v;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c)
      v.push_back((c * 7 + r * 3) % 11 == 0 ? -9999.0f : static_cast<float>(std::sin(c * 0.7) * 20 + r * 1.37));
  EXPECT_EQ(GDALRasterIO(band, GF_Write, 0, 0, columns, rows, v.data(), columns, rows, GDT_Float32, 0, 0), CE_None);
  GDALClose(ds);
  return path;
}

// RasterRows into isovarModelGridRows, as isovar-plot builds a raster's model.
struct RowsPut : convert::RowSink {
  IsovarGridRowPut put = nullptr;
  void* context = nullptr;
  convert::RasterRows* raster = nullptr;
  void row(size_t j, const double* values) override { ASSERT_EQ(put(context, static_cast<int32_t>(j), values), 0); }
  static int32_t fill(void* user, IsovarGridRowPut put, void* context) {
    auto* self = static_cast<RowsPut*>(user);
    self->put = put;
    self->context = context;
    convert::Progress quiet(false);
    self->raster->read(*self, quiet);
    return 0;
  }
};

struct Traced {
  double origin_x = 0, origin_y = 0;
  IsovarModelSummary summary{};
  std::vector<std::vector<double>> lines;  // level, closed, x0, y0, ...
};

Traced trace(IsovarModel* model) {
  Traced out;
  isovarModelOrigin(model, &out.origin_x, &out.origin_y);
  isovarModelDescribe(model, &out.summary);
  char err[ISOVAR_ERRMSG_SIZE] = {};
  IsovarRun* run = isovarRunNew();
  EXPECT_EQ(isovarRunTrace(run, model, 0, err), 0) << err;
  for (int32_t i = 0; i < isovarRunLineCount(run); ++i) {
    int32_t level = 0, closed = 0;
    const int32_t n = isovarRunLine(run, i, &level, &closed, nullptr);
    std::vector<double> line{static_cast<double>(level), static_cast<double>(closed)};
    line.resize(2 + 2 * static_cast<size_t>(n));
    isovarRunLine(run, i, &level, &closed, line.data() + 2);
    out.lines.push_back(line);
  }
  isovarRunFree(run);
  return out;
}

// The raster read row by row into the model gives the model, levels and
// lines of the whole raster read first and built from its arrays.
TEST(Source, RasterRowsBuildTheModelOfTheWholeRaster) {
  TempDir dir;
  struct Case {
    double size;
    int every;
    bool south_up;
  };
  const Case cases[] = {{0.5, 1, false}, {0.5, 1, true}, {30, 2, false}, {0.01, 3, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.size) + (c.south_up ? " south-up" : " north-up") + " every " +
                 std::to_string(c.every));
    const std::string path = make_nodata_tif(dir, 23, 17, c.size, c.south_up);
    SourceRequest request;
    request.raster.every = c.every;
    request.levels.count = 7;
    const Source whole = load(path, request);
    convert::RasterRows raster(path, request);
    ASSERT_EQ(raster.source().x, whole.x);
    ASSERT_EQ(raster.source().y, whole.y);

    char err[ISOVAR_ERRMSG_SIZE] = {};
    IsovarModel* from_arrays = isovarModelNew();
    IsovarModel* from_rows = isovarModelNew();
    ASSERT_EQ(isovarModelGrid(from_arrays, static_cast<int32_t>(whole.x.size()), static_cast<int32_t>(whole.y.size()),
                              whole.x.data(), whole.y.data(), whole.z.data(), nullptr, 1, err),
              0)
        << err;
    RowsPut rows;
    rows.raster = &raster;
    ASSERT_EQ(isovarModelGridRows(from_rows, static_cast<int32_t>(whole.x.size()),
                                  static_cast<int32_t>(whole.y.size()), whole.x.data(), whole.y.data(),
                                  RowsPut::fill, &rows, nullptr, 1, err),
              0)
        << err;
    ASSERT_EQ(raster.source().levels.size(), whole.levels.size());
    std::vector<double> levels;
    for (size_t k = 0; k < whole.levels.size(); ++k) {
      EXPECT_EQ(raster.source().levels[k].value, whole.levels[k].value);
      levels.push_back(whole.levels[k].value);
    }
    const IsovarModelInfo info = {static_cast<int32_t>(levels.size()), levels.data(), nullptr, nullptr, 0, nullptr, 1};
    ASSERT_EQ(isovarModelSetInfo(from_arrays, &info, err), 0) << err;
    ASSERT_EQ(isovarModelSetInfo(from_rows, &info, err), 0) << err;

    const Traced a = trace(from_arrays), b = trace(from_rows);
    EXPECT_NE(a.origin_x, 0.0);
    EXPECT_EQ(a.origin_x, b.origin_x);
    EXPECT_EQ(a.origin_y, b.origin_y);
    EXPECT_EQ(std::memcmp(&a.summary, &b.summary, sizeof a.summary), 0);
    EXPECT_FALSE(a.lines.empty());
    EXPECT_EQ(a.lines, b.lines);
    isovarModelFree(from_arrays);
    isovarModelFree(from_rows);
  }
}

// Rows put in any order, more of them than are held at once, on grids
// wider and taller than the blocks they are stored in, give the model built
// from the same arrays.
TEST(Source, GridRowsInAnyOrderGiveTheModelOfTheArrays) {
  struct Case {
    int32_t nx, ny;
    const char* order;
  };
  const Case cases[] = {{9000, 70, "ascending"}, {9000, 70, "descending"}, {131, 200, "shuffled"},
                        {5, 300, "shuffled"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.nx) + " x " + std::to_string(c.ny) + ", " + c.order);
    std::vector<double> x(c.nx), y(c.ny), z(static_cast<size_t>(c.nx) * c.ny);
    for (int32_t i = 0; i < c.nx; ++i) x[i] = 700000.0 + 2.5 * i;
    for (int32_t j = 0; j < c.ny; ++j) y[j] = 4100000.0 + 2.5 * j;
    for (int32_t j = 0; j < c.ny; ++j)
      for (int32_t i = 0; i < c.nx; ++i)
        z[static_cast<size_t>(j) * c.nx + i] =
            (i * 31 + j * 17) % 23 == 0 ? NAN : std::sin(i * 0.05) * 10 + std::cos(j * 0.11) * 7;
    std::vector<int32_t> order(c.ny);
    for (int32_t j = 0; j < c.ny; ++j) order[j] = std::string(c.order) == "descending" ? c.ny - 1 - j : j;
    if (std::string(c.order) == "shuffled")
      for (int32_t j = 0; j < c.ny; ++j) std::swap(order[j], order[(j * 7919 + 13) % c.ny]);
    struct Fill {
      const std::vector<double>* z;
      const std::vector<int32_t>* order;
      int32_t nx;
      static int32_t run(void* user, IsovarGridRowPut put, void* context) {
        const auto* f = static_cast<Fill*>(user);
        for (const int32_t j : *f->order)
          if (put(context, j, f->z->data() + static_cast<size_t>(j) * f->nx) != 0) return -1;
        return 0;
      }
    } fill{&z, &order, c.nx};
    const double levels[] = {-12, -5, 0, 3, 9, 15};
    const IsovarModelInfo info = {6, levels, nullptr, nullptr, 0, nullptr, 1};
    char err[ISOVAR_ERRMSG_SIZE] = {};
    IsovarModel* from_arrays = isovarModelNew();
    IsovarModel* from_rows = isovarModelNew();
    ASSERT_EQ(isovarModelGrid(from_arrays, c.nx, c.ny, x.data(), y.data(), z.data(), &info, 1, err), 0) << err;
    ASSERT_EQ(isovarModelGridRows(from_rows, c.nx, c.ny, x.data(), y.data(), Fill::run, &fill, &info, 1, err), 0)
        << err;
    const Traced a = trace(from_arrays), b = trace(from_rows);
    EXPECT_EQ(std::memcmp(&a.summary, &b.summary, sizeof a.summary), 0);
    EXPECT_FALSE(a.lines.empty());
    EXPECT_EQ(a.lines, b.lines);
    isovarModelFree(from_arrays);
    isovarModelFree(from_rows);
  }
}

// A value the model refuses, and a failure of the caller's own, fail the
// build and leave the model as it was.
TEST(Source, GridRowsFailuresLeaveTheModel) {
  const double x[3] = {0, 1, 2}, y[2] = {0, 1};
  struct Case {
    double value;   // put in row 1, column 2
    int32_t fill_result;
    bool message;   // the model says why
  };
  const Case cases[] = {{1e39, 0, true}, {INFINITY, 0, true}, {5, 3, false}};
  for (const Case& c : cases) {
    struct Fill {
      const Case* c;
      static int32_t run(void* user, IsovarGridRowPut put, void* context) {
        const Case& k = *static_cast<Fill*>(user)->c;
        const double row0[3] = {1, 2, 3}, row1[3] = {4, NAN, k.value};
        if (put(context, 0, row0) != 0 || put(context, 1, row1) != 0) return -1;
        return k.fill_result;
      }
    } fill{&c};
    char err[ISOVAR_ERRMSG_SIZE] = {};
    IsovarModel* model = isovarModelNew();
    EXPECT_NE(isovarModelGridRows(model, 3, 2, x, y, Fill::run, &fill, nullptr, 1, err), 0);
    EXPECT_EQ(err[0] != '\0', c.message) << err;
    IsovarModelSummary summary{};
    isovarModelDescribe(model, &summary);
    EXPECT_EQ(summary.xmax, 0.0) << "the model stays empty";
    isovarModelFree(model);
  }
}

TEST(Source, TablesAndMeshesKeepTheirDigits) {
  TempDir dir;
  testing_support::write_file(dir.file("survey.csv"),
                              "x,y,z\n"
                              "500000.01,5000000.02,10.123456789\n"
                              "500010.01,5000000.02,11\n"
                              "500000.01,5000010.03,12\n"
                              "500000.01,5000010.03,99\n"  // merged with the point before
                              "500010.01,5000010.03,13\n");
  const Source t = load(dir.file("survey.csv"));
  ASSERT_FALSE(t.is_grid);
  ASSERT_EQ(t.node_x.size(), 4u);
  EXPECT_EQ(t.node_x[0], 500000.01);
  EXPECT_EQ(t.node_y[2], 5000010.03);
  EXPECT_EQ(t.node_value[0], 10.123456789);
  ASSERT_EQ(t.cells.size(), 8u);  // two triangles
  EXPECT_EQ(t.cells[3], -1);
  ASSERT_EQ(t.notes.size(), 1u);
  EXPECT_NE(t.notes[0].find("1 point"), std::string::npos);

  testing_support::write_file(dir.file("plate.msh"),
                              "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n"
                              "$Nodes\n5\n"
                              "1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n9 2.000000001 0.5 0\n"
                              "$EndNodes\n"
                              "$Elements\n3\n"
                              "1 3 2 0 1 1 2 3 4\n2 2 2 0 1 2 9 3\n3 1 2 0 1 1 2\n"
                              "$EndElements\n"
                              "$NodeData\n1\n\"p\"\n1\n0.0\n3\n0\n1\n4\n"
                              "1 0.1\n2 0.2\n3 0.3\n9 0.900000001\n"
                              "$EndNodeData\n");
  const Source m = load(dir.file("plate.msh"));
  ASSERT_FALSE(m.is_grid);
  EXPECT_EQ(m.node_x[4], 2.000000001);
  EXPECT_EQ(m.node_value[4], 0.900000001);
  EXPECT_TRUE(std::isnan(m.node_value[3]));  // node 4 has no value
  EXPECT_EQ(m.cells, (std::vector<int32_t>{0, 1, 2, 3, 1, 4, 2, -1}));
  ASSERT_EQ(m.notes.size(), 1u);
  EXPECT_NE(m.notes[0].find("2-node line"), std::string::npos);
}

// An L-shaped survey: a 9 x 9 grid of points at 1 m spacing without its
// upper right quadrant (x > 4 and y > 4).
std::string make_l_table(const TempDir& dir) {
  std::string text = "x,y,z\n";
  for (int j = 0; j <= 8; ++j)
    for (int i = 0; i <= 8; ++i)
      if (i <= 4 || j <= 4) text += std::to_string(i) + "," + std::to_string(j) + "," + std::to_string(i + j) + "\n";
  testing_support::write_file(dir.file("l.csv"), text);
  return dir.file("l.csv");
}

// The share of the missing quadrant's interior (4.5 .. 8 in x and y) that
// triangles cover, sampled on a fine lattice.
double quadrant_covered(const Source& s) {
  int inside = 0, total = 0;
  for (double y = 4.55; y < 8; y += 0.1)
    for (double x = 4.55; x < 8; x += 0.1) {
      ++total;
      for (size_t c = 0; c + 3 < s.cells.size(); c += 4) {
        double px[3], py[3];
        for (int k = 0; k < 3; ++k) {
          px[k] = s.node_x[static_cast<size_t>(s.cells[c + k])];
          py[k] = s.node_y[static_cast<size_t>(s.cells[c + k])];
        }
        bool in = true;
        for (int k = 0; k < 3; ++k) {
          const int n = (k + 1) % 3;
          if ((px[n] - px[k]) * (y - py[k]) - (py[n] - py[k]) * (x - px[k]) < 0) in = false;
        }
        if (in) {
          ++inside;
          break;
        }
      }
    }
  return static_cast<double>(inside) / total;
}

TEST(Source, TheMaskLeavesTheMissingQuadrantEmpty) {
  TempDir dir;
  const std::string table = make_l_table(dir);
  testing_support::write_file(dir.file("l.geojson"),
                              "{\"type\":\"FeatureCollection\",\"features\":["
                              "{\"type\":\"Feature\",\"properties\":{},\"geometry\":{\"type\":\"Polygon\","
                              "\"coordinates\":[[[0,0],[8,0],[8,4],[4,4],[4,0],[0,0]]]}},"
                              "{\"type\":\"Feature\",\"properties\":{},\"geometry\":{\"type\":\"Polygon\","
                              "\"coordinates\":[[[0,0],[4,0],[4,8],[0,8],[0,0]]]}}]}");
  struct Case {
    double max_edge;
    const char* boundary;
    size_t triangles;  // 0: not masked
    const char* crs = "";
  };
  // The L itself has 64 - 16 cells of 1 m, two triangles each; the edge
  // limit keeps the triangle at the inner corner too, whose centre lies
  // outside the L.
  const Case cases[] = {{0, "", 0},
                        {1.5, "", 97},
                        {0, "l.geojson", 96},
                        {1.5, "l.geojson", 96},
                        {0, "l.geojson", 96, "EPSG:4326"},
                        // The boundary (GeoJSON: longitude and latitude)
                        // in metres: hundreds of kilometres around the L.
                        {0, "l.geojson", 0, "EPSG:3857"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.max_edge) + " " + c.boundary);
    SourceRequest request;
    request.max_edge = c.max_edge;
    if (*c.boundary != '\0') request.boundary = dir.file(c.boundary);
    request.crs = c.crs;
    const Source s = load(table, request);
    if (c.triangles > 0) {
      EXPECT_EQ(quadrant_covered(s), 0.0);
      EXPECT_EQ(s.cells.size() / 4, c.triangles);
      ASSERT_FALSE(s.notes.empty());
      EXPECT_NE(s.notes.back().find(std::to_string(c.triangles) + " kept"), std::string::npos);
    } else {
      EXPECT_GT(quadrant_covered(s), 0.1);
    }
  }
  SourceRequest too_tight;
  too_tight.max_edge = 0.5;
  EXPECT_NE(load_failure(table, too_tight).find("no data"), std::string::npos);
  SourceRequest no_file;
  no_file.boundary = dir.file("missing.gpkg");
  EXPECT_NE(load_failure(table, no_file).find("cannot open"), std::string::npos);
}

// The options as a program declares them, parsed from args: the usage
// message, or "" and the levels for values from low to high.
std::string parse(const std::vector<std::string>& args, const std::string& path, std::vector<float>* levels = nullptr,
                  float low = 0, float high = 40) {
  CLI::App app;
  SourceRequest request;
  convert::add_source_options(app, request);
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    return e.what();
  }
  const std::string why = convert::check_source_options(request, path);
  if (!why.empty() || levels == nullptr) return why;
  try {
    for (const convert::Level& l : convert::make_levels(request.levels, low, high, request.bold_every, true))
      levels->push_back(l.value);
  } catch (const convert::Failure& f) {
    return f.what();
  }
  return {};
}

TEST(Source, LevelOptionsAsGdalContourGivesThem) {
  struct Case {
    std::vector<std::string> args;
    std::vector<float> levels;
  };
  const Case cases[] = {
      {{"-i", "10"}, {0, 10, 20, 30, 40}},
      {{"--interval", "10", "--offset", "5"}, {5, 15, 25, 35}},
      {{"--offset", "-2.5", "-i", "12.5"}, {10, 22.5, 35}},
      {{"--fixed-levels", "30,1.5,7"}, {1.5, 7, 30}},
      {{"--fixed-levels", "7"}, {7}},
      {{"--levels-count", "3"}, {10, 20, 30}},
      {{"--levels", "0:20:10"}, {0, 10, 20}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    std::vector<float> levels;
    EXPECT_EQ(parse(c.args, "a.tif", &levels), "");
    EXPECT_EQ(levels, c.levels);
  }
}

TEST(Source, OptionsThatCannotBeRightAreUsageErrors) {
  struct Case {
    std::vector<std::string> args;
    std::string path;
    const char* message;  // a part of it
  };
  const Case cases[] = {
      {{"--levels", "5", "-i", "2"}, "a.tif", "--interval: --levels gives the levels already"},
      {{"--fixed-levels", "1,2", "--levels-count", "4"}, "a.tif", "gives the levels already"},
      {{"--offset", "3"}, "a.tif", "--offset: applies to --interval only"},
      {{"-i", "0"}, "a.tif", "above zero"},
      {{"--levels-count", "50"}, "a.tif", "from 1 to 49"},
      {{"--fixed-levels", "1,x"}, "a.tif", "'x' is not a number"},
      {{"--crs", "no such system"}, "a.tif", "--crs: GDAL cannot read the CRS 'no such system'"},
      {{"--max-edge", "0"}, "a.csv", "--max-edge"},
      {{"--max-edge", "2"}, "a.tif", "--max-edge: applies to a table only"},
      {{"--boundary", "b.gpkg"}, "a.msh", "--boundary: applies to a table only"},
      {{"--band", "2"}, "a.csv", "--band: applies to a raster only"},
      {{"--kind", "table", "--step", "1"}, "a.msh", "--step: applies to a mesh only"},
      {{"--band", "2"}, "", ""},  // the kind not known yet
      {{"--crs", "EPSG:32617", "--max-edge", "2.5"}, "a.csv", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    const std::string message = parse(c.args, c.path);
    if (*c.message == '\0') {
      EXPECT_EQ(message, "");
    } else {
      EXPECT_NE(message.find(c.message), std::string::npos) << message;
    }
  }
}

}  // namespace

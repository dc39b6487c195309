// Models from arrays far from 0 (a projected raster's metres): stored as
// single-precision offsets from an origin, given back in double precision.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "IsovarLib.h"
#include "model_arrays.h"
#include "test_support.h"

using testing_support::TempDir;
using testing_support::cp932;
using testing_support::read_file;

namespace {

// Every number inside the "coordinates" members of a GeoJSON text, in order.
std::vector<double> coordinates_of(const std::string& text) {
  std::vector<double> numbers;
  const std::string key = "\"coordinates\":";
  for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at)) {
    at += key.size();
    int depth = 0;
    do {
      const char c = text[at];
      if (c == '[') ++depth;
      else if (c == ']') --depth;
      if (c == '-' || (c >= '0' && c <= '9')) {
        char* end = nullptr;
        numbers.push_back(std::strtod(text.c_str() + at, &end));
        at = static_cast<std::size_t>(end - text.c_str());
        continue;
      }
      ++at;
    } while (depth > 0 && at < text.size());
  }
  return numbers;
}

struct Box {
  double xmin = INFINITY, xmax = -INFINITY, ymin = INFINITY, ymax = -INFINITY;
  void add(double x, double y) {
    xmin = std::min(xmin, x), xmax = std::max(xmax, x);
    ymin = std::min(ymin, y), ymax = std::max(ymax, y);
  }
};

}  // namespace

// z = p * (x - x0) / spacing + q * (y - y0) / spacing over an n x n grid (or
// mesh of triangles) whose first point is (x0, y0) at UTM-like coordinates;
// the node values are whole numbers, so single precision holds them
// exactly and every departure of an isoline from its level line comes from
// the positions. The engine rounds each interpolated offset once to single
// precision: half a unit in the last place of an offset up to n - 1 cells,
// at most (n - 1) * 2^-24 of a cell along an axis, so 1e-6 of a cell holds
// up to 17 cells from the origin.
TEST(Origin, ALinearRampFarFromZeroGivesIsolinesOnItsLevelLines) {
  struct Case {
    bool mesh;
    int n;
    double spacing, x0, y0;
  };
  const Case cases[] = {
      {false, 17, 0.5, 500000.25, 5000000.25}, {false, 17, 30, 500015, 5000015},
      {false, 120, 0.5, 500000.25, 5000000.25}, {false, 499, 30, 500015, 5000015},
      {true, 17, 0.5, 500000.25, 5000000.25},  {true, 150, 30, 500015, 5000015},
  };
  const double p = 3, q = 2;
  TempDir dir;
  IsovarModel* model = isovarModelNew();
  IsovarRun* run = isovarRunNew();
  for (const Case& c : cases) {
    const std::string what = std::string(c.mesh ? "mesh " : "grid ") + std::to_string(c.n) + " at " +
                             std::to_string(c.spacing) + " m";
    ModelArrays a;
    a.mesh = c.mesh;
    std::vector<double> xs, ys;
    for (int i = 0; i < c.n; ++i) xs.push_back(c.x0 + i * c.spacing), ys.push_back(c.y0 + i * c.spacing);
    if (!c.mesh) {
      a.x = xs, a.y = ys;
      for (int j = 0; j < c.n; ++j)
        for (int i = 0; i < c.n; ++i) a.values.push_back(p * i + q * j);
    } else {
      for (int j = 0; j < c.n; ++j)
        for (int i = 0; i < c.n; ++i) a.x.push_back(xs[i]), a.y.push_back(ys[j]), a.values.push_back(p * i + q * j);
      for (int j = 0; j + 1 < c.n; ++j)
        for (int i = 0; i + 1 < c.n; ++i) {
          const int32_t n0 = j * c.n + i, n1 = n0 + 1, n2 = n0 + c.n + 1, n3 = n0 + c.n;
          a.cells.insert(a.cells.end(), {n0, n1, n2, -1, n0, n2, n3, -1});
        }
    }
    const double top = (p + q) * (c.n - 1);
    for (int k = 1; k <= 5; ++k) a.levels.push_back(top * k / 6 + 0.37), a.bold.push_back(0), a.labelled.push_back(1);
    char err[ISOVAR_ERRMSG_SIZE] = {};
    ASSERT_EQ(a.build(model, c.n > 200 ? 1 : 0, err), 0) << what << ": " << err;  // the band table of a big grid
    double ox = 0, oy = 0;
    ASSERT_EQ(isovarModelOrigin(model, &ox, &oy), 0);
    EXPECT_EQ(ox, c.x0) << what;
    EXPECT_EQ(oy, c.y0) << what;
    IsovarModelSummary s;
    ASSERT_EQ(isovarModelDescribe(model, &s), 0);
    EXPECT_TRUE(s.xmin == xs.front() && s.xmax == xs.back() && s.ymin == ys.front() && s.ymax == ys.back()) << what;

    ASSERT_EQ(isovarRunTrace(run, model, 1, err), 0) << what << ": " << err;
    ASSERT_GT(isovarRunLineCount(run), 0) << what;
    const double norm = std::hypot(p, q);  // the ramp's rise per cell, across its level lines
    double worst = 0;                      // in cells
    std::vector<double> all;
    for (int32_t i = 0; i < isovarRunLineCount(run); ++i) {
      int32_t level = 0, closed = 0;
      std::vector<double> xy(2 * static_cast<std::size_t>(isovarRunLine(run, i, &level, &closed, nullptr)));
      isovarRunLine(run, i, &level, &closed, xy.data());
      const double at = static_cast<float>(a.levels[static_cast<std::size_t>(level)]);  // as stored
      for (std::size_t k = 0; k < xy.size(); k += 2) {
        const double z = (p * (xy[k] - c.x0) + q * (xy[k + 1] - c.y0)) / c.spacing;
        worst = std::max(worst, std::fabs(z - at) / norm);
      }
      all.insert(all.end(), xy.begin(), xy.end());
    }
    // Diagonal edges of the mesh carry the rounding on both axes.
    const double bound = (c.n - 1) * std::ldexp(1.0, -24) * (c.mesh ? std::sqrt(2.0) : 1.0);
    EXPECT_LE(worst, std::max(1e-6, bound)) << what;
    if (c.n <= 17) {
      EXPECT_LE(worst, 1e-6) << what;
    }
    std::printf("%s: farthest vertex from its level line %.3g of a cell\n", what.c_str(), worst);

    // The GeoJSON's numbers are the same doubles.
    ASSERT_EQ(isovarRunSaveIsolines(run, dir.file("lines.geojson").c_str(), err), 0) << err;
    EXPECT_TRUE(coordinates_of(read_file(dir.file("lines.geojson"))) == all) << what;

    // The bands cover the model: their rings reach its extent, in both forms.
    ASSERT_EQ(isovarRunBands(run, err), 0) << err;
    Box rings;
    for (int32_t b = 0; b < isovarRunBandCount(run); ++b)
      for (int32_t poly = 0; poly < isovarRunBand(run, b, nullptr); ++poly) {
        int32_t ring_count = 1;
        for (int32_t r = 0; r < ring_count; ++r) {
          std::vector<double> xy(2 * static_cast<std::size_t>(isovarRunBandRing(run, b, poly, r, &ring_count, nullptr)));
          isovarRunBandRing(run, b, poly, r, &ring_count, xy.data());
          for (std::size_t k = 0; k < xy.size(); k += 2) rings.add(xy[k], xy[k + 1]);
        }
      }
    EXPECT_TRUE(rings.xmin == s.xmin && rings.xmax == s.xmax && rings.ymin == s.ymin && rings.ymax == s.ymax) << what;
    ASSERT_EQ(isovarRunSaveBands(run, dir.file("bands.geojson").c_str(), err), 0) << err;
    const std::vector<double> band_numbers = coordinates_of(read_file(dir.file("bands.geojson")));
    Box written;
    for (std::size_t k = 0; k + 1 < band_numbers.size(); k += 2) written.add(band_numbers[k], band_numbers[k + 1]);
    EXPECT_TRUE(written.xmin == s.xmin && written.xmax == s.xmax && written.ymin == s.ymin && written.ymax == s.ymax)
        << what;
  }
  isovarRunFree(run);
  isovarModelFree(model);
}

// Which axes take an origin, and the reader's checks on the offsets stored.
TEST(Origin, TheChecksApplyToTheOffsetsAsStored) {
  struct Case {
    const char* what;
    std::vector<double> x;
    double origin;        // of x, when built
    const char* message;  // UTF-8; null when built
  };
  const Case cases[] = {
      {"a file's numbers near 0", {-1.5, 0, 2.25}, 0, nullptr},
      {"near 0 for their span", {1000, 1500, 3000}, 0, nullptr},
      {"0.1 m apart at 5,000 km", {5000000.1, 5000000.2, 5000000.3}, 5000000.1, nullptr},
      {"one column at 500 km", {500000.3}, 500000.3, nullptr},
      {"offsets that collide", {500000, 500000.5, 500000.5000000001}, 0,
       u8"x_input (行:3)  ｘ座標値は昇順に与えてください。"},
      {"not a number", {500000, NAN, 500001}, 0, u8"x_input (行:2)  ｘ座標値が不正。"},
  };
  IsovarModel* model = isovarModelNew();
  for (const Case& c : cases) {
    ModelArrays a;
    a.x = c.x;
    a.y = {0, 1};
    a.values.assign(2 * c.x.size(), 0.0);
    a.levels = {0.5};
    a.bold = {0};
    a.labelled = {1};
    char err[ISOVAR_ERRMSG_SIZE] = {};
    const int32_t built = a.build(model, 0, err);
    if (c.message != nullptr) {
      EXPECT_EQ(built, -1) << c.what;
      EXPECT_EQ(std::string(err), cp932(c.message)) << c.what;
      continue;
    }
    ASSERT_EQ(built, 0) << c.what << ": " << err;
    double ox = -1, oy = -1;
    isovarModelOrigin(model, &ox, &oy);
    EXPECT_EQ(ox, c.origin) << c.what;
    EXPECT_EQ(oy, 0.0) << c.what;
    IsovarModelSummary s;
    isovarModelDescribe(model, &s);
    EXPECT_EQ(s.xmin, static_cast<double>(c.origin) + static_cast<float>(c.x.front() - c.origin)) << c.what;
  }
  // A model read from a file has origin (0, 0), whatever came before.
  TempDir dir;
  ModelArrays far;
  far.x = {500000.25, 500000.75};
  far.y = {5000000.25, 5000000.75};
  far.values = {0, 1, 1, 2};
  far.levels = {0.5};
  far.bold = {0};
  far.labelled = {1};
  testing_support::write_file(dir.file("far.isovar"), far.file());
  char err[ISOVAR_ERRMSG_SIZE] = {};
  ASSERT_EQ(far.build(model, 0, err), 0) << err;
  ASSERT_EQ(isovarModelRead(model, dir.file("far.isovar").c_str(), 0, err), 0) << err;
  double ox = -1, oy = -1;
  EXPECT_EQ(isovarModelOrigin(model, &ox, &oy), 0);
  EXPECT_TRUE(ox == 0 && oy == 0);
  EXPECT_EQ(isovarModelOrigin(nullptr, &ox, &oy), -1);
  isovarModelFree(model);
}

// A grid's tiles built with the whole grid's origin store their coordinates
// as the whole grid does: the lines of a tile are the whole grid's lines
// within it, bit for bit; an origin that is not finite is refused.
TEST(Origin, TilesGivenTheWholeGridsOriginTraceItsPoints) {
  const int n = 40;
  std::vector<double> x(n), y(n), z(n * n);
  for (int i = 0; i < n; ++i) x[i] = 512345.5 + 30.0 * i, y[i] = 4012345.5 + 30.0 * i;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) z[j * n + i] = std::sin(0.31 * i + 0.1) * std::cos(0.23 * j) + 0.01 * i;
  const double level = 0.25;
  const IsovarModelInfo info{1, &level, nullptr, nullptr, 0, nullptr, 1};
  const double ox = isovarAxisOrigin(n, x.data()), oy = isovarAxisOrigin(n, y.data());
  EXPECT_EQ(ox, x[0]);
  EXPECT_EQ(isovarAxisOrigin(3, std::vector<double>{-1, 0, 1}.data()), 0.0);

  // Every point of a polyline of the run, as (x, y) pairs.
  auto points = [](IsovarRun* run) {
    std::vector<std::pair<double, double>> all;
    for (int32_t i = 0; i < isovarRunLineCount(run); ++i) {
      int32_t level_index = 0, closed = 0;
      std::vector<double> xy(2 * static_cast<std::size_t>(isovarRunLine(run, i, &level_index, &closed, nullptr)));
      isovarRunLine(run, i, &level_index, &closed, xy.data());
      for (std::size_t k = 0; k < xy.size(); k += 2) all.emplace_back(xy[k], xy[k + 1]);
    }
    std::sort(all.begin(), all.end());
    return all;
  };
  char err[ISOVAR_ERRMSG_SIZE] = {};
  IsovarModel* whole = isovarModelNew();
  IsovarModel* tile = isovarModelNew();
  IsovarRun* run = isovarRunNew();
  ASSERT_EQ(isovarModelGrid(whole, n, n, x.data(), y.data(), z.data(), &info, 1, err), 0) << err;
  ASSERT_EQ(isovarRunTrace(run, whole, 0, err), 0) << err;
  const auto whole_points = points(run);
  // The upper half of the rows: y from row 20 on.
  const int r0 = 20;
  ASSERT_EQ(isovarModelGridAt(tile, ox, oy, n, n - r0, x.data(), y.data() + r0, z.data() + r0 * n, &info, 1, err), 0)
      << err;
  double tx = 0, ty = 0;
  isovarModelOrigin(tile, &tx, &ty);
  EXPECT_TRUE(tx == ox && ty == oy);
  ASSERT_EQ(isovarRunTrace(run, tile, 0, err), 0) << err;
  const auto tile_points = points(run);
  ASSERT_FALSE(tile_points.empty());
  for (const auto& p : tile_points)
    EXPECT_TRUE(std::binary_search(whole_points.begin(), whole_points.end(), p)) << p.first << ", " << p.second;

  EXPECT_EQ(isovarModelGridAt(tile, NAN, oy, n, n, x.data(), y.data(), z.data(), &info, 1, err), -1);
  EXPECT_EQ(std::string(err), cp932("x_input (行:0)  ｘ座標値が不正。"));
  isovarRunFree(run);
  isovarModelFree(tile);
  isovarModelFree(whole);
}

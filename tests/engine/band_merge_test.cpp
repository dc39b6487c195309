// The band merge: the same polygons, in the same order, as the literal merge
// (every hole against every outer ring of its band), on traced models and on
// pieces laid by hand; and polygons GEOS (through GDAL) finds valid and
// bands that do not overlap, built through the library's objects.
#include <gtest/gtest.h>

#include <ogr_api.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "IsovarLib.h"
#include "engine/band_merge.h"
#include "engine_fixture.h"
#include "entry/runs.h"
#include "literal_band_merge.h"
#include "test_support.h"

namespace {

using namespace engine_test;
using Rng = std::mt19937;

// Equal vertex numbers would not do (the merge may number them its own way):
// the rings are compared by their points.
void expect_same(const BandMerge& got, const BandMerge& want, const std::string& what) {
  auto points = [](const BandMerge& m, const std::vector<int32_t>& ring) {
    std::vector<std::pair<float, float>> out;
    for (int32_t v : ring) out.emplace_back(m.x[v], m.y[v]);
    return out;
  };
  ASSERT_EQ(got.bands.size(), want.bands.size()) << what;
  for (std::size_t b = 0; b < got.bands.size(); ++b) {
    const MergedBand& g = got.bands[b];
    const MergedBand& w = want.bands[b];
    ASSERT_EQ(g.band, w.band) << what;
    ASSERT_EQ(g.polygons.size(), w.polygons.size()) << what << ", band " << g.band;
    for (std::size_t p = 0; p < g.polygons.size(); ++p) {
      const std::string where = what + ", band " + std::to_string(g.band) + ", polygon " + std::to_string(p);
      ASSERT_EQ(points(got, g.polygons[p].outer), points(want, w.polygons[p].outer)) << where;
      ASSERT_EQ(g.polygons[p].holes.size(), w.polygons[p].holes.size()) << where;
      for (std::size_t h = 0; h < g.polygons[p].holes.size(); ++h)
        ASSERT_EQ(points(got, g.polygons[p].holes[h]), points(want, w.polygons[p].holes[h])) << where << ", hole " << h;
    }
  }
}

void expect_same_as_literal(const std::vector<FillPoly>& pieces, int32_t bands, const std::string& what) {
  const int32_t n = static_cast<int32_t>(pieces.size());
  expect_same(merge_band_pieces(pieces.data(), n, bands), literal_merge_band_pieces(pieces.data(), n, bands), what);
}

std::vector<FillPoly> traced_pieces(const std::string& what) {
  char err[1024] = "";
  EXPECT_EQ(run_trace(default_run, model_store, true, err), 0) << what << ": " << err;
  const EngineTables& t = engine_tables;
  return std::vector<FillPoly>(t.fill_poly.data, t.fill_poly.data + t.fill_poly_count);
}

struct GridCase {
  const char* name;
  int models;
  int size_lo, size_hi;
  // Value at (i, j): integers meet the integer levels at vertices; noise
  // around a slope makes islands and holes within holes.
  float (*value)(Rng&, int, int);
  std::vector<float> levels;
};

TEST_F(EngineTest, BandMergeGivesTheLiteralPolygonsOnTracedGrids) {
  const GridCase cases[] = {
      {"integers 0..3, levels at values", 150, 2, 30,
       [](Rng& r, int, int) { return static_cast<float>(std::uniform_int_distribution<int>(0, 3)(r)); }, {1, 2}},
      {"integers 0..1, one level at a value", 100, 2, 40,
       [](Rng& r, int, int) { return static_cast<float>(std::uniform_int_distribution<int>(0, 1)(r)); }, {1}},
      {"noise on a slope", 40, 20, 120,
       [](Rng& r, int i, int j) {
         return static_cast<float>(0.05 * (i + j) + std::normal_distribution<double>(0, 0.6)(r));
       },
       {1, 2, 3, 4, 5}},
      {"noise on rings", 20, 40, 150,
       [](Rng& r, int i, int j) {
         const double d = std::hypot(i - 30.0, j - 30.0);
         return static_cast<float>(std::sin(d / 3) + std::normal_distribution<double>(0, 0.3)(r));
       },
       {-0.5f, 0, 0.5f}},
  };
  Rng rng(2207);
  std::size_t holes = 0;
  for (const GridCase& c : cases) {
    for (int m = 0; m < c.models; ++m) {
      const std::string what = std::string(c.name) + " " + std::to_string(m);
      clear_model();
      reset_engine_tables();
      const int nx = std::uniform_int_distribution<int>(c.size_lo, c.size_hi)(rng);
      const int ny = std::uniform_int_distribution<int>(c.size_lo, c.size_hi)(rng);
      std::vector<float> xs(nx), ys(ny);
      for (int i = 0; i < nx; ++i) xs[i] = static_cast<float>(i);
      for (int j = 0; j < ny; ++j) ys[j] = static_cast<float>(j);
      set_grid(xs, ys, [&](int i, int j) { return c.value(rng, i, j); });
      set_levels(c.levels);
      model_store.display_mode = 1;
      const std::vector<FillPoly> pieces = traced_pieces(what);
      const int32_t bands = static_cast<int32_t>(c.levels.size()) + 1;
      expect_same_as_literal(pieces, bands, what);
      if (HasFatalFailure()) return;
      for (const MergedBand& b : merge_band_pieces(pieces.data(), static_cast<int32_t>(pieces.size()), bands).bands)
        for (const MergedPolygon& p : b.polygons) holes += p.holes.size();
    }
  }
  EXPECT_GT(holes, 1000u);  // the cases do ask where holes go
}

// Unit squares of random bands (as two triangles each, turned either way):
// rings meet in corners, holes hold islands that hold holes, and many rings
// have the same area. Then the same squares shuffled, and with pieces of no
// area among them.
using Corners = std::initializer_list<std::pair<float, float>>;

// A band piece of the given corners, laid by hand.
void add_piece(std::vector<FillPoly>& pieces, int band, Corners corners) {
  FillPoly p{};
  p.band = band;
  for (const auto& c : corners) {
    p.x[p.nvert] = c.first;
    p.y[p.nvert] = c.second;
    ++p.nvert;
  }
  pieces.push_back(p);
}

TEST(BandMerge, GivesTheLiteralPolygonsOnSquaresLaidByHand) {
  Rng rng(99);
  for (int m = 0; m < 120; ++m) {
    const int side = std::uniform_int_distribution<int>(1, 40)(rng);
    const int bands = std::uniform_int_distribution<int>(1, 4)(rng);
    std::vector<FillPoly> pieces;
    auto piece = [&](int band, Corners corners) { add_piece(pieces, band, corners); };
    for (int i = 0; i < side; ++i)
      for (int j = 0; j < side; ++j) {
        const int band = std::uniform_int_distribution<int>(0, bands - 1)(rng);
        const float x = static_cast<float>(i), y = static_cast<float>(j);
        if (rng() % 2) {
          piece(band, {{x, y}, {x + 1, y}, {x, y + 1}});
          piece(band, {{x + 1, y + 1}, {x + 1, y}, {x, y + 1}});
        } else {
          piece(band, {{x, y}, {x + 1, y}, {x + 1, y + 1}, {x, y + 1}});
        }
        if (m % 3 == 2 && rng() % 4 == 0) piece(band, {{x, y}, {x + 1, y + 1}, {x + 0.5f, y + 0.5f}});
      }
    if (m % 2 == 1) std::shuffle(pieces.begin(), pieces.end(), rng);
    expect_same_as_literal(pieces, bands, "squares " + std::to_string(m));
    if (HasFatalFailure()) return;
  }
}

// Each band is merged on its own, its scratch kept for the next: bands with
// no pieces between bands with many, a large band before small ones and
// after them, pieces the merge leaves out (bands out of range, two corners,
// corners not finite) among the others, and triangles that share no
// corner (more places than the place table was first sized for).
TEST(BandMerge, GivesTheLiteralPolygonsBandByBand) {
  const float nan = std::nanf(""), inf = INFINITY;
  struct Case {
    const char* name;
    int band_count;
    std::vector<int> used;  // the bands squares are drawn from, by weight
    bool junk;              // pieces to leave out among them
    int loose;              // triangles that share no corner
  };
  const Case cases[] = {
      {"bands 1 and 4 of 6", 6, {1, 4}, false, 0},
      {"a large band, then small ones", 5, {0, 0, 0, 0, 0, 0, 2, 3}, false, 0},
      {"small bands, then a large one", 5, {1, 2, 4, 4, 4, 4, 4, 4}, false, 0},
      {"pieces left out among them", 4, {0, 1, 3}, true, 0},
      {"the last band alone", 3, {2}, true, 0},
      {"loose triangles", 3, {0, 2}, false, 900},
  };
  Rng rng(2212);
  for (const Case& c : cases) {
    for (int m = 0; m < 12; ++m) {
      std::vector<FillPoly> pieces;
      auto piece = [&](int band, Corners corners) { add_piece(pieces, band, corners); };
      const int side = std::uniform_int_distribution<int>(3, 30)(rng);
      for (int i = 0; i < side; ++i)
        for (int j = 0; j < side; ++j) {
          const int band = c.used[rng() % c.used.size()];
          const float x = static_cast<float>(i), y = static_cast<float>(j);
          piece(band, {{x, y}, {x + 1, y}, {x, y + 1}});
          piece(band, {{x + 1, y + 1}, {x, y + 1}, {x + 1, y}});
          if (c.junk && rng() % 5 == 0) {
            const int kind = static_cast<int>(rng() % 4);
            if (kind == 0) piece(-1, {{x, y}, {x + 1, y}, {x, y + 1}});
            if (kind == 1) piece(c.band_count, {{x, y}, {x + 1, y}, {x + 1, y + 1}});
            if (kind == 2) piece(band, {{x, y}, {x + 1, y + 1}});
            if (kind == 3) piece(band, {{x, y}, {rng() % 2 ? nan : inf, y}, {x, y + 1}});
          }
        }
      for (int k = 0; k < c.loose; ++k) {
        const float x = 100.0f + 3.0f * static_cast<float>(k);
        piece(c.used[rng() % c.used.size()], {{x, 0}, {x + 1, 0}, {x, 1}});
      }
      if (m % 2 == 1) std::shuffle(pieces.begin(), pieces.end(), rng);
      expect_same_as_literal(pieces, c.band_count, std::string(c.name) + " " + std::to_string(m));
      if (HasFatalFailure()) return;
    }
  }
}

// ---- Validity, through the objects and GEOS --------------------------------

struct Bands {
  std::vector<OGRGeometryH> band;  // a multipolygon per band with area
  ~Bands() {
    for (OGRGeometryH g : band) OGR_G_DestroyGeometry(g);
  }
};

// The area of the surfaces in g (bands that touch meet in lines and points).
double surface_area(OGRGeometryH g) {
  if (g == nullptr) return 0;
  const OGRwkbGeometryType type = wkbFlatten(OGR_G_GetGeometryType(g));
  if (type == wkbPolygon || type == wkbMultiPolygon) return OGR_G_Area(g);
  double area = 0;
  if (type == wkbGeometryCollection)
    for (int k = 0; k < OGR_G_GetGeometryCount(g); ++k) area += surface_area(OGR_G_GetGeometryRef(g, k));
  return area;
}

void build_bands(IsovarRun* run, Bands& out) {
  for (int32_t i = 0; i < isovarRunBandCount(run); ++i) {
    const int32_t polygons = isovarRunBand(run, i, nullptr);
    OGRGeometryH multi = OGR_G_CreateGeometry(wkbMultiPolygon);
    for (int32_t p = 0; p < polygons; ++p) {
      OGRGeometryH polygon = OGR_G_CreateGeometry(wkbPolygon);
      int32_t rings = 1;
      for (int32_t r = 0; r < rings; ++r) {
        const int32_t n = isovarRunBandRing(run, i, p, r, &rings, nullptr);
        std::vector<double> xy(2 * static_cast<std::size_t>(n));
        isovarRunBandRing(run, i, p, r, &rings, xy.data());
        OGRGeometryH ring = OGR_G_CreateGeometry(wkbLinearRing);
        for (int32_t k = 0; k <= n; ++k) OGR_G_AddPoint_2D(ring, xy[2 * (k % n)], xy[2 * (k % n) + 1]);
        OGR_G_AddGeometryDirectly(polygon, ring);
      }
      OGR_G_AddGeometryDirectly(multi, polygon);
    }
    out.band.push_back(multi);
  }
}

TEST(BandMerge, PolygonsAreValidAndBandsDoNotOverlap) {
  struct Case {
    const char* name;
    int nx, ny;
    double (*value)(Rng&, int, int);
    std::vector<double> levels;
    bool overlaps;  // pairwise intersections too (small models)
  };
  const Case cases[] = {
      {"integers, levels at values", 30, 25,
       [](Rng& r, int, int) { return static_cast<double>(std::uniform_int_distribution<int>(0, 4)(r)); },
       {1, 2, 3}, true},
      {"plateaus with steps", 40, 40, [](Rng&, int i, int j) { return static_cast<double>((i / 5 + j / 7) % 3); },
       {0, 1, 2}, true},
      {"noise", 200, 180,
       [](Rng& r, int i, int j) {
         return std::sin(i / 15.0) + std::cos(j / 20.0) + std::normal_distribution<double>(0, 0.1)(r);
       },
       {-1, -0.5, 0, 0.5, 1}, false},
  };
  OGRRegisterAll();
  Rng rng(7);
  char err[1024] = "";
  for (const Case& c : cases) {
    std::vector<double> xs(c.nx), ys(c.ny), values(static_cast<std::size_t>(c.nx) * c.ny);
    for (int i = 0; i < c.nx; ++i) xs[i] = i * 0.5;
    for (int j = 0; j < c.ny; ++j) ys[j] = j * 0.25;
    for (int j = 0; j < c.ny; ++j)
      for (int i = 0; i < c.nx; ++i) values[static_cast<std::size_t>(j) * c.nx + i] = c.value(rng, i, j);
    IsovarModelInfo info{};
    info.level_count = static_cast<int32_t>(c.levels.size());
    info.levels = c.levels.data();
    IsovarModel* model = isovarModelNew();
    IsovarRun* run = isovarRunNew();
    ASSERT_EQ(isovarModelGrid(model, c.nx, c.ny, xs.data(), ys.data(), values.data(), &info, 1, err), 0) << err;
    ASSERT_EQ(isovarRunTrace(run, model, 1, err), 0) << c.name << ": " << err;
    ASSERT_EQ(isovarRunBands(run, err), 0) << c.name << ": " << err;
    Bands bands;
    build_bands(run, bands);
    EXPECT_GE(bands.band.size(), 2u) << c.name;
    double total = 0;
    for (std::size_t b = 0; b < bands.band.size(); ++b) {
      EXPECT_TRUE(OGR_G_IsValid(bands.band[b])) << c.name << ", band " << b;
      total += OGR_G_Area(bands.band[b]);
    }
    // Together the bands cover the grid, once.
    const double extent = xs.back() * ys.back();
    EXPECT_NEAR(total, extent, 1e-9 * extent) << c.name;
    if (c.overlaps)
      for (std::size_t a = 0; a < bands.band.size(); ++a)
        for (std::size_t b = a + 1; b < bands.band.size(); ++b) {
          OGRGeometryH both = OGR_G_Intersection(bands.band[a], bands.band[b]);
          EXPECT_LT(surface_area(both), 1e-9 * extent) << c.name << ", bands " << a << ", " << b;
          OGR_G_DestroyGeometry(both);
        }
    isovarRunFree(run);
    isovarModelFree(model);
  }
}

// A run's bands file is the same whether the run merged its bands before
// (the file is then written from them) or not (merged band by band as the
// file is written), and a new trace never writes the bands of the one before.
TEST(BandMerge, SavedBandsAreTheRunsOwn) {
  using testing_support::read_file;
  testing_support::TempDir dir;
  char err[1024] = "";
  const int nx = 60, ny = 50;
  std::vector<double> xs(nx), ys(ny), values(static_cast<std::size_t>(nx) * ny), levels{-0.5, 0, 0.5};
  for (int i = 0; i < nx; ++i) xs[i] = i;
  for (int j = 0; j < ny; ++j) ys[j] = j;
  IsovarModelInfo info{};
  info.level_count = static_cast<int32_t>(levels.size());
  info.levels = levels.data();
  IsovarModel* model = isovarModelNew();
  IsovarRun* run = isovarRunNew();
  std::string files[2][3];
  for (int m = 0; m < 2; ++m) {
    for (int j = 0; j < ny; ++j)
      for (int i = 0; i < nx; ++i)
        values[static_cast<std::size_t>(j) * nx + i] = std::sin((m + 1) * i / 7.0) * std::cos(j / (5.0 + m));
    ASSERT_EQ(isovarModelGrid(model, nx, ny, xs.data(), ys.data(), values.data(), &info, 1, err), 0) << err;
    ASSERT_EQ(isovarRunTrace(run, model, 1, err), 0) << err;
    const std::string name = "m" + std::to_string(m);
    ASSERT_EQ(isovarRunSaveBands(run, dir.file(name + "a").c_str(), err), 0) << err;
    ASSERT_EQ(isovarRunBands(run, err), 0) << err;
    ASSERT_EQ(isovarRunSaveBands(run, dir.file(name + "b").c_str(), err), 0) << err;
    for (int k = 0; k < 2; ++k) files[m][k] = read_file(dir.file(name + (k == 0 ? "a" : "b")));
    EXPECT_EQ(files[m][0], files[m][1]) << name;
    EXPECT_GT(files[m][0].size(), 1000u) << name;
  }
  EXPECT_NE(files[0][0], files[1][0]);
  isovarRunFree(run);
  isovarModelFree(model);
}

}  // namespace

// The band pieces a plot makes, counted as the plot would make them, and the
// tables a model passes: at the band-piece table's limit the library's own
// trace agrees.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "IsovarLib.h"
#include "default_tables.h"

namespace {

using convert::BandPieces;
using convert::Level;

std::vector<Level> levels_at(std::initializer_list<float> values) {
  std::vector<Level> out;
  for (float v : values) out.push_back({v, false, true});
  return out;
}

// A grid of 0 with a few points raised to 10, traced with the level 5: two
// pieces per cell, and one more for each triangle a raised point touches.
struct RaisedGrid {
  int nx, ny;
  std::vector<std::pair<int, int>> raised;  // (i, j)

  std::vector<double> values() const {
    std::vector<double> v(static_cast<size_t>(nx) * ny, 0.0);
    for (const auto& [i, j] : raised) v[static_cast<size_t>(j) * nx + i] = 10.0;
    return v;
  }
  uint64_t counted() const {
    const std::vector<double> v = values();
    std::vector<float> lower(nx), upper(nx);
    BandPieces pieces;
    for (int j = 0; j + 1 < ny; ++j) {
      for (int i = 0; i < nx; ++i) {
        lower[i] = static_cast<float>(v[static_cast<size_t>(j) * nx + i]);
        upper[i] = static_cast<float>(v[static_cast<size_t>(j + 1) * nx + i]);
      }
      pieces.cells(lower.data(), upper.data(), static_cast<size_t>(nx));
    }
    return pieces.count(levels_at({5.0f}));
  }
  // Whether the library's trace in the default tables passes their limit.
  bool trace_passes_a_limit() const {
    std::vector<double> x(nx), y(ny);
    for (int i = 0; i < nx; ++i) x[i] = i;
    for (int j = 0; j < ny; ++j) y[j] = j;
    const std::vector<double> v = values();
    const double level = 5;
    const IsovarModelInfo info = {1, &level, nullptr, nullptr, 0, nullptr, 0};
    char err[ISOVAR_ERRMSG_SIZE] = {};
    IsovarModel* model = isovarModelNew();
    IsovarRun* run = isovarRunNew();
    EXPECT_EQ(isovarModelGrid(model, nx, ny, x.data(), y.data(), v.data(), &info, 0, err), 0) << err;
    const bool failed = isovarRunTrace(run, model, 0, err) != 0;
    const bool limit = isovarRunLimitReached(run) != 0;
    EXPECT_EQ(failed, limit) << err;
    isovarRunFree(run);
    isovarModelFree(model);
    return limit;
  }
};

TEST(BandPieces, GridCountsMeetTheLibrarysLimitExactly) {
  // 100 x 499 cells: 99,800 pieces; 33 lone raised points add 6 each.
  RaisedGrid grid{101, 500, {}};
  for (int k = 0; k < 33; ++k) grid.raised.push_back({3 + 3 * (k % 30), 3 + 3 * (k / 30)});
  struct Case {
    std::vector<std::pair<int, int>> corners;  // each touches 1 or 2 triangles
    uint64_t pieces;
  };
  const Case cases[] = {
      {{}, 99998},
      {{{0, 0}}, 99999},                 // the first triangle of the first cell
      {{{0, 0}, {100, 499}}, 100000},    // and the second of the last
      {{{0, 0}, {100, 0}}, 100001},      // the lower right corner is in two
  };
  for (const Case& c : cases) {
    RaisedGrid g = grid;
    g.raised.insert(g.raised.end(), c.corners.begin(), c.corners.end());
    EXPECT_EQ(g.counted(), c.pieces);
    EXPECT_EQ(g.trace_passes_a_limit(), c.pieces > convert::kMaxTableBandPieces) << c.pieces;
  }
}

TEST(BandPieces, TrianglesLevelsAndElements) {
  struct Case {
    float a, b, c;
    std::vector<Level> levels;
    uint64_t pieces;
  };
  const Case cases[] = {
      {0, 1, 2, levels_at({}), 1},
      {0, 1, 2, levels_at({0.5f, 1.5f}), 3},
      {0, 1, 2, levels_at({0.0f}), 1},  // a level at the lowest value does not cross
      {0, 1, 2, levels_at({2.0f}), 2},  // one at the highest does
      {2, 2, 2, levels_at({2.0f}), 1},
      {-5, 7, 1, levels_at({-9, -5, -4, 6, 7, 8}), 4},
  };
  for (const Case& c : cases) {
    BandPieces p;
    p.triangle(c.a, c.b, c.c);
    EXPECT_EQ(p.count(c.levels), c.pieces) << c.a << " " << c.b << " " << c.c;
  }
  // A quadrangle is cut along N0-N2: values 0, 10, 0, 0 give 2 + 1 pieces
  // at 5 (along N1-N3 they would give 4). An element with a node without a
  // value, or a missing node, makes none.
  convert::Mesh mesh;
  mesh.nodes = {{1, 0, 0, 0, true}, {2, 1, 0, 10, true}, {3, 1, 1, 0, true}, {4, 0, 1, 0, true}, {5, 2, 0, 0, false}};
  mesh.elements = {{1, {1, 2, 3, 4}, 4}, {2, {2, 5, 3, 0}, 3}, {3, {2, 9, 3, 0}, 3}};
  BandPieces p;
  p.mesh(mesh);
  EXPECT_EQ(p.triangles(), 2u);
  EXPECT_EQ(p.count(levels_at({5})), 3u);
  // Past the table by the triangles alone, the count is theirs.
  BandPieces many;
  for (int k = 0; k < 100000; ++k) many.triangle(0, 1, 2);
  EXPECT_FALSE(many.exact());
  EXPECT_EQ(many.count(levels_at({0.5f})), 100000u);
}

// A grid of 0 with a spike of 10 every step points: each spike makes a ring
// of its own at the level 5.
convert::Grid spikes(int n, int step) {
  convert::Grid g;
  for (int k = 0; k < n; ++k) {
    g.x.push_back(static_cast<float>(k));
    g.y.push_back(static_cast<float>(k));
  }
  g.value.assign(static_cast<size_t>(n) * n, 0.0f);
  for (int j = 2; j < n - 1; j += step)
    for (int i = 2; i < n - 1; i += step) g.value[static_cast<size_t>(j) * n + i] = 10.0f;
  return g;
}

TEST(DefaultTables, ATraceFindsWhatJoiningFills) {
  // 40 x 40 rings, past the 1,500 polylines; 27 x 27 within them.
  EXPECT_EQ(convert::traced_limit(spikes(160, 4), levels_at({5})), "more than 1,500 polylines");
  EXPECT_EQ(convert::traced_limit(spikes(160, 6), levels_at({5})), "");
  // Every triangle crossed twice: the band pieces run out first.
  convert::Grid steep = spikes(240, 1);
  for (size_t k = 0; k < steep.value.size(); ++k) steep.value[k] = static_cast<float>(k % 2 * 10);
  EXPECT_EQ(convert::traced_limit(steep, levels_at({3, 6})), "more than 99,999 band pieces");
  convert::Mesh mesh;
  mesh.nodes = {{1, 0, 0, 0, true}, {2, 1, 0, 10, true}, {3, 1, 1, 0, true}, {4, 0, 1, 0, true}};
  mesh.elements = {{7, {1, 2, 3, 4}, 4}};
  EXPECT_EQ(convert::traced_limit(mesh, levels_at({5})), "");
}

TEST(DefaultTables, WhatAModelPasses) {
  struct Case {
    convert::TableNeeds needs;
    std::string passed;
  };
  const Case cases[] = {
      {{true, 499, 500, 0, 99999, true, ""}, ""},
      {{true, 500, 3, 0, 3000, true, ""}, "grid of 500 x 3 points, past 499 x 500"},
      {{true, 344, 403, 0, 275772, false, ""}, "at least 275,772 band pieces, past 99,999"},
      {{true, 600, 600, 0, 1500000, true, ""},
       "grid of 600 x 600 points, past 499 x 500; 1,500,000 band pieces, past 99,999"},
      {{false, 0, 0, 99999, 100000, true, ""}, "100,000 band pieces, past 99,999"},
      {{false, 0, 0, 123456, 10, true, ""}, "node or element number 123,456, past 99,999"},
      {{true, 200, 200, 0, 3000, true, "more than 1,500 polylines"}, "more than 1,500 polylines"},
      {{true, 200, 200, 0, 300000, true, "more than 99,999 band pieces"}, "300,000 band pieces, past 99,999"},
  };
  for (const Case& c : cases) EXPECT_EQ(convert::passed_tables(c.needs), c.passed);
}

}  // namespace

// Triangle tracing: crossing points, level ranges, the value sort, the band
// pieces of one triangle, and the grid walk.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <tuple>

#include "engine_fixture.h"

namespace engine_test {
namespace {

uint32_t bits(float f) {
  uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

// ---- edge_point ----

struct EdgeCase {
  const char* what;
  float z;
  Vertex p, q;
  float x, y;
};

TEST(EdgePoint, CrossingsAreSinglePrecisionAndExactAtTheEnds) {
  const EdgeCase cases[] = {
      {"midway", 5, {0, 0, 0}, {0, 1, 10}, 0, 0.5f},
      {"level at q gives q exactly", 3, {0.1f, 0.3f, 1}, {0.7f, 0.9f, 3}, 0.7f, 0.9f},
      {"equal values give p", 7, {2, 3, 7}, {4, 5, 7}, 2, 3},
      // 1 - (2/3 rounded) rounds to 0x3EAAAAAA, one below the float nearest 1/3.
      {"every step rounded to float", 1, {0, 0, 0}, {1, 0, 3}, 0.333333313f, 0},
  };
  for (const EdgeCase& c : cases) {
    EdgePoint e = edge_point(c.z, c.p, c.q);
    EXPECT_EQ(bits(e.x), bits(c.x)) << c.what;
    EXPECT_EQ(bits(e.y), bits(c.y)) << c.what;
  }
}

TEST(EdgePoint, OverflowingDifferencesStillGiveAPointOnTheEdge) {
  const float big = 3e38f;
  const float inf = std::numeric_limits<float>::infinity();
  const EdgeCase cases[] = {
      {"coordinates far apart", 5, {-big, 0, 0}, {big, 1, 10}, 0, 0.5f},
      {"values far apart", 0, {0, 0, -big}, {1, 2, big}, 0.5f, 1},
      {"level at q", big, {-big, -big, -big}, {big, big, big}, big, big},
      {"value runs to infinity at q", 5, {1, 1, 0}, {3, 3, inf}, 1, 1},
      {"value runs to infinity at p", 5, {1, 1, -inf}, {3, 3, 10}, 3, 3},
  };
  for (const EdgeCase& c : cases) {
    EdgePoint e = edge_point(c.z, c.p, c.q);
    EXPECT_TRUE(std::isfinite(e.x) && std::isfinite(e.y)) << c.what;
    EXPECT_EQ(e.x, c.x) << c.what;
    EXPECT_EQ(e.y, c.y) << c.what;
  }
}

// ---- level_range ----

TEST(LevelRange, CountsLevelsAboveTheLowEndUpToTheHighEnd) {
  clear_model();
  set_levels({10, 20, 30});
  struct Case {
    float a, b;
    bool some;
    int klo, khi;
  };
  const Case cases[] = {
      {0, 5, false, 0, 0},     // below the lowest level
      {31, 40, false, 0, 0},   // above the highest level
      {30, 40, true, 3, 2},    // a level at the low end does not count
      {10, 20, true, 1, 1},    // ... one at the high end does
      {5, 10, true, 0, 0},
      {12, 18, true, 1, 0},    // between two levels: an empty range
      {0, 100, true, 0, 2},
      {20, 20, true, 2, 1},
  };
  for (const Case& c : cases) {
    int klo = -99, khi = -99;
    bool some = level_range(c.a, c.b, &klo, &khi);
    EXPECT_EQ(some, c.some) << c.a << ".." << c.b;
    if (some && c.some) {
      EXPECT_EQ(klo, c.klo) << c.a << ".." << c.b;
      EXPECT_EQ(khi, c.khi) << c.a << ".." << c.b;
    }
  }
  set_levels({});
  int klo, khi;
  EXPECT_FALSE(level_range(-1e9f, 1e9f, &klo, &khi));
}

// ---- One triangle ----

TEST_F(EngineTest, TriangleCrossedByTwoLevelsGivesThreePiecesInAnyArgumentOrder) {
  set_levels({10, 20});
  const Vertex lo{0, 0, 5}, mid{2, 0, 15}, hi{0, 2, 25};
  const std::vector<Piece> expected = {
      {0, {{0, 0}, {1, 0}, {0, 0.5f}}},
      {1, {{1, 0}, {0, 0.5f}, {0, 1.5f}, {1, 1}, {2, 0}}},
      {2, {{1, 1}, {0, 1.5f}, {0, 2}}},
  };
  const Vertex* v[3] = {&lo, &mid, &hi};
  int order[3] = {0, 1, 2};
  do {
    reset_engine_tables();
    ASSERT_EQ(trace_triangle(*v[order[0]], *v[order[1]], *v[order[2]]), 0);
    EXPECT_EQ(pieces(), expected);
    ASSERT_EQ(engine_tables.pline_total, 2);
    EXPECT_EQ(row_points(0), (std::vector<Pt>{{1, 0}, {0, 0.5f}}));
    EXPECT_EQ(row_points(1), (std::vector<Pt>{{1, 1}, {0, 1.5f}}));
    EXPECT_EQ(engine_tables.pline_level[1], 1);
  } while (std::next_permutation(order, order + 3));
}

TEST_F(EngineTest, LevelsAtTheVertexValues) {
  const Vertex lo{0, 0, 0}, mid{4, 0, 10}, hi{0, 4, 20};
  // At the middle value: crossed by the first sweep only, starting at M.
  set_levels({10});
  ASSERT_EQ(trace_triangle(lo, mid, hi), 0);
  EXPECT_EQ(row_points(0), (std::vector<Pt>{{4, 0}, {0, 2}}));
  EXPECT_EQ(pieces(), (std::vector<Piece>{{0, {{0, 0}, {4, 0}, {0, 2}}}, {1, {{4, 0}, {0, 2}, {0, 4}, {4, 0}}}}));

  // At the highest value: A and B are both H, so no segment, but the pieces stay.
  reset_engine_tables();
  set_levels({20});
  ASSERT_EQ(trace_triangle(lo, mid, hi), 0);
  EXPECT_EQ(engine_tables.point_count, 1);
  EXPECT_EQ(engine_tables.pline_total, 0);
  EXPECT_EQ(pieces(), (std::vector<Piece>{{0, {{0, 0}, {0, 4}, {0, 4}, {4, 0}}}, {1, {{0, 4}, {0, 4}, {0, 4}}}}));

  // At the lowest value: not crossed at all, and wholly in the band above
  // the level.
  reset_engine_tables();
  set_levels({0});
  ASSERT_EQ(trace_triangle(lo, mid, hi), 0);
  EXPECT_EQ(engine_tables.pline_total, 0);
  EXPECT_EQ(pieces(), (std::vector<Piece>{{1, {{0, 0}, {4, 0}, {0, 4}}}}));
}

TEST_F(EngineTest, EqualValuesKeepTheirArgumentOrder) {
  // Two vertices at 5: the first given is L, so the segment runs from the
  // crossing on M-H to the one on L-H.
  set_levels({10});
  const Vertex first{0, 0, 5}, second{2, 0, 5}, top{0, 2, 15};
  ASSERT_EQ(trace_triangle(first, second, top), 0);
  EXPECT_EQ(row_points(0), (std::vector<Pt>{{1, 1}, {0, 1}}));
  reset_engine_tables();
  ASSERT_EQ(trace_triangle(second, first, top), 0);
  EXPECT_EQ(row_points(0), (std::vector<Pt>{{0, 1}, {1, 1}}));
}

TEST_F(EngineTest, HugeValuesSortLikeAnyOther) {
  // 2^101 and 2^102 are above 1e30; the crossing fractions are exact.
  const float m = std::ldexp(1.0f, 101), h = std::ldexp(1.0f, 102);
  set_levels({3 * std::ldexp(1.0f, 100)});
  ASSERT_EQ(trace_triangle({0, 0, 0}, {4, 0, h}, {0, 4, m}), 0);
  EXPECT_EQ(row_points(0), (std::vector<Pt>{{2, 2}, {3, 0}}));
  EXPECT_EQ(pieces(), (std::vector<Piece>{{0, {{0, 0}, {3, 0}, {2, 2}, {0, 4}}}, {1, {{2, 2}, {3, 0}, {4, 0}}}}));

  reset_engine_tables();
  set_levels({1});
  ASSERT_EQ(trace_triangle({0, 0, 5}, {4, 0, 2e30f}, {0, 4, 7}), 0);
  EXPECT_EQ(pieces(), (std::vector<Piece>{{1, {{0, 0}, {0, 4}, {4, 0}}}}));
}

TEST_F(EngineTest, BandOfATriangleNoLevelCrosses) {
  struct Case {
    std::vector<float> levels;
    float value;
    int band;
  };
  // The number of levels at or below the values: the band the crossed
  // neighbours' pieces get for the same values (band k lies between levels
  // k - 1 and k), so a value on a level belongs to the band above it.
  const Case cases[] = {
      {{10, 20}, 5, 0},      {{10, 20}, 15, 1},     {{10, 20}, 25, 2},     {{10, 20}, 10, 1},
      {{10, 20}, 20, 2},     {{10, 20, 30}, 25, 2}, {{10, 20, 30}, 30, 3}, {{10, 20, 30}, 35, 3},
      {{7}, 7, 1},           {{10}, 11, 1},         {{10}, 9, 0},          {{}, 3, 0},
  };
  for (const Case& c : cases) {
    reset_engine_tables();
    set_levels(c.levels);
    ASSERT_EQ(trace_triangle({0, 0, c.value}, {1, 0, c.value}, {0, 1, c.value}), 0);
    ASSERT_EQ(engine_tables.fill_poly_count, 1);
    EXPECT_EQ(engine_tables.fill_poly[0].band, c.band) << "value " << c.value << ", " << c.levels.size() << " levels";
    EXPECT_EQ(uncrossed_band(c.value), c.band);
    EXPECT_EQ(engine_tables.point_count, 1);
  }
}

TEST_F(EngineTest, UncrossedTrianglesTakeTheBandOfTheirCrossedNeighbours) {
  // Level 10 runs through the left cell only; the right cell, all 15, lies
  // above it and must get the band the left cell's upper pieces get.
  //  5 --- 15 --- 15
  //  |      |      |
  //  5 --- 15 --- 15
  set_levels({10, 20});
  set_grid_rows({0, 1, 2}, {0, 1}, {{5, 15, 15}, {5, 15, 15}});
  ASSERT_EQ(trace_isolines(), 0);
  std::vector<int> right_bands;
  int upper_left = -1;
  for (const Piece& p : pieces()) {
    bool right = true;
    for (const Pt& c : p.corners) right = right && c.first >= 1.0f;
    if (right) right_bands.push_back(p.band);
    else if (p.band != 0) upper_left = p.band;
  }
  EXPECT_EQ(upper_left, 1);
  EXPECT_EQ(right_bands, (std::vector<int>{1, 1}));
}

// ---- Grids ----

TEST_F(EngineTest, WorkedTwoByTwoGrid) {
  //  10 --- 10      level 5
  //   |   / |
  //   | /   |
  //   0 --- 0
  set_levels({5});
  set_grid_rows({0, 1}, {0, 1}, {{10, 10}, {0, 0}});
  ASSERT_EQ(trace_isolines(), 0);
  EXPECT_EQ(all_points(), (std::vector<Pt>{{0.5f, 0.5f}, {0, 0.5f}, {1, 0.5f}}));
  ASSERT_EQ(engine_tables.pline_total, 1);
  EXPECT_EQ(row_points(0), (std::vector<Pt>{{1, 0.5f}, {0.5f, 0.5f}, {0, 0.5f}}));
  EXPECT_EQ(engine_tables.pline_level[0], 0);
  EXPECT_EQ(engine_tables.pline_closed[0], 0);
  EXPECT_EQ(pieces(), (std::vector<Piece>{
                          {0, {{0, 0}, {0, 0.5f}, {0.5f, 0.5f}, {1, 0}}},
                          {1, {{0.5f, 0.5f}, {0, 0.5f}, {0, 1}}},
                          {0, {{1, 0}, {1, 0.5f}, {0.5f, 0.5f}}},
                          {1, {{1, 0.5f}, {0.5f, 0.5f}, {0, 1}, {1, 1}}},
                      }));
}

TEST_F(EngineTest, OverflowNearTheFloatLimitKeepsSharedEdgesIdentical) {
  // The worked grid stretched to the float limit: the differences of
  // coordinates and values overflow, yet the two triangles still meet in one
  // point on the diagonal and nothing is infinite.
  const float big = 3e38f;
  set_levels({0});
  set_grid_rows({-big, big}, {-big, big}, {{big, big}, {-big, -big}});
  ASSERT_EQ(trace_isolines(), 0);
  ASSERT_EQ(engine_tables.pline_total, 1);
  EXPECT_EQ(row_points(0), (std::vector<Pt>{{big, 0}, {0, 0}, {-big, 0}}));
  for (const Piece& p : pieces()) {
    for (const Pt& c : p.corners) EXPECT_TRUE(std::isfinite(c.first) && std::isfinite(c.second));
  }
}

TEST_F(EngineTest, GridWithoutCellsTracesNothing) {
  set_levels({5});
  for (auto dims : {std::make_pair(1, 4), std::make_pair(4, 1)}) {
    std::vector<float> xs, ys;
    for (int i = 0; i < dims.first; ++i) xs.push_back(static_cast<float>(i));
    for (int j = 0; j < dims.second; ++j) ys.push_back(static_cast<float>(j));
    set_grid(xs, ys, [](int i, int j) { return static_cast<float>(3 * i + j); });
    ASSERT_EQ(trace_isolines(), 0);
    EXPECT_EQ(engine_tables.point_count, 1);
    EXPECT_EQ(engine_tables.pline_total, 0);
    EXPECT_EQ(engine_tables.fill_poly_count, 0);
  }
}

TEST_F(EngineTest, UndefinedCornerLeavesItsCellsOut) {
  //  10 --- 10 --- 10
  //   |      |      |      the right cell has an undefined corner, so the
  //   0 ---- 0 ---- x      isoline stops at x = 1
  set_levels({5});
  set_grid_rows({0, 1, 2}, {0, 1}, {{10, 10, 10}, {0, 0, 0}});
  model_store.grid_defined[3][1] = 0;
  ASSERT_EQ(trace_isolines(), 0);
  EXPECT_EQ(engine_tables.fill_poly_count, 4);
  for (const Piece& p : pieces()) {
    for (const Pt& c : p.corners) EXPECT_LE(c.first, 1.0f);
  }
  ASSERT_EQ(engine_tables.pline_total, 1);
  EXPECT_EQ(row_points(0), (std::vector<Pt>{{1, 0.5f}, {0.5f, 0.5f}, {0, 0.5f}}));
}

TEST_F(EngineTest, UncrossedModelsGiveOnePiecePerTriangle) {
  // No levels at all, and levels that miss every value.
  for (const std::vector<float>& levels : {std::vector<float>{}, std::vector<float>{100, 200}}) {
    set_levels(levels);
    set_grid({0, 1, 2, 3}, {0, 1, 2}, [](int i, int j) { return static_cast<float>(i * j); });
    ASSERT_EQ(trace_isolines(), 0);
    EXPECT_EQ(engine_tables.pline_total, 0);
    EXPECT_EQ(engine_tables.point_count, 1);
    ASSERT_EQ(engine_tables.fill_poly_count, 12);
    for (const Piece& p : pieces()) EXPECT_EQ(p.band, 0);
  }
}

TEST_F(EngineTest, WorkedRing) {
  //  0   0   0
  //  0  10   0     level 5: one closed ring around the centre
  //  0   0   0
  set_levels({5});
  set_grid_rows({0, 1, 2}, {0, 1, 2}, {{0, 0, 0}, {0, 10, 0}, {0, 0, 0}});
  ASSERT_EQ(trace_isolines(), 0);
  ASSERT_EQ(engine_tables.pline_total, 1);
  EXPECT_EQ(row_points(0), (std::vector<Pt>{{1, 1.5f}, {0.5f, 1.5f}, {0.5f, 1}, {1, 0.5f}, {1.5f, 0.5f}, {1.5f, 1},
                                            {1, 1.5f}}));
  EXPECT_EQ(engine_tables.pline_closed[0], 1);
  EXPECT_EQ(engine_tables.point_count - 1, 6);
  EXPECT_EQ(engine_tables.fill_poly_count, 14);
}

TEST_F(EngineTest, PeakAndRidgeEndAsOneRowEach) {
  // A peak in a 6 x 6 grid: its ring is opened in pieces and joined; one row
  // is left, closed, with the rows merged into it emptied.
  set_levels({5});
  const std::vector<float> side = {0, 1, 2, 3, 4, 5};
  set_grid(side, side, [](int i, int j) { return 10 - 3.0f * std::hypot(i - 3.4f, j - 3.6f); });
  ASSERT_EQ(trace_isolines(), 0);
  EXPECT_GT(engine_tables.pline_total, 1);
  int live = -1;
  for (int n = 0; n < engine_tables.pline_total; ++n) {
    if (engine_tables.pline_count[n] == 0) continue;
    ASSERT_EQ(live, -1) << "a second row " << n;
    live = n;
  }
  ASSERT_GE(live, 0);
  EXPECT_EQ(engine_tables.pline_closed[live], 1);
  EXPECT_EQ(engine_tables.pline_count[live], engine_tables.point_count);  // every point, the first twice
  EXPECT_EQ(pline_point(live, 0), pline_point(live, engine_tables.pline_count[live] - 1));

  // A ridge across the grid: one open row from border to border.
  reset_engine_tables();
  set_grid(side, side, [](int i, int j) { return i + 0.3f * j; });
  ASSERT_EQ(trace_isolines(), 0);
  live = -1;
  for (int n = 0; n < engine_tables.pline_total; ++n) {
    if (engine_tables.pline_count[n] == 0) continue;
    ASSERT_EQ(live, -1) << "a second row " << n;
    live = n;
  }
  ASSERT_GE(live, 0);
  EXPECT_EQ(engine_tables.pline_closed[live], 0);
  EXPECT_EQ(engine_tables.pline_count[live], engine_tables.point_count - 1);
  const std::vector<Pt> pts = row_points(live);
  EXPECT_EQ(std::min(pts.front().second, pts.back().second), 0.0f);
  EXPECT_EQ(std::max(pts.front().second, pts.back().second), 5.0f);
}

TEST_F(EngineTest, WorkedJoin) {
  //  0  10  10
  //  0   0  10     level 5: rows 0 and 1 start apart and are joined into row 0
  //  0   0   0
  set_levels({5});
  set_grid_rows({0, 1, 2}, {0, 1, 2}, {{0, 10, 10}, {0, 0, 10}, {0, 0, 0}});
  ASSERT_EQ(trace_isolines(), 0);
  ASSERT_EQ(engine_tables.pline_total, 2);
  EXPECT_EQ(row_points(0), (std::vector<Pt>{{0.5f, 2}, {1, 1.5f}, {1.5f, 1}, {2, 0.5f}}));
  EXPECT_EQ(engine_tables.pline_count[1], 0);
  EXPECT_EQ(engine_tables.pline_closed[0], 0);
}

TEST_F(EngineTest, RepeatedTwoPointSegmentOnAGridLineIsIgnored) {
  //  0   0         level 5 runs along the middle grid line, where both ends
  //  5   5         equal the level; the triangles above and below both give
  //  0   0         the segment, the second one is a repeat.
  set_levels({5});
  set_grid_rows({0, 1}, {0, 1, 2}, {{0, 0}, {5, 5}, {0, 0}});
  ASSERT_EQ(trace_isolines(), 0);
  EXPECT_EQ(engine_tables.point_count - 1, 2);
  ASSERT_EQ(engine_tables.pline_total, 1);
  EXPECT_EQ(engine_tables.pline_count[0], 2);
  EXPECT_EQ(message(), "");
}

}  // namespace
}  // namespace engine_test

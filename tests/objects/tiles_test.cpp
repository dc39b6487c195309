// Large grids and meshes traced in tiles on several threads: the same
// segments, joined into whole polylines, as the model traced in one piece,
// and every result (display list, picture, isolines, bands, lines) the same
// for every thread count and tile width. Built with ThreadSanitizer too (scripts/tsan.sh).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "IsovarLib.h"
#include "engine/tiles.h"
#include "entry/objects_internal.h"
#include "model_arrays.h"
#include "run_outcome.h"
#include "test_support.h"

using testing_support::TempDir;

namespace {

using Point = std::tuple<double, double, double>;  // level, x, y
using Segment = std::pair<Point, Point>;

// The lines' segments (each once, ends in order) and how many meet at each point.
struct Graph {
  std::multiset<Segment> segments;
  std::map<Point, int> degree;
};

Point point_of(const std::vector<double>& line, size_t i) { return {line[0], line[2 + 2 * i], line[3 + 2 * i]}; }
size_t point_count(const std::vector<double>& line) { return (line.size() - 2) / 2; }

Graph graph_of(const std::vector<std::vector<double>>& lines) {
  Graph g;
  for (const auto& line : lines) {
    for (size_t i = 1; i < point_count(line); ++i) {
      Point a = point_of(line, i - 1), b = point_of(line, i);
      if (b < a) std::swap(a, b);
      g.segments.insert({a, b});
      ++g.degree[a];
      ++g.degree[b];
    }
  }
  return g;
}

// A line as a sequence that does not depend on its direction or, for a
// ring, its starting point.
std::vector<Point> normal_form(const std::vector<double>& line) {
  std::vector<Point> pts;
  for (size_t i = 0; i < point_count(line); ++i) pts.push_back(point_of(line, i));
  if (line[1] != 0) {
    pts.pop_back();
    std::vector<Point> best;
    for (int dir = 0; dir < 2; ++dir) {
      for (size_t s = 0; s < pts.size(); ++s) {
        std::vector<Point> r(pts.begin() + long(s), pts.end());
        r.insert(r.end(), pts.begin(), pts.begin() + long(s));
        if (best.empty() || r < best) best = r;
      }
      std::reverse(pts.begin(), pts.end());
    }
    return best;
  }
  std::vector<Point> back(pts.rbegin(), pts.rend());
  return std::min(pts, back);
}

std::multiset<std::vector<Point>> line_set(const std::vector<std::vector<double>>& lines) {
  std::multiset<std::vector<Point>> set;
  for (const auto& line : lines) set.insert(normal_form(line));
  return set;
}

// Grids of small numbers where levels meet grid values (in some columns
// only, so that clean borders exist between them), and smooth ones with holes.
ModelArrays degenerate_grid(std::mt19937& rng) {
  ModelArrays a;
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const int nx = pick(2, 30), ny = pick(2, 30);
  for (int i = 0; i < nx; ++i) a.x.push_back(i * 2 + pick(0, 1));
  for (int j = 0; j < ny; ++j) a.y.push_back(j);
  std::vector<bool> halves;
  for (int i = 0; i < nx; ++i) halves.push_back(pick(0, 2) != 0);
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) a.values.push_back(pick(0, 40) == 0 ? NAN : pick(0, 4) + (halves[i] ? 0.5 : 0.0));
  a.levels = {1, 2, 3};
  a.bold = {0, 1, 0};
  a.labelled = {1, 1, 0};
  return a;
}

// Grids where some columns hold values a hair off a level beside values
// near it and values far from it: crossings round onto those columns' grid
// points (and segments run along the columns), though the columns look clean
// (no value equals a level).
ModelArrays near_level_grid(std::mt19937& rng) {
  ModelArrays a;
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const int nx = pick(4, 30), ny = pick(2, 20);
  for (int i = 0; i < nx; ++i) a.x.push_back(100 + i);
  for (int j = 0; j < ny; ++j) a.y.push_back(1 + j);
  std::vector<bool> near;
  for (int i = 0; i < nx; ++i) near.push_back(pick(0, 2) == 0);
  for (int j = 0; j < ny; ++j) {
    for (int i = 0; i < nx; ++i) {
      const int kind = pick(0, near[i] ? 2 : 1);
      const double level = pick(1, 3), side = pick(0, 1) ? 1 : -1;
      a.values.push_back(kind == 0 ? side * 1e6 : kind == 1 ? level + side * 0.5 : level + side * std::ldexp(1.0, -20));
    }
  }
  a.levels = {1, 2, 3};
  return a;
}

// A mesh whose elements are numbered in random order, so that tiles of the
// element order share points with tiles far from them, not only the next.
ModelArrays shuffled(ModelArrays a, std::mt19937& rng) {
  const size_t n = a.cells.size() / 4;
  std::vector<size_t> order(n);
  for (size_t c = 0; c < n; ++c) order[c] = c;
  std::shuffle(order.begin(), order.end(), rng);
  std::vector<int32_t> cells;
  for (size_t c : order) cells.insert(cells.end(), a.cells.begin() + long(4 * c), a.cells.begin() + long(4 * c + 4));
  a.cells = cells;
  return a;
}

// A mesh as unmerged parts leave it: some elements given twice, and the
// nodes of one half repeated at the same places for the elements there.
ModelArrays unmerged(ModelArrays a, std::mt19937& rng) {
  const int32_t nodes = static_cast<int32_t>(a.x.size());
  for (int32_t n = 0; n < nodes; ++n) {
    a.x.push_back(a.x[n]);
    a.y.push_back(a.y[n]);
    a.values.push_back(a.values[n]);
  }
  const size_t cells = a.cells.size() / 4;
  for (size_t c = 0; c < cells; ++c) {
    if (c % 2 == 1)
      for (size_t k = 0; k < 4; ++k)
        if (a.cells[4 * c + k] >= 0) a.cells[4 * c + k] += nodes;
    if (std::uniform_int_distribution<int>(0, 9)(rng) == 0)
      a.cells.insert(a.cells.end(), a.cells.begin() + long(4 * c), a.cells.begin() + long(4 * c + 4));
  }
  return a;
}

std::vector<ModelArrays> models() {
  std::vector<ModelArrays> out;
  std::mt19937 rng(2025);
  const int count = ISOVAR_SANITIZED ? 4 : 30;
  std::vector<ModelArrays> meshes;
  for (int m = 0; static_cast<int>(out.size()) < count; ++m) {
    ModelArrays a = random_arrays(rng, m);
    (a.mesh ? meshes : out).push_back(a);
  }
  for (int m = 0; m < count; ++m) out.push_back(degenerate_grid(rng));
  for (int m = 0; m < count; ++m) out.push_back(near_level_grid(rng));
  // Meshes of integers (levels at node values) and of smooth values, half
  // of them in element numbers of no order.
  for (size_t m = 0; m < meshes.size(); ++m) out.push_back(m % 2 ? shuffled(meshes[m], rng) : meshes[m]);
  for (size_t m = 0; m < meshes.size(); ++m) out.push_back(shuffled(unmerged(meshes[m], rng), rng));
  return out;
}

struct Tiling {
  int threads;
  int tile_columns;  // columns or elements; 0: one tile per thread
};

const std::vector<Tiling> kTilings = {{1, 0}, {2, 0}, {3, 0}, {7, 0}, {2, 1}, {3, 2}, {7, 3}, {1, 5}};

RunOutcome traced(IsovarRun* run, const IsovarModel* model, const Tiling& tiling, bool fill, const std::string& at) {
  Run& r = run_of(run);
  r.engine.force_tiles = 1;
  r.engine.tile_columns = tiling.tile_columns;
  isovarRunSetThreads(run, tiling.threads);
  return run_objects(run, model, fill, at);
}

void expect_whole_lines(const Graph& g, const std::vector<std::vector<double>>& lines, const std::string& what) {
  // A line ends exactly where other than two segments meet.
  for (const auto& line : lines) {
    const size_t n = point_count(line);
    for (size_t i = 1; i + 1 < n; ++i) EXPECT_EQ(g.degree.at(point_of(line, i)), 2) << what << " passes a branch";
    if (line[1] == 0) {
      EXPECT_NE(g.degree.at(point_of(line, 0)), 2) << what << " stops short";
      EXPECT_NE(g.degree.at(point_of(line, n - 1)), 2) << what << " stops short";
    }
  }
}

// The lines isovarRunTraceLines hands on, as RunOutcome::lines holds them.
std::vector<std::vector<double>> streamed(IsovarRun* run, const IsovarModel* model) {
  std::vector<std::vector<double>> lines;
  auto sink = [](void* user, int32_t level, int32_t closed, int32_t count, const double* xy) -> int32_t {
    std::vector<double> line{double(level), double(closed)};
    line.insert(line.end(), xy, xy + 2 * count);
    static_cast<std::vector<std::vector<double>>*>(user)->push_back(line);
    return 0;
  };
  char err[ISOVAR_ERRMSG_SIZE] = {};
  EXPECT_EQ(isovarRunTraceLines(run, model, sink, &lines, err), 0) << err;
  EXPECT_EQ(isovarRunLineCount(run), 0);
  // A sink that answers 7 on the third line stops the trace there.
  auto stopping = [](void* user, int32_t, int32_t, int32_t, const double*) -> int32_t {
    return ++*static_cast<size_t*>(user) == 3 ? 7 : 0;
  };
  size_t seen = 0;
  EXPECT_EQ(isovarRunTraceLines(run, model, stopping, &seen, err), lines.size() >= 3 ? 7 : 0);
  EXPECT_EQ(seen, std::min<size_t>(lines.size(), 3));
  return lines;
}

// model traced in one piece, then in tiles of every tiling, whole and
// streamed.
void expect_tiled_equals_one_piece(IsovarModel* model, bool fill, const std::string& what, TempDir& dir) {
  IsovarRun* run = isovarRunNew();
  const RunOutcome one_piece = run_objects(run, model, fill, dir.file("one"));
  ASSERT_EQ(one_piece.result, 0) << what << ": " << one_piece.message;
  const Graph g = graph_of(one_piece.lines);
  const bool degenerate = std::any_of(g.degree.begin(), g.degree.end(), [](const auto& d) { return d.second > 2; });

  RunOutcome first;
  for (const Tiling& tiling : kTilings) {
    const std::string how = what + " on " + std::to_string(tiling.threads) + " threads, tiles of " +
                            std::to_string(tiling.tile_columns);
    const RunOutcome tiled = traced(run, model, tiling, fill, dir.file("tiled"));
    ASSERT_EQ(tiled.result, 0) << how << ": " << tiled.message;
    EXPECT_EQ(streamed(run, model), tiled.lines) << how << ", streamed";
    if (&tiling == &kTilings.front()) {
      first = tiled;
      const Graph tg = graph_of(tiled.lines);
      EXPECT_EQ(tg.segments, g.segments) << how;
      expect_whole_lines(tg, tiled.lines, how);
      if (!degenerate) {
        EXPECT_EQ(line_set(tiled.lines), line_set(one_piece.lines)) << how;
      }
      EXPECT_EQ(tiled.bands, one_piece.bands) << how;
      continue;
    }
    EXPECT_EQ(tiled.lines, first.lines) << how;
    EXPECT_EQ(tiled.isolines, first.isolines) << how;
    EXPECT_EQ(tiled.display_list, first.display_list) << how;
    EXPECT_EQ(tiled.pixels, first.pixels) << how;
    EXPECT_EQ(tiled.bands, first.bands) << how;
  }
  isovarRunFree(run);
}

}  // namespace

TEST(Tiles, TiledEqualsOnePieceForEveryThreadCountAndTileWidth) {
  TempDir dir;
  const std::vector<ModelArrays> all = models();
  for (size_t m = 0; m < all.size(); ++m) {
    const std::string what = "model " + std::to_string(m);
    char err[ISOVAR_ERRMSG_SIZE] = {};
    IsovarModel* model = isovarModelNew();
    ASSERT_EQ(all[m].build(model, 1, err), 0) << what << ": " << err;
    expect_tiled_equals_one_piece(model, m % 2 == 1, what, dir);
    isovarModelFree(model);
  }
  for (const char* example : {"examples/plate.isovar", "examples/terrain.isovar", "examples/large.isovar"}) {
    if (ISOVAR_SANITIZED && std::string(example) == "examples/large.isovar") continue;
    char err[ISOVAR_ERRMSG_SIZE] = {};
    IsovarModel* model = isovarModelNew();
    ASSERT_EQ(isovarModelRead(model, testing_support::source_path(example).c_str(), 1, err), 0) << err;
    expect_tiled_equals_one_piece(model, true, example, dir);
    isovarModelFree(model);
  }
}

// A grid or mesh past the default tables takes the tiled path by itself;
// the result of every thread count is the one of one thread.
TEST(Tiles, LargeModelsGiveTheSameFilesOnAnyThreadCount) {
  TempDir dir;
  auto field = [](double u, double v) { return std::sin(u * 0.05) * std::cos(v * 0.3) * 10; };
  ModelArrays grid;
  const int nx = ISOVAR_SANITIZED ? 520 : 700, ny = 40;
  for (int i = 0; i < nx; ++i) grid.x.push_back(i);
  for (int j = 0; j < ny; ++j) grid.y.push_back(j * 3);
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) grid.values.push_back(field(i, j) + (i % 7 == 0 ? 0 : 0.25));
  // 318 x 318 nodes: 100,489 elements, quadrilaterals and triangles.
  ModelArrays mesh;
  mesh.mesh = true;
  const int side = 318;
  for (int i = 0; i < side; ++i)
    for (int j = 0; j < side; ++j) {
      mesh.x.push_back(i + 0.25 * std::sin(j));
      mesh.y.push_back(j * 0.5);
      mesh.values.push_back(field(i, j / 8.0) + (j % 5 == 0 ? 0 : 0.25));
    }
  for (int i = 0; i + 1 < side; ++i)
    for (int j = 0; j + 1 < side; ++j)
      mesh.cells.insert(mesh.cells.end(), {i * side + j, (i + 1) * side + j, (i + 1) * side + j + 1,
                                           (i + j) % 3 == 0 ? -1 : i * side + j + 1});
  for (ModelArrays* a : {&grid, &mesh}) {
    a->levels = {-7, -5, -2, 0, 0.25, 2, 5, 7};
    char err[ISOVAR_ERRMSG_SIZE] = {};
    IsovarModel* model = isovarModelNew();
    ASSERT_EQ(a->build(model, 1, err), 0) << err;
    std::vector<RunOutcome> outcomes;
    for (int threads : {1, 2, 3, 7}) {
      const std::string what = std::string(a->mesh ? "mesh" : "grid") + " on " + std::to_string(threads) + " threads";
      IsovarRun* run = isovarRunNew();
      ASSERT_EQ(isovarRunSetThreads(run, threads), 0);
      outcomes.push_back(run_objects(run, model, threads % 2 == 1, dir.file("large")));
      EXPECT_NE(run_of(run).engine.tiles, nullptr) << what << " not in tiles";
      isovarRunFree(run);
      ASSERT_EQ(outcomes.back().result, 0) << outcomes.back().message;
      EXPECT_FALSE(outcomes.back().lines.empty()) << what;
      EXPECT_EQ(outcomes.back().lines, outcomes.front().lines) << what;
      EXPECT_EQ(outcomes.back().isolines, outcomes.front().isolines) << what;
      EXPECT_EQ(outcomes.back().bands, outcomes.front().bands) << what;
      if (threads % 2 == 1) {  // with bands, as on one thread
        EXPECT_EQ(outcomes.back().display_list, outcomes.front().display_list) << what;
        EXPECT_EQ(outcomes.back().pixels, outcomes.front().pixels) << what;
      }
    }
    if (!a->mesh) {
      // Streamed in tiles of 12 columns, a few at a time (on two threads,
      // a batch joined while the next is traced): the same lines, with a
      // small part of the points held at any time.
      IsovarRun* run = isovarRunNew();
      run_of(run).engine.tile_columns = 12;
      ASSERT_EQ(isovarRunTrace(run, model, 0, err), 0) << err;
      const int64_t points = run_of(run).engine.point_count;
      for (int threads : {1, 2}) {
        isovarRunSetThreads(run, threads);
        EXPECT_EQ(streamed(run, model), outcomes.front().lines) << threads << " threads";
        EXPECT_LT(streamed_points(run_of(run).engine), points / 4) << threads << " threads";
      }
      isovarRunFree(run);
    }
    isovarModelFree(model);
  }
  EXPECT_EQ(isovarRunSetThreads(nullptr, 2), -1);
}

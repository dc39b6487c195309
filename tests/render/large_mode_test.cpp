// Large mode: the same procedures over tables that grow. A model that fits
// the default tables gives the same tables, display list and picture in both
// modes; what passes them is refused by default (saying so) and plotted in
// large mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "IsovarLib.h"
#include "default_objects.h"
#include "default_objects.h"
#include "model_gen.h"
#include "platform.h"
#include "shared/tables.h"
#include "test_support.h"

namespace {

using testing_support::TempDir;
using testing_support::cp932;
using testing_support::read_file;
using testing_support::source_path;
using testing_support::write_file;

constexpr int kWidth = 665;
constexpr int kHeight = 585;

// What a plot run leaves: the live rows (points in order, level, closed
// flag), the points, the band pieces when kept, the display list and the
// picture.
struct Outcome {
  int32_t result = -1;
  std::string message;
  std::vector<std::vector<float>> rows;
  std::vector<float> points;
  std::vector<float> pieces;
  std::string display_list;
  std::vector<uint32_t> pixels;
  int32_t rows_opened = 0;
};

Outcome plot(const std::string& path, bool large, bool bands = false) {
  Outcome out;
  setLargeModels(large ? 1 : 0);
  run_context.bands_wanted = bands ? 1 : 0;
  char err[ISOVAR_ERRMSG_SIZE] = {};
  if (readData(path.c_str(), err) != 0) {
    out.message = err;
    return out;
  }
  HDC dc = CreateSurfaceDC(kWidth, kHeight);
  out.result = isovarMain(err, dc, "prtInfo.tmp", kWidth, kHeight);
  out.message = out.result == 0 ? "" : err;
  const EngineTables& E = engine_tables;
  out.rows_opened = E.pline_total;
  for (int n = 0; n < E.pline_total; ++n) {
    if (E.pline_count[n] <= 0) continue;
    std::vector<float> row{static_cast<float>(E.pline_level[n]), static_cast<float>(E.pline_closed[n])};
    for (int i = 0; i < E.pline_count[n]; ++i) {
      const IsoPoint& p = E.iso_points[pline_point(n, i)];
      row.insert(row.end(), {p.x, p.y});
    }
    out.rows.push_back(row);
  }
  for (int p = 1; p < E.point_count; ++p) out.points.insert(out.points.end(), {E.iso_points[p].x, E.iso_points[p].y});
  for (int f = 0; f < E.fill_poly_count; ++f) {
    const FillPoly& piece = E.fill_poly[f];
    out.pieces.push_back(static_cast<float>(piece.band));
    for (int v = 0; v < piece.nvert; ++v) out.pieces.insert(out.pieces.end(), {piece.x[v], piece.y[v]});
  }
  out.display_list = read_file("prtInfo.tmp");
  int w = 0, h = 0;
  const uint32_t* bits = GetSurfaceBits(dc, &w, &h);
  out.pixels.assign(bits, bits + static_cast<size_t>(w) * h);
  DeleteDC(dc);
  setLargeModels(0);
  run_context.bands_wanted = 0;
  return out;
}

void expect_same(const Outcome& a, const Outcome& b, const std::string& what, bool pieces) {
  ASSERT_EQ(a.result, b.result) << what << ": " << a.message << " / " << b.message;
  EXPECT_EQ(a.message, b.message) << what;
  EXPECT_EQ(a.rows, b.rows) << what;
  EXPECT_EQ(a.points, b.points) << what;
  if (pieces) {
    EXPECT_EQ(a.pieces, b.pieces) << what;
  }
  EXPECT_TRUE(a.display_list == b.display_list) << what << ": display lists differ";
  EXPECT_TRUE(a.pixels == b.pixels) << what << ": pictures differ";
}

// A random model as a file: a grid of small integers or smooth values (with
// holes), or a mesh whose nodes and elements are numbered at random and
// listed out of order.
std::string random_model(std::mt19937& rng, int m) {
  std::ostringstream f;
  std::uniform_real_distribution<float> unit(0, 1);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const bool integers = m % 2 == 0;
  auto value = [&](float u, float v) {
    return integers ? static_cast<float>(pick(0, 5)) : 10 * std::sin(5 * u) * std::cos(4 * v) + unit(rng);
  };
  auto levels = [&]() {
    f << "*isovar\n";
    if (integers) {
      for (int k = 1; k <= 4; ++k) f << k << (k == 2 ? " bold\n" : "\n");
    } else {
      for (int k = -8; k <= 8; k += 2) f << k << ".5\n";
    }
    f << "*end\n";
  };
  const int side = pick(3, 40);
  if (m % 3 != 2) {
    f << "*model differencial\n*title\nrandom grid\n*end\n*x\n";
    for (int i = 0; i < side; ++i) f << i * 1.5 + unit(rng) << "\n";
    f << "*end\n*y\n";
    for (int j = 0; j < side; ++j) f << j << "\n";
    f << "*end\n*value\n";
    for (int i = 1; i <= side; ++i) {
      for (int j = 1; j <= side; ++j) {
        if (pick(0, 30) != 0) f << i << " " << j << " " << value(i / float(side), j / float(side)) << "\n";
      }
    }
    f << "*end\n";
    levels();
    return f.str();
  }
  std::vector<int> numbers(static_cast<size_t>(side * side));
  for (int& n : numbers) n = pick(0, 99999);
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  std::shuffle(numbers.begin(), numbers.end(), rng);
  const int cols = static_cast<int>(numbers.size()) / side;
  auto node = [&](int i, int j) { return numbers[static_cast<size_t>(i * side + j)]; };
  f << "*model fem\n*node\n";
  for (int i = 0; i < cols; ++i)
    for (int j = 0; j < side; ++j) f << node(i, j) << " " << i + 0.3f * unit(rng) << " " << j + 0.3f * unit(rng) << "\n";
  f << "*end\n*element\n";
  std::vector<std::string> elements;
  int e = pick(0, 1000);
  for (int i = 0; i + 1 < cols; ++i) {
    for (int j = 0; j + 1 < side; ++j) {
      std::ostringstream r;
      r << (e += pick(1, 50)) << " " << node(i, j) << " " << node(i + 1, j) << " " << node(i + 1, j + 1);
      if (pick(0, 1) == 0) r << " " << node(i, j + 1);
      elements.push_back(r.str());
    }
  }
  std::shuffle(elements.begin(), elements.end(), rng);
  for (const std::string& r : elements) f << r << "\n";
  f << "*end\n*node_data\n";
  for (int i = 0; i < cols; ++i) {
    for (int j = 0; j < side; ++j) {
      if (pick(0, 40) != 0) f << node(i, j) << " " << value(i / float(side), j / float(side)) << "\n";
    }
  }
  f << "*end\n";
  levels();
  return f.str();
}

TEST(LargeMode, ModelsThatFitPlotAlikeInBothModes) {
  for (const char* name : {"terrain.isovar", "plate.isovar", "large.isovar"}) {
    const std::string path = source_path(std::string("examples/") + name);
    expect_same(plot(path, false), plot(path, true), name, false);
    expect_same(plot(path, false), plot(path, true, true), std::string(name) + " with bands", true);
  }
  TempDir dir;
  std::mt19937 rng(31);
  for (int m = 0; m < 60; ++m) {
    const std::string path = dir.file("model.iso");
    write_file(path, random_model(rng, m));
    expect_same(plot(path, false), plot(path, true, m % 4 == 0), "random model " + std::to_string(m), m % 4 == 0);
  }
}

// An elevation model in whole metres with levels every 40 m: its runs open
// far more rows than the table holds, most of them emptied by joins. The
// default mode squeezes the emptied rows out and draws what large mode draws.
TEST(LargeMode, TerrainOpeningMoreRowsThanTheTablePlotsInBothModes) {
  TempDir dir;
  const std::string path = dir.file("terrain.iso");
  ASSERT_TRUE(model_gen::write_terrain(path, 120, 90));
  const Outcome fixed = plot(path, false);
  const Outcome large = plot(path, true);
  ASSERT_EQ(fixed.result, 0) << fixed.message;
  EXPECT_GT(large.rows_opened, 1500);
  EXPECT_LE(fixed.rows_opened, 1500);
  EXPECT_EQ(fixed.rows, large.rows);
  EXPECT_TRUE(fixed.display_list == large.display_list);
  EXPECT_TRUE(fixed.pixels == large.pixels);
}

TEST(LargeMode, LiftsTheTableLimitsAndSaysWhenTheyStopAModel) {
  TempDir dir;
  char err[ISOVAR_ERRMSG_SIZE] = {};
  // A grid wider than 499 columns.
  const std::string wide = dir.file("wide.iso");
  ASSERT_TRUE(model_gen::write_terrain(wide, 700, 30));
  Outcome refused = plot(wide, false);
  EXPECT_EQ(refused.message, cp932(u8"(x_input) (行:505)  Ｘ方向の格子点数が多すぎます。（最大:500） "));
  EXPECT_EQ(tableLimitReached(), 1);
  EXPECT_EQ(plot(wide, true).result, 0);
  EXPECT_EQ(tableLimitReached(), 0);

  // Node and element numbers up to 99999999, memory after the nodes given.
  const std::string sparse = dir.file("sparse.iso");
  write_file(sparse,
             "*model fem\n*node\n1 0 0\n99999999 1 0\n50000000 1 1\n7 0 1\n*end\n"
             "*element\n99999999 1 99999999 50000000 7\n*end\n"
             "*node_data\n1 0\n99999999 0\n50000000 10\n7 10\n*end\n*isovar\n5\n*end\n");
  refused = plot(sparse, false);
  EXPECT_EQ(refused.message, cp932(u8"(node_input)（行:4）ノード番号が不正です。（最大:100000） "));
  EXPECT_EQ(tableLimitReached(), 1);
  const Outcome large = plot(sparse, true);
  ASSERT_EQ(large.result, 0) << large.message;
  ASSERT_EQ(large.rows.size(), 1u);
  EXPECT_LT(model_store.node_state.capacity, 100000);  // not a slot per number
  EXPECT_LT(model_store.element_nodes.capacity, 100000);

  // Past what an 8-character field holds, and the limits the format keeps.
  write_file(sparse, "*model fem\n*node\n100000000 0 0\n*end\n");
  setLargeModels(1);
  EXPECT_EQ(readData(sparse.c_str(), err), -1);
  EXPECT_EQ(std::string(err), cp932(u8"(node_input)（行:3）ノード番号が不正です。（最大:100000000） "));
  std::string levels = "*x\n0\n1\n*end\n*y\n0\n1\n*end\n*value\n*end\n*isovar\n";
  for (int k = 0; k < 50; ++k) levels += std::to_string(k) + "\n";
  write_file(sparse, levels + "*end\n");
  EXPECT_EQ(readData(sparse.c_str(), err), -1);
  EXPECT_EQ(std::string(err), cp932(u8"con_input   (行:61) Isovar値が多すぎる。"));
  EXPECT_EQ(tableLimitReached(), 0);
  setLargeModels(0);
}

}  // namespace

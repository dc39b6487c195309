// Levels that meet grid or node values: more than two segments meet in one
// point there. Every run must succeed, what the rows draw must be exactly
// the segments the tracing produced (none lost, none drawn twice), and a
// row is flagged closed exactly when its first point is its last.
#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <tuple>

#include "engine_fixture.h"
#include "literal_engine.h"

namespace engine_test {
namespace {

using Rng = std::mt19937;
using Key = std::tuple<float, float, int>;  // a point: x, y, level
using Link = std::pair<Key, Key>;           // its ends, in order

Link link_of(Key a, Key b) { return a < b ? Link{a, b} : Link{b, a}; }

// The distinct segments of non-zero length the tracing handed over.
std::set<Link> traced_links() {
  std::set<Link> links;
  for (const literal::TracedSegment& s : literal::traced) {
    if (s.x1 == s.x2 && s.y1 == s.y2) continue;
    links.insert(link_of(Key{s.x1, s.y1, s.k}, Key{s.x2, s.y2, s.k}));
  }
  return links;
}

// The links the rows draw, each with how often it is drawn.
std::map<Link, int> drawn_links() {
  std::map<Link, int> drawn;
  for (int n = 0; n < engine_tables.pline_total; ++n) {
    const int k = engine_tables.pline_level[n];
    for (int i = 0; i + 1 < engine_tables.pline_count[n]; ++i) {
      const IsoPoint& a = engine_tables.iso_points[pline_point(n, i)];
      const IsoPoint& b = engine_tables.iso_points[pline_point(n, i + 1)];
      EXPECT_EQ(a.level, k);
      ++drawn[link_of(Key{a.x, a.y, a.level}, Key{b.x, b.y, b.level})];
    }
  }
  return drawn;
}

void expect_every_segment_once(const std::string& what) {
  ASSERT_EQ(trace_isolines(), 0) << what << ": " << message();
  ASSERT_EQ(literal::trace_isolines(), 0) << what;
  const std::set<Link> traced = traced_links();
  const std::map<Link, int> drawn = drawn_links();
  ASSERT_EQ(drawn.size(), traced.size()) << what;
  for (const auto& [link, times] : drawn) {
    ASSERT_EQ(times, 1) << what << ": a link drawn " << times << " times";
    ASSERT_TRUE(traced.count(link)) << what << ": a link no triangle traced";
  }
  for (int n = 0; n < engine_tables.pline_total; ++n) {
    const int count = engine_tables.pline_count[n];
    if (count <= 0) continue;
    const bool ends_meet = pline_point(n, 0) == pline_point(n, count - 1);
    ASSERT_EQ(engine_tables.pline_closed[n] != 0, ends_meet) << what << ": row " << n;
  }
  EXPECT_EQ(message(), "") << what;
}

std::vector<float> integer_levels(Rng& rng) {
  std::vector<float> levels;
  for (int v = 1; v <= 4; ++v)
    if (std::uniform_int_distribution<int>(0, 3)(rng) != 0) levels.push_back(static_cast<float>(v));
  if (levels.empty()) levels.push_back(2.0f);
  return levels;
}

TEST_F(EngineTest, IntegerGridsLoseAndRepeatNoSegment) {
  Rng rng(4242);
  for (int m = 0; m < 400; ++m) {
    clear_model();
    const int nx = std::uniform_int_distribution<int>(2, 24)(rng);
    const int ny = std::uniform_int_distribution<int>(2, 24)(rng);
    std::vector<float> xs(nx), ys(ny);
    for (int i = 0; i < nx; ++i) xs[i] = static_cast<float>(i);
    for (int j = 0; j < ny; ++j) ys[j] = static_cast<float>(j);
    std::uniform_int_distribution<int> value(0, 5);
    set_grid(xs, ys, [&](int, int) { return static_cast<float>(value(rng)); });
    set_levels(integer_levels(rng));
    expect_every_segment_once("grid " + std::to_string(m));
  }
}

// Meshes of triangles and quads over a jittered lattice, so that nodes are
// shared by up to eight elements.
TEST_F(EngineTest, IntegerMeshesLoseAndRepeatNoSegment) {
  Rng rng(99);
  for (int m = 0; m < 150; ++m) {
    clear_model();
    set_fem();
    const int side = std::uniform_int_distribution<int>(2, 14)(rng);
    std::uniform_int_distribution<int> value(0, 5);
    std::uniform_real_distribution<float> jitter(-0.25f, 0.25f);
    auto node = [&](int i, int j) { return i * side + j; };
    for (int i = 0; i < side; ++i)
      for (int j = 0; j < side; ++j) add_node(node(i, j), i + jitter(rng), j + jitter(rng), static_cast<float>(value(rng)));
    int e = 0;
    for (int i = 0; i + 1 < side; ++i) {
      for (int j = 0; j + 1 < side; ++j) {
        const int a = node(i, j), b = node(i + 1, j), c = node(i + 1, j + 1), d = node(i, j + 1);
        if ((i + j + m) % 3 == 0) {
          add_element(e++, a, b, c, d);
        } else {
          add_element(e++, a, b, d);
          add_element(e++, b, c, d);
        }
      }
    }
    set_levels(integer_levels(rng));
    expect_every_segment_once("mesh " + std::to_string(m));
  }
}

}  // namespace
}  // namespace engine_test

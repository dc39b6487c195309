// The engine against the literal scans of literal_engine.cpp on many random
// models: both must leave identical tables, results and messages.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <random>
#include <set>
#include <string>

#include "engine_fixture.h"
#include "literal_engine.h"

namespace engine_test {
namespace {

using Rng = std::mt19937;

float uniform(Rng& rng, float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); }
int pick(Rng& rng, int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

std::vector<float> ascending(Rng& rng, int n, float min_step, float max_step) {
  std::vector<float> out;
  float v = uniform(rng, -5, 5);
  for (int i = 0; i < n; ++i) {
    out.push_back(v);
    v += uniform(rng, min_step, max_step);
  }
  return out;
}

// A value field over the unit square: small integers (levels then meet
// vertex values exactly, which makes saddles and dropped segments), or a
// few smooth bumps (rings of every size).
struct Field {
  bool integers;
  int top;
  struct Bump {
    float x, y, h, w;
  };
  std::vector<Bump> bumps;

  float operator()(Rng& rng, float u, float v) const {
    if (integers) return static_cast<float>(pick(rng, 0, top));
    float s = 0;
    for (const Bump& b : bumps) {
      float d2 = (u - b.x) * (u - b.x) + (v - b.y) * (v - b.y);
      s += b.h * std::exp(-d2 / b.w);
    }
    return s;
  }
};

Field random_field(Rng& rng) {
  Field f{pick(rng, 0, 2) == 0, pick(rng, 1, 8), {}};
  for (int i = pick(rng, 1, 6); i > 0; --i) {
    f.bumps.push_back({uniform(rng, 0, 1), uniform(rng, 0, 1), uniform(rng, -10, 10), uniform(rng, 0.002f, 0.1f)});
  }
  return f;
}

std::vector<float> random_levels(Rng& rng, const Field& f) {
  std::vector<float> levels;
  int n = pick(rng, 0, 12);
  if (f.integers) {
    std::set<int> picked;
    for (int i = 0; i < n; ++i) picked.insert(pick(rng, -1, f.top + 1));
    for (int v : picked) levels.push_back(static_cast<float>(v));
  } else {
    std::set<float> picked;
    for (int i = 0; i < n; ++i) picked.insert(uniform(rng, -8, 8));
    levels.assign(picked.begin(), picked.end());
  }
  return levels;
}

void random_grid(Rng& rng, int max_side) {
  clear_model();
  const Field f = random_field(rng);
  const int nx = pick(rng, 2, max_side), ny = pick(rng, 2, max_side);
  const std::vector<float> xs = ascending(rng, nx, 0.1f, 2), ys = ascending(rng, ny, 0.1f, 2);
  set_grid(xs, ys, [&](int i, int j) { return f(rng, (i - 1.0f) / nx, (j - 1.0f) / ny); });
  const float holes = pick(rng, 0, 2) * 0.08f;
  for (int i = 1; i <= nx; ++i) {
    for (int j = 1; j <= ny; ++j) {
      if (uniform(rng, 0, 1) < holes) model_store.grid_defined[i][j] = 0;
    }
  }
  set_levels(random_levels(rng, f));
}

// A jittered grid of nodes, numbered at random, cut into quads and triangles
// with random element numbers; some nodes lack a value, some elements name
// nodes that cannot be used, and now and then a quad is a bow tie.
void random_mesh(Rng& rng, int max_side) {
  clear_model();
  set_fem();
  const Field f = random_field(rng);
  const int nx = pick(rng, 2, max_side), ny = pick(rng, 2, max_side);
  std::vector<int> numbers(kNodeSlots);
  std::iota(numbers.begin(), numbers.end(), 0);
  std::shuffle(numbers.begin(), numbers.end(), rng);
  auto node = [&](int i, int j) { return numbers[static_cast<size_t>(i * ny + j)]; };
  const bool missing_values = pick(rng, 0, 3) == 0;
  for (int i = 0; i < nx; ++i) {
    for (int j = 0; j < ny; ++j) {
      const float x = i + uniform(rng, -0.3f, 0.3f), y = j + uniform(rng, -0.3f, 0.3f);
      if (missing_values && pick(rng, 0, 30) == 0) {
        add_node_without_value(node(i, j), x, y);
      } else {
        add_node(node(i, j), x, y, f(rng, static_cast<float>(i) / nx, static_cast<float>(j) / ny));
      }
    }
  }
  std::vector<int> elements(kNodeSlots);
  std::iota(elements.begin(), elements.end(), 0);
  std::shuffle(elements.begin(), elements.end(), rng);
  size_t next = 0;
  const bool bow_ties = pick(rng, 0, 5) == 0;
  for (int i = 0; i + 1 < nx; ++i) {
    for (int j = 0; j + 1 < ny; ++j) {
      const int a = node(i, j), b = node(i + 1, j), c = node(i + 1, j + 1), d = node(i, j + 1);
      switch (pick(rng, 0, 9)) {
        case 0:
        case 1:
          add_element(elements[next++], a, b, d);
          add_element(elements[next++], b, c, d);
          break;
        case 2:
          add_element(elements[next++], a, b, c);
          add_element(elements[next++], c, d, a);
          break;
        case 3:
          add_element(elements[next++], a, pick(rng, 0, 3) == 0 ? 100000 + a : -1, c, d);
          break;
        default:
          if (bow_ties && pick(rng, 0, 40) == 0) {
            add_element(elements[next++], a, c, b, d);
          } else {
            add_element(elements[next++], a, b, c, d);
          }
      }
    }
  }
  set_levels(random_levels(rng, f));
}

struct RunOutcome {
  int result;
  std::string message;
};

// Runs both engines on the model in the store and compares every table.
::testing::AssertionResult same_tables(RunOutcome* out) {
  std::memset(run_context.message_buffer, 0, kMessageBufferSize);
  std::memset(literal::tables.message_buffer, 0, kMessageBufferSize);
  const int result = trace_isolines();
  const std::string msg = run_context.message_buffer;
  const int expected = literal::trace_isolines();
  const literal::Tables& L = literal::tables;
  const EngineTables& E = engine_tables;
  *out = RunOutcome{result, msg};

  if (result != expected) return ::testing::AssertionFailure() << "result " << result << " != " << expected;
  if (msg != L.message_buffer) return ::testing::AssertionFailure() << "message differs";
  if (E.point_count != L.point_count) {
    return ::testing::AssertionFailure() << "point_count " << E.point_count << " != " << L.point_count;
  }
  for (int s = 1; s < E.point_count; ++s) {
    if (std::memcmp(&E.iso_points[s], &L.iso_points[s], sizeof(IsoPoint)) != 0) {
      return ::testing::AssertionFailure() << "point slot " << s;
    }
  }
  if (E.pline_total != L.pline_total) {
    return ::testing::AssertionFailure() << "pline_total " << E.pline_total << " != " << L.pline_total;
  }
  for (int n = 0; n < E.pline_total; ++n) {
    if (E.pline_count[n] != L.pline_count[n] || E.pline_level[n] != L.pline_level[n] ||
        E.pline_closed[n] != L.pline_closed[n]) {
      return ::testing::AssertionFailure() << "row " << n << " count, level or closed flag";
    }
    for (int i = 0; i < E.pline_count[n]; ++i) {
      if (pline_point(n, i) != L.pline_points[n][i]) return ::testing::AssertionFailure() << "row " << n << " point " << i;
    }
  }
  if (E.fill_poly_count != L.fill_poly_count) {
    return ::testing::AssertionFailure() << "fill_poly_count " << E.fill_poly_count << " != " << L.fill_poly_count;
  }
  for (int f = 0; f < E.fill_poly_count; ++f) {
    const FillPoly &a = E.fill_poly[f], &b = L.fill_poly[f];
    if (a.band != b.band || a.nvert != b.nvert ||
        std::memcmp(a.x, b.x, sizeof(float) * static_cast<size_t>(a.nvert)) != 0 ||
        std::memcmp(a.y, b.y, sizeof(float) * static_cast<size_t>(a.nvert)) != 0) {
      return ::testing::AssertionFailure() << "band piece " << f;
    }
  }
  return ::testing::AssertionSuccess();
}

// What the random models reached, so a generator that stops producing the
// awkward cases shows up. A meeting is a point where three or more drawn
// links meet (a level at a vertex value).
struct Coverage {
  int runs = 0, failures = 0, meetings = 0, rings = 0, joins = 0;
  void add(const RunOutcome& r) {
    ++runs;
    if (r.result != 0) ++failures;
    std::vector<int> degree(static_cast<size_t>(engine_tables.point_count), 0);
    for (int n = 0; n < engine_tables.pline_total; ++n) {
      if (engine_tables.pline_count[n] == 0) ++joins;
      if (engine_tables.pline_count[n] > 0 && engine_tables.pline_closed[n]) ++rings;
      for (int i = 0; i + 1 < engine_tables.pline_count[n]; ++i) {
        ++degree[static_cast<size_t>(pline_point(n, i))];
        ++degree[static_cast<size_t>(pline_point(n, i + 1))];
      }
    }
    if (r.result == 0 && std::any_of(degree.begin(), degree.end(), [](int d) { return d >= 3; })) ++meetings;
  }
};

TEST(Randomized, GridsMatchTheLiteralScans) {
  Rng rng(20240611);
  Coverage cov;
  for (int m = 0; m < 400; ++m) {
    random_grid(rng, m % 10 == 0 ? 60 : 25);
    RunOutcome run;
    ASSERT_TRUE(same_tables(&run)) << "grid model " << m;
    cov.add(run);
  }
  EXPECT_GT(cov.meetings, 20);
  EXPECT_GT(cov.rings, 100);
  EXPECT_GT(cov.joins, 100);
}

TEST(Randomized, MeshesMatchTheLiteralScans) {
  Rng rng(777);
  Coverage cov;
  for (int m = 0; m < 150; ++m) {
    random_mesh(rng, m % 10 == 0 ? 40 : 16);
    RunOutcome run;
    ASSERT_TRUE(same_tables(&run)) << "mesh model " << m;
    cov.add(run);
  }
  EXPECT_GT(cov.meetings, 10);
  EXPECT_GT(cov.rings, 30);
  EXPECT_GT(cov.failures, 2);  // bow ties
}

TEST(Randomized, LimitsAreReachedAtTheSamePlace) {
  Rng rng(99);
  // Noise under many levels: more than 1500 rows.
  clear_model();
  set_grid(ascending(rng, 90, 0.5f, 1), ascending(rng, 90, 0.5f, 1), [&](int, int) { return uniform(rng, 0, 1); });
  std::vector<float> levels;
  for (int k = 0; k < 30; ++k) levels.push_back(k / 30.0f + 0.01f);
  set_levels(levels);
  RunOutcome run;
  ASSERT_TRUE(same_tables(&run));
  EXPECT_EQ(run.result, -1);
  EXPECT_EQ(engine_tables.pline_total, kMaxPlines);

  // One isoline swinging across a long strip: a row grows past 1500 points.
  clear_model();
  std::vector<float> xs(499), ys(8);
  std::iota(xs.begin(), xs.end(), 0.0f);
  std::iota(ys.begin(), ys.end(), 0.0f);
  set_grid(xs, ys, [](int i, int j) { return j - 3.0f * std::sin(0.7f * i); });
  set_levels({4.5f});
  ASSERT_TRUE(same_tables(&run));
  EXPECT_EQ(run.result, -1);

  // No levels on a large grid: the band-piece table fills up.
  clear_model();
  std::vector<float> side(230);
  std::iota(side.begin(), side.end(), 0.0f);
  set_grid(side, side, [](int i, int j) { return static_cast<float>(i + j); });
  ASSERT_TRUE(same_tables(&run));
  EXPECT_EQ(run.result, -1);
  EXPECT_EQ(engine_tables.fill_poly_count, kFillPolySlots);
}

}  // namespace
}  // namespace engine_test

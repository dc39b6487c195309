// Segment clipping against the extent, and the level colours.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "render_fixtures.h"

using namespace render_fixtures;

namespace {

struct Seg {
  float x1, y1, x2, y2;
};

// The region-code clipper step by step as it is described, without any guard
// against rounding; it notes when an end is moved onto an edge a second time,
// which only rounding can cause (and which can repeat for ever).
int literal_clip(float xmin, float ymin, float w, float h, Seg& s, bool* revisited) {
  *revisited = false;
  if (!(w > 0) || !(h > 0)) return -1;
  float right = static_cast<float>(static_cast<double>(xmin) + w);
  float top = static_cast<float>(static_cast<double>(ymin) + h);
  auto code = [&](float x, float y) {
    return (x < xmin ? 8 : 0) | (x > right ? 4 : 0) | (y < ymin ? 2 : 0) | (y > top ? 1 : 0);
  };
  bool vertical = s.x1 == s.x2;
  double m = 0, b = 0;
  if (!vertical) {
    m = (static_cast<double>(s.y2) - s.y1) / (static_cast<double>(s.x2) - s.x1);
    b = s.y1 - s.x1 * m;
  }
  int result = 0, moved = 0;
  for (int pass = 0; pass < 100; ++pass) {
    int c1 = code(s.x1, s.y1), c2 = code(s.x2, s.y2);
    if (pass == 0) result = c1 == 0 ? (c2 == 0 ? 0 : 2) : (c2 == 0 ? 1 : 3);
    if (c1 == 0 && c2 == 0) return result;
    if (c1 & c2) return 4;
    if (c2 == 0) {
      std::swap(s.x1, s.x2);
      std::swap(s.y1, s.y2);
      std::swap(c1, c2);
      moved = 0;
    }
    int edge = c2 & 8 ? 8 : c2 & 4 ? 4 : c2 & 2 ? 2 : 1;
    if (moved & edge) *revisited = true;
    moved |= edge;
    if (edge & 12) {
      s.x2 = edge == 8 ? xmin : right;
      s.y2 = static_cast<float>(s.x2 * m + b);
    } else {
      s.y2 = edge == 2 ? ymin : top;
      if (!vertical) s.x2 = static_cast<float>((s.y2 - b) / m);
    }
    if (*revisited) return -2;  // would go on hopping
  }
  return -2;
}

}  // namespace

TEST(ClipOutcode, EdgesCountAsInside) {
  struct Case {
    float x, y;
    int32_t code;
  } cases[] = {{5, 5, 0},  {0, 0, 0},  {10, 10, 0}, {-1, 5, 8}, {11, 5, 4},  {5, -1, 2},
               {5, 11, 1}, {-1, -1, 10}, {11, 11, 5}, {-1, 11, 9}, {11, -1, 6}};
  for (const Case& c : cases) EXPECT_EQ(clip_outcode(0, 0, 10, 10, c.x, c.y), c.code) << c.x << "," << c.y;
}

TEST(LineClip, ResultsAndEnds) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    const char* name;
    float w, h;
    Seg in;
    int32_t result;
    Seg out;
  } cases[] = {
      {"no width", 0, 10, {1, 1, 20, 20}, -1, {1, 1, 20, 20}},
      {"height not a number", 10, nan, {1, 1, 20, 20}, -1, {1, 1, 20, 20}},
      {"both inside", 10, 10, {1, 1, 2, 3}, 0, {1, 1, 2, 3}},
      {"on the edges", 10, 10, {0, 0, 10, 10}, 0, {0, 0, 10, 10}},
      {"second outside", 10, 10, {5, 5, 15, 5}, 2, {5, 5, 10, 5}},
      // The ends come back exchanged: drawn from the inside end outwards.
      {"first outside", 10, 10, {15, 5, 5, 5}, 1, {5, 5, 10, 5}},
      {"both outside, crossing", 10, 10, {-5, 5, 15, 5}, 3, {10, 5, 0, 5}},
      {"vertical, crossing", 10, 10, {5, -5, 5, 15}, 3, {5, 10, 5, 0}},
      {"diagonal into a corner", 10, 10, {5, 5, 15, 15}, 2, {5, 5, 10, 10}},
      {"wholly left", 10, 10, {-5, -5, -1, 20}, 4, {-5, -5, -1, 20}},
      // Passes the corner outside: rejected once the moved end shares a side.
      {"missing past a corner", 10, 10, {-5, 8, 8, 21}, 4, {-5, 8, -3, 10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Seg s = c.in;
    EXPECT_EQ(line_clip(0, 0, c.w, c.h, s.x1, s.y1, s.x2, s.y2), c.result);
    EXPECT_EQ(s.x1, c.out.x1);
    EXPECT_EQ(s.y1, c.out.y1);
    EXPECT_EQ(s.x2, c.out.x2);
    EXPECT_EQ(s.y2, c.out.y2);
  }
}

// Segments through or past the corners of awkward boxes: the clipper always
// ends with its clipped ends on the box, and agrees with the literal steps
// wherever those settle.
TEST(LineClip, EndsAndAgreesWithTheLiteralSteps) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  int compared = 0, hopping = 0;
  for (int i = 0; i < 200000; ++i) {
    // Boxes far from the origin and steep or flat segments make the
    // intercept lose digits: that is where rounding can go astray.
    auto magnitude = [&](float lo, float hi) { return std::pow(10.0f, lo + (hi - lo) * unit(rng)); };
    float xmin = (unit(rng) < 0.5f ? -1 : 1) * magnitude(0, 7), ymin = (unit(rng) < 0.5f ? -1 : 1) * magnitude(0, 7);
    float w = magnitude(-2, 3), h = magnitude(-2, 3);
    float right = static_cast<float>(static_cast<double>(xmin) + w);
    float top = static_cast<float>(static_cast<double>(ymin) + h);
    // Aim through a corner (as near as floats go), nudged by up to two units
    // in the last place.
    float cx = (i & 1) ? xmin : right, cy = (i & 2) ? ymin : top;
    float angle = unit(rng) * 6.2831853f;
    float len1 = unit(rng) * 3 * (w + h), len2 = unit(rng) * 3 * (w + h);
    const int ulps = static_cast<int>(rng() % 5) - 2;
    float ax = cx + len1 * std::cos(angle), ay = cy + len1 * std::sin(angle);
    for (int k = 0; k < std::abs(ulps); ++k) ax = std::nextafter(ax, ulps > 0 ? 1e30f : -1e30f);
    Seg s{ax, ay, cx - len2 * std::cos(angle), cy - len2 * std::sin(angle)};
    Seg lit = s;
    bool revisited = false;
    int expected = literal_clip(xmin, ymin, w, h, lit, &revisited);
    int got = line_clip(xmin, ymin, w, h, s.x1, s.y1, s.x2, s.y2);
    ASSERT_GE(got, 0);
    ASSERT_LE(got, 4);
    if (got <= 3) {
      EXPECT_EQ(clip_outcode(xmin, ymin, w, h, s.x1, s.y1), 0);
      EXPECT_EQ(clip_outcode(xmin, ymin, w, h, s.x2, s.y2), 0);
    }
    if (revisited) {
      ++hopping;
      continue;
    }
    ++compared;
    ASSERT_EQ(got, expected) << i;
    ASSERT_EQ(s.x1, lit.x1) << i;
    ASSERT_EQ(s.y1, lit.y1) << i;
    ASSERT_EQ(s.x2, lit.x2) << i;
    ASSERT_EQ(s.y2, lit.y2) << i;
  }
  // The line is computed once, in double precision, so a hop needs rounding
  // errors beyond a float's; none turned up here.
  EXPECT_GT(compared, 190000);
  EXPECT_LE(hopping, 10);
}

TEST(LevelColours, EvenlySpacedLevels) {
  struct Rgb {
    int r, g, b;
  };
  const std::vector<std::vector<Rgb>> expected = {
      {{0, 0, 255}, {255, 0, 0}},
      {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}},
      {{0, 0, 255}, {0, 255, 169}, {170, 255, 0}, {255, 0, 0}},
      {{0, 0, 255}, {0, 255, 254}, {0, 255, 0}, {255, 254, 0}, {255, 0, 0}},
      {{0, 0, 255}, {0, 204, 255}, {0, 255, 101}, {102, 255, 0}, {255, 203, 0}, {255, 0, 0}},
  };
  for (const auto& colours : expected) {
    const int n = static_cast<int>(colours.size());
    SCOPED_TRACE(n);
    set_model(0, 1, 0, 1);
    model_store.level_count = n;
    for (int k = 0; k < n; ++k) model_store.levels[k] = 10.0f * k - 5.0f;
    for (int k = 0; k < n; ++k) {
      COLORREF c = level_colour(k);
      EXPECT_EQ(GetRValue(c), colours[k].r) << k;
      EXPECT_EQ(GetGValue(c), colours[k].g) << k;
      EXPECT_EQ(GetBValue(c), colours[k].b) << k;
    }
  }
}

TEST(LevelColours, SingleLevelIsBlack) {
  set_model(0, 1, 0, 1, {{2.5f}});
  EXPECT_EQ(level_colour(0), RGB(0, 0, 0));
}

TEST(HsvToRgb, OutOfRangeInputsGiveBlack) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    float h, s, v;
    int32_t count, r, g, b;
  } cases[] = {
      {0.0f, 1, 1, 0, 255, 0, 0},      {1.0f, 1, 1, 0, 255, 0, 0},  // 360 degrees is 0
      {1.5f, 1, 1, 0, 255, 0, 0},      // a hue above 1 is taken as 1
      {0.666666f, 1, 1, 0, 0, 0, 255}, {-0.1f, 1, 1, 1, 0, 0, 0},
      {0.5f, 1.5f, -1, 2, 0, 0, 0},    {nan, nan, nan, 3, 0, 0, 0},
      {0.5f, 0, 0.5f, 0, 127, 127, 127},
  };
  for (const Case& c : cases) {
    int32_t r = -1, g = -1, b = -1;
    EXPECT_EQ(hsv_to_rgb(c.h, c.s, c.v, r, g, b), c.count) << c.h;
    EXPECT_EQ(r, c.r) << c.h;
    EXPECT_EQ(g, c.g) << c.h;
    EXPECT_EQ(b, c.b) << c.h;
  }
}

// Which pixels MoveToEx / LineTo paint: 1-pixel lines (end point left out,
// ties towards the end with the smaller major coordinate), wide strokes with
// round ends, and clipping of coordinates anywhere in int32.
#include <chrono>
#include <climits>
#include <cmath>
#include <random>
#include <set>
#include <utility>

#include "surface_fixture.h"

namespace {

using surface_test::Surface;
using Picture = std::vector<std::string>;
using Pixel = std::pair<int, int>;

struct LineCase {
  const char* name;
  int x1, y1, x2, y2;
  Picture expected;  // 8 x 6
};

class ThinLines : public Surface {};

TEST_F(ThinLines, PaintFromStartTowardsEndWithoutTheEnd) {
  const LineCase cases[] = {
      {"flat",  1, 1, 6, 1, {"........", ".#####..", "........", "........", "........", "........"}},
      {"flat backwards", 6, 1, 1, 1,
       {"........", "..#####.", "........", "........", "........", "........"}},
      {"steep", 2, 0, 2, 4, {"..#.....", "..#.....", "..#.....", "..#.....", "........", "........"}},
      {"diagonal", 0, 0, 5, 5,
       {"#.......", ".#......", "..#.....", "...#....", "....#...", "........"}},
      // Slope 1/2: at x = 1 and x = 3 the exact line runs midway between two
      // rows; the pixel nearer the left end is taken.
      {"half slope", 0, 0, 4, 2,
       {"##......", "..##....", "........", "........", "........", "........"}},
      {"half slope backwards", 4, 2, 0, 0,
       {".#......", "..##....", "....#...", "........", "........", "........"}},
      // Steep with ties: the pixel nearer the top end is taken.
      {"steep half slope up", 2, 4, 3, 0,
       {"........", "...#....", "...#....", "..#.....", "..#.....", "........"}},
      {"one step", 3, 3, 4, 3, {"........", "........", "........", "...#....", "........", "........"}},
      {"zero length", 3, 3, 3, 3, {"........", "........", "........", "........", "........", "........"}},
      // Shallow line rising to the right, clipped at the right edge.
      {"clipped", -4, 5, 12, 1,
       {"........", "........", ".......#", "...####.", "###.....", "........"}},
  };
  for (const LineCase& c : cases) {
    make(8, 6);
    line(c.x1, c.y1, c.x2, c.y2);
    EXPECT_EQ(picture(), c.expected) << c.name;
  }
}

TEST_F(ThinLines, LineToMovesTheCurrentPosition) {
  POINT previous{-1, -1};
  EXPECT_TRUE(MoveToEx(dc_, 1, 1, &previous));
  EXPECT_EQ(previous.x, 0);  // a new context starts at (0, 0)
  EXPECT_EQ(previous.y, 0);
  LineTo(dc_, 5, 1);
  LineTo(dc_, 5, 4);  // a polyline: each end point is the next start
  LineTo(dc_, 1, 4);
  EXPECT_TRUE(MoveToEx(dc_, 0, 0, &previous));
  EXPECT_EQ(previous.x, 1);
  EXPECT_EQ(previous.y, 4);
  EXPECT_EQ(picture(), (Picture{"........", ".#####..", ".....#..", ".....#..", "..####..", "........"}));
}

// The literal rule, pixel by pixel over the visible major coordinates: the
// minor coordinate is the exact one rounded to nearest, a half rounded
// towards the end with the smaller major coordinate; the end point is left out.
std::set<Pixel> literal_thin_line(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int w, int h) {
  std::set<Pixel> out;
  const bool x_major = std::llabs(x2 - x1) >= std::llabs(y2 - y1);
  if (x1 == x2 && y1 == y2) return out;
  int64_t au = x_major ? x1 : y1, av = x_major ? y1 : x1;
  int64_t bu = x_major ? x2 : y2, bv = x_major ? y2 : x2;
  if (au > bu) {
    std::swap(au, bu);
    std::swap(av, bv);
  }
  const int64_t size_u = x_major ? w : h;
  const __int128 du = bu - au, dv = bv - av;
  for (int64_t u = std::max<int64_t>(au, 0); u <= std::min<int64_t>(bu, size_u - 1); ++u) {
    const __int128 num = (u - au) * dv;
    __int128 q = num / du;
    const __int128 rem = num - q * du;
    if (2 * (rem < 0 ? -rem : rem) > du) q += num < 0 ? -1 : 1;
    const int64_t v = av + static_cast<int64_t>(q);
    const int64_t x = x_major ? u : v, y = x_major ? v : u;
    if (x == x2 && y == y2) continue;
    if (x >= 0 && x < w && y >= 0 && y < h) out.insert({static_cast<int>(x), static_cast<int>(y)});
  }
  return out;
}

std::set<Pixel> painted(HDC dc, int w, int h, COLORREF color) {
  std::set<Pixel> out;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (GetPixel(dc, x, y) == color) out.insert({x, y});
  return out;
}

// Ends near the surface, a little way off, and anywhere in int32.
int32_t random_coordinate(std::mt19937& rng, int size, int kind) {
  switch (kind) {
    case 0: return std::uniform_int_distribution<int32_t>(-3, size + 3)(rng);
    case 1: return std::uniform_int_distribution<int32_t>(-200, size + 200)(rng);
    default: return std::uniform_int_distribution<int32_t>(INT_MIN, INT_MAX)(rng);
  }
}

TEST_F(ThinLines, ClippedSteppingMatchesTheLiteralRule) {
  const int w = 37, h = 23;
  std::mt19937 rng(12345);
  for (int i = 0; i < 3000; ++i) {
    const int k1 = i % 3, k2 = (i / 3) % 3;
    const int32_t x1 = random_coordinate(rng, w, k1), y1 = random_coordinate(rng, h, k1);
    const int32_t x2 = random_coordinate(rng, w, k2), y2 = random_coordinate(rng, h, k2);
    make(w, h);
    line(x1, y1, x2, y2);
    ASSERT_EQ(painted(dc_, w, h, RGB(0, 0, 0)), literal_thin_line(x1, y1, x2, y2, w, h))
        << "(" << x1 << ", " << y1 << ") to (" << x2 << ", " << y2 << ")";
  }
}

TEST_F(ThinLines, BothDirectionsCoverTheSamePixels) {
  const int w = 40, h = 40;
  std::mt19937 rng(777);
  for (int i = 0; i < 500; ++i) {
    const int kind = i % 2;
    const int32_t x1 = random_coordinate(rng, w, kind), y1 = random_coordinate(rng, h, kind);
    const int32_t x2 = random_coordinate(rng, w, kind), y2 = random_coordinate(rng, h, kind);
    make(w, h);
    line(x1, y1, x2, y2);
    std::set<Pixel> forward = painted(dc_, w, h, RGB(0, 0, 0));
    make(w, h);
    line(x2, y2, x1, y1);
    std::set<Pixel> backward = painted(dc_, w, h, RGB(0, 0, 0));
    // Each paints its own start and leaves out the other's: without the two
    // ends, they are the same.
    forward.erase({x1, y1});
    backward.erase({x2, y2});
    ASSERT_EQ(forward, backward) << "(" << x1 << ", " << y1 << ") to (" << x2 << ", " << y2 << ")";
  }
}

class WideLines : public Surface {};

TEST_F(WideLines, StrokeIsCentredWithRoundEndsAndKeepsBothEnds) {
  const struct {
    const char* name;
    int width, x1, y1, x2, y2;
    Picture expected;
  } cases[] = {
      // Even widths lean half a pixel up and left.
      {"2 flat", 2, 2, 3, 5, 3,
       {"........", "........", ".rrrrr..", ".rrrrr..", "........", "........"}},
      {"2 steep", 2, 3, 1, 3, 4,
       {"..rr....", "..rr....", "..rr....", "..rr....", "..rr....", "........"}},
      {"3 flat", 3, 2, 2, 5, 2,
       {"........", ".rrrrrr.", ".rrrrrr.", ".rrrrrr.", "........", "........"}},
      // A point with a 3-pixel pen is a 3 x 3 disc; with 5, the disc loses its corners.
      {"3 dot", 3, 3, 2, 3, 2,
       {"........", "..rrr...", "..rrr...", "..rrr...", "........", "........"}},
      {"5 dot", 5, 3, 2, 3, 2,
       {"..rrr...", ".rrrrr..", ".rrrrr..", ".rrrrr..", "..rrr...", "........"}},
      {"2 diagonal", 2, 1, 1, 4, 4,
       {"rr......", "rrr.....", ".rrr....", "..rrr...", "...rr...", "........"}},
  };
  for (const auto& c : cases) {
    make(8, 6);
    use_pen(c.width, RGB(255, 0, 0));
    line(c.x1, c.y1, c.x2, c.y2);
    EXPECT_EQ(picture(), c.expected) << c.name;
  }
}

TEST_F(WideLines, FrameSideOfTwoPixelsCoversItsEnds) {
  // The plot's frame: a 2-pixel white pen around columns 60..539, rows 50..289.
  make(600, 500);
  use_pen(2, RGB(255, 255, 255));
  line(60, 50, 539, 50);
  line(539, 50, 539, 289);
  line(539, 289, 60, 289);
  line(60, 289, 60, 50);
  const COLORREF white = RGB(255, 255, 255);
  for (int x : {59, 60, 300, 538, 539}) {
    EXPECT_EQ(GetPixel(dc_, x, 49), white) << x;
    EXPECT_EQ(GetPixel(dc_, x, 50), white) << x;
    EXPECT_EQ(GetPixel(dc_, x, 288), white) << x;
    EXPECT_EQ(GetPixel(dc_, x, 289), white) << x;
    EXPECT_EQ(GetPixel(dc_, x, 48), surface_test::kBackground) << x;
    EXPECT_EQ(GetPixel(dc_, x, 290), surface_test::kBackground) << x;
  }
  for (int x : {61, 300, 537}) {
    EXPECT_EQ(GetPixel(dc_, x, 51), surface_test::kBackground) << x;
    EXPECT_EQ(GetPixel(dc_, x, 287), surface_test::kBackground) << x;
  }
  for (int y : {49, 50, 170, 288, 289}) {
    EXPECT_EQ(GetPixel(dc_, 59, y), white) << y;
    EXPECT_EQ(GetPixel(dc_, 539, y), white) << y;
    EXPECT_EQ(GetPixel(dc_, 58, y), surface_test::kBackground) << y;
    EXPECT_EQ(GetPixel(dc_, 540, y), surface_test::kBackground) << y;
  }
  EXPECT_EQ(GetPixel(dc_, 61, 170), surface_test::kBackground);
}

// Distance from pixel centres to the segment in long double; pixels within a
// hair of the edge may go either way.
void expect_distance_rule(HDC dc, int w, int h, int width, int32_t x1, int32_t y1, int32_t x2,
                          int32_t y2) {
  const long double shift = (width % 2) ? 0.5L : 0.0L;
  const long double px = x1 + shift, py = y1 + shift, qx = x2 + shift, qy = y2 + shift;
  const __int128 idx = int64_t{x2} - x1, idy = int64_t{y2} - y1;
  const long double len2 = static_cast<long double>(idx * idx + idy * idy);
  const long double r = width / 2.0L;
  int mismatches = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const long double cx = x + 0.5L, cy = y + 0.5L;
      long double d;
      const long double t = (cx - px) * (qx - px) + (cy - py) * (qy - py);
      if (len2 == 0 || t <= 0) {
        d = std::hypot(cx - px, cy - py);
      } else if (t >= len2) {
        d = std::hypot(cx - qx, cy - qy);
      } else {
        d = std::fabs((cx - px) * (qy - py) - (cy - py) * (qx - px)) / std::sqrt(len2);
      }
      if (std::fabs(d - r) < 1e-9L) continue;
      const bool inside = d < r;
      const bool drawn = GetPixel(dc, x, y) == RGB(255, 0, 0);
      if (inside != drawn && ++mismatches <= 3) {
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") distance " << static_cast<double>(d)
                      << " width " << width << " line (" << x1 << ", " << y1 << ") to (" << x2
                      << ", " << y2 << ")";
      }
    }
  }
}

TEST_F(WideLines, EveryPixelFollowsTheDistanceRule) {
  const int w = 31, h = 29;
  std::mt19937 rng(4242);
  for (int i = 0; i < 1500; ++i) {
    const int width = 2 + i % 6;
    const int k1 = i % 3, k2 = (i / 3) % 3;
    const int32_t x1 = random_coordinate(rng, w, k1), y1 = random_coordinate(rng, h, k1);
    const int32_t x2 = random_coordinate(rng, w, k2), y2 = random_coordinate(rng, h, k2);
    make(w, h);
    use_pen(width, RGB(255, 0, 0));
    line(x1, y1, x2, y2);
    expect_distance_rule(dc_, w, h, width, x1, y1, x2, y2);
    if (HasFailure()) return;
  }
}

TEST_F(WideLines, VeryWidePenCoversTheSurface) {
  make(20, 10);
  use_pen(100000, RGB(255, 0, 0));  // drawn 4096 wide
  line(10, 5, 11, 5);
  for (const std::string& row : picture()) EXPECT_EQ(row, std::string(20, 'r'));
}

TEST_F(ThinLines, ExtremeCoordinatesAreSafeAndCheap) {
  make(665, 585);
  const int32_t far[] = {INT_MIN, INT_MIN + 1, -1000000, 0, 300, 1000000, INT_MAX - 1, INT_MAX};
  const auto start = std::chrono::steady_clock::now();
  for (int width : {1, 2, 7}) {
    use_pen(width, RGB(255, 0, 0));
    for (int32_t a : far)
      for (int32_t b : far)
        for (int32_t c : far) {
          line(a, b, c, a);
          line(b, a, a, c);
        }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // Stepping along the full length of one such line would take seconds.
  EXPECT_LT(seconds, 2.0);
  // The diagonal from corner to corner of int32 crosses the surface.
  make(665, 585);
  use_pen(1, RGB(255, 0, 0));
  line(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
  for (int i = 0; i < 585; ++i) EXPECT_EQ(GetPixel(dc_, i, i), RGB(255, 0, 0)) << i;
}

}  // namespace

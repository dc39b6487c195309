// FillPolygons: pixel centres inside are painted, centres on an edge go to
// the polygon right of it (below a horizontal one), so tilings paint every
// pixel exactly once.
#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "surface_fixture.h"

namespace {

using surface_test::kBackground;

constexpr COLORREF kRed = RGB(255, 0, 0);

class Polygons : public surface_test::Surface {
 protected:
  void use_brush(COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    ASSERT_NE(brush, nullptr);
    SelectObject(dc_, brush);
    DeleteObject(brush);
  }

  void clear() {
    use_brush(kBackground);
    HPEN pen = CreatePen(PS_SOLID, 1, kBackground);
    HGDIOBJ old = SelectObject(dc_, pen);
    Rectangle(dc_, 0, 0, width_, height_);
    SelectObject(dc_, old);
    DeleteObject(pen);
  }

  void fill(const std::vector<POINTF>& polygon, COLORREF colour = kRed) {
    use_brush(colour);
    const int count = static_cast<int>(polygon.size());
    EXPECT_TRUE(FillPolygons(dc_, polygon.data(), &count, 1));
  }

  // Pixels that are not the background.
  std::vector<bool> painted() const {
    std::vector<bool> out;
    for (int y = 0; y < height_; ++y)
      for (int x = 0; x < width_; ++x) out.push_back(GetPixel(dc_, x, y) != kBackground);
    return out;
  }
};

// Whether (px, py) lies strictly inside or strictly outside the polygon, by
// the winding number; 0 inside, 1 outside, 2 on an edge (undecided here).
int side(const std::vector<POINTF>& poly, double px, double py) {
  int winding = 0;
  const std::size_t n = poly.size();
  for (std::size_t i = 0; i < n; ++i) {
    const double ax = poly[i].x, ay = poly[i].y;
    const double bx = poly[(i + 1) % n].x, by = poly[(i + 1) % n].y;
    const double cross = (bx - ax) * (py - ay) - (by - ay) * (px - ax);
    const bool within_x = std::min(ax, bx) <= px && px <= std::max(ax, bx);
    const bool within_y = std::min(ay, by) <= py && py <= std::max(ay, by);
    if (cross == 0 && within_x && within_y) return 2;
    if (ay <= py && by > py && cross > 0) ++winding;
    if (ay > py && by <= py && cross < 0) --winding;
  }
  return winding != 0 ? 0 : 1;
}

TEST_F(Polygons, PixelsWhoseCentreLiesInsideArePainted) {
  make(8, 6);
  // A box from (1, 1) to (4, 3): centres 1.5 .. 3.5 across, 1.5 .. 2.5 down.
  fill({{1, 1}, {4, 1}, {4, 3}, {1, 3}});
  EXPECT_EQ(picture(), (std::vector<std::string>{
                           "........",
                           ".rrr....",
                           ".rrr....",
                           "........",
                           "........",
                           "........",
                       }));
  // A triangle through pixel centres: centres on its left edge are inside,
  // those on its slanted right edge and on its bottom edge outside.
  clear();
  fill({{1.5f, 0.5f}, {6.5f, 5.5f}, {1.5f, 5.5f}});
  EXPECT_EQ(picture(), (std::vector<std::string>{
                           "........",
                           ".r......",
                           ".rr.....",
                           ".rrr....",
                           ".rrrr...",
                           "........",
                       }));
}

TEST_F(Polygons, MatchesTheCentresStrictlyInsideAndOutside) {
  make(40, 30);
  std::mt19937 rng(12);
  std::uniform_real_distribution<float> x(-5, 45), y(-5, 35);
  for (int round = 0; round < 200; ++round) {
    std::vector<POINTF> poly(3 + round % 6);
    for (POINTF& p : poly) p = {x(rng), y(rng)};
    clear();
    fill(poly);
    const std::vector<bool> got = painted();
    for (int j = 0; j < height_; ++j) {
      for (int i = 0; i < width_; ++i) {
        const int s = side(poly, i + 0.5, j + 0.5);
        if (s == 2) continue;
        ASSERT_EQ(got[j * width_ + i], s == 0) << "round " << round << ", pixel " << i << ", " << j;
      }
    }
  }
}

TEST_F(Polygons, EitherOrientationPaintsTheSamePixels) {
  make(20, 20);
  const std::vector<POINTF> ccw = {{2, 3.5f}, {17.5f, 2}, {12, 18.5f}, {3.5f, 12}};
  const std::vector<POINTF> cw(ccw.rbegin(), ccw.rend());
  fill(ccw);
  const std::vector<bool> a = painted();
  clear();
  fill(cw);
  EXPECT_EQ(painted(), a);
}

// A triangulated 36 x 28 box with vertices on pixel centres, on pixel edges
// and anywhere between; every piece painted on its own, each pixel inside
// must come out painted exactly once.
TEST_F(Polygons, PiecesSharingEdgesPaintEveryPixelOnce) {
  make(40, 32);
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> jitter(-0.45f, 0.45f);
  constexpr int kColumns = 9, kRows = 7;
  POINTF grid[kColumns + 1][kRows + 1];
  for (int i = 0; i <= kColumns; ++i) {
    for (int j = 0; j <= kRows; ++j) {
      float px = 2 + 4.0f * i, py = 2 + 4.0f * j;
      const bool border_x = i == 0 || i == kColumns, border_y = j == 0 || j == kRows;
      // Inner vertices: a third on centres, a third on pixel corners, the
      // rest jittered.
      if (!border_x && (i + j) % 3 == 1) px += 0.5f;
      if (!border_y && (i + j) % 3 == 1) py += 0.5f;
      if (!border_x && (i + j) % 3 == 2) px += jitter(rng);
      if (!border_y && (i + j) % 3 == 2) py += jitter(rng);
      grid[i][j] = {px, py};
    }
  }
  std::vector<std::vector<POINTF>> pieces;
  for (int i = 0; i < kColumns; ++i) {
    for (int j = 0; j < kRows; ++j) {
      const POINTF a = grid[i][j], b = grid[i + 1][j], c = grid[i + 1][j + 1], d = grid[i][j + 1];
      if ((i + j) % 2 == 0) {
        pieces.push_back({a, b, d});
        pieces.push_back({c, d, b});  // the shared edge walked the other way
      } else {
        pieces.push_back({a, b, c});
        pieces.push_back({a, d, c});  // clockwise on the screen
      }
    }
  }
  std::vector<int> times(static_cast<std::size_t>(width_ * height_), 0);
  for (const auto& piece : pieces) {
    clear();
    fill(piece);
    const std::vector<bool> got = painted();
    for (std::size_t k = 0; k < got.size(); ++k) times[k] += got[k];
  }
  for (int j = 0; j < height_; ++j) {
    for (int i = 0; i < width_; ++i) {
      const bool inside = i >= 2 && i < 38 && j >= 2 && j < 30;
      EXPECT_EQ(times[j * width_ + i], inside ? 1 : 0) << "pixel " << i << ", " << j;
    }
  }
}

TEST_F(Polygons, NonzeroWindingAndSeveralPolygonsInOneCall) {
  make(9, 9);
  // A star drawn in one stroke: its centre is wound twice and still painted.
  const std::vector<POINTF> star = {{4.5f, 0.2f}, {7.2f, 8.5f}, {0.2f, 3.2f}, {8.8f, 3.2f}, {1.8f, 8.5f}};
  fill(star);
  EXPECT_NE(GetPixel(dc_, 4, 4), kBackground);
  // Two squares and a polygon too short to paint, in one call.
  clear();
  use_brush(kRed);
  const POINTF points[] = {{0, 0}, {2, 0}, {2, 2}, {0, 2}, {5, 5}, {6, 6}, {7, 7}, {9, 7}, {9, 9}, {7, 9}};
  const int counts[] = {4, 2, 4};
  EXPECT_TRUE(FillPolygons(dc_, points, counts, 3));
  EXPECT_EQ(picture(), (std::vector<std::string>{
                           "rr.......",
                           "rr.......",
                           ".........",
                           ".........",
                           ".........",
                           ".........",
                           ".........",
                           ".......rr",
                           ".......rr",
                       }));
}

TEST_F(Polygons, ExtremeAndBadInputIsHarmless) {
  make(10, 8);
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  fill({{0, 0}, {inf, 0}, {5, 5}});
  fill({{0, 0}, {nan, 3}, {5, 5}});
  for (bool p : painted()) EXPECT_FALSE(p);
  // Far beyond the surface: clipped, and the surface is covered.
  fill({{-3e38f, -3e38f}, {3e38f, -1e30f}, {0, 3e38f}});
  for (bool p : painted()) EXPECT_TRUE(p);
  const int bad[] = {-1};
  const POINTF point{0, 0};
  EXPECT_FALSE(FillPolygons(dc_, &point, bad, 1));
  EXPECT_FALSE(FillPolygons(dc_, nullptr, nullptr, 1));
  EXPECT_TRUE(FillPolygons(dc_, nullptr, nullptr, 0));
  EXPECT_FALSE(FillPolygons(nullptr, &point, bad, 0));
  EXPECT_FALSE(FillPolygons(dc_, &point, bad, -1));
}

}  // namespace

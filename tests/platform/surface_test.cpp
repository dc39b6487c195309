// Surface device contexts: their life, defaults, colours, rectangles and
// pixel reads.
#include <climits>

#include "surface_fixture.h"

namespace {

using surface_test::kBackground;
using surface_test::Surface;
using Picture = std::vector<std::string>;

TEST_F(Surface, NewContextHasThePlatformDefaults) {
  // Window background everywhere.
  for (const std::string& row : picture()) EXPECT_EQ(row, "........");
  // Black text, transparent background.
  EXPECT_EQ(SetTextColor(dc_, RGB(1, 2, 3)), RGB(0, 0, 0));
  EXPECT_EQ(SetTextColor(dc_, RGB(0, 0, 0)), RGB(1, 2, 3));
  EXPECT_EQ(SetBkMode(dc_, OPAQUE), TRANSPARENT);
  EXPECT_EQ(SetBkMode(dc_, TRANSPARENT), OPAQUE);
  EXPECT_EQ(SetBkMode(dc_, 7), 0);  // not a mode
  // Black 1-pixel pen from (0, 0), white brush.
  LineTo(dc_, 3, 0);
  Rectangle(dc_, 2, 2, 6, 5);
  EXPECT_EQ(picture(), (Picture{"###.....", "........", "..####..", "..#ww#..", "..####..", "........"}));
}

TEST_F(Surface, ColoursReadBackAsDrawn) {
  const COLORREF colours[] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(1, 2, 3),
                              RGB(255, 255, 255), RGB(100, 100, 100)};
  int x = 0;
  for (COLORREF c : colours) {
    use_pen(1, c);
    line(x, 0, x, 1);
    ++x;
  }
  EXPECT_EQ(GetPixel(dc_, 0, 0), 0x000000FFu);  // red in the low byte
  for (int i = 0; i < 6; ++i) EXPECT_EQ(GetPixel(dc_, i, 0), colours[i]) << i;
  // The surface's own pixels are 0x00RRGGBB.
  int w = 0, h = 0;
  const uint32_t* bits = GetSurfaceBits(dc_, &w, &h);
  ASSERT_NE(bits, nullptr);
  EXPECT_EQ(w, 8);
  EXPECT_EQ(h, 6);
  EXPECT_EQ(bits[0], 0x00FF0000u);
  EXPECT_EQ(bits[2], 0x000000FFu);
  EXPECT_EQ(bits[3], 0x00010203u);
  EXPECT_EQ(bits[8], 0x00F0F0F0u);  // second row, untouched
  // The top byte of a colour value (palette flags) is not part of the colour.
  use_pen(1, 0x02000000u | RGB(0, 0, 255));
  line(7, 5, 7, 4);
  EXPECT_EQ(GetPixel(dc_, 7, 5), RGB(0, 0, 255));
}

TEST_F(Surface, RectangleCoversHalfOpenBoxWithCornersInAnyOrder) {
  const struct {
    const char* name;
    int l, t, r, b;
    Picture expected;
  } cases[] = {
      {"ordered", 1, 1, 5, 4, {"........", ".rrrr...", ".rbbr...", ".rrrr...", "........", "........"}},
      {"left and right swapped", 5, 1, 1, 4,
       {"........", ".rrrr...", ".rbbr...", ".rrrr...", "........", "........"}},
      {"top and bottom swapped", 1, 4, 5, 1,
       {"........", ".rrrr...", ".rbbr...", ".rrrr...", "........", "........"}},
      {"one column", 2, 0, 3, 3, {"..r.....", "..r.....", "..r.....", "........", "........", "........"}},
      {"two rows", 0, 4, 3, 6, {"........", "........", "........", "........", "rrr.....", "rrr....."}},
      {"empty width", 3, 1, 3, 5, {"........", "........", "........", "........", "........", "........"}},
      {"clipped", -3, -3, 3, 2, {"bbr.....", "rrr.....", "........", "........", "........", "........"}},
  };
  for (const auto& c : cases) {
    make(8, 6);
    use_pen(1, RGB(255, 0, 0));
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    SelectObject(dc_, blue);
    DeleteObject(blue);
    EXPECT_TRUE(Rectangle(dc_, c.l, c.t, c.r, c.b));
    EXPECT_EQ(picture(), c.expected) << c.name;
  }
}

// A new surface's background is there whatever comes first: a line, a
// rectangle over part of it, a pixel read.
TEST_F(Surface, BackgroundIsThereWhateverComesFirst) {
  for (const auto& size : {std::pair<int, int>{8, 6}, {665, 585}}) {
    make(size.first, size.second);
    LineTo(dc_, 3, 0);
    EXPECT_EQ(GetPixel(dc_, size.first - 1, size.second - 1), kBackground);
    make(size.first, size.second);
    Rectangle(dc_, 1, 1, 3, 3);
    EXPECT_EQ(GetPixel(dc_, 0, 0), kBackground);
    EXPECT_EQ(GetPixel(dc_, size.first - 1, size.second - 1), kBackground);
    make(size.first, size.second);
    EXPECT_EQ(GetPixel(dc_, size.first / 2, size.second / 2), kBackground);
  }
}

TEST_F(Surface, BackgroundRectangleCoversTheWholePicture) {
  // The plot's background: Rectangle(0, H, W, 0) with pen and brush of one colour.
  for (const auto& size : {std::pair<int, int>{8, 6}, {665, 585}, {1, 1}}) {
    make(size.first, size.second);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(100, 100, 100));
    HBRUSH brush = CreateSolidBrush(RGB(100, 100, 100));
    HGDIOBJ old_pen = SelectObject(dc_, pen);
    HGDIOBJ old_brush = SelectObject(dc_, brush);
    Rectangle(dc_, 0, size.second, size.first, 0);
    SelectObject(dc_, old_pen);
    SelectObject(dc_, old_brush);
    DeleteObject(pen);
    DeleteObject(brush);
    int w = 0, h = 0;
    const uint32_t* bits = GetSurfaceBits(dc_, &w, &h);
    int other = 0;
    for (int i = 0; i < w * h; ++i) other += bits[i] != 0x00646464u;
    EXPECT_EQ(other, 0) << size.first << " x " << size.second;
  }
}

TEST_F(Surface, RectangleWithWidePenStrokesTheRing) {
  make(10, 8);
  use_pen(3, RGB(255, 0, 0));
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  SelectObject(dc_, blue);
  DeleteObject(blue);
  Rectangle(dc_, 2, 2, 9, 7);  // ring through columns 2 and 8, rows 2 and 6
  EXPECT_EQ(picture(), (Picture{"..........", ".rrrrrrrrr", ".rrrrrrrrr", ".rrrrrrrrr", ".rrrbbbrrr",
                                ".rrrrrrrrr", ".rrrrrrrrr", ".rrrrrrrrr"}));
}

TEST_F(Surface, ExtremeRectanglesAreClipped) {
  make(6, 4);
  EXPECT_TRUE(Rectangle(dc_, INT_MIN, INT_MIN, INT_MAX, INT_MAX));
  // The outline lies outside; the inside is the white brush.
  for (const std::string& row : picture()) EXPECT_EQ(row, "wwwwww");
  EXPECT_TRUE(Rectangle(dc_, INT_MAX, INT_MAX, INT_MIN, 2));
  EXPECT_EQ(picture(), (Picture{"wwwwww", "wwwwww", "######", "wwwwww"}));
}

TEST_F(Surface, GetPixelOutsideOrOnOtherHandlesIsInvalid) {
  const struct {
    int x, y;
  } outside[] = {{-1, 0}, {0, -1}, {8, 0}, {0, 6}, {INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}};
  for (const auto& p : outside) EXPECT_EQ(GetPixel(dc_, p.x, p.y), CLR_INVALID) << p.x << ", " << p.y;
  EXPECT_EQ(GetPixel(dc_, 7, 5), kBackground);
  HPEN pen = CreatePen(PS_SOLID, 1, 0);
  EXPECT_EQ(GetPixel(reinterpret_cast<HDC>(pen), 0, 0), CLR_INVALID);
  EXPECT_EQ(GetPixel(nullptr, 0, 0), CLR_INVALID);
  int local = 0;
  EXPECT_EQ(GetPixel(reinterpret_cast<HDC>(&local), 0, 0), CLR_INVALID);
  EXPECT_EQ(GetSurfaceBits(reinterpret_cast<HDC>(pen), nullptr, nullptr), nullptr);
  DeleteObject(pen);
}

TEST(SurfaceLife, SizesOutOfRangeGiveNoContext) {
  const struct {
    int w, h;
  } refused[] = {{-1, 10}, {10, -1}, {INT_MIN, INT_MIN}, {32768, 1}, {1, 32768}, {20000, 20000},
                 {INT_MAX, INT_MAX}};
  for (const auto& s : refused) EXPECT_EQ(CreateSurfaceDC(s.w, s.h), nullptr) << s.w << " x " << s.h;
}

TEST(SurfaceLife, EmptySurfaceDrawsNothingAndSurvives) {
  for (const auto& size : {std::pair<int, int>{0, 0}, {0, 50}, {50, 0}}) {
    HDC dc = CreateSurfaceDC(size.first, size.second);
    ASSERT_NE(dc, nullptr);
    EXPECT_TRUE(MoveToEx(dc, -5, -5, nullptr));
    EXPECT_TRUE(LineTo(dc, 100, 100));
    EXPECT_TRUE(Rectangle(dc, 0, 0, 100, 100));
    EXPECT_TRUE(TextOutA(dc, 0, 0, "12.50", 5));
    EXPECT_EQ(GetPixel(dc, 0, 0), CLR_INVALID);
    int w = -1, h = -1;
    EXPECT_NE(GetSurfaceBits(dc, &w, &h), nullptr);
    EXPECT_EQ(w, size.first);
    EXPECT_EQ(h, size.second);
    EXPECT_TRUE(DeleteDC(dc));
  }
}

TEST(SurfaceLife, DeletedContextIsDeadForEveryCall) {
  HDC dc = CreateSurfaceDC(4, 4);
  ASSERT_TRUE(DeleteDC(dc));
  EXPECT_FALSE(DeleteDC(dc));
  EXPECT_FALSE(LineTo(dc, 1, 1));
  EXPECT_FALSE(MoveToEx(dc, 1, 1, nullptr));
  EXPECT_FALSE(Rectangle(dc, 0, 0, 2, 2));
  EXPECT_FALSE(TextOutA(dc, 0, 0, "a", 1));
  EXPECT_EQ(SetTextColor(dc, 0), CLR_INVALID);
  EXPECT_EQ(SetBkMode(dc, OPAQUE), 0);
  EXPECT_EQ(GetPixel(dc, 0, 0), CLR_INVALID);
  EXPECT_EQ(GetSurfaceBits(dc, nullptr, nullptr), nullptr);
  HPEN pen = CreatePen(PS_SOLID, 1, 0);
  EXPECT_EQ(SelectObject(dc, pen), nullptr);
  EXPECT_TRUE(DeleteObject(pen));
}

}  // namespace

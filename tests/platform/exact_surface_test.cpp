// Surfaces made with options: antialiased and scaled pixels through cairo,
// exact paths and groups in the SVG; and plain surfaces that take none of
// it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <regex>
#include <string>
#include <vector>

#include "platform.h"
#include "test_support.h"

namespace {

constexpr int kW = 120;
constexpr int kH = 90;

// One drawing of the table: lines of both widths at several slopes, a box
// and a filled polygon.
struct Drawing {
  const char* name;
  void (*draw)(HDC dc);
  bool smoothed;  // lines are; boxes and fills keep the surface's crisp pixels
};

void with_pen(HDC dc, int width, COLORREF colour, void (*body)(HDC)) {
  HPEN pen = CreatePen(PS_SOLID, width, colour);
  HGDIOBJ old = SelectObject(dc, pen);
  body(dc);
  SelectObject(dc, old);
  DeleteObject(pen);
}

const Drawing kDrawings[] = {
    {"thin slopes",
     [](HDC dc) {
       with_pen(dc, 1, RGB(200, 0, 0), [](HDC d) {
         for (int k = 0; k < 6; ++k) {
           MoveToEx(d, 5, 5 + 12 * k, nullptr);
           LineTo(d, 110, 10 + 15 * k);
         }
       });
     },
     true},
    {"bold steep",
     [](HDC dc) {
       with_pen(dc, 2, RGB(0, 0, 160), [](HDC d) {
         MoveToEx(d, 20, 5, nullptr);
         LineTo(d, 47, 85);
         LineTo(d, 100, 30);
       });
     },
     true},
    {"box and polygon",
     [](HDC dc) {
       HBRUSH brush = CreateSolidBrush(RGB(0, 150, 0));
       HGDIOBJ old = SelectObject(dc, brush);
       Rectangle(dc, 10, 10, 50, 40);
       const POINTF tri[] = {{60.3f, 12.7f}, {115.2f, 30.1f}, {70.9f, 80.4f}};
       const int count = 3;
       FillPolygons(dc, tri, &count, 1);
       SelectObject(dc, old);
       DeleteObject(brush);
     },
     false},
};

std::vector<uint32_t> pixels(HDC dc, int* w = nullptr, int* h = nullptr) {
  int width = 0, height = 0;
  const uint32_t* bits = GetSurfaceBits(dc, &width, &height);
  if (w != nullptr) *w = width;
  if (h != nullptr) *h = height;
  return bits == nullptr ? std::vector<uint32_t>() : std::vector<uint32_t>(bits, bits + int64_t{width} * height);
}

TEST(ExactSurface, AntialiasingChangesOnlyPixelsNearWhatWasDrawn) {
  for (const Drawing& d : kDrawings) {
    SCOPED_TRACE(d.name);
    HDC plain = CreateSurfaceDC(kW, kH);
    HDC smooth = CreateSurfaceDCWith(kW, kH, 1.0, ISOVAR_SURFACE_ANTIALIAS);
    ASSERT_NE(smooth, nullptr);
    d.draw(plain);
    d.draw(smooth);
    const std::vector<uint32_t> a = pixels(plain), b = pixels(smooth);
    ASSERT_EQ(a.size(), b.size());
    int changed = 0;
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        const uint32_t p = b[y * kW + x];
        EXPECT_EQ(p >> 24, 0u) << "the unused byte stays 0";
        if (p == a[y * kW + x]) continue;
        ++changed;
        // Some pixel within two of this one was painted on the plain surface.
        bool near = false;
        for (int dy = -2; dy <= 2 && !near; ++dy)
          for (int dx = -2; dx <= 2 && !near; ++dx) {
            const int u = x + dx, v = y + dy;
            near = u >= 0 && v >= 0 && u < kW && v < kH && a[v * kW + u] != 0x00F0F0F0u;
          }
        EXPECT_TRUE(near) << "pixel " << x << "," << y << " changed far from the drawing";
      }
    }
    if (d.smoothed) {
      EXPECT_GT(changed, 0) << "nothing was smoothed";
    } else {
      EXPECT_EQ(changed, 0) << "fills are painted by the pixels' centres, as on a plain surface";
    }
    DeleteDC(plain);
    DeleteDC(smooth);
  }
}

TEST(ExactSurface, ScaledPicturesShrinkToTheOneTimesPicture) {
  for (const Drawing& d : kDrawings) {
    SCOPED_TRACE(d.name);
    HDC one = CreateSurfaceDCWith(kW, kH, 1.0, ISOVAR_SURFACE_ANTIALIAS);
    HDC two = CreateSurfaceDCWith(kW, kH, 2.0, ISOVAR_SURFACE_ANTIALIAS);
    ASSERT_NE(two, nullptr);
    d.draw(one);
    d.draw(two);
    int w = 0, h = 0;
    const std::vector<uint32_t> a = pixels(one), b = pixels(two, &w, &h);
    ASSERT_EQ(w, 2 * kW);
    ASSERT_EQ(h, 2 * kH);
    // Each 2 x 2 block averaged, against the 1x pixel: close on the whole.
    double total = 0;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        for (int shift = 0; shift <= 16; shift += 8) {
          int sum = 0;
          for (int k = 0; k < 4; ++k) sum += (b[(2 * y + k / 2) * w + 2 * x + k % 2] >> shift) & 0xFF;
          total += std::abs(sum / 4.0 - ((a[y * kW + x] >> shift) & 0xFF));
        }
    EXPECT_LT(total / (3.0 * kW * kH), 2.0);
    DeleteDC(one);
    DeleteDC(two);
  }
}

TEST(ExactSurface, ExactPathsGoThroughTheTransformOnlyWhereTaken) {
  const POINTF path[] = {{1.0f, 2.0f},   {1.0f, 2.0f},  {3.5f, 2.25f},
                         {std::numeric_limits<float>::quiet_NaN(), 0.0f},
                         {7.0f, 1.0f},   {8.125f, 1.5f}};
  const double m[6] = {10.0, 0.0, 0.0, -4.0, 5.25, 80.0};
  struct Case {
    DWORD flags;
    double scale;
    bool records;
  };
  for (const Case& c : {Case{0, 1.0, false}, Case{ISOVAR_SURFACE_SVG, 1.0, true}, Case{ISOVAR_SURFACE_SVG, 2.0, true},
                        Case{ISOVAR_SURFACE_ANTIALIAS, 1.0, false}}) {
    HDC dc = CreateSurfaceDCWith(kW, kH, c.scale, c.flags);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(SurfaceTakesExactPaths(dc) != 0, c.flags != 0);
    const double bad[6] = {1, 0, 0, 1, std::nan(""), 0};
    EXPECT_FALSE(SetPathTransform(dc, bad));
    ASSERT_TRUE(SetPathTransform(dc, m));
    EXPECT_TRUE(BeginGroup(dc, "level-1", "data-level=\"2.5\""));
    EXPECT_FALSE(BeginGroup(dc, "no spaces", nullptr));
    EXPECT_TRUE(PolylineF(dc, path, 6));
    EXPECT_TRUE(EndGroup(dc));
    EXPECT_FALSE(PolylineF(dc, path, -1));
    const char* svg = GetSurfaceSvg(dc, nullptr);
    EXPECT_EQ(svg != nullptr, c.records);
    if (svg != nullptr) {
      const std::string doc(svg);
      std::smatch match;
      ASSERT_TRUE(std::regex_search(doc, match, std::regex("<g id=\"level-1\" data-level=\"2.5\">\\n<path [^>]* d=\"([^\"]*)\"")))
          << doc;
      // The repeated point said once; the NaN breaks the path in two.
      EXPECT_EQ(std::count(match[1].first, match[1].second, 'M'), 2);
      const std::vector<double> got = testing_support::path_numbers(match[1].str());
      const double want[] = {15.25, 72, 40.25, 71, 75.25, 76, 86.5, 74};
      ASSERT_EQ(got.size(), 8u);
      for (int k = 0; k < 8; ++k) EXPECT_NEAR(got[k], want[k], 1e-9) << k;
      EXPECT_NE(doc.find("width=\"" + std::to_string(static_cast<int>(kW * c.scale)) + "\" height=\"" +
                         std::to_string(static_cast<int>(kH * c.scale)) + "\" viewBox=\"0 0 120 90\""),
                std::string::npos);
    }
    DeleteDC(dc);
  }
}

TEST(ExactSurface, StandInPaintsThePixelsButIsNotRecorded) {
  HDC plain = CreateSurfaceDC(kW, kH);
  HDC svg = CreateSurfaceDCWith(kW, kH, 1.0, ISOVAR_SURFACE_SVG);
  HDC smooth = CreateSurfaceDCWith(kW, kH, 1.0, ISOVAR_SURFACE_ANTIALIAS);
  for (HDC dc : {plain, svg, smooth}) {
    EXPECT_FALSE(EndRasterStandIn(dc));  // none open
    BeginRasterStandIn(dc);
    kDrawings[0].draw(dc);
    EndRasterStandIn(dc);
  }
  EXPECT_EQ(pixels(svg), pixels(plain)) << "the SVG surface's pixels come from the stand-in";
  const std::vector<uint32_t> untouched = pixels(smooth);
  for (uint32_t p : untouched) ASSERT_EQ(p, 0x00F0F0F0u) << "a cairo surface paints the exact paths only";
  EXPECT_EQ(std::string(GetSurfaceSvg(svg, nullptr)).find("<path"), std::string::npos);
  for (HDC dc : {plain, svg, smooth}) DeleteDC(dc);
}

TEST(ExactSurface, GroupsBegunAgainGatherInOneElement) {
  HDC dc = CreateSurfaceDCWith(kW, kH, 1.0, ISOVAR_SURFACE_SVG);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  SelectObject(dc, red);
  for (const char* id : {"band-0", "band-1", "band-0", "key", "band-1"}) {
    BeginGroup(dc, id, nullptr);
    Rectangle(dc, 1, 1, 5, 5);
    EndGroup(dc);
  }
  Rectangle(dc, 6, 6, 9, 9);  // after the groups
  const std::string doc = GetSurfaceSvg(dc, nullptr);
  auto count = [&](const std::string& part) {
    int n = 0;
    for (std::size_t at = doc.find(part); at != std::string::npos; at = doc.find(part, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("<g "), 3) << doc;
  EXPECT_EQ(count("</g>"), 3) << doc;
  const std::size_t b0 = doc.find("<g id=\"band-0\">"), b1 = doc.find("<g id=\"band-1\">"), key = doc.find("<g id=\"key\">");
  ASSERT_NE(key, std::string::npos);
  EXPECT_LT(b0, b1);
  EXPECT_LT(b1, key);
  EXPECT_EQ(doc.find("<g id=\"band-0\">", b0 + 1), std::string::npos);
  EXPECT_LT(doc.rfind("</g>"), doc.find("x=\"6\""));
  DeleteDC(dc);
  DeleteObject(red);
}

}  // namespace

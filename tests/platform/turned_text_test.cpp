// Text turned by its font's escapement and outlined by SetTextHalo, on the
// raster and in SVG.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "surface_fixture.h"
#include "test_support.h"

namespace {

constexpr COLORREF kGrey = RGB(100, 100, 100);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr double kPi = 3.14159265358979323846;

HFONT turned_font(int height, LONG escapement) {
  LOGFONTA lf{};
  lf.lfHeight = height;
  lf.lfEscapement = escapement;
  lf.lfCharSet = SHIFTJIS_CHARSET;
  lf.lfOutPrecision = OUT_TT_PRECIS;
  lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  const std::string face = testing_support::cp932(u8"ＭＳ ゴシック");
  std::memcpy(lf.lfFaceName, face.data(), face.size());
  return CreateFontIndirectA(&lf);
}

class TurnedText : public surface_test::Surface {
 protected:
  void SetUp() override { make(240, 240); }

  // The grey picture with the text drawn at (x, y) in white.
  std::vector<COLORREF> draw(LONG escapement, int x, int y, const std::string& text, int halo = 0) {
    paint(kGrey);
    HFONT font = turned_font(16, escapement);
    HGDIOBJ old_font = SelectObject(dc_, font);
    SetTextColor(dc_, kWhite);
    EXPECT_TRUE(SetTextHalo(dc_, kBlack, halo));
    EXPECT_TRUE(TextOutA(dc_, x, y, text.data(), static_cast<int>(text.size())));
    EXPECT_TRUE(SetTextHalo(dc_, kBlack, 0));
    SelectObject(dc_, old_font);
    DeleteObject(font);
    std::vector<COLORREF> out;
    for (int py = 0; py < height_; ++py)
      for (int px = 0; px < width_; ++px) out.push_back(GetPixel(dc_, px, py));
    return out;
  }
};

}  // namespace

// The painted pixels of a long text spread along its angle (their principal
// axis), away from the point in the text's direction and to the side its
// characters' feet face; a whole turn paints exactly what none does.
TEST_F(TurnedText, PaintedPixelsLieAlongTheAngle) {
  const std::string text = "0000000000";
  const std::vector<COLORREF> plain = draw(0, 120, 120, text);
  for (LONG escapement : {0, 300, 450, 900, 1350, 1800, 2700, -450, -900}) {
    SCOPED_TRACE(escapement);
    const std::vector<COLORREF> got = draw(escapement, 120, 120, text);
    double n = 0, sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
    for (int i = 0; i < width_ * height_; ++i) {
      if (got[i] == kGrey) continue;
      const double x = i % width_ + 0.5 - 120, y = i / width_ + 0.5 - 120;
      n += 1, sx += x, sy += y, sxx += x * x, syy += y * y, sxy += x * y;
    }
    ASSERT_GT(n, 50);
    const double mx = sx / n, my = sy / n;
    const double cxx = sxx / n - mx * mx, cyy = syy / n - my * my, cxy = sxy / n - mx * my;
    // The principal axis in the eye's counter-clockwise degrees, modulo 180.
    const double axis = -0.5 * std::atan2(2 * cxy, cxx - cyy) * 180.0 / kPi;
    const double want = escapement / 10.0;
    double off = std::fmod(std::fabs(axis - want), 180.0);
    off = std::min(off, 180.0 - off);
    EXPECT_LT(off, 6.0) << "axis " << axis;
    const double a = want * kPi / 180.0;
    EXPECT_GT(mx * std::cos(a) - my * std::sin(a), 30.0) << "along the text";
    EXPECT_GT(mx * std::sin(a) + my * std::cos(a), 2.0) << "below the tops";
  }
  EXPECT_EQ(draw(3600, 120, 120, text), plain);
  EXPECT_EQ(draw(-3600, 120, 120, text), plain);
}

// An outline: no fully inked pixel touches the bare paper, the outline's
// colour shows (darkening the grey), and the plain text is exactly as before once it is off.
TEST_F(TurnedText, HaloSurroundsTheGlyphs) {
  const std::string text = "12.50";
  const std::vector<COLORREF> plain = draw(0, 60, 100, text);
  for (LONG escapement : {0, 300, 900}) {
    for (int halo : {1, 2}) {
      SCOPED_TRACE(std::to_string(escapement) + " halo " + std::to_string(halo));
      const std::vector<COLORREF> got = draw(escapement, 60, 100, text, halo);
      int black = 0, bare = 0;
      for (int y = 1; y + 1 < height_; ++y)
        for (int x = 1; x + 1 < width_; ++x) {
          if (GetRValue(got[y * width_ + x]) < 60) ++black;  // the outline over the grey
          if (got[y * width_ + x] != kWhite) continue;
          for (int d = 0; d < 4; ++d) {
            const int nx = x + (d == 0) - (d == 1), ny = y + (d == 2) - (d == 3);
            if (got[ny * width_ + nx] == kGrey) ++bare;
          }
        }
      EXPECT_GT(black, 10);
      EXPECT_EQ(bare, 0);
    }
  }
  EXPECT_EQ(draw(0, 60, 100, text), plain);
  EXPECT_FALSE(SetTextHalo(dc_, kBlack, 9));
  EXPECT_FALSE(SetTextHalo(nullptr, kBlack, 1));
}

// In SVG a turned text turns about its point and an outline is a stroke
// painted first.
TEST(TurnedTextSvg, RotationAndOutlineAttributes) {
  struct Case {
    LONG escapement;
    int halo;
    const char* has;
    const char* lacks;
  };
  const Case cases[] = {
      {0, 0, "fill=\"#ffffff\">", "rotate"},
      {300, 0, "transform=\"rotate(-30 40 50)\"", "stroke="},
      {-900, 2, "transform=\"rotate(90 40 50)\" stroke=\"#000000\" stroke-width=\"4\"", "?"},
      {0, 1, "stroke-width=\"2\" stroke-linejoin=\"round\" paint-order=\"stroke\"", "rotate"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.escapement);
    HDC dc = CreateSvgSurfaceDC(100, 100);
    ASSERT_NE(dc, nullptr);
    HFONT font = turned_font(10, c.escapement);
    SelectObject(dc, font);
    SetTextColor(dc, kWhite);
    SetTextHalo(dc, kBlack, c.halo);
    TextOutA(dc, 40, 50, "3.5", 3);
    const std::string svg = GetSurfaceSvg(dc, nullptr);
    if (svg.find("<text") != std::string::npos) {  // a font is installed
      EXPECT_NE(svg.find(c.has), std::string::npos) << svg;
      const std::size_t text_at = svg.find("<text");
      EXPECT_EQ(svg.find(c.lacks, text_at), std::string::npos) << svg;
    }
    DeleteDC(dc);
    DeleteObject(font);
  }
}

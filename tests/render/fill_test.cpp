// Filled bands: their colours, the pixels of each band, undefined areas,
// the DL_BANDS records, and everything left as it was with the fill off.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "IsovarLib.h"
#include "render_fixtures.h"
#include "test_support.h"

using namespace render_fixtures;
using testing_support::write_file;

namespace {

constexpr int kWidth = 600;
constexpr int kHeight = 500;
constexpr COLORREF kGrey = kBackgroundColour;

// A grid over x 0..nx-1, y 0..ny-1 with value(i, j) (0-based), unlabelled
// levels; "skip" leaves a point out.
template <class F>
std::string grid_file(int nx, int ny, F value, const std::vector<float>& levels, int skip_i = -1, int skip_j = -1) {
  std::string s = "*model differencial\n*x\n";
  for (int i = 0; i < nx; ++i) s += std::to_string(i) + "\n";
  s += "*end\n*y\n";
  for (int j = 0; j < ny; ++j) s += std::to_string(j) + "\n";
  s += "*end\n*value\n";
  for (int i = 0; i < nx; ++i)
    for (int j = 0; j < ny; ++j)
      if (i != skip_i || j != skip_j) s += std::to_string(i + 1) + " " + std::to_string(j + 1) + " " + std::to_string(value(i, j)) + "\n";
  s += "*end\n*isovar\n";
  for (float l : levels) s += std::to_string(l) + " default no\n";
  return s + "*end\n";
}

struct Plot {
  std::string display_list;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB
  COLORREF at(int x, int y) const {
    const uint32_t p = pixels[static_cast<size_t>(y) * kWidth + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
  }
};

class Fill : public ::testing::Test {
 protected:
  void SetUp() override { dc_ = CreateSurfaceDC(kWidth, kHeight); }
  void TearDown() override {
    setFillBands(0);
    setLargeModels(0);
    DeleteDC(dc_);
  }

  void read(const std::string& text) {
    write_file("model.iso", text);
    char err[ISOVAR_ERRMSG_SIZE] = {};
    ASSERT_EQ(readData("model.iso", err), 0) << testing_support::utf8(err);
  }

  Plot plot(bool fill) {
    setFillBands(fill ? 1 : 0);
    char err[ISOVAR_ERRMSG_SIZE] = {};
    EXPECT_EQ(isovarMain(err, dc_, "prtInfo.tmp", kWidth, kHeight), 0);
    Plot p;
    p.display_list = testing_support::read_file("prtInfo.tmp");
    const uint32_t* bits = GetSurfaceBits(dc_, nullptr, nullptr);
    p.pixels.assign(bits, bits + kWidth * kHeight);
    return p;
  }

  HDC dc_ = nullptr;
};

// Hue (0 to 1) and saturation of a colour.
struct Hsv {
  double hue, saturation;
};
Hsv hsv(COLORREF c) {
  const double r = GetRValue(c) / 255.0, g = GetGValue(c) / 255.0, b = GetBValue(c) / 255.0;
  const double max = std::max({r, g, b}), min = std::min({r, g, b}), d = max - min;
  double h = 0;
  if (d > 0) {
    if (max == r) h = std::fmod((g - b) / d + 6, 6);
    else if (max == g) h = (b - r) / d + 2;
    else h = (r - g) / d + 4;
  }
  return {h / 6, max > 0 ? d / max : 0};
}

// The DL_BANDS records of a display list: colour and polygons in pixels;
// *rest gets the bytes after them.
struct BandPolygon {
  COLORREF colour;
  std::vector<std::pair<double, double>> corners;
};
std::vector<BandPolygon> band_records(const std::string& bytes, std::string* rest) {
  std::vector<BandPolygon> out;
  std::size_t at = 0;
  while (at + 12 <= bytes.size() && le32(bytes, at) == DL_BANDS) {
    const COLORREF colour = static_cast<COLORREF>(le32(bytes, at + 4));
    const int32_t m = le32(bytes, at + 8);
    at += 12;
    for (int32_t i = 0; i < m; ++i) {
      BandPolygon p{colour, {}};
      const int32_t n = le32(bytes, at);
      for (int32_t k = 0; k < n; ++k)
        p.corners.emplace_back(le32(bytes, at + 4 + 8 * k) / 16.0, le32(bytes, at + 8 + 8 * k) / 16.0);
      at += 4 + 8 * static_cast<std::size_t>(n);
      out.push_back(p);
    }
  }
  *rest = bytes.substr(at);
  return out;
}

double area(const BandPolygon& p) {
  double a = 0;
  for (std::size_t k = 0; k < p.corners.size(); ++k) {
    const auto& u = p.corners[k];
    const auto& v = p.corners[(k + 1) % p.corners.size()];
    a += u.first * v.second - v.first * u.second;
  }
  return std::fabs(a) / 2;
}

}  // namespace

TEST(BandColours, LieBetweenTheirLevelsHuesAndAreLighter) {
  set_model(0, 1, 0, 1, {{0}, {10}, {25}, {30}, {70}});
  const int n = model_store.level_count;
  for (int b = 0; b <= n; ++b) {
    const Hsv band = hsv(band_colour(b));
    const Hsv below = hsv(level_colour(std::max(b - 1, 0)));
    const Hsv above = hsv(level_colour(std::min(b, n - 1)));
    // Hues run from blue (2/3) at the lowest level down to red (0).
    EXPECT_LE(band.hue, below.hue + 0.01) << "band " << b;
    EXPECT_GE(band.hue, above.hue - 0.01) << "band " << b;
    if (b > 0 && b < n) {
      EXPECT_NEAR(band.hue, (below.hue + above.hue) / 2, 0.02) << "band " << b;
    }
    EXPECT_LT(band.saturation, 0.5) << "band " << b;
    EXPECT_NEAR(below.saturation, 1.0, 1e-9);
    // Lighter: every channel at least the lines' on either side.
    for (COLORREF line : {level_colour(std::max(b - 1, 0)), level_colour(std::min(b, n - 1))}) {
      const COLORREF c = band_colour(b);
      EXPECT_GE(GetRValue(c) + GetGValue(c) + GetBValue(c), GetRValue(line) + GetGValue(line) + GetBValue(line));
    }
  }
  // A single level has no hue of its own (its line is black): blue below
  // it, red above, both light.
  set_model(0, 1, 0, 1, {{5}});
  EXPECT_NEAR(hsv(band_colour(0)).hue, 2.0 / 3, 0.01);
  EXPECT_NEAR(hsv(band_colour(1)).hue, 0.0, 0.01);
  EXPECT_LT(hsv(band_colour(1)).saturation, 0.5);
}

TEST_F(Fill, EachPixelShowsTheBandOfItsValue) {
  // v = x on 0..10: levels at 2.5, 5 and 7.5 make four upright bands.
  read(grid_file(11, 3, [](int i, int) { return static_cast<float>(i); }, {2.5f, 5, 7.5f}));
  const Plot p = plot(true);
  // The frame spans pixels 60 .. 540 across (10 units), 50 .. 146 down.
  int checked = 0;
  for (int y = 55; y < 140; ++y) {
    for (int x = 62; x < 538; ++x) {
      const double v = (x + 0.5 - 60) / 48.0;
      if (std::fabs(v - 2.5) < 0.06 || std::fabs(v - 5) < 0.06 || std::fabs(v - 7.5) < 0.06) continue;  // lines
      const int band = (v >= 2.5) + (v >= 5) + (v >= 7.5);
      ASSERT_EQ(p.at(x, y), band_colour(band)) << "pixel " << x << ", " << y;
      ++checked;
    }
  }
  EXPECT_GT(checked, 15000);
  // Outside the frame: the background.
  EXPECT_EQ(p.at(30, 70), kGrey);
  EXPECT_EQ(p.at(300, 200), kGrey);
}

TEST_F(Fill, UndefinedCellsKeepTheBackground) {
  // Point (5, 1) left out: the four cells around it have no values.
  read(grid_file(11, 3, [](int i, int j) { return static_cast<float>(i + j); }, {4, 8}, 5, 1));
  const Plot p = plot(true);
  // Model (5, 1) is pixel (300, 98); the cells reach 48 pixels each way.
  EXPECT_EQ(p.at(300, 98), kGrey);
  EXPECT_EQ(p.at(260, 60), kGrey);
  EXPECT_EQ(p.at(340, 135), kGrey);
  EXPECT_NE(p.at(200, 98), kGrey);
  EXPECT_NE(p.at(400, 98), kGrey);
}

TEST_F(Fill, FillOffLeavesDisplayListAndPictureAsTheyWere) {
  read(grid_file(9, 7, [](int i, int j) { return static_cast<float>((i - 4) * (i - 4) + (j - 3) * (j - 3)); },
                 {1.5f, 4, 9, 16}));
  const Plot before = plot(false);
  const Plot filled = plot(true);
  const Plot after = plot(false);
  EXPECT_EQ(after.display_list, before.display_list);
  EXPECT_EQ(after.pixels, before.pixels);
  // With the fill, the band records come first and the rest is as without.
  std::string rest;
  const std::vector<BandPolygon> polygons = band_records(filled.display_list, &rest);
  EXPECT_FALSE(polygons.empty());
  EXPECT_EQ(rest, before.display_list);
  EXPECT_NE(filled.pixels, before.pixels);
  EXPECT_EQ(band_records(before.display_list, &rest).size(), 0u);
}

TEST_F(Fill, BandRecordsTileTheFrameInBandColours) {
  read(grid_file(9, 7, [](int i, int j) { return static_cast<float>(3 * i - j * j); }, {-10, 0, 5, 12}));
  const Plot p = plot(true);
  std::string rest;
  const std::vector<BandPolygon> polygons = band_records(p.display_list, &rest);
  std::vector<COLORREF> colours;
  for (int b = 0; b <= 4; ++b) colours.push_back(band_colour(b));
  double total = 0;
  for (const BandPolygon& poly : polygons) {
    EXPECT_NE(std::find(colours.begin(), colours.end(), poly.colour), colours.end());
    EXPECT_GE(poly.corners.size(), 3u);
    for (const auto& c : poly.corners) {
      EXPECT_GE(c.first, 60 - 1e-9);
      EXPECT_LE(c.first, 540 + 1e-9);
    }
    total += area(poly);
  }
  // The frame, as the layout makes it.
  const double frame = (kWidth * (layout_state.area_right - layout_state.area_left)) *
                       (kHeight * (layout_state.area_bottom - layout_state.area_top));
  EXPECT_NEAR(total, frame, frame * 1e-4);
}

TEST_F(Fill, LargeModeFillsAlike) {
  const std::string model =
      grid_file(12, 9, [](int i, int j) { return static_cast<float>(std::sin(i * 0.7) * 10 + j); }, {-5, 0, 5, 10});
  read(model);
  const Plot normal = plot(true);
  setLargeModels(1);
  read(model);
  const Plot large = plot(true);
  EXPECT_EQ(large.display_list, normal.display_list);
  EXPECT_EQ(large.pixels, normal.pixels);
}

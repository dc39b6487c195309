// Picture styles: the axes' tick steps, the colour maps, and the key and
// axes drawn outside the frame and inside the picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "IsovarLib.h"
#include "render_fixtures.h"
#include "test_support.h"

using namespace render_fixtures;
using testing_support::write_file;

namespace {

struct TickCase {
  double lo, hi;
  double step;
  int32_t count;
  const char* first;  // the first and last values as written
  const char* last;
};

const TickCase kTicks[] = {
    {0, 10, 2, 6, "0", "10"},
    {10, 0, 2, 6, "0", "10"},  // ends in either order
    {0, 1, 0.2, 6, "0.0", "1.0"},
    {-5, 5, 2, 5, "-4", "4"},
    {0, 7, 1, 8, "0", "7"},
    {0, 17, 2.5, 7, "0.0", "15.0"},  // only 2.5 gives 5 to 8
    {-350, -120, 50, 5, "-350", "-150"},
    {0, 0.25, 0.05, 6, "0.00", "0.25"},
    {0.3, 0.7, 0.1, 5, "0.3", "0.7"},  // ends that are multiples but for rounding
    {100000, 200000, 20000, 6, "100000", "200000"},
    {1e-9, 5e-9, 1e-9, 5, "1e-09", "5e-09"},
    {0, 3e38, 5e37, 7, "0.0e+00", "3.0e+38"},
    {-2e7, 2e7, 1e7, 5, "-20000000", "20000000"},  // a UTM northing's size stays plain
    {-2e8, 2e8, 1e8, 5, "-2e+08", "2e+08"},
    {5, 5, 1, 1, "5", "5"},  // a single value: one tick, its own digits
    {0.05, 0.05, 0.01, 1, "0.05", "0.05"},
    {0, 0, 1, 1, "0", "0"},
};

std::string written(double v, const Ticks& t) {
  char text[64];
  const std::size_t n = format_tick(v, t, text, sizeof text);
  return std::string(text, n);
}

}  // namespace

TEST(Ticks, RoundStepsForATableOfRanges) {
  for (const TickCase& c : kTicks) {
    SCOPED_TRACE(std::to_string(c.lo) + " .. " + std::to_string(c.hi));
    const Ticks t = choose_ticks(c.lo, c.hi, 5, 8);
    EXPECT_DOUBLE_EQ(t.step, c.step);
    EXPECT_EQ(t.count, c.count);
    EXPECT_EQ(written(t.first, t), c.first);
    EXPECT_EQ(written(t.first + (t.count - 1) * t.step, t), c.last);
    // Every tick lies within the range (up to the steps' rounding).
    const double lo = std::fmin(c.lo, c.hi), hi = std::fmax(c.lo, c.hi);
    for (int32_t i = 0; i < t.count; ++i) {
      const double v = t.first + i * t.step;
      EXPECT_GE(v, lo - 1e-9 * t.step);
      EXPECT_LE(v, hi + 1e-9 * t.step);
    }
  }
  EXPECT_EQ(choose_ticks(0, std::numeric_limits<double>::quiet_NaN(), 5, 8).count, 0);
  EXPECT_EQ(choose_ticks(-INFINITY, 1, 5, 8).count, 0);
  // A value zero but for rounding is written as zero, never "-0.0".
  const Ticks t = choose_ticks(-1, 1, 5, 8);
  EXPECT_EQ(written(-1e-17, t), "0.0");
}

// Sparser ticks where values need room: the least round step of at least so
// much, fewer decimals with it; none without room at all.
TEST(Ticks, SparserStepsWhereValuesNeedRoom) {
  struct Case {
    double lo, hi, least, step;
    int32_t count;
    const char* first;
  } const cases[] = {
      {0, 1, 0.3, 0.5, 3, "0.0"},    {0, 1, 0.5, 0.5, 3, "0.0"},     {0, 10, 2.1, 2.5, 5, "0.0"},
      {-3e38, 3e38, 1.2e38, 2e38, 3, "-2e+38"},  // the steps a fixed count cannot reach
      {0, 1, 3, 5, 1, "0"},  // wider than the range: the multiples within it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.least));
    const Ticks t = ticks_at_least(c.lo, c.hi, c.least);
    EXPECT_DOUBLE_EQ(t.step, c.step);
    EXPECT_EQ(t.count, c.count);
    EXPECT_EQ(written(t.first, t), c.first);
  }
  EXPECT_EQ(ticks_at_least(0, 1, 0).count, 0);
  EXPECT_EQ(ticks_at_least(0, 1, INFINITY).count, 0);
  EXPECT_EQ(ticks_at_least(0, 1, -1).count, 0);
}

TEST(ColourMaps, NamesLevelsAndBands) {
  for (int32_t m = 0; m < kMapCount; ++m) EXPECT_EQ(isovarColormapNamed(colour_map_name(m)), m);
  EXPECT_EQ(isovarColormapNamed("jet"), -1);
  EXPECT_EQ(isovarColormapNamed(nullptr), -1);

  set_model(0, 10, 0, 10, {{-4}, {-2}, {0}, {2}, {4}, {6}});
  auto luminance = [](COLORREF c) { return 0.2126 * GetRValue(c) + 0.7152 * GetGValue(c) + 0.0722 * GetBValue(c); };
  // The sequential maps grow lighter from the lowest level to the highest,
  // lines and bands alike; the classic style is the classic colours.
  for (int32_t map : {kMapViridis, kMapCividis, kMapMagma, kMapGrey}) {
    SCOPED_TRACE(colour_map_name(map));
    const PictureStyle style{kKeyNone, 0, map, 0.0, 0, 0, 0, 0, 0};
    for (int32_t k = 1; k < model_store.level_count; ++k)
      EXPECT_GT(luminance(level_colour(model_store, k, style)), luminance(level_colour(model_store, k - 1, style)));
    for (int32_t b = 1; b <= model_store.level_count; ++b)
      EXPECT_GT(luminance(band_colour(model_store, b, style)), luminance(band_colour(model_store, b - 1, style)));
  }
  const PictureStyle classic{kKeyNone, 0, kMapClassic, 0.0, 0, 0, 0, 0, 0};
  for (int32_t k = 0; k < model_store.level_count; ++k) {
    EXPECT_EQ(level_colour(model_store, k, classic), level_colour(k));
    EXPECT_EQ(band_colour(model_store, k, classic), band_colour(k));
  }
  // Balance: the centre is the neutral middle, equal distances either side
  // equally strong, the farthest level at the map's end.
  const PictureStyle balance{kKeyNone, 0, kMapBalance, 0.0, 0, 0, 0, 0, 0};
  EXPECT_EQ(level_colour(model_store, 2, balance), RGB(0xF7, 0xF7, 0xF7));
  EXPECT_EQ(level_colour(model_store, 5, balance), RGB(0x67, 0x00, 0x1F));
  const COLORREF below = level_colour(model_store, 0, balance), above = level_colour(model_store, 4, balance);
  EXPECT_GT(GetBValue(below), GetRValue(below));
  EXPECT_GT(GetRValue(above), GetBValue(above));
  EXPECT_NEAR(luminance(below), luminance(above), 40.0);
}

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// A grid over x x0 .. x0 + (nx - 1) * dx, y 0 .. ny - 1 of a tilted plane,
// its levels unlabelled (every text in the picture is then the key's or the
// axes'), every third bold.
std::string plane_file(int nx, int ny, double x0, double dx, int levels, int display_mode, bool labelled = false) {
  std::string s = display_mode == 2 ? "*model differencial\n*display full\n*x\n" : "*model differencial\n*x\n";
  for (int i = 0; i < nx; ++i) s += std::to_string(x0 + i * dx) + "\n";
  s += "*end\n*y\n";
  for (int j = 0; j < ny; ++j) s += std::to_string(j) + "\n";
  s += "*end\n*value\n";
  for (int i = 0; i < nx; ++i)
    for (int j = 0; j < ny; ++j)
      s += std::to_string(i + 1) + " " + std::to_string(j + 1) + " " + std::to_string(i * 2.0 + j) + "\n";
  s += "*end\n*isovar\n";
  const std::string label = labelled ? "\n" : " no\n";
  for (int k = 0; k < levels; ++k) s += std::to_string(1.5 + k * 2.0) + (k % 3 == 0 ? " bold" : " default") + label;
  return s + "*end\n";
}

struct Box {
  int32_t left, top, right, bottom;  // inclusive
  bool overlaps(const Box& o) const { return left <= o.right && o.left <= right && top <= o.bottom && o.top <= bottom; }
  bool inside(int32_t w, int32_t h) const { return left >= 0 && top >= 0 && right < w && bottom < h; }
};

class Styled : public ::testing::Test {
 protected:
  void SetUp() override { dc_ = CreateSurfaceDC(kWidth, kHeight); }
  void TearDown() override {
    setPictureStyle(nullptr);
    setFillBands(0);
    DeleteDC(dc_);
  }
  std::string plot(const std::string& model, const IsovarPictureStyle* style, bool fill) {
    write_file("model.iso", model);
    char err[ISOVAR_ERRMSG_SIZE] = {};
    EXPECT_EQ(readData("model.iso", err), 0) << testing_support::utf8(err);
    EXPECT_EQ(setPictureStyle(style), 0);
    setFillBands(fill ? 1 : 0);
    EXPECT_EQ(isovarMain(err, dc_, "prtInfo.tmp", kWidth, kHeight), 0);
    return testing_support::read_file("prtInfo.tmp");
  }
  HDC dc_ = nullptr;
};

// The display list after its band records (returned as polygons' boxes).
std::string after_bands(const std::string& bytes, std::vector<std::pair<COLORREF, Box>>* polygons) {
  std::size_t at = 0;
  while (at + 12 <= bytes.size() && le32(bytes, at) == DL_BANDS) {
    const COLORREF colour = static_cast<COLORREF>(le32(bytes, at + 4));
    const int32_t m = le32(bytes, at + 8);
    at += 12;
    for (int32_t i = 0; i < m; ++i) {
      const int32_t n = le32(bytes, at);
      Box b{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
      for (int32_t k = 0; k < n; ++k) {
        const int32_t x = le32(bytes, at + 4 + 8 * k) / kDlBandSubpixels;
        const int32_t y = le32(bytes, at + 8 + 8 * k) / kDlBandSubpixels;
        b = Box{std::min(b.left, x), std::min(b.top, y), std::max(b.right, x), std::max(b.bottom, y)};
      }
      polygons->push_back({colour, b});
      at += 4 + 8 * static_cast<std::size_t>(n);
    }
  }
  return bytes.substr(at);
}

}  // namespace

// Key and axes, right and below, filled or not, to scale and filling the
// picture: every one of their records lies in the picture and off the
// frame, one value per level, the ticks' values round and ascending.
TEST_F(Styled, KeyAndAxesLieInThePictureOffTheFrame) {
  struct Case {
    const char* name;
    std::string model;
    int32_t key;
    bool fill;
  };
  const Case cases[] = {
      {"wide, key right", plane_file(21, 6, 0, 0.5, 7, 1), ISOVAR_KEY_RIGHT, false},
      {"wide, key right, filled", plane_file(21, 6, 0, 0.5, 7, 1), ISOVAR_KEY_RIGHT, true},
      {"tall, key below, filled", plane_file(6, 30, -300, 20, 12, 1), ISOVAR_KEY_BELOW, true},
      {"full picture, key below", plane_file(10, 10, 1000, 100, 40, 2), ISOVAR_KEY_BELOW, false},
      {"many levels, key right, filled", plane_file(30, 30, 0, 1, 49, 1), ISOVAR_KEY_RIGHT, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const IsovarPictureStyle style{c.key, 1, ISOVAR_COLORMAP_VIRIDIS, 0.0, 0, 0, 0, 0, 0};
    const std::string bytes = plot(c.model, &style, c.fill);
    const double W = kWidth, H = kHeight;  // the frame's edges in double precision, as drawn
    const Box frame{trunc_to_int(W * layout_state.area_left), trunc_to_int(H * layout_state.area_top),
                    trunc_to_int(W * layout_state.area_right), trunc_to_int(H * layout_state.area_bottom)};
    // The frame's two-pixel line reaches a pixel beyond its edges.
    const Box framed{frame.left - 1, frame.top - 1, frame.right, frame.bottom};
    const int32_t levels = model_store.level_count;

    std::vector<std::pair<COLORREF, Box>> swatches;
    const std::vector<Record> records = decode(after_bands(bytes, &swatches));
    // With filled bands the key's swatches are the band records outside the
    // frame: one per band, in the band's colour, under it in the picture.
    int32_t swatch_count = 0;
    for (const auto& [colour, box] : swatches) {
      if (!(box.right < frame.left || box.left > frame.right || box.bottom < frame.top || box.top > frame.bottom))
        continue;
      EXPECT_TRUE(box.inside(kWidth, kHeight));
      EXPECT_EQ(GetPixel(dc_, (box.left + box.right) / 2, (box.top + box.bottom) / 2), colour);
      ++swatch_count;
    }
    EXPECT_EQ(swatch_count, c.fill ? levels + 1 : 0);

    int32_t values = 0, marks = 0;
    std::vector<Box> texts;
    for (const Record& r : records) {
      ASSERT_NE(r.tag, 0);
      if (r.tag == DL_LABEL) {
        const Box b{r.numbers[0], r.numbers[1], r.numbers[0] + text_width(r.text.size(), r.numbers[2]) - 1,
                    r.numbers[1] + r.numbers[2] - 1};
        EXPECT_TRUE(b.inside(kWidth, kHeight)) << r.text << " at " << b.left << ", " << b.top;
        EXPECT_FALSE(b.overlaps(framed)) << r.text << " at " << b.left << ", " << b.top;
        for (const Box& other : texts) EXPECT_FALSE(b.overlaps(other)) << r.text << " at " << b.left << ", " << b.top;
        texts.push_back(b);
        ++values;
      } else if (r.tag == DL_LINE) {
        const Box b{std::min(r.numbers[1], r.numbers[3]), std::min(r.numbers[2], r.numbers[4]),
                    std::max(r.numbers[1], r.numbers[3]), std::max(r.numbers[2], r.numbers[4])};
        if (b.overlaps(framed)) continue;  // the frame and the isolines
        EXPECT_TRUE(b.inside(kWidth, kHeight));
        ++marks;
      }
    }
    // The key's values (one per level, or every few when too many to
    // stagger) and at least five ticks with values per axis; without
    // filled bands the line samples besides.
    EXPECT_GE(values, (levels > 40 ? levels / 2 : levels) + 10);
    EXPECT_GE(marks, 10 + (c.fill ? 0 : levels));
  }
}

// Without a key and axes a colour map changes colours only: the layout and
// the display list of the lines and labels stay the plain picture's.
TEST_F(Styled, ColourMapAloneKeepsTheDisplayList) {
  const std::string model = plane_file(21, 6, 0, 0.5, 7, 1);
  const std::string plain = plot(model, nullptr, false);
  const IsovarPictureStyle grey{ISOVAR_KEY_NONE, 0, ISOVAR_COLORMAP_GREY, 0.0, 0, 0, 0, 0, 0};
  EXPECT_EQ(plot(model, &grey, false), plain);
  const IsovarPictureStyle zero{};
  EXPECT_EQ(plot(model, &zero, false), plain);
}

TEST(PictureStyle, RefusedStylesLeaveTheSettingAsItWas) {
  const IsovarPictureStyle good{ISOVAR_KEY_BELOW, 1, ISOVAR_COLORMAP_BALANCE, 2.5, 0, 0, 0, 0, 0};
  ASSERT_EQ(setPictureStyle(&good), 0);
  const IsovarPictureStyle bad[] = {{3, 0, 0, 0.0, 0, 0, 0, 0, 0},
                                    {-1, 0, 0, 0.0, 0, 0, 0, 0, 0},
                                    {0, 0, 6, 0.0, 0, 0, 0, 0, 0},
                                    {0, 0, -1, 0.0, 0, 0, 0, 0, 0},
                                    {0, 0, ISOVAR_COLORMAP_BALANCE, std::numeric_limits<double>::quiet_NaN(), 0, 0, 0, 0, 0},
                                    {0, 0, ISOVAR_COLORMAP_BALANCE, INFINITY, 0, 0, 0, 0, 0},
                                    {0, 0, 0, 0.0, 3, 0, 0, 0, 0},
                                    {0, 0, 0, 0.0, -1, 0, 0, 0, 0},
                                    {0, 0, 0, 0.0, 1, -5, 0, 0, 0},
                                    {0, 0, 0, 0.0, 1, 100001, 0, 0, 0},
                                    {0, 0, 0, 0.0, 0, 0, -2, 0, 0}};
  for (const IsovarPictureStyle& s : bad) EXPECT_EQ(setPictureStyle(&s), -1);
  EXPECT_EQ(default_run.style.key, kKeyBelow);
  EXPECT_EQ(default_run.style.colour_map, kMapBalance);
  EXPECT_EQ(default_run.style.centre, 2.5);
  EXPECT_EQ(isovarRunSetStyle(nullptr, &good), -1);
  ASSERT_EQ(setPictureStyle(nullptr), 0);
  EXPECT_EQ(default_run.style.key, kKeyNone);
}

// The labels of lines that end on the frame go inside it when the key and
// the axes take the room outside: none touches their texts.
TEST_F(Styled, LineLabelsStayOffTheKeyAndAxes) {
  for (int32_t key : {ISOVAR_KEY_RIGHT, ISOVAR_KEY_BELOW}) {
    const IsovarPictureStyle style{key, 1, ISOVAR_COLORMAP_CLASSIC, 0.0, 0, 0, 0, 0, 0};
    const std::string bytes = plot(plane_file(21, 12, 0, 0.5, 9, 1, true), &style, false);
    const double W = kWidth, H = kHeight;
    const Box frame{trunc_to_int(W * layout_state.area_left), trunc_to_int(H * layout_state.area_top),
                    trunc_to_int(W * layout_state.area_right), trunc_to_int(H * layout_state.area_bottom)};
    std::vector<Box> inside, outside;
    for (const Record& r : decode(bytes)) {
      if (r.tag != DL_LABEL) continue;
      const Box b{r.numbers[0], r.numbers[1], r.numbers[0] + text_width(r.text.size(), r.numbers[2]) - 1,
                  r.numbers[1] + r.numbers[2] - 1};
      (b.overlaps(frame) ? inside : outside).push_back(b);
    }
    EXPECT_GE(inside.size(), 3u);  // the lines' labels
    for (const Box& b : inside) {
      EXPECT_TRUE(b.left >= frame.left && b.right <= frame.right && b.top >= frame.top && b.bottom <= frame.bottom)
          << b.left << ", " << b.top;
      for (const Box& o : outside) EXPECT_FALSE(b.overlaps(o)) << b.left << ", " << b.top;
    }
  }
}

// A run object's style is its own: the default run's pictures stay plain.
TEST_F(Styled, RunObjectsKeepTheirOwnStyle) {
  const std::string model = plane_file(21, 6, 0, 0.5, 7, 1);
  const std::string plain = plot(model, nullptr, false);
  IsovarModel* m = isovarModelNew();
  IsovarRun* run = isovarRunNew();
  char err[ISOVAR_ERRMSG_SIZE] = {};
  ASSERT_EQ(isovarModelRead(m, "model.iso", 0, err), 0) << testing_support::utf8(err);
  const IsovarPictureStyle style{ISOVAR_KEY_BELOW, 1, ISOVAR_COLORMAP_CIVIDIS, 0.0, 0, 0, 0, 0, 0};
  ASSERT_EQ(isovarRunSetStyle(run, &style), 0);
  ASSERT_EQ(isovarRunDraw(run, m, dc_, kWidth, kHeight, "run.dl", err), 0) << testing_support::utf8(err);
  int32_t texts = 0;
  for (const Record& r : decode(testing_support::read_file("run.dl"))) texts += r.tag == DL_LABEL;
  EXPECT_GE(texts, 7 + 10);  // the key's values and the axes'
  // The default run, drawn again, is as before.
  char err2[ISOVAR_ERRMSG_SIZE] = {};
  ASSERT_EQ(isovarMain(err2, dc_, "prtInfo.tmp", kWidth, kHeight), 0);
  EXPECT_EQ(testing_support::read_file("prtInfo.tmp"), plain);
  isovarRunFree(run);
  isovarModelFree(m);
}

// Extents without a sensible scale, with a key and axes: the plot is drawn
// or left out as without them, and what is drawn stays in the picture.
TEST(StyledLayout, ExtentsWithoutASensibleScale) {
  struct Case {
    const char* name;
    float xmin, xmax, ymin, ymax;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const Case cases[] = {
      {"single point", 3, 3, 4, 4},        {"flat in y", 0, 10, 5, 5},         {"flat in x", 2, 2, 0, 1e-30f},
      {"beyond the float range", -3e38f, 3e38f, -3e38f, 3e38f}, {"tiny", 1e-30f, 2e-30f, 0, 1e-30f},
      {"not a number", 0, nan, 0, 1},
  };
  HDC dc = CreateSurfaceDC(300, 200);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    set_model(c.xmin, c.xmax, c.ymin, c.ymax, {{1.0f, 1}, {2.0f}, {1e30f}});
    default_run.style = PictureStyle{kKeyNone, 0, kMapClassic, 0.0, 0, 0, 0, 0, 0};
    render_display_list(dc, 300, 200);
    const int32_t plain_defined = layout_state.area_defined;
    for (int32_t key : {kKeyRight, kKeyBelow}) {
      default_run.style = PictureStyle{key, 1, kMapMagma, 0.0, 0, 0, 0, 0, 0};
      for (const Record& r : decode(render_display_list(dc, 300, 200))) {
        ASSERT_NE(r.tag, 0);
        if (r.tag == DL_LABEL) {
          EXPECT_LT(r.text.size(), 64u);
        }
      }
      EXPECT_EQ(layout_state.area_defined, plain_defined);
    }
  }
  default_run.style = PictureStyle{kKeyNone, 0, kMapClassic, 0.0, 0, 0, 0, 0, 0};
  DeleteDC(dc);
}

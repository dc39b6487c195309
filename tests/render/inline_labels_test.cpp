// Labels along the lines: their placement on made-up grids and meshes, the
// gap cut under them, the side uphill labels face, index levels and the
// halo's contrast.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "IsovarLib.h"
#include "model_gen.h"
#include "render/inline_labels.h"
#include "render_fixtures.h"
#include "test_support.h"

using namespace render_fixtures;
namespace il = inline_labels;

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 520;

// A mesh of jittered triangles over [0, 100] x [0, 60] with a wavy field.
std::string random_mesh(unsigned seed, int nx, int ny) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> jitter(-0.3, 0.3), phase(0.0, 6.0);
  const double p1 = phase(rng), p2 = phase(rng);
  std::ostringstream s;
  s << "*model fem\n*title\nmesh " << seed << "\n*end\n*node\n";
  std::vector<double> values;
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      const bool edge = i == 0 || j == 0 || i == nx - 1 || j == ny - 1;
      const double x = 100.0 * (i + (edge ? 0.0 : jitter(rng))) / (nx - 1);
      const double y = 60.0 * (j + (edge ? 0.0 : jitter(rng))) / (ny - 1);
      s << j * nx + i + 1 << ' ' << x << ' ' << y << '\n';
      values.push_back(50 * std::sin(x / 17 + p1) + 40 * std::cos(y / 11 + p2) + x * 0.3);
    }
  s << "*end\n*element\n";
  int e = 1;
  for (int j = 0; j + 1 < ny; ++j)
    for (int i = 0; i + 1 < nx; ++i) {
      const int a = j * nx + i + 1, b = a + 1, c = a + nx, d = c + 1;
      s << e << ' ' << a << ' ' << b << ' ' << d << '\n';
      s << e + 1 << ' ' << a << ' ' << d << ' ' << c << '\n';
      e += 2;
    }
  s << "*end\n*node_data\n";
  for (std::size_t n = 0; n < values.size(); ++n) s << n + 1 << ' ' << values[n] << '\n';
  s << "*end\n*isovar\n";
  for (int v = -80; v <= 110; v += 20) s << v << '\n';
  s << "*end\n";
  return s.str();
}

// Whether point (x, y) lies strictly inside box shrunk by `margin`.
bool within(const il::Box& b, double x, double y, double margin) {
  const double a = b.angle * 3.14159265358979323846 / 180.0;
  const double u = (x - b.cx) * std::cos(a) - (y - b.cy) * std::sin(a);
  const double v = -(x - b.cx) * std::sin(a) - (y - b.cy) * std::cos(a);
  return std::fabs(u) < b.half_w - margin && std::fabs(v) < b.half_h - margin;
}

void corners(const il::Box& b, double (&x)[4], double (&y)[4]) {
  const double a = b.angle * 3.14159265358979323846 / 180.0;
  const double dx = std::cos(a), dy = -std::sin(a), ux = -std::sin(a), uy = -std::cos(a);
  for (int i = 0; i < 4; ++i) {
    const double s = i == 0 || i == 3 ? -1 : 1, t = i < 2 ? -1 : 1;
    x[i] = b.cx + s * b.half_w * dx + t * b.half_h * ux;
    y[i] = b.cy + s * b.half_w * dy + t * b.half_h * uy;
  }
}

// Two boxes overlap when a point of one, sampled on a fine lattice of its
// area, lies in the other: a check of its own, not the separating axes'.
bool sampled_overlap(const il::Box& a, const il::Box& b) {
  if (std::hypot(a.cx - b.cx, a.cy - b.cy) > std::hypot(a.half_w, a.half_h) + std::hypot(b.half_w, b.half_h))
    return false;  // farther apart than their corners reach
  const double r = 3.14159265358979323846 / 180.0 * a.angle;
  for (double s = -a.half_w + 0.25; s < a.half_w; s += 0.5)
    for (double t = -a.half_h + 0.25; t < a.half_h; t += 0.5) {
      const double x = a.cx + s * std::cos(r) - t * std::sin(r), y = a.cy - s * std::sin(r) - t * std::cos(r);
      if (within(b, x, y, 0.0)) return true;
    }
  return false;
}

// The display list after its band records.
std::string without_bands(const std::string& bytes) {
  std::size_t at = 0;
  while (at + 12 <= bytes.size() && le32(bytes, at) == DL_BANDS) {
    const int32_t m = le32(bytes, at + 8);
    at += 12;
    for (int32_t i = 0; i < m; ++i) at += 4 + 8 * static_cast<std::size_t>(le32(bytes, at));
  }
  return bytes.substr(at);
}

double line_length(const il::Line& l) {
  double s = 0;
  for (std::size_t j = 0; j + 3 < l.xy.size(); j += 2) s += std::hypot(l.xy[j + 2] - l.xy[j], l.xy[j + 3] - l.xy[j + 1]);
  return s;
}

// The point at length s along line l.
void point_at(const il::Line& l, double s, double* x, double* y) {
  *x = l.xy[0], *y = l.xy[1];
  for (std::size_t j = 0; j + 3 < l.xy.size(); j += 2) {
    const double len = std::hypot(l.xy[j + 2] - l.xy[j], l.xy[j + 3] - l.xy[j + 1]);
    if (s <= len && len > 0) {
      *x = l.xy[j] + s / len * (l.xy[j + 2] - l.xy[j]), *y = l.xy[j + 1] + s / len * (l.xy[j + 3] - l.xy[j + 1]);
      return;
    }
    s -= len;
    *x = l.xy[j + 2], *y = l.xy[j + 3];
  }
}

// The label box on the stretch of line l `width` long centred at length c:
// along the chord, centred on the line.
il::Box stretch(const il::Line& l, double c, double width, double height) {
  double ax, ay, bx, by, mx, my;
  point_at(l, c - width / 2, &ax, &ay);
  point_at(l, c + width / 2, &bx, &by);
  point_at(l, c, &mx, &my);
  return il::Box{mx, my, il::upright(std::atan2(ay - by, bx - ax) * 180.0 / 3.14159265358979323846), width / 2,
                 height / 2};
}

// Whether line l comes into box b (sampled every quarter pixel).
bool crosses(const il::Box& b, const il::Line& l) {
  const double reach = b.half_w + b.half_h;
  for (std::size_t j = 0; j + 3 < l.xy.size(); j += 2) {
    const double x1 = l.xy[j], y1 = l.xy[j + 1], x2 = l.xy[j + 2], y2 = l.xy[j + 3];
    if (std::fmin(x1, x2) > b.cx + reach || std::fmax(x1, x2) < b.cx - reach || std::fmin(y1, y2) > b.cy + reach ||
        std::fmax(y1, y2) < b.cy - reach)
      continue;
    const double len = std::hypot(x2 - x1, y2 - y1);
    for (double t = 0; t <= 1.0; t += len > 0 ? 0.25 / len : 2.0)
      if (within(b, x1 + t * (x2 - x1), y1 + t * (y2 - y1), 0.0)) return true;
  }
  return false;
}

class InlineLabels : public ::testing::Test {
 protected:
  void SetUp() override { dc_ = CreateSurfaceDC(kWidth, kHeight); }
  void TearDown() override {
    setPictureStyle(nullptr);
    setFillBands(0);
    DeleteDC(dc_);
  }
  std::string plot(const std::string& path, const IsovarPictureStyle& style, bool fill) {
    char err[ISOVAR_ERRMSG_SIZE] = {};
    EXPECT_EQ(readData(path.c_str(), err), 0) << testing_support::utf8(err);
    EXPECT_EQ(setPictureStyle(&style), 0);
    setFillBands(fill ? 1 : 0);
    EXPECT_EQ(isovarMain(err, dc_, "prtInfo.tmp", kWidth, kHeight), 0);
    return testing_support::read_file("prtInfo.tmp");
  }
  HDC dc_ = nullptr;
};

}  // namespace

// On made-up grids, terrains and meshes, with and without a key and axes:
// no two labels overlap, each lies inside the frame and off the titles, no
// other level's line runs through one, every level with a line twice its
// label's width has one, the placement is the same twice, inline labels are
// upright, and the drawn lines of a label's level stay out of its box.
TEST_F(InlineLabels, PlacementKeepsItsRulesOnRandomModels) {
  struct Case {
    std::string name;
    int kind;  // 0 noisy field, 1 terrain, 2 mesh
    int size;
    unsigned seed;
    IsovarPictureStyle style;
  };
  std::vector<Case> cases;
  for (unsigned seed = 1; seed <= 7; ++seed)
    cases.push_back({"field " + std::to_string(seed), 0, 20 + 15 * static_cast<int>(seed % 4), seed,
                     {seed % 2 ? ISOVAR_KEY_RIGHT : ISOVAR_KEY_NONE, static_cast<int32_t>(seed % 3 == 0), 0, 0.0,
                      seed % 3 == 1 ? ISOVAR_LABELS_UPHILL : ISOVAR_LABELS_INLINE, seed % 2 ? 0 : 120, 0, 1, 0}});
  for (unsigned seed = 1; seed <= 6; ++seed)
    cases.push_back({"terrain " + std::to_string(seed), 1, 30 + 10 * static_cast<int>(seed), seed,
                     {ISOVAR_KEY_NONE, 0, ISOVAR_COLORMAP_VIRIDIS, 0.0, ISOVAR_LABELS_INLINE, 150 + 50 * static_cast<int>(seed % 3),
                      seed % 2 ? 0 : 2, 0, 0}});
  for (unsigned seed = 1; seed <= 7; ++seed)
    cases.push_back({"mesh " + std::to_string(seed), 2, 8 + static_cast<int>(seed), seed,
                     {seed % 2 ? ISOVAR_KEY_BELOW : ISOVAR_KEY_NONE, 1, 0, 0.0,
                      seed % 2 ? ISOVAR_LABELS_INLINE : ISOVAR_LABELS_UPHILL, 0, 0, 0, 0}});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = "model.iso";
    if (c.kind == 0) {
      ASSERT_TRUE(model_gen::write_noisy_field(path, c.size, c.seed));
    } else if (c.kind == 1) {
      ASSERT_TRUE(model_gen::write_terrain(path, c.size, c.size * 3 / 4, 60, c.seed));
    } else {
      testing_support::write_file(path, random_mesh(c.seed, c.size + 4, c.size));
    }
    const std::string bytes = plot(path, c.style, c.kind == 1);

    std::vector<std::string> texts;
    const il::Input in = inline_label_input(default_run, &texts);
    const std::vector<il::Placed> placed = il::place(in);
    const std::vector<il::Placed> again = il::place(in);
    ASSERT_EQ(placed.size(), again.size());
    for (std::size_t i = 0; i < placed.size(); ++i) {
      EXPECT_EQ(placed[i].level, again[i].level);
      EXPECT_EQ(placed[i].box.cx, again[i].box.cx);
      EXPECT_EQ(placed[i].box.cy, again[i].box.cy);
      EXPECT_EQ(placed[i].box.angle, again[i].box.angle);
    }
    EXPECT_GT(placed.size(), 0u);

    std::vector<bool> labelled(in.width.size(), false);
    for (std::size_t i = 0; i < placed.size(); ++i) {
      const il::Box& b = placed[i].box;
      labelled[placed[i].level] = true;
      if (c.style.labels == ISOVAR_LABELS_INLINE) {
        EXPECT_GT(b.angle, -90.0);
        EXPECT_LE(b.angle, 90.0);
      }
      double x[4], y[4];
      corners(b, x, y);
      for (int k = 0; k < 4; ++k) {
        EXPECT_TRUE(x[k] >= in.frame.left && x[k] <= in.frame.right && y[k] >= in.frame.top && y[k] <= in.frame.bottom)
            << "label " << i << " crosses the frame";
        for (const il::Rect& o : in.obstacles)
          EXPECT_FALSE(x[k] > o.left && x[k] < o.right && y[k] > o.top && y[k] < o.bottom) << "label " << i;
      }
      for (std::size_t j = i + 1; j < placed.size(); ++j)
        EXPECT_FALSE(sampled_overlap(b, placed[j].box) || sampled_overlap(placed[j].box, b))
            << "labels " << i << " and " << j;
      // Other levels' lines, sampled every quarter pixel.
      for (const il::Line& l : in.lines) {
        if (l.level != placed[i].level) {
          ASSERT_FALSE(crosses(b, l)) << "level " << l.level << " crosses label " << i;
        }
      }
    }
    // A level left without a label had no room anywhere along its long
    // lines: every stretch a pixel apart (with half a pixel to spare) leaves
    // the frame, or meets another level's line or a label.
    for (const il::Line& l : in.lines) {
      const double width = in.width[l.level];
      if (width == 0 || labelled[l.level] || line_length(l) <= 2 * width) continue;
      for (double c = width / 2; c <= line_length(l) - width / 2; c += 1.0) {
        const il::Box b = stretch(l, c, width, in.height[l.level]);
        il::Box wider = b;
        wider.half_w += 0.5, wider.half_h += 0.5;
        double x[4], y[4];
        corners(wider, x, y);
        bool free = true;
        for (int k = 0; k < 4 && free; ++k)
          free = x[k] >= in.frame.left && x[k] <= in.frame.right && y[k] >= in.frame.top && y[k] <= in.frame.bottom;
        for (std::size_t i = 0; i < placed.size() && free; ++i)
          free = !sampled_overlap(wider, placed[i].box) && !sampled_overlap(placed[i].box, wider);
        for (std::size_t m = 0; m < in.lines.size() && free; ++m)
          free = in.lines[m].level == l.level || !crosses(wider, in.lines[m]);
        ASSERT_FALSE(free) << "level " << l.level << " has room at " << b.cx << ", " << b.cy << " and no label";
      }
    }

    // The drawn lines: none of a label's level runs through its box (a pixel
    // inside its edge, for the rounding to whole pixels); one label record
    // per label inside the frame.
    int label_records = 0;
    for (const Record& r : decode(without_bands(bytes))) {
      // The key's and the axes' values lie outside the frame.
      if (r.tag == DL_LABEL && r.numbers[0] >= in.frame.left && r.numbers[0] <= in.frame.right &&
          r.numbers[1] >= in.frame.top && r.numbers[1] <= in.frame.bottom)
        ++label_records;
      if (r.tag != DL_LINE) continue;
      const double x1 = r.numbers[1], y1 = r.numbers[2], x2 = r.numbers[3], y2 = r.numbers[4];
      for (const il::Placed& p : placed)
        for (double t = 0; t <= 1.0; t += 0.125)
          ASSERT_FALSE(within(p.box, x1 + t * (x2 - x1), y1 + t * (y2 - y1), 1.5)) << "a line through a label";
    }
    EXPECT_EQ(label_records, static_cast<int>(placed.size()));
  }
}

// Uphill labels turn their tops towards the neighbouring higher level,
// inline ones stay upright whatever the neighbours.
TEST(InlinePlacement, UphillLabelsFaceHigherValues) {
  struct Case {
    const char* name;
    std::vector<double> own, other;  // two lines: level 0 and level 1 (value 20)
    double own_value;
    bool uphill;
    double angle;
  };
  const std::vector<double> flat{20, 100, 380, 100}, above{20, 60, 380, 60}, below{20, 140, 380, 140};
  const std::vector<double> upward{200, 280, 200, 20}, left{150, 280, 150, 20}, right{250, 280, 250, 20};
  const Case cases[] = {
      {"higher above", flat, above, 10, true, 0},
      {"higher below", flat, below, 10, true, 180},
      {"lower below", flat, below, 30, true, 0},
      {"lower above", flat, above, 30, true, 180},
      {"higher below, upright", flat, below, 10, false, 0},
      {"running up, higher left", upward, left, 10, true, 90},
      {"running up, higher right", upward, right, 10, true, -90},
      {"running up, higher right, upright", upward, right, 10, false, 90},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    il::Input in;
    in.lines = {il::Line{0, c.own}, il::Line{1, c.other}};
    in.width = {40, 0};
    in.height = {14, 14};
    in.value = {c.own_value, 20};
    in.uphill = c.uphill;
    in.frame = il::Rect{0, 0, 400, 300};
    const std::vector<il::Placed> placed = il::place(in);
    ASSERT_FALSE(placed.empty());
    for (const il::Placed& p : placed) EXPECT_NEAR(p.box.angle, c.angle, 1e-9);
  }
}

// Index levels: bold and the only labelled ones, counted from the lowest
// multiple of N steps, or from the lowest level when there is none or the
// levels are uneven.
TEST(IndexLevels, EveryNthLevelFromTheLowestMultiple) {
  struct Case {
    const char* name;
    std::vector<float> levels;
    int32_t every;
    std::string index;  // 'x' for an index level
  };
  const Case cases[] = {
      {"step 50 by 2", {150, 200, 250, 300, 350, 400, 450}, 2, ".x.x.x."},
      {"step 50 by 4", {150, 200, 250, 300, 350, 400}, 4, ".x...x"},
      {"negative", {-30, -20, -10, 0, 10}, 3, "x..x."},
      {"no multiple", {0.5f, 1.5f, 2.5f, 3.5f}, 2, "x.x."},
      {"uneven", {1, 2, 4, 8, 16}, 2, "x.x.x"},
      {"fractions", {0.1f, 0.2f, 0.3f, 0.4f, 0.5f}, 5, "....x"},
      {"single", {7}, 3, "x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    set_model(0, 1, 0, 1, {});
    for (float v : c.levels) {
      model_store.levels[model_store.level_count] = v;
      model_store.level_kind[model_store.level_count] = 0;
      model_store.level_label[model_store.level_count++] = 1;
    }
    default_run.style = PictureStyle{};
    default_run.style.index = c.every;
    std::string got;
    for (int32_t k = 0; k < model_store.level_count; ++k) {
      EXPECT_EQ(level_labelled(default_run, k), level_pen_width(default_run, k) == 2);
      got += level_pen_width(default_run, k) == 2 ? 'x' : '.';
    }
    EXPECT_EQ(got, c.index);
  }
  default_run.style = PictureStyle{};
}

// The halo behind a label in its line's colour contrasts at least 4.5 : 1
// with it, for every level and band colour of every colour map.
TEST(Halo, ContrastsWithEveryLineAndBandColour) {
  set_model(0, 1, 0, 1, {});
  for (int32_t k = 0; k < 17; ++k) {
    model_store.levels[k] = static_cast<float>(k * 7 - 40);
    model_store.level_label[k] = 1;
  }
  model_store.level_count = 17;
  EXPECT_EQ(halo_colour(kWhite), COLORREF{0});
  EXPECT_EQ(halo_colour(0), kWhite);
  for (int32_t map = 0; map < kMapCount; ++map) {
    PictureStyle style{};
    style.colour_map = map;
    std::vector<COLORREF> colours;
    for (int32_t k = 0; k < model_store.level_count; ++k) colours.push_back(level_colour(model_store, k, style));
    for (int32_t b = 0; b <= model_store.level_count; ++b) colours.push_back(band_colour(model_store, b, style));
    for (COLORREF c : colours) {
      SCOPED_TRACE(std::string(colour_map_name(map)) + " " + std::to_string(c));
      EXPECT_GE(contrast_ratio(c, halo_colour(c)), 4.5);
    }
  }
}

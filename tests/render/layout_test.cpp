// Plot layout and mapping: the worked pictures, and layouts that have no
// sensible scale.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "render_fixtures.h"

using namespace render_fixtures;

namespace {

struct Frame {
  int32_t left, right, top, bottom;
};

Frame frame_edges() {
  const LayoutState& L = layout_state;
  double W = run_context.plot_width, H = run_context.plot_height;
  return {trunc_to_int(W * L.area_left), trunc_to_int(W * L.area_right), trunc_to_int(H * L.area_top),
          trunc_to_int(H * L.area_bottom)};
}

struct LayoutCase {
  const char* name;
  int32_t display_mode;
  int32_t titles;
  float top, bottom, right;  // expected fractions
  Frame frame;
};

// The 600 x 500 picture of an extent x 0..10, y 0..5.
const LayoutCase kLayouts[] = {
    {"normal, one title", 1, 1, 0.1f, 0.579999983f, 0.899999976f, {60, 539, 50, 289}},
    {"normal, no title", 1, 0, 0.1f, 0.579999983f, 0.899999976f, {60, 539, 50, 289}},
    {"normal, three titles", 1, 3, 0.292f, 0.772000015f, 0.899999976f, {60, 539, 145, 386}},
    {"full, one title", 2, 1, 0.1f, 0.899999976f, 0.899999976f, {60, 539, 50, 449}},
};

}  // namespace

TEST(Layout, WorkedPictures) {
  for (const LayoutCase& c : kLayouts) {
    SCOPED_TRACE(c.name);
    set_model(0, 10, 0, 5);
    model_store.display_mode = c.display_mode;
    set_titles({"a", "b", "c"});
    model_store.title_count = c.titles;
    set_picture(nullptr, 600, 500);
    plot_layout();
    EXPECT_EQ(layout_state.title_spacing, 30);
    EXPECT_EQ(layout_state.area_left, 0.1f);
    EXPECT_EQ(layout_state.area_right, c.right);
    EXPECT_EQ(layout_state.area_top, c.top);
    EXPECT_EQ(layout_state.area_bottom, c.bottom);
    EXPECT_EQ(layout_state.area_defined, 1);
    Frame f = frame_edges();
    EXPECT_EQ(f.left, c.frame.left);
    EXPECT_EQ(f.right, c.frame.right);
    EXPECT_EQ(f.top, c.frame.top);
    EXPECT_EQ(f.bottom, c.frame.bottom);
    // The extent's corners map onto the frame.
    EXPECT_EQ(map_x(0), c.frame.left);
    EXPECT_EQ(map_x(10), c.frame.right);
    EXPECT_EQ(map_y(0), c.frame.bottom);
    EXPECT_EQ(map_y(5), c.frame.top);
    if (c.display_mode == 1) {
      EXPECT_EQ(layout_state.area_scale, 48.0);
    }
  }
}

TEST(Layout, MapsTruncateTowardZero) {
  set_model(0, 10, 0, 5);
  set_picture(nullptr, 600, 500);
  plot_layout();
  EXPECT_EQ(map_x(2), 155);  // 155.99999
  EXPECT_EQ(map_y(1), 241);  // 241.99999
  EXPECT_EQ(map_x(5), 300);
  EXPECT_EQ(map_y(2.5f), 170);
}

TEST(Layout, TurnedOverAreasStillDefined) {
  // Full mode with five titles in a low picture: the top passes the bottom.
  set_model(0, 10, 0, 5);
  model_store.display_mode = 2;
  set_titles({"1", "2", "3", "4", "5"});
  set_picture(nullptr, 600, 200);
  plot_layout();
  EXPECT_GT(layout_state.area_top, layout_state.area_bottom);
  EXPECT_EQ(layout_state.area_defined, 1);

  // Normal mode, a picture lower than the title reserve: a negative scale.
  model_store.display_mode = 1;
  set_picture(nullptr, 600, 100);
  plot_layout();
  EXPECT_LT(layout_state.area_scale, 0.0);
  EXPECT_EQ(layout_state.area_defined, 1);
}

TEST(Layout, DegenerateExtentsAndPictures) {
  struct Case {
    const char* name;
    float xmin, xmax, ymin, ymax;
    int32_t width, height, mode;
    int32_t defined;
  };
  const float big = 3e38f;
  const float inf = std::numeric_limits<float>::infinity();
  const Case cases[] = {
      {"single point", 3, 3, 4, 4, 600, 500, 1, 0},
      {"single point, full mode", 3, 3, 4, 4, 600, 500, 2, 0},
      {"zero width", 3, 3, 0, 5, 600, 500, 1, 1},
      {"zero height", 0, 10, 4, 4, 600, 500, 1, 1},
      {"huge coordinates", -big, big, -big, big, 600, 500, 1, 1},
      {"no nodes (inverted)", 1e20f, -1e20f, 1e20f, -1e20f, 600, 500, 1, 1},
      {"zero-sized picture", 0, 10, 0, 5, 0, 0, 1, 0},
      {"zero-width picture", 0, 10, 0, 5, 0, 500, 1, 0},
      {"infinite extent", -inf, inf, 0, 5, 600, 500, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    set_model(c.xmin, c.xmax, c.ymin, c.ymax);
    model_store.display_mode = c.mode;
    set_picture(nullptr, c.width, c.height);
    plot_layout();
    EXPECT_EQ(layout_state.area_defined, c.defined);
    // Mapping never fails, whatever the layout.
    (void)map_x(c.xmin);
    (void)map_y(c.ymax);
  }
}

TEST(Layout, ZeroWidthExtentMapsOntoTheCollapsedFrame) {
  set_model(3, 3, 0, 5);
  set_picture(nullptr, 600, 500);
  plot_layout();
  Frame f = frame_edges();
  EXPECT_EQ(f.left, f.right);
  EXPECT_EQ(map_x(3), f.left);
  EXPECT_EQ(map_y(0), f.bottom);
}

TEST(Layout, HugeExtentKeepsTheFrame) {
  set_model(-3e38f, 3e38f, -3e38f, 3e38f);
  set_picture(nullptr, 600, 500);
  plot_layout();
  Frame f = frame_edges();
  // A square extent: the height limits the scale, 80 % of 500 pixels.
  EXPECT_EQ(f.left, 60);
  EXPECT_EQ(f.top, 50);
  EXPECT_NEAR(f.bottom - f.top, 400, 1);
  EXPECT_EQ(map_x(-3e38f), f.left);
  EXPECT_EQ(map_y(-3e38f), f.bottom);
}

TEST(Layout, TruncToIntIsGuarded) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double in;
    int32_t out;
  } cases[] = {{2.7, 2},          {-2.7, -2},         {0.0, 0},          {nan, 0},
               {1e10, INT32_MAX}, {-1e10, INT32_MIN}, {inf, INT32_MAX},  {-inf, INT32_MIN},
               {2147483647.5, INT32_MAX}, {-2147483648.5, INT32_MIN}};
  for (const Case& c : cases) EXPECT_EQ(trunc_to_int(c.in), c.out) << c.in;
}

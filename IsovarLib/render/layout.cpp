// The plot layout and the model-to-pixel mapping.
//
// Fractions and scales are stored in single precision exactly where they are
// kept; everything between the stores is double precision, with the layout's
// constants taken as the single-precision values 0.1f, 0.8f, 0.9f and 1.6f.
#include <cmath>
#include <cstdint>

#include "engine/engine.h"
#include "shared/run_context.h"
#include "input/model_store.h"
#include "render/run.h"


namespace {

constexpr double kTenth = static_cast<double>(0.1f);
constexpr double kNineTenths = static_cast<double>(0.9f);
constexpr double kFourFifths = static_cast<double>(0.8f);
constexpr double kReservePerTitle = static_cast<double>(1.6f);

// The model extent in double precision: the differences of two floats can
// exceed the float range (an extent from -3e38 to 3e38).
double extent_dx(const Run& r) {
  return static_cast<double>(r.model->extent_xmax) - static_cast<double>(r.model->extent_xmin);
}
double extent_dy(const Run& r) {
  return static_cast<double>(r.model->extent_ymax) - static_cast<double>(r.model->extent_ymin);
}

// The plot area within the box left, right, top, bottom (pixels), as the
// plain layout fills its box: the whole box in display mode 2, else the
// largest area of the extent's shape from the box's top-left corner.
void place_in_box(Run& r, double left, double right, double top, double bottom) {
  LayoutState& L = r.layout;
  const double W = r.ctx.plot_width;
  const double H = r.ctx.plot_height;
  L.area_left = static_cast<float>(left / W);
  L.area_top = static_cast<float>(top / H);
  if (r.model->display_mode == 2) {
    L.area_right = static_cast<float>(right / W);
    L.area_bottom = static_cast<float>(bottom / H);
    return;
  }
  const float sx = static_cast<float>((right - left) / extent_dx(r));
  const float sy = static_cast<float>((bottom - top) / extent_dy(r));
  L.area_scale = sx < sy ? sx : sy;
  L.area_right = static_cast<float>(extent_dx(r) * L.area_scale / W + L.area_left);
  L.area_bottom = static_cast<float>(extent_dy(r) * L.area_scale / H + L.area_top);
}

// The layout with room for a key and axes: the plain layout's margins (a
// tenth of the picture on each side, the titles' reserve above), widened
// where the axes' values or the key need more. The key's values may need
// staggering, which widens the key, which shrinks the frame, which may need
// more staggering: a few rounds settle it (the key draws within the
// stagger it was given, writing fewer values if it must).
void styled_layout(Run& r, double reserve) {
  LayoutState& L = r.layout;
  const double W = r.ctx.plot_width;
  const double H = r.ctx.plot_height;
  const double top = reserve + kTenth * H;
  const bool key_right = r.style.key == kKeyRight, key_below = r.style.key == kKeyBelow;
  L.axes_below = r.style.axes ? axes_room_below() : 0;
  int32_t stagger = 1;
  for (int round = 0; round < 4; ++round) {
    double left = kTenth * W, right = kTenth * W, bottom = kTenth * H;
    if (r.style.axes) left = std::fmax(left, axes_room_left(r, H - top - bottom) + 4.0);
    if (key_right) right = std::fmax(right, key_depth(r, stagger) + 4.0);
    bottom = std::fmax(bottom, L.axes_below + (key_below ? key_depth(r, stagger) : 0) + 4.0);
    // Margins never take more than two thirds of the picture: a small
    // picture keeps a frame, and its key and axes run off its edges.
    if (left + right > W * 2 / 3) {
      const double cut = W * 2 / 3 / (left + right);
      left *= cut, right *= cut;
    }
    if (top + bottom > H * 2 / 3) bottom = std::fmax(0.0, H * 2 / 3 - top);
    place_in_box(r, left, W - right, top, H - bottom);
    if (!key_right && !key_below) break;
    const double length = key_right ? H * (static_cast<double>(L.area_bottom) - L.area_top)
                                    : W * (static_cast<double>(L.area_right) - L.area_left);
    const int32_t needed = key_stagger_needed(r, length);
    if (needed <= stagger) break;
    stagger = needed;
  }
  L.key_stagger = stagger;
  L.axes_left = r.style.axes ? axes_room_left(r, H * (static_cast<double>(L.area_bottom) - L.area_top)) : 0;
}

}  // namespace

int32_t trunc_to_int(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(value);
}

void plot_layout(Run& r) {
  LayoutState& L = r.layout;
  const double W = r.ctx.plot_width;
  const double H = r.ctx.plot_height;
  const double dx = extent_dx(r);
  const double dy = extent_dy(r);
  int32_t n = r.model->title_count;

  L.title_spacing = 30;
  const double reserve = L.title_spacing * kReservePerTitle * (n - 1);

  L.key_stagger = 0;
  L.axes_left = 0;
  L.axes_below = 0;
  if (style_takes_room(r.style)) {
    styled_layout(r, n > 1 ? reserve : 0.0);
  } else if (r.model->display_mode == 2) {
    L.area_left = 0.1f;
    L.area_right = 0.9f;
    L.area_top = 0.1f;
    if (n > 1) L.area_top = static_cast<float>(reserve / H + kTenth);
    L.area_bottom = static_cast<float>(kNineTenths);
  } else {
    float sx = static_cast<float>(W * kFourFifths / dx);
    float sy = static_cast<float>(H * kFourFifths / dy);
    if (n > 1) sy = static_cast<float>((H - reserve) * kFourFifths / dy);
    L.area_scale = sx < sy ? sx : sy;
    L.area_left = 0.1f;
    L.area_right = static_cast<float>(dx * L.area_scale / W + L.area_left);
    L.area_top = 0.1f;
    if (n > 1) L.area_top = static_cast<float>(reserve / H + kTenth);
    L.area_bottom = static_cast<float>(dy * L.area_scale / H + L.area_top);
  }

  // A single-point extent has no scale (both quotients are infinite and the
  // fractions not numbers); neither has a picture of no width or height, nor
  // an extent beyond the float range. Such a plot shows its titles only.
  bool single_point = dx == 0.0 && dy == 0.0;
  bool fractions_known = !std::isnan(L.area_left) && !std::isnan(L.area_right) &&
                         !std::isnan(L.area_top) && !std::isnan(L.area_bottom);
  L.area_defined = !single_point && fractions_known && std::isfinite(dx) && std::isfinite(dy);
}

// With a zero-width (zero-height) extent every model point lies on the
// collapsed frame line: the quotient 0/0 is taken as 0 there.
int32_t map_x(Run& r, float x) {
  const LayoutState& L = r.layout;
  double dx = extent_dx(r);
  double along = 0.0;
  if (dx != 0.0) {
    double span = static_cast<double>(L.area_right) - L.area_left;
    along = span * (static_cast<double>(x) - r.model->extent_xmin) / dx;
  }
  float f = static_cast<float>(L.area_left + along);
  return trunc_to_int(static_cast<double>(r.ctx.plot_width) * f);
}

int32_t map_y(Run& r, float y) {
  const LayoutState& L = r.layout;
  double dy = extent_dy(r);
  double along = 0.0;
  if (dy != 0.0) {
    double span = static_cast<double>(L.area_top) - L.area_bottom;
    along = span * (static_cast<double>(y) - r.model->extent_ymin) / dy;
  }
  float f = static_cast<float>(L.area_bottom + along);
  return trunc_to_int(static_cast<double>(r.ctx.plot_height) * f);
}

PixelFrame pixel_frame(const Run& r) {
  const LayoutState& L = r.layout;
  const double W = r.ctx.plot_width;
  const double H = r.ctx.plot_height;
  const double dx = extent_dx(r);
  const double dy = extent_dy(r);
  PixelFrame f;
  f.left = W * L.area_left;
  f.right = W * L.area_right;
  f.top = H * L.area_top;
  f.bottom = H * L.area_bottom;
  f.x0 = r.model->extent_xmin;
  f.y0 = r.model->extent_ymin;
  // As map_x and map_y: a flat extent puts every point on its frame line.
  f.kx = dx != 0.0 ? W * (static_cast<double>(L.area_right) - L.area_left) / dx : 0.0;
  f.ky = dy != 0.0 ? H * (static_cast<double>(L.area_top) - L.area_bottom) / dy : 0.0;
  return f;
}

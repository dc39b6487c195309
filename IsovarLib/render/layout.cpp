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

  if (r.model->display_mode == 2) {
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

// Axes: ticks outside the frame's bottom and left sides at round steps of
// the model's coordinates, each with its value.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "input/model_store.h"
#include "render/run.h"

namespace {

constexpr int32_t kAxisFont = 10;   // pixels
constexpr int32_t kTickLength = 5;  // pixels out from the frame's line
constexpr int32_t kTickGap = 3;     // between a tick's end and its value
constexpr int32_t kFewestTicks = 5;
constexpr int32_t kMostTicks = 8;

// Tick values are written in exponent form beyond these magnitudes.
constexpr double kLargestPlain = 1e8;  // projected metres (northings to 10,000 km) stay plain
constexpr double kSmallestPlainStep = 1e-4;

// The model's origin, added to its coordinates where they are shown: a model
// placed in a wider frame (map coordinates, say) keeps small numbers and
// says where its zero lies. A model read from a file has (0, 0).
struct Origin {
  double x, y;
};
Origin model_origin(const ModelStore& m) { return Origin{m.origin_x, m.origin_y}; }

// The multiples of step within [lo, hi]: the first one's index and how many.
// An end that is a multiple but for the quotient's rounding (0.3 / 0.1 is
// 2.9999999999999996) counts as one.
void multiples(double lo, double hi, double step, double& first_index, double& count) {
  constexpr double kSlack = 1e-9;
  first_index = std::ceil(lo / step - kSlack);
  const double last = std::floor(hi / step + kSlack);
  count = last - first_index + 1.0;
}

constexpr double kMantissas[] = {1.0, 2.0, 2.5, 5.0};

// The ticks of step m x 10^k within [lo, hi] (lo <= hi, both finite); for
// lo == hi the one tick at lo. No ticks when the step is no number, or
// would give more than a million.
Ticks ticks_of_step(double lo, double hi, double m, int32_t k) {
  Ticks t{0.0, 0.0, 0, 0, 0};
  const double step = m * std::pow(10.0, k);
  if (!(step > 0.0) || !std::isfinite(step)) return t;
  double first = 0.0, count = 1.0;
  if (hi > lo) multiples(lo, hi, step, first, count);
  if (!(count >= 0.0 && count <= 1e6)) return t;
  t.step = step;
  t.count = static_cast<int32_t>(count);
  t.first = hi > lo ? first * step : lo;
  const int32_t extra = m == 2.5 ? 1 : 0;
  const double largest = std::fmax(std::fabs(lo), std::fabs(hi));
  if (largest >= kLargestPlain || step < kSmallestPlainStep) {
    // Digits after the mantissa's point: down to the step's last digit.
    const int32_t e = largest > 0.0 ? static_cast<int32_t>(std::floor(std::log10(largest))) : k;
    t.exponent = 1;
    t.decimals = std::clamp(e - k + extra, 0, 9);
  } else {
    t.decimals = std::max(-k + extra, 0);
  }
  return t;
}

}  // namespace

int32_t text_width(std::size_t n, int32_t size) {
  return static_cast<int32_t>(n) * ((size * 3 + 4) / 5);
}

Ticks choose_ticks(double lo, double hi, int32_t fewest, int32_t most) {
  if (!std::isfinite(lo) || !std::isfinite(hi)) return Ticks{0.0, 0.0, 0, 0, 0};
  if (hi < lo) std::swap(lo, hi);
  if (fewest < 1) fewest = 1;
  if (most < fewest) most = fewest;
  const double span = hi - lo;
  // The magnitude the step is chosen around; a single value is one tick,
  // written with the digits its own size needs.
  const double size = span > 0.0 && std::isfinite(span) ? span : (lo != 0.0 ? std::fabs(lo) : 1.0);
  const int32_t top = static_cast<int32_t>(std::floor(std::log10(size)));
  if (!(span > 0.0)) return ticks_of_step(lo, hi, 1.0, top);
  double best_miss = INFINITY, best_m = 0;
  int32_t best_k = 0;
  for (int32_t k = top - 2; k <= top + 1; ++k) {
    for (double m : kMantissas) {
      const double step = m * std::pow(10.0, k);
      if (!(step > 0.0) || !std::isfinite(step)) continue;
      double first, count;
      multiples(lo, hi, step, first, count);
      if (!(count >= 1.0)) continue;
      const double miss = count < fewest ? fewest - count : (count > most ? count - most : 0.0);
      // Steps come smallest first. Of the steps equally near the range, one
      // of 1, 2 or 5 goes before 2.5 (whose values take a digit more), and
      // then the larger step (fewer ticks).
      const bool rounder = (m != 2.5) > (best_m != 2.5);
      const bool as_round = (m != 2.5) == (best_m != 2.5);
      if (miss < best_miss || (miss == best_miss && (rounder || as_round))) best_miss = miss, best_m = m, best_k = k;
    }
  }
  if (best_m == 0) return Ticks{0.0, 0.0, 0, 0, 0};
  return ticks_of_step(lo, hi, best_m, best_k);
}

Ticks ticks_at_least(double lo, double hi, double least) {
  if (!std::isfinite(lo) || !std::isfinite(hi) || !(least > 0.0) || !std::isfinite(least))
    return Ticks{0.0, 0.0, 0, 0, 0};
  if (hi < lo) std::swap(lo, hi);
  const int32_t k = static_cast<int32_t>(std::floor(std::log10(least)));
  // The least multiple here may come out a hair below `least` by rounding:
  // a step that close is taken.
  for (int32_t e = k; e <= k + 1; ++e)
    for (double m : kMantissas)
      if (m * std::pow(10.0, e) >= least * (1.0 - 1e-12)) return ticks_of_step(lo, hi, m, e);
  return ticks_of_step(lo, hi, 1.0, k + 1);
}

std::size_t format_tick(double v, const Ticks& ticks, char* text, std::size_t size) {
  // A value that is zero but for the steps' rounding is written as zero,
  // never as -0.0.
  if (std::fabs(v) < ticks.step * 1e-9) v = 0.0;
  const int n = std::snprintf(text, size, ticks.exponent ? "%.*e" : "%.*f", static_cast<int>(ticks.decimals), v);
  if (n < 0) return 0;
  return static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n) : size - 1;
}

Ticks axis_ticks(const Run& r, bool along_x, double frame_pixels) {
  const ModelStore& m = *r.model;
  const Origin o = model_origin(m);
  const double lo = along_x ? m.extent_xmin + o.x : m.extent_ymin + o.y;
  const double hi = along_x ? m.extent_xmax + o.x : m.extent_ymax + o.y;
  // Fewer ticks when their values would touch (along x a value's width
  // apart, along y a line's height): the roundest step that spaces them so,
  // none in a frame with no room at all.
  Ticks t = choose_ticks(lo, hi, kFewestTicks, kMostTicks);
  const double span = std::fabs(hi - lo);
  if (t.count > 1 && span > 0.0) {
    const double need = along_x ? axis_label_width(r, t) + 6.0 : kAxisFont + 2.0;
    if (frame_pixels * t.step / span < need) {
      const Ticks sparser = ticks_at_least(lo, hi, need * span / frame_pixels);
      if (sparser.count < t.count) t = sparser;
    }
  }
  return t;
}

int32_t axis_label_width(const Run&, const Ticks& t) {
  int32_t widest = 0;
  char text[64];
  for (int32_t i = 0; i < t.count; ++i) {
    const std::size_t n = format_tick(t.first + i * t.step, t, text, sizeof text);
    const int32_t w = text_width(n, kAxisFont);
    if (w > widest) widest = w;
  }
  return widest;
}

int32_t axes_room_left(const Run& r, double frame_height) {
  return 2 + kTickLength + kTickGap + axis_label_width(r, axis_ticks(r, false, frame_height)) + 2;
}

int32_t axes_room_below() { return 1 + kTickLength + kTickGap + kAxisFont + 2; }

void draw_axes(Run& r) {
  HDC dc = r.ctx.run_hdc;
  const PixelFrame f = pixel_frame(r);
  const Origin o = model_origin(*r.model);
  const int32_t left = trunc_to_int(f.left), right = trunc_to_int(f.right);
  const int32_t top = trunc_to_int(f.top), bottom = trunc_to_int(f.bottom);
  HPEN pen = CreatePen(PS_SOLID, 1, kWhite);
  HFONT font = make_font(kAxisFont);
  HGDIOBJ old_pen = SelectObject(dc, pen);
  HGDIOBJ old_font = SelectObject(dc, font);
  SetTextColor(dc, kWhite);
  char text[64];
  auto tick = [&](int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
    dl_line(r, 1, x1, y1, x2, y2);
  };
  auto value = [&](int32_t x, int32_t y, std::size_t n) {
    TextOutA(dc, x, y, text, static_cast<int>(n));
    dl_label(r, text, x, y, kAxisFont);
  };

  // The frame's line is two pixels wide, on the pixels either side of its
  // edge (left - 1 and left, bottom - 1 and bottom): ticks start past it.
  const Ticks tx = axis_ticks(r, true, f.right - f.left);
  for (int32_t i = 0; i < tx.count; ++i) {
    const double v = tx.first + i * tx.step;
    int32_t x = trunc_to_int(f.left + f.kx * (v - o.x - f.x0));
    if (x < left - 1 || x > right + 1) continue;
    x = x < left ? left : (x > right ? right : x);  // an end tick a rounding outside
    tick(x, bottom + 1, x, bottom + 1 + kTickLength);
    const std::size_t n = format_tick(v, tx, text, sizeof text);
    value(x - text_width(n, kAxisFont) / 2, bottom + 1 + kTickLength + kTickGap, n);
  }
  const Ticks ty = axis_ticks(r, false, f.bottom - f.top);
  for (int32_t i = 0; i < ty.count; ++i) {
    const double v = ty.first + i * ty.step;
    int32_t y = trunc_to_int(f.bottom + f.ky * (v - o.y - f.y0));
    if (y < top - 1 || y > bottom + 1) continue;
    y = y < top ? top : (y > bottom ? bottom : y);
    tick(left - 2, y, left - 2 - kTickLength, y);
    const std::size_t n = format_tick(v, ty, text, sizeof text);
    value(left - 2 - kTickLength - kTickGap - text_width(n, kAxisFont), y - kAxisFont / 2, n);
  }
  SelectObject(dc, old_font);
  SelectObject(dc, old_pen);
  DeleteObject(font);
  DeleteObject(pen);
}

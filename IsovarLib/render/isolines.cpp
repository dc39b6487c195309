// The isolines: every polyline clipped to the model extent, coloured by its
// level from blue (lowest) to red (highest), bold levels two pixels wide.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "engine/engine.h"
#include "shared/run_context.h"
#include "input/model_store.h"
#include "render/inline_labels.h"
#include "render/run.h"

namespace {

// Region-code bits of a point outside the box.
constexpr int32_t kLeftOf = 8;
constexpr int32_t kRightOf = 4;
constexpr int32_t kBelow = 2;
constexpr int32_t kAbove = 1;

// With exact arithmetic an end is moved onto each edge at most once: the
// moves walk it along the segment towards the other end. Rounding near a
// corner can put a moved end a hair outside again, on the side of an edge it
// was already moved to, and the moves would then hop between two edges for
// ever. Such an end is put on the box when it lies within rounding distance
// of it (else the segment is rejected); the passes are bounded besides.
constexpr int kMaxClipPasses = 16;
// Rounding distance: 2^-20 of the box's largest coordinate, some 16 units in
// the last place of a float there.
constexpr double kSnapFraction = 1.0 / (1 << 20);

float clamp_to(float v, float lo, float hi, double tolerance) {
  if (v < lo && lo - static_cast<double>(v) <= tolerance) return lo;
  if (v > hi && static_cast<double>(v) - hi <= tolerance) return hi;
  return v;
}

constexpr double kHueOfLowest = 0.666666;  // blue; exactly this, not 2/3

// The hue of level k's line colour. Where the line colours have no hue
// (levels that are not finite make t a NaN), the lowest level's blue stands
// in.
double level_hue(const ModelStore& m, int32_t k) {
  const float* levels = m.levels;
  const double lowest = levels[0];
  double t = (levels[k] - lowest) / (levels[m.level_count - 1] - lowest);
  if (!(t >= 0.0 && t <= 1.0)) t = 0.0;
  return (1.0 - t) * kHueOfLowest;
}

double distance2(float x, float y, const IsoPoint& p) {
  const double dx = static_cast<double>(x) - p.x, dy = static_cast<double>(y) - p.y;
  return dx * dx + dy * dy;
}

}  // namespace

// The isolines once more as exact paths, for a surface that takes them: in
// model coordinates through the frame's affine map, clipped to the extent as
// the pixels are, each level in a group of its own (its id level-K, its value
// in data-level). A segment that is clipped starts or ends a path; a point
// repeated is given once. With gaps, the parts of each segment under its
// level's boxes (labels, in pixels) are left out.
void draw_exact_isolines(Run& r, const COLORREF* colours, const std::vector<std::vector<const inline_labels::Box*>>* gaps) {
  HDC dc = r.ctx.run_hdc;
  const EngineTables& E = r.engine;
  const int32_t level_count = r.model->level_count;
  const float xmin = r.model->extent_xmin;
  const float ymin = r.model->extent_ymin;
  const float w = static_cast<float>(static_cast<double>(r.model->extent_xmax) - xmin);
  const float h = static_cast<float>(static_cast<double>(r.model->extent_ymax) - ymin);
  const PixelFrame f = pixel_frame(r);
  const double matrix[6] = {f.kx, 0.0, 0.0, f.ky, f.left - f.kx * f.x0, f.bottom - f.ky * f.y0};
  SetPathTransform(dc, matrix);

  // The polylines by level, each level's in their order.
  std::vector<int32_t> first(static_cast<std::size_t>(level_count) + 1, 0), order(static_cast<std::size_t>(E.pline_total));
  for (int32_t n = 0; n < E.pline_total; ++n) {
    const int32_t k = E.pline_level[n];
    if (E.pline_count[n] > 1 && k >= 0 && k < level_count) ++first[k + 1];
  }
  for (int32_t k = 0; k < level_count; ++k) first[k + 1] += first[k];
  std::vector<int32_t> next(first.begin(), first.end() - 1);
  for (int32_t n = 0; n < E.pline_total; ++n) {
    const int32_t k = E.pline_level[n];
    if (E.pline_count[n] > 1 && k >= 0 && k < level_count) order[next[k]++] = n;
  }

  std::vector<POINTF> path;
  auto flush = [&] {
    if (path.size() >= 2) PolylineF(dc, path.data(), static_cast<int>(path.size()));
    path.clear();
  };
  auto same = [](const POINTF& p, float x, float y) { return p.x == x && p.y == y; };
  // A segment onto the path, which it starts anew unless it goes on from
  // the path's last point.
  auto add = [&](float x1, float y1, float x2, float y2) {
    if (path.empty() || !same(path.back(), x1, y1)) {
      flush();
      path.push_back(POINTF{x1, y1});
    }
    if (!same(path.back(), x2, y2)) path.push_back(POINTF{x2, y2});
  };
  std::vector<double> pieces;
  for (int32_t k = 0; k < level_count && k < kLevelSlots; ++k) {
    if (first[k] == first[k + 1]) continue;
    char id[24], value[32], attributes[64];
    std::snprintf(id, sizeof id, "level-%d", static_cast<int>(k));
    const std::to_chars_result written = std::to_chars(value, value + sizeof value - 1, r.model->levels[k]);
    *written.ptr = '\0';
    std::snprintf(attributes, sizeof attributes, "data-level=\"%s\"", std::isfinite(r.model->levels[k]) ? value : "");
    BeginGroup(dc, id, attributes);
    HPEN pen = CreatePen(PS_SOLID, r.model->level_kind[k] == 1 ? 2 : 1, colours[k]);
    HGDIOBJ old_pen = SelectObject(dc, pen);
    for (int32_t i = first[k]; i < first[k + 1]; ++i) {
      const int32_t n = order[i];
      for (int32_t j = 0; j + 1 < E.pline_count[n]; ++j) {
        const IsoPoint& a = E.iso_points[pline_point(r.engine, n, j)];
        const IsoPoint& b = E.iso_points[pline_point(r.engine, n, j + 1)];
        float x1 = a.x, y1 = a.y, x2 = b.x, y2 = b.y;
        const int32_t clipped = line_clip(xmin, ymin, w, h, x1, y1, x2, y2);
        if (clipped < 0 || clipped > 3) {
          flush();
          continue;
        }
        // Clipping may hand the ends back exchanged: the path keeps its way.
        if (clipped != 0 && distance2(x2, y2, a) < distance2(x1, y1, a)) {
          std::swap(x1, x2);
          std::swap(y1, y2);
        }
        if (gaps == nullptr) {
          add(x1, y1, x2, y2);
          continue;
        }
        // The map is affine: a fraction along the segment in pixels is the
        // same fraction in the model.
        pieces.clear();
        inline_labels::pieces_outside((*gaps)[static_cast<std::size_t>(k)], matrix[0] * x1 + matrix[4],
                                      matrix[3] * y1 + matrix[5], matrix[0] * x2 + matrix[4],
                                      matrix[3] * y2 + matrix[5], &pieces);
        for (std::size_t p = 0; p + 1 < pieces.size(); p += 2) {
          const auto at = [&](double t, float u, float v) { return static_cast<float>(u + t * (v - u)); };
          add(at(pieces[p], x1, x2), at(pieces[p], y1, y2), at(pieces[p + 1], x1, x2), at(pieces[p + 1], y1, y2));
        }
      }
      flush();
    }
    SelectObject(dc, old_pen);
    DeleteObject(pen);
    EndGroup(dc);
  }
}


int32_t clip_outcode(float xmin, float ymin, float w, float h, float x, float y) {
  const float right = static_cast<float>(static_cast<double>(xmin) + w);
  const float top = static_cast<float>(static_cast<double>(ymin) + h);
  int32_t code = 0;
  if (x < xmin) code |= kLeftOf;
  if (x > right) code |= kRightOf;
  if (y < ymin) code |= kBelow;
  if (y > top) code |= kAbove;
  return code;
}

int32_t line_clip(float xmin, float ymin, float w, float h, float& x1, float& y1, float& x2,
                  float& y2) {
  if (!(w > 0.0f) || !(h > 0.0f)) return -1;
  const float right = static_cast<float>(static_cast<double>(xmin) + w);
  const float top = static_cast<float>(static_cast<double>(ymin) + h);
  const double tolerance =
      kSnapFraction * std::fmax(std::fmax(std::fabs(xmin), std::fabs(right)),
                                std::fmax(std::fabs(ymin), std::fabs(top)));

  float ax = x1, ay = y1, bx = x2, by = y2;
  const bool vertical = ax == bx;
  double m = 0.0, b = 0.0;
  if (!vertical) {
    m = (static_cast<double>(by) - ay) / (static_cast<double>(bx) - ax);
    b = ay - ax * m;
  }

  int32_t result = 0;
  bool settled = false;
  bool exchanged = false;
  int32_t edges_moved_to = 0;  // by the end now second
  for (int pass = 0; pass < kMaxClipPasses; ++pass) {
    int32_t code1 = clip_outcode(xmin, ymin, w, h, ax, ay);
    int32_t code2 = clip_outcode(xmin, ymin, w, h, bx, by);
    if (pass == 0) {
      if (code1 == 0 && code2 == 0) result = 0;
      else if (code1 == 0) result = 2;
      else if (code2 == 0) result = 1;
      else result = 3;
    }
    if (code1 == 0 && code2 == 0) {
      settled = true;
      break;
    }
    if ((code1 & code2) != 0) break;
    if (code2 == 0) {
      // The outside end is always the second; the exchange is kept in what
      // the caller gets back.
      if (exchanged) break;
      std::swap(ax, bx);
      std::swap(ay, by);
      std::swap(code1, code2);
      exchanged = true;
      edges_moved_to = 0;
    }
    const int32_t edge = code2 & kLeftOf   ? kLeftOf
                         : code2 & kRightOf ? kRightOf
                         : code2 & kBelow   ? kBelow
                                            : kAbove;
    if (edges_moved_to & edge) {
      bx = clamp_to(bx, xmin, right, tolerance);
      by = clamp_to(by, ymin, top, tolerance);
      if (clip_outcode(xmin, ymin, w, h, bx, by) != 0) break;
      continue;
    }
    edges_moved_to |= edge;
    if (edge == kLeftOf || edge == kRightOf) {
      bx = edge == kLeftOf ? xmin : right;
      by = static_cast<float>(bx * m + b);
    } else {
      by = edge == kBelow ? ymin : top;
      if (!vertical) bx = static_cast<float>((by - b) / m);
    }
  }
  if (!settled) result = 4;
  x1 = ax;
  y1 = ay;
  x2 = bx;
  y2 = by;
  return result;
}

int32_t hsv_to_rgb(float h, float s, float v, int32_t& red, int32_t& green, int32_t& blue) {
  if (h > 1.0f) h = 1.0f;
  int32_t out_of_range = 0;
  for (float c : {h, s, v})
    if (!(c >= 0.0f && c <= 1.0f)) ++out_of_range;
  if (out_of_range != 0) h = s = v = 0.0f;

  h = static_cast<float>(h * 360.0);
  if (h == 360.0f) h = 0.0f;
  const double q6 = h / 60.0;
  const int32_t i = static_cast<int32_t>(q6);  // 0 to 5: h lies in [0, 360)
  const float f = static_cast<float>(static_cast<float>(q6) - static_cast<double>(i));

  const float p = static_cast<float>(v * (1.0 - s));
  const float q = static_cast<float>(v * (1.0 - static_cast<double>(s) * f));
  const float u = static_cast<float>(v * (1.0 - s * (1.0 - f)));

  float r = 0, g = 0, bl = 0;
  switch (i) {
    case 0: r = v; g = u; bl = p; break;
    case 1: r = q; g = v; bl = p; break;
    case 2: r = p; g = v; bl = u; break;
    case 3: r = p; g = q; bl = v; break;
    case 4: r = u; g = p; bl = v; break;
    default: r = v; g = p; bl = q; break;
  }
  auto channel = [](float c) {
    int32_t x = trunc_to_int(c * 255.0);
    return x < 0 ? 0 : (x > 255 ? 255 : x);
  };
  red = channel(r);
  green = channel(g);
  blue = channel(bl);
  return out_of_range;
}

COLORREF level_colour(const ModelStore& m, int32_t k) {
  const float* levels = m.levels;
  const double lowest = levels[0];
  const double t = (levels[k] - lowest) / (levels[m.level_count - 1] - lowest);
  // A single level gives 0/0 here, which hsv_to_rgb turns into black.
  const float hue = static_cast<float>((1.0 - t) * kHueOfLowest);
  int32_t r, g, b;
  hsv_to_rgb(hue, 1.0f, 1.0f, r, g, b);
  return RGB(r, g, b);
}

COLORREF band_colour(const ModelStore& m, int32_t b) {
  const int32_t n = m.level_count;
  double hue;
  if (n == 1) {
    // One level: its line has no hue; below it is the low end of the scale
    // (blue), above it the high end (red).
    hue = b <= 0 ? kHueOfLowest : 0.0;
  } else if (b <= 0) {
    hue = level_hue(m, 0);
  } else if (b >= n) {
    hue = level_hue(m, n - 1);
  } else {
    hue = (level_hue(m, b - 1) + level_hue(m, b)) / 2.0;
  }
  int32_t r, g, bl;
  hsv_to_rgb(static_cast<float>(hue), kBandSaturation, 1.0f, r, g, bl);
  return RGB(r, g, bl);
}

void LevelPens::select(int32_t k, int32_t width, COLORREF colour) {
  if (k == selected_ || k < 0 || k >= kLevelSlots) return;
  if (pens_[k] == nullptr) pens_[k] = CreatePen(PS_SOLID, width, colour);
  HGDIOBJ previous = SelectObject(dc_, pens_[k]);
  if (selected_ < 0) before_ = previous;
  selected_ = k;
}

void LevelPens::done() {
  if (selected_ >= 0) SelectObject(dc_, before_);
  selected_ = -1;
  for (HPEN& pen : pens_) {
    if (pen != nullptr) DeleteObject(pen);
    pen = nullptr;
  }
}

void draw_isolines(Run& r) {
  HDC dc = r.ctx.run_hdc;
  const EngineTables& E = r.engine;
  const float xmin = r.model->extent_xmin;
  const float ymin = r.model->extent_ymin;
  const float w = static_cast<float>(static_cast<double>(r.model->extent_xmax) - xmin);
  const float h = static_cast<float>(static_cast<double>(r.model->extent_ymax) - ymin);
  const int32_t level_count = r.model->level_count;
  // The box line_clip clips to, and its test of a point (a NaN is inside).
  const bool box = w > 0.0f && h > 0.0f;
  const float right = static_cast<float>(static_cast<double>(xmin) + w);
  const float top = static_cast<float>(static_cast<double>(ymin) + h);
  auto inside = [&](float x, float y) { return !(x < xmin) && !(x > right) && !(y < ymin) && !(y > top); };

  if (r.style.labels != kLabelsAtEnds) {
    draw_inline_isolines(r);
    return;
  }
  reset_labels(r);
  // Each level's pen colour, worked out once (a large model has many rows).
  COLORREF colours[kLevelSlots];
  for (int32_t k = 0; k < level_count && k < kLevelSlots; ++k) colours[k] = level_colour(*r.model, k, r.style);
  // A surface that takes exact paths gets the pixels' lines as a stand-in
  // and the exact paths after them.
  const bool exact = SurfaceTakesExactPaths(dc) != 0;
  if (exact) BeginRasterStandIn(dc);
  LevelPens pens(dc, E.large != 0);
  for (int32_t n = 0; n < E.pline_total; ++n) {
    const int32_t count = E.pline_count[n];
    const int32_t k = E.pline_level[n];
    if (count <= 0 || k < 0 || k >= level_count) continue;
    add_pline_labels(r, n);

    const int32_t width = level_pen_width(r, k);
    pens.select(k, width, colours[k]);
    // A segment with both ends in the box is what clipping would leave as it
    // is; the pixel of its second end is then the first of the next one's.
    int32_t mapped = -1;  // the point whose pixel is (mapped_x, mapped_y)
    int32_t mapped_x = 0, mapped_y = 0;
    int64_t drawn[4] = {INT64_MIN, 0, 0, 0};  // the last segment drawn of this row
    for (int32_t j = 0; j + 1 < count; ++j) {
      const IsoPoint& a = E.iso_points[pline_point(r.engine, n, j)];
      const IsoPoint& b = E.iso_points[pline_point(r.engine, n, j + 1)];
      int32_t X1, Y1, X2, Y2;
      if (box && inside(a.x, a.y) && inside(b.x, b.y)) {
        X1 = mapped == j ? mapped_x : map_x(r, a.x);
        Y1 = mapped == j ? mapped_y : map_y(r, a.y);
        X2 = mapped_x = map_x(r, b.x);
        Y2 = mapped_y = map_y(r, b.y);
        mapped = j + 1;
      } else {
        float x1 = a.x, y1 = a.y, x2 = b.x, y2 = b.y;
        const int32_t clipped = line_clip(xmin, ymin, w, h, x1, y1, x2, y2);
        if (clipped < 0 || clipped > 3) continue;
        X1 = map_x(r, x1), Y1 = map_y(r, y1), X2 = map_x(r, x2), Y2 = map_y(r, y2);
      }
      // A dense model maps many segments in a row onto the same pixels: drawn
      // again with the same pen, such a segment would paint nothing new. It
      // is recorded all the same.
      if (!(X1 == drawn[0] && Y1 == drawn[1] && X2 == drawn[2] && Y2 == drawn[3])) {
        MoveToEx(dc, X1, Y1, nullptr);
        LineTo(dc, X2, Y2);
        drawn[0] = X1, drawn[1] = Y1, drawn[2] = X2, drawn[3] = Y2;
      }
      dl_line(r, width, X1, Y1, X2, Y2);
    }
    pens.row_done();
  }
  pens.done();
  if (exact) {
    EndRasterStandIn(dc);
    draw_exact_isolines(r, colours, nullptr);
  }
  draw_labels(r);
}

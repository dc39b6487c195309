// Isoline labels: the ends of every labelled polyline are offered as label
// positions; a position within a tenth of the extent (in both directions) of
// an accepted label is dropped, whatever the levels. The accepted ones are
// drawn in white after all isolines, placed by the edge of the extent they lie
// on.
//
// The nearness test only asks whether any accepted label is near, so instead
// of scanning every accepted label it looks in a grid of cells one threshold
// wide: a near label lies at most two cells away in each direction (a
// difference of one threshold, plus rounding, can straddle two cell borders).
// Cells are clamped at the grid's sides, which keeps that bound.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/engine.h"
#include "shared/run_context.h"
#include "input/model_store.h"
#include "isovar_messages.h"
#include "render/inline_labels.h"
#include "render/run.h"

namespace {

constexpr int32_t kLabelSize = 10;  // label font height in pixels
constexpr int kReach = 2;           // cells searched on each side

int cell_of(float v, float origin, float cell_size) {
  double q = std::floor((static_cast<double>(v) - origin) / cell_size);
  if (!(q >= 0.0)) return 0;  // below the grid, or not a number
  if (q >= kLabelCells - 1) return kLabelCells - 1;
  return static_cast<int>(q);
}

bool near_label(Run& r, float x, float y, int32_t m) {
  const LabelTable& T = r.labels;
  return std::fabs(x - T.labels[m].x) <= T.near_x && std::fabs(y - T.labels[m].y) <= T.near_y;
}

bool near_any_label(Run& r, float x, float y, int col, int row) {
  const LabelTable& T = r.labels;
  if (!T.indexed) {
    for (int32_t m = 0; m < T.label_count; ++m)
      if (near_label(r, x, y, m)) return true;
    return false;
  }
  // The candidate's own cell first: a label there is the likeliest to be
  // near, and the answer does not depend on the order of the look.
  for (int32_t m = T.cell_head[col][row]; m >= 0; m = T.labels[m].next)
    if (near_label(r, x, y, m)) return true;
  const int c0 = col - kReach < 0 ? 0 : col - kReach;
  const int c1 = col + kReach >= kLabelCells ? kLabelCells - 1 : col + kReach;
  const int r0 = row - kReach < 0 ? 0 : row - kReach;
  const int r1 = row + kReach >= kLabelCells ? kLabelCells - 1 : row + kReach;
  for (int c = c0; c <= c1; ++c)
    for (int w = r0; w <= r1; ++w) {
      if (c == col && w == row) continue;
      for (int32_t m = T.cell_head[c][w]; m >= 0; m = T.labels[m].next)
        if (near_label(r, x, y, m)) return true;
    }
  return false;
}

// Where a label's text goes relative to its point, by the edge it lies on.
struct Placement {
  int32_t column;
  int32_t row;  // in pixels; kLabelSize stands for the font height
};

}  // namespace

void reset_labels(Run& r) {
  LabelTable& T = r.labels;
  T.labels.select(r.ctx.large != 0);
  T.label_count = 0;
  T.near_x = static_cast<float>(
      (static_cast<double>(r.model->extent_xmax) - r.model->extent_xmin) * 0.1);
  T.near_y = static_cast<float>(
      (static_cast<double>(r.model->extent_ymax) - r.model->extent_ymin) * 0.1);
  // Thresholds that are not positive finite numbers (a flat or inverted
  // extent) make no cells; then every accepted label is looked at.
  T.indexed = T.near_x > 0.0f && T.near_y > 0.0f && std::isfinite(T.near_x) &&
              std::isfinite(T.near_y);
  for (auto& column : T.cell_head)
    for (int32_t& head : column) head = -1;
}

void add_pline_labels(Run& r, int32_t n) {
  const int32_t k = r.engine.pline_level[n];
  if (!level_labelled(r, k)) return;
  add_label(r, pline_point(r.engine, n, 0), k);
  add_label(r, pline_point(r.engine, n, r.engine.pline_count[n] - 1), k);
}

void add_label(Run& r, int32_t p, int32_t k) { add_label_at(r, r.engine.iso_points[p].x, r.engine.iso_points[p].y, k); }

void add_label_at(Run& r, float x, float y, int32_t k) {
  LabelTable& T = r.labels;
  int col = 0, row = 0;
  if (T.indexed) {
    col = cell_of(x, r.model->extent_xmin, T.near_x);
    row = cell_of(y, r.model->extent_ymin, T.near_y);
  }
  if (near_any_label(r, x, y, col, row)) return;
  if (T.label_count >= table_limits(r.ctx.large).labels || !T.labels.reserve(int64_t{T.label_count} + 1)) {
    // Drawn on the picture only, in whatever font and colour are current.
    TextOutA(r.ctx.run_hdc, 10, 10, msg::label_overflow,
             static_cast<int>(sizeof msg::label_overflow - 1));
    return;
  }
  const int32_t m = T.label_count++;
  T.labels[m] = AcceptedLabel{x, y, k, -1};
  if (T.indexed) {
    T.labels[m].next = T.cell_head[col][row];
    T.cell_head[col][row] = m;
  }
}

std::size_t format_label(float v, char (&text)[kLabelTextSize]) {
  if (std::fabs(v) > 0.1) {
    // Long for large values (3e38 has 39 digits), never cut.
    int n = std::snprintf(text, sizeof text, "%5.2f", static_cast<double>(v));
    return n < 0 ? 0 : static_cast<std::size_t>(n);
  }
  int n = std::snprintf(text, sizeof text, "%8.3e", static_cast<double>(v));
  if (n < 0) return 0;
  std::size_t len = static_cast<std::size_t>(n);
  // The exponent is written with a sign and three digits (5.000e-002),
  // whatever number of digits the C library gives it.
  const char* e = std::strchr(text, 'e');
  if (e == nullptr || (e[1] != '+' && e[1] != '-')) return len;  // nan
  std::size_t digits_at = static_cast<std::size_t>(e - text) + 2;
  std::size_t digits = len - digits_at;
  if (digits >= 3) return len;
  std::size_t pad = 3 - digits;
  std::memmove(text + digits_at + pad, text + digits_at, digits + 1);
  std::memset(text + digits_at, '0', pad);
  return len + pad;
}

void draw_label(Run& r, float x, float y, int32_t k, int32_t size) {
  char text[kLabelTextSize];
  std::size_t len = format_label(r.model->levels[k], text);

  Placement at;
  if (style_takes_room(r.style)) {
    // The key and the axes' values lie outside the frame where the plain
    // picture puts the labels of lines that end on it: such labels go just
    // inside instead.
    const int32_t width = text_width(len, size);
    if (x == r.model->extent_xmin) at = {3, -7};
    else if (x == r.model->extent_xmax) at = {-width - 3, -7};
    else if (y == r.model->extent_ymin) at = {-20, -size - 2};
    else if (y == r.model->extent_ymax) at = {-20, 3};
    else at = {-40, -7};
  } else if (x == r.model->extent_xmin) at = {-50, -7};
  else if (x == r.model->extent_xmax) at = {5, -7};
  else if (y == r.model->extent_ymin) at = {-20, 5};
  else if (y == r.model->extent_ymax) at = {-20, -size};
  else at = {-40, -7};

  int32_t column = trunc_to_int(static_cast<double>(map_x(r, x)) + at.column);
  int32_t row = trunc_to_int(static_cast<double>(map_y(r, y)) + at.row);
  if (style_takes_room(r.style)) {
    // Near a corner the offsets above would still reach outside: the whole
    // text is kept within the frame's line.
    const PixelFrame f = pixel_frame(r);
    const int32_t width = text_width(len, size);
    const int32_t right = trunc_to_int(f.right) - width - 1, bottom = trunc_to_int(f.bottom) - size - 1;
    if (column > right) column = right;
    if (column < trunc_to_int(f.left) + 1) column = trunc_to_int(f.left) + 1;
    if (row > bottom) row = bottom;
    if (row < trunc_to_int(f.top) + 1) row = trunc_to_int(f.top) + 1;
  }

  if (!place_label_in_domain(r, map_x(r, x), map_y(r, y), text_width(len, size), size, column, row)) return;
  TextOutA(r.ctx.run_hdc, column, row, text, static_cast<int>(len));
  dl_label(r, text, column, row, size);
}

void draw_labels(Run& r) {
  HDC dc = r.ctx.run_hdc;
  HFONT font = make_font(kLabelSize);
  HGDIOBJ old_font = SelectObject(dc, font);
  SetTextColor(dc, kWhite);
  const LabelTable& T = r.labels;
  for (int32_t m = 0; m < T.label_count; ++m) {
    if (r.style.halo) set_label_colours(r, T.labels[m].level);
    draw_label(r, T.labels[m].x, T.labels[m].y, T.labels[m].level, kLabelSize);
  }
  if (r.style.halo) SetTextHalo(dc, 0, 0);
  SelectObject(dc, old_font);
  DeleteObject(font);
}

// ---------------------------------------------------------------------------
// Index levels, halo colours and labels along the lines

namespace {

// The first index level: the lowest that is a multiple of `every` level
// steps when the levels are evenly spaced, else the lowest.
int32_t first_index_level(const ModelStore& m, int32_t every) {
  const int32_t n = m.level_count;
  if (n < 2) return 0;
  const double step = static_cast<double>(m.levels[1]) - m.levels[0];
  if (!(step > 0.0) || !std::isfinite(step)) return 0;
  const double tolerance = 1e-4 * step;
  for (int32_t k = 1; k < n; ++k) {
    const double d = static_cast<double>(m.levels[k]) - m.levels[k - 1];
    if (std::fabs(d - step) > tolerance) return 0;
  }
  const double big_step = step * every;
  for (int32_t k = 0; k < n && k < every; ++k) {
    const double q = m.levels[k] / big_step;
    if (std::fabs(q - std::nearbyint(q)) * big_step <= tolerance) return k;
  }
  return 0;
}

bool is_index_level(const Run& r, int32_t k) {
  const int32_t every = r.style.index;
  if (every <= 0) return false;
  const int32_t d = k - first_index_level(*r.model, every);
  return d % every == 0;
}

double channel_luminance(int c) {
  const double v = c / 255.0;
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

}  // namespace

int32_t level_pen_width(const Run& r, int32_t k) {
  if (r.style.index > 0) return is_index_level(r, k) ? 2 : 1;
  return r.model->level_kind[k] == 1 ? 2 : 1;
}

bool level_labelled(const Run& r, int32_t k) {
  if (r.model->level_label[k] == 0) return false;
  return r.style.index <= 0 || is_index_level(r, k);
}

double relative_luminance(COLORREF c) {
  return 0.2126 * channel_luminance(GetRValue(c)) + 0.7152 * channel_luminance(GetGValue(c)) +
         0.0722 * channel_luminance(GetBValue(c));
}

double contrast_ratio(COLORREF a, COLORREF b) {
  const double la = relative_luminance(a), lb = relative_luminance(b);
  return (std::fmax(la, lb) + 0.05) / (std::fmin(la, lb) + 0.05);
}

COLORREF halo_colour(COLORREF text) {
  return contrast_ratio(text, kWhite) >= contrast_ratio(text, 0) ? kWhite : COLORREF{0};
}

void set_label_colours(Run& r, int32_t k) {
  const COLORREF text = level_colour(*r.model, k, r.style);
  SetTextColor(r.ctx.run_hdc, text);
  SetTextHalo(r.ctx.run_hdc, halo_colour(text), kHaloWidth);
}

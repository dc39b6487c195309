// The isolines: every polyline clipped to the model extent, coloured by its
// level from blue (lowest) to red (highest), bold levels two pixels wide.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "engine/engine.h"
#include "engine/tiles.h"
#include "shared/run_context.h"
#include "input/model_store.h"
#include "render/inline_labels.h"
#include "render/ordered_pipeline.h"
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

namespace {

// Row after row, the isolines' segments as drawn: mapped to pixels, those
// with an end outside the extent clipped to it first.
class SegmentMapper {
 public:
  explicit SegmentMapper(Run& r)
      : r_(r),
        xmin_(r.model->extent_xmin),
        ymin_(r.model->extent_ymin),
        w_(static_cast<float>(static_cast<double>(r.model->extent_xmax) - xmin_)),
        h_(static_cast<float>(static_cast<double>(r.model->extent_ymax) - ymin_)),
        box_(w_ > 0.0f && h_ > 0.0f),
        right_(static_cast<float>(static_cast<double>(xmin_) + w_)),
        top_(static_cast<float>(static_cast<double>(ymin_) + h_)) {}

  // Row n's segments, each handed to put(X1, Y1, X2, Y2) in their order;
  // those clipping leaves nothing of are passed over. Reads the run only.
  template <class Put>
  void row(int32_t n, Put&& put) const {
    const EngineTables& E = r_.engine;
    const int32_t count = E.pline_count[n];
    // A segment with both ends in the box is what clipping would leave as
    // it is; the pixel of its second end is then the first of the next one's.
    int32_t mapped = -1;  // the point whose pixel is (mapped_x, mapped_y)
    int32_t mapped_x = 0, mapped_y = 0;
    for (int32_t j = 0; j + 1 < count; ++j) {
      const IsoPoint& a = E.iso_points[pline_point(E, n, j)];
      const IsoPoint& b = E.iso_points[pline_point(E, n, j + 1)];
      if (box_ && inside(a.x, a.y) && inside(b.x, b.y)) {
        const int32_t X1 = mapped == j ? mapped_x : map_x(r_, a.x);
        const int32_t Y1 = mapped == j ? mapped_y : map_y(r_, a.y);
        mapped_x = map_x(r_, b.x);
        mapped_y = map_y(r_, b.y);
        mapped = j + 1;
        put(X1, Y1, mapped_x, mapped_y);
        continue;
      }
      float x1 = a.x, y1 = a.y, x2 = b.x, y2 = b.y;
      const int32_t clipped = line_clip(xmin_, ymin_, w_, h_, x1, y1, x2, y2);
      if (clipped < 0 || clipped > 3) continue;
      put(map_x(r_, x1), map_y(r_, y1), map_x(r_, x2), map_y(r_, y2));
    }
  }

 private:
  // line_clip's box and its test of a point (a NaN is inside).
  bool inside(float x, float y) const { return !(x < xmin_) && !(x > right_) && !(y < ymin_) && !(y > top_); }

  Run& r_;
  const float xmin_, ymin_, w_, h_;
  const bool box_;
  const float right_, top_;
};

// Whether a segment would paint something new after the last one drawn of
// its row: a dense model maps many segments in a row onto the same pixels,
// and drawn again with the same pen such a segment paints nothing new.
class NewPixels {
 public:
  bool operator()(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    if (X1 == drawn_[0] && Y1 == drawn_[1] && X2 == drawn_[2] && Y2 == drawn_[3]) return false;
    drawn_[0] = X1, drawn_[1] = Y1, drawn_[2] = X2, drawn_[3] = Y2;
    return true;
  }

 private:
  int64_t drawn_[4] = {INT64_MIN, 0, 0, 0};
};

// One row's segments drawn with the pen selected and recorded (every one,
// those that paint nothing new too).
class RowDrawer {
 public:
  RowDrawer(Run& r, int32_t width) : r_(r), dc_(r.ctx.run_hdc), width_(width) {}
  void operator()(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    if (fresh_(X1, Y1, X2, Y2)) {
      MoveToEx(dc_, X1, Y1, nullptr);
      LineTo(dc_, X2, Y2);
    }
    dl_line(r_, width_, X1, Y1, X2, Y2);
  }

 private:
  Run& r_;
  HDC dc_;
  int32_t width_;
  NewPixels fresh_;
};

struct PixelSegment {
  int32_t x1, y1, x2, y2;
};

// A run of rows made ready ahead of their drawing: what they paint, where
// their labels would go, and their display-list records.
struct MappedRows {
  std::vector<int32_t> ends;          // per row: one past its last segment in paint
  std::vector<PixelSegment> paint;    // the segments that paint something new
  std::vector<IsoPoint> row_ends;     // per row: its first and last points
  std::unique_ptr<unsigned char[]> records;  // every segment's line record
  std::size_t record_bytes = 0;
};

// Segments a chunk of rows holds at least (the last chunk excepted),
// chunks made ready ahead at most, and the chunks a picture needs for the
// other threads to pay for their start and their buffers (fewer are drawn
// row by row in about a millisecond).
constexpr int64_t kChunkSegments = 4096;
constexpr int kChunksAhead = 8;
constexpr int kChunksShared = 4;

bool row_drawn(const EngineTables& E, int32_t n, int32_t level_count) {
  const int32_t k = E.pline_level[n];
  return E.pline_count[n] > 0 && k >= 0 && k < level_count;
}

// Where the chunks of rows start (the last entry: pline_total), and in
// *most the segments of the largest chunk and in *most_rows its rows.
std::vector<int32_t> chunk_starts(const EngineTables& E, int32_t level_count, int64_t* most, int32_t* most_rows) {
  std::vector<int32_t> starts{0};
  int64_t in_chunk = 0;
  *most = 0;
  *most_rows = 0;
  for (int32_t n = 0; n < E.pline_total; ++n) {
    if (row_drawn(E, n, level_count)) in_chunk += E.pline_count[n] - 1;
    if (in_chunk >= kChunkSegments || n + 1 == E.pline_total) {
      starts.push_back(n + 1);
      *most = std::max(*most, in_chunk);
      *most_rows = std::max(*most_rows, n + 1 - starts[starts.size() - 2]);
      in_chunk = 0;
    }
  }
  return starts;
}

// Threads that make rows ready, the drawing one among them: the run's
// thread count, or one per core up to four (past that the drawing thread
// cannot take what they make).
int render_threads(const EngineTables& E) { return E.threads > 0 ? E.threads : std::min(thread_count(E), 4); }

}  // namespace

void draw_isolines(Run& r) {
  HDC dc = r.ctx.run_hdc;
  const EngineTables& E = r.engine;
  const int32_t level_count = r.model->level_count;

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
  const SegmentMapper mapper(r);
  // Row n's labels (at its ends, when given) and its pen; its pen's width.
  auto draw_row = [&](int32_t n, const IsoPoint* ends = nullptr) {
    const int32_t k = E.pline_level[n];
    if (ends == nullptr) {
      add_pline_labels(r, n);
    } else if (level_labelled(r, k)) {
      add_label_at(r, ends[0].x, ends[0].y, k);
      add_label_at(r, ends[1].x, ends[1].y, k);
    }
    const int32_t width = level_pen_width(r, k);
    pens.select(k, width, colours[k]);
    return width;
  };

  // A large run maps the next rows on other threads while this one draws.
  const int threads = E.large != 0 ? render_threads(E) : 1;
  int64_t most = 0;
  int32_t most_rows = 0;
  std::vector<int32_t> starts;
  std::vector<MappedRows> slots;
  if (threads > 1) {
    try {
      starts = chunk_starts(E, level_count, &most, &most_rows);
      const int chunks = static_cast<int>(starts.size()) - 1;
      if (chunks >= kChunksShared) {
        slots.resize(static_cast<size_t>(std::min(kChunksAhead, chunks)));
        for (MappedRows& slot : slots) {
          slot.ends.reserve(static_cast<size_t>(most_rows));
          slot.row_ends.reserve(2 * static_cast<size_t>(most_rows));
          slot.paint.reserve(static_cast<size_t>(most));
          slot.records.reset(new unsigned char[static_cast<size_t>(most) * kDlLineSize]);
        }
      }
    } catch (const std::bad_alloc&) {
      slots.clear();  // drawn as it is mapped
    }
  }
  if (slots.empty()) {
    for (int32_t n = 0; n < E.pline_total; ++n) {
      if (!row_drawn(E, n, level_count)) continue;
      RowDrawer draw(r, draw_row(n));
      mapper.row(n, draw);
      pens.row_done();
    }
  } else {
    // Other threads map the rows and make their records; this one takes
    // them in order, places the labels and draws.
    auto prepare = [&](int c, int slot) {
      MappedRows& m = slots[static_cast<size_t>(slot)];
      m.ends.clear();
      m.paint.clear();
      m.row_ends.clear();  // the capacities stay: no allocation here
      unsigned char* record = m.records.get();
      for (int32_t n = starts[c]; n < starts[c + 1]; ++n) {
        if (row_drawn(E, n, level_count)) {
          m.row_ends.push_back(E.iso_points[pline_point(E, n, 0)]);
          m.row_ends.push_back(E.iso_points[pline_point(E, n, E.pline_count[n] - 1)]);
          const int32_t width = level_pen_width(r, E.pline_level[n]);
          NewPixels fresh;
          mapper.row(n, [&](int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
            if (fresh(X1, Y1, X2, Y2)) m.paint.push_back(PixelSegment{X1, Y1, X2, Y2});
            dl_line_record(record, width, X1, Y1, X2, Y2);
            record += kDlLineSize;
          });
        } else {
          m.row_ends.resize(m.row_ends.size() + 2);
        }
        m.ends.push_back(static_cast<int32_t>(m.paint.size()));
      }
      m.record_bytes = static_cast<std::size_t>(record - m.records.get());
    };
    auto consume = [&](int c, int slot) {
      const MappedRows& m = slots[static_cast<size_t>(slot)];
      int32_t from = 0;
      for (int32_t n = starts[c]; n < starts[c + 1]; ++n) {
        const auto i = static_cast<size_t>(n - starts[c]);
        const int32_t to = m.ends[i];
        if (row_drawn(E, n, level_count)) {
          draw_row(n, &m.row_ends[2 * i]);
          for (int32_t s = from; s < to; ++s) {
            const PixelSegment& g = m.paint[static_cast<size_t>(s)];
            MoveToEx(dc, g.x1, g.y1, nullptr);
            LineTo(dc, g.x2, g.y2);
          }
          pens.row_done();
        }
        from = to;
      }
      dl_records(r, m.records.get(), m.record_bytes);
    };
    ordered_pipeline::run(static_cast<int>(starts.size()) - 1, threads, static_cast<int>(slots.size()), prepare,
                          consume);
  }
  pens.done();
  if (exact) {
    EndRasterStandIn(dc);
    draw_exact_isolines(r, colours, nullptr);
  }
  draw_labels(r);
}

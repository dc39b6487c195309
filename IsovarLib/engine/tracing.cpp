// Tracing: a triangle with linear values along its edges gives, per level
// that crosses it, one segment from the crossing on its short side (L-M or
// M-H) to the crossing on its long edge (L-H), and, per band, one piece of
// three to five corners. The grid walk cuts each cell into two triangles.
//
// Everything here is fixed to the bit: the order of cells, triangles, sweeps
// and levels sets the order of the band pieces and of the segments, and so
// the numbering and direction of the polylines.
#include <algorithm>
#include <cmath>
#include <utility>

#include "engine/engine_internal.h"
#include "engine/tiles.h"
#include "input/model_store.h"

namespace {

int level_count(EngineTables& t) {
  return std::clamp(static_cast<int>(t.model->level_count), 0, kLevelSlots);
}

// The number of levels at or below v: the index of the first level above v.
// Branch-free halving, so the cost depends only on the level count.
int levels_at_or_below(float v, const float* levels, int n) {
  if (n == 0) return 0;
  const float* base = levels;
  while (n > 1) {
    const int half = n / 2;
    base = base[half] <= v ? base + half : base;
    n -= half;
  }
  return static_cast<int>(base - levels) + (*base <= v ? 1 : 0);
}

// The band of a triangle no level crosses: the number of levels at or below
// its lowest value, which is the band its crossed neighbours' pieces get for
// the same values (band k lies between levels k - 1 and k). With levels 10
// and 20, values 5, 15 and 25 give bands 0, 1 and 2; a single level 7 and
// values 7 give band 1.
int uncrossed_band_counted(int at_or_below) { return at_or_below; }

// A coordinate at fraction t from q towards p, computed wide and kept inside
// the edge's own range.
float along(double t, float from_p, float from_q) {
  if (t == 0.0) return from_q;
  if (t == 1.0) return from_p;
  double c = static_cast<double>(from_q) + t * (static_cast<double>(from_p) - from_q);
  const double lo = std::min(from_p, from_q);
  const double hi = std::max(from_p, from_q);
  if (!(c >= lo)) c = lo;  // a NaN lands on the low end as well
  if (c > hi) c = hi;
  return static_cast<float>(c);
}

// The crossing when single precision overflowed: values or coordinates whose
// differences pass the float limit. The limits of the quotient stand in for
// infinite values (a value that runs off to infinity at q puts the level at
// p's end, and the other way round).
EdgePoint edge_point_wide(float z, const Vertex& p, const Vertex& q) {
  double t;
  if (z == q.v) {
    t = 0.0;
  } else if (z == p.v) {
    t = 1.0;
  } else if (std::isinf(q.v)) {
    t = std::isinf(p.v) ? 0.5 : 1.0;
  } else if (std::isinf(p.v)) {
    t = 0.0;
  } else {
    t = (static_cast<double>(z) - q.v) / (static_cast<double>(p.v) - q.v);
  }
  if (!(t >= 0.0)) t = 0.0;
  if (t > 1.0) t = 1.0;
  return EdgePoint{along(t, p.x, q.x), along(t, p.y, q.y)};
}

EdgePoint at(const Vertex& v) { return EdgePoint{v.x, v.y}; }

// A band piece, corner by corner.
struct Piece {
  float x[5] = {};
  float y[5] = {};
  int n = 0;
  Piece& operator<<(const EdgePoint& p) {
    x[n] = p.x;
    y[n] = p.y;
    ++n;
    return *this;
  }
};

int store(EngineTables& t, int band, const Piece& piece) { return add_fill_poly(t, band, piece.n, piece.x, piece.y); }

// trace_triangle, given the number of levels at or below each vertex value
// (c0 for v0 and so on), which the grid walk shares between the six
// triangles that meet at a grid point. Without the band table (large mode,
// when nothing reads it) the pieces are not even made.
template <bool kPieces>
int trace_counted(EngineTables& t, const Vertex& v0, const Vertex& v1, const Vertex& v2, int c0, int c1, int c2) {
  // Sort by value, equal values keeping their argument order: the first of
  // the lowest values is L, and so on. Strict comparisons make the three
  // exchanges stable, and every value sorts, however large.
  const Vertex* lp = &v0;
  const Vertex* mp = &v1;
  const Vertex* hp = &v2;
  if (mp->v < lp->v) {
    std::swap(lp, mp);
    std::swap(c0, c1);
  }
  if (hp->v < mp->v) {
    std::swap(mp, hp);
    std::swap(c1, c2);
  }
  if (mp->v < lp->v) {
    std::swap(lp, mp);
    std::swap(c0, c1);
  }
  const Vertex& lo = *lp;
  const Vertex& mid = *mp;
  const Vertex& hi = *hp;
  const EdgePoint L = at(lo), M = at(mid), H = at(hi);

  // The first sweep takes the levels in (lo, mid], indices c0 .. c1 - 1; the
  // second those in (mid, hi], c1 .. c2 - 1. Where level_range would answer
  // "none", these ranges are simply empty.
  if (c0 == c2) {
    if (!kPieces) return 0;
    Piece whole;
    whole << L << M << H;
    return store(t, uncrossed_band_counted(c0), whole);
  }
  const float* levels = t.model->levels;
  EdgePoint a0{}, b0{};  // the crossings of the level before

  for (int k = c0; k < c1; ++k) {
    const EdgePoint a = edge_point(levels[k], lo, mid);
    const EdgePoint b = edge_point(levels[k], lo, hi);
    if (make_poly(t, a.x, a.y, b.x, b.y, k) != 0) return -1;
    if (kPieces) {
      Piece piece;
      if (k == c0) {
        piece << L << a << b;
      } else {
        piece << a0 << b0 << b << a;
      }
      if (store(t, k, piece) != 0) return -1;
    }
    a0 = a;
    b0 = b;
  }
  const bool first_swept = c1 > c0;

  for (int k = c1; k < c2; ++k) {
    const EdgePoint a = edge_point(levels[k], mid, hi);
    const EdgePoint b = edge_point(levels[k], lo, hi);
    if (make_poly(t, a.x, a.y, b.x, b.y, k) != 0) return -1;
    if (kPieces) {
      Piece piece;
      if (k > c1) {
        piece << a0 << b0 << b << a;
      } else if (first_swept) {
        piece << a0 << b0 << b << a << M;
      } else {
        piece << L << b << a << M;
      }
      if (store(t, k, piece) != 0) return -1;
    }
    a0 = a;
    b0 = b;
  }
  if (!kPieces) return 0;

  // The last piece lies above the last level swept.
  Piece last;
  if (c2 > c1) {
    last << a0 << b0 << H;
    return store(t, c2, last);
  }
  last << a0 << b0 << H << M;
  return store(t, c1, last);
}

int trace_counted(EngineTables& t, const Vertex& v0, const Vertex& v1, const Vertex& v2, int c0, int c1, int c2) {
  return t.fill_band_table() ? trace_counted<true>(t, v0, v1, v2, c0, c1, c2)
                           : trace_counted<false>(t, v0, v1, v2, c0, c1, c2);
}

struct ColumnRange {
  int nx;          // grid columns
  int begin, end;  // the cell columns walked, i in [begin, end)
  ColumnMarks* marks;
};

// The grid walk over a range of cell columns, with or without band pieces.
template <bool kPieces>
int walk_grid(EngineTables& t, const ColumnRange& range, int ny, int32_t* left, int32_t* right) {
  const int nx = range.nx;
  const ModelStore& m = *t.model;
  const int n = level_count(t);
  // Large mode knows the columns without values: a cell with a corner in one
  // has no value there, and neither column is read.
  const bool sparse = m.large != 0;
  auto empty = [&](int i) { return sparse && m.column_has_values[i] == 0; };
  bool left_counted = false;
  point_window_begin(t, m.grid_x.data, nx);
  // Cell (i, j) has the corners (i, j), (i+1, j), (i+1, j+1), (i, j+1); its
  // diagonal always runs from (i+1, j) to (i, j+1).
  for (int i = range.begin; i < range.end; ++i) {
    if (i > range.begin) point_window_next(t, m.grid_x.data, i);
    if (i == range.end - 1) range.marks->last_column_begin = t.point_count;
    if (empty(i) || empty(i + 1)) {
      left_counted = false;
      continue;
    }
    if (!left_counted) {
      for (int j = 1; j <= ny; ++j) left[j] = levels_at_or_below(m.grid_value[i][j], m.levels, n);
    }
    const float* value0 = m.grid_value[i];
    const float* value1 = m.grid_value[i + 1];
    const int16_t* defined0 = m.grid_defined[i];
    const int16_t* defined1 = m.grid_defined[i + 1];
    const float x0 = m.grid_x[i];
    const float x1 = m.grid_x[i + 1];
    for (int j = 1; j <= ny; ++j) right[j] = levels_at_or_below(value1[j], m.levels, n);
    for (int j = 1; j < ny; ++j) {
      if (defined0[j] == 0 || defined1[j] == 0 || defined1[j + 1] == 0 || defined0[j + 1] == 0) continue;
      // A cell whose four corners have as many levels below them crosses
      // no level: without band pieces there is nothing to do.
      if (!kPieces && left[j] == right[j] && left[j] == right[j + 1] && left[j] == left[j + 1]) continue;
      const float y0 = m.grid_y[j];
      const float y1 = m.grid_y[j + 1];
      const Vertex c00{x0, y0, value0[j]};
      const Vertex c10{x1, y0, value1[j]};
      const Vertex c11{x1, y1, value1[j + 1]};
      const Vertex c01{x0, y1, value0[j + 1]};
      if (trace_counted<kPieces>(t, c00, c10, c01, left[j], right[j], left[j + 1]) != 0) return -1;
      if (trace_counted<kPieces>(t, c10, c11, c01, right[j], right[j + 1], left[j + 1]) != 0) return -1;
    }
    std::swap(left, right);
    left_counted = true;
    if (i == range.begin) range.marks->first_column_end = t.point_count;
  }
  return 0;
}

}  // namespace

EdgePoint edge_point(float z, const Vertex& p, const Vertex& q) {
  const float d = p.v - q.v;
  if (d == 0.0f) return EdgePoint{p.x, p.y};
  // Every step rounds to single precision. The callers give the lower-valued
  // end first, so the two triangles sharing an edge get the same bits.
  const float t = (z - q.v) / d;
  const float dx = p.x - q.x;
  const float dy = p.y - q.y;
  const float x = t * dx + q.x;
  const float y = t * dy + q.y;
  if (std::isfinite(d) && std::isfinite(dx) && std::isfinite(dy) && std::isfinite(x) && std::isfinite(y)) {
    return EdgePoint{x, y};
  }
  return edge_point_wide(z, p, q);
}

bool level_range(EngineTables& t, float a, float b, int* klo, int* khi) {
  const int n = level_count(t);
  const float* levels = t.model->levels;
  if (n == 0 || a > levels[n - 1] || b < levels[0]) return false;
  *klo = levels_at_or_below(a, levels, n);
  *khi = levels_at_or_below(b, levels, n) - 1;
  return true;
}

int uncrossed_band(EngineTables& t, float v_low) {
  return uncrossed_band_counted(levels_at_or_below(v_low, t.model->levels, level_count(t)));
}

int trace_triangle(EngineTables& t, const Vertex& v0, const Vertex& v1, const Vertex& v2) {
  const int n = level_count(t);
  const float* levels = t.model->levels;
  return trace_counted(t, v0, v1, v2, levels_at_or_below(v0.v, levels, n), levels_at_or_below(v1.v, levels, n),
                       levels_at_or_below(v2.v, levels, n));
}

int grid_cell_columns(const ModelStore& m, int* ny) {
  // Points outside the value tables are undefined, so cells stop there.
  const int nx = std::min(m.grid_nx, m.value_nx);
  *ny = std::min(m.grid_ny, m.value_ny);
  return nx < 2 || *ny < 2 ? 0 : nx - 1;
}

int trace_grid(EngineTables& t) {
  int ny = 0;
  const int columns = grid_cell_columns(*t.model, &ny);
  ColumnMarks marks{};
  return trace_grid_columns(t, 1, columns + 1, &marks);
}

int trace_grid_columns(EngineTables& t, int begin, int end, ColumnMarks* marks) {
  const ModelStore& m = *t.model;
  int ny = 0;
  const int columns = grid_cell_columns(m, &ny);
  marks->first_column_end = marks->last_column_begin = t.point_count;
  if (columns == 0 || begin >= end) return 0;
  const ColumnRange range{columns + 1, begin, end, marks};
  // Levels at or below each grid point of columns i and i + 1: every point
  // serves up to six triangles, so it is counted once.
  if (!t.column_counts.reserve(2 * (int64_t{ny} + 1))) return engine_out_of_memory(t, "trace_grid");
  int32_t* left = t.column_counts.data;
  int32_t* right = left + ny + 1;
  return t.fill_band_table() ? walk_grid<true>(t, range, ny, left, right) : walk_grid<false>(t, range, ny, left, right);
}

namespace {

// Runs of at least this many triangles fill a quarter of a megabyte or more
// of band pieces (one piece or more per triangle): past that, a huge page's
// one fault costs less than the small pages' many.
constexpr int64_t kHugeRunTriangles = 5000;

int64_t triangle_estimate(EngineTables& t) {
  const ModelStore& m = *t.model;
  if (m.model_kind == kGridModel)
    return m.grid_nx > 1 && m.grid_ny > 1 ? 2 * int64_t{m.grid_nx - 1} * (m.grid_ny - 1) : 0;
  return 2 * int64_t{m.large ? m.element_slots : m.element_defined_used};
}

}  // namespace

int trace_isolines(EngineTables& t, const ModelStore& model, char* message, bool large, bool bands_wanted) {
  t.model = &model;
  t.message = message;
  t.large = large ? 1 : 0;
  t.bands_wanted = bands_wanted ? 1 : 0;
  t.limit_reached = 0;
  if (traced_in_tiles(t, model, t.large != 0)) return trace_grid_tiled(t);
  // Before the reset, which already touches the point index.
  if (!t.large && triangle_estimate(t) >= kHugeRunTriangles) advise_huge_engine_tables(t);
  reset_engine_tables(t);
  return t.model->model_kind == kGridModel ? trace_grid(t) : trace_elements(t);
}

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

#include "engine.h"
#include "input/model_store.h"

namespace {

int level_count() {
  return std::clamp(static_cast<int>(model_store.level_count), 0, kLevelSlots);
}

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

void set_corner(float* xs, float* ys, int i, float x, float y) {
  xs[i] = x;
  ys[i] = y;
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

bool level_range(float a, float b, int* klo, int* khi) {
  const int n = level_count();
  const float* levels = model_store.levels;
  if (n == 0 || a > levels[n - 1] || b < levels[0]) return false;
  // The levels ascend: the first level above a, the last level at most b.
  *klo = static_cast<int>(std::upper_bound(levels, levels + n, a) - levels);
  *khi = static_cast<int>(std::upper_bound(levels, levels + n, b) - levels) - 1;
  return true;
}

int uncrossed_band(float v_low) {
  // The first k with levels[k] <= v <= levels[k + 1] gives band k; below the
  // lowest level it is 0, above the highest level_count - 1. Both come down
  // to "one below the first level not under v", and 0 at the bottom.
  const int n = level_count();
  const float* levels = model_store.levels;
  const int j = static_cast<int>(std::lower_bound(levels, levels + n, v_low) - levels);
  return j > 0 ? j - 1 : 0;
}

int trace_triangle(const Vertex& v0, const Vertex& v1, const Vertex& v2) {
  // Sort by value; each pass takes the first of the lowest remaining values,
  // so equal values keep their argument order. Every value sorts, however
  // large.
  const Vertex* in[3] = {&v0, &v1, &v2};
  const Vertex* sorted[3];
  bool taken[3] = {false, false, false};
  for (int pass = 0; pass < 3; ++pass) {
    int pick = -1;
    for (int i = 0; i < 3; ++i) {
      if (taken[i]) continue;
      if (pick < 0 || in[i]->v < in[pick]->v) pick = i;
    }
    taken[pick] = true;
    sorted[pass] = in[pick];
  }
  const Vertex& lo = *sorted[0];
  const Vertex& mid = *sorted[1];
  const Vertex& hi = *sorted[2];

  const float* levels = model_store.levels;
  float xs[5], ys[5];
  EdgePoint a{}, b{};      // crossings of the current level
  EdgePoint a0{}, b0{};    // crossings of the level before
  int last_k = -1;         // the last level swept, -1 while none
  bool first_swept = false;
  bool second_swept = false;
  int klo, khi;

  // First sweep: levels in (lo, mid], short side lo-mid.
  if (level_range(lo.v, mid.v, &klo, &khi)) {
    for (int k = klo; k <= khi; ++k) {
      a = edge_point(levels[k], lo, mid);
      b = edge_point(levels[k], lo, hi);
      if (make_poly(a.x, a.y, b.x, b.y, k) != 0) return -1;
      int nv;
      if (k == klo) {
        set_corner(xs, ys, 0, lo.x, lo.y);
        set_corner(xs, ys, 1, a.x, a.y);
        set_corner(xs, ys, 2, b.x, b.y);
        nv = 3;
      } else {
        set_corner(xs, ys, 0, a0.x, a0.y);
        set_corner(xs, ys, 1, b0.x, b0.y);
        set_corner(xs, ys, 2, b.x, b.y);
        set_corner(xs, ys, 3, a.x, a.y);
        nv = 4;
      }
      if (add_fill_poly(k, nv, xs, ys) != 0) return -1;
      a0 = a;
      b0 = b;
      last_k = k;
      first_swept = true;
    }
  }

  // Second sweep: levels in (mid, hi], short side mid-hi.
  if (level_range(mid.v, hi.v, &klo, &khi)) {
    for (int k = klo; k <= khi; ++k) {
      a = edge_point(levels[k], mid, hi);
      b = edge_point(levels[k], lo, hi);
      if (make_poly(a.x, a.y, b.x, b.y, k) != 0) return -1;
      int nv;
      if (k == klo && !first_swept) {
        set_corner(xs, ys, 0, lo.x, lo.y);
        set_corner(xs, ys, 1, b.x, b.y);
        set_corner(xs, ys, 2, a.x, a.y);
        set_corner(xs, ys, 3, mid.x, mid.y);
        nv = 4;
      } else if (k == klo) {
        set_corner(xs, ys, 0, a0.x, a0.y);
        set_corner(xs, ys, 1, b0.x, b0.y);
        set_corner(xs, ys, 2, b.x, b.y);
        set_corner(xs, ys, 3, a.x, a.y);
        set_corner(xs, ys, 4, mid.x, mid.y);
        nv = 5;
      } else {
        set_corner(xs, ys, 0, a0.x, a0.y);
        set_corner(xs, ys, 1, b0.x, b0.y);
        set_corner(xs, ys, 2, b.x, b.y);
        set_corner(xs, ys, 3, a.x, a.y);
        nv = 4;
      }
      if (add_fill_poly(k, nv, xs, ys) != 0) return -1;
      a0 = a;
      b0 = b;
      last_k = k;
      second_swept = true;
    }
  }

  // The last piece: above the last level swept, or the whole triangle.
  if (second_swept) {
    set_corner(xs, ys, 0, a0.x, a0.y);
    set_corner(xs, ys, 1, b0.x, b0.y);
    set_corner(xs, ys, 2, hi.x, hi.y);
    return add_fill_poly(last_k + 1, 3, xs, ys);
  }
  if (first_swept) {
    set_corner(xs, ys, 0, a0.x, a0.y);
    set_corner(xs, ys, 1, b0.x, b0.y);
    set_corner(xs, ys, 2, hi.x, hi.y);
    set_corner(xs, ys, 3, mid.x, mid.y);
    return add_fill_poly(last_k + 1, 4, xs, ys);
  }
  set_corner(xs, ys, 0, lo.x, lo.y);
  set_corner(xs, ys, 1, mid.x, mid.y);
  set_corner(xs, ys, 2, hi.x, hi.y);
  return add_fill_poly(uncrossed_band(lo.v), 3, xs, ys);
}

int trace_grid() {
  const ModelStore& m = model_store;
  const int nx = std::min(static_cast<int>(m.grid_nx), kMaxGridNx);
  const int ny = std::min(static_cast<int>(m.grid_ny), kMaxGridNy);
  // Cell (i, j) has the corners (i, j), (i+1, j), (i+1, j+1), (i, j+1); its
  // diagonal always runs from (i+1, j) to (i, j+1).
  for (int i = 1; i < nx; ++i) {
    for (int j = 1; j < ny; ++j) {
      if (m.grid_defined[i][j] == 0 || m.grid_defined[i + 1][j] == 0 || m.grid_defined[i + 1][j + 1] == 0 ||
          m.grid_defined[i][j + 1] == 0) {
        continue;
      }
      const Vertex c00{m.grid_x[i], m.grid_y[j], m.grid_value[i][j]};
      const Vertex c10{m.grid_x[i + 1], m.grid_y[j], m.grid_value[i + 1][j]};
      const Vertex c11{m.grid_x[i + 1], m.grid_y[j + 1], m.grid_value[i + 1][j + 1]};
      const Vertex c01{m.grid_x[i], m.grid_y[j + 1], m.grid_value[i][j + 1]};
      if (trace_triangle(c00, c10, c01) != 0) return -1;
      if (trace_triangle(c10, c11, c01) != 0) return -1;
    }
  }
  return 0;
}

int trace_isolines() {
  reset_engine_tables();
  return model_store.model_kind == kGridModel ? trace_grid() : trace_elements();
}

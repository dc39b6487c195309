// Filled polygons: pixel centres inside, by scanlines through the centres.
//
// Each edge that is not horizontal crosses the scanline y = j + 0.5 of every
// row j with lower.y <= j + 0.5 < upper.y (its lower end counted, its upper
// end not), at an x computed from the edge's ends taken in that order, lower
// end first. Two polygons sharing an edge therefore get the same crossings
// to the bit, whichever way round each walks it. Along a row the crossings
// are sorted and the winding number summed; a pixel whose centre lies at or
// after a crossing and before the next, where the winding is not zero, is
// painted. A centre exactly on an edge so belongs to the polygon on the
// edge's right, and a centre on a horizontal edge to the polygon below it,
// and pieces of a tiling paint every pixel once.
//
// Triangles, polygons that go down once and up once (convex ones) and boxes
// along the axes take shorter ways to the very same crossings and pixels:
// each row meets one edge of each side, found by walking the two sides
// from the top vertex, and a box is a range of rows and columns.
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "raster.h"

namespace plat {

namespace {

struct Crossing {
  int32_t row;
  int32_t winding;  // +1 for an edge going down (y increasing), -1 going up
  double x;
};

// An edge that is not horizontal, lower end first.
struct Edge {
  int64_t j0, j1;  // the rows it crosses: j0 .. j1 - 1
  double lx, ly;   // its lower end
  double slope;    // dx / dy
  int32_t winding;

  double x_at(int64_t j) const { return lx + (static_cast<double>(j) + 0.5 - ly) * slope; }
};

// Polygons up to this many vertices are scanned row by row with their edges
// on the stack; larger ones through a sorted list of all their crossings.
constexpr int kSmallPolygon = 16;

// The list of crossings of a large polygon, reused from call to call on
// the same thread.
std::vector<Crossing>& crossings() {
  thread_local std::vector<Crossing> list;
  return list;
}

// The first row (or column) whose centre lies at or after v: ceil(v - 0.5),
// kept within [lo, hi] (v may be huge; it is never a NaN here). Without
// branches: the comparisons become minimum and maximum instructions.
inline int64_t first_centre_at_or_after(double v, int64_t lo, int64_t hi) {
  double c = v - 0.5;
  c = c < static_cast<double>(lo) ? static_cast<double>(lo) : c;
  c = c > static_cast<double>(hi) ? static_cast<double>(hi) : c;
  const int64_t t = static_cast<int64_t>(c);  // c >= lo >= 0: truncation is floor
  return t + (static_cast<double>(t) < c ? 1 : 0);
}

// The edge from a to b, false when it is horizontal or crosses no row.
inline bool make_edge(const POINTF& a, const POINTF& b, int64_t height, Edge& e) {
  if (a.y == b.y) return false;
  const bool down = a.y < b.y;
  const POINTF& lower = down ? a : b;
  const POINTF& upper = down ? b : a;
  e.j0 = first_centre_at_or_after(lower.y, 0, height);
  e.j1 = first_centre_at_or_after(upper.y, 0, height);
  if (e.j0 >= e.j1) return false;
  e.lx = lower.x;
  e.ly = lower.y;
  e.slope = (static_cast<double>(upper.x) - e.lx) / (static_cast<double>(upper.y) - e.ly);
  e.winding = down ? 1 : -1;
  return true;
}

// Paints the spans of one row from its crossings, sorted by x.
inline void paint_row(const Raster& r, int64_t row, const double* x, const int32_t* winding, int n,
                      uint32_t rgb) {
  uint32_t* line = r.pixels + row * r.width;
  int w = 0;
  for (int k = 0; k + 1 < n; ++k) {
    w += winding[k];
    if (w == 0) continue;
    const int64_t c0 = first_centre_at_or_after(x[k], 0, r.width);
    const int64_t c1 = first_centre_at_or_after(x[k + 1], 0, r.width);
    for (int64_t c = c0; c < c1; ++c) line[c] = rgb;
  }
}

// The pixels of row j whose centres lie between two crossings, in either
// order: what paint_row does with two crossings.
inline void paint_span(const Raster& r, int64_t j, double a, double b, uint32_t rgb) {
  const int64_t ca = first_centre_at_or_after(a, 0, r.width);
  const int64_t cb = first_centre_at_or_after(b, 0, r.width);
  uint32_t* line = r.pixels + j * r.width;
  for (int64_t c = std::min(ca, cb), end = std::max(ca, cb); c < end; ++c) line[c] = rgb;
}

// One side of a polygon that goes down once and up once: its vertices from
// the top one to the bottom one, stepping by `step` round the polygon, and
// the edge that crosses the current row.
struct Chain {
  const POINTF* points;
  int count;
  int step;     // +1 or count - 1
  int at;       // the upper end of the current edge
  int64_t end;  // the row after the current edge's last
  double lx, ly, slope;

  int next(int i) const { return i + step >= count ? i + step - count : i + step; }

  // Moves to the edge that crosses row j (which the chain reaches).
  void seek(int64_t j, int64_t height) {
    while (j >= end) {
      const POINTF& a = points[at];
      at = next(at);
      const POINTF& b = points[at];
      end = first_centre_at_or_after(b.y, 0, height);
      if (a.y == b.y) continue;
      lx = a.x;  // the lower end, as make_edge takes it
      ly = a.y;
      slope = (static_cast<double>(b.x) - lx) / (static_cast<double>(b.y) - ly);
    }
  }

  double x_at(int64_t j) const { return lx + (static_cast<double>(j) + 0.5 - ly) * slope; }
};

// Fills a polygon whose boundary goes down once and up once (every triangle
// and every convex polygon): each row it covers is crossed once by each
// side. False, painting nothing, for any other polygon.
bool fill_monotone(const Raster& r, const POINTF* points, int count, uint32_t rgb) {
  int top = 0, bottom = 0;
  for (int i = 1; i < count; ++i) {
    if (points[i].y < points[top].y) top = i;
    if (points[i].y > points[bottom].y) bottom = i;
  }
  // Round the polygon from the top: never up until the bottom, then never
  // down until the top again.
  bool descending = true;
  for (int k = 0, i = top; k < count; ++k) {
    const int j = i + 1 == count ? 0 : i + 1;
    if (i == bottom) descending = false;
    if (descending ? points[j].y < points[i].y : points[j].y > points[i].y) return false;
    i = j;
  }
  const int64_t j0 = first_centre_at_or_after(points[top].y, 0, r.height);
  const int64_t j1 = first_centre_at_or_after(points[bottom].y, 0, r.height);
  Chain side[2] = {{points, count, 1, top, j0, 0, 0, 0}, {points, count, count - 1, top, j0, 0, 0, 0}};
  for (int64_t j = j0; j < j1; ++j) {
    side[0].seek(j, r.height);
    side[1].seek(j, r.height);
    paint_span(r, j, side[0].x_at(j), side[1].x_at(j), rgb);
  }
  return true;
}

void fill_small(const Raster& r, const POINTF* points, int count, uint32_t rgb) {
  if (fill_monotone(r, points, count, rgb)) return;
  Edge edges[kSmallPolygon];
  int n = 0;
  int64_t top = r.height, bottom = 0;
  for (int i = 0; i < count; ++i) {
    Edge& e = edges[n];
    if (!make_edge(points[i], points[i + 1 == count ? 0 : i + 1], r.height, e)) continue;
    top = std::min(top, e.j0);
    bottom = std::max(bottom, e.j1);
    ++n;
  }
  double x[kSmallPolygon];
  int32_t winding[kSmallPolygon];
  for (int64_t j = top; j < bottom; ++j) {
    int m = 0;
    for (int k = 0; k < n; ++k) {
      const Edge& e = edges[k];
      if (j < e.j0 || j >= e.j1) continue;
      // Insertion by x.
      const double xk = e.x_at(j);
      int at = m++;
      while (at > 0 && x[at - 1] > xk) {
        x[at] = x[at - 1];
        winding[at] = winding[at - 1];
        --at;
      }
      x[at] = xk;
      winding[at] = e.winding;
    }
    paint_row(r, j, x, winding, m, rgb);
  }
}

// A triangle, the commonest polygon: its vertices sorted by y, the long edge
// on one side of every row and one of the two short edges on the other.
void fill_triangle(const Raster& r, POINTF a, POINTF b, POINTF c, uint32_t rgb) {
  if (b.y < a.y) std::swap(a, b);
  if (c.y < b.y) std::swap(b, c);
  if (b.y < a.y) std::swap(a, b);
  const int64_t j0 = first_centre_at_or_after(a.y, 0, r.height);
  const int64_t j1 = first_centre_at_or_after(b.y, 0, r.height);
  const int64_t j2 = first_centre_at_or_after(c.y, 0, r.height);
  if (j0 >= j2) return;
  // Each edge from its lower end, as make_edge computes it.
  const double ax = a.x, ay = a.y, bx = b.x, by = b.y;
  const double long_slope = (static_cast<double>(c.x) - ax) / (static_cast<double>(c.y) - ay);
  if (j0 < j1) {
    const double slope = (bx - ax) / (by - ay);
    for (int64_t j = j0; j < j1; ++j) {
      const double yc = static_cast<double>(j) + 0.5;
      paint_span(r, j, ax + (yc - ay) * long_slope, ax + (yc - ay) * slope, rgb);
    }
  }
  if (j1 < j2) {
    const double slope = (static_cast<double>(c.x) - bx) / (static_cast<double>(c.y) - by);
    for (int64_t j = j1; j < j2; ++j) {
      const double yc = static_cast<double>(j) + 0.5;
      paint_span(r, j, ax + (yc - ay) * long_slope, bx + (yc - by) * slope, rgb);
    }
  }
}

// Whether the four points are the corners of a box with sides along the
// axes, in either order round: its left, right, top and bottom into box.
bool axis_box(const POINTF* p, double box[4]) {
  const bool flat_first = p[0].y == p[1].y;  // the first side runs along x
  for (int i = 0; i < 4; ++i) {
    const POINTF& a = p[i];
    const POINTF& b = p[(i + 1) & 3];
    const bool along_x = (i % 2 == 0) == flat_first;
    if (along_x ? a.y != b.y : a.x != b.x) return false;
  }
  box[0] = std::min(p[0].x, p[2].x);
  box[1] = std::max(p[0].x, p[2].x);
  box[2] = std::min(p[0].y, p[2].y);
  box[3] = std::max(p[0].y, p[2].y);
  return true;
}

// A box along the axes: the rows and columns whose centres lie in [left,
// right) x [top, bottom), which is what the scanlines give for it.
void fill_axis_box(const Raster& r, const double box[4], uint32_t rgb) {
  const int64_t c0 = first_centre_at_or_after(box[0], 0, r.width);
  const int64_t c1 = first_centre_at_or_after(box[1], 0, r.width);
  const int64_t j0 = first_centre_at_or_after(box[2], 0, r.height);
  const int64_t j1 = first_centre_at_or_after(box[3], 0, r.height);
  for (int64_t j = j0; j < j1; ++j) std::fill(r.pixels + j * r.width + c0, r.pixels + j * r.width + c1, rgb);
}

void fill_large(const Raster& r, const POINTF* points, int count, uint32_t rgb) {
  std::vector<Crossing>& list = crossings();
  list.clear();
  for (int i = 0; i < count; ++i) {
    Edge e;
    if (!make_edge(points[i], points[i + 1 == count ? 0 : i + 1], r.height, e)) continue;
    for (int64_t j = e.j0; j < e.j1; ++j) list.push_back(Crossing{static_cast<int32_t>(j), e.winding, e.x_at(j)});
  }
  std::sort(list.begin(), list.end(), [](const Crossing& p, const Crossing& q) {
    return p.row != q.row ? p.row < q.row : p.x < q.x;
  });
  std::vector<double> x;
  std::vector<int32_t> winding;
  for (std::size_t k = 0; k < list.size();) {
    const int32_t row = list[k].row;
    x.clear();
    winding.clear();
    for (; k < list.size() && list[k].row == row; ++k) {
      x.push_back(list[k].x);
      winding.push_back(list[k].winding);
    }
    paint_row(r, row, x.data(), winding.data(), static_cast<int>(x.size()), rgb);
  }
}

}  // namespace

void fill_polygon(const Raster& r, const POINTF* points, int count, uint32_t rgb) {
  if (r.pixels == nullptr || count < 3 || r.width <= 0 || r.height <= 0) return;
  for (int i = 0; i < count; ++i) {
    if (!std::isfinite(points[i].x) || !std::isfinite(points[i].y)) return;
  }
  double box[4];
  if (count == 3) {
    fill_triangle(r, points[0], points[1], points[2], rgb);
  } else if (count == 4 && axis_box(points, box)) {
    fill_axis_box(r, box, rgb);
  } else if (count <= kSmallPolygon) {
    fill_small(r, points, count, rgb);
  } else {
    fill_large(r, points, count, rgb);
  }
}

}  // namespace plat

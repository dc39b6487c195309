// Filled bands: every band piece of the engine tables painted in its band's
// colour, under everything else, clipped to the frame, and recorded in
// DL_BANDS records.
//
// One pass over the band table in its order: the pieces are mapped to the
// picture with fractions, as the isolines' pixels are truncated from, so a
// piece's edge runs through the pixels of the isoline drawn along it.
// Pieces sharing an edge map it to the same two points, and the surface's
// polygon rule then paints every pixel once. Polygons are drawn and
// recorded in batches of kDlBandPolygons; within a batch each band takes
// one brush and one record. The print replay paints all band records as one
// shape per colour, whatever their order.
//
// Most of a grid's cells lie wholly in one band: their two triangles come
// as two pieces after one another, which together are the cell's rectangle.
// Such rectangles are drawn as one, and a rectangle that continues the one
// before it in the same column (same sides, its bottom the other's top) is
// added to it, so a run of whole cells is one polygon: a third of the
// polygons to draw and record. The sides of a run are straight lines
// through the corners of the pieces beside it (the grid's lines are
// straight, and stay so in the picture), so the polygon rule still paints
// every pixel along them once. Before a batch is drawn, polygons of a band
// that share an edge are joined (see join): the pieces of a crossed cell's
// two triangles become one polygon per band.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "engine/engine.h"
#include "input/model_store.h"
#include "render/run.h"
#include "shared/run_context.h"

namespace {

// A rectangle of whole cells, in model units.
struct Cells {
  float x0, x1, y0, y1;
};

struct Point {
  double x;
  double y;
};

// The points of `in` on the inside of one frame side, in order: one step of
// clipping a convex polygon. An edge that crosses the side is cut where it
// crosses, computed from its two ends in a fixed order, so the two pieces
// sharing the edge get the same point.
template <typename Inside, typename Cut>
int clip_side(const Point* in, int n, Point* out, Inside inside, Cut cut) {
  int m = 0;
  for (int i = 0; i < n; ++i) {
    const Point& p = in[i];
    const Point& q = in[i + 1 == n ? 0 : i + 1];
    const bool pin = inside(p), qin = inside(q);
    if (pin) out[m++] = p;
    if (pin != qin) {
      const bool ordered = p.x < q.x || (p.x == q.x && p.y < q.y);
      out[m++] = ordered ? cut(p, q) : cut(q, p);
    }
  }
  return m;
}

Point cut_at_x(const Point& p, const Point& q, double x) {
  const double t = (x - p.x) / (q.x - p.x);
  return Point{x, p.y + t * (q.y - p.y)};
}

Point cut_at_y(const Point& p, const Point& q, double y) {
  const double t = (y - p.y) / (q.y - p.y);
  return Point{p.x + t * (q.x - p.x), y};
}

// Clips the convex polygon pts[0..n) to the frame in place (room for
// kMaxBandCorners points): its new corner count.
int clip_to_frame(Point* pts, int n, const PixelFrame& f) {
  Point tmp[kMaxBandCorners];
  n = clip_side(pts, n, tmp, [&](const Point& p) { return p.x >= f.left; },
                [&](const Point& p, const Point& q) { return cut_at_x(p, q, f.left); });
  n = clip_side(tmp, n, pts, [&](const Point& p) { return p.x <= f.right; },
                [&](const Point& p, const Point& q) { return cut_at_x(p, q, f.right); });
  n = clip_side(pts, n, tmp, [&](const Point& p) { return p.y >= f.top; },
                [&](const Point& p, const Point& q) { return cut_at_y(p, q, f.top); });
  n = clip_side(tmp, n, pts, [&](const Point& p) { return p.y <= f.bottom; },
                [&](const Point& p, const Point& q) { return cut_at_y(p, q, f.bottom); });
  return n;
}

// Which corners of the box [x0, x1] x [y0, y1] the triangle's corners are,
// one bit each (bit 0: x0 y0, 1: x1 y0, 2: x0 y1, 3: x1 y1); 0 when one of
// them is no corner or two are the same.
unsigned box_corners(const FillPoly& t, float x0, float x1, float y0, float y1) {
  // Without branches: most pieces tested are whole cells' triangles.
  unsigned bits = 0, twice = 0, on = 1;
  for (int k = 0; k < 3; ++k) {
    const unsigned right = t.x[k] == x1, top = t.y[k] == y1;
    on &= (right | (t.x[k] == x0)) & (top | (t.y[k] == y0));
    const unsigned bit = 1u << (right + 2 * top);
    twice |= bits & bit;
    bits |= bit;
  }
  return on != 0 && twice == 0 ? bits : 0;
}

// Whether pieces a and b are the two triangles of one cell, (x0, y0) (x1, y0)
// (x0, y1) and (x1, y0) (x1, y1) (x0, y1), as the grid walk makes them (the
// corners in any order).
bool cell_pair(const FillPoly& a, const FillPoly& b, Cells* cell) {
  if (a.nvert != 3 || b.nvert != 3) return false;
  const float x0 = std::min(std::min(a.x[0], a.x[1]), a.x[2]), x1 = std::max(std::max(a.x[0], a.x[1]), a.x[2]);
  const float y0 = std::min(std::min(a.y[0], a.y[1]), a.y[2]), y1 = std::max(std::max(a.y[0], a.y[1]), a.y[2]);
  if (!(x0 < x1 && y0 < y1)) return false;
  if (box_corners(a, x0, x1, y0, y1) != 0x7u || box_corners(b, x0, x1, y0, y1) != 0xEu) return false;
  *cell = Cells{x0, x1, y0, y1};
  return true;
}


// How many polygons after one are looked at for a neighbour to join: the
// pieces of a crossed cell's two triangles come within four of each other.
constexpr int32_t kJoinReach = 4;

double area2(const POINTF* p, int n) {
  double a = 0;
  for (int k = 0; k < n; ++k) {
    const POINTF& u = p[k];
    const POINTF& v = p[k + 1 == n ? 0 : k + 1];
    a += static_cast<double>(u.x) * v.y - static_cast<double>(v.x) * u.y;
  }
  return a;
}

// Joins polygon j into polygon i when they share an edge (its two corners
// equal, bit for bit) and the union has at most kMaxBandCorners corners:
// the union is the same pixels, one polygon fewer to draw and record.
bool join(Run& r, int32_t i, int32_t j) {
  const int na = r.bands.batch.counts[i], nb = r.bands.batch.counts[j];
  if (na + nb - 2 > kMaxBandCorners) return false;
  const POINTF* a = r.bands.batch.points + r.bands.batch.first[i];
  POINTF b[kMaxBandCorners];
  std::copy(r.bands.batch.points + r.bands.batch.first[j], r.bands.batch.points + r.bands.batch.first[j] + nb, b);
  const double sa = area2(a, na), sb = area2(b, nb);
  if (sa == 0 || sb == 0) return false;
  if ((sa > 0) != (sb > 0)) std::reverse(b, b + nb);  // both the same way round
  auto same = [](const POINTF& p, const POINTF& q) { return p.x == q.x && p.y == q.y; };
  for (int k = 0; k < na; ++k) {
    const POINTF& u = a[k];
    const POINTF& v = a[k + 1 == na ? 0 : k + 1];
    for (int m = 0; m < nb; ++m) {
      // The shared edge runs u -> v in a and v -> u in b.
      if (!same(b[m], v) || !same(b[m + 1 == nb ? 0 : m + 1], u)) continue;
      POINTF* out = r.bands.batch.points + r.bands.batch.used;
      int n = 0;
      for (int t = 1; t <= na; ++t) out[n++] = a[(k + t) % na];       // v round a to u
      for (int t = 2; t < nb; ++t) out[n++] = b[(m + t) % nb];        // on round b, short of v
      r.bands.batch.first[i] = r.bands.batch.used;
      r.bands.batch.counts[i] = n;
      r.bands.batch.used += n;
      r.bands.batch.band[j] = -1;
      return true;
    }
  }
  return false;
}

// Begins band b's group on a surface that takes exact paths: id band-B, the
// values of the levels below and above it in data-low and data-high (each
// left out at its end of the scale).
void begin_band_group(const Run& r, HDC dc, int32_t b) {
  char id[24], attributes[96];
  std::snprintf(id, sizeof id, "band-%d", static_cast<int>(b));
  std::size_t used = 0;
  auto put_value = [&](const char* name, int32_t k) {
    if (k < 0 || k >= r.model->level_count || !std::isfinite(r.model->levels[k])) return;
    char value[32];
    *std::to_chars(value, value + sizeof value - 1, r.model->levels[k]).ptr = '\0';
    const int n = std::snprintf(attributes + used, sizeof attributes - used, "%s%s=\"%s\"", used > 0 ? " " : "",
                                name, value);
    if (n > 0 && used + static_cast<std::size_t>(n) < sizeof attributes) used += static_cast<std::size_t>(n);
  };
  attributes[0] = '\0';
  put_value("data-low", b - 1);
  put_value("data-high", b);
  BeginGroup(dc, id, attributes);
}

// Fills and records the batch, band by band: one brush and one record each.
void flush_batch(Run& r, HDC dc) {
  for (int32_t i = 0; i < r.bands.batch.polygons; ++i) {
    if (r.bands.batch.band[i] < 0) continue;
    for (int32_t j = i + 1; j < r.bands.batch.polygons && j <= i + kJoinReach; ++j)
      if (r.bands.batch.band[j] == r.bands.batch.band[i]) join(r, i, j);
  }
  int32_t polygons[kLevelSlots + 2] = {}, corners[kLevelSlots + 2] = {};
  for (int32_t i = 0; i < r.bands.batch.polygons; ++i) {
    if (r.bands.batch.band[i] < 0) continue;
    ++polygons[r.bands.batch.band[i] + 1];
    corners[r.bands.batch.band[i] + 1] += r.bands.batch.counts[i];
  }
  for (int32_t b = 0; b < r.bands.in_use; ++b) {
    polygons[b + 1] += polygons[b];
    corners[b + 1] += corners[b];
  }
  int32_t next_polygon[kLevelSlots + 1], next_corner[kLevelSlots + 1];
  std::copy(polygons, polygons + r.bands.in_use, next_polygon);
  std::copy(corners, corners + r.bands.in_use, next_corner);
  for (int32_t i = 0; i < r.bands.batch.polygons; ++i) {
    const int32_t b = r.bands.batch.band[i];
    if (b < 0) continue;
    r.bands.sorted.counts[next_polygon[b]++] = r.bands.batch.counts[i];
    std::copy(r.bands.batch.points + r.bands.batch.first[i], r.bands.batch.points + r.bands.batch.first[i] + r.bands.batch.counts[i],
              r.bands.sorted.points + next_corner[b]);
    next_corner[b] += r.bands.batch.counts[i];
  }
  const bool groups = SurfaceTakesExactPaths(dc) != 0;
  for (int32_t b = 0; b < r.bands.in_use; ++b) {
    const int32_t n = polygons[b + 1] - polygons[b];
    if (n == 0) continue;
    SelectObject(dc, r.bands.brushes[b]);
    if (groups) begin_band_group(r, dc, b);
    FillPolygons(dc, r.bands.sorted.points + corners[b], r.bands.sorted.counts + polygons[b], n);
    if (groups) EndGroup(dc);
    dl_bands(r, r.bands.colours[b], r.bands.sorted.points + corners[b], r.bands.sorted.counts + polygons[b], n);
  }
  r.bands.batch.polygons = 0;
  r.bands.batch.used = 0;
}

// Maps a polygon of n corners (at most 5, in model units) into the picture,
// clips it to the frame and adds it to the r.bands.batch.
void add_polygon(Run& r, int32_t band, const float* xs, const float* ys, int n, const PixelFrame& f, HDC dc) {
  if (r.bands.batch.polygons == kDlBandPolygons) flush_batch(r, dc);
  POINTF* out = r.bands.batch.points + r.bands.batch.used;
  bool inside = true;
  for (int k = 0; k < n; ++k) {
    const double x = f.left + f.kx * (static_cast<double>(xs[k]) - f.x0);
    const double y = f.bottom + f.ky * (static_cast<double>(ys[k]) - f.y0);
    // A NaN fails every comparison: such a polygon is clipped away whole.
    inside = inside && x >= f.left && x <= f.right && y >= f.top && y <= f.bottom;
    out[k] = POINTF{static_cast<float>(x), static_cast<float>(y)};
  }
  int m = n;
  if (!inside) {
    Point pts[kMaxBandCorners];
    for (int k = 0; k < n; ++k) pts[k] = Point{out[k].x, out[k].y};
    m = clip_to_frame(pts, n, f);
    for (int k = 0; k < m; ++k) out[k] = POINTF{static_cast<float>(pts[k].x), static_cast<float>(pts[k].y)};
  }
  if (m < 3) return;
  r.bands.batch.band[r.bands.batch.polygons] = band;
  r.bands.batch.first[r.bands.batch.polygons] = r.bands.batch.used;
  r.bands.batch.counts[r.bands.batch.polygons++] = m;
  r.bands.batch.used += m;
}

void add_cells(Run& r, int32_t band, const Cells& c, const PixelFrame& f, HDC dc) {
  const float xs[4] = {c.x0, c.x1, c.x1, c.x0};
  const float ys[4] = {c.y0, c.y0, c.y1, c.y1};
  add_polygon(r, band, xs, ys, 4, f, dc);
}

}  // namespace

void draw_bands(Run& r) {
  const EngineTables& E = r.engine;
  const int32_t levels = r.model->level_count;
  if (levels <= 0 || levels > kMaxLevels || E.fill_poly_count <= 0) return;
  const int32_t bands = levels + 1;
  r.bands.in_use = bands;
  const PixelFrame f = pixel_frame(r);
  HDC dc = r.ctx.run_hdc;
  for (int32_t b = 0; b < bands; ++b) {
    r.bands.colours[b] = band_colour(*r.model, b, r.style);
    r.bands.brushes[b] = CreateSolidBrush(r.bands.colours[b]);
  }
  // flush_batch selects the band brushes in turn.
  HGDIOBJ old_brush = SelectObject(dc, r.bands.brushes[0]);
  r.bands.batch.polygons = 0;
  r.bands.batch.used = 0;

  Cells run{};
  int32_t run_band = -1;  // the band of the run of cells being gathered, -1 none
  for (int32_t i = 0; i < E.fill_poly_count;) {
    const FillPoly& piece = E.fill_poly[i];
    const int32_t b = piece.band;
    if (b < 0 || b >= bands) {
      ++i;
      continue;
    }
    Cells cell;
    if (i + 1 < E.fill_poly_count && E.fill_poly[i + 1].band == b && cell_pair(piece, E.fill_poly[i + 1], &cell)) {
      i += 2;
      if (run_band == b && run.x0 == cell.x0 && run.x1 == cell.x1 && run.y1 == cell.y0) {
        run.y1 = cell.y1;
        continue;
      }
      if (run_band >= 0) add_cells(r, run_band, run, f, dc);
      run = cell;
      run_band = b;
      continue;
    }
    if (run_band >= 0) add_cells(r, run_band, run, f, dc);
    run_band = -1;
    add_polygon(r, b, piece.x, piece.y, std::clamp(static_cast<int>(piece.nvert), 0, 5), f, dc);
    ++i;
  }
  if (run_band >= 0) add_cells(r, run_band, run, f, dc);
  flush_batch(r, dc);
  SelectObject(dc, old_brush);
  for (int32_t b = 0; b < bands; ++b) DeleteObject(r.bands.brushes[b]);
}

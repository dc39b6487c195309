// The domain's outline: the model's boundary rings drawn as lines, and the
// test that keeps a label's text inside the domain.
//
// The test works in picture pixels on the closed rings' sides, grouped in
// bands of rows so that a point or a box looks only at the sides beside it:
// a box lies inside the domain when its centre does (an odd number of sides
// crossed on the way to the right) and no side touches the box.
#include <algorithm>
#include <cmath>
#include <new>

#include "input/mesh_boundary.h"
#include "input/model_store.h"
#include "render/run.h"

namespace {

// Whether the segment (x1, y1)-(x2, y2) meets the box [l, r] x [t, b]
// (Liang and Barsky's clipping: some part of the segment survives).
bool segment_meets_box(double x1, double y1, double x2, double y2, double l, double t, double r, double b) {
  double lo = 0.0, hi = 1.0;
  const double dx = x2 - x1, dy = y2 - y1;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x1 - l, r - x1, y1 - t, b - y1};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0.0) {
      if (q[i] < 0.0) return false;
      continue;
    }
    const double u = q[i] / p[i];
    if (p[i] < 0.0) lo = std::max(lo, u);
    else hi = std::min(hi, u);
    if (lo > hi) return false;
  }
  return true;
}

int32_t bucket_of(const OutlineState& o, double y) {
  const double q = std::floor((y - o.bucket_top) / kOutlineBucketPixels);
  if (!(q >= 0.0)) return 0;
  return q >= o.buckets - 1 ? o.buckets - 1 : static_cast<int32_t>(q);
}

bool point_inside(const OutlineState& o, double x, double y) {
  const int32_t k = bucket_of(o, y);
  bool inside = false;
  for (int32_t i = o.bucket_first[k]; i < o.bucket_first[k + 1]; ++i) {
    const double* s = &o.sides[4 * static_cast<std::size_t>(o.bucket_sides[i])];
    if ((s[1] > y) == (s[3] > y)) continue;
    const double cx = s[0] + (y - s[1]) * (s[2] - s[0]) / (s[3] - s[1]);
    if (cx > x) inside = !inside;
  }
  return inside;
}

bool box_inside(const OutlineState& o, double l, double t, double r, double b) {
  if (!point_inside(o, (l + r) / 2, (t + b) / 2)) return false;
  const int32_t k0 = bucket_of(o, t), k1 = bucket_of(o, b);
  for (int32_t k = k0; k <= k1; ++k)
    for (int32_t i = o.bucket_first[k]; i < o.bucket_first[k + 1]; ++i) {
      const double* s = &o.sides[4 * static_cast<std::size_t>(o.bucket_sides[i])];
      if (segment_meets_box(s[0], s[1], s[2], s[3], l, t, r, b)) return false;
    }
  return true;
}

// The closed rings' sides in pixels, bucketed by rows.
void index_sides(Run& r, const PixelFrame& f) {
  OutlineState& o = r.outline;
  const BoundaryRings& rings = o.rings;
  o.sides.clear();
  auto pixel = [&](int64_t id, double* x, double* y) {
    float mx, my;
    boundary_node_xy(*r.model, id, &mx, &my);
    *x = f.left + f.kx * (static_cast<double>(mx) - f.x0);
    *y = f.bottom + f.ky * (static_cast<double>(my) - f.y0);
  };
  double top = INFINITY, bottom = -INFINITY;
  for (int64_t ring = 0; ring < rings.rings(); ++ring) {
    if (!rings.closed[static_cast<std::size_t>(ring)]) continue;
    const int64_t s = rings.start[static_cast<std::size_t>(ring)], e = rings.start[static_cast<std::size_t>(ring) + 1];
    for (int64_t i = s; i < e; ++i) {
      double x1, y1, x2, y2;
      pixel(rings.nodes[static_cast<std::size_t>(i)], &x1, &y1);
      pixel(rings.nodes[static_cast<std::size_t>(i + 1 < e ? i + 1 : s)], &x2, &y2);
      if (!(std::isfinite(x1) && std::isfinite(y1) && std::isfinite(x2) && std::isfinite(y2))) continue;
      o.sides.insert(o.sides.end(), {x1, y1, x2, y2});
      top = std::min({top, y1, y2});
      bottom = std::max({bottom, y1, y2});
    }
  }
  const std::size_t count = o.sides.size() / 4;
  if (count == 0) return;
  // Rows beyond the picture's share one bucket at each end.
  o.bucket_top = std::max(top, -1.0);
  const double rows = std::min(bottom, static_cast<double>(r.ctx.plot_height) + 1.0) - o.bucket_top;
  o.buckets = static_cast<int32_t>(std::max(0.0, rows) / kOutlineBucketPixels) + 1;
  o.bucket_first.assign(static_cast<std::size_t>(o.buckets) + 1, 0);
  for (int pass = 0; pass < 2; ++pass) {
    std::vector<int32_t> fill(o.bucket_first.begin(), o.bucket_first.end() - 1);
    for (std::size_t i = 0; i < count; ++i) {
      const double* s = &o.sides[4 * i];
      const int32_t k0 = bucket_of(o, std::min(s[1], s[3])), k1 = bucket_of(o, std::max(s[1], s[3]));
      for (int32_t k = k0; k <= k1; ++k) {
        if (pass == 0) ++o.bucket_first[static_cast<std::size_t>(k) + 1];
        else o.bucket_sides[static_cast<std::size_t>(fill[static_cast<std::size_t>(k)]++)] = static_cast<int32_t>(i);
      }
    }
    if (pass == 0) {
      for (int32_t k = 0; k < o.buckets; ++k) o.bucket_first[static_cast<std::size_t>(k) + 1] += o.bucket_first[static_cast<std::size_t>(k)];
      o.bucket_sides.assign(static_cast<std::size_t>(o.bucket_first.back()), 0);
    }
  }
  o.ready = 1;
}

}  // namespace

void draw_outline(Run& r) {
  OutlineState& o = r.outline;
  o.ready = 0;
  if (r.style.outline == 0) return;
  const ModelStore& m = *r.model;
  const bool found = m.model_kind == kFemModel ? mesh_boundary(m, o.rings) : grid_boundary(m, o.rings);
  if (!found) return;  // no memory for it: the picture goes without

  HDC dc = r.ctx.run_hdc;
  HPEN pen = CreatePen(PS_SOLID, kOutlineWidth, kWhite);
  HGDIOBJ old_pen = SelectObject(dc, pen);
  const float xmin = m.extent_xmin, ymin = m.extent_ymin;
  const float w = static_cast<float>(static_cast<double>(m.extent_xmax) - xmin);
  const float h = static_cast<float>(static_cast<double>(m.extent_ymax) - ymin);
  const BoundaryRings& rings = o.rings;
  for (int64_t ring = 0; ring < rings.rings(); ++ring) {
    const int64_t s = rings.start[static_cast<std::size_t>(ring)], e = rings.start[static_cast<std::size_t>(ring) + 1];
    const int64_t last = rings.closed[static_cast<std::size_t>(ring)] ? e : e - 1;
    for (int64_t i = s; i < last; ++i) {
      float x1, y1, x2, y2;
      boundary_node_xy(m, rings.nodes[static_cast<std::size_t>(i)], &x1, &y1);
      boundary_node_xy(m, rings.nodes[static_cast<std::size_t>(i + 1 < e ? i + 1 : s)], &x2, &y2);
      const int32_t clipped = line_clip(xmin, ymin, w, h, x1, y1, x2, y2);
      if (clipped < 0 || clipped > 3) continue;
      const int32_t X1 = map_x(r, x1), Y1 = map_y(r, y1), X2 = map_x(r, x2), Y2 = map_y(r, y2);
      MoveToEx(dc, X1, Y1, nullptr);
      LineTo(dc, X2, Y2);
      dl_line(r, kOutlineWidth, X1, Y1, X2, Y2);
    }
  }
  SelectObject(dc, old_pen);
  DeleteObject(pen);

  try {
    index_sides(r, pixel_frame(r));
  } catch (const std::bad_alloc&) {
    o.ready = 0;  // labels are then placed as without an outline
  }
}

bool place_label_in_domain(Run& r, int32_t px, int32_t py, int32_t width, int32_t height, int32_t& column,
                           int32_t& row) {
  const OutlineState& o = r.outline;
  if (r.style.outline == 0 || !o.ready) return true;
  auto fits = [&](double c, double t) { return box_inside(o, c, t, c + width - 1, t + height - 1); };
  if (fits(column, row)) return true;
  // Around the point: beside it, above and below it, at its corners; then
  // the same a little farther out, for a point at a narrow neck.
  const double x = px, y = py, wd = width, ht = height;
  for (double gap : {4.0, 12.0}) {
    const double places[8][2] = {
        {x + gap, y - ht / 2},       {x - wd - gap, y - ht / 2}, {x - wd / 2, y - ht - gap},
        {x - wd / 2, y + gap},       {x + gap, y - ht - gap},    {x - wd - gap, y - ht - gap},
        {x + gap, y + gap},          {x - wd - gap, y + gap},
    };
    for (const auto& p : places) {
      const double c = std::floor(p[0]), t = std::floor(p[1]);
      if (fits(c, t)) {
        column = trunc_to_int(c);
        row = trunc_to_int(t);
        return true;
      }
    }
  }
  return false;
}

#include "literal_engine.h"

#include <cstring>

#include "default_objects.h"
#include "isovar_messages.h"

namespace literal {

Tables tables;
std::vector<TracedSegment> traced;

namespace {

Tables& t = tables;

void fail_text(const char* text) { copy_message(t.message_buffer, kMessageBufferSize, text); }

// ---- Points and rows, scanned from the newest entry backwards ----

int scan_or_add_point(float x, float y, int k) {
  for (int s = t.point_count - 1; s >= 1; --s) {
    if (t.iso_points[s].x == x && t.iso_points[s].y == y && t.iso_points[s].level == k) return s;
  }
  if (t.point_count >= kPointSlots) return 0;
  int s = t.point_count++;
  t.iso_points[s] = IsoPoint{x, y, k};
  return -s;
}

int scan_pline_end(int p, PlineEnd* end) {
  for (int n = t.pline_total - 1; n >= 0; --n) {
    if (t.pline_count[n] <= 0 || t.pline_closed[n]) continue;  // a ring ends no row
    if (t.pline_points[n][0] == p) {
      *end = kPlineHead;
      return n;
    }
    if (t.pline_points[n][t.pline_count[n] - 1] == p) {
      *end = kPlineTail;
      return n;
    }
  }
  return -1;
}

int grow_pline(int n, PlineEnd end, int p) {
  int c = t.pline_count[n];
  if (c + 1 >= kMaxPlinePoints) return -1;
  if (end == kPlineTail) {
    t.pline_points[n][c] = p;
  } else {
    for (int i = c; i > 0; --i) t.pline_points[n][i] = t.pline_points[n][i - 1];
    t.pline_points[n][0] = p;
  }
  t.pline_count[n] = c + 1;
  return 0;
}

bool scan_links(int p, int q) {
  for (int l = t.link_count - 1; l >= 0; --l) {
    if ((t.link_a[l] == p && t.link_b[l] == q) || (t.link_a[l] == q && t.link_b[l] == p)) return true;
  }
  return false;
}

void keep_link(int p, int q) {
  t.link_a[t.link_count] = p;
  t.link_b[t.link_count] = q;
  ++t.link_count;
}

// A new row p1, p2. With all 1500 rows in use, the emptied ones are squeezed
// out first (the others copied down in their order).
int new_row(int p1, int p2, int k) {
  if (t.pline_total >= 1500) {
    int live = 0;
    for (int n = 0; n < t.pline_total; ++n) {
      if (t.pline_count[n] <= 0) continue;
      if (live != n) {
        std::memcpy(t.pline_points[live], t.pline_points[n], sizeof(int) * t.pline_count[n]);
        t.pline_count[live] = t.pline_count[n];
        t.pline_level[live] = t.pline_level[n];
        t.pline_closed[live] = t.pline_closed[n];
      }
      ++live;
    }
    if (live >= 1500) {
      put_message(t.message_buffer, kMessageBufferSize, msg::make_poly_too_many_plines, 1500);
      return -1;
    }
    t.pline_total = live;
  }
  int n = t.pline_total++;
  t.pline_level[n] = k;
  t.pline_points[n][0] = p1;
  t.pline_points[n][1] = p2;
  t.pline_count[n] = 2;
  t.pline_closed[n] = 0;
  keep_link(p1, p2);
  return 0;
}

int join_plines(int p1, int p2) {
  PlineEnd ea, eb;
  int a = scan_pline_end(p1, &ea);
  int b = scan_pline_end(p2, &eb);
  if (a < 0 || b < 0) return new_row(p1, p2, t.iso_points[p1].level);
  int* pa = t.pline_points[a];
  int* pb = t.pline_points[b];
  int ca = t.pline_count[a];
  int cb = t.pline_count[b];
  if (a == b) {
    bool ends = (p1 == pa[0] && p2 == pa[ca - 1]) || (p1 == pa[ca - 1] && p2 == pa[0]);
    if (ends && pa[0] != pa[ca - 1]) {
      pa[ca] = pa[0];
      t.pline_count[a] = ca + 1;
      t.pline_closed[a] = 1;
      keep_link(p1, p2);
      return 0;
    }
    fail_text(msg::connect_same_pline);
    return -1;
  }
  if (ca + cb >= kMaxPlinePoints) {
    fail_text(msg::connect_too_many_points);
    return -1;
  }
  int joined[kMaxPlinePoints];
  int m = 0;
  if (ea == kPlineTail && eb == kPlineTail) {
    for (int i = 0; i < ca; ++i) joined[m++] = pa[i];
    for (int i = cb - 1; i >= 0; --i) joined[m++] = pb[i];
  } else if (ea == kPlineTail) {
    for (int i = 0; i < ca; ++i) joined[m++] = pa[i];
    for (int i = 0; i < cb; ++i) joined[m++] = pb[i];
  } else if (eb == kPlineTail) {
    for (int i = 0; i < cb; ++i) joined[m++] = pb[i];
    for (int i = 0; i < ca; ++i) joined[m++] = pa[i];
  } else {
    for (int i = ca - 1; i >= 0; --i) joined[m++] = pa[i];
    for (int i = 0; i < cb; ++i) joined[m++] = pb[i];
  }
  int kept = ea == kPlineTail ? a : b;
  int gone = kept == a ? b : a;
  std::memcpy(t.pline_points[kept], joined, sizeof(int) * m);
  t.pline_count[kept] = m;
  t.pline_count[gone] = 0;
  if (joined[0] == joined[m - 1]) t.pline_closed[kept] = 1;  // the other ends met too
  keep_link(p1, p2);
  return 0;
}

// ---- Tracing ----

struct V {
  float x, y, v;
};

bool level_range(float a, float b, int* klo, int* khi) {
  int n = model_store.level_count;
  const float* lv = model_store.levels;
  if (n == 0 || a > lv[n - 1] || b < lv[0]) return false;
  *klo = n;
  for (int k = 0; k < n; ++k) {
    if (lv[k] > a) {
      *klo = k;
      break;
    }
  }
  *khi = -1;
  for (int k = n - 1; k >= 0; --k) {
    if (lv[k] <= b) {
      *khi = k;
      break;
    }
  }
  return true;
}

void edge(float z, const V& p, const V& q, float* x, float* y) {
  float d = p.v - q.v;
  if (d == 0.0f) {
    *x = p.x;
    *y = p.y;
    return;
  }
  float tt = (z - q.v) / d;
  float dx = p.x - q.x;
  float dy = p.y - q.y;
  *x = tt * dx + q.x;
  *y = tt * dy + q.y;
}

int piece(int band, int nv, const float* xs, const float* ys) { return add_fill_poly(band, nv, xs, ys); }

int triangle(const V& v0, const V& v1, const V& v2) {
  const V* in[3] = {&v0, &v1, &v2};
  const V* s[3] = {nullptr, nullptr, nullptr};
  bool used[3] = {false, false, false};
  for (int pass = 0; pass < 3; ++pass) {
    float min = 1e30f;
    int pick = -1;
    for (int i = 0; i < 3; ++i) {
      if (!used[i] && in[i]->v < min) {
        min = in[i]->v;
        pick = i;
      }
    }
    used[pick] = true;
    s[pass] = in[pick];
  }
  const V &L = *s[0], &M = *s[1], &H = *s[2];
  const float* lv = model_store.levels;
  float ax = 0, ay = 0, bx = 0, by = 0, pax = 0, pay = 0, pbx = 0, pby = 0;
  int n1 = 0, n2 = 0, last = 0, klo, khi;
  if (level_range(L.v, M.v, &klo, &khi)) {
    for (int k = klo; k <= khi; ++k) {
      edge(lv[k], L, M, &ax, &ay);
      edge(lv[k], L, H, &bx, &by);
      if (make_poly(ax, ay, bx, by, k) != 0) return -1;
      if (n1 == 0) {
        float xs[5] = {L.x, ax, bx}, ys[5] = {L.y, ay, by};
        if (piece(k, 3, xs, ys) != 0) return -1;
      } else {
        float xs[5] = {pax, pbx, bx, ax}, ys[5] = {pay, pby, by, ay};
        if (piece(k, 4, xs, ys) != 0) return -1;
      }
      pax = ax, pay = ay, pbx = bx, pby = by;
      ++n1;
      last = k;
    }
  }
  if (level_range(M.v, H.v, &klo, &khi)) {
    for (int k = klo; k <= khi; ++k) {
      edge(lv[k], M, H, &ax, &ay);
      edge(lv[k], L, H, &bx, &by);
      if (make_poly(ax, ay, bx, by, k) != 0) return -1;
      if (n2 == 0 && n1 == 0) {
        float xs[5] = {L.x, bx, ax, M.x}, ys[5] = {L.y, by, ay, M.y};
        if (piece(k, 4, xs, ys) != 0) return -1;
      } else if (n2 == 0) {
        float xs[5] = {pax, pbx, bx, ax, M.x}, ys[5] = {pay, pby, by, ay, M.y};
        if (piece(k, 5, xs, ys) != 0) return -1;
      } else {
        float xs[5] = {pax, pbx, bx, ax}, ys[5] = {pay, pby, by, ay};
        if (piece(k, 4, xs, ys) != 0) return -1;
      }
      pax = ax, pay = ay, pbx = bx, pby = by;
      ++n2;
      last = k;
    }
  }
  if (n2 > 0) {
    float xs[5] = {pax, pbx, H.x}, ys[5] = {pay, pby, H.y};
    return piece(last + 1, 3, xs, ys);
  }
  if (n1 > 0) {
    float xs[5] = {pax, pbx, H.x, M.x}, ys[5] = {pay, pby, H.y, M.y};
    return piece(last + 1, 4, xs, ys);
  }
  // No level crosses: the band is the number of levels at or below the
  // lowest value.
  int band = 0;
  for (int k = 0; k < model_store.level_count; ++k) {
    if (lv[k] <= L.v) ++band;
  }
  float xs[5] = {L.x, M.x, H.x}, ys[5] = {L.y, M.y, H.y};
  return piece(band, 3, xs, ys);
}

int grid() {
  const ModelStore& m = model_store;
  for (int i = 1; i <= m.grid_nx - 1; ++i) {
    for (int j = 1; j <= m.grid_ny - 1; ++j) {
      if (!m.grid_defined[i][j] || !m.grid_defined[i + 1][j] || !m.grid_defined[i + 1][j + 1] ||
          !m.grid_defined[i][j + 1])
        continue;
      V a{m.grid_x[i], m.grid_y[j], m.grid_value[i][j]};
      V b{m.grid_x[i + 1], m.grid_y[j], m.grid_value[i + 1][j]};
      V c{m.grid_x[i + 1], m.grid_y[j + 1], m.grid_value[i + 1][j + 1]};
      V d{m.grid_x[i], m.grid_y[j + 1], m.grid_value[i][j + 1]};
      if (triangle(a, b, d) != 0) return -1;
      if (triangle(b, c, d) != 0) return -1;
    }
  }
  return 0;
}

V node(int n) { return V{model_store.node_x[n], model_store.node_y[n], model_store.node_value[n]}; }

int elements() {
  const ModelStore& m = model_store;
  for (int e = 0; e <= 99999; ++e) {
    if (!m.element_defined[e]) continue;
    int32_t nodes[4];
    int c = 0;
    while (c < 4 && m.element_nodes[e][c] >= 0) {
      nodes[c] = m.element_nodes[e][c];
      ++c;
    }
    bool ok = c >= 3;
    for (int i = 0; i < c; ++i) {
      if (nodes[i] > 99999 || m.node_state[nodes[i]] != 2) ok = false;
    }
    if (!ok) continue;
    if (c == 4) {
      if (check_element_shape(e, nodes) != 0) {
        copy_message(t.message_buffer, kMessageBufferSize, run_context.message_buffer);
        return -1;
      }
      if (triangle(node(nodes[0]), node(nodes[1]), node(nodes[2])) != 0) return -1;
      if (triangle(node(nodes[2]), node(nodes[3]), node(nodes[0])) != 0) return -1;
    } else if (triangle(node(nodes[0]), node(nodes[1]), node(nodes[2])) != 0) {
      return -1;
    }
  }
  return 0;
}

}  // namespace

void reset() {
  t.point_count = 1;
  t.pline_total = 0;
  t.fill_poly_count = 0;
  t.link_count = 0;
  traced.clear();
}

int make_poly(float x1, float y1, float x2, float y2, int k) {
  traced.push_back(TracedSegment{x1, y1, x2, y2, k});
  if (x1 == x2 && y1 == y2) return 0;
  int p1 = scan_or_add_point(x1, y1, k);
  if (p1 == 0) {
    put_message(t.message_buffer, kMessageBufferSize, msg::make_poly_too_many_points, 100000);
    return -1;
  }
  int p2 = scan_or_add_point(x2, y2, k);
  if (p2 == 0) {
    put_message(t.message_buffer, kMessageBufferSize, msg::make_poly_too_many_points, 100000);
    return -1;
  }
  if (p1 > 0 && p2 > 0) {
    if (scan_links(p1, p2)) return 0;
    return join_plines(p1, p2);
  }
  PlineEnd end;
  if (p1 > 0) {
    int n = scan_pline_end(p1, &end);
    if (n < 0) return new_row(p1, -p2, k);
    if (grow_pline(n, end, -p2) != 0) {
      fail_text(msg::make_poly_overflow_1);
      return -1;
    }
    keep_link(p1, -p2);
    return 0;
  }
  if (p2 > 0) {
    int n = scan_pline_end(p2, &end);
    if (n < 0) return new_row(-p1, p2, k);
    if (grow_pline(n, end, -p1) != 0) {
      fail_text(msg::make_poly_overflow_2);
      return -1;
    }
    keep_link(-p1, p2);
    return 0;
  }
  return new_row(-p1, -p2, k);
}

int add_fill_poly(int band, int nvert, const float x[5], const float y[5]) {
  FillPoly& f = t.fill_poly[t.fill_poly_count];
  f.band = band;
  f.nvert = nvert;
  for (int v = 0; v < nvert; ++v) {
    f.x[v] = x[v];
    f.y[v] = y[v];
  }
  t.fill_poly_count++;
  if (t.fill_poly_count >= 100000) {
    fail_text(msg::fill_poly_too_many);
    return -1;
  }
  return 0;
}

int trace_isolines() {
  reset();
  return model_store.model_kind == 0 ? grid() : elements();
}

}  // namespace literal

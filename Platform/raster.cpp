// Pixel rules of the drawing surface. Lines are clipped to the buffer before
// anything is stepped, with the exact integer formula of the pixel positions,
// so a line from INT_MIN to INT_MAX costs what its visible part costs and
// paints exactly the pixels the unclipped line would.
#include "raster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace plat {

namespace {

using i128 = __int128;

// Division rounding down and up; b > 0.
i128 floor_div(i128 a, i128 b) {
  i128 q = a / b;
  if (a % b != 0 && a < 0) --q;
  return q;
}
i128 ceil_div(i128 a, i128 b) { return -floor_div(-a, b); }

int64_t clamp64(int64_t v, int64_t lo, int64_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

// The largest s with s * s <= n.
i128 isqrt(i128 n) {
  if (n <= 0) return 0;
  if (n < (i128{1} << 52)) {
    int64_t s = static_cast<int64_t>(std::sqrt(static_cast<double>(n)));
    const int64_t m = static_cast<int64_t>(n);
    while (s * s > m) --s;
    while ((s + 1) * (s + 1) <= m) ++s;
    return s;
  }
  i128 s = static_cast<i128>(std::sqrt(static_cast<long double>(n)));
  while (s * s > n) --s;
  while ((s + 1) * (s + 1) <= n) ++s;
  return s;
}

// The stroke of a wide pen in half-pixel units: pixel (i, j) has its centre
// at (2i + 1, 2j + 1), the radius is the pen width.
struct Capsule {
  int64_t px, py, qx, qy;  // the segment's ends
  int64_t dx, dy;          // q - p
  i128 len2;               // |q - p|^2
  i128 len_floor;          // floor(sqrt(len2))
  int64_t radius;

  // Whether the centre of pixel (i, j) lies within the radius of the segment,
  // decided exactly in integers.
  bool covers(int64_t i, int64_t j) const {
    const int64_t cx = 2 * i + 1, cy = 2 * j + 1;
    const i128 vx = cx - px, vy = cy - py;
    const i128 r2 = i128{radius} * radius;
    const i128 t = vx * dx + vy * dy;
    if (t <= 0) return vx * vx + vy * vy <= r2;
    if (t >= len2) {
      const i128 wx = cx - qx, wy = cy - qy;
      return wx * wx + wy * wy <= r2;
    }
    // Distance to the line: |cross| / len <= radius. cross^2 can pass 128 bits
    // for far ends, so settle the clear cases against floor(len) first; what
    // is left has |cross| <= radius * (floor(len) + 1), whose square fits.
    i128 cross = vx * dy - vy * dx;
    if (cross < 0) cross = -cross;
    if (cross <= radius * len_floor) return true;
    if (cross > radius * (len_floor + 1)) return false;
    return cross * cross <= r2 * len2;
  }

  // The same for ends within 2^24 half-pixels of the origin and a pixel on
  // the surface: every product fits 64 bits but the last two, which take one
  // widening multiply each.
  bool covers_near(int64_t i, int64_t j) const {
    const int64_t vx = 2 * i + 1 - px, vy = 2 * j + 1 - py;
    const int64_t r2 = radius * radius;
    const int64_t t = vx * dx + vy * dy;
    const int64_t l2 = static_cast<int64_t>(len2);
    if (t <= 0) return vx * vx + vy * vy <= r2;
    if (t >= l2) {
      const int64_t wx = 2 * i + 1 - qx, wy = 2 * j + 1 - qy;
      return wx * wx + wy * wy <= r2;
    }
    const int64_t cross = vx * dy - vy * dx;
    return i128{cross} * cross <= i128{r2} * l2;
  }
};

// Paints the rows jlo .. jhi of a stroke. Each row's span is estimated in
// floating point and then settled with the exact test; the stroke is convex,
// so a row's pixels are one run. Near the surface the estimate (in double) is
// good to far below a pixel; with far-away ends the cancellation can cost a
// few pixels even in long double, so the search looks further.
template <typename F, bool kNear>
void stroke_rows(const Raster& r, const Capsule& c, int64_t jlo, int64_t jhi, uint32_t rgb) {
  const int64_t margin = kNear ? 1 : 8;
  auto covers = [&c](int64_t i, int64_t j) { return kNear ? c.covers_near(i, j) : c.covers(i, j); };
  const F px = static_cast<F>(c.px), py = static_cast<F>(c.py);
  const F qx = static_cast<F>(c.qx), qy = static_cast<F>(c.qy);
  const F dx = static_cast<F>(c.dx), dy = static_cast<F>(c.dy), len2 = static_cast<F>(c.len2);
  const F rr = static_cast<F>(c.radius);
  const F rlen = rr * std::sqrt(len2);
  const F inv_dy = c.dy != 0 ? 1 / dy : 0, inv_dx = c.dx != 0 ? 1 / dx : 0;
  const int64_t last_col = r.width - 1;

  for (int64_t j = jlo; j <= jhi; ++j) {
    const F y = static_cast<F>(2 * j + 1);
    F lo = INFINITY, hi = -INFINITY;
    auto take = [&](F a, F b) {
      if (a > b) std::swap(a, b);
      lo = std::min(lo, a);
      hi = std::max(hi, b);
    };
    // The round ends.
    for (int end = 0; end < 2; ++end) {
      const F ex = end ? qx : px, ey = y - (end ? qy : py);
      const F h2 = rr * rr - ey * ey;
      if (h2 >= 0) {
        const F h = std::sqrt(h2);
        take(ex - h, ex + h);
      }
    }
    // The body: within the radius of the line and between the ends' normals.
    const F ey = y - py;
    if (c.dy == 0) {
      if (std::fabs(ey) <= rr) take(px, qx);
    } else {
      F a = px + (dx * ey - rlen) * inv_dy, b = px + (dx * ey + rlen) * inv_dy;
      if (a > b) std::swap(a, b);
      bool any = true;
      if (c.dx != 0) {
        F sa = px - dy * ey * inv_dx, sb = px + (len2 - dy * ey) * inv_dx;
        if (sa > sb) std::swap(sa, sb);
        a = std::max(a, sa);
        b = std::min(b, sb);
        any = a <= b;
      } else {
        const F t = dy * ey;
        any = t >= 0 && t <= len2;
      }
      if (any) take(a, b);
    }
    if (lo > hi) continue;

    // Pixel columns whose centre 2i + 1 lies in [lo, hi], widened by the margin.
    const F limit = static_cast<F>(4.0e18);
    const F flo = std::max(-limit, std::min(limit, (lo - 1) * F(0.5)));
    const F fhi = std::max(-limit, std::min(limit, (hi - 1) * F(0.5)));
    // Truncation with a step for the sign: ceil and floor without a library call.
    int64_t ilo = static_cast<int64_t>(flo), ihi = static_cast<int64_t>(fhi);
    ilo += static_cast<F>(ilo) < flo;
    ihi -= static_cast<F>(ihi) > fhi;
    ilo = clamp64(ilo - margin, 0, last_col);
    ihi = clamp64(ihi + margin, 0, last_col);
    if (ilo > ihi) continue;
    if (covers(ilo, j)) {
      while (ilo > 0 && covers(ilo - 1, j)) --ilo;
    } else {
      while (ilo <= ihi && !covers(ilo, j)) ++ilo;
      if (ilo > ihi) continue;
    }
    if (covers(ihi, j)) {
      while (ihi < last_col && covers(ihi + 1, j)) ++ihi;
    } else {
      while (!covers(ihi, j)) --ihi;
    }
    std::fill_n(r.pixels + j * int64_t{r.width} + ilo, ihi - ilo + 1, rgb);
  }
}

}  // namespace

void thin_line(const Raster& r, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t rgb) {
  if (r.width <= 0 || r.height <= 0) return;
  const int64_t dx = int64_t{x1} - x0, dy = int64_t{y1} - y0;
  if (dx == 0 && dy == 0) return;

  // (u, v) are the major and minor coordinates; a is the end with the smaller u.
  const bool x_major = std::llabs(dx) >= std::llabs(dy);
  const int64_t su = x_major ? x0 : y0, sv = x_major ? y0 : x0;
  const int64_t eu = x_major ? x1 : y1, ev = x_major ? y1 : x1;
  const bool from_a = su < eu;
  const int64_t au = from_a ? su : eu, av = from_a ? sv : ev;
  const int64_t bu = from_a ? eu : su, bv = from_a ? ev : sv;
  const int64_t du = bu - au;  // > 0
  const int64_t adv = std::llabs(bv - av);
  const int64_t vstep = bv < av ? -1 : 1;
  const int64_t size_u = x_major ? r.width : r.height;
  const int64_t size_v = x_major ? r.height : r.width;

  // Pixel k (k = 0 .. du) lies at u = au + k, v = av + vstep * off(k) with
  //   off(k) = floor((2 k adv + du - 1) / (2 du)),
  // the nearest offset to k * adv / du with an exact half rounded down, that
  // is towards a. The end point the line is drawn to is left out.
  int64_t kmin = from_a ? 0 : 1;
  int64_t kmax = from_a ? du - 1 : du;
  kmin = std::max(kmin, -au);
  kmax = std::min(kmax, size_u - 1 - au);
  if (kmin > kmax) return;

  if (std::min(av, bv) < 0 || std::max(av, bv) >= size_v) {
    if (adv == 0) return;  // a line along a row or column outside
    // Keep off(k) within [lo, hi], the offsets that land on the buffer.
    const int64_t lo = vstep > 0 ? -av : av - (size_v - 1);
    const int64_t hi = vstep > 0 ? size_v - 1 - av : av;
    // off(k) >= lo  <=>  k >= ceil((2 du lo - du + 1) / (2 adv))
    // off(k) <= hi  <=>  k <= floor((2 du (hi + 1) - du) / (2 adv))
    const i128 klo = ceil_div(i128{2} * du * lo - du + 1, i128{2} * adv);
    const i128 khi = floor_div(i128{2} * du * (i128{hi} + 1) - du, i128{2} * adv);
    if (klo > kmax || khi < kmin) return;
    if (klo > kmin) kmin = static_cast<int64_t>(klo);
    if (khi < kmax) kmax = static_cast<int64_t>(khi);
    if (kmin > kmax) return;
  }

  const int64_t den = 2 * du;
  const i128 numer = i128{2} * kmin * adv + du - 1;
  int64_t off = static_cast<int64_t>(numer / den);
  int64_t rem = static_cast<int64_t>(numer % den);
  const int64_t stride = r.width;
  const int64_t step_u = x_major ? 1 : stride;
  const int64_t step_v = x_major ? vstep * stride : vstep;
  const int64_t u = au + kmin, v = av + vstep * off;
  int64_t index = x_major ? v * stride + u : u * stride + v;
  const int64_t step_rem = 2 * adv;
  for (int64_t k = kmin;; ++k) {
    r.pixels[index] = rgb;
    if (k == kmax) break;
    index += step_u;
    rem += step_rem;
    if (rem >= den) {
      rem -= den;
      index += step_v;
    }
  }
}

void wide_line(const Raster& r, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int width,
               uint32_t rgb) {
  if (r.width <= 0 || r.height <= 0) return;
  Capsule c;
  const int64_t shift = width & 1;  // odd: through pixel centres; even: corners
  c.px = 2 * int64_t{x0} + shift;
  c.py = 2 * int64_t{y0} + shift;
  c.qx = 2 * int64_t{x1} + shift;
  c.qy = 2 * int64_t{y1} + shift;
  c.dx = c.qx - c.px;
  c.dy = c.qy - c.py;
  c.len2 = i128{c.dx} * c.dx + i128{c.dy} * c.dy;
  c.len_floor = isqrt(c.len2);
  c.radius = width;

  // Rows whose centre lies within the radius of the segment's row range.
  const int64_t top = std::min(c.py, c.qy) - c.radius;
  const int64_t bottom = std::max(c.py, c.qy) + c.radius;
  const int64_t jlo = std::max<int64_t>(0, static_cast<int64_t>(ceil_div(top - 1, 2)));
  const int64_t jhi = std::min<int64_t>(r.height - 1, static_cast<int64_t>(floor_div(bottom - 1, 2)));
  if (jlo > jhi) return;

  const int64_t far = int64_t{1} << 24;
  const bool near = std::llabs(c.px) < far && std::llabs(c.py) < far && std::llabs(c.qx) < far &&
                    std::llabs(c.qy) < far;
  if (near) {
    // A short stroke (an isoline of a dense model has millions of them)
    // covers a few pixels: testing each of them costs less than the rows.
    const int64_t ilo = std::max<int64_t>(0, static_cast<int64_t>(ceil_div(std::min(c.px, c.qx) - c.radius - 1, 2)));
    const int64_t ihi =
        std::min<int64_t>(r.width - 1, static_cast<int64_t>(floor_div(std::max(c.px, c.qx) + c.radius - 1, 2)));
    if (ilo > ihi) return;
    if ((ihi - ilo + 1) * (jhi - jlo + 1) <= 36) {
      for (int64_t j = jlo; j <= jhi; ++j) {
        for (int64_t i = ilo; i <= ihi; ++i) {
          if (c.covers_near(i, j)) r.pixels[j * int64_t{r.width} + i] = rgb;
        }
      }
      return;
    }
    stroke_rows<double, true>(r, c, jlo, jhi, rgb);
  } else {
    stroke_rows<long double, false>(r, c, jlo, jhi, rgb);
  }
}

void fill_box(const Raster& r, int64_t left, int64_t top, int64_t right, int64_t bottom,
              uint32_t rgb) {
  left = std::max<int64_t>(left, 0);
  top = std::max<int64_t>(top, 0);
  right = std::min<int64_t>(right, r.width);
  bottom = std::min<int64_t>(bottom, r.height);
  if (left >= right || top >= bottom) return;
  for (int64_t y = top; y < bottom; ++y) {
    std::fill_n(r.pixels + y * int64_t{r.width} + left, right - left, rgb);
  }
}

}  // namespace plat

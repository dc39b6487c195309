// Placement of labels along the isolines (inline_labels.h).
//
// All segments are put in a grid of kCell-pixel cells, so that asking
// whether a box meets another level's line looks at the few segments near
// it. Spots are tried in a fixed order and each accepted box is checked
// against the accepted ones, which are few (a few hundred at most on a
// busy picture).
#include "render/inline_labels.h"

#include <algorithm>
#include <cmath>

namespace inline_labels {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kCell = 16.0;
constexpr int kMaxCells = 1 << 20;  // the grid's cells, bounding its memory
constexpr double kUphillReach = 400.0;

struct Axes {
  double dx, dy;  // along the text
  double ux, uy;  // towards the tops of its characters
};

// A box is tested against many segments in a row at one angle: the last
// angle's axes are kept (per thread: runs on several threads place labels
// side by side).
Axes axes_of(const Box& b) {
  thread_local double last_angle = 0.0;
  thread_local Axes last{1.0, -0.0, -0.0, -1.0};
  if (b.angle != last_angle) {
    const double a = b.angle * kPi / 180.0;
    const double c = std::cos(a), s = std::sin(a);
    last = Axes{c, -s, -s, -c};
    last_angle = b.angle;
  }
  return last;
}

void corners(const Box& b, double (&x)[4], double (&y)[4]) {
  const Axes A = axes_of(b);
  const double sx[4] = {-1, 1, 1, -1}, sy[4] = {-1, -1, 1, 1};
  for (int i = 0; i < 4; ++i) {
    x[i] = b.cx + sx[i] * b.half_w * A.dx + sy[i] * b.half_h * A.ux;
    y[i] = b.cy + sx[i] * b.half_w * A.dy + sy[i] * b.half_h * A.uy;
  }
}

// Whether the boxes' projections on (ax, ay) are apart.
bool apart_on(const Box& a, const Box& b, double ax, double ay) {
  double xa[4], ya[4], xb[4], yb[4];
  corners(a, xa, ya);
  corners(b, xb, yb);
  double lo_a = INFINITY, hi_a = -INFINITY, lo_b = INFINITY, hi_b = -INFINITY;
  for (int i = 0; i < 4; ++i) {
    const double pa = xa[i] * ax + ya[i] * ay, pb = xb[i] * ax + yb[i] * ay;
    lo_a = std::min(lo_a, pa), hi_a = std::max(hi_a, pa);
    lo_b = std::min(lo_b, pb), hi_b = std::max(hi_b, pb);
  }
  return hi_a < lo_b || hi_b < lo_a;
}

struct Segment {
  double x1, y1, x2, y2;
  int32_t level;
};

// The segments of all lines by grid cell.
class Grid {
 public:
  Grid(const Input& in) {
    left_ = in.frame.left - kCell;
    top_ = in.frame.top - kCell;
    const double w = in.frame.right - in.frame.left + 2 * kCell;
    const double h = in.frame.bottom - in.frame.top + 2 * kCell;
    double cell = kCell;
    while ((w / cell + 1) * (h / cell + 1) > kMaxCells) cell *= 2;
    cell_ = cell;
    cols_ = std::max(1, static_cast<int>(std::ceil(w / cell)));
    rows_ = std::max(1, static_cast<int>(std::ceil(h / cell)));
    head_.assign(static_cast<std::size_t>(cols_) * rows_, -1);
    for (const Line& line : in.lines) {
      for (std::size_t j = 0; j + 3 < line.xy.size(); j += 2) {
        const Segment s{line.xy[j], line.xy[j + 1], line.xy[j + 2], line.xy[j + 3], line.level};
        const int32_t id = static_cast<int32_t>(segments_.size());
        segments_.push_back(s);
        int c0, c1, r0, r1;
        span(std::min(s.x1, s.x2), std::max(s.x1, s.x2), std::min(s.y1, s.y2), std::max(s.y1, s.y2), &c0, &c1,
             &r0, &r1);
        for (int c = c0; c <= c1; ++c)
          for (int r = r0; r <= r1; ++r) {
            const std::size_t cell_index = static_cast<std::size_t>(r) * cols_ + c;
            links_.push_back(Link{id, head_[cell_index]});
            head_[cell_index] = static_cast<int32_t>(links_.size() - 1);
          }
      }
    }
    seen_.assign(segments_.size(), 0);
  }

  // Calls f(segment) once for each segment in the cells x0..x1, y0..y1
  // touch; stops when f returns true, and says so.
  template <class F>
  bool any_near(double x0, double x1, double y0, double y1, F f) {
    int c0, c1, r0, r1;
    span(x0, x1, y0, y1, &c0, &c1, &r0, &r1);
    ++stamp_;
    for (int c = c0; c <= c1; ++c)
      for (int r = r0; r <= r1; ++r)
        for (int32_t l = head_[static_cast<std::size_t>(r) * cols_ + c]; l >= 0; l = links_[l].next) {
          const int32_t id = links_[l].segment;
          if (seen_[id] == stamp_) continue;
          seen_[id] = stamp_;
          if (f(segments_[id])) return true;
        }
    return false;
  }

 private:
  struct Link {
    int32_t segment;
    int32_t next;
  };
  int clamp_cell(double v, double origin, int n) const {
    const double q = std::floor((v - origin) / cell_);
    if (!(q >= 0.0)) return 0;
    return q >= n - 1 ? n - 1 : static_cast<int>(q);
  }
  void span(double x0, double x1, double y0, double y1, int* c0, int* c1, int* r0, int* r1) const {
    *c0 = clamp_cell(x0, left_, cols_), *c1 = clamp_cell(x1, left_, cols_);
    *r0 = clamp_cell(y0, top_, rows_), *r1 = clamp_cell(y1, top_, rows_);
  }

  double left_, top_, cell_;
  int cols_, rows_;
  std::vector<Segment> segments_;
  std::vector<int32_t> head_;
  std::vector<Link> links_;
  std::vector<uint32_t> seen_;
  uint32_t stamp_ = 0;
};

// A line with the length along it at each point.
struct Walk {
  const Line* line;
  std::vector<double> at;  // at[i]: length from the start to point i
  double length() const { return at.empty() ? 0.0 : at.back(); }
  std::size_t points() const { return at.size(); }
  double x(std::size_t i) const { return line->xy[2 * i]; }
  double y(std::size_t i) const { return line->xy[2 * i + 1]; }
  // The point at length s along the line (clamped to its ends).
  void point(double s, double* px, double* py) const {
    const std::size_t n = points();
    if (n == 0) return;
    std::size_t i = static_cast<std::size_t>(std::upper_bound(at.begin(), at.end(), s) - at.begin());
    if (i == 0) i = 1;
    if (i >= n) i = n - 1;
    const double d = at[i] - at[i - 1];
    const double t = d > 0.0 ? std::clamp((s - at[i - 1]) / d, 0.0, 1.0) : 0.0;
    *px = x(i - 1) + t * (x(i) - x(i - 1));
    *py = y(i - 1) + t * (y(i) - y(i - 1));
  }
};

Walk walk_of(const Line& line) {
  Walk w{&line, {}};
  const std::size_t n = line.xy.size() / 2;
  w.at.reserve(n);
  double s = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) s += std::hypot(line.xy[2 * i] - line.xy[2 * i - 2], line.xy[2 * i + 1] - line.xy[2 * i - 1]);
    w.at.push_back(s);
  }
  return w;
}

// The stretch of `width` pixels centred at length c: its box and how far the
// line strays from the stretch's chord (0 for a straight one).
struct Stretch {
  Box box;
  double bend;
};

Stretch stretch_at(const Walk& w, double c, double width, double height) {
  double ax = 0, ay = 0, bx = 0, by = 0, mx = 0, my = 0;
  w.point(c - width / 2, &ax, &ay);
  w.point(c + width / 2, &bx, &by);
  w.point(c, &mx, &my);
  const double dx = bx - ax, dy = by - ay, chord = std::hypot(dx, dy);
  double bend = width - chord;
  if (chord > 0.0) {
    const std::size_t n = w.points();
    std::size_t i = static_cast<std::size_t>(std::upper_bound(w.at.begin(), w.at.end(), c - width / 2) - w.at.begin());
    for (; i < n && w.at[i] < c + width / 2; ++i)
      bend = std::max(bend, std::fabs((w.x(i) - ax) * dy - (w.y(i) - ay) * dx) / chord);
  }
  const double angle = chord > 0.0 ? std::atan2(-dy, dx) * 180.0 / kPi : 0.0;
  return Stretch{Box{mx, my, upright(angle), width / 2, height / 2}, bend};
}

class Placer {
 public:
  explicit Placer(const Input& in) : in_(in), grid_(in) {
    for (const Line& line : in.lines) walks_.push_back(walk_of(line));
  }

  std::vector<Placed> run() {
    const int32_t levels = static_cast<int32_t>(in_.width.size());
    // One label for each level first, wherever it first fits.
    for (int32_t k = 0; k < levels; ++k) {
      if (!labelled(k)) continue;
      bool done = false;
      for (std::size_t n = 0; n < walks_.size() && !done; ++n)
        if (eligible(n, k)) done = try_spots(n, k, true);
      for (std::size_t n = 0; n < walks_.size() && !done; ++n)
        if (eligible(n, k)) done = scan(n, k);
    }
    // Then the rest along every line, at the spacing.
    for (int32_t k = 0; k < levels; ++k) {
      if (!labelled(k)) continue;
      for (std::size_t n = 0; n < walks_.size(); ++n)
        if (eligible(n, k)) try_spots(n, k, false);
    }
    return std::move(placed_);
  }

 private:
  bool labelled(int32_t k) const {
    return in_.width[k] > 0.0 && k < static_cast<int32_t>(in_.height.size()) && in_.height[k] > 0.0;
  }
  bool eligible(std::size_t n, int32_t k) const {
    return in_.lines[n].level == k && walks_[n].length() > 2 * in_.width[k];
  }

  // The spots about every `spacing` pixels along line n, each at the
  // straightest stretch within a third of the spacing; the first that fits
  // (once) or every one that fits and is not near a label of the same level.
  bool try_spots(std::size_t n, int32_t k, bool once) {
    const Walk& w = walks_[n];
    const double width = in_.width[k], height = in_.height[k];
    const double length = w.length();
    const double spacing = std::max(in_.spacing, 2 * width);
    const int count = std::max(1, static_cast<int>(std::floor(length / spacing + 0.5)));
    const double lo = width / 2, hi = length - width / 2;
    bool any = false;
    for (int i = 0; i < count; ++i) {
      const double spot = (i + 0.5) * length / count;
      if (!once && near_own(n, k, w, spot, spacing / 2)) continue;
      // Candidates within a third of the spacing, straightest first, then
      // nearest the spot.
      std::vector<std::pair<Stretch, double>> candidates;
      const double reach = std::min(spacing / 3, length / 2), step = std::max(2.0, width / 4);
      for (double d = 0.0; d <= reach; d += step)
        for (int side = 0; side < (d > 0.0 ? 2 : 1); ++side) {
          const double c = side == 0 ? spot + d : spot - d;
          if (c < lo || c > hi) continue;
          candidates.emplace_back(stretch_at(w, c, width, height), c);
        }
      std::stable_sort(candidates.begin(), candidates.end(), [](const auto& a, const auto& b) {
        return std::floor(a.first.bend) < std::floor(b.first.bend);
      });
      for (const auto& candidate : candidates)
        if (accept(n, k, candidate.first.box, candidate.second)) {
          any = true;
          break;
        }
      if (any && once) return true;
    }
    return any;
  }

  // Every stretch along line n in turn, a pixel apart, for a level that
  // found no room at its spots.
  bool scan(std::size_t n, int32_t k) {
    const Walk& w = walks_[n];
    const double width = in_.width[k], height = in_.height[k];
    for (double c = width / 2; c <= w.length() - width / 2; c += 1.0)
      if (accept(n, k, stretch_at(w, c, width, height).box, c)) return true;
    return false;
  }

  // Whether a label of level k lies within `distance` of the spot: along
  // line n, or as the crow flies on any line of the level (many short rings
  // of a noisy field get a label each only where they are that far apart).
  bool near_own(std::size_t n, int32_t k, const Walk& w, double spot, double distance) const {
    for (const auto& [line, at] : along_)
      if (line == n && std::fabs(at - spot) < distance) return true;
    double x = 0, y = 0;
    w.point(spot, &x, &y);
    for (const Placed& p : placed_)
      if (p.level == k && std::hypot(p.box.cx - x, p.box.cy - y) < distance) return true;
    return false;
  }

  bool accept(std::size_t n, int32_t k, Box box, double at) {
    if (!inside(box, in_.frame)) return false;
    for (const Rect& o : in_.obstacles) {
      const Box ob{(o.left + o.right) / 2, (o.top + o.bottom) / 2, 0.0, (o.right - o.left) / 2,
                   (o.bottom - o.top) / 2};
      if (overlap(box, ob)) return false;
    }
    for (const Placed& p : placed_)
      if (overlap(box, p.box)) return false;
    double x[4], y[4];
    corners(box, x, y);
    const double x0 = *std::min_element(x, x + 4), x1 = *std::max_element(x, x + 4);
    const double y0 = *std::min_element(y, y + 4), y1 = *std::max_element(y, y + 4);
    const bool crossed = grid_.any_near(x0, x1, y0, y1, [&](const Segment& s) {
      // Most segments near the box miss even its bounding rectangle.
      if (s.level == k || std::fmax(s.x1, s.x2) < x0 || std::fmin(s.x1, s.x2) > x1 ||
          std::fmax(s.y1, s.y2) < y0 || std::fmin(s.y1, s.y2) > y1)
        return false;
      double t0, t1;
      return segment_in_box(box, s.x1, s.y1, s.x2, s.y2, &t0, &t1);
    });
    if (crossed) return false;
    if (in_.uphill && rises_below(box, k)) box.angle = box.angle > 0.0 ? box.angle - 180.0 : box.angle + 180.0;
    placed_.push_back(Placed{k, static_cast<int32_t>(n), box});
    along_.emplace_back(n, at);
    return true;
  }

  // Whether the values rise on the side the box's character tops do not
  // face: the nearest line of another level on either side tells.
  bool rises_below(const Box& box, int32_t k) {
    const Axes A = axes_of(box);
    const double own = in_.value[k];
    for (int side = 0; side < 2; ++side) {
      const double sx = side == 0 ? A.ux : -A.ux, sy = side == 0 ? A.uy : -A.uy;
      const double ex = box.cx + sx * kUphillReach, ey = box.cy + sy * kUphillReach;
      double nearest = INFINITY;
      int32_t level = -1;
      grid_.any_near(std::min(box.cx, ex), std::max(box.cx, ex), std::min(box.cy, ey), std::max(box.cy, ey),
                     [&](const Segment& s) {
                       if (s.level == k) return false;
                       const double t = ray_hit(box.cx, box.cy, ex, ey, s);
                       if (t < nearest) nearest = t, level = s.level;
                       return false;
                     });
      if (level < 0 || in_.value[level] == own) continue;
      const bool higher = in_.value[level] > own;
      return side == 0 ? !higher : higher;
    }
    return false;
  }

  // Where along p -> e (0 .. 1) segment s crosses it; infinity for nowhere.
  static double ray_hit(double px, double py, double ex, double ey, const Segment& s) {
    const double rx = ex - px, ry = ey - py, qx = s.x2 - s.x1, qy = s.y2 - s.y1;
    const double den = rx * qy - ry * qx;
    if (den == 0.0) return INFINITY;
    const double t = ((s.x1 - px) * qy - (s.y1 - py) * qx) / den;
    const double u = ((s.x1 - px) * ry - (s.y1 - py) * rx) / den;
    return t >= 0.0 && t <= 1.0 && u >= 0.0 && u <= 1.0 ? t : INFINITY;
  }

  const Input& in_;
  Grid grid_;
  std::vector<Walk> walks_;
  std::vector<Placed> placed_;
  std::vector<std::pair<std::size_t, double>> along_;  // line and length of each placed label
};

}  // namespace

double upright(double degrees) {
  double a = std::fmod(degrees, 360.0);
  if (a > 180.0) a -= 360.0;
  if (a <= -180.0) a += 360.0;
  if (a > 90.0) a -= 180.0;
  if (a <= -90.0) a += 180.0;
  return a;
}

bool overlap(const Box& a, const Box& b) {
  if (std::hypot(a.cx - b.cx, a.cy - b.cy) > std::hypot(a.half_w, a.half_h) + std::hypot(b.half_w, b.half_h))
    return false;  // farther apart than their corners reach
  const Axes A = axes_of(a), B = axes_of(b);
  return !apart_on(a, b, A.dx, A.dy) && !apart_on(a, b, A.ux, A.uy) && !apart_on(a, b, B.dx, B.dy) &&
         !apart_on(a, b, B.ux, B.uy);
}

bool inside(const Box& box, const Rect& rect) {
  double x[4], y[4];
  corners(box, x, y);
  for (int i = 0; i < 4; ++i)
    if (!(x[i] >= rect.left && x[i] <= rect.right && y[i] >= rect.top && y[i] <= rect.bottom)) return false;
  return true;
}

bool segment_in_box(const Box& box, double x1, double y1, double x2, double y2, double* t0, double* t1) {
  // A segment wholly beyond the circle round the box misses it.
  const double reach = box.half_w + box.half_h;
  if (std::fmin(x1, x2) > box.cx + reach || std::fmax(x1, x2) < box.cx - reach ||
      std::fmin(y1, y2) > box.cy + reach || std::fmax(y1, y2) < box.cy - reach)
    return false;
  // In the box's own frame the box is [-half_w, half_w] x [-half_h, half_h]:
  // Liang-Barsky clipping there.
  const Axes A = axes_of(box);
  const double u1 = (x1 - box.cx) * A.dx + (y1 - box.cy) * A.dy, v1 = (x1 - box.cx) * A.ux + (y1 - box.cy) * A.uy;
  const double u2 = (x2 - box.cx) * A.dx + (y2 - box.cy) * A.dy, v2 = (x2 - box.cx) * A.ux + (y2 - box.cy) * A.uy;
  double lo = 0.0, hi = 1.0;
  const double p[4] = {-(u2 - u1), u2 - u1, -(v2 - v1), v2 - v1};
  const double q[4] = {u1 + box.half_w, box.half_w - u1, v1 + box.half_h, box.half_h - v1};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0.0) {
      if (q[i] < 0.0) return false;
      continue;
    }
    const double r = q[i] / p[i];
    if (p[i] < 0.0) lo = std::max(lo, r);
    else hi = std::min(hi, r);
    if (lo > hi) return false;
  }
  *t0 = lo;
  *t1 = hi;
  return true;
}

void pieces_outside(const std::vector<const Box*>& boxes, double x1, double y1, double x2, double y2,
                    std::vector<double>* pieces) {
  std::vector<std::pair<double, double>> cuts;
  for (const Box* b : boxes) {
    double t0, t1;
    if (segment_in_box(*b, x1, y1, x2, y2, &t0, &t1)) cuts.emplace_back(t0, t1);
  }
  std::sort(cuts.begin(), cuts.end());
  double from = 0.0;
  for (const auto& [t0, t1] : cuts) {
    if (t0 > from) pieces->push_back(from), pieces->push_back(t0);
    from = std::max(from, t1);
  }
  if (from < 1.0 || (cuts.empty() && from == 0.0)) pieces->push_back(from), pieces->push_back(1.0);
}

std::vector<Placed> place(const Input& in) {
  if (!(in.frame.right > in.frame.left && in.frame.bottom > in.frame.top)) return {};
  return Placer(in).run();
}

}  // namespace inline_labels

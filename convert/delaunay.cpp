#include "delaunay.h"

#include <libqhull_r/qhull_ra.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>

namespace convert {

namespace {

// Twice the signed area of the triangle a, b, c: positive when
// counter-clockwise. Exact enough for float coordinates held in double.
template <typename P>
double orientation(const P& a, const P& b, const P& c) {
  return (static_cast<double>(b.x) - a.x) * (static_cast<double>(c.y) - a.y) -
         (static_cast<double>(b.y) - a.y) * (static_cast<double>(c.x) - a.x);
}

template <typename P>
bool all_on_one_line(const std::vector<P>& p) {
  for (size_t k = 2; k < p.size(); ++k)
    if (orientation(p[0], p[1], p[k]) != 0.0) return false;
  return true;
}

// qhull's diagnostics are caught in memory and its first line becomes part
// of the message.
class ErrorText {
 public:
  ErrorText() : file_(open_memstream(&text_, &size_)) {}
  ~ErrorText() {
    if (file_ != nullptr) std::fclose(file_);
    std::free(text_);
  }
  ErrorText(const ErrorText&) = delete;
  ErrorText& operator=(const ErrorText&) = delete;
  FILE* file() const { return file_; }
  std::string first_line() {
    if (file_ == nullptr || std::fflush(file_) != 0 || text_ == nullptr) return "qhull failed";
    std::string s(text_, size_);
    return s.substr(0, s.find('\n'));
  }

 private:
  char* text_ = nullptr;
  size_t size_ = 0;
  FILE* file_;
};

template <typename P>
size_t merge_equal(std::vector<P>& points) {
  std::vector<size_t> order(points.size());
  std::iota(order.begin(), order.end(), 0);
  // Equal x and y side by side (-0 equals 0), earlier points first among
  // them.
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return points[a].x < points[b].x || (points[a].x == points[b].x && points[a].y < points[b].y);
  });
  std::vector<bool> drop(points.size(), false);
  size_t dropped = 0;
  for (size_t k = 1; k < order.size(); ++k) {
    const P& a = points[order[k - 1]];
    const P& b = points[order[k]];
    if (a.x == b.x && a.y == b.y) {
      drop[order[k]] = true;
      ++dropped;
    }
  }
  size_t kept = 0;
  for (size_t k = 0; k < points.size(); ++k)
    if (!drop[k]) points[kept++] = points[k];
  points.resize(kept);
  return dropped;
}

}  // namespace

size_t merge_equal_points(std::vector<Point>& points) { return merge_equal(points); }
size_t merge_equal_points(std::vector<FullPoint>& points) { return merge_equal(points); }

std::vector<std::array<int32_t, 3>> delaunay_triangles(const std::vector<FullPoint>& points) {
  if (points.size() > INT_MAX / 2) throw Failure("too many points to triangulate");
  std::vector<coordT> coords(points.size() * 2);
  for (size_t k = 0; k < points.size(); ++k) {
    coords[2 * k] = points[k].x;
    coords[2 * k + 1] = points[k].y;
  }
  // d: Delaunay; Qt: triangulated output (cocircular points give triangles
  // too); Qbb: scale the lifted coordinate; Qc: keep coplanar points; Qz: a
  // point at infinity for cocircular input.
  char command[] = "qhull d Qt Qbb Qc Qz";
  qhT qh_storage;
  qhT* qh = &qh_storage;
  ErrorText errors;
  qh_zero(qh, errors.file());
  std::vector<std::array<int32_t, 3>> out;
  const int exit_code =
      qh_new_qhull(qh, 2, static_cast<int>(points.size()), coords.data(), False, command, nullptr, errors.file());
  if (exit_code == 0) {
    facetT* facet;
    FORALLfacets {
      if (facet->upperdelaunay) continue;
      int corner[3];
      int n = 0;
      vertexT* vertex;
      vertexT** vertexp;
      FOREACHvertex_(facet->vertices) {
        if (n < 3) corner[n] = qh_pointid(qh, vertex->point);
        ++n;
      }
      if (n != 3) continue;
      const double turn = orientation(points[corner[0]], points[corner[1]], points[corner[2]]);
      if (turn == 0.0) continue;
      if (turn < 0) std::swap(corner[1], corner[2]);
      out.push_back({corner[0], corner[1], corner[2]});
    }
  }
  std::string reason = exit_code != 0 ? errors.first_line() : std::string();
  qh_freeqhull(qh, !qh_ALL);
  int still_long, total_long;
  qh_memfreeshort(qh, &still_long, &total_long);
  if (exit_code != 0) throw Failure("the triangulation failed: " + reason);
  return out;
}

Triangulation triangulate(std::vector<Point> points) {
  // Single-precision coordinates are exact in double: the same points,
  // merged and triangulated as the full-precision ones.
  std::vector<FullPoint> full(points.size());
  for (size_t k = 0; k < points.size(); ++k) full[k] = {points[k].x, points[k].y, points[k].z};
  const FullTriangulation f = triangulate_full(std::move(full));
  Triangulation t;
  t.merged = f.merged;
  t.mesh.elements.reserve(f.triangles.size());
  for (const std::array<int32_t, 3>& c : f.triangles) {
    const int64_t number = static_cast<int64_t>(t.mesh.elements.size()) + 1;
    t.mesh.elements.push_back({number, {c[0] + 1, c[1] + 1, c[2] + 1, 0}, 3});
  }
  t.mesh.nodes.reserve(f.points.size());
  for (size_t k = 0; k < f.points.size(); ++k) {
    const FullPoint& p = f.points[k];
    t.mesh.nodes.push_back({static_cast<int64_t>(k) + 1, static_cast<float>(p.x), static_cast<float>(p.y),
                            static_cast<float>(p.z), true});
  }
  return t;
}

FullTriangulation triangulate_full(std::vector<FullPoint> points) {
  FullTriangulation t;
  t.merged = merge_equal_points(points);
  if (points.size() < 3)
    throw Failure("no data: " + std::to_string(points.size()) +
                  " distinct points, fewer than the three a triangle needs");
  if (all_on_one_line(points)) throw Failure("no data: every point lies on one line, so no triangle can be made");
  t.triangles = delaunay_triangles(points);
  t.points = std::move(points);
  return t;
}

}  // namespace convert

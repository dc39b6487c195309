// The triangulation of scattered points, checked by the Delaunay property
// itself rather than by qhull's own output.
#include "delaunay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "convert_helper.h"
#include "default_objects.h"

namespace {

using convert::Mesh;
using convert::Point;

double cross(const Point& a, const Point& b, const Point& c) {
  return (static_cast<double>(b.x) - a.x) * (static_cast<double>(c.y) - a.y) -
         (static_cast<double>(b.y) - a.y) * (static_cast<double>(c.x) - a.x);
}

// Positive when d lies inside the circle through a, b, c (counter-clockwise).
long double in_circle(const Point& a, const Point& b, const Point& c, const Point& d) {
  const long double adx = a.x - static_cast<long double>(d.x), ady = a.y - static_cast<long double>(d.y);
  const long double bdx = b.x - static_cast<long double>(d.x), bdy = b.y - static_cast<long double>(d.y);
  const long double cdx = c.x - static_cast<long double>(d.x), cdy = c.y - static_cast<long double>(d.y);
  return (adx * adx + ady * ady) * (bdx * cdy - cdx * bdy) - (bdx * bdx + bdy * bdy) * (adx * cdy - cdx * ady) +
         (cdx * cdx + cdy * cdy) * (adx * bdy - bdx * ady);
}

// Twice the area of the convex hull (monotone chain).
double hull_area(std::vector<Point> p) {
  std::sort(p.begin(), p.end(), [](const Point& a, const Point& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
  std::vector<Point> h(2 * p.size());
  size_t k = 0;
  for (size_t i = 0; i < p.size(); ++i) {
    while (k >= 2 && cross(h[k - 2], h[k - 1], p[i]) <= 0) --k;
    h[k++] = p[i];
  }
  for (size_t i = p.size() - 1, t = k + 1; i > 0; --i) {
    while (k >= t && cross(h[k - 2], h[k - 1], p[i - 1]) <= 0) --k;
    h[k++] = p[i - 1];
  }
  double area = 0;
  for (size_t i = 0; i + 1 < k; ++i)
    area += static_cast<double>(h[i].x) * h[i + 1].y - static_cast<double>(h[i + 1].x) * h[i].y;
  return area;
}

Point corner(const Mesh& m, int64_t node) {
  const convert::Node& n = m.nodes[static_cast<size_t>(node - 1)];
  return {n.x, n.y, n.value};
}

// Every triangle counter-clockwise with an empty circumcircle, and together
// they cover the convex hull exactly once.
void expect_delaunay(const std::vector<Point>& points, const Mesh& mesh) {
  double area = 0;
  for (const convert::Element& e : mesh.elements) {
    ASSERT_EQ(e.count, 3);
    const Point a = corner(mesh, e.nodes[0]), b = corner(mesh, e.nodes[1]), c = corner(mesh, e.nodes[2]);
    const double turn = cross(a, b, c);
    ASSERT_GT(turn, 0) << "element " << e.number;
    area += turn;
    // Relative slack for the rounding of the determinant.
    const long double scale = std::max({std::fabs(a.x), std::fabs(a.y), std::fabs(b.x), std::fabs(b.y), 1.0f});
    for (const Point& d : points)
      ASSERT_LE(in_circle(a, b, c, d), 1e-9L * scale * scale * scale * scale)
          << "(" << d.x << ", " << d.y << ") inside the circle of element " << e.number;
  }
  EXPECT_NEAR(area, hull_area(points), 1e-9 * std::fabs(area));
}

TEST(Triangulate, RandomPointsAreDelaunay) {
  std::mt19937 rng(3);
  for (double spread : {1.0, 1e-3, 1e6}) {
    std::uniform_real_distribution<float> u(static_cast<float>(-spread), static_cast<float>(spread));
    std::vector<Point> points;
    for (int k = 0; k < 300; ++k) points.push_back({u(rng), u(rng), static_cast<float>(k)});
    const convert::Triangulation t = convert::triangulate(points);
    EXPECT_EQ(t.merged, 0u);
    ASSERT_EQ(t.mesh.nodes.size(), points.size());
    // Nodes are the points in their order, numbered from 1.
    EXPECT_EQ(t.mesh.nodes[41].number, 42);
    EXPECT_EQ(t.mesh.nodes[41].value, 41.0f);
    expect_delaunay(points, t.mesh);
  }
}

TEST(Triangulate, CocircularLatticeGivesTwoTrianglesPerCell) {
  std::vector<Point> points;
  for (int i = 0; i < 10; ++i)
    for (int j = 0; j < 10; ++j) points.push_back({static_cast<float>(i), static_cast<float>(j), 0});
  const convert::Triangulation t = convert::triangulate(points);
  EXPECT_EQ(t.mesh.elements.size(), 2u * 9 * 9);
  expect_delaunay(points, t.mesh);
}

TEST(Triangulate, EqualPointsMergedKeepingTheFirst) {
  std::vector<Point> points = {{0, 0, 1}, {1, 0, 2}, {0, 0, 3}, {0, 1, 4}, {-0.0f, 0, 5}, {1, 0, 6}};
  const convert::Triangulation t = convert::triangulate(points);
  EXPECT_EQ(t.merged, 3u);
  ASSERT_EQ(t.mesh.nodes.size(), 3u);
  EXPECT_EQ(t.mesh.nodes[0].value, 1.0f);
  EXPECT_EQ(t.mesh.nodes[1].value, 2.0f);
  EXPECT_EQ(t.mesh.nodes[2].value, 4.0f);
  EXPECT_EQ(t.mesh.elements.size(), 1u);
}

TEST(Triangulate, TooFewOrCollinearPointsAreRefused) {
  const std::vector<std::vector<Point>> refused = {
      {}, {{0, 0, 0}, {1, 1, 1}}, {{0, 0, 0}, {1, 1, 1}, {0, 0, 2}}, {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {-5, -5, 0}}};
  for (const auto& points : refused) EXPECT_THROW(convert::triangulate(points), convert::Failure);
}

TEST(Triangulate, TheModelIsReadAsWritten) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> u(-50, 50);
  std::vector<Point> points;
  for (int k = 0; k < 200; ++k) points.push_back({u(rng), u(rng), u(rng)});
  convert::Model model;
  model.is_grid = false;
  model.mesh = convert::triangulate(points).mesh;
  convert::Header header;
  header.levels = {{0.5f, true, true}};
  ASSERT_EQ(read_back(converted(model, header)), "");
  for (const convert::Node& n : model.mesh.nodes) {
    ASSERT_EQ(model_store.node_state[n.number], 2);
    EXPECT_EQ(model_store.node_x[n.number], n.x);
    EXPECT_EQ(model_store.node_y[n.number], n.y);
    EXPECT_EQ(model_store.node_value[n.number], n.value);
  }
  for (const convert::Element& e : model.mesh.elements) {
    ASSERT_EQ(model_store.element_defined[e.number], 1);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(model_store.element_nodes[e.number][c], e.nodes[c]);
    EXPECT_EQ(model_store.element_nodes[e.number][3], -1);
  }
}

}  // namespace

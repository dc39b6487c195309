// Scattered points into a finite-element model of triangles.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "model.h"
#include "table_reader.h"

namespace convert {

struct Triangulation {
  Mesh mesh;          // nodes 1, 2, ... in the order of the points; elements 1, 2, ...
  size_t merged = 0;  // points left out because an earlier one has the same x and y
};

// Keeps the first of the points that share x and y (as single-precision
// values), in their order; returns how many were left out.
size_t merge_equal_points(std::vector<Point>& points);

size_t merge_equal_points(std::vector<FullPoint>& points);

// The Delaunay triangles of distinct points, not all on one line: 0-based
// corners, counter-clockwise, none of zero area. Throws Failure when qhull
// fails.
std::vector<std::array<int32_t, 3>> delaunay_triangles(const std::vector<FullPoint>& points);

// The Delaunay triangulation of the points (by qhull), after merging equal
// ones. Triangles are counter-clockwise; none has zero area. Throws Failure
// for fewer than three distinct points or points all on one line.
Triangulation triangulate(std::vector<Point> points);

// The same at full precision: the distinct points and their triangles.
struct FullTriangulation {
  std::vector<FullPoint> points;
  std::vector<std::array<int32_t, 3>> triangles;
  size_t merged = 0;
};
FullTriangulation triangulate_full(std::vector<FullPoint> points);

}  // namespace convert

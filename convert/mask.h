// Triangles of a triangulated table left out where the points leave an
// area empty: the hull of scattered points covers gaps (an L-shaped survey
// has its missing quadrant bridged by long, thin triangles).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace convert {

class TriangleMask {
 public:
  // max_edge: triangles with a longer edge are dropped (0: no limit).
  // boundary: an OGR file whose first layer's polygons (their union) keep
  // the triangles whose centroid lies inside (empty: none).
  //
  // crs_wkt: the points' CRS, if known; a boundary in another CRS is
  // transformed into it.
  //
  // Throws Failure for a boundary file OGR cannot open, whose first layer
  // has no polygon, or that cannot be transformed into the points' CRS.
  TriangleMask(double max_edge, const std::string& boundary, const std::string& crs_wkt = "");
  ~TriangleMask();
  TriangleMask(const TriangleMask&) = delete;
  TriangleMask& operator=(const TriangleMask&) = delete;

  bool active() const { return max_edge_ > 0 || area_ != nullptr; }
  // Whether the triangle of corners (x[k], y[k]) stays.
  bool keeps(const double x[3], const double y[3]) const;

 private:
  struct Area;
  double max_edge_;
  std::unique_ptr<Area> area_;
};

// The note on what the mask left out.
std::string masked_note(size_t dropped, size_t kept);

}  // namespace convert

// The merging layer: the band pieces of the engine tables merged, band by
// band, into polygons with holes.
//
// The pieces of one band meet along edges with the same two corners, bit for
// bit (the engine computes each crossing once per edge, from its ends in a
// fixed order). An edge that two pieces of the band share lies inside the
// band and goes; the edges left over are the band's boundary, traced into
// rings:
//
// - Edges cancel in pairs whichever way the pieces run, so pieces of no area
//   (the triangles of collinear nodes, pieces squeezed to a line where a
//   level meets a node's value) cancel against their neighbours' edges
//   instead of leaving slits.
// - The side a boundary edge has the band on comes from the pieces of area
//   that gave it; each ring is turned so the band lies on its left: outer
//   rings counter-clockwise, holes clockwise (RFC 7946).
// - Where rings touch in one vertex (two areas of the band meeting at a
//   corner, a hole touching its outer ring), the trace turns as far left as
//   it can, and a ring that still passes a vertex twice is cut there into
//   loops, so no ring touches or crosses itself. Loops of no area go.
// - Each hole belongs to the outer ring of least area that holds the middle
//   of its first edge.
//
// Pieces with a corner that is not finite are left out.
//
// Beside the pieces, a merge holds four bytes a corner and a byte a piece
// (the corners' numbers, by band), the vertices' places and, while it
// numbers them, their table; then one band's edges at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/engine.h"

struct MergedPolygon {
  std::vector<int32_t> outer;               // vertex numbers, counter-clockwise, not closed
  std::vector<std::vector<int32_t>> holes;  // clockwise
};

struct MergedBand {
  int32_t band;
  std::vector<MergedPolygon> polygons;
};

struct BandMerge {
  std::vector<float> x;  // by vertex number
  std::vector<float> y;
  std::vector<MergedBand> bands;  // ascending, only bands with area
};

// Merges count pieces of bands 0 .. band_count - 1 (others, and bands from
// 32767 on, are left out).
// Throws std::bad_alloc when memory runs out.
BandMerge merge_band_pieces(const FillPoly* pieces, int32_t count, int32_t band_count);

// The same, each band with area handed to take as soon as it is merged,
// with the merge's vertices (all of them by then), and not kept: one band's
// polygons are held at a time. Bands come in the same order.
using TakeBand = std::function<void(const BandMerge& vertices, const MergedBand& band)>;
void merge_band_pieces(const FillPoly* pieces, int32_t count, int32_t band_count, const TakeBand& take);

// Twice the signed area of a ring (positive counter-clockwise).
double ring_area2(const BandMerge& m, const std::vector<int32_t>& ring);

// Pixel rules of the drawing surface: which pixels a line, a wide stroke and
// a filled box cover. Pure functions over a pixel buffer; every coordinate may
// be any int32 and everything is clipped to the buffer.
#pragma once

#include <cstdint>

#include "platform.h"

namespace plat {

struct Raster {
  uint32_t* pixels;  // width * height, top row first
  int width;
  int height;
};

// A 1-pixel line from (x0, y0) towards (x1, y1); the end point itself is not
// painted, so a zero-length line paints nothing.
//
// Each major-axis step paints the pixel nearest to the exact line. A tie
// (the exact line passes midway between two pixels) goes to the pixel nearer
// the end with the smaller major coordinate: the left end of a flat line, the
// top end of a steep one. The covered pixels thus depend only on the two ends,
// not on the direction: drawing B to A paints what A to B paints, except that
// A is painted instead of B.
void thin_line(const Raster& r, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t rgb);

// A stroke `width` (>= 2) pixels wide with round ends: every pixel whose
// centre lies within width / 2 of the segment, both end points included. An
// odd width centres the stroke on the pixel centres of the line, an even
// width on the top-left corners of its pixels (an even stroke leans half a
// pixel up and left).
void wide_line(const Raster& r, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int width,
               uint32_t rgb);

// The colour `coverage` / 255 of the way from `under` to `over` (pixels
// 0x00RRGGBB), each channel (coverage x over + (255 - coverage) x under) / 255
// rounded to the nearest: coverage 255 gives `over` exactly, 0 `under`.
inline uint32_t blend_pixel(uint32_t over, uint32_t under, uint32_t coverage) {
  const uint32_t rest = 255 - coverage;
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const uint32_t v = coverage * ((over >> shift) & 0xFFu) + rest * ((under >> shift) & 0xFFu) + 127;
    out |= (v / 255) << shift;
  }
  return out;
}

// Fills the polygon of `count` vertices (pixel units with fractions, the
// top-left corner of pixel (i, j) at (i, j)): every pixel whose centre lies
// inside by the nonzero winding rule; a centre exactly on an edge counts when
// the polygon lies right of the edge, or below a horizontal edge. Polygons
// that share edges (the same two vertices) thus paint each pixel once. A
// polygon with a vertex that is not finite paints nothing.
void fill_polygon(const Raster& r, const POINTF* points, int count, uint32_t rgb);

// Fills columns left .. right - 1 and rows top .. bottom - 1.
void fill_box(const Raster& r, int64_t left, int64_t top, int64_t right, int64_t bottom,
              uint32_t rgb);

}  // namespace plat

// Painting through cairo: the lines, rectangles and polygons of a surface
// made with antialiasing or a scale, on the surface's own pixels (cairo's
// RGB24 format is the surface's 0x00RRGGBB layout). The shapes are the
// surface's: a line of odd width runs through the centres of its end
// pixels, one of even width through their top-left corners, with round ends;
// a rectangle covers its columns and rows, the pen taking the outermost
// ring; polygons are filled by the nonzero rule. Only the edges differ:
// antialiased (lines and rectangles), or at the scale's pixels.
#include <cmath>
#include <new>

#include "cairo_api.h"
#include "surface.h"

namespace plat {

struct Canvas {
  cairo_surface_t* surface;
  cairo_t* cr;
  cairo_antialias_t antialias;  // of lines
};

namespace {

void set_colour(const CairoApi& c, cairo_t* cr, uint32_t rgb) {
  c.cairo_set_source_rgb(cr, ((rgb >> 16) & 0xFFu) / 255.0, ((rgb >> 8) & 0xFFu) / 255.0, (rgb & 0xFFu) / 255.0);
}

// Where a stroke of width w runs through pixel v.
double stroke_at(int64_t v, int width) {
  return width % 2 == 1 ? static_cast<double>(v) + 0.5 : static_cast<double>(v);
}

void stroke_with(const CairoApi& c, cairo_t* cr, int width, uint32_t rgb) {
  set_colour(c, cr, rgb);
  c.cairo_set_line_width(cr, width < 1 ? 1 : width);
  c.cairo_stroke(cr);
}

}  // namespace

bool canvas_attach(Surface& s, bool antialias) {
  if (s.pixels == nullptr) return true;  // nothing to paint
  const CairoApi* c = cairo();
  if (c == nullptr) return false;
  if (c->cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, s.width) != s.width * 4) return false;
  Canvas* canvas = new (std::nothrow) Canvas{};
  if (canvas == nullptr) return false;
  canvas->surface = c->cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(s.pixels),
                                                           CAIRO_FORMAT_RGB24, s.width, s.height, s.width * 4);
  canvas->cr = c->cairo_create(canvas->surface);
  if (c->cairo_status(canvas->cr) != CAIRO_STATUS_SUCCESS) {
    canvas_destroy(canvas);
    return false;
  }
  c->cairo_scale(canvas->cr, s.scale, s.scale);
  canvas->antialias = antialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE;
  c->cairo_set_antialias(canvas->cr, canvas->antialias);
  c->cairo_set_line_cap(canvas->cr, CAIRO_LINE_CAP_ROUND);
  c->cairo_set_line_join(canvas->cr, CAIRO_LINE_JOIN_ROUND);
  c->cairo_set_fill_rule(canvas->cr, CAIRO_FILL_RULE_WINDING);
  s.canvas = canvas;
  return true;
}

void canvas_destroy(Canvas* canvas) {
  if (canvas == nullptr) return;
  const CairoApi* c = cairo();
  if (canvas->cr != nullptr) c->cairo_destroy(canvas->cr);
  if (canvas->surface != nullptr) c->cairo_surface_destroy(canvas->surface);
  delete canvas;
}

void canvas_line(Surface& s, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int width, uint32_t rgb) {
  if (s.canvas == nullptr) return;
  const CairoApi& c = *cairo();
  cairo_t* cr = s.canvas->cr;
  c.cairo_new_path(cr);
  c.cairo_move_to(cr, stroke_at(x0, width), stroke_at(y0, width));
  c.cairo_line_to(cr, stroke_at(x1, width), stroke_at(y1, width));
  stroke_with(c, cr, width, rgb);
}

void canvas_rectangle(Surface& s, int64_t x0, int64_t y0, int64_t x1, int64_t y1, int pen_width, uint32_t pen_rgb,
                      uint32_t brush_rgb) {
  if (s.canvas == nullptr) return;
  const CairoApi& c = *cairo();
  cairo_t* cr = s.canvas->cr;
  const double l = static_cast<double>(x0), t = static_cast<double>(y0);
  const double w = static_cast<double>(x1 - x0), h = static_cast<double>(y1 - y0);
  c.cairo_new_path(cr);
  if (pen_width <= 1) {
    c.cairo_rectangle(cr, l, t, w, h);
    set_colour(c, cr, pen_rgb);
    c.cairo_fill(cr);
    if (w > 2 && h > 2) {
      c.cairo_rectangle(cr, l + 1, t + 1, w - 2, h - 2);
      set_colour(c, cr, brush_rgb);
      c.cairo_fill(cr);
    }
    return;
  }
  c.cairo_rectangle(cr, l, t, w, h);
  set_colour(c, cr, brush_rgb);
  c.cairo_fill(cr);
  const double a = stroke_at(x0, pen_width), b = stroke_at(y0, pen_width);
  const double r = stroke_at(x1 - 1, pen_width), d = stroke_at(y1 - 1, pen_width);
  c.cairo_move_to(cr, a, b);
  c.cairo_line_to(cr, r, b);
  c.cairo_line_to(cr, r, d);
  c.cairo_line_to(cr, a, d);
  c.cairo_close_path(cr);
  stroke_with(c, cr, pen_width, pen_rgb);
}

void canvas_polygons(Surface& s, const POINTF* points, const int* counts, int polygons, uint32_t rgb) {
  if (s.canvas == nullptr) return;
  const CairoApi& c = *cairo();
  cairo_t* cr = s.canvas->cr;
  c.cairo_new_path(cr);
  // One path: polygons that share an edge show no seam along it.
  for (int i = 0; i < polygons; ++i) {
    const int n = counts[i];
    bool finite = n >= 3;
    for (int k = 0; k < n && finite; ++k) finite = std::isfinite(points[k].x) && std::isfinite(points[k].y);
    if (finite) {
      c.cairo_move_to(cr, points[0].x, points[0].y);
      for (int k = 1; k < n; ++k) c.cairo_line_to(cr, points[k].x, points[k].y);
      c.cairo_close_path(cr);
    }
    points += n;
  }
  set_colour(c, cr, rgb);
  // Filled crisp, by the pixels' centres as the surface fills: polygons
  // filled one call after another along a shared edge would otherwise let
  // what is under them show through their antialiased edges there. The
  // lines drawn along those edges are antialiased.
  c.cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  c.cairo_fill(cr);
  c.cairo_set_antialias(cr, s.canvas->antialias);
}

void canvas_polyline(Surface& s, const double* xy, int n, int width, uint32_t rgb) {
  if (s.canvas == nullptr || n < 2) return;
  const CairoApi& c = *cairo();
  cairo_t* cr = s.canvas->cr;
  c.cairo_new_path(cr);
  c.cairo_move_to(cr, xy[0], xy[1]);
  for (int k = 1; k < n; ++k) c.cairo_line_to(cr, xy[2 * k], xy[2 * k + 1]);
  stroke_with(c, cr, width, rgb);
}

void canvas_before_pixels(Surface& s) {
  if (s.canvas != nullptr) cairo()->cairo_surface_flush(s.canvas->surface);
}

void canvas_after_pixels(Surface& s) {
  if (s.canvas != nullptr) cairo()->cairo_surface_mark_dirty(s.canvas->surface);
}

}  // namespace plat

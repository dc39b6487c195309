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
#include <string>

#include "cp932.h"

#include "cairo_api.h"
#include "surface.h"

namespace plat {

struct Canvas {
  cairo_surface_t* surface;
  cairo_t* cr;
  cairo_antialias_t antialias;  // of lines
  double scale;                 // device pixels per logical pixel
  std::string* pdf;  // a PDF canvas's document; null for pixels
  bool finished;     // a PDF made: nothing more is drawn
  // Exact paths of one pen in a row are stroked together, when something
  // else is drawn or the pixels are wanted: one stroke costs cairo much more
  // than a longer path does.
  bool pending;
  int pending_width;
  uint32_t pending_rgb;
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

// Strokes the exact paths gathered so far.
void settle(const CairoApi& c, Canvas& canvas) {
  if (!canvas.pending) return;
  canvas.pending = false;
  stroke_with(c, canvas.cr, canvas.pending_width, canvas.pending_rgb);
}

}  // namespace

namespace {

cairo_status_t append_pdf(void* closure, const unsigned char* data, unsigned int length) {
  try {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  } catch (const std::bad_alloc&) {
    return CAIRO_STATUS_NO_MEMORY;
  }
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

bool canvas_attach_pdf(Surface& s) {
  const CairoApi* c = cairo();
  if (c == nullptr) return false;
  Canvas* canvas = new (std::nothrow) Canvas{};
  if (canvas == nullptr) return false;
  canvas->pdf = new (std::nothrow) std::string();
  if (canvas->pdf != nullptr) {
    canvas->surface = c->cairo_pdf_surface_create_for_stream(append_pdf, canvas->pdf, s.logical_width * kPdfPointsPerPixel,
                                                             s.logical_height * kPdfPointsPerPixel);
    canvas->cr = c->cairo_create(canvas->surface);
  }
  if (canvas->pdf == nullptr || c->cairo_status(canvas->cr) != CAIRO_STATUS_SUCCESS) {
    canvas_destroy(canvas);
    return false;
  }
  c->cairo_scale(canvas->cr, kPdfPointsPerPixel, kPdfPointsPerPixel);
  canvas->antialias = CAIRO_ANTIALIAS_DEFAULT;
  c->cairo_set_line_cap(canvas->cr, CAIRO_LINE_CAP_ROUND);
  c->cairo_set_line_join(canvas->cr, CAIRO_LINE_JOIN_ROUND);
  c->cairo_set_fill_rule(canvas->cr, CAIRO_FILL_RULE_WINDING);
  set_colour(*c, canvas->cr, kWindowBackground);  // as a new surface
  c->cairo_paint(canvas->cr);
  s.pdf = canvas;
  return true;
}

const std::string* canvas_finish_pdf(Canvas& canvas) {
  if (canvas.pdf == nullptr) return nullptr;
  if (!canvas.finished) {
    const CairoApi& c = *cairo();
    settle(c, canvas);
    c.cairo_show_page(canvas.cr);
    c.cairo_destroy(canvas.cr);
    canvas.cr = nullptr;
    c.cairo_surface_finish(canvas.surface);
    const bool good = c.cairo_surface_status(canvas.surface) == CAIRO_STATUS_SUCCESS;
    c.cairo_surface_destroy(canvas.surface);
    canvas.surface = nullptr;
    canvas.finished = true;
    if (!good) canvas.pdf->clear();
  }
  return canvas.pdf->empty() ? nullptr : canvas.pdf;
}

void canvas_text(Canvas& canvas, const std::string& family, double em, double ascent, const uint32_t* chars,
                 const int64_t* pen, std::size_t n, int32_t x, int32_t y, int escapement, bool opaque,
                 double advance, double cell, uint32_t rgb, int halo, uint32_t halo_rgb) {
  if (canvas.finished) return;
  const CairoApi& c = *cairo();
  settle(c, canvas);
  cairo_t* cr = canvas.cr;
  c.cairo_save(cr);
  c.cairo_translate(cr, x, y);
  // The escapement turns the text about its top-left, counterclockwise in
  // tenths of a degree.
  if (escapement != 0) c.cairo_rotate(cr, -escapement * M_PI / 1800.0);
  if (opaque) {
    c.cairo_new_path(cr);
    c.cairo_rectangle(cr, 0, 0, advance, cell);
    set_colour(c, cr, 0x00FFFFFFu);
    c.cairo_fill(cr);
  }
  c.cairo_select_font_face(cr, family.empty() ? "monospace" : family.c_str(), CAIRO_FONT_SLANT_NORMAL,
                           CAIRO_FONT_WEIGHT_NORMAL);
  c.cairo_set_font_size(cr, em);
  set_colour(c, cr, rgb);
  std::string utf8;
  for (std::size_t k = 0; k < n; ++k) {
    utf8.clear();
    cp932::append_utf8(utf8, chars[k] < 0x20 ? 0xFFFD : chars[k]);
    c.cairo_move_to(cr, static_cast<double>(pen[k]), ascent);
    if (halo <= 0) {
      c.cairo_show_text(cr, utf8.c_str());
      continue;
    }
    // The outline: a stroke twice its width, the glyphs filled over half of it.
    c.cairo_new_path(cr);
    c.cairo_move_to(cr, static_cast<double>(pen[k]), ascent);
    c.cairo_text_path(cr, utf8.c_str());
    set_colour(c, cr, halo_rgb);
    c.cairo_set_line_width(cr, 2.0 * halo);
    c.cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    c.cairo_stroke_preserve(cr);
    set_colour(c, cr, rgb);
    c.cairo_fill(cr);
  }
  c.cairo_restore(cr);
}

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
  canvas->scale = s.scale;
  // cairo's fast antialiasing (a coarser grid of samples) looks the same on
  // lines a pixel or two wide, at half the cost of its default.
  canvas->antialias = antialias ? CAIRO_ANTIALIAS_FAST : CAIRO_ANTIALIAS_NONE;
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
  delete canvas->pdf;
  delete canvas;
}

void canvas_line(Canvas& canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int width, uint32_t rgb) {
  if (canvas.finished) return;
  const CairoApi& c = *cairo();
  settle(c, canvas);
  cairo_t* cr = canvas.cr;
  c.cairo_new_path(cr);
  c.cairo_move_to(cr, stroke_at(x0, width), stroke_at(y0, width));
  c.cairo_line_to(cr, stroke_at(x1, width), stroke_at(y1, width));
  stroke_with(c, cr, width, rgb);
}

void canvas_rectangle(Canvas& canvas, int64_t x0, int64_t y0, int64_t x1, int64_t y1, int pen_width, uint32_t pen_rgb,
                      uint32_t brush_rgb) {
  if (canvas.finished) return;
  const CairoApi& c = *cairo();
  cairo_t* cr = canvas.cr;
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

void canvas_polygons(Canvas& canvas, const POINTF* points, const int* counts, int polygons, uint32_t rgb) {
  if (canvas.finished) return;
  const CairoApi& c = *cairo();
  settle(c, canvas);
  cairo_t* cr = canvas.cr;
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
  if (canvas.pdf == nullptr) {
    c.cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    c.cairo_fill(cr);
  } else {
    // A page's viewer antialiases every fill: a hairline of the same colour
    // round the polygons closes the seams between them.
    c.cairo_fill_preserve(cr);
    c.cairo_set_line_width(cr, 0.5);
    c.cairo_stroke(cr);
  }
  c.cairo_set_antialias(cr, canvas.antialias);
}

void canvas_polyline(Canvas& canvas, const double* xy, int n, int width, uint32_t rgb) {
  if (canvas.finished || n < 2) return;
  const CairoApi& c = *cairo();
  if (canvas.pending && (canvas.pending_width != width || canvas.pending_rgb != rgb)) settle(c, canvas);
  cairo_t* cr = canvas.cr;
  if (!canvas.pending) c.cairo_new_path(cr);
  c.cairo_move_to(cr, xy[0], xy[1]);
  // Pixels take no detail finer than a tenth of their size: a point that
  // close to the last one kept is left out (the path's end never is). Dense
  // models have many such points, and each costs a stroke its join.
  double last_x = xy[0], last_y = xy[1];
  const double least = canvas.pdf != nullptr ? 0.0 : 0.1 / canvas.scale;
  for (int k = 1; k < n; ++k) {
    const double x = xy[2 * k], y = xy[2 * k + 1];
    if (k + 1 < n && std::fabs(x - last_x) < least && std::fabs(y - last_y) < least) continue;
    c.cairo_line_to(cr, x, y);
    last_x = x;
    last_y = y;
  }
  canvas.pending = true;
  canvas.pending_width = width;
  canvas.pending_rgb = rgb;
}

void canvas_before_pixels(Surface& s) {
  if (s.canvas == nullptr) return;
  settle(*cairo(), *s.canvas);
  cairo()->cairo_surface_flush(s.canvas->surface);
}

void canvas_after_pixels(Surface& s) {
  if (s.canvas != nullptr) cairo()->cairo_surface_mark_dirty(s.canvas->surface);
}

}  // namespace plat

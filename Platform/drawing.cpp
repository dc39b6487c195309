// The drawing calls of a surface device context.
#include <cmath>
#include <new>
#include <vector>

#include "raster.h"
#include "surface.h"

using namespace plat;

namespace {

Raster raster_of(const Surface& s) { return Raster{s.pixels, s.width, s.height}; }

// A surface with no pixels still answers GetSurfaceBits with a valid pointer.
const uint32_t no_pixels[1] = {0};

// Between BeginRasterStandIn and EndRasterStandIn a surface that takes
// exact paths records nothing, and one that paints them itself paints
// nothing either.
bool records(const Surface& s) { return s.svg != nullptr && s.stand_in == 0; }
bool paints(const Surface& s) { return s.stand_in == 0 || s.canvas == nullptr; }

// The selected font at the surface's scale (a scaled surface's texts).
Object* scaled_font(Surface& s) {
  const Object& font = object_at(s.font);
  if (s.scaled_font != nullptr && s.scaled_font_slot == s.font && s.scaled_font_generation == font.generation)
    return s.scaled_font;
  Object* copy = s.scaled_font != nullptr ? s.scaled_font : new (std::nothrow) Object{};
  if (copy == nullptr) return nullptr;
  *copy = Object{};
  copy->kind = Kind::kFont;
  copy->logfont = font.logfont;
  const double height = font.logfont.lfHeight == 0 ? kDefaultFontHeight : font.logfont.lfHeight;
  copy->logfont.lfHeight = static_cast<LONG>(std::lround(std::fmin(std::fmax(height * s.scale, -1e6), 1e6)));
  if (copy->logfont.lfHeight == 0) copy->logfont.lfHeight = 1;
  s.scaled_font = copy;
  s.scaled_font_slot = s.font;
  s.scaled_font_generation = font.generation;
  return copy;
}

bool valid_group_id(const char* id) {
  if (id == nullptr || *id == '\0') return false;
  for (const char* c = id; *c != '\0'; ++c) {
    const bool ok = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') ||
                    *c == '-' || *c == '_';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
  Surface* s = blank_surface_of(hdc);
  if (s == nullptr) return FALSE;
  const int64_t x0 = left < right ? left : right, x1 = left < right ? right : left;
  const int64_t y0 = top < bottom ? top : bottom, y1 = top < bottom ? bottom : top;
  if (x1 == x0 || y1 == y0) return TRUE;  // nothing to cover
  // A box over the whole surface writes every pixel (the pen's ring and the
  // brush's inside): a blank surface's background need not come first.
  if (x0 <= 0 && y0 <= 0 && x1 >= s->logical_width && y1 >= s->logical_height) {
    s->blank = false;
  } else {
    s = surface_of(hdc);
  }
  const Raster r = raster_of(*s);
  const Object& pen = object_at(s->pen);
  const uint32_t fill = object_at(s->brush).rgb;
  if (s->canvas != nullptr) {
    if (paints(*s)) canvas_rectangle(*s->canvas, x0, y0, x1, y1, pen.pen_width, pen.rgb, fill);
  } else if (pen.pen_width <= 1) {
    // The box covers columns x0 .. x1 - 1 and rows y0 .. y1 - 1; the pen takes
    // its outermost ring, the brush the rest.
    fill_box(r, x0 + 1, y0 + 1, x1 - 1, y1 - 1, fill);
    fill_box(r, x0, y0, x1, y0 + 1, pen.rgb);
    fill_box(r, x0, y1 - 1, x1, y1, pen.rgb);
    fill_box(r, x0, y0, x0 + 1, y1, pen.rgb);
    fill_box(r, x1 - 1, y0, x1, y1, pen.rgb);
  } else {
    // A wide pen strokes the same ring's centre line, its width shared
    // between inside and outside.
    fill_box(r, x0, y0, x1, y1, fill);
    const int32_t l = static_cast<int32_t>(x0), t = static_cast<int32_t>(y0);
    const int32_t rr = static_cast<int32_t>(x1 - 1), b = static_cast<int32_t>(y1 - 1);
    wide_line(r, l, t, rr, t, pen.pen_width, pen.rgb);
    wide_line(r, rr, t, rr, b, pen.pen_width, pen.rgb);
    wide_line(r, rr, b, l, b, pen.pen_width, pen.rgb);
    wide_line(r, l, b, l, t, pen.pen_width, pen.rgb);
  }
  if (records(*s)) svg_rectangle(*s, x0, y0, x1, y1, pen.pen_width, pen.rgb, fill);
  if (records(*s) && s->pdf != nullptr) canvas_rectangle(*s->pdf, x0, y0, x1, y1, pen.pen_width, pen.rgb, fill);
  return TRUE;
}

BOOL FillPolygons(HDC hdc, const POINTF* points, const int* counts, int polygons) {
  Surface* s = surface_of(hdc);
  if (s == nullptr || polygons < 0) return FALSE;
  if (polygons == 0) return TRUE;
  if (points == nullptr || counts == nullptr) return FALSE;
  for (int i = 0; i < polygons; ++i)
    if (counts[i] < 0) return FALSE;
  const Raster r = raster_of(*s);
  const uint32_t fill = object_at(s->brush).rgb;
  if (records(*s)) svg_polygons(*s, points, counts, polygons, fill);
  if (records(*s) && s->pdf != nullptr) canvas_polygons(*s->pdf, points, counts, polygons, fill);
  if (s->canvas != nullptr) {
    if (paints(*s)) canvas_polygons(*s->canvas, points, counts, polygons, fill);
    return TRUE;
  }
  for (int i = 0; i < polygons; ++i) {
    fill_polygon(r, points, counts[i], fill);
    points += counts[i];
  }
  return TRUE;
}

BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT previous) {
  Surface* s = surface_of(hdc);
  if (s == nullptr) return FALSE;
  if (previous != nullptr) {
    previous->x = s->cur_x;
    previous->y = s->cur_y;
  }
  s->cur_x = x;
  s->cur_y = y;
  return TRUE;
}

BOOL LineTo(HDC hdc, int x, int y) {
  Surface* s = surface_of(hdc);
  if (s == nullptr) return FALSE;
  const Object& pen = object_at(s->pen);
  if (s->canvas != nullptr) {
    if (paints(*s)) canvas_line(*s->canvas, s->cur_x, s->cur_y, x, y, pen.pen_width, pen.rgb);
  } else if (pen.pen_width <= 1) {
    thin_line(raster_of(*s), s->cur_x, s->cur_y, x, y, pen.rgb);
  } else {
    wide_line(raster_of(*s), s->cur_x, s->cur_y, x, y, pen.pen_width, pen.rgb);
  }
  if (records(*s)) svg_line(*s, s->cur_x, s->cur_y, x, y, pen.pen_width, pen.rgb);
  if (records(*s) && s->pdf != nullptr) canvas_line(*s->pdf, s->cur_x, s->cur_y, x, y, pen.pen_width, pen.rgb);
  s->cur_x = x;
  s->cur_y = y;
  return TRUE;
}

BOOL TextOutA(HDC hdc, int x, int y, LPCSTR text, int length) {
  Surface* s = surface_of(hdc);
  if (s == nullptr || length < 0 || (text == nullptr && length > 0)) return FALSE;
  if (length == 0) return TRUE;
  if (s->canvas == nullptr && s->stand_in == 0) {
    text_out(*s, object_at(s->font), x, y, text, length);
    return TRUE;
  }
  if (!paints(*s)) return TRUE;
  // The glyphs are the surface's own painting, at the scale's size; the
  // recorded text keeps the logical font and place.
  canvas_before_pixels(*s);
  Surface paint = *s;
  if (!records(*s) || s->scale != 1.0) paint.svg = nullptr;
  if (s->scale == 1.0) {
    text_out(paint, object_at(s->font), x, y, text, length);
  } else if (Object* font = scaled_font(*s)) {
    text_out(paint, *font, static_cast<int32_t>(std::lround(x * s->scale)),
             static_cast<int32_t>(std::lround(y * s->scale)), text, length);
  }
  canvas_after_pixels(*s);
  if (records(*s) && s->scale != 1.0) {
    Surface record = *s;
    record.pixels = nullptr;
    record.width = record.height = 0;
    text_out(record, object_at(s->font), x, y, text, length);
  }
  return TRUE;
}

COLORREF SetTextColor(HDC hdc, COLORREF color) {
  Surface* s = surface_of(hdc);
  if (s == nullptr) return CLR_INVALID;
  const COLORREF previous = colorref_of(s->text_rgb);
  s->text_rgb = pixel_of(color);
  return previous;
}

int SetBkMode(HDC hdc, int mode) {
  Surface* s = surface_of(hdc);
  if (s == nullptr || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  const int previous = s->bk_mode;
  s->bk_mode = mode;
  return previous;
}

COLORREF GetPixel(HDC hdc, int x, int y) {
  Surface* s = surface_of(hdc);
  if (s == nullptr || x < 0 || y < 0 || x >= s->width || y >= s->height) return CLR_INVALID;
  canvas_before_pixels(*s);
  return colorref_of(s->pixels[int64_t{y} * s->width + x]);
}

const uint32_t* GetSurfaceBits(HDC hdc, int* width, int* height) {
  Surface* s = surface_of(hdc);
  if (s == nullptr) return nullptr;
  if (s->canvas != nullptr && s->pixels != nullptr) {
    // cairo may leave the unused top byte set: the pixels are 0x00RRGGBB.
    canvas_before_pixels(*s);
    uint32_t* p = s->pixels;
    for (int64_t i = 0, n = int64_t{s->width} * s->height; i < n; ++i) p[i] &= 0x00FFFFFFu;
  }
  if (width != nullptr) *width = s->width;
  if (height != nullptr) *height = s->height;
  return s->pixels != nullptr ? s->pixels : no_pixels;
}

HDC CreateSurfaceDCWith(int width, int height, double scale, DWORD flags) {
  if (!(scale >= kMinSurfaceScale && scale <= kMaxSurfaceScale)) return nullptr;
  if ((flags & ~(ISOVAR_SURFACE_SVG | ISOVAR_SURFACE_ANTIALIAS | ISOVAR_SURFACE_PDF)) != 0) return nullptr;
  // The PDF page is drawn from what an SVG recording surface records.
  if ((flags & ISOVAR_SURFACE_PDF) != 0) flags |= ISOVAR_SURFACE_SVG;
  if (width < 0 || height < 0 || width > kMaxSurfaceSide || height > kMaxSurfaceSide) return nullptr;
  const double w = std::round(width * scale), h = std::round(height * scale);
  if (w > kMaxSurfaceSide || h > kMaxSurfaceSide) return nullptr;
  HDC hdc = (flags & ISOVAR_SURFACE_SVG) != 0 ? CreateSvgSurfaceDC(static_cast<int>(w), static_cast<int>(h))
                                              : CreateSurfaceDC(static_cast<int>(w), static_cast<int>(h));
  Surface* s = blank_surface_of(hdc);
  if (s == nullptr) return nullptr;
  s->logical_width = width;
  s->logical_height = height;
  s->scale = scale;
  if (s->svg != nullptr) svg_set_scale(*s, scale);
  const bool antialias = (flags & ISOVAR_SURFACE_ANTIALIAS) != 0;
  if (((antialias || scale != 1.0) && !canvas_attach(*s, antialias)) ||
      ((flags & ISOVAR_SURFACE_PDF) != 0 && !canvas_attach_pdf(*s))) {
    DeleteDC(hdc);
    return nullptr;
  }
  return hdc;
}

BOOL SurfaceTakesExactPaths(HDC hdc) {
  const Surface* s = blank_surface_of(hdc);
  return s != nullptr && takes_exact_paths(*s) ? TRUE : FALSE;
}

BOOL BeginRasterStandIn(HDC hdc) {
  Surface* s = blank_surface_of(hdc);
  if (s == nullptr) return FALSE;
  ++s->stand_in;
  return TRUE;
}

BOOL EndRasterStandIn(HDC hdc) {
  Surface* s = blank_surface_of(hdc);
  if (s == nullptr || s->stand_in == 0) return FALSE;
  --s->stand_in;
  return TRUE;
}

BOOL SetPathTransform(HDC hdc, const double matrix[6]) {
  Surface* s = blank_surface_of(hdc);
  if (s == nullptr || matrix == nullptr) return FALSE;
  for (int k = 0; k < 6; ++k)
    if (!std::isfinite(matrix[k])) return FALSE;
  for (int k = 0; k < 6; ++k) s->path_matrix[k] = matrix[k];
  return TRUE;
}

BOOL PolylineF(HDC hdc, const POINTF* points, int count) {
  Surface* s = surface_of(hdc);
  if (s == nullptr || count < 0 || (points == nullptr && count > 0)) return FALSE;
  if (count < 2 || !takes_exact_paths(*s)) return TRUE;
  const Object& pen = object_at(s->pen);
  const double* m = s->path_matrix;
  std::vector<double> xy;
  xy.reserve(2 * static_cast<std::size_t>(count));
  auto flush = [&] {
    const int n = static_cast<int>(xy.size() / 2);
    if (n >= 2) {
      if (s->svg != nullptr) svg_polyline(*s, xy.data(), n, pen.pen_width, pen.rgb);
      if (s->canvas != nullptr) canvas_polyline(*s->canvas, xy.data(), n, pen.pen_width, pen.rgb);
      if (s->pdf != nullptr) canvas_polyline(*s->pdf, xy.data(), n, pen.pen_width, pen.rgb);
    }
    xy.clear();
  };
  for (int k = 0; k < count; ++k) {
    const double x = points[k].x, y = points[k].y;
    if (!std::isfinite(x) || !std::isfinite(y)) {
      flush();
      continue;
    }
    const double px = m[0] * x + m[2] * y + m[4], py = m[1] * x + m[3] * y + m[5];
    if (!xy.empty() && xy[xy.size() - 2] == px && xy.back() == py) continue;
    xy.push_back(px);
    xy.push_back(py);
  }
  flush();
  return TRUE;
}

BOOL BeginGroup(HDC hdc, const char* id, const char* attributes) {
  Surface* s = blank_surface_of(hdc);
  if (s == nullptr || !valid_group_id(id)) return FALSE;
  if (s->svg != nullptr) svg_begin_group(*s, id, attributes != nullptr ? attributes : "");
  return TRUE;
}

BOOL EndGroup(HDC hdc) {
  Surface* s = blank_surface_of(hdc);
  if (s == nullptr) return FALSE;
  if (s->svg != nullptr) svg_end_group(*s);
  return TRUE;
}

const char* GetSurfacePdf(HDC hdc, size_t* length) {
  Surface* s = blank_surface_of(hdc);
  if (s == nullptr || s->pdf == nullptr) return nullptr;
  const std::string* pdf = canvas_finish_pdf(*s->pdf);
  if (pdf == nullptr) return nullptr;
  if (length != nullptr) *length = pdf->size();
  return pdf->data();
}

// The drawing calls of a surface device context.
#include "raster.h"
#include "surface.h"

using namespace plat;

namespace {

Raster raster_of(const Surface& s) { return Raster{s.pixels, s.width, s.height}; }

// A surface with no pixels still answers GetSurfaceBits with a valid pointer.
const uint32_t no_pixels[1] = {0};

}  // namespace

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
  Surface* s = blank_surface_of(hdc);
  if (s == nullptr) return FALSE;
  const int64_t x0 = left < right ? left : right, x1 = left < right ? right : left;
  const int64_t y0 = top < bottom ? top : bottom, y1 = top < bottom ? bottom : top;
  if (x1 == x0 || y1 == y0) return TRUE;  // nothing to cover
  // A box over the whole surface writes every pixel (the pen's ring and the
  // brush's inside): a blank surface's background need not come first.
  if (x0 <= 0 && y0 <= 0 && x1 >= s->width && y1 >= s->height) {
    s->blank = false;
  } else {
    s = surface_of(hdc);
  }
  const Raster r = raster_of(*s);
  const Object& pen = object_at(s->pen);
  const uint32_t fill = object_at(s->brush).rgb;
  if (pen.pen_width <= 1) {
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
  if (s->svg != nullptr) svg_rectangle(*s, x0, y0, x1, y1, pen.pen_width, pen.rgb, fill);
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
  if (s->svg != nullptr) svg_polygons(*s, points, counts, polygons, fill);
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
  if (pen.pen_width <= 1) {
    thin_line(raster_of(*s), s->cur_x, s->cur_y, x, y, pen.rgb);
  } else {
    wide_line(raster_of(*s), s->cur_x, s->cur_y, x, y, pen.pen_width, pen.rgb);
  }
  if (s->svg != nullptr) svg_line(*s, s->cur_x, s->cur_y, x, y, pen.pen_width, pen.rgb);
  s->cur_x = x;
  s->cur_y = y;
  return TRUE;
}

BOOL TextOutA(HDC hdc, int x, int y, LPCSTR text, int length) {
  Surface* s = surface_of(hdc);
  if (s == nullptr || length < 0 || (text == nullptr && length > 0)) return FALSE;
  if (length == 0) return TRUE;
  text_out(*s, object_at(s->font), x, y, text, length);
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
  const Surface* s = surface_of(hdc);
  if (s == nullptr || x < 0 || y < 0 || x >= s->width || y >= s->height) return CLR_INVALID;
  return colorref_of(s->pixels[int64_t{y} * s->width + x]);
}

const uint32_t* GetSurfaceBits(HDC hdc, int* width, int* height) {
  const Surface* s = surface_of(hdc);
  if (s == nullptr) return nullptr;
  if (width != nullptr) *width = s->width;
  if (height != nullptr) *height = s->height;
  return s->pixels != nullptr ? s->pixels : no_pixels;
}

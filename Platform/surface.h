// The drawing layer's own state, shared by its source files and hidden from
// everyone else.
//
// Owns: the object table (pens, brushes, fonts and device contexts behind the
// handles), the stock objects, the pixel buffer of every surface device
// context. The font and glyph caches are owned by text.cpp alone.
//
// Threads: the object table's bookkeeping is guarded by objects.cpp's lock,
// the fonts and glyphs (and a font object's resolved face) by text.cpp's; a
// surface and what it records belong to the thread drawing on it, and its
// drawing calls take no lock but for text.
//
// Handles are table slots, not pointers: a handle carries its slot and the
// slot's generation, so a stale handle (slot freed and reused) and a foreign
// value (anything that never came from this table) are recognised and refused
// without being dereferenced.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform.h"

namespace plat {

// The plain window background a new surface is filled with (the platform's
// button-face grey), as a pixel.
constexpr uint32_t kWindowBackground = 0x00F0F0F0u;

// Surfaces are at most 32767 pixels on a side and 2^26 pixels (256 MiB) in all.
constexpr int kMaxSurfaceSide = 32767;
constexpr int64_t kMaxSurfacePixels = int64_t{1} << 26;

// Pens wider than this are drawn this wide.
constexpr int kMaxPenWidth = 4096;

// The default font of a new device context: the Japanese gothic, 16 pixels.
constexpr LONG kDefaultFontHeight = 16;

// The object table holds this many live objects (stock ones included);
// creating one more fails with a NULL handle, as the platform does when its
// handle quota is spent.
constexpr int kMaxObjects = 16384;

enum class Kind : uint8_t { kFree = 0, kPen, kBrush, kFont, kDC };

struct FontFace;     // a resolved face at one size (text.cpp)
struct SvgRecorder;  // the SVG a recording surface keeps (svg.cpp)
struct Canvas;       // cairo painting on a surface's pixels (canvas.cpp)
struct Object;

// Pixels per logical pixel a surface may have.
constexpr double kMinSurfaceScale = 0.5;
constexpr double kMaxSurfaceScale = 8.0;

struct Surface {
  int width;
  int height;
  uint32_t* pixels;  // width * height, 0x00RRGGBB, top row first; null when empty
  int pen;           // slots of the selected objects
  int brush;
  int font;
  uint32_t text_rgb;  // 0x00RRGGBB
  int bk_mode;
  int32_t cur_x;  // the current position
  int32_t cur_y;
  SvgRecorder* svg;  // null unless the surface records SVG
  // Every pixel is still the window background, not yet written out: a new
  // surface is usually covered whole by its first rectangle, so the
  // background is written only when something else comes first.
  bool blank;
  // The outline around texts (SetTextHalo): its width in pixels (0: none)
  // and colour.
  int halo_width;
  uint32_t halo_rgb;
  // Exact pictures (CreateSurfaceDCWith). The calls take logical pixels,
  // logical_width x logical_height of them; width and height above are the
  // buffer's, scale times as many (1 for a plain surface).
  int logical_width;
  int logical_height;
  double scale;
  Canvas* canvas;  // null unless lines and fills are painted through cairo
  Canvas* pdf;     // null unless the surface also draws a PDF page (with svg set too)
  int stand_in;    // > 0 between BeginRasterStandIn and EndRasterStandIn
  double path_matrix[6];  // PolylineF's coordinates to logical pixels
  // The selected font at the surface's scale: a copy of the font object
  // (slot and generation of the original), its face resolved for its height.
  Object* scaled_font;
  int scaled_font_slot;
  uint32_t scaled_font_generation;
};

// Whether a surface takes exact paths (PolylineF, groups).
inline bool takes_exact_paths(const Surface& s) { return s.svg != nullptr || s.canvas != nullptr; }

// A PDF page's points per logical pixel (96 pixels to the inch).
constexpr double kPdfPointsPerPixel = 0.75;

struct Object {
  Kind kind;
  bool stock;           // never freed
  bool delete_pending;  // deleted while selected: freed when the last DC lets go
  uint32_t generation;  // bumped when the slot is freed; 0 = never used
  uint32_t select_count;
  // Pen and brush
  int pen_width;  // >= 1
  uint32_t rgb;   // 0x00RRGGBB
  // Font
  LOGFONTA logfont;
  const FontFace* face;  // resolved on first use; null until then
  bool face_resolved;
  // Device context
  Surface* surface;
};

// Slot lookups: the slot of a live handle of the wanted kind, or -1.
int slot_of(HGDIOBJ handle, Kind kind);
int dc_slot(HDC hdc);
Object& object_at(int slot);
// The surface of a live surface DC, its pixels written out (null for
// anything else).
Surface* surface_of(HDC hdc);
// The same, the pixels of a blank surface not yet written: for a call that
// covers the whole surface, or asks only for its size.
Surface* blank_surface_of(HDC hdc);

// Colour conversions between COLORREF 0x00BBGGRR and pixels 0x00RRGGBB. The
// top byte of a COLORREF (palette flags) is ignored.
constexpr uint32_t pixel_of(COLORREF c) {
  return ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}
constexpr COLORREF colorref_of(uint32_t p) {
  return ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
}
static_assert(pixel_of(ISOVAR_SURFACE_BACKGROUND) == kWindowBackground, "one window grey");

// Where the surface puts each character of a text: the face's family name,
// the cell's ascent and the em size in pixels, and per character its code
// point and pen position from the text's start; advance is the whole text's.
struct TextLayout {
  std::string family;
  int ascent;
  int cell;
  double em;
  std::vector<uint32_t> chars;
  std::vector<int64_t> pen;
  int64_t advance;
};

// Text (text.cpp): paints the text in the font (resolving its face on first
// use) with the top-left of its cell at (x, y), and hands a recording
// surface's recorder where each character went. Nothing when no font at all
// is installed.
void text_out(Surface& s, Object& font, int32_t x, int32_t y, const char* text, int length);

// The SVG recorder (svg.cpp): each drawing call of a recording surface tells
// it what it painted, after painting.
void svg_rectangle(Surface& s, int64_t x0, int64_t y0, int64_t x1, int64_t y1, int pen_width, uint32_t pen_rgb,
                   uint32_t brush_rgb);
void svg_line(Surface& s, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int width, uint32_t rgb);
void svg_text(Surface& s, const Object& font, const TextLayout& layout, int32_t x, int32_t y);
void svg_polygons(Surface& s, const POINTF* points, const int* counts, int polygons, uint32_t rgb);
void svg_pen_selected(Surface& s);
void svg_destroy(SvgRecorder* recorder);
// An exact path through n points (x, y pairs in logical pixels), stroked
// with a pen `width` pixels wide.
void svg_polyline(Surface& s, const double* xy, int n, int width, uint32_t rgb);
void svg_begin_group(Surface& s, const char* id, const char* attributes);
void svg_end_group(Surface& s);
// The recorded document's size: the logical one, times scale.
void svg_set_scale(Surface& s, double scale);

// Painting through cairo (canvas.cpp), in logical pixels: the same shapes
// as the surface's own rules (a line through the pixel centres of its ends
// for odd widths, the corners for even ones), with antialiased edges when
// asked for. canvas_attach fails when cairo cannot be had.
bool canvas_attach(Surface& s, bool antialias);
// A PDF page of the surface's logical size (kPdfPointsPerPixel), drawn
// exactly: s.pdf. canvas_finish_pdf ends the page on its first call and
// gives the document (null when cairo failed); nothing is drawn after.
bool canvas_attach_pdf(Surface& s);
const std::string* canvas_finish_pdf(Canvas& canvas);
void canvas_destroy(Canvas* canvas);
void canvas_line(Canvas& canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int width, uint32_t rgb);
void canvas_rectangle(Canvas& canvas, int64_t x0, int64_t y0, int64_t x1, int64_t y1, int pen_width,
                      uint32_t pen_rgb, uint32_t brush_rgb);
void canvas_polygons(Canvas& canvas, const POINTF* points, const int* counts, int polygons, uint32_t rgb);
void canvas_polyline(Canvas& canvas, const double* xy, int n, int width, uint32_t rgb);
// Text as text on a PDF canvas: each character at its pen position from
// (x, y), the text's top-left, in the face's family at em pixels; on an
// outline halo pixels wide in halo_rgb when halo > 0.
void canvas_text(Canvas& canvas, const std::string& family, double em, double ascent, const uint32_t* chars,
                 const int64_t* pen, std::size_t n, int32_t x, int32_t y, int escapement, bool opaque,
                 double advance, double cell, uint32_t rgb, int halo, uint32_t halo_rgb);
// Around anything that writes the pixels other than through cairo (text).
void canvas_before_pixels(Surface& s);
void canvas_after_pixels(Surface& s);

}  // namespace plat

// Surfaces that record SVG: every drawing call paints its pixels as on any
// surface and adds what it painted to an SVG 1.1 document of the surface's
// size, in pixels, with the same colours:
//
// - Rectangle: a rect of the brush, and the pen's ring on it; a rectangle
//   that covers the whole surface (a picture's background) hides everything
//   before it, which is then dropped.
// - LineTo: a stroke of the pen's colour and width through the centres of
//   the end pixels (odd widths) or their top-left corners (even widths), as
//   the surface's strokes run; a line that goes on from where the last one
//   ended, with the same pen, continues its path, and selecting a pen starts
//   a new one, so a polyline drawn with a pen of its own is one path.
// - TextOutA: a text element with the font's family and em size, its
//   baseline where the surface puts it and each character at the surface's
//   pen position (so the text sits where the pixels are, whatever font the
//   viewer finds), code page 932 decoded to UTF-8 and XML-escaped.
// - FillPolygons: polygons of one colour in a row are one path (nonzero
//   winding), drawn with crisp edges as the surface's pixel-centre rule
//   draws them, so polygons that share an edge show no seam between them.
//
// Surfaces that take exact paths (surface.h) record PolylineF's paths with
// their fractions (to 1e-7 pixel) and the integer calls of a raster stand-in
// not at all. Groups (BeginGroup) are g elements, in the document where each
// first began; a group begun again gathers what is drawn into the same
// element. A scaled surface's document is scale times as wide and high as
// its logical size, which stays its viewBox.
//
// The document is made of the recorded elements when asked for.
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "cp932.h"
#include "surface.h"

namespace plat {

struct SvgRecorder {
  int width = 0;  // the viewBox, in logical pixels
  int height = 0;
  double scale = 1.0;  // the document's width and height are the viewBox's times this
  std::string body;      // the elements so far, the open path excepted (the open group's when in one)
  std::string path;      // the open path's data
  enum class Open { kNone, kStroke, kFill, kExact } open = Open::kNone;
  struct Group {
    std::string id;
    std::string attributes;
    std::string text;  // its elements (moved to body while it is open)
  };
  std::vector<Group> groups;
  // The document's text before each group, and which group follows it.
  std::vector<std::pair<std::string, int>> before_group;
  std::string outside;  // the elements after the last group, while a group is open
  int open_group = -1;
  uint32_t open_rgb = 0;
  int open_width = 0;
  int32_t end_x = 0;     // where the open stroke path ends, in pixels
  int32_t end_y = 0;
  std::string document;  // the last document asked for
};

namespace {

void put_int(std::string& out, int64_t v) {
  char text[24];
  int n = 0;
  const bool negative = v < 0;
  uint64_t u = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  do {
    text[n++] = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u != 0);
  if (negative) out += '-';
  while (n > 0) out += text[--n];
}

// A coordinate to a hundredth of a pixel, without trailing zeros.
void put_coordinate(std::string& out, double v) {
  if (!std::isfinite(v)) v = 0;
  if (v > 1e15) v = 1e15;
  if (v < -1e15) v = -1e15;
  const int64_t hundredths = std::llround(v * 100);
  const uint64_t magnitude = hundredths < 0 ? 0 - static_cast<uint64_t>(hundredths) : static_cast<uint64_t>(hundredths);
  if (hundredths < 0) out += '-';
  put_int(out, static_cast<int64_t>(magnitude / 100));
  const int fraction = static_cast<int>(magnitude % 100);
  if (fraction != 0) {
    out += '.';
    out += static_cast<char>('0' + fraction / 10);
    if (fraction % 10 != 0) out += static_cast<char>('0' + fraction % 10);
  }
}

// A coordinate to 1e-7 of a pixel, without trailing zeros.
void put_fine(std::string& out, double v) {
  if (!std::isfinite(v)) v = 0;
  if (v > 1e11) v = 1e11;
  if (v < -1e11) v = -1e11;
  const int64_t units = std::llround(v * 1e7);
  const uint64_t magnitude = units < 0 ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
  if (units < 0) out += '-';
  put_int(out, static_cast<int64_t>(magnitude / 10000000));
  uint64_t fraction = magnitude % 10000000;
  if (fraction != 0) {
    char digits[8];
    int n = 7;
    while (fraction % 10 == 0) {
      fraction /= 10;
      --n;
    }
    for (int k = n - 1; k >= 0; --k) {
      digits[k] = static_cast<char>('0' + fraction % 10);
      fraction /= 10;
    }
    out += '.';
    out.append(digits, static_cast<std::size_t>(n));
  }
}

void put_colour(std::string& out, uint32_t rgb) {
  static const char digits[] = "0123456789abcdef";
  out += '#';
  for (int shift = 20; shift >= 0; shift -= 4) out += digits[(rgb >> shift) & 0xF];
}


// The escape of one of the five characters XML reserves, or null.
const char* xml_escape(uint32_t c) {
  switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    case '\'': return "&apos;";
    default: return nullptr;
  }
}

// A character as XML text: the five escapes, and U+FFFD for what XML 1.0
// does not allow (control characters other than tab, line feed and return).
void put_xml_char(std::string& out, uint32_t cp) {
  if (const char* escape = xml_escape(cp)) {
    out += escape;
    return;
  }
  const bool allowed = cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
                       (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
  cp932::append_utf8(out, allowed ? cp : 0xFFFD);
}

void put_xml_text(std::string& out, const std::string& utf8) {
  for (char c : utf8) {
    if (const char* escape = xml_escape(static_cast<unsigned char>(c))) {
      out += escape;
    } else {
      out += c;
    }
  }
}

// Closes the open path into the body.
void close_path(SvgRecorder& r) {
  if (r.open == SvgRecorder::Open::kStroke || r.open == SvgRecorder::Open::kExact) {
    r.body += "<path fill=\"none\" stroke=\"";
    put_colour(r.body, r.open_rgb);
    r.body += "\" stroke-width=\"";
    put_int(r.body, r.open_width);
    r.body += "\" stroke-linecap=\"round\" stroke-linejoin=\"round\" d=\"";
    r.body += r.path;
    r.body += "\"/>\n";
  } else if (r.open == SvgRecorder::Open::kFill) {
    r.body += "<path fill=\"";
    put_colour(r.body, r.open_rgb);
    r.body += "\" shape-rendering=\"crispEdges\" d=\"";
    r.body += r.path;
    r.body += "\"/>\n";
  }
  r.open = SvgRecorder::Open::kNone;
  r.path.clear();
}

// A pixel position as a stroke of width w runs through it.
double stroke_at(int32_t v, int width) { return width % 2 == 1 ? v + 0.5 : static_cast<double>(v); }

void put_rect(std::string& out, int64_t x, int64_t y, int64_t w, int64_t h, uint32_t rgb) {
  out += "<rect x=\"";
  put_int(out, x);
  out += "\" y=\"";
  put_int(out, y);
  out += "\" width=\"";
  put_int(out, w);
  out += "\" height=\"";
  put_int(out, h);
  out += "\" fill=\"";
  put_colour(out, rgb);
  out += "\"/>\n";
}

// The font's face name in UTF-8 (the name is code page 932, NUL-ended
// within its field).
std::string utf8_face_name(const LOGFONTA& lf) {
  char name[LF_FACESIZE + 1] = {};
  std::memcpy(name, lf.lfFaceName, LF_FACESIZE);
  return cp932::to_utf8(name, cp932::Invalid::kAsDrawn);
}

}  // namespace

void svg_rectangle(Surface& s, int64_t x0, int64_t y0, int64_t x1, int64_t y1, int pen_width, uint32_t pen_rgb,
                   uint32_t brush_rgb) {
  SvgRecorder& r = *s.svg;
  close_path(r);
  if (x0 <= 0 && y0 <= 0 && x1 >= s.logical_width && y1 >= s.logical_height) {  // all of it covered
    r.body.clear();
    if (r.open_group < 0) {
      r.groups.clear();
      r.before_group.clear();
    }
  }
  if (pen_width <= 1) {
    put_rect(r.body, x0, y0, x1 - x0, y1 - y0, pen_rgb);
    if (x1 - x0 > 2 && y1 - y0 > 2 && brush_rgb != pen_rgb) put_rect(r.body, x0 + 1, y0 + 1, x1 - x0 - 2, y1 - y0 - 2, brush_rgb);
    return;
  }
  put_rect(r.body, x0, y0, x1 - x0, y1 - y0, brush_rgb);
  r.body += "<path fill=\"none\" stroke=\"";
  put_colour(r.body, pen_rgb);
  r.body += "\" stroke-width=\"";
  put_int(r.body, pen_width);
  r.body += "\" stroke-linejoin=\"round\" d=\"M";
  const double l = stroke_at(static_cast<int32_t>(x0), pen_width), t = stroke_at(static_cast<int32_t>(y0), pen_width);
  const double rr = stroke_at(static_cast<int32_t>(x1 - 1), pen_width), b = stroke_at(static_cast<int32_t>(y1 - 1), pen_width);
  const double corners[4][2] = {{l, t}, {rr, t}, {rr, b}, {l, b}};
  for (int k = 0; k < 4; ++k) {
    if (k > 0) r.body += " L";
    put_coordinate(r.body, corners[k][0]);
    r.body += ' ';
    put_coordinate(r.body, corners[k][1]);
  }
  r.body += " Z\"/>\n";
}

void svg_line(Surface& s, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int width, uint32_t rgb) {
  SvgRecorder& r = *s.svg;
  const int w = width < 1 ? 1 : width;
  const bool goes_on = r.open == SvgRecorder::Open::kStroke && r.open_rgb == rgb && r.open_width == w &&
                       r.end_x == x0 && r.end_y == y0;
  if (!goes_on) {
    close_path(r);
    r.open = SvgRecorder::Open::kStroke;
    r.open_rgb = rgb;
    r.open_width = w;
    r.path += 'M';
    put_coordinate(r.path, stroke_at(x0, w));
    r.path += ' ';
    put_coordinate(r.path, stroke_at(y0, w));
  }
  r.path += " L";
  put_coordinate(r.path, stroke_at(x1, w));
  r.path += ' ';
  put_coordinate(r.path, stroke_at(y1, w));
  r.end_x = x1;
  r.end_y = y1;
}

void svg_pen_selected(Surface& s) {
  if (s.svg->open == SvgRecorder::Open::kStroke || s.svg->open == SvgRecorder::Open::kExact) close_path(*s.svg);
}

void svg_polyline(Surface& s, const double* xy, int n, int width, uint32_t rgb) {
  SvgRecorder& r = *s.svg;
  const int w = width < 1 ? 1 : width;
  // Paths of one pen in a row are one element, each its own subpath.
  if (r.open != SvgRecorder::Open::kExact || r.open_rgb != rgb || r.open_width != w) {
    close_path(r);
    r.open = SvgRecorder::Open::kExact;
    r.open_rgb = rgb;
    r.open_width = w;
  }
  for (int k = 0; k < n; ++k) {
    r.path += k == 0 ? (r.path.empty() ? "M" : " M") : " L";
    put_fine(r.path, xy[2 * k]);
    r.path += ' ';
    put_fine(r.path, xy[2 * k + 1]);
  }
}

void svg_begin_group(Surface& s, const char* id, const char* attributes) {
  SvgRecorder& r = *s.svg;
  if (r.open_group >= 0) svg_end_group(s);
  close_path(r);
  int found = -1;
  for (std::size_t g = 0; g < r.groups.size() && found < 0; ++g)
    if (r.groups[g].id == id) found = static_cast<int>(g);
  if (found < 0) {
    found = static_cast<int>(r.groups.size());
    r.groups.push_back(SvgRecorder::Group{id, attributes, std::string()});
    r.before_group.emplace_back(std::move(r.body), found);
    r.body.clear();
  }
  r.outside = std::move(r.body);
  r.body = std::move(r.groups[found].text);
  r.open_group = found;
}

void svg_end_group(Surface& s) {
  SvgRecorder& r = *s.svg;
  if (r.open_group < 0) return;
  close_path(r);
  r.groups[r.open_group].text = std::move(r.body);
  r.body = std::move(r.outside);
  r.outside.clear();
  r.open_group = -1;
}

void svg_set_scale(Surface& s, double scale) {
  SvgRecorder& r = *s.svg;
  r.scale = scale;
  r.width = s.logical_width;
  r.height = s.logical_height;
  r.body.clear();
  put_rect(r.body, 0, 0, r.width, r.height, kWindowBackground);
}

void svg_text(Surface& s, const Object& font, const TextLayout& layout, int32_t x, int32_t y) {
  if (s.pdf != nullptr)
    canvas_text(*s.pdf, layout.family, layout.em, layout.ascent, layout.chars.data(), layout.pen.data(),
                layout.chars.size(), x, y, font.logfont.lfEscapement, s.bk_mode == OPAQUE,
                static_cast<double>(layout.advance), layout.cell, s.text_rgb, s.halo_width, s.halo_rgb);
  SvgRecorder& r = *s.svg;
  close_path(r);
  if (s.bk_mode == OPAQUE) put_rect(r.body, x, y, layout.advance, layout.cell, 0x00FFFFFFu);
  r.body += "<text xml:space=\"preserve\" x=\"";
  for (std::size_t k = 0; k < layout.pen.size(); ++k) {
    if (k > 0) r.body += ' ';
    put_int(r.body, int64_t{x} + layout.pen[k]);
  }
  r.body += "\" y=\"";
  put_int(r.body, int64_t{y} + layout.ascent);
  r.body += "\" font-family=\"";
  const std::string asked = utf8_face_name(font.logfont);
  if (!asked.empty()) {
    r.body += '\'';
    put_xml_text(r.body, asked);
    r.body += "', ";
  }
  if (!layout.family.empty()) {
    r.body += '\'';
    put_xml_text(r.body, layout.family);
    r.body += "', ";
  }
  r.body += "monospace\" font-size=\"";
  put_coordinate(r.body, layout.em);
  r.body += "\" fill=\"";
  put_colour(r.body, s.text_rgb);
  if (font.logfont.lfEscapement % 3600 != 0) {
    // Turned counter-clockwise about the text's point: SVG turns clockwise.
    r.body += "\" transform=\"rotate(";
    put_coordinate(r.body, -(font.logfont.lfEscapement % 3600) / 10.0);
    r.body += ' ';
    put_int(r.body, x);
    r.body += ' ';
    put_int(r.body, y);
    r.body += ')';
  }
  if (s.halo_width > 0) {
    // The outline: a stroke twice its width, half of it under the glyphs.
    r.body += "\" stroke=\"";
    put_colour(r.body, s.halo_rgb);
    r.body += "\" stroke-width=\"";
    put_int(r.body, 2 * s.halo_width);
    r.body += "\" stroke-linejoin=\"round\" paint-order=\"stroke";
  }
  r.body += "\">";
  for (uint32_t cp : layout.chars) put_xml_char(r.body, cp);
  r.body += "</text>\n";
}

void svg_polygons(Surface& s, const POINTF* points, const int* counts, int polygons, uint32_t rgb) {
  SvgRecorder& r = *s.svg;
  if (r.open != SvgRecorder::Open::kFill || r.open_rgb != rgb) {
    close_path(r);
    r.open = SvgRecorder::Open::kFill;
    r.open_rgb = rgb;
  }
  for (int i = 0; i < polygons; ++i) {
    const int n = counts[i];
    bool finite = n >= 3;
    for (int k = 0; k < n && finite; ++k) finite = std::isfinite(points[k].x) && std::isfinite(points[k].y);
    if (finite) {
      for (int k = 0; k < n; ++k) {
        if (k > 0 && points[k].x == points[k - 1].x && points[k].y == points[k - 1].y) continue;  // said once
        r.path += k == 0 ? (r.path.empty() ? "M" : " M") : " L";
        put_fine(r.path, points[k].x);
        r.path += ' ';
        put_fine(r.path, points[k].y);
      }
      r.path += " Z";
    }
    points += n;
  }
}

void svg_destroy(SvgRecorder* recorder) { delete recorder; }

}  // namespace plat

using namespace plat;

HDC CreateSvgSurfaceDC(int width, int height) {
  HDC hdc = CreateSurfaceDC(width, height);
  Surface* s = surface_of(hdc);
  if (s == nullptr) return nullptr;
  s->svg = new (std::nothrow) SvgRecorder();
  if (s->svg == nullptr) {
    DeleteDC(hdc);
    return nullptr;
  }
  s->svg->width = width;
  s->svg->height = height;
  // A new surface is the plain window background.
  put_rect(s->svg->body, 0, 0, width, height, kWindowBackground);
  return hdc;
}

const char* GetSurfaceSvg(HDC hdc, size_t* length) {
  Surface* s = surface_of(hdc);
  if (s == nullptr || s->svg == nullptr) return nullptr;
  SvgRecorder& r = *s->svg;
  close_path(r);
  std::string& d = r.document;
  d.clear();
  d += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  d += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"";
  put_int(d, std::llround(r.width * r.scale));
  d += "\" height=\"";
  put_int(d, std::llround(r.height * r.scale));
  d += "\" viewBox=\"0 0 ";
  put_int(d, r.width);
  d += ' ';
  put_int(d, r.height);
  d += "\">\n";
  for (const auto& [text, g] : r.before_group) {
    d += text;
    const SvgRecorder::Group& group = r.groups[g];
    d += "<g id=\"";
    d += group.id;
    d += '"';
    if (!group.attributes.empty()) {
      d += ' ';
      d += group.attributes;
    }
    d += ">\n";
    d += g == r.open_group ? r.body : group.text;
    d += "</g>\n";
  }
  d += r.open_group >= 0 ? r.outside : r.body;
  d += "</svg>\n";
  if (length != nullptr) *length = d.size();
  return d.c_str();
}

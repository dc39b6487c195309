// Text output: code page 932 bytes decoded (cp932.h), faces found with
// fontconfig, glyphs rendered with FreeType and kept in a bounded cache.
//
// Owns: the FreeType library, the open faces (each font file is opened once
// per process), the resolved face names, the faces at their sizes, the glyph
// cache, and the face a font object resolved to. None of it is ever freed;
// all of it is bounded. One lock guards all of it, held for a whole text
// (its glyphs are looked up and painted under it): surfaces on several
// threads draw their texts one after another. A FreeType face is no more
// thread-safe than that, and a repaint's few dozen texts take the lock a few
// dozen times, which costs nothing next to their glyphs.
//
// Glyphs are antialiased: FreeType renders each as grey coverage (0 to 255,
// the share of the pixel the outline covers), hinted lightly (vertically
// only, which keeps the shapes of small digits: a 10-pixel "0" stays round
// instead of turning into the "A"-like shape black-and-white hinting makes
// of it), and each covered pixel is blended onto what is there:
//
//   new = (coverage x text + (255 - coverage) x old) / 255, rounded,
//
// per channel. A fully covered pixel (the interior of a stroke) gets exactly
// the text colour; placement (pen position, baseline, advances) is that of
// the black-and-white glyphs before it.
//
// Which font: ISOVAR_FONT, when it names a font file FreeType can open, serves
// every font made while it is set. Otherwise fontconfig is asked for the font's face name (the
// code page 932 name converted to UTF-8, so "ＭＳ ゴシック" is looked up as
// such, then through the fontconfig aliases), preferring fixed pitch when the
// font asks for it; the first font in fontconfig's order that covers
// Japanese kana, kanji and half-width katakana is taken, else the first font
// there is. With no font at all, text draws nothing.
#include "fontconfig_api.h"
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SIZES_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "cp932.h"
#include "font_cache.h"
#include "raster.h"
#include "surface.h"

namespace plat {

struct FontFace {
  int face;        // index into open_faces
  LONG request;    // lfHeight as asked (0 already replaced by the default)
  FT_Size size;
  int ascent;      // pixels from the top of the cell to the baseline
  int cell;        // cell height in pixels
  int index;       // own index in font_faces
};

namespace {

constexpr int kMaxOpenFaces = 8;
constexpr int kMaxResolutions = 32;
constexpr int kMaxFontFaces = 256;
constexpr LONG kMaxFontHeight = 1000;  // taller fonts are drawn this tall

// Outlines hinted lightly and rendered to 8-bit coverage.
constexpr FT_Int32 kLoadFlags = FT_LOAD_DEFAULT | FT_LOAD_TARGET_LIGHT;

struct OpenFace {
  std::string path;
  int index;
  FT_Face face;
};

struct Resolution {
  char name[LF_FACESIZE];
  BYTE pitch_and_family;
  int face;  // -1: no font at all
};

FT_Library library;
bool library_failed;
OpenFace open_faces[kMaxOpenFaces];
int open_face_count;

Resolution resolutions[kMaxResolutions];
int resolution_count;
int next_resolution;  // the slot to overwrite once the table is full

FontFace font_faces[kMaxFontFaces];
int font_face_count;

// Guards everything above and below, and the face of every font object.
std::mutex text_mutex;

// The character at text[0 .. left) as the surface draws it, its length in
// *used.
uint32_t next_char(const unsigned char* text, int left, int* used) {
  std::size_t n;
  const char32_t cp = cp932::next_char(
      std::string_view(reinterpret_cast<const char*>(text), static_cast<std::size_t>(left)), &n,
      cp932::Invalid::kAsDrawn);
  *used = static_cast<int>(n);
  return cp;
}

// ---------------------------------------------------------------------------
// Faces

bool library_ready() {
  if (library == nullptr && !library_failed) library_failed = FT_Init_FreeType(&library) != 0;
  return !library_failed;
}

// The index of the open face for a file, opening it on first use; -1 when
// FreeType cannot read it or the table is full.
int open_face(const std::string& path, int index) {
  for (int i = 0; i < open_face_count; ++i) {
    if (open_faces[i].path == path && open_faces[i].index == index) return i;
  }
  if (open_face_count == kMaxOpenFaces || !library_ready()) return -1;
  FT_Face face;
  if (FT_New_Face(library, path.c_str(), index, &face) != 0) return -1;
  if (!FT_IS_SCALABLE(face) && face->num_fixed_sizes == 0) {
    FT_Done_Face(face);
    return -1;
  }
  open_faces[open_face_count] = OpenFace{path, index, face};
  return open_face_count++;
}

// Kana, kanji and half-width katakana as titles use them, and digits.
// Made for each resolution and destroyed after it: fontconfig keeps a char
// set's pages behind encoded offsets, so one kept for the process would show
// as lost memory to leak checkers. Resolutions are rare (once per new font).
FcCharSet* make_japanese_probe(const FontconfigApi* fc) {
  FcCharSet* cs = fc->FcCharSetCreate();
  for (FcChar32 c : {0x30B4u, 0x30B7u, 0x30C3u, 0x30AFu, 0x3042u, 0x5024u, 0x7B49u, 0xFF71u, 0x30u}) {
    fc->FcCharSetAddChar(cs, c);
  }
  return cs;
}

int open_matched(const FontconfigApi* fc, FcPattern* font) {
  FcChar8* file = nullptr;
  int index = 0;
  if (fc->FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch) return -1;
  fc->FcPatternGetInteger(font, FC_INDEX, 0, &index);
  return open_face(reinterpret_cast<const char*>(file), index);
}

int resolve_with_fontconfig(const LOGFONTA& lf) {
  // The answer of an earlier process, while nothing it depends on changed.
  const std::string cache_key = std::string("face ") + lf.lfFaceName + "\npitch " + std::to_string(lf.lfPitchAndFamily);
  std::string cached_file;
  int cached_index = 0;
  if (find_cached_font(cache_key, &cached_file, &cached_index)) {
    const int face = open_face(cached_file, cached_index);
    if (face >= 0) return face;
  }
  const FontconfigApi* fc = fontconfig();
  if (fc == nullptr || !fc->FcInit()) return -1;
  FcPattern* pattern = fc->FcPatternCreate();
  const std::string name = cp932::to_utf8(lf.lfFaceName, cp932::Invalid::kAsDrawn);
  if (!name.empty()) {
    fc->FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
  }
  const bool fixed = (lf.lfPitchAndFamily & 0x03) == FIXED_PITCH || (lf.lfPitchAndFamily & 0xF0) == FF_MODERN;
  fc->FcPatternAddString(pattern, FC_FAMILY,
                     reinterpret_cast<const FcChar8*>(fixed ? "monospace" : "sans-serif"));
  if (fixed) fc->FcPatternAddInteger(pattern, FC_SPACING, FC_MONO);
  fc->FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
  fc->FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  fc->FcDefaultSubstitute(pattern);
  FcResult result;
  FcFontSet* set = fc->FcFontSort(nullptr, pattern, FcFalse, nullptr, &result);
  fc->FcPatternDestroy(pattern);
  if (set == nullptr) return -1;
  int face = -1;
  FcCharSet* probe = make_japanese_probe(fc);
  for (int pass = 0; pass < 2 && face < 0; ++pass) {
    for (int i = 0; i < set->nfont && face < 0; ++i) {
      if (pass == 0) {
        FcCharSet* cs = nullptr;
        if (fc->FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &cs) != FcResultMatch ||
            !fc->FcCharSetIsSubset(probe, cs)) {
          continue;
        }
      }
      face = open_matched(fc, set->fonts[i]);
    }
  }
  fc->FcCharSetDestroy(probe);
  fc->FcFontSetDestroy(set);
  if (face >= 0) remember_font(cache_key, open_faces[face].path, open_faces[face].index);
  return face;
}

// The face of ISOVAR_FONT, or -1 when it is unset or unreadable. Read for
// every new font, so a change applies to the fonts made after it; a path that
// failed is not tried again until the variable changes.
int env_face() {
  static std::string failed;
  const char* path = std::getenv("ISOVAR_FONT");
  if (path == nullptr || *path == '\0' || failed == path) return -1;
  const int face = open_face(path, 0);
  if (face < 0) failed = path;
  return face;
}

int resolve(const LOGFONTA& lf) {
  const int chosen = env_face();
  if (chosen >= 0) return chosen;
  for (int i = 0; i < resolution_count; ++i) {
    const Resolution& r = resolutions[i];
    if (r.pitch_and_family == lf.lfPitchAndFamily && std::strcmp(r.name, lf.lfFaceName) == 0) {
      return r.face;
    }
  }
  const int face = resolve_with_fontconfig(lf);
  Resolution& r = resolutions[resolution_count < kMaxResolutions ? resolution_count++ : next_resolution];
  if (resolution_count == kMaxResolutions) next_resolution = (next_resolution + 1) % kMaxResolutions;
  std::memcpy(r.name, lf.lfFaceName, LF_FACESIZE);
  r.pitch_and_family = lf.lfPitchAndFamily;
  r.face = face;
  return face;
}

// The face at a size: a positive request is the cell height, a negative one
// the character (em) height.
const FontFace* face_at(int face_index, LONG request) {
  for (int i = 0; i < font_face_count; ++i) {
    if (font_faces[i].face == face_index && font_faces[i].request == request) return &font_faces[i];
  }
  if (font_face_count == kMaxFontFaces) return nullptr;
  FT_Face face = open_faces[face_index].face;
  FT_Size size;
  if (FT_New_Size(face, &size) != 0) return nullptr;
  FT_Activate_Size(size);
  const LONG pixels = request < 0 ? -request : request;
  FT_Error error;
  if (FT_IS_SCALABLE(face)) {
    FT_Size_RequestRec req{};
    req.type = request > 0 ? FT_SIZE_REQUEST_TYPE_CELL : FT_SIZE_REQUEST_TYPE_NOMINAL;
    req.height = pixels * 64;
    error = FT_Request_Size(face, &req);
  } else {
    // A bitmap font: the strike nearest the height asked for.
    int best = 0;
    for (int i = 1; i < face->num_fixed_sizes; ++i) {
      if (std::abs(face->available_sizes[i].height - pixels) <
          std::abs(face->available_sizes[best].height - pixels)) {
        best = i;
      }
    }
    error = FT_Select_Size(face, best);
  }
  if (error != 0) {
    FT_Done_Size(size);
    return nullptr;
  }
  FontFace& f = font_faces[font_face_count];
  f.face = face_index;
  f.request = request;
  f.size = size;
  f.index = font_face_count;
  if (FT_IS_SCALABLE(face)) {
    const FT_Long ascender = FT_MulFix(face->ascender, size->metrics.y_scale);
    const FT_Long descender = FT_MulFix(face->descender, size->metrics.y_scale);
    f.ascent = static_cast<int>((ascender + 32) >> 6);
    f.cell = request > 0 ? static_cast<int>(pixels) : static_cast<int>((ascender - descender + 32) >> 6);
  } else {
    f.ascent = static_cast<int>((size->metrics.ascender + 32) >> 6);
    f.cell = static_cast<int>((size->metrics.ascender - size->metrics.descender + 32) >> 6);
  }
  ++font_face_count;
  return &f;
}

// ---------------------------------------------------------------------------
// Glyph cache: open addressing on (face at size, code point); when it fills
// up, everything is dropped and it starts again.

constexpr int kGlyphSlots = 8192;             // a power of two
constexpr int kMaxGlyphs = kGlyphSlots / 2;   // kept below half full
constexpr size_t kMaskArena = size_t{4} << 20;  // bytes of glyph masks
constexpr size_t kMaxCachedMask = 64 * 1024;   // larger glyphs are not kept

struct Glyph {
  uint64_t key;      // 0: empty slot
  int32_t left;      // from the pen position
  int32_t top;       // from the baseline, upwards
  int32_t width;
  int32_t height;
  int32_t advance;   // pixels
  const uint8_t* mask;  // width * height coverage bytes, 255 fully covered
};

Glyph glyphs[kGlyphSlots];
int glyph_count;
uint8_t* arena;  // kMaskArena bytes, allocated on first use
size_t arena_used;
Glyph big_glyph;  // a glyph too large to keep, valid until the next lookup
std::vector<uint8_t> big_mask;

uint64_t glyph_key(const FontFace& f, uint32_t cp) {
  return (uint64_t(f.index + 1) << 32) | cp;
}

void clear_glyphs() {
  std::memset(glyphs, 0, sizeof glyphs);
  glyph_count = 0;
  arena_used = 0;
}

// Renders a glyph into g; its mask goes into the arena, or into big_mask
// when it is too large to keep (*big).
bool render_glyph(const FontFace& f, uint32_t cp, Glyph& g, bool* big) {
  FT_Face face = open_faces[f.face].face;
  FT_Activate_Size(f.size);
  const FT_UInt index = FT_Get_Char_Index(face, cp);  // 0: the face's missing-glyph box
  if (FT_Load_Glyph(face, index, kLoadFlags) != 0) return false;
  FT_GlyphSlot slot = face->glyph;
  if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) {
    return false;
  }
  const FT_Bitmap& bm = slot->bitmap;
  g.left = slot->bitmap_left;
  g.top = slot->bitmap_top;
  g.width = static_cast<int32_t>(bm.width);
  g.height = static_cast<int32_t>(bm.rows);
  g.advance = static_cast<int32_t>((slot->advance.x + 32) >> 6);
  const size_t bytes = size_t(g.width) * size_t(g.height);
  uint8_t* mask;
  *big = bytes > kMaxCachedMask;
  if (*big) {
    big_mask.assign(bytes, 0);
    mask = big_mask.data();
  } else {
    if (arena == nullptr) arena = new uint8_t[kMaskArena];
    mask = arena + arena_used;  // the caller made room
    arena_used += bytes;
  }
  const bool mono = bm.pixel_mode == FT_PIXEL_MODE_MONO;
  const bool gray = bm.pixel_mode == FT_PIXEL_MODE_GRAY;
  for (int32_t y = 0; y < g.height; ++y) {
    const unsigned char* row =
        bm.buffer + (bm.pitch < 0 ? ptrdiff_t(g.height - 1) * -bm.pitch : 0) + ptrdiff_t(y) * bm.pitch;
    for (int32_t x = 0; x < g.width; ++x) {
      unsigned coverage = 0;
      if (mono) {  // a black-and-white strike
        coverage = ((row[x >> 3] >> (7 - (x & 7))) & 1) * 255u;
      } else if (gray && bm.num_grays > 1) {
        coverage = (row[x] * 255u + (bm.num_grays - 1) / 2) / (bm.num_grays - 1u);
        if (coverage > 255) coverage = 255;
      }
      mask[size_t(y) * g.width + x] = static_cast<uint8_t>(coverage);
    }
  }
  g.mask = mask;
  return true;
}

uint32_t glyph_slot(uint64_t key) {
  return static_cast<uint32_t>((key * 0x9E3779B97F4A7C15ull) >> 40) & (kGlyphSlots - 1);
}

// The glyph of a code point, or null when it cannot be rendered. The glyph
// stays valid until the next call.
const Glyph* glyph(const FontFace& f, uint32_t cp) {
  const uint64_t key = glyph_key(f, cp);
  uint32_t h = glyph_slot(key);
  while (glyphs[h].key != 0) {
    if (glyphs[h].key == key) return &glyphs[h];
    h = (h + 1) & (kGlyphSlots - 1);
  }
  if (glyph_count == kMaxGlyphs || arena_used + kMaxCachedMask > kMaskArena) {
    clear_glyphs();
    h = glyph_slot(key);
  }
  Glyph g{};
  bool big;
  if (!render_glyph(f, cp, g, &big)) return nullptr;
  g.key = key;
  if (big) {
    big_glyph = g;
    return &big_glyph;
  }
  glyphs[h] = g;
  ++glyph_count;
  return &glyphs[h];
}

void paint_glyph(Surface& s, const Glyph& g, int64_t left, int64_t top, uint32_t rgb) {
  const int64_t x0 = std::max<int64_t>(0, -left), y0 = std::max<int64_t>(0, -top);
  const int64_t x1 = std::min<int64_t>(g.width, s.width - left);
  const int64_t y1 = std::min<int64_t>(g.height, s.height - top);
  for (int64_t y = y0; y < y1; ++y) {
    const uint8_t* m = g.mask + y * g.width;
    const int64_t row = (top + y) * s.width + left;  // index of the glyph's column 0
    for (int64_t x = x0; x < x1; ++x) {
      const uint32_t coverage = m[x];
      if (coverage == 0) continue;
      uint32_t& pixel = s.pixels[row + x];
      pixel = coverage == 255 ? rgb : blend_pixel(rgb, pixel, coverage);
    }
  }
}

bool layout_text(const FontFace* face, const char* text, int length, TextLayout* out) {
  if (face == nullptr) return false;
  FT_Face ft = open_faces[face->face].face;
  out->family = ft->family_name != nullptr ? ft->family_name : "";
  out->ascent = face->ascent;
  out->cell = face->cell;
  out->em = FT_IS_SCALABLE(ft) ? FT_MulFix(ft->units_per_EM, face->size->metrics.y_scale) / 64.0 : face->cell;
  out->chars.clear();
  out->pen.clear();
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  int64_t pen = 0;
  for (int i = 0; i < length;) {
    int used;
    const uint32_t cp = next_char(bytes + i, length - i, &used);
    i += used;
    out->chars.push_back(cp);
    out->pen.push_back(pen);
    const Glyph* g = glyph(*face, cp);
    if (g != nullptr) pen += g->advance;
  }
  out->advance = pen;
  return true;
}

const FontFace* face_of_font(Object& font) {
  if (!font.face_resolved) {
    font.face_resolved = true;
    const int face = resolve(font.logfont);
    LONG request = font.logfont.lfHeight == 0 ? kDefaultFontHeight : font.logfont.lfHeight;
    if (request > kMaxFontHeight) request = kMaxFontHeight;
    if (request < -kMaxFontHeight) request = -kMaxFontHeight;
    font.face = face < 0 ? nullptr : face_at(face, request);
  }
  return font.face;
}

void draw_text(Surface& s, const FontFace* face, int32_t x, int32_t y, const char* text, int length) {
  if (face == nullptr || s.pixels == nullptr) return;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  if (s.bk_mode == OPAQUE) {
    int64_t advance = 0;
    for (int i = 0; i < length;) {
      int used;
      const Glyph* g = glyph(*face, next_char(bytes + i, length - i, &used));
      if (g != nullptr) advance += g->advance;
      i += used;
    }
    fill_box(Raster{s.pixels, s.width, s.height}, x, y, x + advance, int64_t{y} + face->cell,
             0x00FFFFFFu);
  }
  const int64_t baseline = int64_t{y} + face->ascent;
  int64_t pen = x;
  for (int i = 0; i < length;) {
    // Glyphs only move right: once past the right edge by more than any
    // glyph can reach back, the rest is invisible.
    if (pen > int64_t{s.width} + face->cell) break;
    int used;
    const Glyph* g = glyph(*face, next_char(bytes + i, length - i, &used));
    i += used;
    if (g == nullptr) continue;
    paint_glyph(s, *g, pen + g->left, baseline - g->top, s.text_rgb);
    pen += g->advance;
  }
}

// Turned or outlined text: the glyphs' coverage is laid out unturned in a
// buffer with a margin for the outline, the outline's coverage made from it
// (the most coverage within its width of each pixel), and each surface
// pixel the turned buffer reaches takes both, sampled bilinearly at the
// pixel's centre mapped back into the buffer: outline first, text over it.
// Background mode OPAQUE fills the cell of unturned text only.
void draw_turned_text(Surface& s, const FontFace* face, int32_t x, int32_t y, const char* text, int length,
                      LONG escapement) {
  if (face == nullptr || s.pixels == nullptr) return;
  const int halo = s.halo_width;
  const int margin = halo + 1;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  // The glyphs, their pen positions and the buffer's width.
  struct Placed {
    const uint8_t* mask;
    int32_t left, top, width, height;
  };
  std::vector<Placed> placed;
  std::vector<std::vector<uint8_t>> big;  // copies of masks too large to keep
  int64_t pen = 0;
  for (int i = 0; i < length;) {
    int used;
    const Glyph* g = glyph(*face, next_char(bytes + i, length - i, &used));
    i += used;
    if (g == nullptr) continue;
    const uint8_t* mask = g->mask;
    if (g == &big_glyph) {
      big.emplace_back(g->mask, g->mask + size_t(g->width) * g->height);
      mask = big.back().data();
    }
    placed.push_back(Placed{mask, static_cast<int32_t>(pen + g->left), face->ascent - g->top, g->width, g->height});
    pen += g->advance;
    if (pen > kMaxSurfaceSide) break;
  }
  int64_t lo_x = 0, hi_x = pen, lo_y = 0, hi_y = face->cell;
  for (const Placed& p : placed) {
    lo_x = std::min<int64_t>(lo_x, p.left), hi_x = std::max<int64_t>(hi_x, int64_t{p.left} + p.width);
    lo_y = std::min<int64_t>(lo_y, p.top), hi_y = std::max<int64_t>(hi_y, int64_t{p.top} + p.height);
  }
  const int64_t bw = hi_x - lo_x + 2 * margin, bh = hi_y - lo_y + 2 * margin;
  if (bw <= 0 || bh <= 0 || bw * bh > (int64_t{1} << 24)) return;
  const int64_t ox = margin - lo_x, oy = margin - lo_y;  // buffer position of the reference point
  std::vector<uint8_t> cover(size_t(bw * bh), 0);
  for (const Placed& p : placed)
    for (int32_t gy = 0; gy < p.height; ++gy)
      for (int32_t gx = 0; gx < p.width; ++gx) {
        uint8_t& c = cover[size_t((oy + p.top + gy) * bw + ox + p.left + gx)];
        c = std::max(c, p.mask[size_t(gy) * p.width + gx]);
      }
  std::vector<uint8_t> outline;
  if (halo > 0) {
    outline.assign(cover.size(), 0);
    for (int64_t by = 0; by < bh; ++by)
      for (int64_t bx = 0; bx < bw; ++bx) {
        uint8_t most = 0;
        for (int dy = -halo; dy <= halo; ++dy)
          for (int dx = -halo; dx <= halo; ++dx) {
            if (dx * dx + dy * dy > halo * halo + halo) continue;  // a round pen
            const int64_t sx = bx + dx, sy = by + dy;
            if (sx < 0 || sy < 0 || sx >= bw || sy >= bh) continue;
            most = std::max(most, cover[size_t(sy * bw + sx)]);
          }
        outline[size_t(by * bw + bx)] = most;
      }
  }
  if (s.bk_mode == OPAQUE && escapement % 3600 == 0)
    fill_box(Raster{s.pixels, s.width, s.height}, x, y, x + pen, int64_t{y} + face->cell, 0x00FFFFFFu);
  const double a = (escapement % 3600) * 3.14159265358979323846 / 1800.0;
  const double c = std::cos(a), sn = std::sin(a);
  // Buffer (u, v) from the reference point goes to x + u c + v sn, y - u sn + v c.
  double min_x = INFINITY, max_x = -INFINITY, min_y = INFINITY, max_y = -INFINITY;
  for (int corner = 0; corner < 4; ++corner) {
    const double u = (corner & 1 ? bw : 0) - double(ox), v = (corner & 2 ? bh : 0) - double(oy);
    const double px = x + u * c + v * sn, py = y - u * sn + v * c;
    min_x = std::min(min_x, px), max_x = std::max(max_x, px);
    min_y = std::min(min_y, py), max_y = std::max(max_y, py);
  }
  const int64_t x0 = std::max<int64_t>(0, int64_t(std::floor(min_x)));
  const int64_t x1 = std::min<int64_t>(s.width, int64_t(std::ceil(max_x)) + 1);
  const int64_t y0 = std::max<int64_t>(0, int64_t(std::floor(min_y)));
  const int64_t y1 = std::min<int64_t>(s.height, int64_t(std::ceil(max_y)) + 1);
  auto sample = [&](const std::vector<uint8_t>& m, double su, double sv) -> uint32_t {
    const double fu = std::floor(su), fv = std::floor(sv);
    const int64_t iu = int64_t(fu), iv = int64_t(fv);
    const double tu = su - fu, tv = sv - fv;
    auto at = [&](int64_t u, int64_t v) -> double {
      return u < 0 || v < 0 || u >= bw || v >= bh ? 0.0 : m[size_t(v * bw + u)];
    };
    const double value = (1 - tv) * ((1 - tu) * at(iu, iv) + tu * at(iu + 1, iv)) +
                         tv * ((1 - tu) * at(iu, iv + 1) + tu * at(iu + 1, iv + 1));
    return static_cast<uint32_t>(std::lround(std::min(255.0, std::max(0.0, value))));
  };
  for (int64_t py = y0; py < y1; ++py)
    for (int64_t px = x0; px < x1; ++px) {
      // The pixel's centre, back in the buffer (whose pixel centres are at
      // whole numbers plus a half).
      const double dx = px + 0.5 - x, dy = py + 0.5 - y;
      const double su = dx * c - dy * sn + double(ox) - 0.5, sv = dx * sn + dy * c + double(oy) - 0.5;
      if (su < -1 || sv < -1 || su > bw || sv > bh) continue;
      uint32_t& pixel = s.pixels[size_t(py * s.width + px)];
      if (halo > 0) {
        const uint32_t k = sample(outline, su, sv);
        if (k != 0) pixel = k == 255 ? s.halo_rgb : blend_pixel(s.halo_rgb, pixel, k);
      }
      const uint32_t k = sample(cover, su, sv);
      if (k != 0) pixel = k == 255 ? s.text_rgb : blend_pixel(s.text_rgb, pixel, k);
    }
}

}  // namespace

void text_out(Surface& s, Object& font, int32_t x, int32_t y, const char* text, int length) {
  std::lock_guard<std::mutex> lock(text_mutex);
  const FontFace* face = face_of_font(font);
  if (font.logfont.lfEscapement % 3600 != 0 || s.halo_width > 0) {
    draw_turned_text(s, face, x, y, text, length, font.logfont.lfEscapement);
  } else {
    draw_text(s, face, x, y, text, length);
  }
  if (s.svg != nullptr) {
    TextLayout layout;
    if (layout_text(face, text, length, &layout) && !layout.chars.empty()) svg_text(s, font, layout, x, y);
  }
}

}  // namespace plat

BOOL SetTextHalo(HDC hdc, COLORREF color, int width) {
  plat::Surface* s = plat::surface_of(hdc);
  if (s == nullptr || width < 0 || width > 8) return FALSE;
  s->halo_width = width;
  s->halo_rgb = plat::pixel_of(color);
  return TRUE;
}

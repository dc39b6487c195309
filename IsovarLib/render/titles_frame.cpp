// Titles, frame, and the two drawing helpers the other steps share: the font
// maker and the recorded line.
#include <cmath>
#include <cstring>

#include "shared/run_context.h"
#include "input/model_store.h"
#include "isovar_messages.h"
#include "render/run.h"

namespace {

constexpr int32_t kTitleColumn = 100;
constexpr int32_t kTitleHeight = 20;
constexpr int32_t kMinTitleHeight = 8;

// The title count as a usable index bound, whatever a failed read left.
int32_t titles_in_use(Run& r) {
  int32_t n = r.model->title_count;
  if (n < 0) return 0;
  return n > kMaxTitles ? kMaxTitles : n;
}

}  // namespace

HFONT make_font(int32_t height, double degrees) {
  LOGFONTA font;
  std::memset(&font, 0, sizeof font);
  font.lfHeight = height;  // positive: the cell height
  font.lfEscapement = static_cast<LONG>(std::lround(degrees * 10.0));
  font.lfOrientation = font.lfEscapement;
  font.lfCharSet = SHIFTJIS_CHARSET;
  font.lfOutPrecision = OUT_TT_PRECIS;
  font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  static_assert(sizeof msg::font_face_gothic <= LF_FACESIZE, "face name too long");
  std::memcpy(font.lfFaceName, msg::font_face_gothic, sizeof msg::font_face_gothic);
  return CreateFontIndirectA(&font);
}

void draw_line(Run& r, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  MoveToEx(r.ctx.run_hdc, x1, y1, nullptr);
  LineTo(r.ctx.run_hdc, x2, y2);
  dl_line(r, r.layout.line_width, x1, y1, x2, y2);
}

void draw_titles(Run& r) {
  HDC dc = r.ctx.run_hdc;
  const int32_t count = titles_in_use(r);

  std::size_t longest = 0;
  for (int32_t i = 0; i < count; ++i) {
    std::size_t len = strnlen(r.model->titles[i], kTitleSlot);
    if (len > longest) longest = len;
  }
  // Shrink the font until the longest title fits the width, down to 8 pixels.
  // Lengths are bytes: a two-byte character is two font widths wide.
  int32_t h = kTitleHeight;
  const int32_t width = r.ctx.plot_width;
  const int32_t L = static_cast<int32_t>(longest);
  if (L > 0 && L * kTitleHeight > width) h = width / L;
  if (h < kMinTitleHeight) h = kMinTitleHeight;

  HFONT font = make_font(h);
  HGDIOBJ old_font = SelectObject(dc, font);
  SetTextColor(dc, kWhite);

  int32_t y = trunc_to_int(h * 0.8);
  for (int32_t i = 0; i < count; ++i) {
    // A copy that surely ends in a NUL, whatever a failed read left.
    char title[kTitleSlot + 1];
    std::size_t len = strnlen(r.model->titles[i], kTitleSlot);
    std::memcpy(title, r.model->titles[i], len);
    title[len] = '\0';
    TextOutA(dc, kTitleColumn, y, title, static_cast<int>(len));
    // The record carries the row of the next line and the pitch, not the
    // drawn row and font height: the printout places titles by these.
    y = trunc_to_int(y + r.layout.title_spacing * 1.3);
    dl_title(r, title, kTitleColumn, y, r.layout.title_spacing);
  }

  SelectObject(dc, old_font);
  DeleteObject(font);
}

void draw_frame(Run& r) {
  HDC dc = r.ctx.run_hdc;
  HPEN pen = CreatePen(PS_SOLID, 2, kWhite);
  HGDIOBJ old_pen = SelectObject(dc, pen);
  r.layout.line_width = 2;

  const double W = r.ctx.plot_width;
  const double H = r.ctx.plot_height;
  const int32_t left = trunc_to_int(W * r.layout.area_left);
  const int32_t right = trunc_to_int(W * r.layout.area_right);
  const int32_t top = trunc_to_int(H * r.layout.area_top);
  const int32_t bottom = trunc_to_int(H * r.layout.area_bottom);

  draw_line(r, left, top, right, top);
  draw_line(r, right, top, right, bottom);
  draw_line(r, right, bottom, left, bottom);
  draw_line(r, left, bottom, left, top);

  SelectObject(dc, old_pen);
  DeleteObject(pen);
}

// isovar-testcard OUT.bmp: draws a test card of the drawing surface (lines of
// several widths at many angles, boxes, texts in ASCII and Japanese at 8, 10
// and 20 pixels) and writes it as a 24-bit BMP, to be looked at by eye.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cp932.h"
#include "platform.h"

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

// What the card writes in Japanese (every character is in code page 932).
std::string to_cp932(const char* utf8) {
  std::string out;
  cp932::from_utf8(utf8, &out);
  return out;
}

HFONT gothic(int height) {
  LOGFONTA lf{};
  lf.lfHeight = height;
  lf.lfCharSet = SHIFTJIS_CHARSET;
  lf.lfOutPrecision = OUT_TT_PRECIS;
  lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  const std::string face = to_cp932("ＭＳ ゴシック");
  std::memcpy(lf.lfFaceName, face.data(), face.size());
  return CreateFontIndirectA(&lf);
}

void text(HDC dc, int x, int y, const std::string& s) {
  TextOutA(dc, x, y, s.data(), static_cast<int>(s.size()));
}

void line(HDC dc, int x1, int y1, int x2, int y2) {
  MoveToEx(dc, x1, y1, nullptr);
  LineTo(dc, x2, y2);
}

// A fan of 48 spokes around (cx, cy) in colours running through the hues.
void fan(HDC dc, int cx, int cy, int radius, int width) {
  for (int i = 0; i < 48; ++i) {
    const double a = i * 2 * M_PI / 48;
    const int r = static_cast<int>(255 * (0.5 + 0.5 * std::cos(a)));
    const int g = static_cast<int>(255 * (0.5 + 0.5 * std::cos(a - 2.1)));
    const int b = static_cast<int>(255 * (0.5 + 0.5 * std::cos(a + 2.1)));
    HPEN pen = CreatePen(PS_SOLID, width, RGB(r, g, b));
    HGDIOBJ old = SelectObject(dc, pen);
    line(dc, cx + static_cast<int>(radius * 0.2 * std::cos(a)),
         cy + static_cast<int>(radius * 0.2 * std::sin(a)), cx + static_cast<int>(radius * std::cos(a)),
         cy + static_cast<int>(radius * std::sin(a)));
    SelectObject(dc, old);
    DeleteObject(pen);
  }
}

bool write_bmp(const char* path, HDC dc) {
  int w = 0, h = 0;
  const uint32_t* px = GetSurfaceBits(dc, &w, &h);
  if (px == nullptr) return false;
  const int row_bytes = (w * 3 + 3) / 4 * 4;
  const uint32_t image = static_cast<uint32_t>(row_bytes) * h;
  unsigned char header[54] = {'B', 'M'};
  auto put32 = [&](int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) header[at + i] = static_cast<unsigned char>(v >> (8 * i));
  };
  put32(2, image + 54);
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(w));
  put32(22, static_cast<uint32_t>(h));
  header[26] = 1;
  header[28] = 24;
  put32(34, image);
  put32(38, 3780);
  put32(42, 3780);
  FILE* f = std::fopen(path, "wb");
  if (f == nullptr) return false;
  std::fwrite(header, 1, sizeof header, f);
  std::vector<unsigned char> row(static_cast<size_t>(row_bytes), 0);
  for (int y = h - 1; y >= 0; --y) {  // bottom row first
    for (int x = 0; x < w; ++x) {
      const uint32_t p = px[static_cast<size_t>(y) * w + x];
      row[3 * x] = static_cast<unsigned char>(p);
      row[3 * x + 1] = static_cast<unsigned char>(p >> 8);
      row[3 * x + 2] = static_cast<unsigned char>(p >> 16);
    }
    std::fwrite(row.data(), 1, row.size(), f);
  }
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: isovar-testcard OUT.bmp\n");
    return 2;
  }
  HDC dc = CreateSurfaceDC(kWidth, kHeight);

  // Background, as the plot paints it: the whole picture in one rectangle.
  HBRUSH grey = CreateSolidBrush(RGB(100, 100, 100));
  HPEN grey_pen = CreatePen(PS_SOLID, 1, RGB(100, 100, 100));
  HGDIOBJ old_brush = SelectObject(dc, grey);
  HGDIOBJ old_pen = SelectObject(dc, grey_pen);
  Rectangle(dc, 0, kHeight - 100, kWidth, 0);  // the bottom strip keeps the window grey
  SelectObject(dc, old_pen);
  SelectObject(dc, old_brush);
  DeleteObject(grey);
  DeleteObject(grey_pen);

  fan(dc, 130, 200, 110, 1);
  fan(dc, 380, 200, 110, 2);
  fan(dc, 630, 200, 110, 5);

  // Boxes: default pen and brush, a coloured one, a 1-pixel one, corners reversed.
  Rectangle(dc, 20, 330, 80, 380);
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  HPEN red = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  HPEN thick = CreatePen(PS_SOLID, 4, RGB(255, 255, 0));
  old_brush = SelectObject(dc, blue);
  old_pen = SelectObject(dc, red);
  Rectangle(dc, 160, 380, 100, 330);
  Rectangle(dc, 180, 330, 181, 380);
  SelectObject(dc, thick);
  Rectangle(dc, 200, 330, 260, 380);
  SelectObject(dc, old_pen);
  SelectObject(dc, old_brush);
  DeleteObject(blue);
  DeleteObject(red);
  DeleteObject(thick);

  // A frame as the plot draws it: white, 2 pixels, around 280..520 x 330..380.
  HPEN white = CreatePen(PS_SOLID, 2, RGB(255, 255, 255));
  old_pen = SelectObject(dc, white);
  line(dc, 280, 330, 520, 330);
  line(dc, 520, 330, 520, 380);
  line(dc, 520, 380, 280, 380);
  line(dc, 280, 380, 280, 330);
  SelectObject(dc, old_pen);
  DeleteObject(white);

  // Texts: white on the grey, as titles and labels are drawn.
  SetTextColor(dc, RGB(255, 255, 255));
  const int sizes[] = {8, 10, 20};
  int y = 395;
  for (int size : sizes) {
    HFONT f = gothic(size);
    HGDIOBJ old_font = SelectObject(dc, f);
    text(dc, 20, y, "Isovar 12.50 -0.50 5.000e-002 ABCxyz");
    text(dc, 420, y, to_cp932("等高線図 タイトル ｶﾀｶﾅ 値＝１２"));
    SelectObject(dc, old_font);
    DeleteObject(f);
    y += size + 6;
  }
  // Labels beside their end points, as the plot places them.
  HFONT label = gothic(10);
  HGDIOBJ old_font = SelectObject(dc, label);
  for (int i = 0; i < 6; ++i) text(dc, 300 + 80 * i, 350, i % 2 ? " 0.10" : "-0.50");
  SelectObject(dc, old_font);
  DeleteObject(label);

  // The window grey strip: black text in the default font, transparent and opaque.
  SetTextColor(dc, RGB(0, 0, 0));
  text(dc, 20, 530, to_cp932("既定のフォント (transparent)"));
  SetBkMode(dc, OPAQUE);
  text(dc, 420, 530, to_cp932("既定のフォント (opaque)"));
  SetBkMode(dc, TRANSPARENT);
  // Lines running far outside the card.
  HPEN green = CreatePen(PS_SOLID, 1, RGB(0, 160, 0));
  old_pen = SelectObject(dc, green);
  line(dc, -2147483647 - 1, 560, 2147483647, 590);
  SelectObject(dc, old_pen);
  DeleteObject(green);

  const bool ok = write_bmp(argv[1], dc);
  DeleteDC(dc);
  if (!ok) {
    std::fprintf(stderr, "isovar-testcard: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}

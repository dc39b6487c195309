// BMP export: capture limits, file layout, and the failure texts.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "render_fixtures.h"
#include "test_support.h"

using namespace render_fixtures;
using testing_support::cp932;
using testing_support::read_file;

namespace {

uint32_t le16(const std::string& b, std::size_t at) {
  return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8;
}
uint32_t u32(const std::string& b, std::size_t at) { return static_cast<uint32_t>(le32(b, at)); }

// A pixel of a known colour at every place: red from the column, green from
// the row, blue constant.
COLORREF pattern(int x, int y) { return RGB(x & 0xFF, y & 0xFF, 0x5A); }

std::string write_pattern(int32_t width, int32_t height) {
  run_context.plot_width = width;
  run_context.plot_height = height;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) default_run.pixels->pixels[y * kPixelStride + x] = pattern(x, y);
  EXPECT_EQ(saveBMPFile("pattern.bmp"), 0);
  return read_file("pattern.bmp");
}

// A message cut to whole characters within limit bytes, built a character at
// a time from its UTF-8 text.
std::string cut_cp932(const std::string& utf8, std::size_t limit) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    std::string ch = cp932(utf8.substr(i, n));
    if (out.size() + ch.size() > limit) break;
    out += ch;
    i += n;
  }
  return out;
}

}  // namespace

TEST(BmpFile, HeadersRowsAndPadding) {
  struct Case {
    int32_t width, height;
    uint32_t row_bytes;
  } cases[] = {{1, 3, 4}, {4, 2, 12}, {5, 2, 16}, {600, 500, 1800}, {999, 2, 3000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    std::string f = write_pattern(c.width, c.height);
    const uint32_t image = c.row_bytes * static_cast<uint32_t>(c.height);
    ASSERT_EQ(f.size(), 54u + image);
    EXPECT_EQ(f.substr(0, 2), "BM");
    EXPECT_EQ(u32(f, 2), 54u + image);
    EXPECT_EQ(u32(f, 6), 0u);
    EXPECT_EQ(u32(f, 10), 54u);
    EXPECT_EQ(u32(f, 14), 40u);
    EXPECT_EQ(le32(f, 18), c.width);
    EXPECT_EQ(le32(f, 22), c.height);
    EXPECT_EQ(le16(f, 26), 1u);
    EXPECT_EQ(le16(f, 28), 24u);
    EXPECT_EQ(u32(f, 30), 0u);
    EXPECT_EQ(u32(f, 34), image);
    EXPECT_EQ(u32(f, 38), 3780u);
    EXPECT_EQ(u32(f, 42), 3780u);
    EXPECT_EQ(u32(f, 46), 0u);
    EXPECT_EQ(u32(f, 50), 0u);
    // Rows from the bottom of the picture up; blue, green, red; zero padding.
    bool rows_ok = true;
    for (int32_t r = 0; r < c.height; ++r) {
      const int32_t y = c.height - 1 - r;
      const std::size_t at = 54 + r * c.row_bytes;
      for (int32_t x = 0; x < c.width; ++x) {
        COLORREF want = pattern(x, y);
        rows_ok = rows_ok && static_cast<unsigned char>(f[at + 3 * x]) == GetBValue(want) &&
                  static_cast<unsigned char>(f[at + 3 * x + 1]) == GetGValue(want) &&
                  static_cast<unsigned char>(f[at + 3 * x + 2]) == GetRValue(want);
      }
      for (std::size_t p = 3 * c.width; p < c.row_bytes; ++p) rows_ok = rows_ok && f[at + p] == 0;
    }
    EXPECT_TRUE(rows_ok);
  }
  EXPECT_EQ(write_pattern(600, 500).size(), 900054u);
}

TEST(BmpFile, RedAndUnreadablePixels) {
  run_context.plot_width = 2;
  run_context.plot_height = 1;
  default_run.pixels->pixels[0] = RGB(255, 0, 0);
  default_run.pixels->pixels[1] = CLR_INVALID;
  ASSERT_EQ(saveBMPFile("two.bmp"), 0);
  std::string f = read_file("two.bmp");
  EXPECT_EQ(f.substr(54), std::string("\x00\x00\xFF\xFF\xFF\xFF\x00\x00", 8));
}

TEST(BmpFile, OpenFailureNamesThePathWithinTheBuffer) {
  ASSERT_EQ(saveBMPFile("no-such-folder/x.bmp"), ENOENT);
  EXPECT_EQ(std::string(run_context.message_buffer),
            cp932(u8"出力ファイル(no-such-folder/x.bmp)をオープンできません。"));

  // A long path with two-byte characters: cut at the last whole character
  // within 127 bytes of text.
  for (std::size_t lead = 0; lead < 2; ++lead) {
    std::string path_utf8 = "no-such-folder/" + std::string(lead, 'a');
    for (int i = 0; i < 60; ++i) path_utf8 += u8"図";
    ASSERT_EQ(saveBMPFile(cp932(path_utf8).c_str()), ENOENT);
    std::string want = cut_cp932(u8"出力ファイル(" + path_utf8 + u8")をオープンできません。", 127);
    EXPECT_EQ(std::string(run_context.message_buffer), want);
    EXPECT_GE(want.size(), 126u);
  }
}

TEST(BmpCapture, SizeLimits) {
  HDC dc = CreateSurfaceDC(999, 999);
  ASSERT_NE(dc, nullptr);
  struct Case {
    int32_t width, height, result;
    const char* message;
  } cases[] = {
      {999, 999, 0, nullptr},
      {1000, 10, -1, u8"画像（1000, 10）が大きすぎます。"},
      {10, 1000, -1, u8"画像（10, 1000）が大きすぎます。"},
      {-1, 10, -1, u8"画像（-1, 10）の大きさが正しくありません。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    std::strcpy(run_context.message_buffer, "untouched");
    set_picture(dc, c.width, c.height);
    EXPECT_EQ(capture_pixels(dc), c.result);
    EXPECT_EQ(std::string(run_context.message_buffer), c.message ? cp932(c.message) : "untouched");
  }
  DeleteDC(dc);
}

TEST(BmpCapture, PixelsOutsideTheSurfaceAreWrittenWhite) {
  HDC dc = CreateSurfaceDC(4, 3);
  ASSERT_NE(dc, nullptr);
  HBRUSH brush = CreateSolidBrush(RGB(255, 0, 0));
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  HGDIOBJ old_brush = SelectObject(dc, brush);
  HGDIOBJ old_pen = SelectObject(dc, pen);
  Rectangle(dc, 0, 0, 4, 3);
  SelectObject(dc, old_brush);
  SelectObject(dc, old_pen);
  DeleteObject(brush);
  DeleteObject(pen);

  set_picture(dc, 5, 3);  // one column more than the surface has
  ASSERT_EQ(capture_pixels(dc), 0);
  ASSERT_EQ(saveBMPFile("wider.bmp"), 0);
  std::string f = read_file("wider.bmp");
  ASSERT_EQ(f.size(), 54u + 16u * 3u);
  const std::string red("\x00\x00\xFF", 3), white("\xFF\xFF\xFF", 3);
  EXPECT_EQ(f.substr(54, 16), red + red + red + red + white + std::string(1, '\0'));
  DeleteDC(dc);
}

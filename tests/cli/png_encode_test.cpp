// isovar-plot's PNG encoder, read back with zlib: every picture must come
// back pixel for pixel, whatever mix of runs, rows repeated from above and
// noise it holds, across its block and window limits.
#include "png_encode.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

uint32_t be32(const std::string& s, std::size_t at) {
  return uint32_t{static_cast<unsigned char>(s[at])} << 24 | uint32_t{static_cast<unsigned char>(s[at + 1])} << 16 |
         uint32_t{static_cast<unsigned char>(s[at + 2])} << 8 | uint32_t{static_cast<unsigned char>(s[at + 3])};
}

// The pixels of an 8-bit truecolour PNG without filters, as 0x00RRGGBB;
// checks every chunk's CRC and, through inflate, the stream's checksum.
std::vector<uint32_t> decode(const std::string& png, int& width, int& height) {
  EXPECT_EQ(png.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
  std::string idat;
  std::vector<std::string> types;
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const uint32_t length = be32(png, at);
    const std::string type = png.substr(at + 4, 4);
    types.push_back(type);
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + at + 4), length + 4);
    EXPECT_EQ(crc, be32(png, at + 8 + length)) << type;
    if (type == "IHDR") {
      width = static_cast<int>(be32(png, at + 8));
      height = static_cast<int>(be32(png, at + 12));
      EXPECT_EQ(png.substr(at + 16, 5), std::string("\x08\x02\x00\x00\x00", 5));
    }
    if (type == "IDAT") idat += png.substr(at + 8, length);
    at += 12 + length;
  }
  EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  const std::size_t row_bytes = 1 + 3 * static_cast<std::size_t>(width);
  std::vector<unsigned char> raw(row_bytes * static_cast<std::size_t>(height) + 1);
  uLongf size = raw.size();
  EXPECT_EQ(uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(idat.data()), idat.size()), Z_OK);
  EXPECT_EQ(size, raw.size() - 1);
  std::vector<uint32_t> pixels;
  for (int y = 0; y < height; ++y) {
    const unsigned char* row = raw.data() + static_cast<std::size_t>(y) * row_bytes;
    EXPECT_EQ(row[0], 0) << "filter of row " << y;
    for (int x = 0; x < width; ++x)
      pixels.push_back(uint32_t{row[1 + 3 * x]} << 16 | uint32_t{row[2 + 3 * x]} << 8 | row[3 + 3 * x]);
  }
  return pixels;
}

void round_trip(const std::vector<uint32_t>& pixels, int width, int height, const char* what) {
  std::string png;
  ASSERT_TRUE(isovar_plot::encode_png(pixels.data(), width, height, &png)) << what;
  int w = 0, h = 0;
  const std::vector<uint32_t> back = decode(png, w, h);
  EXPECT_EQ(w, width) << what;
  EXPECT_EQ(h, height) << what;
  EXPECT_TRUE(back == pixels) << what;
}

// A plot-like picture: a background, boxes, lines in a few colours, some
// noise; colour 0 (black) makes runs that take in the rows' filter bytes.
std::vector<uint32_t> picture(int width, int height, std::mt19937& rng, double noise) {
  const uint32_t colours[] = {0x000000, 0xF0F0F0, 0xFFFFFF, 0x0000FF, 0xFF0000, 0x646464, 0x00FF80};
  std::vector<uint32_t> p(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0xF0F0F0);
  for (int box = 0; box < 6; ++box) {
    const int x0 = static_cast<int>(rng() % width), y0 = static_cast<int>(rng() % height);
    const int x1 = x0 + static_cast<int>(rng() % width), y1 = y0 + static_cast<int>(rng() % height);
    const uint32_t c = colours[rng() % 7];
    for (int y = y0; y < std::min(y1, height); ++y)
      for (int x = x0; x < std::min(x1, width); ++x) p[static_cast<std::size_t>(y) * width + x] = c;
  }
  for (int line = 0; line < 40; ++line) {
    double x = rng() % width, y = rng() % height;
    const double dx = (static_cast<int>(rng() % 200) - 100) / 100.0, dy = (static_cast<int>(rng() % 200) - 100) / 100.0;
    const uint32_t c = colours[rng() % 7];
    for (int step = 0; step < 500 && x >= 0 && y >= 0 && x < width && y < height; ++step, x += dx, y += dy)
      p[static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)] = c;
  }
  for (uint32_t& px : p)
    if (std::uniform_real_distribution<double>(0, 1)(rng) < noise) px = rng() & 0xFFFFFF;
  return p;
}

TEST(PngEncode, PicturesComeBackPixelForPixel) {
  std::mt19937 rng(5);
  round_trip({0x123456}, 1, 1, "one pixel");
  round_trip(std::vector<uint32_t>(1000, 0), 1, 1000, "a black column");
  round_trip(std::vector<uint32_t>(3000, 0xFFFFFF), 3000, 1, "a white row");
  for (int k = 0; k < 12; ++k) {
    const int width = 1 + static_cast<int>(rng() % 700), height = 1 + static_cast<int>(rng() % 300);
    round_trip(picture(width, height, rng, k % 3 == 0 ? 0.0 : 0.002), width, height, "plot-like");
  }
  // Noise through several blocks of their own codes.
  round_trip(picture(400, 300, rng, 0.7), 400, 300, "mostly noise");
  // Rows longer than the window: no copies from the row above.
  round_trip(picture(11000, 4, rng, 0.001), 11000, 4, "wider than the window");
  round_trip(picture(10922, 5, rng, 0.001), 10922, 5, "as wide as the window allows");
}

TEST(PngEncode, PlotPicturesStaySmall) {
  std::mt19937 rng(9);
  const std::vector<uint32_t> p = picture(665, 585, rng, 0.0);
  std::string png;
  ASSERT_TRUE(isovar_plot::encode_png(p.data(), 665, 585, &png));
  EXPECT_LT(png.size(), 665u * 585u * 3u / 20u);
}

TEST(PngEncode, RefusesEmptyPictures) {
  std::string png = "old";
  const uint32_t pixel = 0;
  EXPECT_FALSE(isovar_plot::encode_png(&pixel, 0, 1, &png));
  EXPECT_FALSE(isovar_plot::encode_png(&pixel, 1, 0, &png));
  EXPECT_EQ(png, "");
}

}  // namespace

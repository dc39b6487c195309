// Several surfaces drawn on several threads at once: each picture (and SVG
// document) equals the same drawing done alone. Built under ThreadSanitizer
// by scripts/tsan.sh, which then also finds any unguarded state the threads
// share: the object table and its stock objects, the fonts, the glyph cache,
// the code page 932 tables, the polygon filler's scratch list.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "cp932.h"
#include "platform.h"
#include "test_support.h"

namespace {

using testing_support::cp932;

constexpr int kThreads = 4;
constexpr int kRounds = 40;

// What one drawing left: the pixels, and the document of an SVG surface.
struct Drawing {
  std::vector<uint32_t> pixels;
  std::string svg;
  bool operator==(const Drawing& o) const { return pixels == o.pixels && svg == o.svg; }
};

HFONT gothic(int height, const std::string& face_utf8) {
  LOGFONTA lf{};
  lf.lfHeight = height;
  lf.lfCharSet = SHIFTJIS_CHARSET;
  lf.lfOutPrecision = OUT_TT_PRECIS;
  lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  const std::string face = cp932(face_utf8);
  std::memcpy(lf.lfFaceName, face.data(), face.size());
  return CreateFontIndirectA(&lf);
}

void text(HDC dc, int x, int y, const std::string& bytes) {
  TextOutA(dc, x, y, bytes.data(), static_cast<int>(bytes.size()));
}

// Scene k: a background, polylines of pens of several widths, filled
// triangles and a star of 40 vertices (the filler's large-polygon path),
// Japanese titles and number labels, each thread at its own font sizes;
// scene 0 keeps the context's stock font, scene 2 records SVG.
Drawing draw_scene(int k) {
  const int width = 220 + 10 * k, height = 150;
  HDC dc = k == 2 ? CreateSvgSurfaceDC(width, height) : CreateSurfaceDC(width, height);
  EXPECT_NE(dc, nullptr);
  HBRUSH paper = CreateSolidBrush(RGB(250 - 10 * k, 250, 240));
  HGDIOBJ old_brush = SelectObject(dc, paper);
  Rectangle(dc, 0, 0, width, height);

  for (int n = 0; n < 12; ++n) {
    HPEN pen = CreatePen(PS_SOLID, 1 + (n + k) % 3, RGB(20 * n, 255 - 20 * n, 60 * k));
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, 5 + n * 7, 10 + k * 3, nullptr);
    for (int i = 1; i < 40; ++i) LineTo(dc, 5 + n * 7 + (i * 37 + k * 11) % 90, 10 + (i * 53 + n * 13) % 130);
    SelectObject(dc, old);
    DeleteObject(pen);
  }

  HBRUSH fill = CreateSolidBrush(RGB(40 * k, 90, 200));
  SelectObject(dc, fill);
  std::vector<POINTF> points;
  std::vector<int> counts;
  for (int i = 0; i < 30; ++i) {
    const float x = 100.0f + static_cast<float>((i * 29 + k * 7) % 100), y = static_cast<float>((i * 17) % 120) + 5.5f;
    points.insert(points.end(), {{x, y}, {x + 12.25f, y + 3.5f}, {x + 4.75f, y + 14.0f}});
    counts.push_back(3);
  }
  for (int i = 0; i < 40; ++i) {
    const float r = i % 2 == 0 ? 30.0f : 12.0f;
    const double a = i * 3.14159265358979 / 20;
    points.push_back({static_cast<float>(60 + r * std::cos(a)), static_cast<float>(90 + r * std::sin(a))});
  }
  counts.push_back(40);
  FillPolygons(dc, points.data(), counts.data(), static_cast<int>(counts.size()));
  SelectObject(dc, old_brush);
  DeleteObject(fill);
  DeleteObject(paper);

  HFONT font = k == 0 ? nullptr : gothic(8 + 4 * k, k == 3 ? u8"IPAゴシック" : u8"ＭＳ ゴシック");
  HGDIOBJ old_font = font != nullptr ? SelectObject(dc, font) : nullptr;
  SetTextColor(dc, RGB(0, 0, 90 * k));
  SetBkMode(dc, k == 3 ? OPAQUE : TRANSPARENT);
  text(dc, 4, 4, cp932(u8"等高線図 その") + std::to_string(k + 1));
  text(dc, 30, 60, cp932(u8"ｶﾀｶﾅ 値 = ") + "12.50");
  for (int i = 0; i < 10; ++i) text(dc, (i * 41) % (width - 30), 100 + (i % 4) * 11, std::to_string(i * 0.25 - k));
  if (old_font != nullptr) SelectObject(dc, old_font);
  if (font != nullptr) DeleteObject(font);

  Drawing d;
  int w = 0, h = 0;
  const uint32_t* bits = GetSurfaceBits(dc, &w, &h);
  if (bits != nullptr) d.pixels.assign(bits, bits + static_cast<std::size_t>(w) * h);
  if (const char* svg = GetSurfaceSvg(dc, nullptr)) d.svg = svg;
  DeleteDC(dc);
  return d;
}

// First of all, while nothing is decoded yet: every byte pair decoded on
// four threads at once, each thread in its own order.
TEST(Threads, DecodingFromManyThreadsGivesOneAnswer) {
  std::string all;
  for (int a = 0x81; a <= 0xFC; ++a) {
    for (int b = 0x40; b <= 0xFC; ++b) {
      all += static_cast<char>(a);
      all += static_cast<char>(b);
    }
  }
  std::string reversed;
  for (std::size_t i = all.size(); i >= 2; i -= 2) reversed.append(all, i - 2, 2);
  std::vector<std::string> forward(kThreads), backward(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      if (t % 2 == 0) {
        forward[t] = cp932::to_utf8(all);
      } else {
        backward[t] = cp932::to_utf8(reversed, cp932::Invalid::kAsDrawn);
      }
    });
  }
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) {
    if (t % 2 == 0) {
      EXPECT_EQ(forward[t], cp932::to_utf8(all)) << t;
    } else {
      EXPECT_EQ(backward[t], cp932::to_utf8(reversed, cp932::Invalid::kAsDrawn)) << t;
    }
  }
}

TEST(Threads, FourSurfacesOnFourThreadsDrawAsAlone) {
  std::vector<std::vector<Drawing>> results(kThreads);
  std::vector<std::thread> threads;
  for (int k = 0; k < kThreads; ++k) {
    threads.emplace_back([&results, k] {
      for (int round = 0; round < kRounds; ++round) results[k].push_back(draw_scene(k));
    });
  }
  for (std::thread& t : threads) t.join();
  // Alone: after the threads, so that they were the first to find the fonts.
  for (int k = 0; k < kThreads; ++k) {
    const Drawing alone = draw_scene(k);
    ASSERT_FALSE(alone.pixels.empty());
    EXPECT_EQ(alone.svg.empty(), k != 2);
    ASSERT_EQ(results[k].size(), static_cast<std::size_t>(kRounds));
    for (int round = 0; round < kRounds; ++round)
      EXPECT_TRUE(results[k][round] == alone) << "scene " << k << ", round " << round;
  }
}

}  // namespace

// The drawing surface under a plot's load: a 665 x 585 picture (the window's
// picture box) with 20,000 short 1-pixel segments in 100 polylines, each with
// its own pen, and 500 ten-pixel labels.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <vector>

#include "platform.h"

namespace {

constexpr int kWidth = 665;
constexpr int kHeight = 585;
constexpr int kPolylines = 100;
constexpr int kSegmentsPerPolyline = 200;
constexpr int kLabels = 500;

struct Scene {
  std::vector<POINT> points[kPolylines];  // kSegmentsPerPolyline + 1 each
  POINT label_at[kLabels];
  char label_text[kLabels][16];
};

// Random walks of steps up to 6 pixels, bouncing inside the picture.
Scene make_scene(int far = 0) {
  Scene s;
  std::mt19937 rng(2024);
  std::uniform_int_distribution<int> step(-6, 6);
  for (auto& pl : s.points) {
    int x = static_cast<int>(rng() % kWidth), y = static_cast<int>(rng() % kHeight);
    for (int i = 0; i <= kSegmentsPerPolyline; ++i) {
      pl.push_back(POINT{x, y});
      x += step(rng) * (far ? far : 1);
      y += step(rng) * (far ? far : 1);
      if (!far) {
        x = x < 0 ? -x : (x >= kWidth ? 2 * kWidth - 2 - x : x);
        y = y < 0 ? -y : (y >= kHeight ? 2 * kHeight - 2 - y : y);
      }
    }
  }
  for (int i = 0; i < kLabels; ++i) {
    s.label_at[i] = POINT{static_cast<LONG>(rng() % (kWidth - 30)), static_cast<LONG>(rng() % (kHeight - 10))};
    std::snprintf(s.label_text[i], sizeof s.label_text[i], "%5.2f", (i % 49) * 0.25 - 3.0);
  }
  return s;
}

HFONT label_font() {
  LOGFONTA lf{};
  lf.lfHeight = 10;
  lf.lfCharSet = SHIFTJIS_CHARSET;
  lf.lfOutPrecision = OUT_TT_PRECIS;
  lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  // "ＭＳ ゴシック" in code page 932
  const char face[] = "\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e";
  for (size_t i = 0; i < sizeof face; ++i) lf.lfFaceName[i] = face[i];
  return CreateFontIndirectA(&lf);
}

void draw_polylines(HDC dc, const Scene& s, int width) {
  for (int n = 0; n < kPolylines; ++n) {
    HPEN pen = CreatePen(PS_SOLID, width, RGB(n * 2, 255 - n * 2, 0));
    HGDIOBJ old = SelectObject(dc, pen);
    const std::vector<POINT>& pl = s.points[n];
    for (size_t i = 0; i + 1 < pl.size(); ++i) {
      MoveToEx(dc, pl[i].x, pl[i].y, nullptr);
      LineTo(dc, pl[i + 1].x, pl[i + 1].y);
    }
    SelectObject(dc, old);
    DeleteObject(pen);
  }
}

void draw_labels(HDC dc, const Scene& s) {
  HFONT font = label_font();
  HGDIOBJ old = SelectObject(dc, font);
  SetTextColor(dc, RGB(255, 255, 255));
  for (int i = 0; i < kLabels; ++i) {
    TextOutA(dc, s.label_at[i].x, s.label_at[i].y, s.label_text[i], 5);
  }
  SelectObject(dc, old);
  DeleteObject(font);
}

// 20,000 segments and 500 labels: the budget is 5 ms.
void BM_SegmentsAndLabels(benchmark::State& state) {
  const Scene scene = make_scene();
  HDC dc = CreateSurfaceDC(kWidth, kHeight);
  draw_labels(dc, scene);  // fonts found and glyphs cached once, as after the first repaint
  for (auto _ : state) {
    draw_polylines(dc, scene, 1);
    draw_labels(dc, scene);
  }
  benchmark::DoNotOptimize(GetPixel(dc, 0, 0));
  DeleteDC(dc);
}
BENCHMARK(BM_SegmentsAndLabels)->Unit(benchmark::kMillisecond);

void BM_Segments(benchmark::State& state) {
  const Scene scene = make_scene();
  HDC dc = CreateSurfaceDC(kWidth, kHeight);
  for (auto _ : state) draw_polylines(dc, scene, static_cast<int>(state.range(0)));
  DeleteDC(dc);
}
BENCHMARK(BM_Segments)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_Labels(benchmark::State& state) {
  const Scene scene = make_scene();
  HDC dc = CreateSurfaceDC(kWidth, kHeight);
  draw_labels(dc, scene);
  for (auto _ : state) draw_labels(dc, scene);
  DeleteDC(dc);
}
BENCHMARK(BM_Labels)->Unit(benchmark::kMillisecond);

// Japanese titles: 40 texts of 12 characters in code page 932 at 16 pixels,
// each character decoded and its glyph found on every repaint.
void BM_JapaneseTitles(benchmark::State& state) {
  // "等高線図 その" + a number: kanji, kana and ASCII.
  const char title[] = "\x93\x99\x8d\x82\x90\xfc\x90\x7d\x20\x82\xbb\x82\xcc 12";
  LOGFONTA lf{};
  lf.lfHeight = 16;
  lf.lfCharSet = SHIFTJIS_CHARSET;
  lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  HDC dc = CreateSurfaceDC(kWidth, kHeight);
  HFONT font = CreateFontIndirectA(&lf);
  SelectObject(dc, font);
  TextOutA(dc, 0, 0, title, sizeof title - 1);
  for (auto _ : state) {
    for (int i = 0; i < 40; ++i) TextOutA(dc, 10 + i * 7, 10 + i * 13, title, sizeof title - 1);
  }
  DeleteDC(dc);
  DeleteObject(font);
}
BENCHMARK(BM_JapaneseTitles)->Unit(benchmark::kMicrosecond);

// Segments with ends far outside: clipping must not step the invisible part.
void BM_FarSegments(benchmark::State& state) {
  const Scene scene = make_scene(5000000);
  HDC dc = CreateSurfaceDC(kWidth, kHeight);
  for (auto _ : state) draw_polylines(dc, scene, 1);
  DeleteDC(dc);
}
BENCHMARK(BM_FarSegments)->Unit(benchmark::kMillisecond);

// The plot's background: one rectangle over the whole picture.
void BM_Background(benchmark::State& state) {
  HDC dc = CreateSurfaceDC(kWidth, kHeight);
  for (auto _ : state) Rectangle(dc, 0, kHeight, kWidth, 0);
  DeleteDC(dc);
}
BENCHMARK(BM_Background)->Unit(benchmark::kMicrosecond);

// Filled bands: a 200 x 200 grid of jittered cells over the picture, two
// triangles a cell, drawn in chunks of 256 polygons as the plot draws them.
void BM_Triangles(benchmark::State& state) {
  constexpr int kCells = 200;
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> jitter(-0.3f, 0.3f);
  std::vector<POINTF> corner((kCells + 1) * (kCells + 1));
  for (int i = 0; i <= kCells; ++i)
    for (int j = 0; j <= kCells; ++j)
      corner[i * (kCells + 1) + j] = {66 + 2.66f * (i + jitter(rng)), 58 + 2.34f * (j + jitter(rng))};
  std::vector<POINTF> points;
  for (int i = 0; i < kCells; ++i) {
    for (int j = 0; j < kCells; ++j) {
      const POINTF a = corner[i * (kCells + 1) + j], b = corner[(i + 1) * (kCells + 1) + j];
      const POINTF c = corner[(i + 1) * (kCells + 1) + j + 1], d = corner[i * (kCells + 1) + j + 1];
      points.insert(points.end(), {a, b, d, b, c, d});
    }
  }
  const std::vector<int> counts(256, 3);
  HDC dc = CreateSurfaceDC(kWidth, kHeight);
  HBRUSH brush = CreateSolidBrush(RGB(200, 220, 255));
  SelectObject(dc, brush);
  const int triangles = static_cast<int>(points.size() / 3);
  for (auto _ : state) {
    for (int t = 0; t < triangles; t += 256) {
      const int n = triangles - t < 256 ? triangles - t : 256;
      FillPolygons(dc, points.data() + 3 * t, counts.data(), n);
    }
  }
  state.counters["triangles"] = triangles;
  DeleteDC(dc);
  DeleteObject(brush);
}
BENCHMARK(BM_Triangles)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

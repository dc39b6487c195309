// A plot run is what every repaint costs: engine, render and display list of
// the 200 x 200 example with 10 levels at 665 x 585. saveBMP adds the pixel
// capture and the file; the run's files are also measured alone. The run log, display list and BMP file go to a
// temporary folder made the current directory.
//
//   bench_plot --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "IsovarLib.h"
#include "atomic_file.h"
#include "cairo_printer.h"
#include "entry/defaults.h"
#include "png_encode.h"

namespace {

constexpr int kWidth = 665;
constexpr int kHeight = 585;

bool read_large(benchmark::State& state) {
  char err[ISOVAR_ERRMSG_SIZE] = {};
  const std::string path = std::string(ISOVAR_SOURCE_DIR) + "/examples/large.isovar";
  if (readData(path.c_str(), err) != 0) {
    state.SkipWithError("examples/large.isovar cannot be read");
    return false;
  }
  return true;
}

// Argument 1: with the bands filled (about 90,000 band pieces).
void BM_PlotRun(benchmark::State& state) {
  if (!read_large(state)) return;
  setFillBands(static_cast<int32_t>(state.range(0)));
  HDC dc = CreateSurfaceDC(kWidth, kHeight);
  char err[ISOVAR_ERRMSG_SIZE] = {};
  for (auto _ : state) {
    if (isovarMain(err, dc, "prtInfo.tmp", kWidth, kHeight) != 0) {
      state.SkipWithError(err);
      break;
    }
  }
  state.counters["polylines"] = engine_tables.pline_total;
  state.counters["labels"] = label_table.label_count;
  state.counters["band_pieces"] = engine_tables.fill_poly_count;
  setFillBands(0);
  DeleteDC(dc);
}
BENCHMARK(BM_PlotRun)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A plot run on a surface that records SVG, and the SVG file written as
// isovar-plot --svg writes it; argument 1 with the bands filled. Compare
// with BM_PlotRun of the same argument.
void BM_PlotRunSvg(benchmark::State& state) {
  if (!read_large(state)) return;
  setFillBands(static_cast<int32_t>(state.range(0)));
  HDC dc = CreateSvgSurfaceDC(kWidth, kHeight);
  char err[ISOVAR_ERRMSG_SIZE] = {};
  std::size_t bytes = 0;
  for (auto _ : state) {
    if (isovarMain(err, dc, "prtInfo.tmp", kWidth, kHeight) != 0) {
      state.SkipWithError(err);
      break;
    }
    const char* svg = GetSurfaceSvg(dc, &bytes);
    if (files::replace_file("large.svg", svg, bytes, files::Target::kNamedByUser) != 0) {
      state.SkipWithError("large.svg cannot be written");
      break;
    }
  }
  state.counters["svg_bytes"] = static_cast<double>(bytes);
  setFillBands(0);
  DeleteDC(dc);
}
BENCHMARK(BM_PlotRunSvg)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The publication style (isovar-plot --style publication): key, axes,
// labels along the lines with a halo, viridis, the outline; argument 0 on an
// antialiased raster surface (compare with BM_PlotRun/0), 1 on an SVG
// surface with the document written (compare with BM_PlotRunSvg/0).
void BM_PlotRunPublication(benchmark::State& state) {
  if (!read_large(state)) return;
  const bool svg = state.range(0) != 0;
  IsovarPictureStyle style{};
  style.key = ISOVAR_KEY_RIGHT;
  style.axes = 1;
  style.colormap = ISOVAR_COLORMAP_VIRIDIS;
  style.labels = ISOVAR_LABELS_INLINE;
  style.halo = 1;
  style.outline = 1;
  setPictureStyle(&style);
  HDC dc = CreateSurfaceDCWith(kWidth, kHeight, 1.0, svg ? ISOVAR_SURFACE_SVG : ISOVAR_SURFACE_ANTIALIAS);
  char err[ISOVAR_ERRMSG_SIZE] = {};
  for (auto _ : state) {
    if (isovarMain(err, dc, "prtInfo.tmp", kWidth, kHeight) != 0) {
      state.SkipWithError(err);
      break;
    }
    if (!svg) continue;
    std::size_t bytes = 0;
    const char* text = GetSurfaceSvg(dc, &bytes);
    if (files::replace_file("large.svg", text, bytes, files::Target::kNamedByUser) != 0) {
      state.SkipWithError("large.svg cannot be written");
      break;
    }
  }
  setPictureStyle(nullptr);
  DeleteDC(dc);
}
BENCHMARK(BM_PlotRunPublication)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_SaveBMP(benchmark::State& state) {
  if (!read_large(state)) return;
  HDC dc = CreateSurfaceDC(kWidth, kHeight);
  char err[ISOVAR_ERRMSG_SIZE] = {};
  for (auto _ : state) {
    if (saveBMP(err, dc, "prtInfo.tmp", "large.bmp", kWidth, kHeight) != 0) {
      state.SkipWithError(err);
      break;
    }
  }
  DeleteDC(dc);
}
BENCHMARK(BM_SaveBMP)->Unit(benchmark::kMillisecond);

// isovar-plot's outputs of the picture and the display list of one run: the
// PNG encoding of the 665 x 585 picture and the printed page as a PDF.
void BM_EncodePng(benchmark::State& state) {
  if (!read_large(state)) return;
  HDC dc = CreateSurfaceDC(kWidth, kHeight);
  char err[ISOVAR_ERRMSG_SIZE] = {};
  if (isovarMain(err, dc, "prtInfo.tmp", kWidth, kHeight) != 0) state.SkipWithError(err);
  int w = 0, h = 0;
  const uint32_t* bits = GetSurfaceBits(dc, &w, &h);
  std::string png;
  for (auto _ : state) {
    if (!isovar_plot::encode_png(bits, w, h, &png)) {
      state.SkipWithError("the PNG encoder failed");
      break;
    }
  }
  state.counters["bytes"] = static_cast<double>(png.size());
  DeleteDC(dc);
}
BENCHMARK(BM_EncodePng)->Unit(benchmark::kMillisecond);

void BM_PdfPage(benchmark::State& state) {
  if (!read_large(state)) return;
  HDC dc = CreateSurfaceDC(kWidth, kHeight);
  char err[ISOVAR_ERRMSG_SIZE] = {};
  if (isovarMain(err, dc, "prtInfo.tmp", kWidth, kHeight) != 0) state.SkipWithError(err);
  std::string pdf;
  for (auto _ : state) {
    if (!replay::PrintDisplayListToCairoPdf("prtInfo.tmp", "bench", &pdf)) {
      state.SkipWithError("the page cannot be printed");
      break;
    }
  }
  state.counters["bytes"] = static_cast<double>(pdf.size());
  DeleteDC(dc);
}
BENCHMARK(BM_PdfPage)->Unit(benchmark::kMillisecond);

// The render step alone, on the polylines of one engine run, writing the
// display list to a file as a run does; argument 1 with the bands filled.
void BM_RenderOnly(benchmark::State& state) {
  if (!read_large(state)) return;
  setFillBands(static_cast<int32_t>(state.range(0)));
  HDC dc = CreateSurfaceDC(kWidth, kHeight);
  char err[ISOVAR_ERRMSG_SIZE] = {};
  if (isovarMain(err, dc, "prtInfo.tmp", kWidth, kHeight) != 0) {
    state.SkipWithError(err);
    return;
  }
  for (auto _ : state) {
    files::AtomicFile display_list;
    if (display_list.open("render.tmp", files::Target::kFixedName) != 0) {
      state.SkipWithError("render.tmp cannot be written");
      break;
    }
    run_context.display_list_file = &display_list;
    render_plot();
    run_context.display_list_file = nullptr;
    if (display_list.commit() != 0) {
      state.SkipWithError("render.tmp cannot be written");
      break;
    }
  }
  setFillBands(0);
  DeleteDC(dc);
}
BENCHMARK(BM_RenderOnly)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The band polygons as GeoJSON: a trace, the merge of about 90,000 band
// pieces, and the file.
void BM_SaveBands(benchmark::State& state) {
  if (!read_large(state)) return;
  char err[ISOVAR_ERRMSG_SIZE] = {};
  for (auto _ : state) {
    if (saveBands(err, "large.geojson") != 0) {
      state.SkipWithError(err);
      break;
    }
  }
}
BENCHMARK(BM_SaveBands)->Unit(benchmark::kMillisecond);

// The trace alone, to tell the merge and the file from it.
void BM_TraceOnly(benchmark::State& state) {
  if (!read_large(state)) return;
  for (auto _ : state) {
    if (trace_isolines() != 0) {
      state.SkipWithError("trace failed");
      break;
    }
  }
}
BENCHMARK(BM_TraceOnly)->Unit(benchmark::kMillisecond);

// The files of a plot run alone, replaced as a run replaces them: the run
// log's header line and a display list of the large example's size. Most
// of it is the file system making the new files.
void BM_RunFiles(benchmark::State& state) {
  const std::string list(31061, 'd');
  const std::string header = "(isovarMain)  width=665   height=585\n";
  for (auto _ : state) {
    if (files::replace_file("isovar.log", header.data(), header.size(), files::Target::kFixedName) != 0 ||
        files::replace_file("prtInfo.tmp", list.data(), list.size(), files::Target::kFixedName) != 0) {
      state.SkipWithError("the run's files cannot be written");
      break;
    }
  }
}
BENCHMARK(BM_RunFiles)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  char dir[] = "/tmp/isovar-bench-XXXXXX";
  if (mkdtemp(dir) == nullptr || chdir(dir) != 0) return 1;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const char* f : {"isovar.log", "prtInfo.tmp", "large.bmp", "render.tmp", "large.geojson", "large.svg"}) std::remove(f);
  if (chdir("/") != 0 || rmdir(dir) != 0) return 1;
  return 0;
}

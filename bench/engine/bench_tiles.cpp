// Tiled tracing on a 2000 x 2000 grid (the noisy field of bench_large, 11
// levels, about 3 million isoline points), by thread count (the argument):
// the trace alone, and a whole plot run at 665 x 585 (trace, drawing,
// display list). The model is read once from a file made in a temporary
// folder, in the growing tables. And the trace of a mesh of a million
// elements (1001 x 1001 nodes, quadrilaterals and triangles, the same kind
// of field), tiled by element ranges.
//
//   bench_tiles --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "IsovarLib.h"
#include "model_gen.h"

namespace {

constexpr int kSide = 2000;
constexpr int kWidth = 665;
constexpr int kHeight = 585;

std::string folder;
IsovarModel* model = nullptr;
IsovarModel* mesh = nullptr;

// Nodes on a jittered 1001 x 1001 lattice, a smooth field with noise, cells
// alternately quadrilaterals and pairs of triangles, numbered column by
// column.
bool build_mesh(IsovarModel* into, char* err) {
  constexpr int kNodes = 1001;
  std::mt19937 rng(3);
  std::normal_distribution<double> noise(0.0, 2.0);
  std::uniform_real_distribution<double> jitter(-0.2, 0.2);
  std::vector<double> x, y, values;
  for (int i = 0; i < kNodes; ++i)
    for (int j = 0; j < kNodes; ++j) {
      const double u = (i + jitter(rng)) / (kNodes - 1), v = (j + jitter(rng)) / (kNodes - 1);
      x.push_back(u * 1000);
      y.push_back(v * 1000);
      values.push_back(500 + 250 * std::sin(7 * u) * std::cos(5 * v) + 150 * std::sin(23 * u + 11 * v) + noise(rng));
    }
  std::vector<int32_t> cells;
  for (int i = 0; i + 1 < kNodes; ++i)
    for (int j = 0; j + 1 < kNodes; ++j) {
      const int32_t a = i * kNodes + j, b = a + kNodes, c = b + 1, d = a + 1;
      if ((i + j) % 2 == 0) {
        cells.insert(cells.end(), {a, b, c, d});
      } else {
        cells.insert(cells.end(), {a, b, c, -1, c, d, a, -1});
      }
    }
  std::vector<double> levels;
  for (int k = 0; k < 11; ++k) levels.push_back(200 + 60 * k);
  const IsovarModelInfo info = {11, levels.data(), nullptr, nullptr, 0, nullptr, 1};
  return isovarModelMesh(into, kNodes * kNodes, x.data(), y.data(), values.data(),
                         static_cast<int32_t>(cells.size() / 4), cells.data(), &info, 1, err) == 0;
}

void trace(benchmark::State& state, IsovarModel* traced) {
  IsovarRun* run = isovarRunNew();
  isovarRunSetThreads(run, static_cast<int32_t>(state.range(0)));
  char err[ISOVAR_ERRMSG_SIZE] = {};
  for (auto _ : state) {
    if (isovarRunTrace(run, traced, 0, err) != 0) {
      state.SkipWithError("the trace failed");
      break;
    }
  }
  state.counters["lines"] = isovarRunLineCount(run);
  isovarRunFree(run);
}

void BM_TiledTrace(benchmark::State& state) { trace(state, model); }
BENCHMARK(BM_TiledTrace)->Arg(1)->Arg(2)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TiledMeshTrace(benchmark::State& state) { trace(state, mesh); }
BENCHMARK(BM_TiledMeshTrace)->Arg(1)->Arg(2)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TiledPlotRun(benchmark::State& state) {
  IsovarRun* run = isovarRunNew();
  isovarRunSetThreads(run, static_cast<int32_t>(state.range(0)));
  HDC dc = CreateSurfaceDC(kWidth, kHeight);
  char err[ISOVAR_ERRMSG_SIZE] = {};
  const std::string display_list = folder + "/prtInfo.tmp";
  for (auto _ : state) {
    if (isovarRunDraw(run, model, dc, kWidth, kHeight, display_list.c_str(), err) != 0) {
      state.SkipWithError("the plot run failed");
      break;
    }
  }
  DeleteDC(dc);
  isovarRunFree(run);
}
BENCHMARK(BM_TiledPlotRun)->Arg(1)->Arg(2)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/isovar-tiles-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return 1;
  folder = pattern;
  const std::string path = folder + "/noise.isovar";
  char err[ISOVAR_ERRMSG_SIZE] = {};
  model = isovarModelNew();
  if (!model_gen::write_noisy_field(path, kSide) || isovarModelRead(model, path.c_str(), 1, err) != 0) {
    std::fprintf(stderr, "the model cannot be made: %s\n", err);
    return 1;
  }
  std::remove(path.c_str());
  mesh = isovarModelNew();
  if (!build_mesh(mesh, err)) {
    std::fprintf(stderr, "the mesh cannot be made: %s\n", err);
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  isovarModelFree(model);
  isovarModelFree(mesh);
  std::remove((folder + "/prtInfo.tmp").c_str());
  rmdir(folder.c_str());
  return 0;
}

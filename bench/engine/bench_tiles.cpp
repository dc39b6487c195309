// Tiled tracing on a 2000 x 2000 grid (the noisy field of bench_large, 11
// levels, about 3 million isoline points), by thread count (the argument):
// the trace alone, and a whole plot run at 665 x 585 (trace, drawing,
// display list). The model is read once from a file made in a temporary
// folder, in the growing tables.
//
//   bench_tiles --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "IsovarLib.h"
#include "model_gen.h"

namespace {

constexpr int kSide = 2000;
constexpr int kWidth = 665;
constexpr int kHeight = 585;

std::string folder;
IsovarModel* model = nullptr;

void BM_TiledTrace(benchmark::State& state) {
  IsovarRun* run = isovarRunNew();
  isovarRunSetThreads(run, static_cast<int32_t>(state.range(0)));
  char err[ISOVAR_ERRMSG_SIZE] = {};
  for (auto _ : state) {
    if (isovarRunTrace(run, model, 0, err) != 0) {
      state.SkipWithError("the trace failed");
      break;
    }
  }
  state.counters["lines"] = isovarRunLineCount(run);
  isovarRunFree(run);
}
BENCHMARK(BM_TiledTrace)->Arg(1)->Arg(2)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

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
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  isovarModelFree(model);
  std::remove((folder + "/prtInfo.tmp").c_str());
  rmdir(folder.c_str());
  return 0;
}

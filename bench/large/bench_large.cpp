// Large mode on a 2000 x 2000 grid (a few sines and 2 % noise, 11 levels,
// about 3 million isoline points): reading the file, tracing, and a whole
// plot run at 665 x 585 (engine, render, display list). The model is made in
// a temporary folder unless --model names one; the run log and display list
// go there too.
//
//   bench_large [--model=FILE] --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// bench/compare_large.py runs it beside contourpy on the same values.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "IsovarLib.h"
#include "entry/defaults.h"
#include "model_gen.h"

namespace {

constexpr int kSide = 2000;
constexpr int kWidth = 665;
constexpr int kHeight = 585;

std::string folder;
std::string model;
bool made_model = false;

bool read_model(benchmark::State& state) {
  char err[ISOVAR_ERRMSG_SIZE] = {};
  setLargeModels(1);
  if (readData(model.c_str(), err) != 0) {
    state.SkipWithError("the model cannot be read");
    return false;
  }
  return true;
}

void BM_LargeRead(benchmark::State& state) {
  setLargeModels(1);
  char err[ISOVAR_ERRMSG_SIZE] = {};
  for (auto _ : state) {
    if (readData(model.c_str(), err) != 0) {
      state.SkipWithError("the model cannot be read");
      break;
    }
  }
  struct stat st {};
  stat(model.c_str(), &st);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * st.st_size);
}
BENCHMARK(BM_LargeRead)->Unit(benchmark::kMillisecond);

void BM_LargeTrace(benchmark::State& state) {
  if (!read_model(state)) return;
  for (auto _ : state) {
    if (trace_isolines() != 0) {
      state.SkipWithError("the trace failed");
      break;
    }
  }
  state.counters["points"] = engine_tables.point_count - 1;
}
BENCHMARK(BM_LargeTrace)->Unit(benchmark::kMillisecond);

void BM_LargePlotRun(benchmark::State& state) {
  if (!read_model(state)) return;
  HDC dc = CreateSurfaceDC(kWidth, kHeight);
  char err[ISOVAR_ERRMSG_SIZE] = {};
  const std::string display_list = folder + "/prtInfo.tmp";
  for (auto _ : state) {
    if (isovarMain(err, dc, display_list.c_str(), kWidth, kHeight) != 0) {
      state.SkipWithError("the plot run failed");
      break;
    }
  }
  DeleteDC(dc);
}
BENCHMARK(BM_LargePlotRun)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/isovar-large-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return 1;
  folder = pattern;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--model=", 8) == 0) model = argv[i] + 8;
  }
  if (model.empty()) {
    model = folder + "/noise.isovar";
    made_model = true;
    if (!model_gen::write_noisy_field(model, kSide)) return 1;
  }
  // The run log is written in the current folder.
  if (chdir(folder.c_str()) != 0) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (made_model) std::remove(model.c_str());
  std::remove((folder + "/prtInfo.tmp").c_str());
  std::remove((folder + "/isovar.log").c_str());
  rmdir(folder.c_str());
  return 0;
}

// Models and runs as objects, in large mode:
//   BM_GridFromArrays/N   a smooth noisy N x N field built from arrays;
//   BM_GridFromFile/N     the same numbers read from their model file;
//   BM_TraceTwo/1000/T    two 1000 x 1000 fields traced, 11 levels each,
//                         one after the other (T = 1) or each on its own
//                         thread (T = 2); wall time.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "IsovarLib.h"

namespace {

struct Field {
  std::vector<double> x, y, values, levels;
};

// Sines at a few scales with 2 % noise over [0, 10] x [0, 10], numbers of
// nine significant digits (as a file holds them), 11 levels over the range.
Field make_field(int n, unsigned seed) {
  Field f;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> noise(-0.02, 0.02);
  auto nine = [](double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", v);
    return std::strtod(text, nullptr);
  };
  for (int i = 0; i < n; ++i) f.x.push_back(nine(10.0 * i / (n - 1)));
  f.y = f.x;
  f.values.resize(static_cast<size_t>(n) * n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const double u = f.x[i], v = f.y[j];
      f.values[static_cast<size_t>(j) * n + i] =
          nine(std::sin(u) * std::cos(0.7 * v) + 0.3 * std::sin(3.1 * u + 2.3 * v) + noise(rng));
    }
  for (int k = 0; k < 11; ++k) f.levels.push_back(-1.2 + 0.24 * k);
  return f;
}

std::string write_file(const Field& f, const std::string& path) {
  std::FILE* out = std::fopen(path.c_str(), "w");
  std::fprintf(out, "*model differencial\n*x\n");
  for (double v : f.x) std::fprintf(out, "%.9g\n", v);
  std::fprintf(out, "*end\n*y\n");
  for (double v : f.y) std::fprintf(out, "%.9g\n", v);
  std::fprintf(out, "*end\n*value\n");
  const size_t n = f.x.size();
  for (size_t j = 0; j < f.y.size(); ++j)
    for (size_t i = 0; i < n; ++i) std::fprintf(out, "%zu %zu %.9g\n", i + 1, j + 1, f.values[j * n + i]);
  std::fprintf(out, "*end\n*isovar\n");
  for (double v : f.levels) std::fprintf(out, "%.9g\n", v);
  std::fprintf(out, "*end\n");
  std::fclose(out);
  return path;
}

IsovarModelInfo info_of(const Field& f) {
  return IsovarModelInfo{static_cast<int32_t>(f.levels.size()), f.levels.data(), nullptr, nullptr, 0, nullptr, 1};
}

bool build(IsovarModel* model, const Field& f) {
  char err[ISOVAR_ERRMSG_SIZE];
  const IsovarModelInfo info = info_of(f);
  const int32_t n = static_cast<int32_t>(f.x.size());
  return isovarModelGrid(model, n, n, f.x.data(), f.y.data(), f.values.data(), &info, 1, err) == 0;
}

void BM_GridFromArrays(benchmark::State& state) {
  const Field f = make_field(static_cast<int>(state.range(0)), 1);
  IsovarModel* model = isovarModelNew();
  for (auto _ : state) {
    if (!build(model, f)) state.SkipWithError("build failed");
  }
  isovarModelFree(model);
}
BENCHMARK(BM_GridFromArrays)->Arg(2000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

void BM_GridFromFile(benchmark::State& state) {
  const Field f = make_field(static_cast<int>(state.range(0)), 1);
  char dir[] = "/tmp/isovar-bench-XXXXXX";
  if (mkdtemp(dir) == nullptr) {
    state.SkipWithError("no folder");
    return;
  }
  const std::string path = write_file(f, std::string(dir) + "/field.isovar");
  IsovarModel* model = isovarModelNew();
  char err[ISOVAR_ERRMSG_SIZE];
  for (auto _ : state) {
    if (isovarModelRead(model, path.c_str(), 1, err) != 0) state.SkipWithError(err);
  }
  isovarModelFree(model);
  std::remove(path.c_str());
  rmdir(dir);
}
BENCHMARK(BM_GridFromFile)->Arg(2000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

void BM_TraceTwo(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const bool threaded = state.range(1) == 2;
  IsovarModel* models[2] = {isovarModelNew(), isovarModelNew()};
  IsovarRun* runs[2] = {isovarRunNew(), isovarRunNew()};
  for (int k = 0; k < 2; ++k) {
    if (!build(models[k], make_field(n, 1 + k))) state.SkipWithError("build failed");
  }
  auto trace = [&](int k) {
    char err[ISOVAR_ERRMSG_SIZE];
    isovarRunTrace(runs[k], models[k], 0, err);
  };
  for (auto _ : state) {
    if (threaded) {
      std::thread other(trace, 1);
      trace(0);
      other.join();
    } else {
      trace(0);
      trace(1);
    }
  }
  state.counters["lines"] = isovarRunLineCount(runs[0]) + isovarRunLineCount(runs[1]);
  for (int k = 0; k < 2; ++k) {
    isovarRunFree(runs[k]);
    isovarModelFree(models[k]);
  }
}
BENCHMARK(BM_TraceTwo)->Args({1000, 1})->Args({1000, 2})->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

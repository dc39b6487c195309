// Reading input files at the tables' capacity: a 499 x 500 grid with a value
// at every point (249,500 value records), and a finite-element model with
// 99,999 nodes and values. The files are written to a temporary folder first.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "IsovarLib.h"

namespace {

std::string temp_folder() {
  static std::string folder;
  if (folder.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/isovar-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    folder = pattern;
  }
  return folder;
}

std::string write_full_grid() {
  const std::string path = temp_folder() + "/grid.iso";
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) std::abort();
  std::fprintf(f, "*model differencial\n*title\nfull grid\n*end\n*x\n");
  for (int i = 1; i <= 499; ++i) std::fprintf(f, "%.4f\n", i + 0.3 * std::sin(i));
  std::fprintf(f, "*end\n*y\n");
  for (int j = 1; j <= 500; ++j) std::fprintf(f, "%.4f\n", j + 0.3 * std::sin(1.7 * j));
  std::fprintf(f, "*end\n*value\n");
  for (int i = 1; i <= 499; ++i)
    for (int j = 1; j <= 500; ++j) std::fprintf(f, "%d %d %.5f\n", i, j, std::sin(i * 0.05) * std::cos(j * 0.04) * 100);
  std::fprintf(f, "*end\n*isovar\n");
  for (int k = -4; k <= 4; ++k) std::fprintf(f, "%d\n", k * 20);
  std::fprintf(f, "*end\n");
  std::fclose(f);
  return path;
}

std::string write_full_fem() {
  const std::string path = temp_folder() + "/fem.iso";
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) std::abort();
  const int side = 316;  // 316 x 316 nodes: 99,856
  std::fprintf(f, "*model fem\n*node\n");
  for (int n = 0; n < side * side; ++n) std::fprintf(f, "%d %.3f %.3f\n", n, (n % side) * 1.5, (n / side) * 1.5);
  std::fprintf(f, "*end\n*element\n");
  for (int e = 0; e < (side - 1) * (side - 1); ++e) {
    int n = e / (side - 1) * side + e % (side - 1);
    std::fprintf(f, "%d %d %d %d %d\n", e, n, n + 1, n + side + 1, n + side);
  }
  std::fprintf(f, "*end\n*node_data\n");
  for (int n = 0; n < side * side; ++n) std::fprintf(f, "%d %.4e\n", n, std::sin(n * 0.001) * 3e4);
  std::fprintf(f, "*end\n*isovar\n-1e4\n0\n1e4\n*end\n");
  std::fclose(f);
  return path;
}

void read_file(benchmark::State& state, const std::string& path) {
  char err[ISOVAR_ERRMSG_SIZE];
  for (auto _ : state) {
    if (readData(path.c_str(), err) != 0) {
      state.SkipWithError(err);
      break;
    }
  }
  struct stat st;
  if (stat(path.c_str(), &st) == 0) state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * st.st_size);
}

void BM_ReadFullGrid(benchmark::State& state) {
  static const std::string path = write_full_grid();
  read_file(state, path);
}
BENCHMARK(BM_ReadFullGrid)->Unit(benchmark::kMillisecond);

void BM_ReadFullFem(benchmark::State& state) {
  static const std::string path = write_full_fem();
  read_file(state, path);
}
BENCHMARK(BM_ReadFullFem)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const std::string folder = temp_folder();
  std::remove((folder + "/grid.iso").c_str());
  std::remove((folder + "/fem.iso").c_str());
  rmdir(folder.c_str());
  return 0;
}

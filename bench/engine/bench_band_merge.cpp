// The band merge on the noisy fields of isovar-gen (a smooth field with 2 %
// noise on an N x N grid, 11 levels: many small islands and holes in every
// band), traced once per N in large mode with the band table. The merge is
// timed alone, against the literal merge of the tests (holes x shells) where
// that one finishes in reasonable time.
//
//   bench_band_merge --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
//
// Counters: pieces merged and rings made (outer rings and holes). For a
// merge of n log n the time of N = 2000 is little more than 4 times that of
// N = 1000.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "engine/band_merge.h"
#include "entry/defaults.h"
#include "entry/runs.h"
#include "IsovarLib.h"
#include "literal_band_merge.h"
#include "model_gen.h"

namespace {

int traced_n = 0;

// Traces the noisy field of size n into the default run, once per n.
bool trace_noise(int n, benchmark::State& state) {
  if (traced_n == n) return true;
  const char* tmp = std::getenv("TMPDIR");
  const std::string path = std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/bench_band_merge_" +
                           std::to_string(getpid()) + ".txt";
  char err[1024] = "";
  setLargeModels(1);
  const bool written = model_gen::write_noisy_field(path, n);
  const bool read = written && readData(path.c_str(), err) == 0;
  std::remove(path.c_str());
  if (!read || run_trace(default_run, model_store, true, err) != 0) {
    state.SkipWithError(written ? err : "cannot write the model");
    return false;
  }
  traced_n = n;
  return true;
}

void count_rings(benchmark::State& state, const BandMerge& m) {
  double rings = 0;
  for (const MergedBand& b : m.bands)
    for (const MergedPolygon& p : b.polygons) rings += 1 + static_cast<double>(p.holes.size());
  state.counters["pieces"] = engine_tables.fill_poly_count;
  state.counters["rings"] = rings;
}

template <BandMerge (*merge)(const FillPoly*, int32_t, int32_t)>
void BM_Merge(benchmark::State& state) {
  if (!trace_noise(static_cast<int>(state.range(0)), state)) return;
  const int32_t bands = model_store.level_count + 1;
  BandMerge m;
  for (auto _ : state) {
    m = merge(engine_tables.fill_poly.data, engine_tables.fill_poly_count, bands);
    benchmark::DoNotOptimize(m.bands.data());
  }
  count_rings(state, m);
}

}  // namespace

BENCHMARK_TEMPLATE(BM_Merge, merge_band_pieces)
    ->Name("BM_BandMerge")
    ->Arg(250)->Arg(500)->Arg(1000)->Arg(2000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_TEMPLATE(BM_Merge, literal_merge_band_pieces)
    ->Name("BM_LiteralBandMerge")
    ->Arg(250)->Arg(500)->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

BENCHMARK_MAIN();

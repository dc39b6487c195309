// The engine run on two generated grid models, written straight into the
// model store:
//   W1: 200 x 200 points, irregular spacing (x_i = i + 0.3 sin i,
//       y_j = j + 0.3 sin 1.7j), eight peaks and eight valleys, 10 levels;
//       many rings, opened in pieces and joined.
//   W2: 499 x 50 points, a field rising across the rows with a gentle wiggle,
//       49 levels: every level one open isoline of about 1000 points, about
//       49,000 points in all, where newest-first scans cost the most.
// The literal scans of the engine tests run on the same models.
//
//   bench_engine --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "entry/defaults.h"
#include "literal_engine.h"

namespace {

void clear_store() {
  clear_model_store();
  model_store.display_mode = 1;
  model_store.model_kind = kGridModel;
}

void load_w1() {
  clear_store();
  ModelStore& m = model_store;
  m.grid_nx = m.grid_ny = 200;
  for (int i = 1; i <= 200; ++i) m.grid_x[i] = static_cast<float>(i + 0.3 * std::sin(i));
  for (int j = 1; j <= 200; ++j) m.grid_y[j] = static_cast<float>(j + 0.3 * std::sin(1.7 * j));
  // Peaks and valleys on a jittered 4 x 4 chequerboard.
  struct Hill {
    double x, y, h, w;
  } hills[16];
  for (int k = 0; k < 16; ++k) {
    const int row = k / 4, col = k % 4;
    const double sign = (row + col) % 2 == 0 ? 1 : -1;
    hills[k] = {25 + col * 50 + 8 * std::sin(2.3 * k + 0.4), 25 + row * 50 + 8 * std::cos(1.1 * k + 0.3),
                sign * (80 + 20 * std::sin(0.7 * k)), 11 + 2 * std::cos(1.9 * k)};
  }
  for (int i = 1; i <= 200; ++i) {
    for (int j = 1; j <= 200; ++j) {
      double v = 0;
      for (const Hill& h : hills) {
        const double dx = m.grid_x[i] - h.x, dy = m.grid_y[j] - h.y;
        v += h.h * std::exp(-(dx * dx + dy * dy) / (2 * h.w * h.w));
      }
      m.grid_value[i][j] = static_cast<float>(v);
      m.grid_defined[i][j] = 1;
    }
  }
  const float levels[10] = {-75, -60, -45, -30, -15, 15, 30, 45, 60, 75};
  m.level_count = 10;
  for (int k = 0; k < 10; ++k) m.levels[k] = levels[k];
}

void load_w2() {
  clear_store();
  ModelStore& m = model_store;
  m.grid_nx = 499;
  m.grid_ny = 50;
  for (int i = 1; i <= 499; ++i) m.grid_x[i] = static_cast<float>(i);
  for (int j = 1; j <= 50; ++j) m.grid_y[j] = static_cast<float>(j);
  for (int i = 1; i <= 499; ++i) {
    for (int j = 1; j <= 50; ++j) {
      m.grid_value[i][j] = static_cast<float>(j + 0.3 * std::sin(0.05 * i + 0.2 * j));
      m.grid_defined[i][j] = 1;
    }
  }
  m.level_count = 49;
  for (int k = 0; k < 49; ++k) m.levels[k] = static_cast<float>(k + 1.5);
}

void report(benchmark::State& state, int points, int rows, int pieces) {
  state.counters["points"] = points;
  state.counters["rows_opened"] = rows;
  state.counters["band_pieces"] = pieces;
}

void engine_run(benchmark::State& state, void (*load)()) {
  load();
  for (auto _ : state) {
    if (trace_isolines() != 0) state.SkipWithError("trace_isolines failed");
    benchmark::DoNotOptimize(engine_tables.point_count);
  }
  report(state, engine_tables.point_count - 1, engine_tables.pline_total, engine_tables.fill_poly_count);
}

void literal_run(benchmark::State& state, void (*load)()) {
  load();
  for (auto _ : state) {
    if (literal::trace_isolines() != 0) state.SkipWithError("literal run failed");
    benchmark::DoNotOptimize(literal::tables.point_count);
  }
  const literal::Tables& t = literal::tables;
  report(state, t.point_count - 1, t.pline_total, t.fill_poly_count);
}

void BM_TraceIsolines_W1(benchmark::State& state) { engine_run(state, load_w1); }
void BM_TraceIsolines_W2(benchmark::State& state) { engine_run(state, load_w2); }
void BM_LiteralScans_W1(benchmark::State& state) { literal_run(state, load_w1); }
void BM_LiteralScans_W2(benchmark::State& state) { literal_run(state, load_w2); }

// The minimum beside the median: on a shared machine it shows what a quiet
// one would.
double minimum(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

BENCHMARK(BM_TraceIsolines_W1)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", minimum);
BENCHMARK(BM_TraceIsolines_W2)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", minimum);
BENCHMARK(BM_LiteralScans_W1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LiteralScans_W2)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();

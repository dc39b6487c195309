// The isoline engine: traces the model store into the engine output tables.
// Owns: engine_tables (points, polylines, band pieces). Reads: model_store.
// Writes its failure texts into run_context.message_buffer.
#pragma once

#include <cstdint>

constexpr int kPointSlots = 100000;   // slot 0 unused: at most 99999 points
constexpr int kMaxPlines = 1500;
constexpr int kMaxPlinePoints = 1500;
constexpr int kFillPolySlots = 100000;  // at most 99999 band pieces

struct IsoPoint {
  float x;
  float y;
  int32_t level;
};

struct FillPoly {
  int32_t band;
  int32_t nvert;  // 3 to 5
  float x[5];
  float y[5];
};

struct EngineTables {
  IsoPoint iso_points[kPointSlots];
  int32_t point_count;  // the next free slot, 1 after a reset

  // Row n holds pline_count[n] points. Its point i is pline_point(n, i): the
  // row is stored as a ring from pline_first[n], so a point can be put before
  // the head without moving the others.
  int32_t pline_points[kMaxPlines][kMaxPlinePoints];
  int32_t pline_first[kMaxPlines];
  int32_t pline_count[kMaxPlines];   // 0: emptied by a join
  int32_t pline_level[kMaxPlines];
  int32_t pline_closed[kMaxPlines];
  int32_t pline_total;

  FillPoly fill_poly[kFillPolySlots];
  int32_t fill_poly_count;
};

extern EngineTables engine_tables;

// Point i (0-based, drawing order) of polyline row n.
inline int32_t pline_point(int n, int i) {
  int slot = engine_tables.pline_first[n] + i;
  if (slot >= kMaxPlinePoints) slot -= kMaxPlinePoints;
  return engine_tables.pline_points[n][slot];
}

// Empties the output tables and traces the current model: 0, or -1 with the
// message in run_context.message_buffer.
int trace_isolines();

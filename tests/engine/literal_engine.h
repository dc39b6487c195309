// A straightforward engine kept as the yardstick for the real one: the same
// tracing, but every lookup is a linear scan from the newest entry backwards,
// rows are plain arrays (a point put before the head moves all the others),
// the recorded segments are a plain list of point pairs, rows emptied by
// joins are squeezed out by copying, and the vertex sort starts from 1e30.
// It reads model_store and writes only its own tables, so both engines can
// run on one model and be compared.
#pragma once

#include <cstdint>
#include <vector>

#include "default_objects.h"

namespace literal {

struct Tables {
  IsoPoint iso_points[kPointSlots];
  int32_t point_count;
  int32_t pline_points[kMaxPlines][kMaxPlinePoints];
  int32_t pline_count[kMaxPlines];
  int32_t pline_level[kMaxPlines];
  int32_t pline_closed[kMaxPlines];
  int32_t pline_total;
  FillPoly fill_poly[kFillPolySlots];
  int32_t fill_poly_count;
  int32_t link_a[kLinkSlots];  // the recorded segments, as point pairs
  int32_t link_b[kLinkSlots];
  int32_t link_count;
  char message_buffer[kMessageBufferSize];
};

extern Tables tables;

// Every segment the tracing handed over in the last run, as handed over.
struct TracedSegment {
  float x1, y1, x2, y2;
  int k;
};
extern std::vector<TracedSegment> traced;

// The whole run over model_store: 0, or -1 with the message in
// tables.message_buffer. Leaves message_buffer as it was at the start apart
// from what the run writes.
int trace_isolines();

// The pieces, for calling them directly.
void reset();
int make_poly(float x1, float y1, float x2, float y2, int k);
int add_fill_poly(int band, int nvert, const float x[5], const float y[5]);

}  // namespace literal

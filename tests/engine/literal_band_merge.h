// The band merge as first written (holes x shells), the reference of the
// merge's tests and benchmark.
#pragma once

#include "engine/band_merge.h"

BandMerge literal_merge_band_pieces(const FillPoly* pieces, int32_t count, int32_t band_count);

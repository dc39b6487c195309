// Numbers in the GeoJSON files (saveIsolines, saveBands).
#pragma once

#include "atomic_file.h"

// A single-precision value as the shortest text that reads back as the same
// value (-0.005f is written -0.005, not -0.00499999989), through to_chars, so
// a caller's C locale with a decimal comma cannot change it. JSON has no NaN
// or infinity: those are written null.
void put_json_float(files::AtomicFile& out, float v);

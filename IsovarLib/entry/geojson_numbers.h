// Numbers in the GeoJSON files (saveIsolines, saveBands).
#pragma once

#include "atomic_file.h"

// A single-precision value as the shortest text that reads back as the same
// value (-0.005f is written -0.005, not -0.00499999989), through to_chars, so
// a caller's C locale with a decimal comma cannot change it. JSON has no NaN
// or infinity: those are written null.
void put_json_float(files::AtomicFile& out, float v);

// A double-precision value as the shortest text that reads back as the same
// value; not finite: null.
void put_json_double(files::AtomicFile& out, double v);

// A coordinate stored as an offset from its axis' origin: with origin 0 the
// offset is the coordinate, written as put_json_float writes it; otherwise
// origin + offset in double precision, written as put_json_double writes it.
inline void put_json_coordinate(files::AtomicFile& out, float offset, double origin) {
  if (origin == 0.0) {
    put_json_float(out, offset);
  } else {
    put_json_double(out, origin + static_cast<double>(offset));
  }
}

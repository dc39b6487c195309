// Model files made up for benchmarks, tests and trying the large mode: the
// same fields every time for the same arguments.
#pragma once

#include <string>

namespace model_gen {

// A smooth field of a few sines with 2 % noise on an n x n grid over
// [0, 10] x [0, 10], values in single precision, and 11 levels spread over
// its range. The benchmark's large model.
// With raw_path, the same values also as n * n float32 (column i's values
// one after another, little-endian), for tools that read arrays.
bool write_noisy_field(const std::string& path, int n, unsigned seed = 1, const std::string& raw_path = "");

// A terrain in whole metres on an nx x ny grid with 30 m spacing: hills and
// valleys at several scales (fractal noise) between about 150 and 1100 m,
// with isoline levels every `step` metres. What an elevation model looks
// like, with levels that meet grid values exactly.
bool write_terrain(const std::string& path, int nx, int ny, int step = 40, unsigned seed = 7);

}  // namespace model_gen

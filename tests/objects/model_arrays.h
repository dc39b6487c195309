// Random models as arrays, and the same numbers as an input file.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "IsovarLib.h"

struct ModelArrays {
  bool mesh = false;
  std::vector<double> x, y, values;  // grid: x[nx], y[ny], values[ny * nx]; mesh: per node
  std::vector<int32_t> cells;        // mesh: 4 per cell, -1 last for a triangle
  std::vector<double> levels;
  std::vector<int32_t> bold, labelled;
  std::vector<std::string> titles;
  int32_t display_mode = 1;

  // The model as an input file, every number written so it reads back the
  // same (random_arrays makes numbers of nine significant digits).
  std::string file() const;
  // Builds it into model: 0 or -1 with the message in err.
  int32_t build(IsovarModel* model, int32_t large, char* err) const;
};

// A grid of small integers or smooth values with holes (levels at vertex
// values for the integers), or a mesh of triangles and quadrilaterals with
// nodes without values.
ModelArrays random_arrays(std::mt19937& rng, int m);

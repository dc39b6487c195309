// What a model asks of isovar-plot's default tables: its grid, its node and
// element numbers, and the band pieces a plot of it makes. A model that
// passes one of them is plotted in large mode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "levels.h"
#include "model.h"

namespace convert {

// The band-piece table holds this many pieces.
constexpr uint64_t kMaxTableBandPieces = 99999;

// Counts the band pieces of a plot: a plot cuts every grid cell and every
// element whose corners all have values into triangles (a cell along its
// diagonal from (i+1, j) to (i, j+1), a quadrangle along N0-N2) and makes
// one piece per triangle and one more per level that crosses it (a level
// above its lowest value and at or below its highest). The triangles'
// lowest and highest values are kept while they could still fit the table.
class BandPieces {
 public:
  // A triangle with values a, b and c at its corners.
  void triangle(float a, float b, float c);
  // The cells between two neighbouring grid rows, n values each (lower at
  // the smaller y), NaN where a point has no value.
  void cells(const float* lower, const float* upper, size_t n);
  // Every element of a mesh whose nodes all have values.
  void mesh(const Mesh& mesh);

  uint64_t triangles() const { return triangles_; }
  // Whether count() is the exact count; otherwise it is the triangles, which
  // are already more than the table holds.
  bool exact() const { return triangles_ <= kMaxTableBandPieces; }
  // The band pieces of a plot with these levels (ascending).
  uint64_t count(const std::vector<Level>& levels) const;

 private:
  uint64_t triangles_ = 0;
  std::vector<float> lowest_;
  std::vector<float> highest_;
};

// What a model asks of the tables.
struct TableNeeds {
  bool is_grid = true;
  size_t nx = 0, ny = 0;         // a grid's points
  int64_t highest_number = 0;    // a mesh's highest node or element number
  uint64_t band_pieces = 0;
  bool band_pieces_exact = true; // else at least that many
  std::string traced;            // what traced_limit() found, "" for nothing
};

// "" when the model fits the default tables; else what passes them, as
// "grid of 1100 x 3 points, past 499 x 500; 4,396 band pieces, past 99,999".
std::string passed_tables(const TableNeeds& needs);

// Whether the model fits the tables a model is read into (its grid, or its
// node and element numbers), which a trace needs.
bool fits_model_tables(const TableNeeds& needs);

// The other tables a plot fills depend on how the isolines join: a trace of
// the model in the default tables, as a plot makes it, finds what passes
// them. "" when nothing does, else what passed, as "more than 1,500
// polylines". For models that fit_model_tables(): the trace stops at the
// first limit, so it costs what the default tables hold.
std::string traced_limit(const Grid& grid, const std::vector<Level>& levels);
std::string traced_limit(const Mesh& mesh, const std::vector<Level>& levels);

// 1234567 as "1,234,567".
std::string grouped(uint64_t n);

}  // namespace convert

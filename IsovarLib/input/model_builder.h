// Models built from arrays instead of a file: a grid (coordinates along x
// and y, values row by row) or a finite-element mesh (nodes, 3- and 4-node
// cells, values per node), with their levels, titles and display mode. Each
// number is checked as the reader checks its text and stored as the reader
// stores it; the messages are the reader's, a "line" in them being the
// element's 1-based position in its array. As with a read, the model stays
// as it was unless the whole build succeeds.
#pragma once

#include <cstdint>

#include "input/model_store.h"

struct ModelExtras {
  int32_t level_count;
  const double* levels;     // ascending
  const int32_t* bold;      // per level, non-zero for bold; null: none bold
  const int32_t* labelled;  // per level, zero for no label; null: all labelled
  int32_t title_count;
  const char* const* titles;  // code page 932
  int32_t display_mode;       // 2 for full, anything else normal
};

// values[j * nx + i] is the value at (x[i], y[j]); NaN: no value there.
// origin: the x and y the coordinates are stored as offsets from, or null
// for the origin each axis chooses (choose_axis_origin).
int32_t build_grid(Model& model, int32_t nx, int32_t ny, const double* x, const double* y, const double* values,
                   const ModelExtras& extras, bool large, char* errMsg, int32_t* limit_reached,
                   const double* origin = nullptr);

// As build_grid, the values given by fill instead of an array: fill(user,
// put, context) calls put(context, j, row) for each row j (0 to ny - 1, in
// any order, row[i] at x[i], NaN: none) and returns 0, or non-zero to fail
// the build (put's -1 after a value it refuses, errMsg set, or a failure of
// its own, errMsg left empty). Rows never put have no values.
using GridRowPut = int32_t (*)(void* context, int32_t j, const double* row);
using GridRowsFill = int32_t (*)(void* user, GridRowPut put, void* context);
int32_t build_grid_rows(Model& model, int32_t nx, int32_t ny, const double* x, const double* y, GridRowsFill fill,
                        void* user, const ModelExtras& extras, bool large, char* errMsg, int32_t* limit_reached);

// The origin an axis of n coordinates chooses: its first coordinate when
// that halves the largest magnitude to store or better, else 0.
double choose_axis_origin(int64_t n, const double* v);

// Node n (0-based) at (x[n], y[n]) with values[n] (NaN: none); cell c has
// the nodes cells[4c .. 4c + 3], the last -1 for a triangle. Nodes and cells
// are numbered by their positions.
int32_t build_mesh(Model& model, int32_t node_count, const double* x, const double* y, const double* values,
                   int32_t cell_count, const int32_t* cells, const ModelExtras& extras, bool large, char* errMsg,
                   int32_t* limit_reached);

// Replaces the levels, flags, titles and display mode of the current model,
// checked as a build checks them; on failure they stay as they were.
int32_t set_model_extras(Model& model, const ModelExtras& extras, char* errMsg);

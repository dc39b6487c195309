// Tiled tracing of large grids, and the canonical order of its output.
//
// A large grid past the default tables is cut into tiles of whole cell
// columns, each traced with its own tables on a thread of its own; the
// pieces are joined where they meet at tile borders. The output does not
// depend on the tiling, so it is put in one canonical form, the same for
// every thread count and tile width (one tile included):
//   - a polyline is a maximal path of segments through points where exactly
//     two segments meet; points where one or three or more segments meet
//     (levels at grid values) end polylines, and a path through such points
//     only is a ring;
//   - polylines come in the order of their first segment in the walk (cell
//     columns left to right, cells bottom to top, the levels of each cell's
//     triangles in turn);
//   - an open polyline starts at the end with the smaller x (then y); a
//     ring starts at its point of least x (then y), or at the point that
//     ends it where one does, and goes first towards the smaller of its
//     two neighbours there;
//   - the band pieces are those of the one-piece walk, in its order.
// Borders go where no grid value of the border column equals a level, so
// every crossing of a border is the end of exactly one piece on either
// side; where no such column is near, tiles merge.
#pragma once

#include "engine/engine.h"

// Whether trace_isolines takes the tiled path for this model and mode.
bool traced_in_tiles(const EngineTables& t, const ModelStore& model, bool large);

// Traces t.model (set up by trace_isolines) in tiles: 0 or -1 with the
// message.
int trace_grid_tiled(EngineTables& t);

// Whether ring is the storage of a row written by a tiled trace (part of
// one block the tiles' tables own, never given back on its own).
bool in_tile_rows(const EngineTables& t, const int32_t* ring);

// Frees the tiles' tables of t.
void release_tile_tables(EngineTables& t);

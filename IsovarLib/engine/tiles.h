// Tiled tracing of large grids, and the canonical order of its output.
//
// A large grid past the default tables is cut into tiles of whole cell
// columns, a large mesh into runs of its element order; each tile is traced
// with its own tables on a thread of its own, and the pieces are joined
// where they meet at tile borders. The output does not
// depend on the tiling, so it is put in one canonical form, the same for
// every thread count and tile width (one tile included):
//   - a polyline is a maximal path of segments through points where exactly
//     two segments meet; points where one or three or more segments meet
//     (levels at grid values) end polylines, and a path through such points
//     only is a ring;
//   - polylines come in the order in which the one-piece walk (cell columns
//     left to right, cells bottom to top, each cell's two triangles and
//     their levels in turn; a mesh's elements in ascending number) meets
//     the last of their points, points numbered as the walk first meets
//     them: the order in which it finishes them, so a line can be handed
//     on as soon as the tiles up to its last point are joined. Lines whose
//     last point is one where they end, in the order of their first
//     segment there;
//   - an open polyline starts at the end the walk meets first; a ring at
//     its point the walk meets first, or at the point where other segments
//     end it where there is one, and goes first towards the neighbour the
//     walk meets first;
//   - the band pieces are those of the one-piece walk, in its order.
// Borders go where no grid value of the border column equals a level, so
// every crossing of a border is the end of exactly one piece on either
// side; where no such column is near, tiles merge. A mesh's tiles share
// the points of equal position and level wherever they lie; where such a
// point is not the end of exactly one piece in each of two tiles (a level
// at a node's value, say), the tiles from the first to the last holding it
// merge.
#pragma once

#include "engine/engine.h"

// The threads a run of t works on: its thread count, or one per core.
int thread_count(const EngineTables& t);

// Whether trace_isolines takes the tiled path for this model and mode.
bool traced_in_tiles(const EngineTables& t, const ModelStore& model, bool large);

// Traces t.model (set up by trace_isolines) in tiles: 0 or -1 with the
// message.
int trace_grid_tiled(EngineTables& t);

// Whether ring is the storage of a row written by a tiled trace (part of
// one block the tiles' tables own, never given back on its own).
bool in_tile_rows(const EngineTables& t, const int32_t* ring);

// Receives the lines of a streamed trace, each as soon as it is whole, in
// the order above.
struct LineSink {
  // A line's points, the last repeating the first when closed: 0 to go on,
  // anything else stops the trace, which then returns it.
  virtual int line(int32_t level, bool closed, const IsoPoint* points, int64_t count) = 0;

 protected:
  ~LineSink() = default;
};

// Traces model (large, in tiles, without band pieces) and hands each line
// to sink in the order a tiled trace gives them, as the tiles up to its
// last point are joined: only the tiles in flight and the open lines' points
// are held, never the whole output; the run's tables are left empty. 0, -1
// with the message, or the sink's answer.
int trace_grid_streamed(EngineTables& t, const ModelStore& model, char* message, LineSink& sink);

// The most points the last streamed trace of t held at once (tiles in
// flight and open lines).
int64_t streamed_points(const EngineTables& t);

// Frees the tiles' tables of t.
void release_tile_tables(EngineTables& t);

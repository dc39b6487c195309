// The engine's insides: how a trace fills its EngineTables. Three layers,
// each usable on its own, all working on the tables they are given:
//   tracing  (tracing.cpp, elements.cpp): cells and elements -> triangles ->
//            one segment per crossing level and one band piece per band;
//   joining  (joining.cpp): segments -> polylines, joined and closed;
//   storing  (storing.cpp): the point table with its hash index, the
//            polyline-end lists and the band-piece table.
// The model read is t.model; failure texts go to t.message.
#pragma once

#include <cstdint>

#include "engine/engine.h"

// ---- Tracing -------------------------------------------------------------

// One corner of a triangle: a grid point or a node.
struct Vertex {
  float x;
  float y;
  float v;
};

struct EdgePoint {
  float x;
  float y;
};

// Walks the grid cells, two triangles per cell: 0 or -1.
int trace_grid(EngineTables& t);

// The number of cell columns of the grid model m (its columns 1 .. nx - 1),
// with *ny its rows of points.
int grid_cell_columns(const ModelStore& m, int* ny);

// Where the points of a walk's first and last cell column lie in the point
// table: [1, first_column_end) and [last_column_begin, point_count).
struct ColumnMarks {
  int32_t first_column_end;
  int32_t last_column_begin;
};

// trace_grid over the cell columns begin .. end - 1 only (1-based, as the
// walk numbers them), onto tables that are not reset.
int trace_grid_columns(EngineTables& t, int begin, int end, ColumnMarks* marks);

// Cuts the triangle into one segment per crossing level (make_poly) and one
// band piece per band (add_fill_poly): 0 or -1. The argument order matters
// only for ties in the value sort.
int trace_triangle(EngineTables& t, const Vertex& v0, const Vertex& v1, const Vertex& v2);

// The levels counted as crossing [a, b] are those with a < level <= b. Returns
// false ("none") when there are no levels, a is above the highest level or b
// below the lowest; otherwise *klo..*khi, which may be empty (*klo > *khi).
bool level_range(EngineTables& t, float a, float b, int* klo, int* khi);

// The point on edge p-q where value z is reached; p is the lower-valued end.
EdgePoint edge_point(float z, const Vertex& p, const Vertex& q);

// The band of a triangle that no level crosses: the number of levels at or
// below its lowest value.
int uncrossed_band(EngineTables& t, float v_low);

// Walks the 100000 element slots, one or two triangles per element: 0 or -1.
int trace_elements(EngineTables& t);

// Large mode: the elements at positions begin .. end - 1 of the ascending
// element order only, onto tables that are not reset.
int trace_element_range(EngineTables& t, int32_t begin, int32_t end);

// 0 when the 4-node element e is of possible shape, else -1 with its message
// (naming the node numbers); the corners are read at the nodes' slots.
int check_element_shape(EngineTables& t, int e, const int32_t nodes[4], const int32_t slots[4]);
// The same where slots are node numbers (the default mode).
int check_element_shape(EngineTables& t, int e, const int32_t nodes[4]);

// ---- Joining -------------------------------------------------------------

enum PlineEnd { kPlineHead = 0, kPlineTail = 1 };

// Records the segment (x1, y1)-(x2, y2) on level k: 0 or -1.
int make_poly(EngineTables& t, float x1, float y1, float x2, float y2, int k);

// The newest non-empty row having point p as its head or tail, head first:
// the row, with *end set; -1 when there is none.
int find_pline_end(EngineTables& t, int32_t p, PlineEnd* end);

// Puts point p before the head or after the tail of row n: 0; -1 (without
// a message; the row is unchanged) when the row would reach its point limit;
// -2 with the message when large mode runs out of memory.
int extend_pline(EngineTables& t, int n, PlineEnd end, int32_t p);

// A segment whose two points both existed: 0 or -1.
int connect_pline(EngineTables& t, int32_t p1, int32_t p2);

// Opens a new row p1, p2 on level k: 0 or -1 with the message. When every
// row is in use but some were emptied by joins, the live rows move down in
// their order first (compact_plines), so only live rows count to the limit.
int open_pline(EngineTables& t, int32_t p1, int32_t p2, int k);

// Moves the live rows down to rows 0, 1, ... in their order and rebuilds the
// end lists: the newest-row and head-before-tail rules then pick what they
// picked before.
void compact_plines(EngineTables& t);

// ---- Storing -------------------------------------------------------------

// Empties the output tables and the indexes over them, in the storage of the
// tables' mode (t.large).
void reset_engine_tables(EngineTables& t);

// The default mode's band table, point index and rows' pool on huge pages
// from now on (asked once per set of tables). Worth it for a run that fills
// megabytes of them; a small run pays less for the few small pages it
// touches than for clearing whole 2 MiB pages.
void advise_huge_engine_tables(EngineTables& t);

// The slot of the point equal to (x, y, k) as a positive number, or, after
// adding it, minus its new slot; 0 when it is new and there is no room (the
// table's limit, or in large mode the memory).
int32_t find_or_add_point(EngineTables& t, float x, float y, int k);

// Large mode's grid walk: index points by column when the columns x[1..nx]
// are wide enough (see the point index); point_window_next(t, x, i) as column
// i (from 2) starts.
void point_window_begin(EngineTables& t, const float* x, int nx);
void point_window_next(EngineTables& t, const float* x, int i);

// Notes that point p has just become the head or tail of row n: false when
// there is no memory for it.
inline bool note_pline_end(EngineTables& t, int32_t p, int n) {
  // The default mode's table is large enough by construction (kEndEntrySlots).
  if (!t.end_entries.reserve(int64_t{t.end_entry_count} + 1)) return false;
  const int32_t e = t.end_entry_count++;
  t.end_entries[e] = EndEntry{n, t.end_list[p]};
  t.end_list[p] = e;
  return true;
}

// Whether the segment p-q was recorded before; record_link notes it (false
// when there is no memory for it). A link is kept under its lower point.
inline bool linked(const EngineTables& t, int32_t p, int32_t q) {
  const int32_t lo = p < q ? p : q;
  const int32_t hi = p < q ? q : p;
  for (int32_t e = t.link_list[lo]; e != 0; e = t.links[e].next) {
    if (t.links[e].other == hi) return true;
  }
  return false;
}

inline bool record_link(EngineTables& t, int32_t p, int32_t q) {
  // The default mode's table is large enough by construction (kLinkSlots).
  if (!t.links.reserve(int64_t{t.link_count} + 1)) return false;
  const int32_t lo = p < q ? p : q;
  const int32_t hi = p < q ? q : p;
  const int32_t e = t.link_count++;
  t.links[e] = LinkEntry{hi, t.link_list[lo]};
  t.link_list[lo] = e;
  return true;
}

// Gives row n (a new row, or one whose storage was taken) storage for at
// least `need` points, empty: false when there is none.
bool open_ring(EngineTables& t, int n, int32_t need);
// Room for `extra` more points in row n's storage, keeping them: false when
// large mode runs out of memory (the default mode's rows never need more).
bool grow_ring(EngineTables& t, int n, int32_t extra);
inline bool ring_room(EngineTables& t, int n, int32_t extra) {
  return int64_t{t.pline_count[n]} + extra <= t.pline_store[n].capacity || grow_ring(t, n, extra);
}
// Hands row n's storage back; the row keeps its count.
void release_ring(EngineTables& t, int n);
// Puts p before the first or after the last point of row n (own order).
inline void ring_push_front(EngineTables& t, int n, int32_t p) {
  PlineStore& s = t.pline_store[n];
  if (s.reversed) {
    int32_t slot = s.first + t.pline_count[n];
    if (slot >= s.capacity) slot -= s.capacity;
    s.points[slot] = p;
  } else {
    s.first = s.first == 0 ? s.capacity - 1 : s.first - 1;
    s.points[s.first] = p;
  }
  ++t.pline_count[n];
}

inline void ring_push_back(EngineTables& t, int n, int32_t p) {
  PlineStore& s = t.pline_store[n];
  if (s.reversed) {
    s.first = s.first == 0 ? s.capacity - 1 : s.first - 1;
    s.points[s.first] = p;
  } else {
    int32_t slot = s.first + t.pline_count[n];
    if (slot >= s.capacity) slot -= s.capacity;
    s.points[slot] = p;
  }
  ++t.pline_count[n];
}

// Marks the failure being reported as one of a table limit that large mode
// lifts.
inline void note_table_limit(EngineTables& t) {
  if (!t.large) t.limit_reached = 1;
}

// The engine's out-of-memory failure of large mode, naming the routine.
int engine_out_of_memory(EngineTables& t, const char* routine);

// Appends one band piece: 0, or -1 with the message at the table's limit.
int add_fill_poly(EngineTables& t, int band, int nvert, const float x[5], const float y[5]);

// The isoline engine: traces the model store into the engine output tables.
// Owns: engine_tables (points, polylines, band pieces, and the lookup indexes
// over them). Reads: model_store. Writes its failure texts, and the non-fatal
// "internal" texts of dropped segments, into run_context.message_buffer.
//
// Three layers, each usable on its own:
//   tracing  (tracing.cpp, elements.cpp): cells and elements -> triangles ->
//            one segment per crossing level and one band piece per band;
//   joining  (joining.cpp): segments -> polylines, joined and closed;
//   storing  (storing.cpp): the point table with its hash index, the
//            polyline-end lists and the band-piece table.
#pragma once

#include <cstdint>

#include "shared/tables.h"

// The default mode's table sizes; large mode grows past them (shared/tables.h).
constexpr int kPointSlots = 100000;   // slot 0 unused: at most 99999 points
constexpr int kMaxPlines = 1500;
constexpr int kMaxPlinePoints = 1500;
constexpr int kFillPolySlots = 100000;  // at most 99999 band pieces

// The point index: open addressing with linear probing over a power-of-two
// table of point slots, beside a table of one-byte tags (0: empty, else 8
// bits of the key's hash). A probe reads tags only, and a point only where
// its tag matches, so looking for a point that is not there touches one small
// table: a model of millions of points keeps its tags in the processor's
// cache. Each run clears the tags. The default mode's 2^18 entries keep at
// most 99999 points below 40 % load; a run uses the first 2^14 of them and
// doubles the part in use whenever it would pass half full (rebuilt from the
// points), so a small model's lookups stay in the cache. Large mode doubles
// its table the same way.
//
// Large grids index by column instead (point_window_begin): a crossing traced
// in column i lies between x[i] and x[i + 1], give or take a rounding step, so
// where every column is wider than a few rounding steps a point can equal
// only points of the column before or of its own. Two small indexes, the
// column before and the current one, then answer exactly what the whole index
// would, and stay in the cache however large the model.
constexpr int kPointHashBits = 18;
constexpr int kPointHashFirstBits = 14;
constexpr int kPointHashSlots = 1 << kPointHashBits;

// Every segment recorded adds at most one link and two end entries, and in
// the default mode a run records fewer segments than it stores band pieces
// (each crossing stores its piece right after its segment).
constexpr int kLinkSlots = kFillPolySlots + 1;
constexpr int kEndEntrySlots = 2 * kFillPolySlots + 2;

struct IsoPoint {
  float x;
  float y;
  int32_t level;
};

struct PointIndex {
  Table<uint8_t> tags;   // 0 empty, else 8 bits of the point's hash
  Table<int32_t> slots;  // the point slot of each used tag
  int32_t bits;          // log2 of their size; 0: none yet
  int32_t count;
};

// A band piece. Band b lies between levels b - 1 and b: band 0 below the
// lowest level, band level_count above the highest.
struct FillPoly {
  int32_t band;
  int32_t nvert;  // 3 to 5
  float x[5];
  float y[5];
};

struct EndEntry {
  int32_t row;   // a row whose head or tail the point became
  int32_t next;  // the older entry of the same point, 0 at the end
};

// A recorded segment, kept under its lower point slot.
struct LinkEntry {
  int32_t other;  // the higher point slot
  int32_t next;   // the older link of the same point, 0 at the end
};

// Where a row's points live: a ring of `capacity` slots. Storage order runs
// from `first`; the row's own order is that or, when `reversed`, its reverse,
// so a join can keep the longer row's storage and a row turns round without
// moving. The default mode's rings are the 1500-slot rows of a fixed pool;
// large mode's are allocated and doubled as rows grow.
struct PlineStore {
  int32_t* points;
  int32_t capacity;
  int32_t first;
  int32_t reversed;
};

struct EngineTables {
  Table<IsoPoint> iso_points;
  int32_t point_count;  // the next free slot, 1 after a reset

  // Row n holds pline_count[n] points; its point i is pline_point(n, i).
  Table<PlineStore> pline_store;
  Table<int32_t> pline_count;   // 0: emptied by a join
  Table<int32_t> pline_level;
  Table<int32_t> pline_closed;
  int32_t pline_total;

  Table<FillPoly> fill_poly;
  int32_t fill_poly_count;

  // Lookup indexes and scratch, private to the engine.
  PointIndex point_index;       // every point of the run, or ...
  PointIndex point_window[2];   // ... those of two columns (large grids)
  int32_t window_on;
  int32_t window_newer;         // the part of the current column
  double window_older_reach;    // no point of the column before lies right of this
  Table<int32_t> end_list;      // per point: its newest end entry, 0 none
  Table<EndEntry> end_entries;
  int32_t end_entry_count;      // the next free entry, 1 after a reset
  Table<int32_t> link_list;     // per point: its newest link entry, 0 none
  Table<LinkEntry> links;
  int32_t link_count;           // the next free entry, 1 after a reset
  Table<int32_t*> free_rings;   // default mode: pool rows not held by a row
  int32_t free_ring_count;
  Table<int32_t> column_counts; // the grid walk's levels-below counts
};

extern EngineTables engine_tables;

// Point i (0-based, drawing order) of polyline row n.
inline int32_t pline_point(int n, int i) {
  const PlineStore& s = engine_tables.pline_store[n];
  const int32_t k = s.reversed ? engine_tables.pline_count[n] - 1 - i : i;
  int32_t slot = s.first + k;
  if (slot >= s.capacity) slot -= s.capacity;
  return s.points[slot];
}

// Empties the output tables and traces the current model: 0, or -1 with the
// message in run_context.message_buffer.
int trace_isolines();

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
int trace_grid();

// Cuts the triangle into one segment per crossing level (make_poly) and one
// band piece per band (add_fill_poly): 0 or -1. The argument order matters
// only for ties in the value sort.
int trace_triangle(const Vertex& v0, const Vertex& v1, const Vertex& v2);

// The levels counted as crossing [a, b] are those with a < level <= b. Returns
// false ("none") when there are no levels, a is above the highest level or b
// below the lowest; otherwise *klo..*khi, which may be empty (*klo > *khi).
bool level_range(float a, float b, int* klo, int* khi);

// The point on edge p-q where value z is reached; p is the lower-valued end.
EdgePoint edge_point(float z, const Vertex& p, const Vertex& q);

// The band of a triangle that no level crosses: the number of levels at or
// below its lowest value.
int uncrossed_band(float v_low);

// Walks the 100000 element slots, one or two triangles per element: 0 or -1.
int trace_elements();

// 0 when the 4-node element e is of possible shape, else -1 with its message
// (naming the node numbers); the corners are read at the nodes' slots.
int check_element_shape(int e, const int32_t nodes[4], const int32_t slots[4]);
// The same where slots are node numbers (the default mode).
int check_element_shape(int e, const int32_t nodes[4]);

// ---- Joining -------------------------------------------------------------

enum PlineEnd { kPlineHead = 0, kPlineTail = 1 };

// Records the segment (x1, y1)-(x2, y2) on level k: 0 or -1.
int make_poly(float x1, float y1, float x2, float y2, int k);

// The newest non-empty row having point p as its head or tail, head first:
// the row, with *end set; -1 when there is none.
int find_pline_end(int32_t p, PlineEnd* end);

// Puts point p before the head or after the tail of row n: 0; -1 (without
// a message; the row is unchanged) when the row would reach its point limit;
// -2 with the message when large mode runs out of memory.
int extend_pline(int n, PlineEnd end, int32_t p);

// A segment whose two points both existed: 0 or -1.
int connect_pline(int32_t p1, int32_t p2);

// Opens a new row p1, p2 on level k: 0 or -1 with the message. When every
// row is in use but some were emptied by joins, the live rows move down in
// their order first (compact_plines), so only live rows count to the limit.
int open_pline(int32_t p1, int32_t p2, int k);

// Moves the live rows down to rows 0, 1, ... in their order and rebuilds the
// end lists: the newest-row and head-before-tail rules then pick what they
// picked before.
void compact_plines();

// ---- Storing -------------------------------------------------------------

// Empties the output tables and the indexes over them, in the storage of the
// current table mode.
void reset_engine_tables();

// The default mode's band table, point index and rows' pool on huge pages
// from now on (asked once per process). Worth it for a run that fills
// megabytes of them; a small run pays less for the few small pages it
// touches than for clearing whole 2 MiB pages.
void advise_huge_engine_tables();

// The slot of the point equal to (x, y, k) as a positive number, or, after
// adding it, minus its new slot; 0 when it is new and there is no room (the
// table's limit, or in large mode the memory).
int32_t find_or_add_point(float x, float y, int k);

// Large mode's grid walk: index points by column when the columns x[1..nx]
// are wide enough (see the point index); point_window_next(x, i) as column
// i (from 2) starts.
void point_window_begin(const float* x, int nx);
void point_window_next(const float* x, int i);

// Notes that point p has just become the head or tail of row n: false when
// there is no memory for it.
inline bool note_pline_end(int32_t p, int n) {
  EngineTables& t = engine_tables;
  // The default mode's table is large enough by construction (kEndEntrySlots).
  if (!t.end_entries.reserve(int64_t{t.end_entry_count} + 1)) return false;
  const int32_t e = t.end_entry_count++;
  t.end_entries[e] = EndEntry{n, t.end_list[p]};
  t.end_list[p] = e;
  return true;
}

// Whether the segment p-q was recorded before; record_link notes it (false
// when there is no memory for it). A link is kept under its lower point.
inline bool linked(int32_t p, int32_t q) {
  const EngineTables& t = engine_tables;
  const int32_t lo = p < q ? p : q;
  const int32_t hi = p < q ? q : p;
  for (int32_t e = t.link_list[lo]; e != 0; e = t.links[e].next) {
    if (t.links[e].other == hi) return true;
  }
  return false;
}

inline bool record_link(int32_t p, int32_t q) {
  EngineTables& t = engine_tables;
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
bool open_ring(int n, int32_t need);
// Room for `extra` more points in row n's storage, keeping them: false when
// large mode runs out of memory (the default mode's rows never need more).
bool grow_ring(int n, int32_t extra);
inline bool ring_room(int n, int32_t extra) {
  return int64_t{engine_tables.pline_count[n]} + extra <= engine_tables.pline_store[n].capacity || grow_ring(n, extra);
}
// Hands row n's storage back; the row keeps its count.
void release_ring(int n);
// Puts p before the first or after the last point of row n (own order).
inline void ring_push_front(int n, int32_t p) {
  EngineTables& t = engine_tables;
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

inline void ring_push_back(int n, int32_t p) {
  EngineTables& t = engine_tables;
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

// The engine's out-of-memory failure of large mode, naming the routine.
int engine_out_of_memory(const char* routine);

// Appends one band piece: 0, or -1 with the message at the table's limit.
int add_fill_poly(int band, int nvert, const float x[5], const float y[5]);

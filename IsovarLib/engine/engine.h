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

constexpr int kPointSlots = 100000;   // slot 0 unused: at most 99999 points
constexpr int kMaxPlines = 1500;
constexpr int kMaxPlinePoints = 1500;
constexpr int kFillPolySlots = 100000;  // at most 99999 band pieces

// The point index: open addressing with linear probing, at most 99999 keys in
// 2^18 slots of 32 bits, a point slot (17 bits) under the stamp of the run
// that stored it (15 bits). A slot belongs to the current run only when its
// stamp is the run's, so a new run empties the index by changing the stamp.
constexpr int kPointHashBits = 18;
constexpr int kPointHashSlots = 1 << kPointHashBits;
constexpr int kPointSlotBits = 17;
constexpr uint32_t kPointSlotMask = (1u << kPointSlotBits) - 1;
constexpr uint32_t kMaxPointHashStamp = (1u << (32 - kPointSlotBits)) - 1;
static_assert(kPointSlots <= (1 << kPointSlotBits), "point slots must fit the index");

// The polyline-end lists. An entry is added only when a point becomes the head
// or tail of a row: as a new point (a new row or an extension) or by a join
// (which empties a row). So a run never needs more than one entry per point
// slot plus one per row; entry 0 is the list end.
constexpr int kEndEntrySlots = kPointSlots + kMaxPlines;

struct IsoPoint {
  float x;
  float y;
  int32_t level;
};

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

struct EngineTables {
  IsoPoint iso_points[kPointSlots];
  int32_t point_count;  // the next free slot, 1 after a reset

  // Row n holds pline_count[n] points. Its point i is pline_point(n, i): the
  // row is stored as a ring from pline_first[n], so a point can be put before
  // the head without moving the others.
  int32_t pline_points[kMaxPlines][kMaxPlinePoints];
  int32_t pline_first[kMaxPlines];
  int32_t pline_count[kMaxPlines];   // 0: emptied by a join
  int32_t pline_level[kMaxPlines];
  int32_t pline_closed[kMaxPlines];
  int32_t pline_total;

  FillPoly fill_poly[kFillPolySlots];
  int32_t fill_poly_count;

  // Lookup indexes, private to the engine.
  uint32_t point_hash[kPointHashSlots];  // stamp << 17 | point slot
  uint32_t point_hash_stamp;        // stamp of the current run, 1 to 32767
  int32_t end_list[kPointSlots];    // per point: its newest end entry, 0 none
  EndEntry end_entries[kEndEntrySlots];
  int32_t end_entry_count;          // the next free entry, 1 after a reset
};

extern EngineTables engine_tables;

// Point i (0-based, drawing order) of polyline row n.
inline int32_t pline_point(int n, int i) {
  int slot = engine_tables.pline_first[n] + i;
  if (slot >= kMaxPlinePoints) slot -= kMaxPlinePoints;
  return engine_tables.pline_points[n][slot];
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

// The band of a triangle that no level crosses, from its lowest value.
int uncrossed_band(float v_low);

// Walks the 100000 element slots, one or two triangles per element: 0 or -1.
int trace_elements();

// 0 when the 4-node element e is of possible shape, else -1 with its message.
int check_element_shape(int e, const int32_t nodes[4]);

// ---- Joining -------------------------------------------------------------

enum PlineEnd { kPlineHead = 0, kPlineTail = 1 };

// Records the segment (x1, y1)-(x2, y2) on level k: 0 or -1.
int make_poly(float x1, float y1, float x2, float y2, int k);

// The newest non-empty row having point p as its head or tail, head first:
// the row, with *end set; -1 when there is none.
int find_pline_end(int32_t p, PlineEnd* end);

// Puts point p before the head or after the tail of row n: 0, or -1 (without
// a message; the row is unchanged) when the row would reach 1500 points.
int extend_pline(int n, PlineEnd end, int32_t p);

// A segment whose two points both existed: 0 or -1.
int connect_pline(int32_t p1, int32_t p2);

// ---- Storing -------------------------------------------------------------

// Empties the output tables and the indexes over them.
void reset_engine_tables();

// The slot of the point equal to (x, y, k) as a positive number, or, after
// adding it, minus its new slot; 0 when it is new and the table is full.
int32_t find_or_add_point(float x, float y, int k);

// Notes that point p has just become the head or tail of row n.
void note_pline_end(int32_t p, int n);

// Appends one band piece: 0, or -1 with the message at the table's limit.
int add_fill_poly(int band, int nvert, const float x[5], const float y[5]);

// The isoline engine's output: what a trace leaves in its EngineTables
// (points, polylines, band pieces) and how to run one. The tables belong to
// their owner (a run); a trace reads the model it is given and writes its
// failure texts, and the non-fatal "internal" texts of dropped segments,
// into the message buffer it is given. How the tables are filled is
// engine_internal.h's.
#pragma once

#include <cstdint>

#include "shared/tables.h"

struct ModelStore;

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
  Table<int32_t> slot_of;  // the point slot of each used tag
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

constexpr int kRingClasses = 31;

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

  // Large mode's rings no row holds, by the power of two of their capacity:
  // a run reuses the rings of the run before (and of its own joins) instead
  // of asking the system for each.
  Table<int32_t*> spare_rings[kRingClasses];
  int64_t spare_ring_count[kRingClasses];

  // The trace in progress: what it reads, where it reports, its mode.
  const ModelStore* model;
  char* message;          // kMessageBufferSize bytes
  int32_t large;          // the tables grow
  int32_t bands_wanted;   // large mode fills the band table only when asked
  int32_t limit_reached;  // the trace failed on a default table's limit

  // Large grids and meshes past the default tables are traced in tiles of
  // cell columns or elements on `threads` threads (0: one per core) and put
  // in the canonical order (tiles.h). tile_columns > 0 sets the tile width
  // (columns or elements) and force_tiles takes that path for any large
  // model: knobs for tests and measurements.
  int32_t threads;
  int32_t tile_columns;
  int32_t force_tiles;
  struct TileTables* tiles;  // the tiles' own tables, kept between runs

  // The default mode's storage (the owner's) and its rows' pool.
  struct EngineFixedTables* fixed;
  int32_t (*ring_pool)[kMaxPlinePoints];
  int32_t huge_pages_asked;

  // Whether the band table is filled: always in the default mode (its limit
  // applies), in large mode only when something reads it.
  bool fill_band_table() const { return large == 0 || bands_wanted != 0; }
};

// The default mode's tables of one EngineTables; the band table, the point
// index and the start of the rows' pool are filled densely by a large run,
// which asks for huge pages for them (advise_huge_engine_tables).
struct alignas(kHugePage) EngineFixedTables {
  // The point index, then the rows' storage of the default mode: one
  // 1500-slot ring per live row. A run uses the start of the index (it grows
  // from 2^14 entries) and rows take the lowest free rings, so what most
  // runs touch of both lies in the first 2 MiB: one huge page for the two.
  uint8_t hash_tags[kPointHashSlots];
  int32_t hash_slots[kPointHashSlots];
  int32_t ring_pool[kMaxPlines][kMaxPlinePoints];
  alignas(kHugePage) FillPoly fill_poly[kFillPolySlots];
  IsoPoint points[kPointSlots];
  PlineStore stores[kMaxPlines];
  int32_t counts[kMaxPlines];
  int32_t levels[kMaxPlines];
  int32_t closed[kMaxPlines];
  int32_t end_list[kPointSlots];
  EndEntry end_entries[kEndEntrySlots];
  int32_t link_list[kPointSlots];
  LinkEntry links[kLinkSlots];
  int32_t* free_rings[kMaxPlines];
  int32_t column_counts[2 * (500 + 1)];
};

// Calls f on each table of t whose storage follows the mode (select) and
// whose memory large mode grows (release).
template <class F>
void for_each_table(EngineTables& t, F&& f) {
  f(t.iso_points);
  f(t.pline_store);
  f(t.pline_count);
  f(t.pline_level);
  f(t.pline_closed);
  f(t.fill_poly);
  f(t.end_list);
  f(t.end_entries);
  f(t.link_list);
  f(t.links);
  f(t.free_rings);
  f(t.column_counts);
}

// Empty tables over the fixed tables f, which must be zero.
void attach_engine_tables(EngineTables& t, EngineFixedTables* f);
// Frees large mode's memory (the fixed tables stay the owner's).
void release_engine_tables(EngineTables& t);

// Empties the output tables and traces model into them, in the storage of
// the given mode: 0, or -1 with the message in message (kMessageBufferSize
// bytes) and t.limit_reached set when a default table's limit was reached.
int trace_isolines(EngineTables& t, const ModelStore& model, char* message, bool large, bool bands_wanted);

// Point i (0-based, drawing order) of polyline row n.
inline int32_t pline_point(const EngineTables& t, int n, int i) {
  const PlineStore& s = t.pline_store[n];
  const int32_t k = s.reversed ? t.pline_count[n] - 1 - i : i;
  int32_t slot = s.first + k;
  if (slot >= s.capacity) slot -= s.capacity;
  return s.points[slot];
}


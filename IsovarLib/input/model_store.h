// The model store: one model's tables. Written only by the input reader and
// the model builder (input/), read by the engine and the renderer. In the
// default mode every table is fixed in size, starts out zero and is never
// allocated (the fixed tables are the owner's, given at attach_model_tables);
// in large mode the grid and finite-element tables grow with what the file
// gives (shared/tables.h), and node and element numbers are looked up through
// an index instead of addressing a table by number.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include "shared/tables.h"

constexpr int kMaxTitles = 5;
constexpr int kTitleSlot = 61;       // 58 bytes of text, its NUL, and room
constexpr int kMaxTitleBytes = 58;
constexpr int kLevelSlots = 50;      // a model holds at most 49 levels
constexpr int kMaxLevels = 49;
constexpr int kMaxGridNx = 499;
constexpr int kMaxGridNy = 500;
constexpr int kNodeSlots = 100000;   // node and element numbers 0 to 99999 by default
constexpr int kFrameSlots = 10;

constexpr int32_t kGridModel = 0;
constexpr int32_t kFemModel = 1;

struct FramePoint {
  float x;
  float y;
};

using ElementNodes = std::array<int32_t, 4>;  // a 3-node element has -1 last

struct ModelStore {
  // Shared part
  int32_t model_kind;    // kGridModel or kFemModel
  int32_t display_mode;  // 1 normal, 2 full
  int32_t title_count;
  char titles[kMaxTitles][kTitleSlot];
  int32_t level_count;
  float levels[kLevelSlots];
  int32_t level_kind[kLevelSlots];   // 0 default, 1 bold
  int32_t level_label[kLevelSlots];  // 1 labelled, 0 "no"
  float extent_xmin, extent_xmax, extent_ymin, extent_ymax;
  // Every coordinate above and below (the grid's, the nodes', the extent's,
  // the frame's) is an offset from this point, in single precision; what a
  // model gives in model units adds it back in double precision. A model
  // read from a file has (0, 0): its coordinates are the numbers stored.
  double origin_x, origin_y;

  // The mode whose storage the tables below are in (set by each read).
  int32_t large;

  // Grid part: indices are 1-based, slot 0 is unused.
  int32_t grid_nx;
  int32_t grid_ny;
  Table<float> grid_x;
  Table<float> grid_y;
  GridTable<float> grid_value;      // [i][j]
  GridTable<int16_t> grid_defined;  // [i][j]
  int32_t value_nx;  // the columns and rows the value tables hold: 499 x 500
  int32_t value_ny;  // by default, the grid of the last "*value" in large mode
  // Large mode: 1 for a column (1-based) that holds a value. The walk
  // passes over columns without values without reading them, so a huge
  // grid with few values costs, tracing too, what its values need.
  Table<uint8_t> column_has_values;

  // Finite-element part. In the default mode a node or element is addressed
  // by its number (slot = number, kNodeSlots slots); in large mode by the
  // slot its index gives, slots in the order the file defined them.
  int32_t node_slots;
  Table<int16_t> node_state;  // 0 undefined, 1 coordinates, 2 coordinates and value
  Table<float> node_x;
  Table<float> node_y;
  Table<float> node_value;
  NumberIndex node_index;     // large mode: node number -> slot
  int32_t element_slots;
  Table<int16_t> element_defined;
  Table<ElementNodes> element_nodes;  // node numbers as written
  Table<int32_t> element_number;      // large mode: each slot's number
  Table<int32_t> element_order;       // large mode: slots by ascending number,
  int32_t element_ordered;            // as many as the last "*element" ended with
  NumberIndex element_index;          // large mode: element number -> slot
  int32_t frame_count;
  FramePoint frame_from[kFrameSlots];
  FramePoint frame_to[kFrameSlots];

  // Default mode: how many leading entries of each flag table may be
  // non-zero (the rest are zero), so that clearing a table touches only
  // what reads have set; a process's first read clears nothing.
  int64_t grid_defined_used;
  int32_t node_state_used;
  int32_t element_defined_used;

  struct ModelFixedTables* fixed;  // the default mode's tables
  int32_t huge_pages_asked;        // advise_huge_grid_tables asked for them
};

// The default mode's tables of one store. A large grid's values and flags
// fill the first megabytes densely: see advise_huge_grid_tables.
struct alignas(kHugePage) ModelFixedTables {
  // First, so that nothing a read writes before "*value" (the coordinates
  // come last) lies in their first 2 MiB, where a small page would keep
  // the huge one out.
  float grid_value[(kMaxGridNx + 1) * (kMaxGridNy + 1)];
  int16_t grid_defined[(kMaxGridNx + 1) * (kMaxGridNy + 1)];
  int16_t node_state[kNodeSlots];
  float node_x[kNodeSlots];
  float node_y[kNodeSlots];
  float node_value[kNodeSlots];
  int16_t element_defined[kNodeSlots];
  ElementNodes element_nodes[kNodeSlots];
  float grid_x[kMaxGridNy + 1];
  float grid_y[kMaxGridNy + 1];
};

// A model: the store that holds it, and a second store that a read writes
// into, made the current one only when the whole read succeeded.
struct Model {
  ModelStore current;
  ModelStore spare;
};

// The slot of node number n, or -1 when it has none (the node may still be
// undefined: see node_state).
inline int32_t node_slot(const ModelStore& m, int32_t n) {
  if (m.large) return n < 0 ? -1 : index_find(m.node_index, n);
  return n >= 0 && n < kNodeSlots ? n : -1;
}

// A stored coordinate in model units: the origin of its axis added in
// double precision (with origin 0 the offset itself, its sign of zero kept).
inline double in_model_units(double origin, float offset) {
  return origin == 0.0 ? static_cast<double>(offset) : origin + static_cast<double>(offset);
}

// Calls f on each table of m whose storage follows the mode.
template <class F>
void for_each_table(ModelStore& m, F&& f) {
  f(m.grid_x);
  f(m.grid_y);
  f(m.grid_value.cells);
  f(m.grid_defined.cells);
  f(m.column_has_values);
  f(m.node_state);
  f(m.node_x);
  f(m.node_y);
  f(m.node_value);
  f(m.element_defined);
  f(m.element_nodes);
  f(m.element_number);
  f(m.element_order);
}

// An empty store (the default mode's storage, every count zero) over the
// fixed tables f, which must be zero.
void attach_model_tables(ModelStore& m, ModelFixedTables* f);
// A model over two sets of zeroed fixed tables.
void attach_model(Model& model, ModelFixedTables* current, ModelFixedTables* spare);
// Frees large mode's memory of both stores (the fixed tables stay the
// owner's).
void release_model(Model& model);

// Empties the whole store as a freshly loaded library has it (the default
// mode's storage, every field zero), keeping large mode's memory.
void clear_model_store(ModelStore& m);

// Makes the store's tables those of the given table mode (a read resets
// their counts and flags right after).
void select_model_storage(ModelStore& m, bool large);

// begin_model_read makes the spare store the current one with every count
// and flag reset (in the storage of the given mode) and returns it, the
// previous model kept in the spare; end_model_read(false) puts the previous
// model back as it was.
ModelStore& begin_model_read(Model& model, bool large);
void end_model_read(Model& model, bool complete);

// Default mode: the fixed tables on huge pages from now on (asked once per
// store) when the grid in force fills a quarter of a megabyte or more of the
// value and flag tables; a smaller grid pays less for the small pages it
// touches than for clearing whole 2 MiB pages.
void advise_huge_grid_tables(ModelStore& m);

// Default mode: zeroes a flag table's first *used entries, all that can be
// non-zero, and records that none are.
template <class Count>
void clear_flags(const Table<int16_t>& table, Count* used) {
  if (*used > 0) std::memset(static_cast<void*>(table.data), 0, sizeof(int16_t) * static_cast<size_t>(*used));
  *used = 0;
}

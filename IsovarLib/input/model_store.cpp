#include "model_store.h"

#include <cstring>
#include <utility>

namespace {

// The default mode's tables, one set for the current model and one for the
// model being read. A large grid's values and flags fill the first
// megabytes densely: see advise_huge_grid_tables.
struct alignas(kHugePage) FixedTables {
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

FixedTables fixed_sets[2];
bool huge_pages_asked = false;

constexpr int64_t kFixedStride = kMaxGridNy + 1;

constexpr ModelStore store_over(FixedTables& f) {
  return ModelStore{
      0, 0, 0, {}, 0, {}, {}, {}, 0, 0, 0, 0,
      0,  // large
      0, 0, fixed_table(f.grid_x), fixed_table(f.grid_y),
      {fixed_table(f.grid_value), kFixedStride}, {fixed_table(f.grid_defined), kFixedStride},
      kMaxGridNx, kMaxGridNy,
      kNodeSlots, fixed_table(f.node_state), fixed_table(f.node_x), fixed_table(f.node_y),
      fixed_table(f.node_value), {},
      kNodeSlots, fixed_table(f.element_defined), fixed_table(f.element_nodes), {}, {}, 0, {},
      0, {}, {},
      0, 0, 0,  // no flag set yet
  };
}

// Where a read writes, so that the model it replaces stays whole until the
// read succeeds.
ModelStore spare_store = store_over(fixed_sets[1]);

template <class T>
void zero_fixed(const Table<T>& table) {
  std::memset(static_cast<void*>(table.fixed), 0, sizeof(T) * static_cast<size_t>(table.fixed_capacity));
}

// Every count and flag of the store as a read starts them: what a file
// gives never depends on a file read before it.
void reset_for_read(ModelStore& m) {
  m.model_kind = kGridModel;
  m.display_mode = 1;
  m.title_count = 0;
  m.level_count = 0;
  m.frame_count = 0;
  m.grid_nx = m.grid_ny = 0;
  if (m.large) {
    m.value_nx = m.value_ny = 0;
    m.node_slots = m.element_slots = m.element_ordered = 0;
    index_clear(m.node_index);
    index_clear(m.element_index);
  } else {
    clear_flags(m.grid_defined.cells, &m.grid_defined_used);
    clear_flags(m.node_state, &m.node_state_used);
    clear_flags(m.element_defined, &m.element_defined_used);
  }
}

}  // namespace

ModelStore model_store = store_over(fixed_sets[0]);

void select_model_storage() {
  ModelStore& m = model_store;
  const int32_t large = large_models() ? 1 : 0;
  if (m.large == large) return;
  m.large = large;
  m.grid_x.select();
  m.grid_y.select();
  m.grid_value.cells.select();
  m.grid_defined.cells.select();
  m.node_state.select();
  m.node_x.select();
  m.node_y.select();
  m.node_value.select();
  m.element_defined.select();
  m.element_nodes.select();
  m.element_number.select();
  m.element_order.select();
  // The shape of the tables; what they hold starts at the next read's reset.
  if (large) {
    m.grid_value.stride = m.grid_defined.stride = 0;
  } else {
    m.value_nx = kMaxGridNx;
    m.value_ny = kMaxGridNy;
    m.grid_value.stride = m.grid_defined.stride = kFixedStride;
    m.node_slots = m.element_slots = kNodeSlots;
  }
}

void advise_huge_grid_tables() {
  const ModelStore& m = model_store;
  // The rows up to grid_nx of the values and the flags.
  const int64_t touched = (int64_t{m.grid_nx} + 1) * kFixedStride * int64_t{sizeof(float) + sizeof(int16_t)};
  if (huge_pages_asked || m.large || touched < (int64_t{1} << 18)) return;
  huge_pages_asked = true;
  advise_huge_pages(fixed_sets, sizeof fixed_sets);
}

void begin_model_read() {
  std::swap(model_store, spare_store);
  select_model_storage();
  reset_for_read(model_store);
}

void end_model_read(bool complete) {
  if (!complete) std::swap(model_store, spare_store);
}

void clear_model_store() {
  ModelStore& m = model_store;
  zero_fixed(m.grid_x);
  zero_fixed(m.grid_y);
  zero_fixed(m.grid_value.cells);
  zero_fixed(m.grid_defined.cells);
  zero_fixed(m.node_state);
  zero_fixed(m.node_x);
  zero_fixed(m.node_y);
  zero_fixed(m.node_value);
  zero_fixed(m.element_defined);
  zero_fixed(m.element_nodes);
  m.grid_defined_used = 0;
  m.node_state_used = m.element_defined_used = 0;
  // Back to the default mode's storage, whatever the store held.
  const TableMode mode = table_mode;
  m.large = 1;
  table_mode.large = 0;
  select_model_storage();
  table_mode = mode;
  m.model_kind = m.display_mode = m.title_count = m.level_count = 0;
  m.grid_nx = m.grid_ny = 0;
  std::memset(m.titles, 0, sizeof m.titles);
  std::memset(m.levels, 0, sizeof m.levels);
  std::memset(m.level_kind, 0, sizeof m.level_kind);
  std::memset(m.level_label, 0, sizeof m.level_label);
  m.extent_xmin = m.extent_xmax = m.extent_ymin = m.extent_ymax = 0.0f;
  m.frame_count = 0;
  std::memset(m.frame_from, 0, sizeof m.frame_from);
  std::memset(m.frame_to, 0, sizeof m.frame_to);
}

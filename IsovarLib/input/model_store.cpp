#include "model_store.h"

#include <cstring>
#include <utility>

namespace {

constexpr int64_t kFixedStride = kMaxGridNy + 1;

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
  m.origin_x = m.origin_y = 0.0;
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

void attach_model_tables(ModelStore& m, ModelFixedTables* f) {
  m = ModelStore{
      0, 0, 0, {}, 0, {}, {}, {}, 0, 0, 0, 0,
      0.0, 0.0,  // origin
      0,  // large
      0, 0, fixed_table(f->grid_x), fixed_table(f->grid_y),
      {fixed_table(f->grid_value), kFixedStride}, {fixed_table(f->grid_defined), kFixedStride},
      kMaxGridNx, kMaxGridNy, {},
      kNodeSlots, fixed_table(f->node_state), fixed_table(f->node_x), fixed_table(f->node_y),
      fixed_table(f->node_value), {},
      kNodeSlots, fixed_table(f->element_defined), fixed_table(f->element_nodes), {}, {}, 0, {},
      0, {}, {},
      0, 0, 0,  // no flag set yet
      f, 0,
  };
}

void attach_model(Model& model, ModelFixedTables* current, ModelFixedTables* spare) {
  attach_model_tables(model.current, current);
  attach_model_tables(model.spare, spare);
}

void release_model(Model& model) {
  for (ModelStore* m : {&model.current, &model.spare}) {
    for_each_table(*m, [](auto& table) { table.release(); });
    index_release(m->node_index);
    index_release(m->element_index);
  }
}

void select_model_storage(ModelStore& m, bool large_mode) {
  const int32_t large = large_mode ? 1 : 0;
  if (m.large == large) return;
  m.large = large;
  for_each_table(m, [large_mode](auto& table) { table.select(large_mode); });
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

void advise_huge_grid_tables(ModelStore& m) {
  // The rows up to grid_nx of the values and the flags.
  const int64_t touched = (int64_t{m.grid_nx} + 1) * kFixedStride * int64_t{sizeof(float) + sizeof(int16_t)};
  if (m.huge_pages_asked || m.large || touched < (int64_t{1} << 18)) return;
  m.huge_pages_asked = 1;
  advise_huge_pages(m.fixed, sizeof *m.fixed);
}

ModelStore& begin_model_read(Model& model, bool large) {
  std::swap(model.current, model.spare);
  select_model_storage(model.current, large);
  reset_for_read(model.current);
  return model.current;
}

void end_model_read(Model& model, bool complete) {
  if (!complete) std::swap(model.current, model.spare);
}

void clear_model_store(ModelStore& m) {
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
  m.large = 1;
  select_model_storage(m, false);
  m.model_kind = m.display_mode = m.title_count = m.level_count = 0;
  m.grid_nx = m.grid_ny = 0;
  std::memset(m.titles, 0, sizeof m.titles);
  std::memset(m.levels, 0, sizeof m.levels);
  std::memset(m.level_kind, 0, sizeof m.level_kind);
  std::memset(m.level_label, 0, sizeof m.level_label);
  m.extent_xmin = m.extent_xmax = m.extent_ymin = m.extent_ymax = 0.0f;
  m.origin_x = m.origin_y = 0.0;
  m.frame_count = 0;
  std::memset(m.frame_from, 0, sizeof m.frame_from);
  std::memset(m.frame_to, 0, sizeof m.frame_to);
}

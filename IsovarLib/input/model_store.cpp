#include "model_store.h"

#include <cstring>

namespace {

// The default mode's tables.
float fixed_grid_x[kMaxGridNy + 1];
float fixed_grid_y[kMaxGridNy + 1];
float fixed_grid_value[(kMaxGridNx + 1) * (kMaxGridNy + 1)];
int16_t fixed_grid_defined[(kMaxGridNx + 1) * (kMaxGridNy + 1)];
int16_t fixed_node_state[kNodeSlots];
float fixed_node_x[kNodeSlots];
float fixed_node_y[kNodeSlots];
float fixed_node_value[kNodeSlots];
int16_t fixed_element_defined[kNodeSlots];
ElementNodes fixed_element_nodes[kNodeSlots];

constexpr int64_t kFixedStride = kMaxGridNy + 1;

}  // namespace

ModelStore model_store = {
    0, 0, 0, {}, 0, {}, {}, {}, 0, 0, 0, 0,
    0,  // large
    0, 0, fixed_table(fixed_grid_x), fixed_table(fixed_grid_y),
    {fixed_table(fixed_grid_value), kFixedStride}, {fixed_table(fixed_grid_defined), kFixedStride},
    kMaxGridNx, kMaxGridNy,
    kNodeSlots, fixed_table(fixed_node_state), fixed_table(fixed_node_x), fixed_table(fixed_node_y),
    fixed_table(fixed_node_value), {},
    kNodeSlots, fixed_table(fixed_element_defined), fixed_table(fixed_element_nodes), {}, {}, 0, {},
    0, {}, {},
};

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
  m.grid_nx = m.grid_ny = 0;
  if (large) {
    // Nothing given yet: no grid points, no nodes, no elements.
    m.value_nx = m.value_ny = 0;
    m.grid_value.stride = m.grid_defined.stride = 0;
    m.node_slots = m.element_slots = m.element_ordered = 0;
    index_clear(m.node_index);
    index_clear(m.element_index);
  } else {
    m.value_nx = kMaxGridNx;
    m.value_ny = kMaxGridNy;
    m.grid_value.stride = m.grid_defined.stride = kFixedStride;
    m.node_slots = m.element_slots = kNodeSlots;
    std::memset(m.node_state.data, 0, sizeof(int16_t) * kNodeSlots);
    std::memset(m.element_defined.data, 0, sizeof(int16_t) * kNodeSlots);
  }
}

void clear_model_store() {
  ModelStore& m = model_store;
  // Each table is cleared through its own storage, then the fields around
  // them; a table stores no more than its pointers and sizes.
  std::memset(fixed_grid_x, 0, sizeof fixed_grid_x);
  std::memset(fixed_grid_y, 0, sizeof fixed_grid_y);
  std::memset(fixed_grid_value, 0, sizeof fixed_grid_value);
  std::memset(fixed_grid_defined, 0, sizeof fixed_grid_defined);
  std::memset(fixed_node_state, 0, sizeof fixed_node_state);
  std::memset(fixed_node_x, 0, sizeof fixed_node_x);
  std::memset(fixed_node_y, 0, sizeof fixed_node_y);
  std::memset(fixed_node_value, 0, sizeof fixed_node_value);
  std::memset(fixed_element_defined, 0, sizeof fixed_element_defined);
  std::memset(fixed_element_nodes, 0, sizeof fixed_element_nodes);
  const TableMode mode = table_mode;
  table_mode.large = 1;  // so that switching back selects the default storage
  m.large = 1;
  table_mode.large = 0;
  select_model_storage();
  table_mode = mode;
  m.model_kind = m.display_mode = m.title_count = m.level_count = 0;
  std::memset(m.titles, 0, sizeof m.titles);
  std::memset(m.levels, 0, sizeof m.levels);
  std::memset(m.level_kind, 0, sizeof m.level_kind);
  std::memset(m.level_label, 0, sizeof m.level_label);
  m.extent_xmin = m.extent_xmax = m.extent_ymin = m.extent_ymax = 0.0f;
  m.frame_count = 0;
  std::memset(m.frame_from, 0, sizeof m.frame_from);
  std::memset(m.frame_to, 0, sizeof m.frame_to);
}

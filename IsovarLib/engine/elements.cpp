// Finite elements: every defined element whose nodes all carry a value is cut
// into one triangle (3 nodes) or two along its diagonal N0-N2 (4 nodes) and
// traced like a grid cell. A 4-node element of impossible shape stops the run.
#include <algorithm>

#include "engine/engine_internal.h"
#include "shared/run_context.h"
#include "input/model_store.h"
#include "isovar_messages.h"

namespace {

Vertex node_vertex(EngineTables& t, int32_t slot) {
  return Vertex{t.model->node_x[slot], t.model->node_y[slot], t.model->node_value[slot]};
}

// All four corners on one straight line: equal x throughout, or four edges of
// exactly the same slope. Corner 4 repeats corner 0.
bool collinear(const float* X, const float* Y) {
  if (X[0] == X[1]) return X[1] == X[2] && X[2] == X[3] && X[3] == X[4];
  float previous = 0.0f;
  for (int i = 0; i < 4; ++i) {
    if (X[i] == X[i + 1]) return false;
    const float slope = (Y[i] - Y[i + 1]) / (X[i] - X[i + 1]);
    if (i > 0 && slope != previous) return false;
    previous = slope;
  }
  return true;
}

// Edge a-b against edge c-d: whether the lines cross strictly inside the
// bounding box of a-b. Only a-b is tested, so a crossing on a horizontal or
// vertical first edge goes unnoticed.
bool edges_cross(const float* X, const float* Y, int a, int b, int c, int d) {
  if (X[a] == X[b]) return X[c] == X[a] && X[d] == X[b];
  const float s1 = (Y[b] - Y[a]) / (X[b] - X[a]);
  if (X[c] == X[d]) return false;
  const float s2 = (Y[d] - Y[c]) / (X[d] - X[c]);
  if (s2 == s1) return false;
  const float t1 = Y[a] - s1 * X[a];
  const float t2 = Y[c] - s2 * X[c];
  const float xi = -(t2 - t1) / (s2 - s1);
  const float yi = s1 * xi + t1;
  return (X[a] - xi) * (X[b] - xi) < 0.0f && (Y[a] - yi) * (Y[b] - yi) < 0.0f;
}

}  // namespace

int check_element_shape(EngineTables& t, int e, const int32_t nodes[4], const int32_t slots[4]) {
  float X[5], Y[5];
  for (int i = 0; i < 4; ++i) {
    X[i] = t.model->node_x[slots[i]];
    Y[i] = t.model->node_y[slots[i]];
  }
  X[4] = X[0];
  Y[4] = Y[0];
  if (collinear(X, Y) || edges_cross(X, Y, 0, 1, 2, 3) || edges_cross(X, Y, 1, 2, 3, 0)) {
    put_message(t.message, kMessageBufferSize, msg::element_shape_invalid, e, nodes[0], nodes[1],
                nodes[2], nodes[3]);
    return -1;
  }
  return 0;
}

int check_element_shape(EngineTables& t, int e, const int32_t nodes[4]) { return check_element_shape(t, e, nodes, nodes); }

namespace {

// Element number e in the given slot: skipped unless every node carries a
// value, then one triangle or two. 0, or -1 with the message.
int trace_element(EngineTables& t, int32_t e, int32_t slot) {
  const ModelStore& m = *t.model;
  int32_t nodes[4];
  int32_t slots[4];
  int count = 0;
  bool usable = true;
  while (count < 4 && m.element_nodes[slot][count] >= 0) {
    const int32_t n = m.element_nodes[slot][count];
    const int32_t s = node_slot(*t.model, n);
    // A node number past the tables, or a node without a value, leaves a
    // hole in the plot, as does an element of fewer than three nodes.
    if (s < 0 || s >= m.node_slots || m.node_state[s] != 2) usable = false;
    nodes[count] = n;
    slots[count++] = s;
  }
  if (!usable || count < 3) return 0;
  if (count == 4) {
    if (check_element_shape(t, e, nodes, slots) != 0) return -1;
    if (trace_triangle(t, node_vertex(t, slots[0]), node_vertex(t, slots[1]), node_vertex(t, slots[2])) != 0) return -1;
    return trace_triangle(t, node_vertex(t, slots[2]), node_vertex(t, slots[3]), node_vertex(t, slots[0]));
  }
  return trace_triangle(t, node_vertex(t, slots[0]), node_vertex(t, slots[1]), node_vertex(t, slots[2]));
}

}  // namespace

int trace_elements(EngineTables& t) {
  const ModelStore& m = *t.model;
  if (!m.large) {
    for (int e = 0; e < kNodeSlots; ++e) {
      if (m.element_defined[e] != 0 && trace_element(t, e, e) != 0) return -1;
    }
    return 0;
  }
  // Large mode: the slots in ascending element number.
  return trace_element_range(t, 0, m.element_ordered);
}

int trace_element_range(EngineTables& t, int32_t begin, int32_t end) {
  const ModelStore& m = *t.model;
  for (int32_t i = std::max(begin, 0); i < std::min(end, m.element_ordered); ++i) {
    const int32_t slot = m.element_order[i];
    if (slot < 0 || slot >= m.element_slots || m.element_defined[slot] == 0) continue;
    if (trace_element(t, m.element_number[slot], slot) != 0) return -1;
  }
  return 0;
}

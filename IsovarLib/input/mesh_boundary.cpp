// Boundary rings. A mesh's sides are counted in a hash table keyed by their
// two nodes (the lower first), one pass over the elements; the sides counted
// once are the boundary. A grid's boundary sides are found by looking at the
// two cells beside each side. The walk then joins the sides at their nodes,
// cutting a ring off wherever the walk comes back to a node it has passed.
#include "input/mesh_boundary.h"

#include <algorithm>
#include <new>
#include <unordered_map>

#include "input/model_store.h"

namespace {

using Edge = std::pair<int64_t, int64_t>;

constexpr uint64_t kNoKey = ~uint64_t{0};

uint64_t mix(uint64_t k) {
  k ^= k >> 33;
  k *= 0xff51afd7ed558ccdULL;
  k ^= k >> 33;
  k *= 0xc4ceb9fe1a85ec53ULL;
  k ^= k >> 33;
  return k;
}

// The distinct sides of the elements, in the order they first come, and how
// many elements use each.
class SideCount {
 public:
  explicit SideCount(std::size_t expected) {
    std::size_t capacity = 16;
    while (capacity < 2 * expected) capacity *= 2;
    slots_.assign(capacity, Slot{kNoKey, 0, 0});
    mask_ = capacity - 1;
  }

  void add(int32_t a, int32_t b) {
    if (a == b) return;  // a repeated node: no side
    const uint32_t lo = static_cast<uint32_t>(std::min(a, b));
    const uint32_t hi = static_cast<uint32_t>(std::max(a, b));
    const uint64_t key = (uint64_t{lo} << 32) | hi;
    for (std::size_t i = mix(key) & mask_;; i = (i + 1) & mask_) {
      Slot& s = slots_[i];
      if (s.key == key) {
        ++s.uses;
        return;
      }
      if (s.key == kNoKey) {
        s = Slot{key, 1, static_cast<int64_t>(sides_.size())};
        sides_.push_back(Edge{a, b});
        if (2 * sides_.size() > slots_.size()) grow();
        return;
      }
    }
  }

  // The sides used once, in the order they first came.
  std::vector<Edge> single() const {
    std::vector<int64_t> order;
    for (const Slot& s : slots_)
      if (s.key != kNoKey && s.uses == 1) order.push_back(s.side);
    std::sort(order.begin(), order.end());
    std::vector<Edge> out;
    out.reserve(order.size());
    for (int64_t i : order) out.push_back(sides_[static_cast<std::size_t>(i)]);
    return out;
  }

 private:
  struct Slot {
    uint64_t key;
    int32_t uses;
    int64_t side;
  };

  void grow() {
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(old.size() * 2, Slot{kNoKey, 0, 0});
    mask_ = slots_.size() - 1;
    for (const Slot& s : old) {
      if (s.key == kNoKey) continue;
      std::size_t i = mix(s.key) & mask_;
      while (slots_[i].key != kNoKey) i = (i + 1) & mask_;
      slots_[i] = s;
    }
  }

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::vector<Edge> sides_;
};

// The node slots of an element the engine traces (at least three nodes, each
// with a value), or 0 when it traces none.
int element_slots(const ModelStore& m, int32_t slot, int32_t out[4]) {
  int count = 0;
  while (count < 4 && m.element_nodes[slot][count] >= 0) {
    const int32_t s = node_slot(m, m.element_nodes[slot][count]);
    if (s < 0 || s >= m.node_slots || m.node_state[s] != 2) return 0;
    out[count++] = s;
  }
  return count >= 3 ? count : 0;
}

}  // namespace

void join_boundary_edges(const std::vector<Edge>& edges, BoundaryRings& out) {
  out.clear();
  // Nodes numbered densely, and each node's edges in their order.
  std::unordered_map<int64_t, int32_t> dense;
  dense.reserve(edges.size() * 2);
  std::vector<int64_t> id;
  auto number = [&](int64_t n) {
    auto [it, added] = dense.emplace(n, static_cast<int32_t>(id.size()));
    if (added) id.push_back(n);
    return it->second;
  };
  std::vector<std::pair<int32_t, int32_t>> ends(edges.size());
  for (std::size_t e = 0; e < edges.size(); ++e) ends[e] = {number(edges[e].first), number(edges[e].second)};
  const std::size_t nodes = id.size();
  std::vector<int32_t> first(nodes + 1, 0), incident(2 * edges.size());
  for (const auto& [a, b] : ends) ++first[static_cast<std::size_t>(a) + 1], ++first[static_cast<std::size_t>(b) + 1];
  for (std::size_t n = 0; n < nodes; ++n) first[n + 1] += first[n];
  std::vector<int32_t> fill(first.begin(), first.end() - 1);
  for (std::size_t e = 0; e < ends.size(); ++e) {
    incident[static_cast<std::size_t>(fill[static_cast<std::size_t>(ends[e].first)]++)] = static_cast<int32_t>(e);
    incident[static_cast<std::size_t>(fill[static_cast<std::size_t>(ends[e].second)]++)] = static_cast<int32_t>(e);
  }
  std::vector<int32_t> next_incident(first.begin(), first.end() - 1);  // the first not yet looked at
  std::vector<uint8_t> used(edges.size(), 0);
  std::vector<int32_t> on_path(nodes, -1);  // a node's place on the path, -1 off it
  std::vector<int32_t> path;

  auto emit = [&](std::size_t from, bool closed) {
    for (std::size_t i = from; i < path.size(); ++i) out.nodes.push_back(id[static_cast<std::size_t>(path[i])]);
    out.start.push_back(static_cast<int64_t>(out.nodes.size()));
    out.closed.push_back(closed ? 1 : 0);
  };
  auto unused_edge_at = [&](int32_t n) {
    const std::size_t u = static_cast<std::size_t>(n);
    while (next_incident[u] < first[u + 1]) {
      const int32_t e = incident[static_cast<std::size_t>(next_incident[u])];
      if (!used[static_cast<std::size_t>(e)]) return e;
      ++next_incident[u];
    }
    return -1;
  };

  for (std::size_t e0 = 0; e0 < ends.size(); ++e0) {
    if (used[e0]) continue;
    used[e0] = 1;
    path.assign({ends[e0].first});
    on_path[static_cast<std::size_t>(ends[e0].first)] = 0;
    int32_t at = ends[e0].second;
    for (;;) {
      const int32_t seen = on_path[static_cast<std::size_t>(at)];
      if (seen >= 0) {
        // Back at a node of the path: the loop from there is a ring.
        emit(static_cast<std::size_t>(seen), true);
        for (std::size_t i = static_cast<std::size_t>(seen) + 1; i < path.size(); ++i)
          on_path[static_cast<std::size_t>(path[i])] = -1;
        path.resize(static_cast<std::size_t>(seen) + 1);
      } else {
        on_path[static_cast<std::size_t>(at)] = static_cast<int32_t>(path.size());
        path.push_back(at);
      }
      const int32_t e = unused_edge_at(at);
      if (e < 0) break;
      used[static_cast<std::size_t>(e)] = 1;
      at = ends[static_cast<std::size_t>(e)].first == at ? ends[static_cast<std::size_t>(e)].second
                                                         : ends[static_cast<std::size_t>(e)].first;
    }
    // Whatever is left is a chain that no edge closes.
    if (path.size() >= 2) emit(0, false);
    for (int32_t n : path) on_path[static_cast<std::size_t>(n)] = -1;
  }
}

bool mesh_boundary(const ModelStore& m, BoundaryRings& out) {
  try {
    const int64_t elements = m.large ? m.element_ordered : m.element_defined_used;
    SideCount sides(static_cast<std::size_t>(std::max<int64_t>(elements, 0)) * 2);
    auto add_element = [&](int32_t slot) {
      int32_t s[4];
      const int count = element_slots(m, slot, s);
      for (int i = 0; i < count; ++i) sides.add(s[i], s[(i + 1) % count]);
    };
    if (!m.large) {
      for (int32_t e = 0; e < m.element_defined_used && e < kNodeSlots; ++e)
        if (m.element_defined[e] != 0) add_element(e);
    } else {
      for (int32_t i = 0; i < m.element_ordered; ++i) {
        const int32_t slot = m.element_order[i];
        if (slot >= 0 && slot < m.element_slots && m.element_defined[slot] != 0) add_element(slot);
      }
    }
    join_boundary_edges(sides.single(), out);
    return true;
  } catch (const std::bad_alloc&) {
    out = BoundaryRings{};
    out.clear();
    return false;
  }
}

bool grid_boundary(const ModelStore& m, BoundaryRings& out) {
  try {
    const int32_t nx = m.grid_nx, ny = m.grid_ny;
    const int64_t stride = int64_t{ny} + 1;
    // Large mode does not read the columns without values.
    auto column = [&](int32_t i) { return i >= 1 && i <= nx && !(m.large && m.column_has_values[i] == 0); };
    // Cell (i, j) spans grid points i .. i + 1 and j .. j + 1.
    auto cell = [&](int32_t i, int32_t j) {
      if (i < 1 || j < 1 || i >= nx || j >= ny || !column(i) || !column(i + 1)) return false;
      return m.grid_defined[i][j] != 0 && m.grid_defined[i + 1][j] != 0 && m.grid_defined[i + 1][j + 1] != 0 &&
             m.grid_defined[i][j + 1] != 0;
    };
    auto node = [&](int32_t i, int32_t j) { return int64_t{i} * stride + j; };
    std::vector<Edge> edges;
    // Each side once, from the cell that has it, counter-clockwise around
    // that cell (grid_x and grid_y ascending).
    for (int32_t i = 1; i < nx; ++i) {
      if (!column(i) || !column(i + 1)) continue;
      for (int32_t j = 1; j < ny; ++j) {
        if (!cell(i, j)) continue;
        if (!cell(i, j - 1)) edges.push_back({node(i, j), node(i + 1, j)});
        if (!cell(i + 1, j)) edges.push_back({node(i + 1, j), node(i + 1, j + 1)});
        if (!cell(i, j + 1)) edges.push_back({node(i + 1, j + 1), node(i, j + 1)});
        if (!cell(i - 1, j)) edges.push_back({node(i, j + 1), node(i, j)});
      }
    }
    join_boundary_edges(edges, out);
    return true;
  } catch (const std::bad_alloc&) {
    out = BoundaryRings{};
    out.clear();
    return false;
  }
}

void boundary_node_xy(const ModelStore& m, int64_t id, float* x, float* y) {
  if (m.model_kind == kFemModel) {
    *x = m.node_x[id];
    *y = m.node_y[id];
    return;
  }
  const int64_t stride = int64_t{m.grid_ny} + 1;
  *x = m.grid_x[id / stride];
  *y = m.grid_y[id % stride];
}

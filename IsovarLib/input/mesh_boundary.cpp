// Boundary rings. A mesh's sides are keyed by their two nodes, the lower
// first: hashed by the lower node into chains, each chain sorted by the
// higher one; the sides that come once are the boundary. The work is linear
// in the elements (a chain is as long as its node's sides) and reads memory
// nearly in order, as elements near one another share nodes. A grid's boundary sides are found by looking at the
// two cells beside each side. The walk then joins the sides at their nodes,
// cutting a ring off wherever the walk comes back to a node it has passed.
#include "input/mesh_boundary.h"

#include <algorithm>
#include <climits>
#include <new>
#include <unordered_map>

#include "input/model_store.h"

namespace {

using Edge = std::pair<int64_t, int64_t>;

// Node numbers to slots for the elements in turn. Large mode keeps them in
// an index whose places are scattered over memory: where the numbers are
// dense enough, the index is read once in order into a table by number;
// otherwise the last few numbers asked are kept at hand, as neighbouring
// elements share most of their nodes.
class NodeSlots {
 public:
  NodeSlots(const ModelStore& m, std::vector<int32_t>& by_number) : m_(m), by_number_(by_number) {
    by_number_.clear();
    if (!m.large) return;
    const NumberIndex& index = m.node_index;
    int64_t highest = -1;
    for (int64_t i = 0; i < index.capacity; ++i) highest = std::max<int64_t>(highest, index.entries[i].number);
    if (highest >= 0 && highest < 4 * index.count + 1024) {
      by_number_.assign(static_cast<std::size_t>(highest) + 1, -1);
      for (int64_t i = 0; i < index.capacity; ++i)
        if (index.entries[i].number >= 0)
          by_number_[static_cast<std::size_t>(index.entries[i].number)] = index.entries[i].slot;
    } else {
      memo_.assign(kMemo, Memo{-1, -1});
    }
  }

  int32_t operator()(int32_t n) {
    if (!m_.large) return node_slot(m_, n);
    if (!by_number_.empty()) {
      return n >= 0 && static_cast<std::size_t>(n) < by_number_.size() ? by_number_[static_cast<std::size_t>(n)] : -1;
    }
    Memo& e = memo_[static_cast<std::size_t>(n) & (kMemo - 1)];
    if (e.number != n || n < 0) e = Memo{n, node_slot(m_, n)};
    return e.slot;
  }

 private:
  static constexpr std::size_t kMemo = 4096;
  struct Memo {
    int32_t number;
    int32_t slot;
  };
  const ModelStore& m_;
  std::vector<int32_t>& by_number_;
  std::vector<Memo> memo_;
};

// The node slots of an element the engine traces (at least three nodes, each
// with a value), or 0 when it traces none.
int element_slots(const ModelStore& m, NodeSlots& slots, int32_t slot, int32_t out[4]) {
  int count = 0;
  while (count < 4 && m.element_nodes[slot][count] >= 0) {
    const int32_t s = slots(m.element_nodes[slot][count]);
    if (s < 0 || s >= m.node_slots || m.node_state[s] != 2) return 0;
    out[count++] = s;
  }
  return count >= 3 ? count : 0;
}

// Out of memory: no rings, and the memory held given back.
bool no_memory(BoundaryRings& out) {
  out = BoundaryRings{};
  out.clear();
  return false;
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
    // Every side of the plotted elements in their order: side k joins
    // from[k] to to[k] as its element goes round.
    BoundaryRings::Scratch& w = out.scratch;
    std::vector<int32_t>& from = w.from;
    std::vector<int32_t>& to = w.to;
    from.clear();
    to.clear();
    const int64_t elements = m.large ? m.element_ordered : m.element_defined_used;
    from.reserve(static_cast<std::size_t>(std::max<int64_t>(elements, 0)) * 4);
    to.reserve(from.capacity());
    NodeSlots slots(m, w.by_number);
    int32_t span = 0;  // one past the highest node slot used
    auto add_element = [&](int32_t slot) {
      int32_t s[4];
      const int count = element_slots(m, slots, slot, s);
      for (int i = 0; i < count; ++i) {
        const int32_t a = s[i], b = s[(i + 1) % count];
        if (a == b) continue;  // a repeated node: no side
        from.push_back(a);
        to.push_back(b);
        span = std::max(span, std::max(a, b) + 1);
      }
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
    if (from.size() >= static_cast<std::size_t>(INT32_MAX)) throw std::bad_alloc();

    // The sides hashed by their lower node (a table with a chain per node,
    // laid out by counting), each chain then sorted by the higher node: a
    // side that no other side of its chain matches is used once.
    const std::size_t sides = from.size();
    std::vector<int32_t>& first = w.first;
    first.assign(static_cast<std::size_t>(span) + 1, 0);
    for (std::size_t k = 0; k < sides; ++k) ++first[static_cast<std::size_t>(std::min(from[k], to[k])) + 1];
    for (std::size_t n = 0; n < static_cast<std::size_t>(span); ++n) first[n + 1] += first[n];
    std::vector<int32_t>& chain = w.chain;
    chain.resize(sides);
    {
      std::vector<int32_t> fill(first.begin(), first.end() - 1);
      for (std::size_t k = 0; k < sides; ++k)
        chain[static_cast<std::size_t>(fill[static_cast<std::size_t>(std::min(from[k], to[k]))]++)] =
            static_cast<int32_t>(k);
    }
    auto higher = [&](int32_t k) { return std::max(from[static_cast<std::size_t>(k)], to[static_cast<std::size_t>(k)]); };
    std::vector<int32_t> single;
    for (std::size_t n = 0; n < static_cast<std::size_t>(span); ++n) {
      auto b = chain.begin() + first[n], e = chain.begin() + first[n + 1];
      if (e - b > 1) std::sort(b, e, [&](int32_t x, int32_t y) { return higher(x) != higher(y) ? higher(x) < higher(y) : x < y; });
      for (auto i = b; i != e;) {
        auto j = i + 1;
        while (j != e && higher(*j) == higher(*i)) ++j;
        if (j - i == 1) single.push_back(*i);
        i = j;
      }
    }
    std::sort(single.begin(), single.end());
    std::vector<Edge> edges;
    edges.reserve(single.size());
    for (int32_t k : single) edges.push_back(Edge{from[static_cast<std::size_t>(k)], to[static_cast<std::size_t>(k)]});
    join_boundary_edges(edges, out);
    return true;
  } catch (const std::bad_alloc&) {
    return no_memory(out);
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
    return no_memory(out);
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

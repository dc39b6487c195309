// The boundary of a model's domain: the edges that exactly one of its cells
// uses (a finite element's sides, a grid cell's sides), joined into rings.
// An outer boundary and every hole's boundary are rings of their own; where
// two parts of the domain touch at a single node, each part's boundary is a
// ring of its own through that node. Edges that cannot be closed into a ring
// (at a side shared by three elements) are left as open chains.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

struct ModelStore;

struct BoundaryRings {
  // Node ids, ring after ring; a closed ring does not repeat its first node.
  std::vector<int64_t> nodes;
  // Ring i holds nodes[start[i] .. start[i + 1]); one more entry than rings.
  std::vector<int64_t> start;
  // 1: ring i closes from its last node back to its first; 0: an open chain.
  std::vector<uint8_t> closed;

  // Working memory of the search, kept so that the next search of a model
  // of the same size allocates nothing.
  struct Scratch {
    std::vector<int32_t> from, to, first, chain, by_number;
  } scratch;

  int64_t rings() const { return static_cast<int64_t>(closed.size()); }
  void clear() {
    nodes.clear();
    start.assign(1, 0);
    closed.clear();
  }
};

// Joins edges (from, to) into rings, in the order the edges come: a ring
// begins with the first edge not yet used and runs in that edge's direction.
// Each edge is used once, whatever the direction it is walked in.
void join_boundary_edges(const std::vector<std::pair<int64_t, int64_t>>& edges, BoundaryRings& out);

// A finite-element model: the sides of the elements the engine traces (every
// node of the element carries a value) that no other such element has; node
// ids are node slots. False when memory ran out (out is then empty).
bool mesh_boundary(const ModelStore& m, BoundaryRings& out);

// A grid model: the sides of the cells whose four corners are defined that
// no other such cell has; node id i * (grid_ny + 1) + j for grid point
// (i, j). False when memory ran out.
bool grid_boundary(const ModelStore& m, BoundaryRings& out);

// The model coordinates of node id of a boundary found in m.
void boundary_node_xy(const ModelStore& m, int64_t id, float* x, float* y);

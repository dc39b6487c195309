// Band polygons from the band pieces: see band_merge.h.
#include "engine/band_merge.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "shared/tables.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;

uint32_t bits_of(float v) {
  if (v == 0.0f) v = 0.0f;  // -0 and 0 are one place
  uint32_t u;
  std::memcpy(&u, &v, sizeof u);
  return u;
}

// The storage of the merge's large arrays: a block of 2 MiB or more is
// aligned to 2 MiB and asked for in huge pages, so filling it costs one page
// fault per 2 MiB rather than per 4 KiB, and probes at random into it (the
// place table, the vertices' marks) miss the TLB far less.
template <class T>
struct LargeBlocks {
  using value_type = T;
  LargeBlocks() = default;
  template <class U>
  LargeBlocks(const LargeBlocks<U>&) {}

  T* allocate(std::size_t n) {
    if (n > SIZE_MAX / sizeof(T) - kHugePage) throw std::bad_alloc();
    const std::size_t bytes = n * sizeof(T);
    void* p;
    if (bytes < kHugePage) {
      p = std::malloc(bytes > 0 ? bytes : 1);
    } else {
      const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
      p = std::aligned_alloc(kHugePage, rounded);
      if (p != nullptr) advise_huge_pages(p, rounded);
    }
    if (p == nullptr) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t) { std::free(p); }

  template <class U>
  bool operator==(const LargeBlocks<U>&) const {
    return true;
  }
  template <class U>
  bool operator!=(const LargeBlocks<U>&) const {
    return false;
  }
};

template <class T>
using Large = std::vector<T, LargeBlocks<T>>;

// Vertex numbers by place: open addressing over a power-of-two table of
// 32-bit slots, kept at most half full. A slot holds a number in its low
// bits and, in the bits the numbers leave over, bits of its place's mixed
// key, so a probe passes over most other places of its run without reading
// them; the places themselves are the merge's coordinates by number (x and
// y, -0 kept as 0), read only where those bits match.
//
// In front of the table, a small cache of the places asked last, one entry
// per low bits of the mixed key: neighbouring pieces come one after the
// other and share corners, so most questions are answered from the cache
// (which stays in the processor's cache whatever the model's size) and the
// table, probed at random, is asked about once per vertex.
class VertexTable {
 public:
  // For at most most_vertices places (below 2^32 - 1), about expected.
  void reset(std::size_t expected, uint64_t most_vertices, std::vector<float>* x, std::vector<float>* y) {
    x_ = x;
    y_ = y;
    unsigned bits = 1;
    while (bits < 32 && (uint64_t{1} << bits) - 1 <= most_vertices) ++bits;
    number_mask_ = bits >= 32 ? ~uint32_t{0} : (uint32_t{1} << bits) - 1;
    std::size_t size = 1024;
    while (size < 2 * expected) size *= 2;
    slots_.assign(size, kEmpty);
    shift_ = shift_for(size);
    recent_.assign(kRecent, Recent{0, -1});
  }

  // The number of the place (x, y): a new one, the count of vertices so
  // far, when it is new (*added says which; the place is then appended to
  // the coordinates).
  int32_t find_or_add(float x, float y, bool* added) {
    const uint64_t key = key_of(x, y);
    const uint64_t mixed = mix(key);
    Recent& r = recent_[mixed & (kRecent - 1)];
    if (r.number >= 0 && r.key == key) {
      *added = false;
      return r.number;
    }
    if (2 * (x_->size() + 1) > slots_.size()) grow();
    const std::size_t mask = slots_.size() - 1;
    const uint32_t tag = tag_of(mixed);
    std::size_t at = static_cast<std::size_t>(mixed >> shift_);
    for (; slots_[at] != kEmpty; at = (at + 1) & mask) {
      const uint32_t s = slots_[at];
      const int32_t number = static_cast<int32_t>(s & number_mask_);
      if ((s & ~number_mask_) == tag && key_at(number) == key) {
        *added = false;
        r = Recent{key, number};
        return number;
      }
    }
    *added = true;
    const int32_t number = static_cast<int32_t>(x_->size());
    slots_[at] = tag | static_cast<uint32_t>(number);
    r = Recent{key, number};
    x_->push_back(x == 0.0f ? 0.0f : x);
    y_->push_back(y == 0.0f ? 0.0f : y);
    return number;
  }

  // Where find_or_add(x, y) would first look in the table, or null when the
  // cache of recent places holds (x, y). The caller prefetches it: a place
  // asked for a little later then finds its slot at hand, and the misses of
  // several places overlap instead of following one another. (A function
  // that prefetches and returns nothing may be taken as doing nothing, and
  // its calls dropped.)
  const uint32_t* slot_ahead(float x, float y) const {
    const uint64_t key = key_of(x, y);
    const uint64_t mixed = mix(key);
    const Recent& r = recent_[mixed & (kRecent - 1)];
    if (r.number >= 0 && r.key == key) return nullptr;
    return slots_.data() + (mixed >> shift_);
  }

  void release() {
    Large<uint32_t>().swap(slots_);
    Large<Recent>().swap(recent_);
  }

 private:
  // No slot is all ones: its number would be number_mask_, above any.
  static constexpr uint32_t kEmpty = ~uint32_t{0};

  uint32_t tag_of(uint64_t mixed) const { return static_cast<uint32_t>(mixed) & ~number_mask_; }

  static uint64_t key_of(float x, float y) { return uint64_t{bits_of(x)} << 32 | bits_of(y); }
  uint64_t key_at(int32_t n) const {
    return key_of((*x_)[static_cast<std::size_t>(n)], (*y_)[static_cast<std::size_t>(n)]);
  }

  static unsigned shift_for(std::size_t size) {
    unsigned bits = 0;
    while ((std::size_t{1} << bits) < size) ++bits;
    return 64 - bits;
  }

  // Nearby places (keys that differ in their low bits only) spread over the
  // whole table (by the high bits) and the whole cache (by the low ones).
  static uint64_t mix(uint64_t key) {
    key ^= key >> 31;
    key *= 0x9E3779B97F4A7C15ull;
    key ^= key >> 29;
    key *= 0xBF58476D1CE4E5B9ull;
    return key ^ (key >> 32);
  }

  struct Recent {
    uint64_t key;
    int32_t number;  // -1: empty
  };
  static constexpr std::size_t kRecent = std::size_t{1} << 16;

  void grow() {
    slots_.assign(slots_.size() * 2, kEmpty);
    shift_ = shift_for(slots_.size());
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t k = 0; k < x_->size(); ++k) {
      const uint64_t mixed = mix(key_at(static_cast<int32_t>(k)));
      std::size_t at = static_cast<std::size_t>(mixed >> shift_);
      while (slots_[at] != kEmpty) at = (at + 1) & mask;
      slots_[at] = tag_of(mixed) | static_cast<uint32_t>(k);
    }
  }

  std::vector<float>* x_ = nullptr;
  std::vector<float>* y_ = nullptr;
  uint32_t number_mask_ = ~uint32_t{0};
  Large<uint32_t> slots_;
  Large<Recent> recent_;
  unsigned shift_ = 54;
};

// Twice the signed area of the ring of n vertices, taken about the first
// vertex: products of small differences keep their digits where the
// coordinates are large.
double area2(const BandMerge& m, const int32_t* ring, std::size_t n) {
  if (n == 0) return 0;
  const double x0 = m.x[ring[0]], y0 = m.y[ring[0]];
  double a = 0;
  for (std::size_t k = 1; k + 1 < n; ++k) {
    const double ux = m.x[ring[k]] - x0, uy = m.y[ring[k]] - y0;
    const double vx = m.x[ring[k + 1]] - x0, vy = m.y[ring[k + 1]] - y0;
    a += ux * vy - vx * uy;
  }
  return a;
}

// A piece's edge, filed under its lower vertex: its other end (a vertex
// number), and which way round the piece has the band on its left (+1 from
// the lower number to the higher, -1 the other way, 0 a piece of no area).
struct EdgeEnd {
  int32_t higher;
  int32_t side;
};

struct Boundary {
  int32_t a, b;  // a -> b has the band on its left when known
  bool used;
  bool known;    // the side came from pieces of area
};

struct Box {
  float x0, x1, y0, y1;
};

// Boxes packed into a static tree (sort-tile-recursive): leaves of up to
// kFan boxes in tiles of x then y, each level above the boxes of kFan nodes
// of the level below. find gives every box that holds a point, borders
// included, in no particular order.
class PackedTree {
 public:
  static constexpr std::size_t kFan = 16;

  void build(const std::vector<Box>& boxes) {
    const std::size_t n = boxes.size();
    item_.resize(n);
    for (std::size_t k = 0; k < n; ++k) item_[k] = static_cast<int32_t>(k);
    auto mid_x = [&](int32_t k) { return static_cast<double>(boxes[k].x0) + boxes[k].x1; };
    auto mid_y = [&](int32_t k) { return static_cast<double>(boxes[k].y0) + boxes[k].y1; };
    std::sort(item_.begin(), item_.end(), [&](int32_t a, int32_t b) { return mid_x(a) < mid_x(b); });
    const std::size_t leaves = (n + kFan - 1) / kFan;
    const std::size_t tiles = static_cast<std::size_t>(std::ceil(std::sqrt(static_cast<double>(leaves))));
    const std::size_t per_tile = tiles * kFan;
    for (std::size_t t = 0; t < n; t += per_tile)
      std::sort(item_.begin() + static_cast<std::ptrdiff_t>(t),
                item_.begin() + static_cast<std::ptrdiff_t>(std::min(n, t + per_tile)),
                [&](int32_t a, int32_t b) { return mid_y(a) < mid_y(b); });
    level_.clear();
    std::vector<Box> below(n);
    for (std::size_t k = 0; k < n; ++k) below[k] = boxes[item_[k]];
    level_.push_back(std::move(below));
    while (level_.back().size() > 1) {
      const std::vector<Box>& low = level_.back();
      std::vector<Box> up((low.size() + kFan - 1) / kFan, Box{INFINITY, -INFINITY, INFINITY, -INFINITY});
      for (std::size_t k = 0; k < low.size(); ++k) {
        Box& b = up[k / kFan];
        b.x0 = std::min(b.x0, low[k].x0);
        b.x1 = std::max(b.x1, low[k].x1);
        b.y0 = std::min(b.y0, low[k].y0);
        b.y1 = std::max(b.y1, low[k].y1);
      }
      level_.push_back(std::move(up));
    }
  }

  void find(double px, double py, std::vector<int32_t>& found) {
    auto holds = [&](const Box& b) { return !(px < b.x0 || px > b.x1 || py < b.y0 || py > b.y1); };
    stack_.clear();
    if (level_.empty() || !holds(level_.back()[0])) return;
    stack_.push_back({level_.size() - 1, 0});
    // Only nodes that hold the point go on the stack: most children of a
    // node that does (one holding a ring as large as the band) do not.
    while (!stack_.empty()) {
      const auto [level, node] = stack_.back();
      stack_.pop_back();
      if (level == 0) {
        found.push_back(item_[node]);
        continue;
      }
      const std::vector<Box>& below = level_[level - 1];
      const std::size_t last = std::min(below.size(), (node + 1) * kFan);
      for (std::size_t child = node * kFan; child < last; ++child)
        if (holds(below[child])) stack_.push_back({level - 1, child});
    }
  }

 private:
  std::vector<int32_t> item_;             // the boxes in leaf order
  std::vector<std::vector<Box>> level_;   // level 0: the boxes in leaf order; the last: the root
  std::vector<std::pair<std::size_t, std::size_t>> stack_;
};

// A ring's edges by horizontal slices (see Merger::slice_edges): edge i
// (from the vertex before i to i) under slice k is in edge[start[k] ..
// start[k + 1]).
struct EdgeSlices {
  double y0 = 0, scale = 0;
  std::size_t count = 1;
  std::vector<int32_t> start;
  std::vector<int32_t> edge;

  // Not decreasing in y, so an edge is filed under every slice between those
  // of its ends.
  std::size_t slice(double y) const {
    const double at = std::floor((y - y0) * scale);
    if (!(at > 0)) return 0;
    return at >= static_cast<double>(count - 1) ? count - 1 : static_cast<std::size_t>(at);
  }
};

// Rings of more edges than this are asked through their edge slices.
constexpr std::size_t kSlicedRing = 32;

constexpr int32_t kMaxBands = 32767;  // bands from here on are left out, as they always were

// One merge, in two steps. First every corner of the usable pieces is
// numbered by its place, in the order the pieces give them (the numbers
// order the boundary, and so where rings start), and the pieces are kept by
// band as their corners' numbers alone (a byte and four bytes a corner, not
// the 48 bytes of a piece). Then each band on its own: its pieces' edges
// filed, the boundary found, traced into rings and the holes placed, its
// scratch kept for the next band (no more than the largest band needs).
class Merger {
 public:
  BandMerge run(const FillPoly* pieces, int32_t count, int32_t band_count, const TakeBand* take) {
    pieces_ = pieces;
    count_ = count;
    band_count_ = std::min(band_count, kMaxBands);
    out_ = BandMerge();
    number_vertices();
    local_.assign(out_.x.size(), -1);
    for (int32_t b = 0; b < band_count_; ++b) {
      if (band_start_[b] == band_start_[b + 1]) continue;
      file_edges(b);
      if (boundary_.empty()) continue;
      MergedBand band{b, {}};
      merge_band(0, boundary_.size(), band);
      if (band.polygons.empty()) continue;
      if (take != nullptr) (*take)(out_, band);
      else out_.bands.push_back(std::move(band));
    }
    return std::move(out_);
  }

 private:
  bool usable(const FillPoly& p) const {
    if (p.band < 0 || p.band >= band_count_ || p.nvert < 3 || p.nvert > 5) return false;
    for (int k = 0; k < p.nvert; ++k)
      if (!std::isfinite(p.x[k]) || !std::isfinite(p.y[k])) return false;
    return true;
  }

  // Numbers every corner of the usable pieces by its place, and records the
  // usable pieces by band, each band's in the pieces' order: the count of
  // its corners, then their numbers (corner_count_, corners_).
  void number_vertices() {
    band_start_.assign(static_cast<std::size_t>(band_count_) + 1, 0);
    corner_start_.assign(static_cast<std::size_t>(band_count_) + 1, 0);
    for (int32_t i = 0; i < count_; ++i) {
      const FillPoly& p = pieces_[i];
      if (!usable(p)) continue;
      ++band_start_[static_cast<std::size_t>(p.band) + 1];
      corner_start_[static_cast<std::size_t>(p.band) + 1] += static_cast<std::size_t>(p.nvert);
    }
    for (int32_t b = 0; b < band_count_; ++b) {
      band_start_[b + 1] += band_start_[b];
      corner_start_[b + 1] += corner_start_[b];
    }
    corner_count_.resize(band_start_.back());
    corners_.resize(corner_start_.back());
    std::vector<std::size_t> piece_at(band_start_.begin(), band_start_.end() - 1);
    std::vector<std::size_t> corner_at(corner_start_.begin(), corner_start_.end() - 1);
    vertices_.reset(static_cast<std::size_t>(count_) / 2, corners_.size(), &out_.x, &out_.y);
    constexpr int32_t kAhead = 8;  // pieces whose places are fetched ahead
    for (int32_t i = 0; i < count_; ++i) {
      if (i + kAhead < count_) {
        const FillPoly& ahead = pieces_[i + kAhead];
        const int n = ahead.nvert < 0 ? 0 : std::min(ahead.nvert, 5);
        for (int k = 0; k < n; ++k)
          if (const uint32_t* slot = vertices_.slot_ahead(ahead.x[k], ahead.y[k])) __builtin_prefetch(slot);
      }
      const FillPoly& p = pieces_[i];
      if (!usable(p)) continue;
      const std::size_t b = static_cast<std::size_t>(p.band);
      corner_count_[piece_at[b]++] = static_cast<uint8_t>(p.nvert);
      for (int k = 0; k < p.nvert; ++k) {
        bool added;
        corners_[corner_at[b]++] = vertices_.find_or_add(p.x[k], p.y[k], &added);
      }
    }
    vertices_.release();
  }

  // Files every edge of band b's pieces under its lower vertex; then, at
  // each vertex in the order of their numbers, the edges to the same other
  // end cancel in pairs, and those left over are the band's boundary edges
  // (boundary_), by lower vertex and then higher.
  void file_edges(int32_t b) {
    const std::size_t first = band_start_[b], last = band_start_[b + 1];
    const int32_t* band_corners = corners_.data() + corner_start_[b];
    const std::size_t corner_total = corner_start_[b + 1] - corner_start_[b];
    filing_.clear();
    for (std::size_t c = 0; c < corner_total; ++c)
      if (local_[band_corners[c]] < 0) {
        local_[band_corners[c]] = 0;
        filing_.push_back(band_corners[c]);
      }
    // Every corner is among filing_, so the lower end of every edge is; in
    // the order of the numbers, each its place in it.
    std::sort(filing_.begin(), filing_.end());
    for (std::size_t j = 0; j < filing_.size(); ++j) local_[filing_[j]] = static_cast<int32_t>(j);
    auto for_each_edge = [&](auto f) {
      const int32_t* ids = band_corners;
      for (std::size_t k = first; k < last; ids += corner_count_[k++]) {
        const int nv = corner_count_[k];
        const double a2 = area2(out_, ids, static_cast<std::size_t>(nv));
        const int32_t side = a2 > 0 ? 1 : (a2 < 0 ? -1 : 0);
        for (int c = 0; c < nv; ++c) {
          const int32_t u = ids[c], v = ids[c + 1 == nv ? 0 : c + 1];
          if (u != v) f(local_[std::min(u, v)], EdgeEnd{std::max(u, v), u < v ? side : -side});
        }
      }
    };
    Large<int32_t>& start = edge_start_;
    start.assign(filing_.size() + 1, 0);
    for_each_edge([&](int32_t lower, const EdgeEnd&) { ++start[static_cast<std::size_t>(lower) + 1]; });
    for (std::size_t v = 0; v < filing_.size(); ++v) start[v + 1] += start[v];
    filed_.resize(static_cast<std::size_t>(start.back()));
    edge_next_.assign(start.begin(), start.end() - 1);
    for_each_edge([&](int32_t lower, const EdgeEnd& e) { filed_[edge_next_[lower]++] = e; });
    boundary_.clear();
    for (std::size_t j = 0; j < filing_.size(); ++j) {
      EdgeEnd* from = filed_.data() + start[j];
      EdgeEnd* to = filed_.data() + start[j + 1];
      std::sort(from, to, [](const EdgeEnd& a, const EdgeEnd& b) { return a.higher < b.higher; });
      for (EdgeEnd* e = from; e != to;) {
        int32_t count = 0, vote = 0;
        EdgeEnd* same = e;
        for (; same != to && same->higher == e->higher; ++same) {
          ++count;
          vote += same->side;
        }
        if (count % 2 != 0) {
          const int32_t lo = filing_[j], hi = e->higher;
          boundary_.push_back(vote >= 0 ? Boundary{lo, hi, false, vote != 0} : Boundary{hi, lo, false, true});
        }
        e = same;
      }
    }
    for (int32_t v : filing_) local_[v] = -1;
  }

  // The band whose boundary edges are boundary_[first .. last).
  void merge_band(std::size_t first, std::size_t last, MergedBand& band) {
    // Boundary edges by vertex (both ends).
    touched_.clear();
    for (std::size_t k = first; k < last; ++k)
      for (int32_t v : {boundary_[k].a, boundary_[k].b})
        if (local_[v] < 0) {
          local_[v] = static_cast<int32_t>(touched_.size());
          touched_.push_back(v);
        }
    incident_start_.assign(touched_.size() + 1, 0);
    for (std::size_t k = first; k < last; ++k) {
      ++incident_start_[local_[boundary_[k].a] + 1];
      ++incident_start_[local_[boundary_[k].b] + 1];
    }
    for (std::size_t v = 0; v < touched_.size(); ++v) incident_start_[v + 1] += incident_start_[v];
    incident_.assign(static_cast<std::size_t>(incident_start_.back()), 0);
    position_.assign(touched_.size(), -1);
    std::vector<int32_t> fill(incident_start_.begin(), incident_start_.end() - 1);
    for (std::size_t k = first; k < last; ++k) {
      incident_[fill[local_[boundary_[k].a]]++] = static_cast<int32_t>(k);
      incident_[fill[local_[boundary_[k].b]]++] = static_cast<int32_t>(k);
    }

    std::vector<std::vector<int32_t>> shells, holes;
    std::vector<int32_t> ring;
    for (std::size_t k = first; k < last; ++k) {
      if (boundary_[k].used) continue;
      trace(static_cast<int32_t>(k), ring);
      split_into_loops(ring, shells, holes);
    }
    for (int32_t v : touched_) local_[v] = -1;
    assign_holes(shells, holes, band);
  }

  // The ring starting with edge k (in its known direction), turning as far
  // left as it can where several boundary edges meet, turned at the end so
  // the band lies on its left by the majority of its edges.
  void trace(int32_t k, std::vector<int32_t>& ring) {
    ring.clear();
    int32_t votes = 0;
    const int32_t start = boundary_[k].a;
    int32_t from = boundary_[k].a, at = boundary_[k].b, edge = k;
    boundary_[k].used = true;
    votes += boundary_[k].known ? 1 : 0;
    ring.push_back(from);
    while (at != start) {
      ring.push_back(at);
      edge = next_edge(from, at, edge);
      if (edge < 0) break;  // an odd end (not reached with consistent pieces)
      Boundary& e = boundary_[edge];
      e.used = true;
      const int32_t to = e.a == at ? e.b : e.a;
      if (e.known) votes += e.a == at ? 1 : -1;
      from = at;
      at = to;
    }
    if (votes < 0) std::reverse(ring.begin(), ring.end());
  }

  // The unused boundary edge at vertex `at` that turns farthest left for a
  // walk arriving from `from` along `edge`: the first one clockwise from the
  // way back.
  int32_t next_edge(int32_t from, int32_t at, int32_t edge) const {
    const int32_t v = local_[at];
    const int32_t* first = incident_.data() + incident_start_[v];
    const int32_t* last = incident_.data() + incident_start_[v + 1];
    int32_t best = -1, candidates = 0;
    for (const int32_t* p = first; p != last; ++p)
      if (*p != edge && !boundary_[*p].used) {
        ++candidates;
        best = *p;
      }
    if (candidates <= 1) return best;
    const double ax = out_.x[at], ay = out_.y[at];
    const double back = std::atan2(out_.y[from] - ay, out_.x[from] - ax);
    double best_turn = 10.0;
    for (const int32_t* p = first; p != last; ++p) {
      if (*p == edge || boundary_[*p].used) continue;
      const Boundary& e = boundary_[*p];
      const int32_t to = e.a == at ? e.b : e.a;
      double turn = back - std::atan2(out_.y[to] - ay, out_.x[to] - ax);  // clockwise from the way back
      while (turn <= 0) turn += kTwoPi;
      while (turn > kTwoPi) turn -= kTwoPi;
      if (turn < best_turn) {
        best_turn = turn;
        best = *p;
      }
    }
    return best;
  }

  // Cuts the ring at every vertex it passes twice into loops, each kept as
  // an outer ring (positive area) or a hole (negative).
  void split_into_loops(const std::vector<int32_t>& ring, std::vector<std::vector<int32_t>>& shells,
                        std::vector<std::vector<int32_t>>& holes) {
    std::vector<int32_t>& stack = stack_;
    stack.clear();
    auto keep = [&](std::vector<int32_t> loop) {
      if (loop.size() < 3) return;
      const double a2 = ring_area2(out_, loop);
      if (a2 > 0) shells.push_back(std::move(loop));
      if (a2 < 0) holes.push_back(std::move(loop));
    };
    for (int32_t v : ring) {
      const int32_t lv = local_[v];
      const int32_t at = position_[lv];
      if (at >= 0) {
        std::vector<int32_t> loop(stack.begin() + at, stack.end());
        for (std::size_t i = static_cast<std::size_t>(at) + 1; i < stack.size(); ++i) position_[local_[stack[i]]] = -1;
        stack.resize(static_cast<std::size_t>(at) + 1);
        keep(std::move(loop));
        continue;
      }
      position_[lv] = static_cast<int32_t>(stack.size());
      stack.push_back(v);
    }
    for (int32_t v : stack) position_[local_[v]] = -1;
    keep(stack);
  }

  // Whether (px, py) lies inside the ring (crossing number over the edges
  // j -> i, j the vertex before i). Only edges with one end above py and one
  // not can count, so a ring with an edge index asks only the edges of the
  // slice of py.
  bool inside(const std::vector<int32_t>& ring, const EdgeSlices* slices, double px, double py) const {
    bool in = false;
    const std::size_t n = ring.size();
    auto cross = [&](std::size_t i) {
      const std::size_t j = i == 0 ? n - 1 : i - 1;
      const double xi = out_.x[ring[i]], yi = out_.y[ring[i]];
      const double xj = out_.x[ring[j]], yj = out_.y[ring[j]];
      if ((yi > py) != (yj > py) && px < (xj - xi) * (py - yi) / (yj - yi) + xi) in = !in;
    };
    if (slices == nullptr) {
      for (std::size_t i = 0; i < n; ++i) cross(i);
      return in;
    }
    const std::size_t s = slices->slice(py);
    for (int32_t k = slices->start[s]; k < slices->start[s + 1]; ++k) cross(static_cast<std::size_t>(slices->edge[k]));
    return in;
  }

  // The edges of a ring by horizontal slices of its box, each edge under
  // every slice its span of y meets. Slices are about twice the mean height
  // of an edge, so an edge sits in about two of them and a question asks the
  // edges near one line only.
  void slice_edges(const std::vector<int32_t>& ring, float y0, float y1, EdgeSlices& s) const {
    const std::size_t n = ring.size();
    double rise = 0;
    for (std::size_t i = 0; i < n; ++i)
      rise += std::fabs(static_cast<double>(out_.y[ring[i]]) - out_.y[ring[i == 0 ? n - 1 : i - 1]]);
    const double height = static_cast<double>(y1) - y0;
    const double slices = rise > 0 ? std::min(height / (2 * rise / static_cast<double>(n)), 4.0 * static_cast<double>(n)) : 0;
    s.y0 = y0;
    s.count = slices >= 1 ? static_cast<std::size_t>(slices) : 1;
    s.scale = height > 0 ? static_cast<double>(s.count) / height : 0;
    s.start.assign(s.count + 1, 0);
    auto span = [&](std::size_t i, auto f) {
      const float a = out_.y[ring[i]], b = out_.y[ring[i == 0 ? n - 1 : i - 1]];
      const std::size_t last = s.slice(std::max(a, b));
      for (std::size_t k = s.slice(std::min(a, b)); k <= last; ++k) f(k);
    };
    for (std::size_t i = 0; i < n; ++i) span(i, [&](std::size_t k) { ++s.start[k + 1]; });
    for (std::size_t k = 0; k < s.count; ++k) s.start[k + 1] += s.start[k];
    s.edge.resize(static_cast<std::size_t>(s.start[s.count]));
    std::vector<int32_t> fill(s.start.begin(), s.start.end() - 1);
    for (std::size_t i = 0; i < n; ++i) span(i, [&](std::size_t k) { s.edge[fill[k]++] = static_cast<int32_t>(i); });
  }

  // Each hole goes to the outer ring of least area (the first of equal ones)
  // whose box and ring hold the middle of the hole's first edge; a hole that
  // none holds is left out. The boxes are found through a packed tree, the
  // ring test through the ring's edge slices once it has many edges.
  void assign_holes(std::vector<std::vector<int32_t>>& shells, std::vector<std::vector<int32_t>>& holes,
                    MergedBand& band) {
    const std::size_t first_polygon = band.polygons.size();
    if (holes.empty() || shells.empty()) {
      for (auto& s : shells) band.polygons.push_back(MergedPolygon{std::move(s), {}});
      return;
    }
    const std::size_t n = shells.size();
    boxes_.resize(n);
    rank_.resize(n);
    std::vector<double>& area = area_;
    area.resize(n);
    for (std::size_t s = 0; s < n; ++s) {
      Box b{INFINITY, -INFINITY, INFINITY, -INFINITY};
      for (int32_t v : shells[s]) {
        b.x0 = std::min(b.x0, out_.x[v]);
        b.x1 = std::max(b.x1, out_.x[v]);
        b.y0 = std::min(b.y0, out_.y[v]);
        b.y1 = std::max(b.y1, out_.y[v]);
      }
      boxes_[s] = b;
      area[s] = ring_area2(out_, shells[s]);
      rank_[s] = static_cast<int32_t>(s);
    }
    // rank_ holds the shells by area; then each shell's place in that order.
    std::stable_sort(rank_.begin(), rank_.end(), [&](int32_t a, int32_t b) { return area[a] < area[b]; });
    order_.swap(rank_);
    rank_.resize(n);
    for (std::size_t r = 0; r < n; ++r) rank_[order_[r]] = static_cast<int32_t>(r);
    tree_.build(boxes_);
    slices_.clear();
    slices_.resize(n);
    sliced_.assign(n, 0);

    for (auto& s : shells) band.polygons.push_back(MergedPolygon{std::move(s), {}});
    for (auto& h : holes) {
      const double px = (static_cast<double>(out_.x[h[0]]) + out_.x[h[1]]) / 2;
      const double py = (static_cast<double>(out_.y[h[0]]) + out_.y[h[1]]) / 2;
      candidates_.clear();
      tree_.find(px, py, candidates_);
      std::sort(candidates_.begin(), candidates_.end(), [&](int32_t a, int32_t b) { return rank_[a] < rank_[b]; });
      for (int32_t s : candidates_) {
        MergedPolygon& polygon = band.polygons[first_polygon + static_cast<std::size_t>(s)];
        const EdgeSlices* slices = nullptr;
        if (polygon.outer.size() > kSlicedRing) {
          if (!sliced_[s]) {
            slice_edges(polygon.outer, boxes_[s].y0, boxes_[s].y1, slices_[s]);
            sliced_[s] = 1;
          }
          slices = &slices_[s];
        }
        if (!inside(polygon.outer, slices, px, py)) continue;
        polygon.holes.push_back(std::move(h));
        break;
      }
    }
    slices_.clear();
  }

  const FillPoly* pieces_ = nullptr;
  int32_t count_ = 0;
  int32_t band_count_ = 0;
  BandMerge out_;
  VertexTable vertices_;
  // Band b's pieces: the counts of their corners in corner_count_[band_start_[b]
  // .. band_start_[b + 1]), the corners in corners_ from corner_start_[b].
  std::vector<std::size_t> band_start_;
  std::vector<std::size_t> corner_start_;
  Large<uint8_t> corner_count_;
  Large<int32_t> corners_;
  // The band at hand's edges.
  Large<int32_t> filing_;   // its vertices, by number
  Large<int32_t> edge_start_;
  Large<int32_t> edge_next_;
  Large<EdgeEnd> filed_;
  Large<Boundary> boundary_;
  Large<int32_t> local_;  // vertex -> its place in touched_, -1
  Large<int32_t> touched_;
  Large<int32_t> incident_start_;
  Large<int32_t> incident_;
  Large<int32_t> position_;  // by local vertex: its place on the loop stack, -1
  std::vector<int32_t> stack_;
  // Hole assignment, by shell of the band at hand.
  std::vector<Box> boxes_;
  std::vector<double> area_;
  std::vector<int32_t> order_;
  std::vector<int32_t> rank_;  // place in the order of area
  PackedTree tree_;
  std::vector<EdgeSlices> slices_;
  std::vector<uint8_t> sliced_;
  std::vector<int32_t> candidates_;
};

}  // namespace

double ring_area2(const BandMerge& m, const std::vector<int32_t>& ring) { return area2(m, ring.data(), ring.size()); }

BandMerge merge_band_pieces(const FillPoly* pieces, int32_t count, int32_t band_count) {
  Merger merger;  // its scratch is the call's own: calls on several threads never meet
  return merger.run(pieces, count, band_count, nullptr);
}

void merge_band_pieces(const FillPoly* pieces, int32_t count, int32_t band_count, const TakeBand& take) {
  Merger merger;
  merger.run(pieces, count, band_count, &take);
}

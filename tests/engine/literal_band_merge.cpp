// The band merge as it was first written, kept word for word as the
// reference of the tests and the benchmark: every hole tested against the
// outer rings of its band one by one, smallest first, each ring walked
// whole. The library's merge must give the same polygons in the same order.
#include "literal_band_merge.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace {
namespace literal {

constexpr double kTwoPi = 6.283185307179586;

// Vertex numbers by place: open addressing over a power-of-two table of
// (key, number) entries, kept at most half full; the key ~0 marks an empty
// entry (no pair of float bits has every bit set).
class VertexTable {
 public:
  static constexpr uint64_t kEmpty = ~uint64_t{0};

  void reset(std::size_t expected) {
    std::size_t size = 1024;
    while (size < 2 * expected) size *= 2;
    entries_.assign(size, Entry{kEmpty, 0});
    count_ = 0;
  }

  // The number of key, or `fresh` after adding it; *added says which.
  int32_t find_or_add(uint64_t key, int32_t fresh, bool* added) {
    if (2 * (count_ + 1) > entries_.size()) grow();
    const std::size_t mask = entries_.size() - 1;
    std::size_t at = slot(key) & mask;
    while (entries_[at].key != kEmpty && entries_[at].key != key) at = (at + 1) & mask;
    *added = entries_[at].key == kEmpty;
    if (*added) {
      entries_[at] = Entry{key, fresh};
      ++count_;
    }
    return entries_[at].number;
  }

 private:
  struct Entry {
    uint64_t key;
    int32_t number;
  };

  static std::size_t slot(uint64_t key) { return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 20); }

  void grow() {
    std::vector<Entry> old;
    old.swap(entries_);
    entries_.assign(old.size() * 2, Entry{kEmpty, 0});
    const std::size_t mask = entries_.size() - 1;
    for (const Entry& e : old) {
      if (e.key == kEmpty) continue;
      std::size_t at = slot(e.key) & mask;
      while (entries_[at].key != kEmpty) at = (at + 1) & mask;
      entries_[at] = e;
    }
  }

  std::vector<Entry> entries_;
  std::size_t count_ = 0;
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

uint32_t bits_of(float v) {
  if (v == 0.0f) v = 0.0f;  // -0 and 0 are one place
  uint32_t u;
  std::memcpy(&u, &v, sizeof u);
  return u;
}

// A piece's edge, filed under its lower vertex number: its other end, its
// band, and which way round the piece has the band on its left (+1 from the
// lower number to the higher, -1 the other way, 0 a piece of no area).
struct EdgeEnd {
  int32_t higher;
  int32_t band;
  int32_t side;
};

struct Boundary {
  int32_t a, b;  // a -> b has the band on its left when known
  bool used;
  bool known;    // the side came from pieces of area
};

// One merge at a time; the object and its scratch memory are kept from one
// call to the next, so a repeated export does not fault in fresh pages.
class Merger {
 public:
  BandMerge run(const FillPoly* pieces, int32_t count, int32_t band_count) {
    pieces_ = pieces;
    count_ = count;
    band_count_ = band_count;
    out_ = BandMerge();
    number_vertices();
    file_edges();
    local_.assign(out_.x.size(), -1);
    for (int32_t b = 0; b < band_count_; ++b) {
      const std::size_t first = band_start_[b], last = band_start_[b + 1];
      if (first == last) continue;
      MergedBand band{b, {}};
      merge_band(first, last, band);
      if (!band.polygons.empty()) out_.bands.push_back(std::move(band));
    }
    return std::move(out_);
  }

 private:
  // Numbers every corner of the usable pieces by its place.
  void number_vertices() {
    usable_.assign(static_cast<std::size_t>(count_), 0);
    corner_.assign(static_cast<std::size_t>(count_) * 5, -1);
    vertices_.reset(static_cast<std::size_t>(count_));
    for (int32_t i = 0; i < count_; ++i) {
      const FillPoly& p = pieces_[i];
      if (p.band < 0 || p.band >= band_count_ || p.nvert < 3 || p.nvert > 5) continue;
      bool finite = true;
      for (int k = 0; k < p.nvert; ++k) finite = finite && std::isfinite(p.x[k]) && std::isfinite(p.y[k]);
      if (!finite) continue;
      usable_[i] = 1;
      for (int k = 0; k < p.nvert; ++k) {
        bool added;
        const uint64_t key = uint64_t{bits_of(p.x[k])} << 32 | bits_of(p.y[k]);
        const int32_t id = vertices_.find_or_add(key, static_cast<int32_t>(out_.x.size()), &added);
        if (added) {
          out_.x.push_back(p.x[k] == 0.0f ? 0.0f : p.x[k]);
          out_.y.push_back(p.y[k] == 0.0f ? 0.0f : p.y[k]);
        }
        corner_[static_cast<std::size_t>(i) * 5 + k] = id;
      }
    }
  }

  double area2_of_piece(const int32_t* ids, int n) const { return area2(out_, ids, static_cast<std::size_t>(n)); }

  // Files every edge of the usable pieces under its lower vertex; then, at
  // each vertex, the edges of one band to the same other end cancel in
  // pairs, and those left over are the boundary edges, gathered by band.
  void file_edges() {
    const std::size_t vertices = out_.x.size();
    std::vector<int32_t>& start = edge_start_;
    start.assign(vertices + 1, 0);
    auto for_each_edge = [&](auto f) {
      for (int32_t i = 0; i < count_; ++i) {
        if (!usable_[i]) continue;
        const int32_t* ids = corner_.data() + static_cast<std::size_t>(i) * 5;
        const int nv = pieces_[i].nvert;
        const double a2 = area2_of_piece(ids, nv);
        const int32_t side = a2 > 0 ? 1 : (a2 < 0 ? -1 : 0);
        for (int c = 0; c < nv; ++c) {
          const int32_t u = ids[c], v = ids[c + 1 == nv ? 0 : c + 1];
          if (u != v) f(std::min(u, v), EdgeEnd{std::max(u, v), pieces_[i].band, u < v ? side : -side});
        }
      }
    };
    for_each_edge([&](int32_t lower, const EdgeEnd&) { ++start[lower + 1]; });
    for (std::size_t v = 0; v < vertices; ++v) start[v + 1] += start[v];
    std::vector<EdgeEnd>& filed = filed_;
    filed.resize(static_cast<std::size_t>(start[vertices]));
    std::vector<int32_t>& next = edge_next_;
    next.assign(start.begin(), start.end() - 1);
    for_each_edge([&](int32_t lower, const EdgeEnd& e) { filed[next[lower]++] = e; });
    std::vector<std::pair<int32_t, Boundary>>& found = found_;  // band, edge
    found.clear();
    for (std::size_t v = 0; v < vertices; ++v) {
      EdgeEnd* first = filed.data() + start[v];
      EdgeEnd* last = filed.data() + start[v + 1];
      std::sort(first, last, [](const EdgeEnd& a, const EdgeEnd& b) {
        return a.band != b.band ? a.band < b.band : a.higher < b.higher;
      });
      for (EdgeEnd* e = first; e != last;) {
        int32_t count = 0, vote = 0;
        EdgeEnd* same = e;
        for (; same != last && same->band == e->band && same->higher == e->higher; ++same) {
          ++count;
          vote += same->side;
        }
        if (count % 2 != 0) {
          const int32_t lo = static_cast<int32_t>(v), hi = e->higher;
          found.emplace_back(e->band, vote >= 0 ? Boundary{lo, hi, false, vote != 0} : Boundary{hi, lo, false, true});
        }
        e = same;
      }
    }
    band_start_.assign(static_cast<std::size_t>(band_count_) + 1, 0);
    for (const auto& f : found) ++band_start_[f.first + 1];
    for (int32_t b = 0; b < band_count_; ++b) band_start_[b + 1] += band_start_[b];
    boundary_.resize(found.size());
    std::vector<std::size_t> place(band_start_.begin(), band_start_.end() - 1);
    for (const auto& f : found) boundary_[place[f.first]++] = f.second;
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

  // Whether (px, py) lies inside the ring (crossing number).
  bool inside(const std::vector<int32_t>& ring, double px, double py) const {
    bool in = false;
    const std::size_t n = ring.size();
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
      const double xi = out_.x[ring[i]], yi = out_.y[ring[i]];
      const double xj = out_.x[ring[j]], yj = out_.y[ring[j]];
      if ((yi > py) != (yj > py) && px < (xj - xi) * (py - yi) / (yj - yi) + xi) in = !in;
    }
    return in;
  }

  void assign_holes(std::vector<std::vector<int32_t>>& shells, std::vector<std::vector<int32_t>>& holes,
                    MergedBand& band) {
    struct Shell {
      double area2;
      float x0, x1, y0, y1;
      int32_t index;
    };
    std::vector<Shell> by_area;
    for (std::size_t s = 0; s < shells.size(); ++s) {
      Shell sh{ring_area2(out_, shells[s]), INFINITY, -INFINITY, INFINITY, -INFINITY, static_cast<int32_t>(s)};
      for (int32_t v : shells[s]) {
        sh.x0 = std::min(sh.x0, out_.x[v]);
        sh.x1 = std::max(sh.x1, out_.x[v]);
        sh.y0 = std::min(sh.y0, out_.y[v]);
        sh.y1 = std::max(sh.y1, out_.y[v]);
      }
      by_area.push_back(sh);
    }
    std::stable_sort(by_area.begin(), by_area.end(), [](const Shell& a, const Shell& b) { return a.area2 < b.area2; });
    const std::size_t first_polygon = band.polygons.size();
    for (auto& s : shells) band.polygons.push_back(MergedPolygon{std::move(s), {}});
    for (auto& h : holes) {
      const double px = (static_cast<double>(out_.x[h[0]]) + out_.x[h[1]]) / 2;
      const double py = (static_cast<double>(out_.y[h[0]]) + out_.y[h[1]]) / 2;
      for (const Shell& s : by_area) {
        if (px < s.x0 || px > s.x1 || py < s.y0 || py > s.y1) continue;
        MergedPolygon& polygon = band.polygons[first_polygon + static_cast<std::size_t>(s.index)];
        if (!inside(polygon.outer, px, py)) continue;
        polygon.holes.push_back(std::move(h));
        break;
      }
    }
  }

  const FillPoly* pieces_ = nullptr;
  int32_t count_ = 0;
  int32_t band_count_ = 0;
  std::vector<int32_t> edge_start_;
  std::vector<int32_t> edge_next_;
  std::vector<EdgeEnd> filed_;
  std::vector<std::pair<int32_t, Boundary>> found_;
  BandMerge out_;
  VertexTable vertices_;
  std::vector<uint8_t> usable_;
  std::vector<int32_t> corner_;  // five per piece
  std::vector<Boundary> boundary_;  // by band
  std::vector<std::size_t> band_start_;
  std::vector<int32_t> local_;  // vertex -> its place in touched_, -1
  std::vector<int32_t> touched_;
  std::vector<int32_t> incident_start_;
  std::vector<int32_t> incident_;
  std::vector<int32_t> position_;  // by local vertex: its place on the loop stack, -1
  std::vector<int32_t> stack_;
};

}  // namespace literal
}  // namespace

BandMerge literal_merge_band_pieces(const FillPoly* pieces, int32_t count, int32_t band_count) {
  literal::Merger merger;
  return merger.run(pieces, count, band_count);
}

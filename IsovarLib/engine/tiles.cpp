// Tiled tracing: tiles of cell columns (or of elements) traced by a few
// threads, cut into pieces at the points where other than two segments
// meet, joined again where pieces meet, and written to the run's tables in
// the canonical order (tiles.h). The threads share the model, which they
// only read, and nothing else: each thread traces its tiles one after the
// other on working tables of its own, and each tile keeps only what the
// join reads (its points, the segments at each, its pieces and band
// pieces). Fresh memory is dear (the system clears every page on its first
// touch), so the working tables, warm after a thread's first tile, are the
// bulk of the memory and are touched once per thread, not once per tile.
// The join runs after every tile is done; a streamed trace instead joins a
// few tiles at a time, hands on the lines they finish and carries the open
// ones into the next batch as a tile of their own.
#include "engine/tiles.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <thread>
#include <unordered_map>
#include <vector>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "engine/engine_internal.h"
#include "input/model_store.h"
#include "isovar_messages.h"
#include "shared/run_context.h"

namespace {

// Where a line comes in the output: the last of its points in the walk
// (their global numbers follow it), and where several lines end at that
// point, the first of their segments there in the walk (the tile's link
// number). A line has come whole exactly when the walk has passed its key.
struct Order {
  int64_t point;
  int32_t link;
  bool operator<(const Order& o) const { return point < o.point || (point == o.point && link < o.link); }
};

// A run of a tile's points (its own slots) between two points where other
// than two segments meet, or between a border and such a point; or a whole
// ring of points where two segments meet.
struct Piece {
  int64_t begin;  // in TileWork::points
  int32_t count;
  int32_t level;
  int32_t link[2];  // at each end where other than two segments meet: its segment's link number
  bool ring;
};

}  // namespace

struct TileTables {
  // A thread's working tables, traced into tile after tile.
  struct Work {
    EngineTables t{};
    EngineFixedTables* fixed = nullptr;
    std::vector<int32_t> row;  // scratch

    ~Work() {
      release_engine_tables(t);
      unmap_zeroed(fixed, sizeof(EngineFixedTables));
    }
  };
  // What the join reads of a traced tile.
  struct Tile {
    char message[kMessageBufferSize] = {};
    ColumnMarks marks{};
    int begin = 0, end = 0;
    int result = 0;
    int32_t point_count = 1;        // its points are 1 .. point_count - 1
    std::vector<IsoPoint> iso_points;
    std::vector<FillPoly> fill_poly;  // its band pieces, when wanted
    std::vector<uint8_t> degree;    // segments meeting at each point (at most 255)
    std::vector<int32_t> points;    // the pieces' points
    std::vector<Piece> pieces;
    std::vector<int64_t> alias;     // first column: the point of the tile before, or -1
  };
  std::vector<std::unique_ptr<Work>> work;
  std::vector<std::unique_ptr<Tile>> tiles;
  // The output rows' points: each row a run of its own (never grown, as
  // rows of a finished trace are not), the points numbered along them.
  std::vector<int32_t> rows;
  // The most points a streamed trace held at once: the tiles of a batch and
  // the open lines carried.
  int64_t streamed_points = 0;
};

namespace {

using Tile = TileTables::Tile;
using Work = TileTables::Work;

// A trace of at least this many points gives its tiles' results back once
// they are written (a 10,000 x 10,000 raster's are gigabytes); smaller ones
// keep them, warm, for the next run.
constexpr int64_t kShedPoints = int64_t{1} << 24;

// The tile's number of the segment p-q: its link entry, made in walk order.
int32_t link_number(const EngineTables& t, int32_t p, int32_t q) {
  const int32_t lo = p < q ? p : q;
  const int32_t hi = p < q ? q : p;
  for (int32_t e = t.link_list[lo]; e != 0; e = t.links[e].next) {
    if (t.links[e].other == hi) return e;
  }
  return 0;
}

void add_piece(const EngineTables& t, Tile& w, const int32_t* pts, int32_t count, int32_t level, bool ring) {
  // Lines end only at points where other than two segments meet (never on
  // a border), all their segments there of one tile: the links, numbered
  // in the walk's order, order lines that end at one point.
  Piece pc{static_cast<int64_t>(w.points.size()), count, level, {0, 0}, ring};
  if (!ring && w.degree[pts[0]] != 2) pc.link[0] = link_number(t, pts[0], pts[1]);
  if (!ring && w.degree[pts[count - 1]] != 2) pc.link[1] = link_number(t, pts[count - 1], pts[count - 2]);
  w.pieces.push_back(pc);
  w.points.insert(w.points.end(), pts, pts + count);
}

// Counts the segments at each point and cuts the tile's rows (in t) into
// pieces.
void make_pieces(const EngineTables& t, Tile& w, std::vector<int32_t>& row) {
  w.degree.assign(static_cast<size_t>(t.point_count), 0);
  auto bump = [&w](int32_t p) {
    if (w.degree[p] < 255) ++w.degree[p];
  };
  for (int32_t p = 1; p < t.point_count; ++p) {
    for (int32_t e = t.link_list[p]; e != 0; e = t.links[e].next) {
      bump(p);
      bump(t.links[e].other);
    }
  }
  w.points.clear();
  w.pieces.clear();
  for (int32_t n = 0; n < t.pline_total; ++n) {
    const int32_t count = t.pline_count[n];
    if (count < 2) continue;
    row.resize(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) row[i] = pline_point(t, n, i);
    const int32_t level = t.pline_level[n];
    if (count > 2 && row[0] == row[count - 1]) {
      // A ring: whole when every point has two segments, else turned to
      // start at a point where more meet, and cut like an open row.
      const int32_t m = count - 1;
      int32_t q = 0;
      while (q < m && w.degree[row[q]] == 2) ++q;
      if (q == m) {
        add_piece(t, w, row.data(), count, level, true);
        continue;
      }
      std::rotate(row.begin(), row.begin() + q, row.begin() + m);
      row[m] = row[0];
    }
    int32_t start = 0;
    for (int32_t i = 1; i < count; ++i) {
      if (i == count - 1 || w.degree[row[i]] != 2) {
        add_piece(t, w, row.data() + start, i - start + 1, level, false);
        start = i;
      }
    }
  }
}

// Traces tile w on the working tables of a thread and keeps what the join
// reads.
void trace_tile(EngineTables& whole, Work& work, Tile& w) {
  EngineTables& t = work.t;
  t.model = whole.model;
  t.message = w.message;
  t.large = 1;
  t.bands_wanted = whole.bands_wanted;
  t.limit_reached = 0;
  reset_engine_tables(t);
  w.result = t.model->model_kind == kGridModel ? trace_grid_columns(t, w.begin, w.end, &w.marks)
                                               : trace_element_range(t, w.begin, w.end);
  try {
    if (w.result != 0) return;
    make_pieces(t, w, work.row);
    w.point_count = t.point_count;
    // Point 0 is no point; a tile without crossings may have no table yet.
    w.iso_points.resize(static_cast<size_t>(t.point_count));
    if (t.point_count > 1)
      std::memcpy(&w.iso_points[1], &t.iso_points[1], sizeof(IsoPoint) * static_cast<size_t>(t.point_count - 1));
    if (t.fill_band_table() && t.fill_poly_count > 0) {
      w.fill_poly.assign(&t.fill_poly[0], &t.fill_poly[0] + t.fill_poly_count);
    } else {
      w.fill_poly.clear();
    }
  } catch (const std::bad_alloc&) {
    w.result = engine_out_of_memory(t, "trace_grid_tiled");
  }
}

uint32_t key_bits(float f) {
  if (f == 0.0f) return 0;  // -0.0 == 0.0
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

struct PointKey {
  uint32_t x, y;
  int32_t level;
  bool operator==(const PointKey& o) const { return x == o.x && y == o.y && level == o.level; }
};

struct PointKeyHash {
  size_t operator()(const PointKey& k) const {
    uint64_t h = (uint64_t{k.x} << 32 | k.y) ^ (uint64_t(uint32_t(k.level)) * 0x9E3779B97F4A7C15ull);
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ull;
    return static_cast<size_t>(h ^ (h >> 29));
  }
};

PointKey key_of(const IsoPoint& p) { return PointKey{key_bits(p.x), key_bits(p.y), p.level}; }

// Whether grid column i can be a border: no value on it equals a level, so
// every crossing on it lies strictly inside an edge.
bool clean_column(const ModelStore& m, int i, int ny) {
  if (m.large && m.column_has_values[i] == 0) return true;
  const int n = std::clamp(static_cast<int>(m.level_count), 0, kLevelSlots);
  const float* values = m.grid_value[i];
  const int16_t* defined = m.grid_defined[i];
  for (int j = 1; j <= ny; ++j) {
    if (defined[j] == 0) continue;
    if (std::binary_search(m.levels, m.levels + n, values[j])) return false;
  }
  return true;
}

// Whether a crossing of one column can equal a crossing of the column after
// the next: never when every column is wider than a few rounding steps (as
// the large grids' point index assumes). Else one tile.
bool columns_apart(const ModelStore& m, int nx) {
  const float* x = m.grid_x.data;
  for (int i = 1; i < nx; ++i) {
    const float wide = std::fmax(std::fabs(x[i]), std::fabs(x[i + 1]));
    const float step = std::nextafter(wide, INFINITY) - wide;
    if (!(x[i + 1] - x[i] > 8 * step)) return false;
  }
  return true;
}

// The cell columns where tiles start: 1, then borders on clean columns.
std::vector<int> tile_starts(const EngineTables& t, int columns, int ny, int tiles_wanted) {
  const ModelStore& m = *t.model;
  std::vector<int> starts{1};
  if (tiles_wanted <= 1 || !columns_apart(m, columns + 1)) return starts;
  const int width = t.tile_columns > 0 ? t.tile_columns : (columns + tiles_wanted - 1) / tiles_wanted;
  for (int b = 1 + width; b <= columns; b += width) {
    // The nearest clean column after the last border, at most a tile away.
    const int limit = std::min(b + width, columns + 1);
    int at = b;
    while (at < limit && !clean_column(m, at, ny)) ++at;
    if (at < limit && at > starts.back()) starts.push_back(at);
    b = std::max(b, at);
  }
  return starts;
}

// Whether the mesh's elements are numbered with no sense of place: then
// every run of the order spreads over the whole mesh, nearly every crossing
// is shared with other tiles, and the join costs more than the threads
// save. Measured on a sample of each run's elements: the area of the box
// around a run against the box around all of them, on average.
bool scattered_runs(const ModelStore& m, const std::vector<int>& starts, int elements) {
  constexpr int kSample = 1024;  // elements looked at per run
  struct Box {
    float x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    void add(float x, float y) {
      x0 = std::fmin(x0, x);
      y0 = std::fmin(y0, y);
      x1 = std::fmax(x1, x);
      y1 = std::fmax(y1, y);
    }
    double area() const { return x1 > x0 && y1 > y0 ? (double(x1) - x0) * (double(y1) - y0) : 0.0; }
  };
  Box all;
  double runs_area = 0.0;
  for (size_t k = 0; k < starts.size(); ++k) {
    const int begin = starts[k], end = k + 1 < starts.size() ? starts[k + 1] : elements;
    const int step = std::max(1, (end - begin) / kSample);
    Box run;
    for (int i = begin; i < end; i += step) {
      const int32_t slot = m.element_order[i];
      if (slot < 0 || slot >= m.element_slots || m.element_defined[slot] == 0) continue;
      const int32_t node = node_slot(m, m.element_nodes[slot][0]);
      if (node < 0 || node >= m.node_slots || m.node_state[node] == 0) continue;
      run.add(m.node_x[node], m.node_y[node]);
      all.add(m.node_x[node], m.node_y[node]);
    }
    runs_area += run.area();
  }
  return all.area() > 0.0 && runs_area / double(starts.size()) > 0.75 * all.area();
}

// A mesh's tiles: runs of about equal length of the element order (its
// elements in ascending number), from position 0; one tile where the runs
// would be scattered (unless the tile width is set).
std::vector<int> element_tile_starts(const EngineTables& t, int elements, int tiles_wanted) {
  std::vector<int> starts{0};
  const int width = t.tile_columns > 0 ? t.tile_columns : (elements + tiles_wanted - 1) / std::max(tiles_wanted, 1);
  for (int64_t b = width; width > 0 && b < elements; b += width) starts.push_back(static_cast<int>(b));
  if (t.tile_columns == 0 && starts.size() > 1 && scattered_runs(*t.model, starts, elements)) return {0};
  return starts;
}

// One polyline of the output: pieces in order, each forwards or backwards.
struct Line {
  int64_t begin;    // in the joined list of (piece, reversed)
  int32_t count;    // pieces
  int64_t points;   // its points, a closed line's first twice
  int32_t level;
  bool closed;
};

struct PieceRef {
  int tile;
  int32_t piece;
  bool reversed;
};

// Whether p lies on a point of the grid.
bool on_grid_point(const ModelStore& m, const IsoPoint& p) {
  const float* x = m.grid_x.data + 1;
  const float* y = m.grid_y.data + 1;
  return std::binary_search(x, x + m.grid_nx, p.x) && std::binary_search(y, y + m.grid_ny, p.y);
}

class Joiner {
 public:
  Joiner(EngineTables& out, std::vector<std::unique_ptr<Tile>>& tiles, int count)
      : out_(out), tiles_(tiles), count_(count) {}

  // The borders (numbered by the tile after them) where the pieces do not
  // meet as they must: a crossing that rounds onto a grid point of the
  // border column, where more than two segments then meet. Empty when every
  // border joined; else the caller traces again without those borders.
  std::vector<int> join_borders();
  // The same for a mesh's tiles, which may share points wherever they lie
  // in the element order: the borders from the first to the last tile of a
  // point where they do not meet one to one.
  std::vector<int> join_shared_points();
  void join_pieces();
  // The borders within a line that both sides traced as one segment, back
  // and forth (a ring of two segments, which a trace in one piece never
  // makes: it keeps each segment once).
  std::vector<int> doubled_segments() const;
  int write(std::vector<int32_t>& rows, int threads);
  // Hands sink the lines that have no piece in tile `held` (none: -1), in
  // the output order; keeps the others' pieces outside that tile in
  // *carried, a tile of their own for the next join. 0, or the sink's
  // nonzero answer.
  int stream(LineSink& sink, int held, std::unique_ptr<Tile>* carried);

 private:
  // Calls put(i, g) for each point of the line in turn, g its global
  // number; returns how many.
  template <class Put>
  int64_t line_row(const Line& line, Put&& put) const {
    int64_t m = 0;
    for (int32_t r = 0; r < line.count; ++r) {
      const PieceRef& ref = refs_[line.begin + r];
      const Tile& w = *tiles_[ref.tile];
      const Piece& pc = w.pieces[ref.piece];
      const int32_t* pts = w.points.data() + pc.begin;
      for (int32_t i = m == 0 ? 0 : 1; i < pc.count; ++i) {
        put(m, gid(ref.tile, pts[ref.reversed ? pc.count - 1 - i : i]));
        ++m;
      }
    }
    return m;
  }
  // A closed line that is not a ring of two-segment points starts where
  // it is ended.
  bool starts_at_end(const Line& line) const {
    const PieceRef& head = refs_[line.begin];
    return line.closed && !tiles_[head.tile]->pieces[head.piece].ring &&
           tiles_[head.tile]->degree[point_at(head, 0)] != 2;
  }
  // The line's place in the output: from the global numbers of its first,
  // last and greatest points in the order its pieces were joined, or found.
  Order key(const Line& line, int64_t first, int64_t last, int64_t greatest) const;
  Order key(const Line& line) const;
  int64_t gid(int k, int32_t p) const {
    const Tile& w = *tiles_[k];
    if (p < static_cast<int32_t>(w.alias.size()) && w.alias[p] >= 0) return w.alias[p];
    return base_[k] + p;
  }
  int32_t point_at(const PieceRef& r, int32_t i) const {
    const Tile& w = *tiles_[r.tile];
    const Piece& pc = w.pieces[r.piece];
    return w.points[pc.begin + (r.reversed ? pc.count - 1 - i : i)];
  }
  // base_ and piece_base_ for the tiles as traced; no aliases yet.
  void number_tiles();
  void walk(int k, int32_t piece, int end_in, std::vector<uint8_t>& seen, bool ring);
  bool on_grid_point(const IsoPoint& p) const { return ::on_grid_point(*out_.model, p); }

  EngineTables& out_;
  std::vector<std::unique_ptr<Tile>>& tiles_;
  int count_;
  std::vector<int64_t> base_;         // each tile's first global point number
  std::vector<int64_t> piece_base_;   // each tile's first global piece number
  std::vector<int64_t> partner_;      // per piece end: the piece end it meets, or -1
  std::vector<PieceRef> refs_;
  std::vector<Line> lines_;
};

void Joiner::number_tiles() {
  base_.assign(static_cast<size_t>(count_) + 1, 0);
  piece_base_.assign(static_cast<size_t>(count_) + 1, 0);
  for (int k = 0; k < count_; ++k) {
    base_[k + 1] = base_[k] + tiles_[k]->point_count;
    piece_base_[k + 1] = piece_base_[k] + static_cast<int64_t>(tiles_[k]->pieces.size());
    tiles_[k]->alias.clear();
  }
}

// Borders first + 1 .. last as a sorted list.
std::vector<int> borders_between(const std::vector<std::pair<int, int>>& spans, int count) {
  std::vector<uint8_t> cut(static_cast<size_t>(count), 0);
  for (const auto& [first, last] : spans)
    for (int k = first + 1; k <= last; ++k) cut[k] = 1;
  std::vector<int> borders;
  for (int k = 1; k < count; ++k)
    if (cut[k]) borders.push_back(k);
  return borders;
}

std::vector<int> Joiner::join_borders() {
  if (out_.model->model_kind != kGridModel) return join_shared_points();
  std::vector<int> bad;
  number_tiles();
  std::unordered_map<PointKey, int32_t, PointKeyHash> right;
  for (int k = 1; k < count_; ++k) {
    Tile& l = *tiles_[k - 1];
    Tile& r = *tiles_[k];
    right.clear();
    for (int32_t q = 1; q < r.marks.first_column_end; ++q) {
      const IsoPoint& pt = r.iso_points[q];
      if (pt.x == pt.x && pt.y == pt.y) right.emplace(key_of(pt), q);
    }
    r.alias.assign(static_cast<size_t>(r.marks.first_column_end), -1);
    for (int32_t p = l.marks.last_column_begin; p < l.point_count; ++p) {
      const auto it = right.find(key_of(l.iso_points[p]));
      if (it == right.end()) continue;
      const int32_t q = it->second;
      // A crossing strictly inside a border edge ends one piece on each side.
      // One rounded onto a grid point of the border may meet other segments
      // there, or end a segment along the border that both sides traced.
      const bool aliased = p < static_cast<int32_t>(l.alias.size()) && l.alias[p] >= 0;
      if (l.degree[p] != 1 || r.degree[q] != 1 || aliased || on_grid_point(l.iso_points[p])) {
        bad.push_back(k);
        break;
      }
      r.alias[q] = gid(k - 1, p);
      l.degree[p] = r.degree[q] = 2;
    }
  }
  return bad;
}

std::vector<int> Joiner::join_shared_points() {
  number_tiles();
  // Every comparable point of every tile in one open-addressed table, each
  // key held by the first tile that has it (0: an empty slot; a point is
  // never 0). A later tile's point of the same key is that point.
  const int64_t total = base_[count_];
  size_t size = 16;
  while (static_cast<int64_t>(size) < 2 * total) size <<= 1;
  std::vector<uint64_t> table(size, 0);
  std::vector<std::pair<int, int>> spans;
  for (int k = 0; k < count_; ++k) {
    Tile& w = *tiles_[k];
    w.alias.assign(static_cast<size_t>(w.point_count), -1);
    for (int32_t p = 1; p < w.point_count; ++p) {
      const IsoPoint& pt = w.iso_points[p];
      if (!(pt.x == pt.x && pt.y == pt.y)) continue;
      const PointKey key = key_of(pt);
      for (size_t h = PointKeyHash{}(key) & (size - 1);; h = (h + 1) & (size - 1)) {
        const uint64_t e = table[h];
        if (e == 0) {
          table[h] = uint64_t(uint32_t(k)) << 32 | uint32_t(p);
          break;
        }
        const int a = static_cast<int>(e >> 32);
        const int32_t q = static_cast<int32_t>(e & 0xFFFFFFFFu);
        if (!(key_of(tiles_[a]->iso_points[q]) == key)) continue;
        // One segment on each side, and no third tile (the first side has
        // two once joined): else more than two segments meet there, which
        // the tiles in between must see together.
        if (tiles_[a]->degree[q] != 1 || w.degree[p] != 1) {
          spans.emplace_back(a, k);
        } else {
          w.alias[p] = gid(a, q);
          tiles_[a]->degree[q] = w.degree[p] = 2;
        }
        break;
      }
    }
  }
  return borders_between(spans, count_);
}

std::vector<int> Joiner::doubled_segments() const {
  std::vector<std::pair<int, int>> spans;
  for (const Line& line : lines_) {
    if (!line.closed || line.points != 3) continue;
    int first = count_, last = -1;
    for (int32_t r = 0; r < line.count; ++r) {
      first = std::min(first, refs_[line.begin + r].tile);
      last = std::max(last, refs_[line.begin + r].tile);
    }
    spans.emplace_back(first, last);
  }
  return borders_between(spans, count_);
}

void Joiner::join_pieces() {
  // Pair the ends of pieces at points where two segments meet.
  partner_.assign(static_cast<size_t>(2 * piece_base_[count_]), -1);
  std::unordered_map<int64_t, int64_t> open;
  for (int k = 0; k < count_; ++k) {
    const Tile& w = *tiles_[k];
    for (size_t i = 0; i < w.pieces.size(); ++i) {
      const Piece& pc = w.pieces[i];
      if (pc.ring) continue;
      for (int end = 0; end < 2; ++end) {
        const int32_t p = w.points[pc.begin + (end == 0 ? 0 : pc.count - 1)];
        if (w.degree[p] != 2) continue;
        const int64_t id = 2 * (piece_base_[k] + static_cast<int64_t>(i)) + end;
        const auto [it, fresh] = open.emplace(gid(k, p), id);
        if (fresh) continue;
        partner_[id] = it->second;
        partner_[it->second] = id;
        open.erase(it);
      }
    }
  }
  // Walk the chains: from free ends first, then the cycles left, then rings.
  std::vector<uint8_t> seen(static_cast<size_t>(piece_base_[count_]), 0);
  refs_.clear();
  lines_.clear();
  for (int pass = 0; pass < 3; ++pass) {
    for (int k = 0; k < count_; ++k) {
      const Tile& w = *tiles_[k];
      for (size_t i = 0; i < w.pieces.size(); ++i) {
        const int64_t g = piece_base_[k] + static_cast<int64_t>(i);
        if (seen[g] || w.pieces[i].ring != (pass == 2)) continue;
        if (pass == 0) {
          const int end = partner_[2 * g] < 0 ? 0 : partner_[2 * g + 1] < 0 ? 1 : -1;
          if (end >= 0) walk(k, static_cast<int32_t>(i), end, seen, false);
        } else {
          walk(k, static_cast<int32_t>(i), 0, seen, true);
        }
      }
    }
  }
}

void Joiner::walk(int k, int32_t piece, int end_in, std::vector<uint8_t>& seen, bool ring) {
  Line line{static_cast<int64_t>(refs_.size()), 0, 1, tiles_[k]->pieces[piece].level, ring};
  for (;;) {
    const int64_t g = piece_base_[k] + piece;
    if (seen[g]) break;  // back at the start of a cycle
    seen[g] = 1;
    refs_.push_back(PieceRef{k, piece, end_in == 1});
    ++line.count;
    line.points += tiles_[k]->pieces[piece].count - 1;
    const int64_t next = partner_[2 * g + (end_in ^ 1)];
    if (next < 0) break;
    const int64_t np = next / 2;
    k = static_cast<int>(std::upper_bound(piece_base_.begin(), piece_base_.begin() + count_, np) -
                         piece_base_.begin()) - 1;
    piece = static_cast<int32_t>(np - piece_base_[k]);
    end_in = static_cast<int>(next % 2);
  }
  if (!ring) {
    // An open chain that starts and ends at one point is closed too.
    std::vector<PieceRef>::const_iterator last = refs_.end() - 1;
    const Piece& tail = tiles_[last->tile]->pieces[last->piece];
    line.closed = gid(refs_[line.begin].tile, point_at(refs_[line.begin], 0)) ==
                  gid(last->tile, point_at(*last, tail.count - 1));
  }
  lines_.push_back(line);
}

// The heap's free memory returned to the system: the tiles' results, freed
// in pieces of every size, would otherwise stay with the process while the
// output is written.
void give_back_memory() {
#ifdef __GLIBC__
  malloc_trim(0);
#endif
}

// Calls f(k, worker) for k in [0, count) on up to `threads` threads, the
// calling one among them (worker 0; the others 1, 2, ...).
template <class F>
void in_parallel(int count, int threads, F&& f) {
  std::atomic<int> next{0};
  auto work = [&](int worker) {
    for (int k = next++; k < count; k = next++) f(k, worker);
  };
  std::vector<std::thread> pool;
  const int helpers = std::min(threads, count) - 1;
  for (int h = 0; h < helpers; ++h) {
    try {
      pool.emplace_back(work, h + 1);
    } catch (const std::exception&) {
      break;  // no more threads to be had: the ones there do the work
    }
  }
  work(0);
  for (std::thread& th : pool) th.join();
}

// A line's m points (as numbers that follow the walk: see Order), the last
// repeating the first when closed, put in the canonical direction and,
// closed, from the canonical start (tiles.h).
template <class Int>
void orient(Int* seq, int64_t m, bool closed, bool from_end) {
  if (!closed) {
    if (m > 1 && seq[m - 1] < seq[0]) std::reverse(seq, seq + m);
    return;
  }
  Int* const end = seq + m - 1;  // the repeated first point left aside
  std::rotate(seq, from_end ? seq : std::min_element(seq, end), end);
  if (m > 3 && seq[m - 2] < seq[1]) std::reverse(seq + 1, end);
  *end = seq[0];
}

Order Joiner::key(const Line& line, int64_t first, int64_t last, int64_t greatest) const {
  const PieceRef& head = refs_[line.begin];
  const PieceRef& tail = refs_[line.begin + line.count - 1];
  const Tile& h = *tiles_[head.tile];
  const Tile& e = *tiles_[tail.tile];
  int32_t link = INT32_MAX;
  if (first == greatest && h.degree[point_at(head, 0)] != 2) link = h.pieces[head.piece].link[head.reversed ? 1 : 0];
  if (last == greatest && e.degree[point_at(tail, e.pieces[tail.piece].count - 1)] != 2)
    link = std::min(link, e.pieces[tail.piece].link[tail.reversed ? 0 : 1]);
  return Order{greatest, link == INT32_MAX ? 0 : link};
}

Order Joiner::key(const Line& line) const {
  int64_t first = -1, last = -1, greatest = -1;
  line_row(line, [&](int64_t i, int64_t g) {
    if (i == 0) first = g;
    last = g;
    greatest = std::max(greatest, g);
  });
  return key(line, first, last, greatest);
}

int Joiner::write(std::vector<int32_t>& rows, int threads) {
  EngineTables& t = out_;
  reset_engine_tables(t);
  const int64_t lines = static_cast<int64_t>(lines_.size());
  int64_t total = 0;
  for (const Line& line : lines_) total += line.points;
  // The tiles' point tables one after the other: a point's global number is
  // its slot there (a border point's the left tile's).
  const int64_t slots = base_[count_];
  if (lines >= table_limits(true).plines || slots >= table_limits(true).point_slots ||
      !t.pline_store.reserve(lines + 1) || !t.pline_count.reserve(lines + 1) ||
      !t.pline_level.reserve(lines + 1) || !t.pline_closed.reserve(lines + 1) || !t.iso_points.reserve(slots + 1)) {
    return engine_out_of_memory(t, "trace_grid_tiled");
  }
  std::vector<Order> keys;
  std::vector<int64_t> sorted;
  try {
    rows.resize(static_cast<size_t>(total));
    keys.resize(static_cast<size_t>(lines));
    sorted.resize(static_cast<size_t>(lines));
  } catch (const std::bad_alloc&) {
    return engine_out_of_memory(t, "trace_grid_tiled");
  }
  constexpr int64_t kLinesPerTask = 4096;
  const int tasks = static_cast<int>((lines + kLinesPerTask - 1) / kLinesPerTask);
  auto task_lines = [lines](int task) {
    return std::make_pair(task * kLinesPerTask, std::min(lines, (task + 1) * kLinesPerTask));
  };
  in_parallel(tasks, threads, [&](int task, int) {
    for (auto [n, end] = task_lines(task); n < end; ++n) keys[n] = key(lines_[n]);
  });
  // The lines come mostly in order already (most of them lie within one
  // tile): a merge sort takes them in a third of the time introsort does.
  for (int64_t n = 0; n < lines; ++n) sorted[n] = n;
  std::stable_sort(sorted.begin(), sorted.end(), [&keys](int64_t a, int64_t b) { return keys[a] < keys[b]; });
  // The rows in the output's order, one after the other, as the drawing
  // reads them.
  std::vector<int64_t> offset(static_cast<size_t>(lines) + 1, 0);
  for (int64_t i = 0; i < lines; ++i) offset[i + 1] = offset[i] + lines_[sorted[i]].points;
  in_parallel(tasks, threads, [&](int task, int) {
    for (auto [i, end] = task_lines(task); i < end; ++i) {
      const Line& line = lines_[sorted[i]];
      int32_t* const row = rows.data() + offset[i];
      const int64_t m = line_row(line, [row](int64_t j, int64_t g) { row[j] = static_cast<int32_t>(g); });
      orient(row, m, line.closed, starts_at_end(line));
      t.pline_store[i] = PlineStore{row, static_cast<int32_t>(m), 0, 0};
      t.pline_count[i] = static_cast<int32_t>(m);
      t.pline_level[i] = line.level;
      t.pline_closed[i] = line.closed ? 1 : 0;
    }
  });
  // The rows are made: each tile's points are copied, and in a large trace
  // its results go as they are (its band pieces after they are copied), so
  // that the tiles' memory turns into the run's instead of adding to it.
  // Smaller ones keep theirs for the next run, which then finds its memory
  // warm.
  std::vector<PieceRef>().swap(refs_);
  const bool shed = slots >= kShedPoints;
  in_parallel(count_, threads, [&](int task, int) {
    Tile& tile = *tiles_[task];
    if (tile.point_count > 1)
      std::memcpy(&t.iso_points[base_[task] + 1], &tile.iso_points[1], sizeof(IsoPoint) * size_t(tile.point_count - 1));
    if (!shed) return;
    std::vector<int32_t>().swap(tile.points);
    std::vector<Piece>().swap(tile.pieces);
    std::vector<uint8_t>().swap(tile.degree);
    std::vector<int64_t>().swap(tile.alias);
    std::vector<IsoPoint>().swap(tile.iso_points);
    // What the tiles gave up goes back to the system as the run's points
    // take its place, not after them.
    if (task % 16 == 15) give_back_memory();
  });
  t.pline_total = static_cast<int32_t>(lines);
  t.point_count = static_cast<int32_t>(slots);
  if (t.fill_band_table()) {
    int64_t pieces = 0;
    for (int k = 0; k < count_; ++k) pieces += static_cast<int64_t>(tiles_[k]->fill_poly.size());
    if (pieces >= table_limits(true).fill_poly_slots || !t.fill_poly.reserve(pieces + 1))
      return engine_out_of_memory(t, "trace_grid_tiled");
    for (int k = 0; k < count_; ++k) {
      const std::vector<FillPoly>& pieces_of = tiles_[k]->fill_poly;
      if (!pieces_of.empty())
        std::memcpy(&t.fill_poly[t.fill_poly_count], pieces_of.data(), sizeof(FillPoly) * pieces_of.size());
      t.fill_poly_count += static_cast<int32_t>(pieces_of.size());
      // The run's table holds them now: the tile's copy goes whatever the
      // size (a band piece is 48 bytes, millions of them at a few thousand
      // cells a side).
      std::vector<FillPoly>().swap(tiles_[k]->fill_poly);
    }
  }
  return 0;
}

int Joiner::stream(LineSink& sink, int held, std::unique_ptr<Tile>* carried) {
  std::vector<int64_t> row;
  auto fill = [this, &row](const Line& line) {
    row.resize(static_cast<size_t>(line.points));
    return line_row(line, [&row](int64_t i, int64_t g) { row[i] = g; });
  };
  std::vector<std::pair<Order, int64_t>> done;
  std::vector<PieceRef> open;
  for (int64_t n = 0; n < static_cast<int64_t>(lines_.size()); ++n) {
    const Line& line = lines_[n];
    const auto refs = refs_.begin() + line.begin;
    if (std::none_of(refs, refs + line.count, [held](const PieceRef& r) { return r.tile == held; })) {
      done.emplace_back(key(line), n);
      continue;
    }
    for (auto r = refs; r != refs + line.count; ++r)
      if (r->tile != held) open.push_back(*r);
  }
  std::stable_sort(done.begin(), done.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  auto owner = [this](int64_t g) {
    return static_cast<int>(std::upper_bound(base_.begin(), base_.begin() + count_, g) - base_.begin()) - 1;
  };
  std::vector<IsoPoint> points;
  for (const auto& [order, n] : done) {
    const Line& line = lines_[n];
    const int64_t m = fill(line);
    orient(row.data(), m, line.closed, starts_at_end(line));
    points.resize(static_cast<size_t>(m));
    for (int64_t i = 0; i < m; ++i) {
      const int k = owner(row[i]);
      points[i] = tiles_[k]->iso_points[row[i] - base_[k]];
    }
    if (const int stop = sink.line(line.level, line.closed, points.data(), m)) return stop;
  }
  if (held < 0) return 0;
  auto c = std::make_unique<Tile>();
  c->marks.last_column_begin = 1;
  if (held == 0) {  // the held tile holds every line there is
    *carried = std::move(c);
    return 0;
  }
  // The held tile meets the one before it afresh in the next join: the
  // crossings of their border end one piece on either side again.
  Tile& right = *tiles_[held];
  Tile& left = *tiles_[held - 1];
  for (size_t q = 0; q < right.alias.size(); ++q) {
    if (right.alias[q] < 0) continue;
    left.degree[right.alias[q] - base_[held - 1]] = 1;
    right.degree[q] = 1;
  }
  // The open lines' pieces, their points numbered anew in the walk's order.
  std::vector<int64_t> ids;
  for (const PieceRef& r : open) {
    const Piece& pc = tiles_[r.tile]->pieces[r.piece];
    for (int32_t i = 0; i < pc.count; ++i) ids.push_back(gid(r.tile, tiles_[r.tile]->points[pc.begin + i]));
  }
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  c->point_count = static_cast<int32_t>(ids.size()) + 1;
  c->iso_points.resize(ids.size() + 1);
  c->degree.assign(ids.size() + 1, 0);
  for (size_t i = 0; i < ids.size(); ++i) {
    const int k = owner(ids[i]);
    c->iso_points[i + 1] = tiles_[k]->iso_points[ids[i] - base_[k]];
    c->degree[i + 1] = tiles_[k]->degree[ids[i] - base_[k]];
  }
  // Its last column: the points of the tile before the held one's, where
  // the border is.
  const int64_t border = base_[held - 1] + left.marks.last_column_begin;
  c->marks.last_column_begin = static_cast<int32_t>(std::lower_bound(ids.begin(), ids.end(), border) - ids.begin()) + 1;
  for (const PieceRef& r : open) {
    const Tile& w = *tiles_[r.tile];
    Piece pc = w.pieces[r.piece];
    const int64_t from = pc.begin;
    pc.begin = static_cast<int64_t>(c->points.size());
    for (int32_t i = 0; i < pc.count; ++i) {
      const int64_t g = gid(r.tile, w.points[from + i]);
      c->points.push_back(static_cast<int32_t>(std::lower_bound(ids.begin(), ids.end(), g) - ids.begin()) + 1);
    }
    c->pieces.push_back(pc);
  }
  *carried = std::move(c);
  return 0;
}

// Working tables for up to `workers` threads: 0, or -1 with the message.
int make_work(EngineTables& t, int workers) {
  TileTables& tt = *t.tiles;
  while (static_cast<int>(tt.work.size()) < workers) {
    auto w = std::make_unique<Work>();
    w->fixed = static_cast<EngineFixedTables*>(map_zeroed(sizeof(EngineFixedTables)));
    if (w->fixed == nullptr) return engine_out_of_memory(t, "trace_grid_tiled");
    attach_engine_tables(w->t, w->fixed);
    tt.work.push_back(std::move(w));
  }
  return 0;
}

// Traces the tiles of the list (their begin and end set) on the first
// `workers` working tables (made already), each tile's result in it.
void trace_on(EngineTables& t, const std::vector<Tile*>& list, int workers) {
  TileTables& tt = *t.tiles;
  in_parallel(static_cast<int>(list.size()), workers,
              [&](int k, int worker) { trace_tile(t, *tt.work[worker], *list[k]); });
}

// 0, or -1 with the first failing tile's message.
int first_failure(EngineTables& t, const std::vector<Tile*>& list) {
  for (const Tile* w : list) {
    if (w->result != 0) {
      std::memcpy(t.message, w->message, kMessageBufferSize);
      return -1;
    }
  }
  return 0;
}

// Traces the tiles of the list on up to `threads` threads: 0 or -1 with the
// first failing tile's message.
int trace_list(EngineTables& t, const std::vector<Tile*>& list, int threads) {
  const int workers = std::max(1, std::min(threads, static_cast<int>(list.size())));
  if (make_work(t, workers) != 0) return -1;
  trace_on(t, list, workers);
  return first_failure(t, list);
}

std::vector<Tile*> pointers(const std::vector<std::unique_ptr<Tile>>& tiles) {
  std::vector<Tile*> list;
  for (const auto& w : tiles) list.push_back(w.get());
  return list;
}

// Traces the tiles starting at the given cell columns (or positions in the
// element order), the last ending before last_end, on up to `threads`
// threads: 0 or -1 with the first failing tile's message.
int trace_tiles(EngineTables& t, const std::vector<int>& starts, int last_end, int threads) {
  TileTables& tt = *t.tiles;
  const int count = static_cast<int>(starts.size());
  while (static_cast<int>(tt.tiles.size()) < count) tt.tiles.push_back(std::make_unique<Tile>());
  std::vector<Tile*> list;
  for (int k = 0; k < count; ++k) {
    tt.tiles[k]->begin = starts[k];
    tt.tiles[k]->end = k + 1 < count ? starts[k + 1] : last_end;
    list.push_back(tt.tiles[k].get());
  }
  return trace_list(t, list, threads);
}

// Where the tiles start (cell columns, or positions in the element order),
// and in *last_end where the last ends.
std::vector<int> plan_tiles(EngineTables& t, int threads, int* last_end) {
  // Tiles of about a quarter million cells (or elements): small enough
  // tables trace faster even on one thread (on the 2000 x 2000 field, 16
  // tiles on one thread take 0.7 of one tile's time), and enough of them to
  // share out.
  constexpr int64_t kTileCells = int64_t{1} << 18;
  const bool grid = t.model->model_kind == kGridModel;
  int ny = 0;
  const int units = grid ? grid_cell_columns(*t.model, &ny) : std::max(t.model->element_ordered, 0);
  const int64_t width = grid ? std::max<int64_t>(1, kTileCells / std::max(ny - 1, 1)) : kTileCells;
  int wanted = static_cast<int>(std::max<int64_t>(threads, (units + width - 1) / width));
  if (t.tile_columns > 0) wanted = std::max(1, (units + t.tile_columns - 1) / t.tile_columns);
  *last_end = grid ? units + 1 : units;
  return grid ? tile_starts(t, units, ny, wanted) : element_tile_starts(t, units, wanted);
}

// The next batch's tiles, traced on a thread of their own (and helpers, up
// to one fewer than the run's threads) while the batch before is joined and
// handed on, which the calling thread does alone. Nothing when the run has
// one thread, or no thread can be had: the batch's tiles are then traced
// with it, as the batch's first step.
class TracedAhead {
 public:
  TracedAhead(EngineTables& t, const std::vector<std::unique_ptr<Tile>>& tiles, int threads) {
    if (threads < 2 || tiles.empty()) return;
    const int workers = std::max(1, std::min(threads - 1, static_cast<int>(tiles.size())));
    if (make_work(t, workers) != 0) return;
    list_ = pointers(tiles);
    try {
      thread_ = std::thread([this, &t, workers] { trace_on(t, list_, workers); });
    } catch (const std::exception&) {
      list_.clear();
    }
  }
  ~TracedAhead() { wait(); }
  TracedAhead(const TracedAhead&) = delete;
  TracedAhead& operator=(const TracedAhead&) = delete;

  void wait() {
    if (thread_.joinable()) thread_.join();
  }
  // The tiles traced here (once waited for); none when they were not.
  const std::vector<Tile*>& tiles() const { return list_; }
  // The points of the tiles traced ahead (once waited for).
  int64_t points() const {
    int64_t n = 0;
    for (const Tile* w : list_) n += w->point_count;
    return n;
  }

 private:
  std::vector<Tile*> list_;
  std::thread thread_;
};

// Joins the tiles of `real`, traced, (after `carried`, the open lines of
// the tiles before, when there is one) and hands sink the lines that are
// whole; the last tile is held back when `holds`: its lines wait for the
// next batch. Borders that do not join merge their tiles, which are traced
// again.
int stream_batch(EngineTables& t, LineSink& sink, std::vector<std::unique_ptr<Tile>>& real,
                 std::unique_ptr<Tile>& carried, std::unique_ptr<Tile>& held, bool holds, int threads,
                 TracedAhead& ahead, int64_t* batch_points) {
  for (;;) {
    const bool has_carried = carried != nullptr;
    int64_t held_points = has_carried ? carried->point_count : 0;
    for (const auto& w : real) held_points += w->point_count;
    *batch_points = std::max(*batch_points, held_points);
    std::vector<uint8_t> degree;
    std::vector<std::unique_ptr<Tile>> all;
    if (has_carried) {
      degree = carried->degree;
      all.push_back(std::move(carried));
    }
    for (auto& w : real) all.push_back(std::move(w));
    const int first = has_carried ? 1 : 0;
    Joiner joiner(t, all, static_cast<int>(all.size()));
    std::vector<int> bad = joiner.join_borders();
    if (bad.empty()) {
      joiner.join_pieces();
      bad = joiner.doubled_segments();
    }
    if (bad.empty()) {
      std::unique_ptr<Tile> open;
      const int stop = joiner.stream(sink, holds ? static_cast<int>(all.size()) - 1 : -1, &open);
      if (stop != 0) return stop;
      held = holds ? std::move(all.back()) : nullptr;
      carried = std::move(open);
      return 0;
    }
    // Tiles either side of a border that did not join become one, and all
    // are traced again (the join marked their borders' points), on the
    // working tables the next batch's tiles are done with.
    ahead.wait();
    if (has_carried) {
      carried = std::move(all[0]);
      carried->degree = std::move(degree);
    }
    for (size_t k = 0; k < real.size(); ++k) real[k] = std::move(all[first + k]);
    for (auto k = bad.rbegin(); k != bad.rend(); ++k) {
      // The open lines met this tile in the batch before: their border
      // joined then and cannot fail now.
      if (*k == first) {
        copy_message(t.message, kMessageBufferSize, msg::tiles_border_not_joined);
        return -1;
      }
      real[*k - first - 1]->end = real[*k - first]->end;
      real.erase(real.begin() + (*k - first));
    }
    held = nullptr;
    if (trace_list(t, pointers(real), threads) != 0) return -1;
  }
}

int stream_in_tiles(EngineTables& t, LineSink& sink) {
  const int threads = thread_count(t);
  int last_end = 0;
  const std::vector<int> starts = plan_tiles(t, threads, &last_end);
  // A few tiles per thread at a time, and the last of them held back
  // (traced, its lines kept for the next batch) while more follow, so that
  // a border that does not join can still move.
  const size_t per_batch = static_cast<size_t>(std::max(2, 2 * threads));
  std::unique_ptr<Tile> carried, held;
  size_t next = 0;
  auto take = [&](size_t count) {
    std::vector<std::unique_ptr<Tile>> fresh;
    for (; fresh.size() < count && next < starts.size(); ++next) {
      auto w = std::make_unique<Tile>();
      w->begin = starts[next];
      w->end = next + 1 < starts.size() ? starts[next + 1] : last_end;
      fresh.push_back(std::move(w));
    }
    return fresh;
  };
  std::vector<std::unique_ptr<Tile>> fresh = take(per_batch);
  bool fresh_traced = false;
  while (held != nullptr || !fresh.empty()) {
    if (!fresh_traced && trace_list(t, pointers(fresh), threads) != 0) return -1;
    std::vector<std::unique_ptr<Tile>> real;
    if (held != nullptr) real.push_back(std::move(held));
    for (auto& w : fresh) real.push_back(std::move(w));
    const bool holds = next < starts.size();
    // While this batch is joined and handed on, the next one's tiles are
    // traced on the other threads.
    fresh = take(per_batch - 1);
    TracedAhead ahead(t, fresh, threads);
    int64_t batch_points = 0;
    const int stop = stream_batch(t, sink, real, carried, held, holds, threads, ahead, &batch_points);
    ahead.wait();
    t.tiles->streamed_points = std::max(t.tiles->streamed_points, batch_points + ahead.points());
    if (stop != 0) return stop;
    fresh_traced = !ahead.tiles().empty();
    if (first_failure(t, ahead.tiles()) != 0) return -1;
  }
  return 0;
}

}  // namespace

namespace {
int trace_in_tiles(EngineTables& t);
}  // namespace

int trace_grid_streamed(EngineTables& t, const ModelStore& model, char* message, LineSink& sink) {
  t.model = &model;
  t.message = message;
  t.large = 1;
  t.bands_wanted = 0;
  t.limit_reached = 0;
  try {
    reset_engine_tables(t);
    if (t.tiles == nullptr) {
      t.tiles = new (std::nothrow) TileTables;
      if (t.tiles == nullptr) return engine_out_of_memory(t, "trace_grid_tiled");
    }
    // The batch trace's tiles and rows are not needed here.
    t.tiles->streamed_points = 0;
    t.tiles->tiles.clear();
    std::vector<int32_t>().swap(t.tiles->rows);
    return stream_in_tiles(t, sink);
  } catch (const std::bad_alloc&) {
    return engine_out_of_memory(t, "trace_grid_tiled");
  }
}

bool traced_in_tiles(const EngineTables& t, const ModelStore& model, bool large) {
  if (!large) return false;
  if (model.model_kind != kGridModel) {
    // The element order the tiles cut is a large model's.
    if (model.large == 0) return false;
    return t.force_tiles != 0 || model.element_slots > kNodeSlots || model.node_slots > kNodeSlots;
  }
  return t.force_tiles != 0 || model.grid_nx > kMaxGridNx || model.grid_ny > kMaxGridNy;
}

int trace_grid_tiled(EngineTables& t) {
  try {
    return trace_in_tiles(t);
  } catch (const std::bad_alloc&) {
    return engine_out_of_memory(t, "trace_grid_tiled");
  }
}

namespace {

int trace_in_tiles(EngineTables& t) {
  if (t.tiles == nullptr) {
    t.tiles = new (std::nothrow) TileTables;
    if (t.tiles == nullptr) return engine_out_of_memory(t, "trace_grid_tiled");
  }
  const int threads = thread_count(t);
  int last_end = 0;
  std::vector<int> starts = plan_tiles(t, threads, &last_end);
  for (;;) {
    if (trace_tiles(t, starts, last_end, threads) != 0) return -1;
    Joiner joiner(t, t.tiles->tiles, static_cast<int>(starts.size()));
    std::vector<int> bad = joiner.join_borders();
    if (bad.empty()) {
      joiner.join_pieces();
      bad = joiner.doubled_segments();
    }
    if (!bad.empty()) {
      // Borders where pieces do not meet one to one: the tiles on either
      // side of each become one, the others stay as they were.
      if (starts.size() == 1) return -1;
      for (auto k = bad.rbegin(); k != bad.rend(); ++k) starts.erase(starts.begin() + *k);
      continue;
    }
    const int written = joiner.write(t.tiles->rows, threads);
    if (t.point_count >= kShedPoints) {
      // Nothing of the tiles is needed any more: their memory goes back now,
      // not at the next run.
      t.tiles->tiles.clear();
      give_back_memory();
    }
    return written;
  }
}

}  // namespace

bool in_tile_rows(const EngineTables& t, const int32_t* ring) {
  if (t.tiles == nullptr || t.tiles->rows.empty()) return false;
  const int32_t* rows = t.tiles->rows.data();
  return ring >= rows && ring < rows + t.tiles->rows.size();
}

int64_t streamed_points(const EngineTables& t) { return t.tiles != nullptr ? t.tiles->streamed_points : 0; }

void release_tile_tables(EngineTables& t) {
  delete t.tiles;
  t.tiles = nullptr;
}

int thread_count(const EngineTables& t) {
  if (t.threads > 0) return t.threads;
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(std::min(cores, 256u));
}

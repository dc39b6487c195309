// Storing: the point table and its hash index, the polyline-end lists, the
// links of recorded segments, the rows' ring storage and the band-piece
// table. Nothing here knows about polylines beyond "point p became an end of
// row n" and "row n holds these points"; joining.cpp decides what that means.
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/engine_internal.h"
#include "engine/tiles.h"
#include "isovar_messages.h"
#include "shared/run_context.h"

namespace {

// Float equality says -0.0 == 0.0, so both must land in the same bucket.
uint32_t key_bits(float f) {
  if (f == 0.0f) return 0;
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

uint64_t point_hash(float x, float y, int k) {
  uint64_t h = (static_cast<uint64_t>(key_bits(x)) << 32) | key_bits(y);
  h ^= static_cast<uint64_t>(static_cast<uint32_t>(k)) * 0x9E3779B97F4A7C15ull;
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  return h ^ (h >> 33);
}

uint32_t hash_slot(uint64_t h, int bits) { return static_cast<uint32_t>(h >> (64 - bits)); }
uint8_t hash_tag(uint64_t h) { return static_cast<uint8_t>(h & 0xFF) | 1; }

bool same_point(const IsoPoint& q, float x, float y, int k) { return q.x == x && q.y == y && q.level == k; }

void clear_index(PointIndex& index) {
  if (index.bits > 0) std::memset(index.tags.data, 0, size_t{1} << index.bits);
  index.count = 0;
}

// Puts point p, whose hash is h, into the index, which has room.
void put_in_index(PointIndex& index, int32_t p, uint64_t h) {
  const uint32_t mask = (1u << index.bits) - 1;
  uint32_t slot = hash_slot(h, index.bits);
  while (index.tags[slot] != 0) slot = (slot + 1) & mask;
  index.tags[slot] = hash_tag(h);
  index.slot_of[slot] = p;
  ++index.count;
}

// Large mode: the index at twice its size (2^first_bits entries to start
// with), its points put again.
bool grow_index(EngineTables& t, PointIndex& index, int first_bits) {
  const int bits = index.bits > 0 ? index.bits + 1 : first_bits;
  const size_t size = size_t{1} << bits;
  auto* tags = static_cast<uint8_t*>(std::calloc(size, 1));
  auto* slots = static_cast<int32_t*>(std::malloc(size * sizeof(int32_t)));
  if (tags == nullptr || slots == nullptr) {
    std::free(tags);
    std::free(slots);
    return false;
  }
  // The default mode's arrays stay where they are; only large mode's memory
  // is replaced.
  PointIndex grown = index;
  grown.tags.data = grown.tags.heap = tags;
  grown.slot_of.data = grown.slot_of.heap = slots;
  grown.tags.capacity = grown.tags.heap_capacity = grown.slot_of.capacity = grown.slot_of.heap_capacity = int64_t(size);
  grown.tags.grows = grown.slot_of.grows = true;
  grown.bits = bits;
  grown.count = 0;
  for (int64_t i = 0; index.bits > 0 && i < (int64_t{1} << index.bits); ++i) {
    if (index.tags[i] == 0) continue;
    const IsoPoint& q = t.iso_points[index.slot_of[i]];
    put_in_index(grown, index.slot_of[i], point_hash(q.x, q.y, q.level));
  }
  std::free(index.tags.heap);
  std::free(index.slot_of.heap);
  index = grown;
  return true;
}

// The default mode: the index over the first 2^bits of its fixed entries,
// every point so far put again (the index holds all points that compare).
void widen_fixed_index(EngineTables& t, PointIndex& index, int bits) {
  index.bits = bits;
  clear_index(index);
  for (int32_t p = 1; p < t.point_count; ++p) {
    const IsoPoint& q = t.iso_points[p];
    if (q.x == q.x && q.y == q.y) put_in_index(index, p, point_hash(q.x, q.y, q.level));
  }
}

// The point equal to (x, y, k), whose hash is h, or 0.
int32_t find_in_index(EngineTables& t, const PointIndex& index, uint64_t h, float x, float y, int k) {
  if (index.bits == 0) return 0;
  const uint32_t mask = (1u << index.bits) - 1;
  const uint8_t tag = hash_tag(h);
  for (uint32_t slot = hash_slot(h, index.bits); index.tags[slot] != 0; slot = (slot + 1) & mask) {
    if (index.tags[slot] != tag) continue;
    const int32_t p = index.slot_of[slot];
    if (same_point(t.iso_points[p], x, y, k)) return p;
  }
  return 0;
}

bool in_ring_pool(const EngineTables& t, const int32_t* ring) {
  const int32_t* pool = &t.ring_pool[0][0];
  return ring >= pool && ring < pool + int64_t{kMaxPlines} * kMaxPlinePoints;
}

int32_t ring_capacity_for(int32_t need) {
  int32_t capacity = 4;
  while (capacity < need && capacity < (1 << 30)) capacity *= 2;
  return capacity;
}

int ring_class(int32_t capacity) {
  int c = 0;
  while ((int32_t{1} << c) < capacity) ++c;
  return c;
}

int32_t* take_ring(EngineTables& t, int32_t capacity) {
  const int c = ring_class(capacity);
  if (t.spare_ring_count[c] > 0) return t.spare_rings[c][--t.spare_ring_count[c]];
  return static_cast<int32_t*>(std::malloc(sizeof(int32_t) * static_cast<size_t>(capacity)));
}

void give_ring(EngineTables& t, int32_t* ring, int32_t capacity) {
  const int c = ring_class(capacity);
  Table<int32_t*>& spares = t.spare_rings[c];
  spares.grows = true;
  if (!spares.reserve(t.spare_ring_count[c] + 1)) {
    std::free(ring);
    return;
  }
  spares[t.spare_ring_count[c]++] = ring;
}

}  // namespace

void reset_engine_tables(EngineTables& t) {
  // Large mode's rings of the last run become spare before the tables are
  // chosen anew (the pool's rows simply become free again).
  for (int32_t n = 0; n < t.pline_total; ++n) {
    PlineStore& s = t.pline_store[n];
    if (s.points != nullptr && !in_ring_pool(t, s.points) && !in_tile_rows(t, s.points))
      give_ring(t, s.points, s.capacity);
    s.points = nullptr;
  }
  for_each_table(t, [&t](auto& table) { table.select(t.large != 0); });

  t.point_count = 1;
  t.pline_total = 0;
  t.fill_poly_count = 0;
  t.end_entry_count = 1;
  t.link_count = 1;
  t.free_ring_count = 0;
  if (!t.large) {
    for (int n = 0; n < kMaxPlines; ++n) t.free_rings[t.free_ring_count++] = t.ring_pool[kMaxPlines - 1 - n];
  }

  // The index starts empty; large mode's grows from nothing, keeping its
  // memory from run to run.
  PointIndex& index = t.point_index;
  index.tags.select(t.large);
  index.slot_of.select(t.large);
  index.bits = 0;
  for (int bits = 16; (int64_t{1} << bits) <= index.tags.capacity; ++bits) index.bits = bits;
  if (!t.large) index.bits = kPointHashFirstBits;
  clear_index(index);
  t.window_on = 0;
}

void point_window_begin(EngineTables& t, const float* x, int nx) {
  if (!t.large) return;
  for (int i = 1; i < nx; ++i) {
    // Wider than eight rounding steps of the larger end: then a crossing of
    // column i can equal no crossing of column i + 2.
    const float wide = std::fmax(std::fabs(x[i]), std::fabs(x[i + 1]));
    const float step = std::nextafter(wide, INFINITY) - wide;
    if (!(x[i + 1] - x[i] > 8 * step)) return;
  }
  t.window_on = 1;
  t.window_newer = 0;
  t.window_older_reach = -INFINITY;  // column 1 has none before it
  clear_index(t.point_window[0]);
  clear_index(t.point_window[1]);
}

void point_window_next(EngineTables& t, const float* x, int i) {
  if (!t.window_on) return;
  t.window_newer ^= 1;
  clear_index(t.point_window[t.window_newer]);
  // The crossings of column i - 1 lie left of x[i] plus a rounding step; a
  // point further right is looked for in the current column only.
  const float wide = std::fmax(std::fabs(x[i - 1]), std::fabs(x[i]));
  const double step = static_cast<double>(std::nextafter(wide, INFINITY)) - wide;
  t.window_older_reach = static_cast<double>(x[i]) + 4 * step;
}

int32_t find_or_add_point(EngineTables& t, float x, float y, int k) {
  // A NaN coordinate equals nothing, not even itself: such a point is never
  // found, always added, and kept out of the index.
  const bool comparable = x == x && y == y;
  const uint64_t h = comparable ? point_hash(x, y, k) : 0;
  PointIndex& index = t.window_on ? t.point_window[t.window_newer] : t.point_index;
  if (comparable) {
    int32_t p = find_in_index(t, index, h, x, y, k);
    if (p == 0 && t.window_on && x <= t.window_older_reach) {
      p = find_in_index(t, t.point_window[t.window_newer ^ 1], h, x, y, k);
    }
    if (p != 0) return p;
  }
  if (t.point_count >= table_limits(t.large).point_slots) return 0;
  const int32_t p = t.point_count;
  if (!t.iso_points.reserve(p + 1) || !t.end_list.reserve(p + 1) || !t.link_list.reserve(p + 1)) return 0;
  if (comparable && (int64_t{index.count} + 1) * 2 > (index.bits > 0 ? int64_t{1} << index.bits : 0)) {
    if (t.large) {
      // A column's part starts small: it is cleared at every column.
      if (!grow_index(t, index, t.window_on ? 10 : 16)) return 0;
    } else if (index.bits < kPointHashBits) {
      widen_fixed_index(t, index, index.bits + 1);
    }
  }
  ++t.point_count;
  t.iso_points[p] = IsoPoint{x, y, k};
  t.end_list[p] = 0;
  t.link_list[p] = 0;
  if (comparable) put_in_index(index, p, h);
  return -p;
}

bool open_ring(EngineTables& t, int n, int32_t need) {
  PlineStore& s = t.pline_store[n];
  if (!t.large) {
    // A live row holds one pool row, and at most 1500 rows are live.
    assert(t.free_ring_count > 0 && need <= kMaxPlinePoints);
    if (t.free_ring_count <= 0) return false;
    s = PlineStore{t.free_rings[--t.free_ring_count], kMaxPlinePoints, 0, 0};
    return true;
  }
  const int32_t capacity = ring_capacity_for(need);
  int32_t* ring = take_ring(t, capacity);
  if (ring == nullptr) return false;
  s = PlineStore{ring, capacity, 0, 0};
  return true;
}

bool grow_ring(EngineTables& t, int n, int32_t extra) {
  PlineStore& s = t.pline_store[n];
  const int64_t need = int64_t{t.pline_count[n]} + extra;
  if (need <= s.capacity) return true;
  if (!t.large || need > (1 << 30)) return false;
  const int32_t capacity = ring_capacity_for(static_cast<int32_t>(need));
  int32_t* ring = take_ring(t, capacity);
  if (ring == nullptr) return false;
  // Storage order is kept; the ring starts over at slot 0.
  const int32_t count = t.pline_count[n];
  const int32_t run = count < s.capacity - s.first ? count : s.capacity - s.first;
  std::memcpy(ring, s.points + s.first, sizeof(int32_t) * static_cast<size_t>(run));
  std::memcpy(ring + run, s.points, sizeof(int32_t) * static_cast<size_t>(count - run));
  give_ring(t, s.points, s.capacity);
  s.points = ring;
  s.capacity = capacity;
  s.first = 0;
  return true;
}

void release_ring(EngineTables& t, int n) {
  PlineStore& s = t.pline_store[n];
  if (s.points == nullptr) return;
  if (in_ring_pool(t, s.points)) {
    t.free_rings[t.free_ring_count++] = s.points;
  } else {
    give_ring(t, s.points, s.capacity);
  }
  s.points = nullptr;
}

int engine_out_of_memory(EngineTables& t, const char* routine) {
  put_message(t.message, kMessageBufferSize, msg::out_of_memory, routine);
  return -1;
}

int add_fill_poly(EngineTables& t, int band, int nvert, const float x[5], const float y[5]) {
  if (!t.fill_band_table()) return 0;
  const int32_t limit = table_limits(t.large).fill_poly_slots;
  if (t.fill_poly_count >= limit) {  // a full table stays full
    copy_message(t.message, kMessageBufferSize, msg::fill_poly_too_many);
    note_table_limit(t);
    return -1;
  }
  if (!t.fill_poly.reserve(int64_t{t.fill_poly_count} + 1)) return engine_out_of_memory(t, "add_fill_poly");
  FillPoly& f = t.fill_poly[t.fill_poly_count];
  f.band = band;
  f.nvert = nvert;
  // All five slots: a fixed-size copy is cheaper than a counted one, and
  // slots past nvert mean nothing.
  std::memcpy(f.x, x, sizeof f.x);
  std::memcpy(f.y, y, sizeof f.y);
  if (++t.fill_poly_count >= limit) {
    copy_message(t.message, kMessageBufferSize, msg::fill_poly_too_many);
    note_table_limit(t);
    return -1;
  }
  return 0;
}

// Storing: the point table and its hash index, the polyline-end lists, the
// links of recorded segments, the rows' ring storage and the band-piece
// table. Nothing here knows about polylines beyond "point p became an end of
// row n" and "row n holds these points"; joining.cpp decides what that means.
#include <cassert>
#include <cstdlib>
#include <cstring>

#include "engine.h"
#include "isovar_messages.h"
#include "shared/run_context.h"

extern int32_t engine_ring_pool[kMaxPlines][kMaxPlinePoints];

namespace {

// Float equality says -0.0 == 0.0, so both must land in the same bucket.
uint32_t key_bits(float f) {
  if (f == 0.0f) return 0;
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

uint32_t hash_slot(float x, float y, int k, int bits) {
  uint64_t h = (static_cast<uint64_t>(key_bits(x)) << 32) | key_bits(y);
  h ^= static_cast<uint64_t>(static_cast<uint32_t>(k)) * 0x9E3779B97F4A7C15ull;
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  return static_cast<uint32_t>(h >> (64 - bits));
}

uint64_t hash_entry(int32_t p) {
  return static_cast<uint64_t>(engine_tables.point_hash_stamp) << 32 | static_cast<uint32_t>(p);
}

// The free slot for (x, y, k), which must be absent.
uint32_t free_hash_slot(float x, float y, int k) {
  const EngineTables& t = engine_tables;
  const uint32_t mask = (1u << t.point_hash_bits) - 1;
  uint32_t slot = hash_slot(x, y, k, t.point_hash_bits);
  while (t.point_hash[slot] >> 32 == t.point_hash_stamp) slot = (slot + 1) & mask;
  return slot;
}

// Large mode: a table twice the size, every point of the run put again.
bool grow_point_hash(int bits) {
  EngineTables& t = engine_tables;
  if (!t.point_hash.reserve(int64_t{1} << bits)) return false;
  std::memset(t.point_hash.data, 0, sizeof(uint64_t) * (size_t{1} << bits));
  t.point_hash_bits = bits;
  for (int32_t p = 1; p < t.point_count; ++p) {
    const IsoPoint& q = t.iso_points[p];
    if (q.x == q.x && q.y == q.y) t.point_hash[free_hash_slot(q.x, q.y, q.level)] = hash_entry(p);
  }
  return true;
}

bool in_ring_pool(const int32_t* ring) {
  return ring >= &engine_ring_pool[0][0] && ring < &engine_ring_pool[0][0] + sizeof engine_ring_pool / sizeof(int32_t);
}

int32_t ring_capacity_for(int32_t need) {
  int32_t capacity = 4;
  while (capacity < need && capacity < (1 << 30)) capacity *= 2;
  return capacity;
}

}  // namespace

void reset_engine_tables() {
  EngineTables& t = engine_tables;
  // Large mode's rings of the last run go back to the system before the
  // tables are chosen anew (the pool's rows simply become free again).
  for (int32_t n = 0; n < t.pline_total; ++n) {
    int32_t*& ring = t.pline_store[n].points;
    if (ring != nullptr && !in_ring_pool(ring)) std::free(ring);
    ring = nullptr;
  }
  t.iso_points.select();
  t.pline_store.select();
  t.pline_count.select();
  t.pline_level.select();
  t.pline_closed.select();
  t.fill_poly.select();
  t.point_hash.select();
  t.end_list.select();
  t.end_entries.select();
  t.link_list.select();
  t.links.select();
  t.free_rings.select();
  t.column_counts.select();

  t.point_count = 1;
  t.pline_total = 0;
  t.fill_poly_count = 0;
  t.end_entry_count = 1;
  t.link_count = 1;
  t.free_ring_count = 0;
  if (!large_models()) {
    for (int n = 0; n < kMaxPlines; ++n) t.free_rings[t.free_ring_count++] = engine_ring_pool[kMaxPlines - 1 - n];
  }

  // A new stamp empties the point index. When the stamps run out they start
  // over, and the slots are cleared then.
  if (++t.point_hash_stamp == 0) {
    std::memset(t.point_hash.fixed, 0, sizeof(uint64_t) * t.point_hash.fixed_capacity);
    if (t.point_hash.heap != nullptr) std::memset(t.point_hash.heap, 0, sizeof(uint64_t) * t.point_hash.heap_capacity);
    t.point_hash_stamp = 1;
  }
  // Large mode keeps its table from run to run: a power of two from 2^16
  // entries, or none yet (the first point makes one).
  int bits = kPointHashBits;
  if (large_models()) {
    bits = 0;
    if (t.point_hash.capacity >= int64_t{1} << 16) {
      bits = 16;
      while ((int64_t{1} << (bits + 1)) <= t.point_hash.capacity) ++bits;
    }
  }
  t.point_hash_bits = bits;
}

int32_t find_or_add_point(float x, float y, int k) {
  EngineTables& t = engine_tables;
  // A NaN coordinate equals nothing, not even itself: such a point is never
  // found, always added, and kept out of the index.
  const bool comparable = x == x && y == y;
  if (comparable && t.point_hash_bits > 0) {
    const uint32_t mask = (1u << t.point_hash_bits) - 1;
    for (uint32_t slot = hash_slot(x, y, k, t.point_hash_bits);; slot = (slot + 1) & mask) {
      const uint64_t entry = t.point_hash[slot];
      if (entry >> 32 != t.point_hash_stamp) break;
      const int32_t p = static_cast<int32_t>(entry & 0xFFFFFFFFu);
      const IsoPoint& q = t.iso_points[p];
      if (q.x == x && q.y == y && q.level == k) return p;
    }
  }
  if (t.point_count >= table_limits().point_slots) return 0;
  const int32_t p = t.point_count;
  if (!t.iso_points.reserve(p + 1) || !t.end_list.reserve(p + 1) || !t.link_list.reserve(p + 1)) return 0;
  if (large_models() && (int64_t{p} + 1) * 2 > (t.point_hash_bits > 0 ? int64_t{1} << t.point_hash_bits : 0)) {
    if (!grow_point_hash(t.point_hash_bits > 0 ? t.point_hash_bits + 1 : 16)) return 0;
  }
  ++t.point_count;
  t.iso_points[p] = IsoPoint{x, y, k};
  t.end_list[p] = 0;
  t.link_list[p] = 0;
  if (comparable) t.point_hash[free_hash_slot(x, y, k)] = hash_entry(p);
  return -p;
}

bool note_pline_end(int32_t p, int n) {
  EngineTables& t = engine_tables;
  // The default mode's table is large enough by construction (kEndEntrySlots).
  if (!t.end_entries.reserve(int64_t{t.end_entry_count} + 1)) {
    assert(large_models());
    return false;
  }
  const int32_t e = t.end_entry_count++;
  t.end_entries[e] = EndEntry{n, t.end_list[p]};
  t.end_list[p] = e;
  return true;
}

bool linked(int32_t p, int32_t q) {
  const EngineTables& t = engine_tables;
  const int32_t lo = p < q ? p : q;
  const int32_t hi = p < q ? q : p;
  for (int32_t e = t.link_list[lo]; e != 0; e = t.links[e].next) {
    if (t.links[e].other == hi) return true;
  }
  return false;
}

bool record_link(int32_t p, int32_t q) {
  EngineTables& t = engine_tables;
  if (!t.links.reserve(int64_t{t.link_count} + 1)) {
    assert(large_models());  // the default mode's table is large enough (kLinkSlots)
    return false;
  }
  const int32_t lo = p < q ? p : q;
  const int32_t hi = p < q ? q : p;
  const int32_t e = t.link_count++;
  t.links[e] = LinkEntry{hi, t.link_list[lo]};
  t.link_list[lo] = e;
  return true;
}

bool open_ring(int n, int32_t need) {
  EngineTables& t = engine_tables;
  PlineStore& s = t.pline_store[n];
  if (!large_models()) {
    // A live row holds one pool row, and at most 1500 rows are live.
    assert(t.free_ring_count > 0 && need <= kMaxPlinePoints);
    if (t.free_ring_count <= 0) return false;
    s = PlineStore{t.free_rings[--t.free_ring_count], kMaxPlinePoints, 0, 0};
    return true;
  }
  const int32_t capacity = ring_capacity_for(need);
  auto* ring = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * static_cast<size_t>(capacity)));
  if (ring == nullptr) return false;
  s = PlineStore{ring, capacity, 0, 0};
  return true;
}

bool ring_room(int n, int32_t extra) {
  EngineTables& t = engine_tables;
  PlineStore& s = t.pline_store[n];
  const int64_t need = int64_t{t.pline_count[n]} + extra;
  if (need <= s.capacity) return true;
  if (!large_models() || need > (1 << 30)) return false;
  const int32_t capacity = ring_capacity_for(static_cast<int32_t>(need));
  auto* ring = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * static_cast<size_t>(capacity)));
  if (ring == nullptr) return false;
  // Storage order is kept; the ring starts over at slot 0.
  const int32_t count = t.pline_count[n];
  const int32_t run = count < s.capacity - s.first ? count : s.capacity - s.first;
  std::memcpy(ring, s.points + s.first, sizeof(int32_t) * static_cast<size_t>(run));
  std::memcpy(ring + run, s.points, sizeof(int32_t) * static_cast<size_t>(count - run));
  std::free(s.points);
  s.points = ring;
  s.capacity = capacity;
  s.first = 0;
  return true;
}

void release_ring(int n) {
  EngineTables& t = engine_tables;
  PlineStore& s = t.pline_store[n];
  if (s.points == nullptr) return;
  if (in_ring_pool(s.points)) {
    t.free_rings[t.free_ring_count++] = s.points;
  } else {
    std::free(s.points);
  }
  s.points = nullptr;
}

namespace {

void store_front(PlineStore& s, int32_t count, int32_t p) {
  (void)count;
  s.first = s.first == 0 ? s.capacity - 1 : s.first - 1;
  s.points[s.first] = p;
}

void store_back(PlineStore& s, int32_t count, int32_t p) {
  int32_t slot = s.first + count;
  if (slot >= s.capacity) slot -= s.capacity;
  s.points[slot] = p;
}

}  // namespace

void ring_push_front(int n, int32_t p) {
  EngineTables& t = engine_tables;
  PlineStore& s = t.pline_store[n];
  if (s.reversed) {
    store_back(s, t.pline_count[n], p);
  } else {
    store_front(s, t.pline_count[n], p);
  }
  ++t.pline_count[n];
}

void ring_push_back(int n, int32_t p) {
  EngineTables& t = engine_tables;
  PlineStore& s = t.pline_store[n];
  if (s.reversed) {
    store_front(s, t.pline_count[n], p);
  } else {
    store_back(s, t.pline_count[n], p);
  }
  ++t.pline_count[n];
}

int engine_out_of_memory(const char* routine) {
  put_message(run_context.message_buffer, kMessageBufferSize, msg::out_of_memory, routine);
  return -1;
}

int add_fill_poly(int band, int nvert, const float x[5], const float y[5]) {
  EngineTables& t = engine_tables;
  if (!fill_band_table()) return 0;
  const int32_t limit = table_limits().fill_poly_slots;
  if (t.fill_poly_count >= limit) {  // a full table stays full
    copy_message(run_context.message_buffer, kMessageBufferSize, msg::fill_poly_too_many);
    return -1;
  }
  if (!t.fill_poly.reserve(int64_t{t.fill_poly_count} + 1)) return engine_out_of_memory("add_fill_poly");
  FillPoly& f = t.fill_poly[t.fill_poly_count];
  f.band = band;
  f.nvert = nvert;
  // All five slots: a fixed-size copy is cheaper than a counted one, and
  // slots past nvert mean nothing.
  std::memcpy(f.x, x, sizeof f.x);
  std::memcpy(f.y, y, sizeof f.y);
  if (++t.fill_poly_count >= limit) {
    copy_message(run_context.message_buffer, kMessageBufferSize, msg::fill_poly_too_many);
    return -1;
  }
  return 0;
}

// Storing: the point table and its hash index, the polyline-end lists and the
// band-piece table. Nothing here knows about polylines beyond "point p became
// an end of row n"; joining.cpp decides what that means.
#include <cassert>
#include <cstring>

#include "engine.h"
#include "shared/run_context.h"
#include "isovar_messages.h"

namespace {

// Float equality says -0.0 == 0.0, so both must land in the same bucket.
uint32_t key_bits(float f) {
  if (f == 0.0f) return 0;
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

uint32_t hash_slot(float x, float y, int k) {
  uint64_t h = (static_cast<uint64_t>(key_bits(x)) << 32) | key_bits(y);
  h ^= static_cast<uint64_t>(static_cast<uint32_t>(k)) * 0x9E3779B97F4A7C15ull;
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  return static_cast<uint32_t>(h >> (64 - kPointHashBits));
}

}  // namespace

void reset_engine_tables() {
  EngineTables& t = engine_tables;
  t.point_count = 1;
  t.pline_total = 0;
  t.fill_poly_count = 0;
  t.end_entry_count = 1;
  // A new stamp empties the point index. Once every 32767 runs the stamps
  // start over, and the slots are cleared then.
  if (++t.point_hash_stamp > kMaxPointHashStamp) {
    std::memset(t.point_hash, 0, sizeof t.point_hash);
    t.point_hash_stamp = 1;
  }
}

int32_t find_or_add_point(float x, float y, int k) {
  EngineTables& t = engine_tables;
  // A NaN coordinate equals nothing, not even itself: such a point is never
  // found, always added, and kept out of the index.
  const bool comparable = x == x && y == y;
  uint32_t slot = 0;
  if (comparable) {
    slot = hash_slot(x, y, k);
    for (;;) {
      const uint32_t entry = t.point_hash[slot];
      if (entry >> kPointSlotBits != t.point_hash_stamp) break;
      const int32_t p = static_cast<int32_t>(entry & kPointSlotMask);
      const IsoPoint& q = t.iso_points[p];
      if (q.x == x && q.y == y && q.level == k) return p;
      slot = (slot + 1) & (kPointHashSlots - 1);
    }
  }
  if (t.point_count >= kPointSlots) return 0;
  const int32_t p = t.point_count++;
  t.iso_points[p] = IsoPoint{x, y, k};
  t.end_list[p] = 0;
  if (comparable) t.point_hash[slot] = t.point_hash_stamp << kPointSlotBits | static_cast<uint32_t>(p);
  return -p;
}

void note_pline_end(int32_t p, int n) {
  EngineTables& t = engine_tables;
  // Bounded by construction (see kEndEntrySlots): every call names a point
  // added in this run or follows a join that emptied a row.
  assert(t.end_entry_count < kEndEntrySlots);
  if (t.end_entry_count >= kEndEntrySlots) return;
  const int32_t e = t.end_entry_count++;
  t.end_entries[e] = EndEntry{n, t.end_list[p]};
  t.end_list[p] = e;
}

int add_fill_poly(int band, int nvert, const float x[5], const float y[5]) {
  EngineTables& t = engine_tables;
  if (t.fill_poly_count >= kFillPolySlots) {  // a full table stays full
    copy_message(run_context.message_buffer, kMessageBufferSize, msg::fill_poly_too_many);
    return -1;
  }
  FillPoly& f = t.fill_poly[t.fill_poly_count];
  f.band = band;
  f.nvert = nvert;
  // All five slots: a fixed-size copy is cheaper than a counted one, and
  // slots past nvert mean nothing.
  std::memcpy(f.x, x, sizeof f.x);
  std::memcpy(f.y, y, sizeof f.y);
  if (++t.fill_poly_count >= kFillPolySlots) {
    copy_message(run_context.message_buffer, kMessageBufferSize, msg::fill_poly_too_many);
    return -1;
  }
  return 0;
}

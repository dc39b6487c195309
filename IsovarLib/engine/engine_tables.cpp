// An EngineTables over its owner's fixed tables, and its large-mode memory
// given back.
#include <cstdint>
#include <cstdlib>
#include <initializer_list>

#include "engine/engine_internal.h"
#include "engine/tiles.h"

void attach_engine_tables(EngineTables& t, EngineFixedTables* f) {
  t = EngineTables{};
  t.iso_points = fixed_table(f->points);
  t.point_count = 1;
  t.pline_store = fixed_table(f->stores);
  t.pline_count = fixed_table(f->counts);
  t.pline_level = fixed_table(f->levels);
  t.pline_closed = fixed_table(f->closed);
  t.fill_poly = fixed_table(f->fill_poly);
  t.point_index = PointIndex{fixed_table(f->hash_tags), fixed_table(f->hash_slots), kPointHashBits, 0};
  t.end_list = fixed_table(f->end_list);
  t.end_entries = fixed_table(f->end_entries);
  t.end_entry_count = 1;
  t.link_list = fixed_table(f->link_list);
  t.links = fixed_table(f->links);
  t.link_count = 1;
  t.free_rings = fixed_table(f->free_rings);
  t.column_counts = fixed_table(f->column_counts);
  t.fixed = f;
  t.ring_pool = f->ring_pool;
}

void release_engine_tables(EngineTables& t) {
  // Large mode's rings: those rows hold, then the spare ones.
  for (int32_t n = 0; n < t.pline_total; ++n) {
    const PlineStore& s = t.pline_store[n];
    const int32_t* pool = &t.ring_pool[0][0];
    const bool pooled = s.points >= pool && s.points < pool + int64_t{kMaxPlines} * kMaxPlinePoints;
    if (s.points != nullptr && !pooled && !in_tile_rows(t, s.points)) std::free(s.points);
  }
  t.pline_total = 0;
  release_tile_tables(t);
  for (int c = 0; c < kRingClasses; ++c) {
    for (int64_t i = 0; i < t.spare_ring_count[c]; ++i) std::free(t.spare_rings[c][i]);
    t.spare_ring_count[c] = 0;
    t.spare_rings[c].release();
  }
  for_each_table(t, [](auto& table) { table.release(); });
  for (PointIndex* index : {&t.point_index, &t.point_window[0], &t.point_window[1]}) {
    index->tags.release();
    index->slot_of.release();
  }
}

void advise_huge_engine_tables(EngineTables& t) {
  if (t.huge_pages_asked) return;
  t.huge_pages_asked = 1;
  EngineFixedTables* f = t.fixed;
  advise_huge_pages(f->fill_poly, sizeof f->fill_poly);
  // The point index and the rows' pool, which lie first.
  advise_huge_pages(f, sizeof f->hash_tags + sizeof f->hash_slots + sizeof f->ring_pool);
}

#include <cstdint>

#include "engine.h"

namespace {

// The band table, the point index and the start of the rows' pool are
// filled densely by a large run, which asks for huge pages for them
// (advise_huge_engine_tables). Elsewhere the tables are touched sparsely and
// stay on small pages.
struct PointHash {
  uint8_t tags[kPointHashSlots];
  int32_t slots[kPointHashSlots];
};

// The point index, then the rows' storage of the default mode: one
// 1500-slot ring per live row. A run uses the start of the index (it grows
// from 2^14 entries) and rows take the lowest free rings, so what most runs
// touch of both lies in the first 2 MiB: one huge page for the two.
struct alignas(kHugePage) DenseTables {
  PointHash point_hash;
  int32_t ring_pool[kMaxPlines][kMaxPlinePoints];
};
DenseTables dense_tables;

// The default mode's tables.
IsoPoint fixed_points[kPointSlots];
PlineStore fixed_stores[kMaxPlines];
int32_t fixed_counts[kMaxPlines];
int32_t fixed_levels[kMaxPlines];
int32_t fixed_closed[kMaxPlines];
alignas(kHugePage) FillPoly fixed_fill_poly[kFillPolySlots];
int32_t fixed_end_list[kPointSlots];
EndEntry fixed_end_entries[kEndEntrySlots];
int32_t fixed_link_list[kPointSlots];
LinkEntry fixed_links[kLinkSlots];
int32_t* fixed_free_rings[kMaxPlines];
int32_t fixed_column_counts[2 * (500 + 1)];

bool huge_pages_asked = false;

}  // namespace

int32_t (&engine_ring_pool)[kMaxPlines][kMaxPlinePoints] = dense_tables.ring_pool;

void advise_huge_engine_tables() {
  if (huge_pages_asked) return;
  huge_pages_asked = true;
  advise_huge_pages(fixed_fill_poly, sizeof fixed_fill_poly);
  advise_huge_pages(&dense_tables, sizeof dense_tables);
}


EngineTables engine_tables = {
    fixed_table(fixed_points),      1,
    fixed_table(fixed_stores),      fixed_table(fixed_counts),
    fixed_table(fixed_levels),      fixed_table(fixed_closed),
    0,                              fixed_table(fixed_fill_poly),
    0,
    {fixed_table(dense_tables.point_hash.tags), fixed_table(dense_tables.point_hash.slots), kPointHashBits, 0},
    {},                             0,
    0,                              0.0,
    fixed_table(fixed_end_list),    fixed_table(fixed_end_entries),
    1,                              fixed_table(fixed_link_list),
    fixed_table(fixed_links),       1,
    fixed_table(fixed_free_rings),  0,
    fixed_table(fixed_column_counts),
};

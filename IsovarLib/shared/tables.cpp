// The table mode and the growing storage of large mode.
#include "shared/tables.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>

namespace {

uint64_t mix(int32_t number) {
  uint64_t h = static_cast<uint32_t>(number) * 0x9E3779B97F4A7C15ull;
  return h ^ (h >> 29);
}

}  // namespace


void advise_huge_pages(void* start, std::size_t size) {
  const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
  madvise(start, rounded, MADV_HUGEPAGE);
}

void advise_huge_interior(void* start, std::size_t size) {
  const uintptr_t from = (reinterpret_cast<uintptr_t>(start) + kHugePage - 1) & ~uintptr_t{kHugePage - 1};
  const uintptr_t to = (reinterpret_cast<uintptr_t>(start) + size) & ~uintptr_t{kHugePage - 1};
  if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

bool grow_block(void** block, int64_t* capacity, int64_t needed, std::size_t entry_size) {
  if (needed <= *capacity) return true;
  int64_t want = *capacity < 64 ? 64 : *capacity * 2;
  if (want < needed) want = needed;
  const uint64_t bytes = static_cast<uint64_t>(want) * entry_size;
  if (want < 0 || bytes / entry_size != static_cast<uint64_t>(want) || bytes > SIZE_MAX) return false;
  void* grown = std::realloc(*block, static_cast<std::size_t>(bytes));
  if (grown == nullptr) return false;
  *block = grown;
  *capacity = want;
  return true;
}

void index_clear(NumberIndex& index) {
  if (index.count > 0) {
    for (int64_t i = 0; i < index.capacity; ++i) index.entries[i].number = -1;
  }
  index.count = 0;
}

int32_t index_find(const NumberIndex& index, int32_t number) {
  if (index.capacity == 0) return -1;
  const uint64_t mask = static_cast<uint64_t>(index.capacity) - 1;
  for (uint64_t i = mix(number) & mask;; i = (i + 1) & mask) {
    const NumberIndex::Entry& e = index.entries[i];
    if (e.number == number) return e.slot;
    if (e.number < 0) return -1;
  }
}

bool index_add(NumberIndex& index, int32_t number, int32_t slot) {
  if ((index.count + 1) * 2 > index.capacity) {
    // Double and put every entry again.
    const int64_t capacity = index.capacity == 0 ? 1024 : index.capacity * 2;
    auto* entries = static_cast<NumberIndex::Entry*>(std::malloc(sizeof(NumberIndex::Entry) * capacity));
    if (entries == nullptr) return false;
    for (int64_t i = 0; i < capacity; ++i) entries[i].number = -1;
    const uint64_t mask = static_cast<uint64_t>(capacity) - 1;
    for (int64_t i = 0; i < index.capacity; ++i) {
      const NumberIndex::Entry e = index.entries[i];
      if (e.number < 0) continue;
      uint64_t at = mix(e.number) & mask;
      while (entries[at].number >= 0) at = (at + 1) & mask;
      entries[at] = e;
    }
    std::free(index.entries);
    index.entries = entries;
    index.capacity = capacity;
  }
  const uint64_t mask = static_cast<uint64_t>(index.capacity) - 1;
  uint64_t at = mix(number) & mask;
  while (index.entries[at].number >= 0) at = (at + 1) & mask;
  index.entries[at] = NumberIndex::Entry{number, slot};
  ++index.count;
  return true;
}

void index_release(NumberIndex& index) {
  std::free(index.entries);
  index = NumberIndex{nullptr, 0, 0};
}

void* map_zeroed(std::size_t size) {
  const std::size_t span = size + kHugePage;
  void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  // Trim to the aligned part.
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + kHugePage - 1) & ~(std::uintptr_t{kHugePage} - 1);
  if (aligned > start) munmap(raw, aligned - start);
  const std::uintptr_t end = start + span;
  const std::uintptr_t used_end = aligned + size;
  const std::uintptr_t page = 4096;
  const std::uintptr_t keep_end = (used_end + page - 1) & ~(page - 1);
  if (end > keep_end) munmap(reinterpret_cast<void*>(keep_end), end - keep_end);
  return reinterpret_cast<void*>(aligned);
}

void unmap_zeroed(void* block, std::size_t size) {
  if (block != nullptr) munmap(block, size);
}

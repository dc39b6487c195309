// The table mode, and the storage every table of the library is made of.
//
// In the default mode every table is a fixed array of its documented size,
// nothing is allocated, and reaching a limit is an error with that table's
// own message. In large mode the same procedures run over the same tables,
// but each grows with the model (memory kept from run to run), and only the
// limits that are part of the format stay: levels, titles, frame lines.
//
// The mode belongs to the object that owns the tables (a model, a run): a
// table picks its storage with select(large) and asks for room with
// reserve(); a procedure that enforces a limit reads it from
// table_limits(large).
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// The limits a procedure checks, of its tables' mode. In large mode the
// table limits are as high as a 32-bit count allows; memory runs out first.
struct TableLimits {
  int32_t grid_nx;          // x coordinates
  int32_t grid_ny;          // y coordinates
  int32_t max_number;       // highest node and element number
  int32_t point_slots;      // isoline point slots, slot 0 unused
  int32_t plines;           // polyline rows
  int32_t pline_points;     // points of a polyline
  int32_t fill_poly_slots;  // band-piece slots
  int32_t labels;           // accepted labels
};

inline constexpr TableLimits kDefaultLimits = {
    499,     // grid_nx
    500,     // grid_ny
    99999,   // max_number
    100000,  // point_slots
    1500,    // plines
    1500,    // pline_points
    100000,  // fill_poly_slots
    500,     // labels
};

// As high as the counts go; a count one past it must still fit.
inline constexpr int32_t kUnlimited = INT32_MAX - 1;

inline constexpr TableLimits kLargeLimits = {
    kUnlimited, kUnlimited, 99999999,   kUnlimited,
    kUnlimited, kUnlimited, kUnlimited, kUnlimited,
};

inline const TableLimits& table_limits(bool large) { return large ? kLargeLimits : kDefaultLimits; }

// Fixed tables that a run fills densely lie on 2 MiB boundaries and ask the
// system for huge pages: their first touches then cost a fault per 2 MiB
// instead of one per 4 KiB. Where the system declines, or leaves huge pages
// to the program's asking, nothing changes but the speed.
constexpr std::size_t kHugePage = std::size_t{2} << 20;
void advise_huge_pages(void* start, std::size_t size);
// The same for the whole 2 MiB stretches within a block from malloc.
void advise_huge_interior(void* start, std::size_t size);

// Grows block (capacity entries of entry_size bytes) to hold at least needed
// entries, at least doubling, keeping its contents. False, with the block as
// it was, when the memory cannot be had.
bool grow_block(void** block, int64_t* capacity, int64_t needed, std::size_t entry_size);

// Blocks of at least this size are asked of the system whole (and zeroed by
// it, page by page as they are touched) rather than reused and cleared.
constexpr uint64_t kFreshBlockBytes = uint64_t{1} << 20;

// One table: a fixed array in the default mode, growing memory in large mode.
// T must be trivially copyable. Contents are kept by reserve(), not by select().
// The storage is the owner's: release() frees large mode's memory.
template <class T>
struct Table {
  T* data;
  int64_t capacity;
  T* fixed;  // the default mode's array
  int64_t fixed_capacity;
  T* heap;  // large mode's memory, kept between runs
  int64_t heap_capacity;
  bool grows;  // the large storage is the one in use

  T& operator[](int64_t i) const { return data[i]; }

  // Takes the storage of the given mode.
  void select(bool large) {
    grows = large;
    if (grows) {
      data = heap;
      capacity = heap_capacity;
    } else {
      data = fixed;
      capacity = fixed_capacity;
    }
  }

  // Room for n entries: within the fixed array in the default mode, by
  // growing in large mode (only while the large storage is the one in use).
  bool reserve(int64_t n) {
    if (n <= capacity) return true;
    if (!grows) return false;
    void* block = heap;
    if (!grow_block(&block, &heap_capacity, n, sizeof(T))) return false;
    heap = static_cast<T*>(block);
    data = heap;
    capacity = heap_capacity;
    return true;
  }

  // Large mode: room for n entries whose old contents do not matter, zero
  // when zeroed. A large block is given back and asked for anew, so the
  // system provides its pages only as they are first written: a grid that
  // declares millions of points but gives a few values costs those few
  // pages, and no time is spent clearing the rest.
  bool renew(int64_t n, bool zeroed) {
    if (!grows) return false;
    const uint64_t bytes = static_cast<uint64_t>(n) * sizeof(T);
    if (n < 0 || bytes / sizeof(T) != static_cast<uint64_t>(n)) return false;
    if (bytes >= kFreshBlockBytes || n > heap_capacity) {
      std::free(heap);
      heap = nullptr;
      heap_capacity = 0;
      void* block = zeroed ? std::calloc(static_cast<std::size_t>(n > 0 ? n : 1), sizeof(T))
                           : std::malloc(static_cast<std::size_t>(bytes > 0 ? bytes : 1));
      if (block == nullptr) {
        data = nullptr;
        capacity = 0;
        return false;
      }
      heap = static_cast<T*>(block);
      heap_capacity = n;
    } else if (zeroed && n > 0) {
      std::memset(static_cast<void*>(heap), 0, static_cast<std::size_t>(bytes));
    }
    data = heap;
    capacity = heap_capacity;
    return true;
  }

  // Frees large mode's memory (the owner is going away).
  void release() {
    std::free(heap);
    heap = nullptr;
    heap_capacity = 0;
    if (grows) {
      data = nullptr;
      capacity = 0;
    }
  }
};

template <class T, std::size_t N>
constexpr Table<T> fixed_table(T (&array)[N]) {
  return Table<T>{array, static_cast<int64_t>(N), array, static_cast<int64_t>(N), nullptr, 0, false};
}

// A two-dimensional table addressed [i][j], rows of `stride` entries.
template <class T>
struct GridTable {
  Table<T> cells;
  int64_t stride;

  T* operator[](int64_t i) const { return cells.data + i * stride; }
};

// Numbers (node or element numbers, up to the large mode's limit) to slots:
// open addressing over a power-of-two table of (number, slot) pairs. Used in
// large mode only, where numbers are sparse; memory follows the count.
struct NumberIndex {
  struct Entry {
    int32_t number;  // -1: empty
    int32_t slot;
  };
  Entry* entries;
  int64_t capacity;  // a power of two, or 0
  int64_t count;
};

// Empties the index, keeping its memory.
void index_clear(NumberIndex& index);
// The slot of number, or -1.
int32_t index_find(const NumberIndex& index, int32_t number);
// Adds number with slot (number must be absent): false when memory ran out.
bool index_add(NumberIndex& index, int32_t number, int32_t slot);
// Frees the index's memory.
void index_release(NumberIndex& index);

// Zeroed memory of `size` bytes on a 2 MiB boundary, its pages given by the
// system when first touched (so a default-mode object's fixed tables cost
// only what a run touches), or nullptr. unmap_zeroed gives it back.
void* map_zeroed(std::size_t size);
void unmap_zeroed(void* block, std::size_t size);

// Drawing objects and surface device contexts: the object table behind the
// handles, creation, selection and deletion.
//
// Deleting an object that is still selected into a device context is
// harmless: the object stays usable by that context and is freed when the
// last context lets go of it (another object is selected, or the context is
// deleted). Its handle is dead at once for everything else. Stock objects
// (the defaults of a new context) are never freed; deleting them does nothing.
//
// Threads: the table's bookkeeping (making, selecting, deleting: the free
// slots, the selection counts, the stock objects' above all, since every
// context selects them) happens under one lock. What an object holds is set
// when it is made and only read after that, so the drawing calls read their
// context and its objects without the lock.
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "surface.h"

namespace plat {

namespace {

// A handle is kTag | generation << kSlotBits | (slot + 1): no pointer the
// process can hold looks like one.
constexpr uintptr_t kTag = uintptr_t{0x49} << 56;
constexpr int kSlotBits = 20;
constexpr uintptr_t kSlotMask = (uintptr_t{1} << kSlotBits) - 1;
static_assert(sizeof(uintptr_t) == 8, "handles need 64-bit pointers");
static_assert(kMaxObjects < (1 << kSlotBits), "slot numbers must fit their field");

enum StockSlot { kStockPen = 0, kStockBrush, kStockFont, kStockCount };

Object objects[kMaxObjects];
int free_slots[kMaxObjects];  // a stack of freed slots
int free_count;
int next_unused;  // slots from here on were never used

// Guards allocation, freeing, selection counts and deletion marks.
std::mutex table_mutex;

uintptr_t handle_value(int slot) {
  return kTag | (uintptr_t{objects[slot].generation} << kSlotBits) | uintptr_t(slot + 1);
}

template <typename H>
H handle_of(int slot) {
  return reinterpret_cast<H>(handle_value(slot));
}

// The slot of any live handle, pending deletions excluded.
int live_slot(const void* handle) {
  const uintptr_t v = reinterpret_cast<uintptr_t>(handle);
  if ((v >> 56) != (kTag >> 56)) return -1;
  const uintptr_t slot_plus_one = v & kSlotMask;
  if (slot_plus_one == 0 || slot_plus_one > uintptr_t{kMaxObjects}) return -1;
  const int slot = static_cast<int>(slot_plus_one - 1);
  const Object& o = objects[slot];
  if (o.kind == Kind::kFree || o.delete_pending) return -1;
  if (uintptr_t{o.generation} != ((v >> kSlotBits) & 0xFFFFFFFFu)) return -1;
  return slot;
}

int allocate(Kind kind) {
  int slot;
  if (free_count > 0) {
    slot = free_slots[--free_count];
  } else if (next_unused < kMaxObjects) {
    slot = next_unused++;
  } else {
    return -1;
  }
  Object& o = objects[slot];
  const uint32_t generation = o.generation + 1 == 0 ? 1 : o.generation + 1;
  o = Object{};
  o.kind = kind;
  o.generation = generation;
  return slot;
}

// A picture's pixels. Pictures of a megabyte or more are mapped on 2 MiB
// boundaries with huge pages asked for: a fresh process's picture is then a
// few page faults instead of hundreds (the pixels are all written at once).
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kHugeFrom = std::size_t{1} << 20;

std::size_t mapped_size(int64_t count) {
  const std::size_t bytes = static_cast<std::size_t>(count) * sizeof(uint32_t);
  return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

uint32_t* allocate_pixels(int64_t count) {
  const std::size_t bytes = static_cast<std::size_t>(count) * sizeof(uint32_t);
  if (bytes < kHugeFrom) return new (std::nothrow) uint32_t[static_cast<std::size_t>(count)];
  const std::size_t size = mapped_size(count);
  void* m = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) return nullptr;
  // Keep the aligned part, give back the rest.
  char* start = static_cast<char*>(m);
  char* aligned = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(start) + kHugePage - 1) & ~(kHugePage - 1));
  if (aligned > start) munmap(start, static_cast<std::size_t>(aligned - start));
  const std::size_t tail = static_cast<std::size_t>(start + size + kHugePage - (aligned + size));
  if (tail > 0) munmap(aligned + size, tail);
  madvise(aligned, size, MADV_HUGEPAGE);
  return reinterpret_cast<uint32_t*>(aligned);
}

void free_pixels(uint32_t* pixels, int64_t count) {
  if (pixels == nullptr) return;
  if (static_cast<std::size_t>(count) * sizeof(uint32_t) < kHugeFrom) {
    delete[] pixels;
  } else {
    munmap(pixels, mapped_size(count));
  }
}

void release_slot(int slot) {
  Object& o = objects[slot];
  if (o.kind == Kind::kDC) {
    free_pixels(o.surface->pixels, int64_t{o.surface->width} * o.surface->height);
    svg_destroy(o.surface->svg);
    canvas_destroy(o.surface->canvas);
    canvas_destroy(o.surface->pdf);
    delete o.surface->scaled_font;
    delete o.surface;
  }
  const uint32_t generation = o.generation;
  o = Object{};
  o.generation = generation + 1 == 0 ? 1 : generation + 1;  // old handles die
  free_slots[free_count++] = slot;
}

// A context lets go of an object it had selected.
void deselect(int slot) {
  Object& o = objects[slot];
  if (o.select_count > 0) --o.select_count;
  if (o.select_count == 0 && o.delete_pending && !o.stock) release_slot(slot);
}

void make_stock() {
  next_unused = kStockCount;
  Object& pen = objects[kStockPen];
  pen.kind = Kind::kPen;
  pen.pen_width = 1;
  pen.rgb = 0;
  Object& brush = objects[kStockBrush];
  brush.kind = Kind::kBrush;
  brush.rgb = 0x00FFFFFFu;
  Object& font = objects[kStockFont];
  font.kind = Kind::kFont;
  font.logfont.lfHeight = kDefaultFontHeight;
  font.logfont.lfCharSet = SHIFTJIS_CHARSET;
  font.logfont.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  for (int s = 0; s < kStockCount; ++s) {
    objects[s].stock = true;
    objects[s].generation = 1;
  }
}

struct StockInit {
  StockInit() { make_stock(); }
} stock_init;

}  // namespace

int slot_of(HGDIOBJ handle, Kind kind) {
  const int slot = live_slot(handle);
  return slot >= 0 && objects[slot].kind == kind ? slot : -1;
}

int dc_slot(HDC hdc) { return slot_of(hdc, Kind::kDC); }

Object& object_at(int slot) { return objects[slot]; }

Surface* blank_surface_of(HDC hdc) {
  const int slot = dc_slot(hdc);
  return slot < 0 ? nullptr : objects[slot].surface;
}

Surface* surface_of(HDC hdc) {
  Surface* s = blank_surface_of(hdc);
  if (s != nullptr && s->blank) {
    std::fill_n(s->pixels, int64_t{s->width} * s->height, kWindowBackground);
    s->blank = false;
  }
  return s;
}

}  // namespace plat

using namespace plat;

HBRUSH CreateSolidBrush(COLORREF color) {
  std::lock_guard<std::mutex> lock(table_mutex);
  const int slot = allocate(Kind::kBrush);
  if (slot < 0) return nullptr;
  objects[slot].rgb = pixel_of(color);
  return handle_of<HBRUSH>(slot);
}

HPEN CreatePen(int style, int width, COLORREF color) {
  if (style != PS_SOLID) return nullptr;  // the only style this surface draws
  std::lock_guard<std::mutex> lock(table_mutex);
  const int slot = allocate(Kind::kPen);
  if (slot < 0) return nullptr;
  // Width 0 (and below) is the platform's 1-pixel cosmetic pen.
  objects[slot].pen_width = width < 1 ? 1 : (width > kMaxPenWidth ? kMaxPenWidth : width);
  objects[slot].rgb = pixel_of(color);
  return handle_of<HPEN>(slot);
}

HFONT CreateFontIndirectA(const LOGFONTA* font) {
  if (font == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(table_mutex);
  const int slot = allocate(Kind::kFont);
  if (slot < 0) return nullptr;
  objects[slot].logfont = *font;
  objects[slot].logfont.lfFaceName[LF_FACESIZE - 1] = '\0';
  return handle_of<HFONT>(slot);
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object) {
  std::lock_guard<std::mutex> lock(table_mutex);
  Surface* s = blank_surface_of(hdc);  // selecting paints nothing
  const int slot = live_slot(object);
  if (s == nullptr || slot < 0) return nullptr;
  int* selected;
  switch (objects[slot].kind) {
    case Kind::kPen: selected = &s->pen; break;
    case Kind::kBrush: selected = &s->brush; break;
    case Kind::kFont: selected = &s->font; break;
    default: return nullptr;  // device contexts are not selectable
  }
  const int previous = *selected;
  HGDIOBJ previous_handle = handle_of<HGDIOBJ>(previous);
  if (previous == slot) return previous_handle;
  ++objects[slot].select_count;
  *selected = slot;
  deselect(previous);
  if (s->svg != nullptr && objects[slot].kind == Kind::kPen) svg_pen_selected(*s);
  return previous_handle;
}

BOOL DeleteObject(HGDIOBJ object) {
  std::lock_guard<std::mutex> lock(table_mutex);
  const int slot = live_slot(object);
  if (slot < 0 || objects[slot].kind == Kind::kDC) return FALSE;
  Object& o = objects[slot];
  if (o.stock) return TRUE;
  if (o.select_count > 0) {
    o.delete_pending = true;
  } else {
    release_slot(slot);
  }
  return TRUE;
}

HDC CreateSurfaceDC(int width, int height) {
  if (width < 0 || height < 0 || width > kMaxSurfaceSide || height > kMaxSurfaceSide) {
    return nullptr;
  }
  const int64_t count = int64_t{width} * height;
  if (count > kMaxSurfacePixels) return nullptr;
  Surface* s = new (std::nothrow) Surface{};
  if (s == nullptr) return nullptr;
  if (count > 0) {
    s->pixels = allocate_pixels(count);
    if (s->pixels == nullptr) {
      delete s;
      return nullptr;
    }
    s->blank = true;  // the background, written out when first needed
  }
  std::lock_guard<std::mutex> lock(table_mutex);
  const int slot = allocate(Kind::kDC);
  if (slot < 0) {
    free_pixels(s->pixels, count);
    delete s;
    return nullptr;
  }
  s->width = width;
  s->height = height;
  s->logical_width = width;
  s->logical_height = height;
  s->scale = 1.0;
  s->path_matrix[0] = s->path_matrix[3] = 1.0;  // the identity
  s->pen = kStockPen;
  s->brush = kStockBrush;
  s->font = kStockFont;
  for (int stock = 0; stock < kStockCount; ++stock) ++objects[stock].select_count;
  s->text_rgb = 0;
  s->bk_mode = TRANSPARENT;
  objects[slot].surface = s;
  return handle_of<HDC>(slot);
}

BOOL DeleteDC(HDC hdc) {
  std::lock_guard<std::mutex> lock(table_mutex);
  const int slot = dc_slot(hdc);
  if (slot < 0) return FALSE;
  Surface* s = objects[slot].surface;
  deselect(s->pen);
  deselect(s->brush);
  deselect(s->font);
  release_slot(slot);
  return TRUE;
}

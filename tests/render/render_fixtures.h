// Small models put straight into the model store and the engine tables, so
// the renderer can be tested without the reader and the engine.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "atomic_file.h"
#include "default_objects.h"
#include "default_objects.h"
#include "default_objects.h"
#include "default_objects.h"
#include "test_support.h"

namespace render_fixtures {

struct Level {
  float value;
  int32_t kind = 0;   // 1 bold
  int32_t label = 1;  // 0 no labels
};

// A grid-kind model with the given extent, no titles, normal display mode,
// the given levels and no polylines.
inline void set_model(float xmin, float xmax, float ymin, float ymax,
                      std::initializer_list<Level> levels = {{1.0f}}) {
  ModelStore& s = model_store;
  s.model_kind = kGridModel;
  s.display_mode = 1;
  s.title_count = 0;
  std::memset(s.titles, 0, sizeof s.titles);
  s.extent_xmin = xmin;
  s.extent_xmax = xmax;
  s.extent_ymin = ymin;
  s.extent_ymax = ymax;
  s.level_count = 0;
  for (const Level& l : levels) {
    s.levels[s.level_count] = l.value;
    s.level_kind[s.level_count] = l.kind;
    s.level_label[s.level_count] = l.label;
    ++s.level_count;
  }
  reset_engine_tables();
}

inline void set_titles(std::initializer_list<std::string> titles) {
  model_store.title_count = 0;
  for (const std::string& t : titles) {
    std::memset(model_store.titles[model_store.title_count], 0, kTitleSlot);
    std::memcpy(model_store.titles[model_store.title_count], t.data(), t.size());
    ++model_store.title_count;
  }
}

// Appends a point to iso_points and returns its slot.
inline int32_t add_point(float x, float y, int32_t level) {
  int32_t p = engine_tables.point_count++;
  engine_tables.iso_points[p] = IsoPoint{x, y, level};
  return p;
}

// A row of given point slots (to repeat a point, as a closed ring does).
inline int add_pline_of(int32_t level, const std::vector<int32_t>& slots, int32_t closed = 0) {
  EngineTables& e = engine_tables;
  int n = e.pline_total++;
  e.pline_count[n] = 0;
  open_ring(n, static_cast<int32_t>(slots.size()));
  for (int32_t p : slots) ring_push_back(n, p);
  e.pline_level[n] = level;
  e.pline_closed[n] = closed;
  return n;
}

// Appends a polyline row through the given model points (new points each)
// and returns its row.
inline int add_pline(int32_t level, std::initializer_list<std::pair<float, float>> points) {
  std::vector<int32_t> slots;
  for (const auto& xy : points) slots.push_back(add_point(xy.first, xy.second, level));
  return add_pline_of(level, slots);
}

inline void set_picture(HDC dc, int32_t width, int32_t height) {
  run_context.run_hdc = dc;
  run_context.plot_width = width;
  run_context.plot_height = height;
  run_context.display_list_file = nullptr;
}

// Runs draw with the display list going to a new file and returns the
// file's bytes. The tests run in a temporary current directory.
template <class Draw>
std::string capture_display_list(Draw draw) {
  files::AtomicFile file;
  EXPECT_EQ(file.open("captured.dl", files::Target::kFixedName), 0);
  run_context.display_list_file = &file;
  draw();
  run_context.display_list_file = nullptr;
  EXPECT_EQ(file.commit(), 0);
  return testing_support::read_file("captured.dl");
}

// Renders the current model on dc (width x height) and returns the display
// list's bytes.
inline std::string render_display_list(HDC dc, int32_t width, int32_t height) {
  set_picture(dc, width, height);
  return capture_display_list([] { render_plot(); });
}

// A display-list record, decoded.
struct Record {
  int32_t tag;
  std::string text;              // DL_TITLE, DL_LABEL
  std::vector<int32_t> numbers;  // x, y, size; or pen_width, x1, y1, x2, y2
};

inline int32_t le32(const std::string& b, std::size_t at) {
  uint32_t u = static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
               static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
               static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
               static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
  return static_cast<int32_t>(u);
}

// Decodes a display list; a malformed one shows as a record with tag 0.
inline std::vector<Record> decode(const std::string& bytes) {
  std::vector<Record> out;
  std::size_t at = 0;
  while (at + 4 <= bytes.size()) {
    Record r;
    r.tag = le32(bytes, at);
    if (r.tag == 2 && at + 24 <= bytes.size()) {
      for (int i = 1; i < 6; ++i) r.numbers.push_back(le32(bytes, at + 4 * i));
      at += 24;
    } else if ((r.tag == 1 || r.tag == 3) && at + 8 <= bytes.size()) {
      std::size_t n = static_cast<std::size_t>(le32(bytes, at + 4));
      if (at + 20 + n > bytes.size()) return out.push_back(Record{0, {}, {}}), out;
      r.text = bytes.substr(at + 8, n);
      for (int i = 0; i < 3; ++i) r.numbers.push_back(le32(bytes, at + 8 + n + 4 * i));
      at += 20 + n;
    } else {
      out.push_back(Record{0, {}, {}});
      return out;
    }
    out.push_back(r);
  }
  if (at != bytes.size()) out.push_back(Record{0, {}, {}});
  return out;
}

// Little-endian bytes of 32-bit integers, for expected files.
inline std::string ints(std::initializer_list<int32_t> values) {
  std::string b;
  for (int32_t v : values) {
    uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
  }
  return b;
}

}  // namespace render_fixtures

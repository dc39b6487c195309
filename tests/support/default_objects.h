// The library's internal procedures on its default model and run, for tests
// that drive the engine, the renderer and the reader piece by piece the way
// a plot run of the exported functions does.
#pragma once

#include "engine/band_merge.h"
#include "engine/engine_internal.h"
#include "entry/defaults.h"
#include "input/model_store.h"
#include "input/reader.h"
#include "render/run.h"

namespace default_objects {

// The default engine tables working for the default model, in the default
// run's table mode, as trace_isolines sets them.
inline EngineTables& engine() {
  EngineTables& t = engine_tables;
  t.model = &model_store;
  t.message = run_context.message_buffer;
  t.large = run_context.large;
  t.bands_wanted = run_context.bands_wanted;
  return t;
}

inline Run& run() {
  default_run.model = &model_store;
  return default_run;
}

}  // namespace default_objects

// Engine
inline void reset_engine_tables() { reset_engine_tables(default_objects::engine()); }
inline int make_poly(float x1, float y1, float x2, float y2, int k) {
  return make_poly(default_objects::engine(), x1, y1, x2, y2, k);
}
inline int connect_pline(int32_t p1, int32_t p2) { return connect_pline(default_objects::engine(), p1, p2); }
inline int32_t find_or_add_point(float x, float y, int k) { return find_or_add_point(default_objects::engine(), x, y, k); }
inline bool open_ring(int n, int32_t need) { return open_ring(default_objects::engine(), n, need); }
inline void ring_push_back(int n, int32_t p) { ring_push_back(default_objects::engine(), n, p); }
inline int add_fill_poly(int band, int nvert, const float x[5], const float y[5]) {
  return add_fill_poly(default_objects::engine(), band, nvert, x, y);
}
inline int trace_triangle(const Vertex& v0, const Vertex& v1, const Vertex& v2) {
  return trace_triangle(default_objects::engine(), v0, v1, v2);
}
inline bool level_range(float a, float b, int* klo, int* khi) {
  return level_range(default_objects::engine(), a, b, klo, khi);
}
inline int uncrossed_band(float v_low) { return uncrossed_band(default_objects::engine(), v_low); }
inline int check_element_shape(int e, const int32_t nodes[4], const int32_t node_slots[4]) {
  return check_element_shape(default_objects::engine(), e, nodes, node_slots);
}
inline int check_element_shape(int e, const int32_t nodes[4]) {
  return check_element_shape(default_objects::engine(), e, nodes);
}

// Model store
inline void clear_model_store() { clear_model_store(model_store); }
inline int32_t node_slot(int32_t n) { return node_slot(model_store, n); }

// Renderer
inline void reset_labels() { reset_labels(default_objects::run()); }
inline void add_label(int32_t p, int32_t k) { add_label(default_objects::run(), p, k); }
inline void add_pline_labels(int32_t n) { add_pline_labels(default_objects::run(), n); }
inline void draw_labels() { draw_labels(default_objects::run()); }
inline void draw_label(float x, float y, int32_t k, int32_t size) { draw_label(default_objects::run(), x, y, k, size); }
inline void draw_isolines() { draw_isolines(default_objects::run()); }
inline void draw_titles() { draw_titles(default_objects::run()); }
inline void draw_frame() { draw_frame(default_objects::run()); }
inline void draw_bands() { draw_bands(default_objects::run()); }
inline void draw_line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  draw_line(default_objects::run(), x1, y1, x2, y2);
}
inline void dl_title(const char* text, int32_t x, int32_t y, int32_t size) { dl_title(default_objects::run(), text, x, y, size); }
inline void dl_line(int32_t pen_width, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  dl_line(default_objects::run(), pen_width, x1, y1, x2, y2);
}
inline void dl_label(const char* text, int32_t x, int32_t y, int32_t size) { dl_label(default_objects::run(), text, x, y, size); }
inline void dl_flush() { dl_flush(default_objects::run()); }
inline void dl_discard() { dl_discard(default_objects::run()); }
inline int32_t capture_pixels(HDC hdc) { return capture_pixels(default_objects::run(), hdc); }
inline int32_t saveBMPFile(const char* path) { return saveBMPFile(default_objects::run(), path); }
inline DisplayListWriter& dl_writer = default_run.dl;

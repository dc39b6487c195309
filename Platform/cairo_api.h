// cairo, loaded when a surface first paints through it: a process that draws
// only on plain surfaces never loads cairo (nor what it brings along).
#pragma once

#include <cairo-pdf.h>
#include <cairo.h>

namespace plat {

#define ISOVAR_CAIRO_FUNCTIONS(X)                                                                          \
  X(cairo_image_surface_create_for_data) X(cairo_format_stride_for_width) X(cairo_surface_destroy)        \
  X(cairo_surface_flush) X(cairo_surface_mark_dirty) X(cairo_surface_status) X(cairo_create)             \
  X(cairo_destroy) X(cairo_status) X(cairo_scale) X(cairo_set_antialias) X(cairo_set_source_rgb)          \
  X(cairo_set_line_width) X(cairo_set_line_cap) X(cairo_set_line_join) X(cairo_set_fill_rule)            \
  X(cairo_new_path) X(cairo_move_to) X(cairo_line_to) X(cairo_close_path) X(cairo_rectangle)             \
  X(cairo_stroke) X(cairo_fill) X(cairo_pdf_surface_create_for_stream) X(cairo_surface_finish)             \
  X(cairo_show_page) X(cairo_save) X(cairo_restore) X(cairo_translate) X(cairo_rotate)                    \
  X(cairo_select_font_face) X(cairo_set_font_size) X(cairo_show_text) X(cairo_paint) X(cairo_fill_preserve)     \
  X(cairo_text_path) X(cairo_stroke_preserve)

// The functions of the loaded library, each under its own name.
struct CairoApi {
#define ISOVAR_CAIRO_MEMBER(name) decltype(&::name) name;
  ISOVAR_CAIRO_FUNCTIONS(ISOVAR_CAIRO_MEMBER)
#undef ISOVAR_CAIRO_MEMBER
};

// The library, loaded on the first call (later calls give the same answer);
// null when it or one of its functions cannot be found.
const CairoApi* cairo();

}  // namespace plat

// The renderer: lays the plot out in the picture, draws the background, the
// filled bands when asked, the titles, the frame, the isolines and their
// labels on run_context.run_hdc,
// records every printable primitive in the display-list file, and exports the
// drawn picture as a BMP file.
//
// Owns: layout_state (plot area, scale, title pitch, recorded pen width),
//       label_table (accepted label positions and their nearness index),
//       pixel_buffer (the captured picture), dl_writer (display-list bytes
//       not yet written to the file), and in bands.cpp the band pieces'
//       order by band and the batch of polygons being filled.
// Reads: model_store (extent, display mode, titles, levels and their kinds),
//        engine_tables (polylines, points and band pieces, after a
//        successful trace),
//        run_context (run_hdc, plot_width, plot_height, display_list_file,
//        fill_bands).
// Writes its failure texts into run_context.message_buffer.
//
// Drawing goes only through the platform's drawing calls; every pen, brush
// and font is created, selected, used, deselected and deleted within one step.
#pragma once

#include <cstddef>
#include <cstdint>
#include "display_list_format.h"
#include "platform.h"
#include "shared/tables.h"

// ---------------------------------------------------------------------------
// Layout

struct LayoutState {
  float area_left;    // plot area edges as fractions of plot_width ...
  float area_right;
  float area_top;     // ... and of plot_height; top is the smaller one
  float area_bottom;
  double area_scale;  // pixels per model unit (normal display mode only)
  int32_t title_spacing;  // title line pitch, also the title reserve unit
  int32_t line_width;     // pen width draw_line records
  // 0 when the plot area has no meaning (an extent that is a single point, a
  // picture without width or height, an extent that is not finite): the
  // render then draws the background and the titles only.
  int32_t area_defined;
};

extern LayoutState layout_state;

constexpr COLORREF kBackgroundColour = 0x00646464;  // RGB(100, 100, 100)
constexpr COLORREF kWhite = 0x00FFFFFF;

// Truncates toward zero into the int32 range: values beyond it give the
// nearest end, a value that is not a number gives 0. Every conversion of a
// computed coordinate to a pixel goes through here.
int32_t trunc_to_int(double value);

// Draws the whole plot on run_hdc and records it in the display list; always 0.
int32_t render_plot();
void plot_layout();
int32_t map_x(float x);
int32_t map_y(float y);

// ---------------------------------------------------------------------------
// Display-list writer, of the records display_list_format.h lays out.
// Records are appended to a fixed buffer and written to
// run_context.display_list_file when it fills and by dl_flush; without a
// file the bytes are dropped. The file keeps the first write failure for the
// run to report when it commits the file.

// 64 KiB: few writes, and the buffer stays in the cache between them.
constexpr std::size_t kDlBufferSize = 64 * 1024;

struct DisplayListWriter {
  unsigned char bytes[kDlBufferSize];
  std::size_t used;
};

extern DisplayListWriter dl_writer;

void dl_title(const char* text, int32_t x, int32_t y, int32_t size);
void dl_line(int32_t pen_width, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
void dl_label(const char* text, int32_t x, int32_t y, int32_t size);
// Writes the pending records to the file (render_plot does it at its end).
void dl_flush();
// Forgets pending records (the start of every render).
void dl_discard();

// ---------------------------------------------------------------------------
// Titles and frame

HFONT make_font(int32_t height);
void draw_line(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
void draw_titles();
void draw_frame();

// ---------------------------------------------------------------------------
// Isolines and labels

constexpr int kMaxLabels = 500;  // the default mode's table; large mode grows
// The nearness index: a grid of cells one nearness threshold wide over the
// extent (clamped at its sides), each holding a chain of accepted labels.
constexpr int kLabelCells = 16;

struct AcceptedLabel {
  float x;
  float y;
  int32_t level;
  int32_t next;  // the next label in the same cell, -1 none
};

struct LabelTable {
  Table<AcceptedLabel> labels;
  int32_t label_count;

  float near_x;  // nearness thresholds of this render
  float near_y;
  int32_t indexed;  // 0: thresholds unusable as cell sizes, scan every label
  int32_t cell_head[kLabelCells][kLabelCells];  // first label of a cell, -1 none
};

extern LabelTable label_table;

// Empties the label table and prepares the nearness test for the current
// extent (draw_isolines does it first).
void reset_labels();

void draw_isolines();
int32_t clip_outcode(float xmin, float ymin, float w, float h, float x, float y);
int32_t line_clip(float xmin, float ymin, float w, float h, float& x1, float& y1, float& x2,
                  float& y2);
int32_t hsv_to_rgb(float h, float s, float v, int32_t& red, int32_t& green, int32_t& blue);
// The pen colour of level k among the current levels.
COLORREF level_colour(int32_t k);

// ---------------------------------------------------------------------------
// Filled bands (run_context.fill_bands)

// The fill of band b (between levels b - 1 and b; 0 .. level_count): the hue
// midway between the hues of those two levels' line colours, the lowest
// level's hue for band 0 and the highest's for the top band, at saturation
// kBandSaturation and full value, so every band is lighter than the lines
// (saturation 1) around it. A single level (whose line has no hue) puts blue
// below it and red above. Needs at least one level.
constexpr float kBandSaturation = 0.35f;
COLORREF band_colour(int32_t b);

// Fills every band piece of the engine tables in its band's colour, clipped
// to the frame, and records the polygons in DL_BANDS records.
void draw_bands();

// The most polygons a DL_BANDS record holds, and the most corners a clipped
// band piece has (five, and one more for each side of the frame).
constexpr int32_t kDlBandPolygons = 256;
constexpr int32_t kMaxBandCorners = 9;

// One DL_BANDS record: the colour and `polygons` polygons, polygon i with
// counts[i] corners taken one after another from points (picture pixels,
// recorded in sixteenths of a pixel).
void dl_bands(COLORREF colour, const POINTF* points, const int* counts, int32_t polygons);
void add_pline_labels(int32_t n);
void add_label(int32_t p, int32_t k);
void draw_labels();
void draw_label(float x, float y, int32_t k, int32_t size);

// The label text of value v ("%5.2f", or "%8.3e" with a three-digit
// exponent for |v| <= 0.1). Returns its length.
constexpr std::size_t kLabelTextSize = 64;  // holds "%5.2f" of any float
std::size_t format_label(float v, char (&text)[kLabelTextSize]);

// ---------------------------------------------------------------------------
// BMP export

constexpr int kPixelStride = 1000;  // a row always takes 1000 entries
constexpr int kMaxPicture = 1000;   // pictures must be smaller in each direction

struct PixelBuffer {
  COLORREF pixels[kPixelStride * kMaxPicture];
};

extern PixelBuffer pixel_buffer;

// Reads the picture back from hdc: 0, or -1 with the message in
// message_buffer when it is too large (or has a negative size).
int32_t capture_pixels(HDC hdc);
// Writes pixel_buffer as a 24-bit BMP file, put in place of path only when
// complete: 0, or the system's error number with the message in
// message_buffer when the file cannot be opened or written.
int32_t saveBMPFile(const char* path);

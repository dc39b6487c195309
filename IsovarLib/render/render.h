// The renderer: lays the plot out in the picture, draws the background, the
// filled bands when asked, the titles, the frame, the isolines and their
// labels on the run's device context, records every printable primitive in
// the display-list file, and exports the drawn picture as a BMP file.
//
// Every procedure works on the Run it is given (render/run.h), which owns
// the layout (plot area, scale, title pitch, recorded pen width), the label
// table (accepted label positions and their nearness index), the captured
// picture, the display-list bytes not yet written to the file, and the
// batch of band polygons being filled. It reads the run's model (extent,
// display mode, titles, levels and their kinds), its engine tables
// (polylines, points and band pieces, after a successful trace) and its
// context (device context, picture size, display-list file, fill_bands),
// and writes its failure texts into the context's message_buffer.
//
// Drawing goes only through the platform's drawing calls; every pen, brush
// and font is created, selected, used, deselected and deleted within one step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>
#include "display_list_format.h"
#include "platform.h"
#include "shared/tables.h"
#include "input/model_store.h"
#include "input/mesh_boundary.h"

struct Run;
struct ModelStore;
namespace inline_labels {
struct Box;
}

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
  // Set only when the picture has a colour key: how many rows (key below)
  // or columns (key right) its values are staggered over so that none
  // overlaps the next, and the pixels the axes' values take beside the frame.
  int32_t key_stagger;
  int32_t axes_left;
  int32_t axes_below;
};

// ---------------------------------------------------------------------------
// Picture style: what a picture shows besides the plot itself, and the
// colours it takes. The zero style is the plain picture: no key, no axes,
// the classic colours; with it the picture and the display list are exactly
// those of a run that never heard of styles.

constexpr int32_t kKeyNone = 0;
constexpr int32_t kKeyRight = 1;
constexpr int32_t kKeyBelow = 2;

constexpr int32_t kMapClassic = 0;  // blue to red by hue (level_colour)
constexpr int32_t kMapViridis = 1;
constexpr int32_t kMapCividis = 2;
constexpr int32_t kMapMagma = 3;
constexpr int32_t kMapGrey = 4;
constexpr int32_t kMapBalance = 5;  // diverging, its middle at `centre`
constexpr int32_t kMapCount = 6;

struct PictureStyle {
  int32_t key;         // kKeyNone, kKeyRight or kKeyBelow
  int32_t axes;        // 1: ticks and their values left of and below the frame
  int32_t colour_map;  // kMapClassic ...
  double centre;       // the value at the middle of a diverging map
  int32_t labels;         // kLabelsAtEnds, kLabelsInline or kLabelsUphill
  int32_t label_spacing;  // pixels of line between inline labels; 0: kDefaultLabelSpacing
  int32_t index;          // > 0: every index-th level is bold and the only one labelled
  int32_t halo;           // 1: labels in their line's colour on a contrasting outline
  int32_t outline;     // 1: the domain's boundary drawn, labels kept inside it
};

constexpr int32_t kLabelsAtEnds = 0;   // at the ends of the lines, by the frame
constexpr int32_t kLabelsInline = 1;   // along the lines, kept upright
constexpr int32_t kLabelsUphill = 2;   // along the lines, tops towards higher values
constexpr int32_t kDefaultLabelSpacing = 250;
constexpr int32_t kMaxLabelSpacing = 100000;

// Whether the layout makes room for anything (a key or axes).
inline bool style_takes_room(const PictureStyle& s) { return s.key != kKeyNone || s.axes != 0; }

// The map's name as users give it ("classic", "viridis", ...), and the map
// of a name (-1 for none).
const char* colour_map_name(int32_t map);
int32_t colour_map_named(const char* name);
// The colour at t (0 the low end, 1 the high end, clamped; a NaN is the
// middle) of map, which must not be the classic one.
COLORREF map_colour(int32_t map, double t);

// Round steps for the values along an axis: ticks at first + i * step for i
// in 0 .. count - 1, every one within [lo, hi], written with `decimals`
// digits after the point, or in exponent form with `decimals` digits after
// the mantissa's point when `exponent` is set.
struct Ticks {
  double first;
  double step;  // 1, 2, 2.5 or 5 x 10^k; for lo == hi one tick, with the step of its size
  int32_t count;
  int32_t decimals;
  int32_t exponent;
};
// The step of 1, 2, 2.5 or 5 x 10^k giving between fewest and most ticks in
// [lo, hi] (the ends in either order), or, when none does, the count
// nearest to that range (the fewer ticks on a tie). count 0 when lo or hi is
// not finite.
Ticks choose_ticks(double lo, double hi, int32_t fewest, int32_t most);
// The ticks of the least step of 1, 2, 2.5 or 5 x 10^k that is at least
// `least` (for values that need that much room); count 0 when least is not
// a positive number.
Ticks ticks_at_least(double lo, double hi, double least);
// The text of tick value v as ticks says; its length.
std::size_t format_tick(double v, const Ticks& ticks, char* text, std::size_t size);

constexpr COLORREF kBackgroundColour = 0x00646464;  // RGB(100, 100, 100)
constexpr COLORREF kWhite = 0x00FFFFFF;

// Truncates toward zero into the int32 range: values beyond it give the
// nearest end, a value that is not a number gives 0. Every conversion of a
// computed coordinate to a pixel goes through here.
int32_t trunc_to_int(double value);

// Draws the whole plot on run_hdc and records it in the display list; always 0.
// The render driver (driver.cpp).
int32_t render_plot(Run& r);
void plot_layout(Run& r);
int32_t map_x(Run& r, float x);
int32_t map_y(Run& r, float y);

// The same mapping as map_x and map_y, kept in double precision and not
// truncated: picture pixels with fractions, px = left + kx * (x - x0),
// py = bottom + ky * (y - y0) (ky <= 0), inside the plot area's edges.
// Band polygons are mapped so, and their edges then run through the pixels
// of the isolines drawn along them.
struct PixelFrame {
  double left, right, top, bottom;
  double x0, kx;
  double y0, ky;
};
PixelFrame pixel_frame(const Run& r);

// ---------------------------------------------------------------------------
// Display-list writer, of the records display_list_format.h lays out.
// Records are appended to a buffer and written to
// run_context.display_list_file when it fills and by dl_flush; without a
// file the bytes are dropped. In a large run, full buffers go to the run's
// display_list_behind instead, whose thread writes them while the picture
// is drawn. The file keeps the first write failure for the run to report
// when it commits the file.

// 64 KiB: few writes, and the buffer stays in the cache between them.
constexpr std::size_t kDlBufferSize = 64 * 1024;

struct DisplayListWriter {
  unsigned char bytes[kDlBufferSize];  // the writer's own buffer
  unsigned char* out;                  // the buffer being filled: bytes, or the writing thread's
  std::size_t capacity;                // of out
  std::size_t used;
};

void dl_title(Run& r, const char* text, int32_t x, int32_t y, int32_t size);
void dl_line(Run& r, int32_t pen_width, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// A line record made apart (kDlLineSize bytes at `at`), and records so made
// appended in one go.
constexpr std::size_t kDlLineSize = 4 * (1 + kDlLineFields);
void dl_line_record(unsigned char* at, int32_t pen_width, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
void dl_records(Run& r, const unsigned char* bytes, std::size_t n);
void dl_label(Run& r, const char* text, int32_t x, int32_t y, int32_t size);
// Writes the pending records to the file (render_plot does it at its end).
void dl_flush(Run& r);
// Forgets pending records (the start of every render).
void dl_discard(Run& r);

// ---------------------------------------------------------------------------
// Titles and frame

// The pictures' Japanese gothic font, height pixels tall, its text turned
// degrees counter-clockwise.
HFONT make_font(int32_t height, double degrees = 0.0);
void draw_line(Run& r, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
void draw_titles(Run& r);
void draw_frame(Run& r);

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

// Empties the label table and prepares the nearness test for the current
// extent (draw_isolines does it first).
void reset_labels(Run& r);

void draw_isolines(Run& r);
int32_t clip_outcode(float xmin, float ymin, float w, float h, float x, float y);
int32_t line_clip(float xmin, float ymin, float w, float h, float& x1, float& y1, float& x2,
                  float& y2);
int32_t hsv_to_rgb(float h, float s, float v, int32_t& red, int32_t& green, int32_t& blue);
// The pen colour of level k among the model's levels.
COLORREF level_colour(const ModelStore& m, int32_t k);
// The same in the style's colour map (level_colour itself for the classic).
COLORREF level_colour(const ModelStore& m, int32_t k, const PictureStyle& style);

// ---------------------------------------------------------------------------
// Filled bands (run_context.fill_bands)

// The fill of band b (between levels b - 1 and b; 0 .. level_count): the hue
// midway between the hues of those two levels' line colours, the lowest
// level's hue for band 0 and the highest's for the top band, at saturation
// kBandSaturation and full value, so every band is lighter than the lines
// (saturation 1) around it. A single level (whose line has no hue) puts blue
// below it and red above. Needs at least one level.
constexpr float kBandSaturation = 0.35f;
COLORREF band_colour(const ModelStore& m, int32_t b);
// Band b's fill in the style's colour map: for the classic map band_colour;
// otherwise the map's colour (at full strength) midway between its two
// levels' places on the map, the end bands at the end levels' places, and
// with a single level the map's low end below it and its high end above.
COLORREF band_colour(const ModelStore& m, int32_t b, const PictureStyle& style);

// Fills every band piece of the engine tables in its band's colour, clipped
// to the frame, and records the polygons in DL_BANDS records.
void draw_bands(Run& r);

// The most polygons a DL_BANDS record holds, and the most corners a clipped
// band piece has (five, and one more for each side of the frame).
constexpr int32_t kDlBandPolygons = 256;
constexpr int32_t kMaxBandCorners = 9;

// One DL_BANDS record: the colour and `polygons` polygons, polygon i with
// counts[i] corners taken one after another from points (picture pixels,
// recorded in sixteenths of a pixel).
// The band drawing's scratch: up to kDlBandPolygons polygons, filled and
// recorded together; polygon i is of band band[i] (-1: joined into
// another), its corners from points[first[i]]. Joined polygons are written
// after the others, hence room for twice the corners. `sorted` holds the
// batch's polygons grouped by band, for the surface and the record.
struct BandDrawing {
  struct {
    POINTF points[2 * kDlBandPolygons * kMaxBandCorners];
    int32_t first[kDlBandPolygons];
    int counts[kDlBandPolygons];
    int32_t band[kDlBandPolygons];
    int32_t polygons;
    int32_t used;  // points
  } batch;
  struct {
    POINTF points[kDlBandPolygons * kMaxBandCorners];
    int counts[kDlBandPolygons];
  } sorted;
  int32_t in_use;  // bands of this render
  HBRUSH brushes[kLevelSlots + 1];
  COLORREF colours[kLevelSlots + 1];
};

void dl_bands(Run& r, COLORREF colour, const POINTF* points, const int* counts, int32_t polygons);
// Level k's pen width: 2 for a bold level (with an index, an index level), else 1.
int32_t level_pen_width(const Run& r, int32_t k);
// The pens of one pass over the rows. Each row makes its own pen, selects it
// and, after it, selects the pen from before again and deletes it; with keep
// (large mode, where hundreds of thousands of rows share a few levels), each
// level's pen is made once and selected only when the level changes, and
// done() puts back the pen from before and deletes them all.
class LevelPens {
 public:
  LevelPens(HDC dc, bool keep) : dc_(dc), keep_(keep) {}
  LevelPens(const LevelPens&) = delete;
  LevelPens& operator=(const LevelPens&) = delete;
  ~LevelPens() { done(); }
  void select(int32_t k, int32_t width, COLORREF colour);
  void row_done() {
    if (!keep_) done();
  }
  void done();

 private:
  HDC dc_;
  bool keep_;
  HPEN pens_[kLevelSlots] = {};
  HGDIOBJ before_ = nullptr;
  int32_t selected_ = -1;
};
// Whether level k carries labels (with an index, only index levels do).
bool level_labelled(const Run& r, int32_t k);
// The isolines with labels along them (a style's inline or uphill labels):
// placed first, then the lines drawn with gaps under them, then the labels.
void draw_inline_isolines(Run& r);
// The isolines as exact paths, for a surface that takes them (SVG, cairo),
// one group a level; gaps: per level, the boxes (in pixels) its lines leave
// out under its labels, or null.
void draw_exact_isolines(Run& r, const COLORREF* colours,
                         const std::vector<std::vector<const inline_labels::Box*>>* gaps);
// WCAG relative luminance of a colour and the contrast ratio of two (1 .. 21).
double relative_luminance(COLORREF c);
double contrast_ratio(COLORREF a, COLORREF b);
// The outline colour behind text of this colour: white or black, whichever
// contrasts more (at least 4.58 : 1 for any colour).
COLORREF halo_colour(COLORREF text);
constexpr int32_t kHaloWidth = 2;
// Text colour of level k's labels and the halo behind them.
void set_label_colours(Run& r, int32_t k);
void add_pline_labels(Run& r, int32_t n);
void add_label(Run& r, int32_t p, int32_t k);
void add_label_at(Run& r, float x, float y, int32_t k);  // the same at a point's place
void draw_labels(Run& r);

// ---------------------------------------------------------------------------
// Colour key and axes, outside the frame in the room the layout made.

// The key's band swatches (with filled bands): drawn and recorded in
// DL_BANDS records, so called among the bands, before any other record.
void draw_key_swatches(Run& r);
// The key's line samples (without filled bands) and its values.
void draw_key(Run& r);
// The key's extent across the frame side it lies on, in pixels, for the
// layout: its width right of the frame, its height below it, given the
// stagger of its values.
int32_t key_depth(const Run& r, int32_t stagger);
// The stagger the key's values need along a frame side `length` pixels long.
int32_t key_stagger_needed(const Run& r, double length);
// The ticks of the axes along x and y, for a frame of the given pixels.
Ticks axis_ticks(const Run& r, bool along_x, double frame_pixels);
// The widest tick value's width in pixels.
int32_t axis_label_width(const Run& r, const Ticks& t);
// The room the axes take left of a frame this high, and below the frame.
int32_t axes_room_left(const Run& r, double frame_height);
int32_t axes_room_below();
void draw_axes(Run& r);
// The estimated width of text of n bytes in a font `size` pixels high:
// the drawing layer has no call that measures text; the fixed-pitch face's
// half-width characters take about half the cell (this says 0.6).
int32_t text_width(std::size_t n, int32_t size);
void draw_label(Run& r, float x, float y, int32_t k, int32_t size);

// The label text of value v ("%5.2f", or "%8.3e" with a three-digit
// exponent for |v| <= 0.1). Returns its length.
constexpr std::size_t kLabelTextSize = 64;  // holds "%5.2f" of any float
std::size_t format_label(float v, char (&text)[kLabelTextSize]);

// ---------------------------------------------------------------------------
// The domain's outline (style.outline): the boundary of a finite-element
// mesh and of its holes, or of a grid's cells whose corners are all defined,
// drawn in the frame's colour and width after the bands and before the
// isolines, clipped to the extent and recorded as line records. Labels are
// then kept inside it.

constexpr int32_t kOutlineWidth = 2;  // the frame's pen
constexpr int32_t kOutlineBucketPixels = 16;

struct OutlineState {
  BoundaryRings rings;  // of the model drawn last
  // The closed rings' sides in picture pixels (x1, y1, x2, y2), and the
  // sides in each band of kOutlineBucketPixels rows from bucket_top.
  std::vector<double> sides;
  std::vector<int32_t> bucket_first;  // buckets + 1 entries
  std::vector<int32_t> bucket_sides;
  double bucket_top;
  int32_t buckets;
  int32_t ready;  // 1: the domain of this render is known
};

// Finds the boundary, draws and records it, and prepares the label test.
void draw_outline(Run& r);
// Whether the text box of width x height pixels at column, row lies inside
// the domain; when not, moves it to the first place around the label's
// point (px, py) that does. False when none does (the label is not drawn).
// Always true without an outline.
bool place_label_in_domain(Run& r, int32_t px, int32_t py, int32_t width, int32_t height, int32_t& column,
                           int32_t& row);

// ---------------------------------------------------------------------------
// BMP export

constexpr int kPixelStride = 1000;  // a row always takes 1000 entries
constexpr int kMaxPicture = 1000;   // pictures must be smaller in each direction

struct PixelBuffer {
  COLORREF pixels[kPixelStride * kMaxPicture];
};

// Reads the picture back from hdc: 0, or -1 with the message in
// message_buffer when it is too large (or has a negative size).
int32_t capture_pixels(Run& r, HDC hdc);
// Writes pixel_buffer as a 24-bit BMP file, put in place of path only when
// complete: 0, or the system's error number with the message in
// message_buffer when the file cannot be opened or written.
int32_t saveBMPFile(Run& r, const char* path);

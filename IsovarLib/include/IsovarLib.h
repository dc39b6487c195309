/*
 * IsovarLib: reads an isoline input file, traces its isolines, draws the plot
 * on a device context while recording a display-list file, and writes BMP
 * files.
 *
 * Every text is a NUL-terminated byte string in code page 932. Every function
 * that can fail takes the caller's error text buffer errMsg of
 * ISOVAR_ERRMSG_SIZE bytes: a failing call writes one NUL-terminated message
 * there (cut at the last whole character that fits) and returns -1; a
 * successful call returns 0 and leaves errMsg untouched.
 *
 * Every file is written whole under a temporary name in its folder and then
 * renamed over the old one, so a failed write leaves the earlier file as it
 * was. isovarMain, saveBMP, saveIsolines and saveBands, when they fail, set
 * errno: to the system's error number when a file could not be written,
 * else to 0.
 *
 * Two ways in. The functions of the first part work on one default model
 * and one default run, kept by the library for the whole process: calls of
 * them must not overlap. The objects of the second part (IsovarModel,
 * IsovarRun) are the caller's: each owns its tables, so several models and
 * runs can be used at once, on several threads, as long as one object is
 * not changed by two calls at the same time (a model may be traced by many
 * runs at once while nothing reads or builds into it).
 */
#ifndef ISOVARLIB_H
#define ISOVARLIB_H

#include <stdint.h>

#include "platform.h"

#if defined(__GNUC__)
#define ISOVAR_API __attribute__((visibility("default")))
#else
#define ISOVAR_API
#endif

#define ISOVAR_ERRMSG_SIZE 256
#define ISOVAR_CURRENT_DIR_SIZE 200

#ifdef __cplusplus
extern "C" {
#endif

/* Reads the input file at path into the model store. */
ISOVAR_API int32_t readData(const char* path, char* errMsg);

/* One plot run: rewrites the run log "isovar.log" in the current directory,
 * traces the isolines, draws the plot on hdc, a width x height picture, and
 * writes the display-list file printInfoPath. A run log that cannot be
 * written is skipped; a display list that cannot be written fails the run
 * after the picture is drawn. Neither name is followed when it is a symbolic
 * link: the link itself is replaced. */
ISOVAR_API int32_t isovarMain(char* errMsg, HDC hdc, const char* printInfoPath, int32_t width,
                              int32_t height);

/* A plot run as isovarMain, then the picture read back from hdc and written
 * to bmpPath as a 24-bit BMP file (pictures below 1000 pixels each way). A
 * bmpPath that is a symbolic link is written through to the file it names. */
ISOVAR_API int32_t saveBMP(char* errMsg, HDC hdc, const char* printInfoPath, const char* bmpPath,
                           int32_t width, int32_t height);

/* The process's current directory into buf (ISOVAR_CURRENT_DIR_SIZE bytes);
 * always 0. */
ISOVAR_API int32_t currentDir(char* buf);

/* "TEMP" followed by "\IsovarData" into outPath; nothing is created. */
ISOVAR_API int32_t makeTempFilePath(char* errMsg, char* outPath);

/* Traces the current model (as a plot run does, without drawing, the run log
 * or the display list) and writes its isolines to path as a GeoJSON
 * FeatureCollection in UTF-8: one LineString feature per polyline, in the
 * engine's table order, with its coordinates in model units and the
 * properties "level" (the level's value), "level_index" (0-based),
 * "closed" (a ring, whose last position repeats its first), "bold" and
 * "labelled". Each number is the shortest text that reads back as the same
 * single-precision value (a level of -0.005 is written -0.005); JSON has no
 * NaN or infinity, so a level that is not finite is written as null, and a
 * polyline with a position that is not finite gets a null geometry. A failed
 * trace writes no file. A path that is a symbolic link is written through to
 * the file it names; a device (such as /dev/stdout) is written directly. */
ISOVAR_API int32_t saveIsolines(char* errMsg, const char* path);

/* Large models, for the readData and plot runs that follow: with on != 0 the
 * tables grow with the model instead of refusing what passes their default
 * sizes (grids of any size memory holds, node and element numbers up to
 * 99999999, no limit on isoline points, polylines, their points, band pieces
 * or labels); levels (49), titles (5 of 58 bytes) and frame lines (10) keep
 * their limits. A model that fits the default tables gives the same tables,
 * display list and picture either way. Running out of memory is a failure
 * with its message. Always 0. */
ISOVAR_API int32_t setLargeModels(int32_t on);

/* 1 when the last readData, isovarMain, saveBMP, saveIsolines or saveBands
 * failed because the model passed a default table's size, a limit that
 * setLargeModels(1) lifts; otherwise 0. */
ISOVAR_API int32_t tableLimitReached(void);

/* Traces the current model (as saveIsolines does) and writes its band
 * polygons to path as a GeoJSON FeatureCollection in UTF-8: one Feature per
 * band that has area, in ascending order, with the properties "band" (0 below
 * the lowest level up to n above the highest of n levels), "lower" and
 * "upper" (the values of the levels the band lies between, null at the open
 * ends and for a level that is not finite) and a MultiPolygon geometry in
 * model units. The band pieces of one band are merged: edges two pieces
 * share go, the rest are traced into rings, outer rings counter-clockwise
 * and holes clockwise (RFC 7946), every ring closed and simple (rings of a
 * band touch at single vertices at most), each hole inside its outer ring;
 * bands do not overlap, and a band's area is the sum of its pieces' areas.
 * Areas without values have no band. Numbers as in saveIsolines; pieces with
 * a position that is not finite are left out. A failed trace writes no file.
 * Large mode keeps the band table for this call. A path that is a symbolic
 * link is written through to the file it names. On failure errno is set as
 * by saveIsolines. */
ISOVAR_API int32_t saveBands(char* errMsg, const char* path);

/* Filled bands, for the plot runs that follow (isovarMain, saveBMP): with
 * on != 0 every band between neighbouring levels is filled under the
 * isolines, the frame and the labels, clipped to the frame, and the display
 * list carries the filled polygons (DL_BANDS records, display_list_format.h)
 * for the printout to paint under its lines and text. Band b lies between
 * levels b - 1 and b (band 0 below the lowest level, band n above the
 * highest of n levels); its colour has the hue midway between the hues of
 * those two levels' line colours (band 0 and band n: the lowest and the
 * highest level's hue; with a single level, blue below it and red above),
 * saturation 0.35 and full value, lighter than every line. Areas without values (missing grid points, elements without values,
 * outside the mesh) keep the background. A model without levels is not
 * filled. With on == 0 (the default) pictures and display lists are as
 * without this call. Always 0. */
ISOVAR_API int32_t setFillBands(int32_t on);

/* Where the plot runs that follow (isovarMain, saveBMP) write their run log:
 * path (for instance "/dev/null", where nothing is kept), or with NULL or ""
 * "isovar.log" in the current folder, as without this call. The log is
 * written as always: replaced whole by each run, then appended to by the
 * reads that follow; one that cannot be written is skipped. 0, or -1 when
 * path is 4096 bytes or longer (the setting is then unchanged). */
ISOVAR_API int32_t setRunLog(const char* path);

/* ---- Models and runs as objects -------------------------------------------
 *
 * A model holds what a read or a build produced: its kind, coordinates,
 * values, levels, titles and frame lines, in the default tables (the limits
 * of readData) or, when built with large != 0, in tables that grow (as after
 * setLargeModels(1)). A run holds what a trace and a drawing make: the
 * polylines, the band pieces, the labels, the picture's layout. The results
 * a run gives are those the functions above give for the same model.
 *
 * Example: a grid from arrays, traced, its polylines walked.
 *
 *   double x[3] = {0, 1, 2}, y[2] = {0, 1};
 *   double z[6] = {0, 1, 2,   1, 2, 3};        // row by row, y outermost
 *   double levels[2] = {1.5, 2.5};
 *   IsovarModelInfo info = {2, levels, NULL, NULL, 0, NULL, 0};
 *   char err[ISOVAR_ERRMSG_SIZE];
 *   IsovarModel* model = isovarModelNew();
 *   IsovarRun* run = isovarRunNew();
 *   if (isovarModelGrid(model, 3, 2, x, y, z, &info, 0, err) == 0 &&
 *       isovarRunTrace(run, model, 0, err) == 0) {
 *     for (int32_t i = 0; i < isovarRunLineCount(run); ++i) {
 *       int32_t level, closed;
 *       int32_t n = isovarRunLine(run, i, &level, &closed, NULL);
 *       double* xy = malloc(sizeof(double) * 2 * n);
 *       isovarRunLine(run, i, &level, &closed, xy);    // x0, y0, x1, y1, ...
 *       free(xy);
 *     }
 *   }
 *   isovarRunFree(run);
 *   isovarModelFree(model);
 */

typedef struct IsovarModel IsovarModel;
typedef struct IsovarRun IsovarRun;

/* What a model built from arrays has besides its geometry. */
typedef struct IsovarModelInfo {
  int32_t level_count;      /* at most 49 */
  const double* levels;     /* ascending */
  const int32_t* bold;      /* per level, non-zero for a bold line; NULL: none */
  const int32_t* labelled;  /* per level, 0 for no label; NULL: all labelled */
  int32_t title_count;      /* at most 5 */
  const char* const* titles;  /* code page 932, at most 58 bytes each */
  int32_t display_mode;     /* 2: the plot fills the picture; else to scale */
} IsovarModelInfo;

/* A new, empty model (no levels, no values), or NULL without memory. */
ISOVAR_API IsovarModel* isovarModelNew(void);
/* Frees the model; NULL is allowed. No run may be using it. */
ISOVAR_API void isovarModelFree(IsovarModel* model);

/* Reads the input file at path into model, as readData reads it into the
 * default model (the same checks and messages), in the growing tables when
 * large != 0. A failed read leaves the model as it was. The node number
 * error is not logged anywhere (a model has no run log). */
ISOVAR_API int32_t isovarModelRead(IsovarModel* model, const char* path, int32_t large, char* errMsg);

/* Builds a grid model: x[nx] and y[ny] strictly ascending, values[ny * nx]
 * row by row (values[j * nx + i] at x[i], y[j]), NaN where there is no
 * value. Every number is checked as the reader checks its text and stored
 * as readData stores it (single precision), but for the coordinates of an
 * axis far from 0 for its span (a projected raster's metres): these are
 * stored as offsets from the axis' first coordinate, the model's origin
 * (isovarModelOrigin), and the checks (x and y strictly ascending) apply to
 * the offsets as stored. Every result in model units adds the origin back
 * in double precision. An axis that reaches across half its largest
 * magnitude or more has origin 0, as a file's model has: a model built from
 * such numbers of a file equals the model read from it. The messages are
 * the reader's; a "line" in them is the offending element's 1-based
 * position in its array (the level's, the title's). In the default tables
 * (large == 0) the limits of readData hold. A failed build leaves the model
 * as it was. */
ISOVAR_API int32_t isovarModelGrid(IsovarModel* model, int32_t nx, int32_t ny, const double* x, const double* y,
                                   const double* values, const IsovarModelInfo* info, int32_t large,
                                   char* errMsg);

/* As isovarModelGrid, with the coordinates stored as offsets from the
 * origin (originX, originY) given (finite), not chosen. The tiles of one
 * grid built with the origin the whole grid chooses (isovarAxisOrigin of
 * each axis) store their coordinates as the whole grid does, bit for bit,
 * and trace each cell to the same points. An origin that is not finite
 * fails as a coordinate that is not a number, at position 0. */
ISOVAR_API int32_t isovarModelGridAt(IsovarModel* model, double originX, double originY, int32_t nx, int32_t ny,
                                     const double* x, const double* y, const double* values,
                                     const IsovarModelInfo* info, int32_t large, char* errMsg);
/* As isovarModelGrid, the values put row by row instead of given in one
 * array, so that a caller reading them (a raster's blocks) needs no room for
 * all of them at once: fill(user, put, context) calls put(context, j, row)
 * once for each row j (0 to ny - 1, in any order; row[i] at x[i], NaN where
 * there is no value; row is not kept) and returns 0 when done. put returns
 * 0, or -1 for a value it refuses (errMsg then says which, as
 * isovarModelGrid would); fill then returns non-zero, and any non-zero
 * return fails the build, errMsg empty when fill failed on its own. A row
 * never put has no values. The model is the one isovarModelGrid builds from
 * the same numbers, origin included. */
typedef int32_t (*IsovarGridRowPut)(void* context, int32_t j, const double* row);
typedef int32_t (*IsovarGridRowsFill)(void* user, IsovarGridRowPut put, void* context);
ISOVAR_API int32_t isovarModelGridRows(IsovarModel* model, int32_t nx, int32_t ny, const double* x,
                                       const double* y, IsovarGridRowsFill fill, void* user,
                                       const IsovarModelInfo* info, int32_t large, char* errMsg);
/* The origin isovarModelGrid chooses for an axis of n coordinates v. */
ISOVAR_API double isovarAxisOrigin(int64_t n, const double* v);

/* Builds a finite-element model: node n (numbered 0 to node_count - 1) at
 * x[n], y[n] with values[n] (NaN: no value); cell c (numbered 0 to
 * cell_count - 1) joins the nodes cells[4c] .. cells[4c + 3], the last -1
 * for a triangle. A cell with a node that has no value, or is not a node,
 * is not traced, as in a file; a 4-node cell of impossible shape fails the
 * trace with the engine's message. Otherwise as isovarModelGrid, the
 * origin's candidate being the first node's coordinates. */
ISOVAR_API int32_t isovarModelMesh(IsovarModel* model, int32_t node_count, const double* x, const double* y,
                                   const double* values, int32_t cell_count, const int32_t* cells,
                                   const IsovarModelInfo* info, int32_t large, char* errMsg);

/* 1 when the model's last read or build failed on a default table's limit
 * (one that large != 0 lifts); otherwise 0. */
ISOVAR_API int32_t isovarModelLimitReached(const IsovarModel* model);

/* What a model holds besides its geometry, as isovarModelDescribe gives it:
 * the levels, flags and titles a file or a build gave it, as stored (the
 * levels in single precision), and the extent of its coordinates. */
#define ISOVAR_MAX_LEVELS 49
#define ISOVAR_MAX_TITLES 5
#define ISOVAR_TITLE_SIZE 59        /* 58 bytes of code page 932 and a NUL */
typedef struct IsovarModelSummary {
  int32_t kind;                     /* 0 a grid (also an empty model), 1 a finite-element mesh */
  int32_t large;                    /* 1 when in the growing tables */
  int32_t display_mode;             /* 2: the plot fills the picture; 1 to scale */
  int32_t level_count;
  double levels[ISOVAR_MAX_LEVELS];
  int32_t bold[ISOVAR_MAX_LEVELS];      /* 1 for a bold line */
  int32_t labelled[ISOVAR_MAX_LEVELS];  /* 0 for no label */
  int32_t title_count;
  char titles[ISOVAR_MAX_TITLES][ISOVAR_TITLE_SIZE];
  double xmin, xmax, ymin, ymax;    /* of the coordinates (a mesh's nodes), the origin added */
} IsovarModelSummary;

/* Fills *summary from model: 0, or -1 for a NULL argument. */
ISOVAR_API int32_t isovarModelDescribe(const IsovarModel* model, IsovarModelSummary* summary);

/* The model's origin into *x and *y (each when not NULL): the point its
 * coordinates are stored as single-precision offsets from, (0, 0) for a
 * model read from a file and for most built from arrays (see
 * isovarModelGrid). Every result in model units (isovarRunLine,
 * isovarRunBandRing, the GeoJSON files, the extent) already has it added;
 * the pictures and the display list are drawn from the offsets. 0, or -1
 * for a NULL model. */
ISOVAR_API int32_t isovarModelOrigin(const IsovarModel* model, double* x, double* y);

/* Replaces the levels, their flags, the titles and the display mode of
 * model with those of info (NULL: none, display to scale), checked as a
 * build checks them, with a build's messages; the geometry and values stay.
 * A failed call leaves the model as it was. No run may be using the model. */
ISOVAR_API int32_t isovarModelSetInfo(IsovarModel* model, const IsovarModelInfo* info, char* errMsg);

/* A new run, or NULL without memory. */
ISOVAR_API IsovarRun* isovarRunNew(void);
/* Frees the run; NULL is allowed. */
ISOVAR_API void isovarRunFree(IsovarRun* run);

/* Settings of the run's traces and drawings that follow: filled bands
 * under the isolines (as setFillBands), and the growing tables even for a
 * model in the default ones (as setLargeModels; a model built or read with
 * large != 0 is always traced so). Always 0. */
ISOVAR_API int32_t isovarRunSetFill(IsovarRun* run, int32_t on);
ISOVAR_API int32_t isovarRunSetLarge(IsovarRun* run, int32_t on);

/* Traces model into run (as saveIsolines traces the default model); with
 * bands != 0 the band pieces are kept for isovarRunBands even in the
 * growing tables. The run's results refer to the model's levels: keep the
 * model unchanged while reading them. */
ISOVAR_API int32_t isovarRunTrace(IsovarRun* run, const IsovarModel* model, int32_t bands, char* errMsg);
/* 1 when the run's last trace or drawing failed on a default table's limit. */
ISOVAR_API int32_t isovarRunLimitReached(const IsovarRun* run);

/* The polylines of the last trace or drawing, in the engine's table order
 * (the order of saveIsolines' features). */
ISOVAR_API int32_t isovarRunLineCount(const IsovarRun* run);
/* Polyline i: its level index into *level, 1 into *closed for a ring (whose
 * last point repeats its first), and, when xy is not NULL, its points as
 * x0, y0, x1, y1, ... into xy. Returns the number of points, or -1 when
 * there is no polyline i. */
ISOVAR_API int32_t isovarRunLine(const IsovarRun* run, int32_t i, int32_t* level, int32_t* closed, double* xy);

/* Receives a polyline of isovarRunTraceLines: as isovarRunLine gives it,
 * its count points as x0, y0, x1, y1, ... (valid during the call only).
 * 0 to go on; anything else stops the trace. */
typedef int32_t (*IsovarLineSink)(void* user, int32_t level, int32_t closed, int32_t count, const double* xy);
/* Traces model and hands each polyline to sink, in the order isovarRunTrace
 * then isovarRunLine would give them. A grid past the default tables traced
 * in large mode goes in tiles, and each line is handed on as soon as the
 * tiles up to its last point are joined: the run never holds the whole
 * output, only the tiles in flight and the lines still open. Afterwards the
 * run holds no polylines (isovarRunLineCount gives 0). Returns 0, -1 with
 * the message, or sink's nonzero answer when it stopped the trace. */
ISOVAR_API int32_t isovarRunTraceLines(IsovarRun* run, const IsovarModel* model, IsovarLineSink sink, void* user,
                                       char* errMsg);

/* Merges the band pieces of the last trace (made with bands != 0, or in the
 * default tables) into band polygons, as saveBands does: 0, or -1. */
ISOVAR_API int32_t isovarRunBands(IsovarRun* run, char* errMsg);
/* The bands with area, ascending, of the last isovarRunBands. */
ISOVAR_API int32_t isovarRunBandCount(const IsovarRun* run);
/* Band i: its number (0 below the lowest level up to n above the highest
 * of n levels) into *band; returns its number of polygons, or -1. */
ISOVAR_API int32_t isovarRunBand(const IsovarRun* run, int32_t i, int32_t* band);
/* Ring r of polygon p of band i (ring 0 the outer ring, counter-clockwise;
 * the holes after it, clockwise), not closed (the first point is not
 * repeated): its points into xy when not NULL, as isovarRunLine. Returns
 * the number of points, or -1 when there is no such ring; *ring_count, when
 * not NULL, receives the polygon's number of rings. */
ISOVAR_API int32_t isovarRunBandRing(const IsovarRun* run, int32_t i, int32_t p, int32_t r, int32_t* ring_count,
                                     double* xy);

/* A plot run of model by run, as isovarMain without the run log: traces,
 * draws on hdc (a width x height picture; a surface of the drawing layer,
 * CreateSurfaceDC or CreateSvgSurfaceDC) and, when printInfoPath is not
 * NULL, writes the display list there. */
ISOVAR_API int32_t isovarRunDraw(IsovarRun* run, const IsovarModel* model, HDC hdc, int32_t width, int32_t height,
                                 const char* printInfoPath, char* errMsg);
/* The picture of the run's last isovarRunDraw, read back from hdc, as a
 * 24-bit BMP file at bmpPath (as saveBMP writes it). */
ISOVAR_API int32_t isovarRunSaveBMP(IsovarRun* run, HDC hdc, const char* bmpPath, char* errMsg);
/* The run's polylines, or its band polygons (its last trace made with
 * bands != 0, or in the default tables), as the GeoJSON files of
 * saveIsolines and saveBands. */
ISOVAR_API int32_t isovarRunSaveIsolines(const IsovarRun* run, const char* path, char* errMsg);
ISOVAR_API int32_t isovarRunSaveBands(const IsovarRun* run, const char* path, char* errMsg);
/* Traces model and writes its polylines as isovarRunTrace then
 * isovarRunSaveIsolines would, the same file; a grid traced in tiles (as
 * isovarRunTraceLines) is written line by line as the tiles are joined,
 * never held whole. Afterwards the run holds no polylines. */
ISOVAR_API int32_t isovarRunStreamIsolines(IsovarRun* run, const IsovarModel* model, const char* path,
                                           char* errMsg);

/* ---- Picture style ---------------------------------------------------------
 *
 * What pictures show besides the plot, and their colours. The zero style
 * (every field 0) is the plain picture: pictures, display lists and BMP
 * files are then exactly as without a style.
 *
 * key: ISOVAR_KEY_RIGHT or ISOVAR_KEY_BELOW puts a colour key beside the
 *   frame (the frame shrinks to make room, keeping its shape): one swatch
 *   per band with filled bands, otherwise one line sample per level, each
 *   level's value written as the labels are, bold levels in bold; values at
 *   the bottom (right of the frame) or the left (below it) are the lowest.
 * axes: non-zero puts ticks outside the frame's bottom and left sides at
 *   round steps (1, 2, 2.5 or 5 x 10^k, about 5 to 8 per side) of the
 *   model's coordinates, each with its value.
 * colormap: ISOVAR_COLORMAP_CLASSIC (blue to red by hue, as described at
 *   setFillBands), or a table the lines, the bands and the key all take
 *   their colours from: levels spread over the map by value, bands at the
 *   map's colour midway between their two levels (full strength).
 * center: for ISOVAR_COLORMAP_BALANCE, the value at the map's neutral
 *   middle; the map reaches its ends at the level farthest from it.
 * The key, the axes' ticks and their values are recorded in the display
 * list (lines and labels; the key's swatches as band records), so the
 * printout shows them too.
 * labels: ISOVAR_LABELS_AT_ENDS (0) labels lines where they end, as without
 *   a style; ISOVAR_LABELS_INLINE puts labels along every labelled level's
 *   lines, about every label_spacing pixels of line, on the straightest
 *   stretch nearby, turned along it and kept upright, with the line cut
 *   under the text; ISOVAR_LABELS_UPHILL turns them so the tops of the
 *   digits face higher values. No two labels overlap, none crosses the
 *   frame or a title, none lies on another level's line, and every level
 *   with a line longer than twice its label gets one where any room is
 *   left. The display list records an inline label unturned, its text
 *   centred where the turned one is.
 * label_spacing: pixels of line between inline labels, 0 for 250; at most
 *   100000.
 * index: N > 0 makes every N-th level bold and the only ones labelled,
 *   counted from the lowest level that is a multiple of N level steps (from
 *   the lowest level when the levels are not evenly spaced or none is).
 * halo: non-zero draws labels in their line's colour over a 2-pixel
 *   outline of white or black, whichever contrasts more with the text. */
#define ISOVAR_KEY_NONE 0
#define ISOVAR_KEY_RIGHT 1
#define ISOVAR_KEY_BELOW 2
#define ISOVAR_COLORMAP_CLASSIC 0
#define ISOVAR_COLORMAP_VIRIDIS 1
#define ISOVAR_COLORMAP_CIVIDIS 2
#define ISOVAR_COLORMAP_MAGMA 3
#define ISOVAR_COLORMAP_GREY 4
#define ISOVAR_COLORMAP_BALANCE 5
#define ISOVAR_LABELS_AT_ENDS 0
#define ISOVAR_LABELS_INLINE 1
#define ISOVAR_LABELS_UPHILL 2
typedef struct IsovarPictureStyle {
  int32_t key;
  int32_t axes;
  int32_t colormap;
  double center;
  int32_t labels;
  int32_t label_spacing;
  int32_t index;
  int32_t halo;
  /* Non-zero draws the domain's outline: a finite-element model's boundary
   * and its holes' boundaries (the sides of the elements that are plotted
   * which no other such element shares), or a grid's around the cells whose
   * four corners are defined, in the frame's colour and width, under the
   * isolines; it is recorded in the display list as lines. Labels are then
   * placed inside the domain (beside their point where the usual place
   * would leave it), and left out where no place beside the point is
   * inside. */
  int32_t outline;
} IsovarPictureStyle;

/* The style of the default run's pictures that follow (isovarMain,
 * saveBMP); NULL for the plain one. 0, or -1 (the style unchanged) for a
 * key or colour map that is none of the above, or a center that is not
 * finite, labels that are none of the above, or a negative label_spacing
 * or index, or a label_spacing above 100000. */
ISOVAR_API int32_t setPictureStyle(const IsovarPictureStyle* style);
/* The same for the drawings of run (isovarRunDraw). */
ISOVAR_API int32_t isovarRunSetStyle(IsovarRun* run, const IsovarPictureStyle* style);
/* The colour map of a name ("classic", "viridis", "cividis", "magma",
 * "grey", "balance"), or -1. */
ISOVAR_API int32_t isovarColormapNamed(const char* name);

/* ---- Threads -------------------------------------------------------------
 *
 * A grid in the growing tables that the default tables would not hold (more
 * than 499 x 500 points) is traced in tiles of whole cell columns, each on a
 * thread of its own, and the pieces are joined where they meet. Its
 * polylines then come in one order that depends on the model alone, the
 * same for every thread count: each polyline is a whole path through points
 * where two segments meet (points where more meet, at levels equal to grid
 * values, end polylines); polylines in the order in which the cell walk
 * (cell columns left to right, cells bottom to top) meets the last of their
 * points, the points numbered as the walk first meets them (the order in
 * which the walk finishes them); an open one starting at the end met
 * first, a ring at its point met first (or where other segments meet it),
 * going towards the neighbour met first.
 * Any other model is traced on one thread, as before.
 *
 * isovarRunSetThreads sets how many threads the run's traces use: 1 or
 * more, or 0 for one per core (a new run's setting). 0, or -1 for a NULL
 * run or a negative count (the setting unchanged). */
ISOVAR_API int32_t isovarRunSetThreads(IsovarRun* run, int32_t threads);
/* The same for the default run (isovarMain, saveBMP, saveIsolines,
 * saveBands): 0, or -1 for a negative count. */
ISOVAR_API int32_t setThreads(int32_t threads);

#ifdef __cplusplus
}
#endif

#endif /* ISOVARLIB_H */

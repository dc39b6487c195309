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
 * The library keeps all its state in process-wide tables: it is not
 * reentrant, and calls must not overlap.
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

#ifdef __cplusplus
}
#endif

#endif /* ISOVARLIB_H */

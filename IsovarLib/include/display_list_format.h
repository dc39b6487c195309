// The display-list file: what a plot run records of its picture for printing.
// The library writes it (render/display_list.cpp) and the print replay reads
// it (replay/print_replay.cpp); both take the format from here.
//
// The file is a plain sequence of records, with no header and no padding.
// Every number is a little-endian signed 32-bit integer; texts are raw code
// page 932 bytes without a NUL. Positions are picture pixels (x to the right,
// y downwards, from the picture's top-left corner).
//
//   DL_TITLE, DL_LABEL:  tag, n, n text bytes, x, y, size
//   DL_LINE:             tag, pen_width, x1, y1, x2, y2
//   DL_BANDS:            tag, colour, m, then m polygons: n, n pairs x, y
//
// A reader stops at the end of the file, at a record cut short, or at a tag
// it does not know; what came before stands.
#pragma once

#include <cstdint>

// A title line: x, y is the row of the next title and size the line pitch,
// which the printout places titles by.
constexpr int32_t DL_TITLE = 1;
// A line segment of the frame or an isoline, pen_width pixels wide.
constexpr int32_t DL_LINE = 2;
// An isoline label: x, y is the top-left corner of its text, size the font
// height in pixels.
constexpr int32_t DL_LABEL = 3;

// Filled band polygons, written only when the plot fills its bands: the
// colour (a COLORREF, 0x00BBGGRR) and m polygons, each of n corners, in
// sixteenths of a picture pixel (the corner (16 i, 16 j) is the top-left
// corner of pixel (i, j)). Each polygon is filled by itself (nonzero
// winding) with no outline; polygons never overlap, and those of one band
// share edges exactly, so all polygons of one colour can be painted as one
// shape (without seams between them), in any order. All band records come
// before every other record, so they are painted under lines and texts.
constexpr int32_t DL_BANDS = 4;
constexpr int32_t kDlBandSubpixels = 16;

// Numbers after the tag: of a line record, and of a text record after its text.
constexpr int kDlLineFields = 5;
constexpr int kDlTextTailFields = 3;

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

// Numbers after the tag: of a line record, and of a text record after its text.
constexpr int kDlLineFields = 5;
constexpr int kDlTextTailFields = 3;

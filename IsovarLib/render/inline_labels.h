// Labels along the isolines: where each label goes, as a pure function of
// the lines in picture pixels, the label sizes and what labels must keep off.
//
// A label is a rotated box centred on its line. Angles are in degrees,
// counter-clockwise as the eye sees it (the picture's y runs downwards), as
// a font's escapement is: the text runs along (cos a, -sin a) and the tops of
// its characters face (-sin a, -cos a).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Run;

namespace inline_labels {

struct Rect {
  double left, top, right, bottom;
};

struct Box {
  double cx, cy;    // centre
  double angle;     // degrees, counter-clockwise
  double half_w;    // along the text
  double half_h;    // across it
};

// One drawn polyline of a level: points x0, y0, x1, y1, ... in pixels.
struct Line {
  int32_t level;
  std::vector<double> xy;
};

struct Input {
  std::vector<Line> lines;
  // Per level (index = level): the label box's width and height in pixels;
  // a width of 0 leaves the level unlabelled.
  std::vector<double> width;
  std::vector<double> height;
  // Per level, its value: uphill labels look at the neighbouring levels'
  // lines to find the side where the values rise.
  std::vector<double> value;
  double spacing = 250.0;  // pixels of line between labels
  bool uphill = false;     // tops towards higher values instead of upright
  Rect frame{};            // every label box lies inside
  std::vector<Rect> obstacles;  // no label box touches these
};

struct Placed {
  int32_t level;
  int32_t line;
  Box box;
};

// The labels, in a fixed order for a given input: first one for each level
// (the first spot, in line order, where one fits), then more about every
// `spacing` pixels along each line. No two boxes overlap, every box lies in
// the frame, touches no obstacle and no segment of another level's line.
std::vector<Placed> place(const Input& in);

// Whether two boxes overlap (separating axes; touching edges count).
bool overlap(const Box& a, const Box& b);
// Whether box lies inside rect.
bool inside(const Box& box, const Rect& rect);
// The part [t0, t1] of the segment (x1, y1) - (x2, y2), as fractions of its
// length, inside box; false when none is.
bool segment_in_box(const Box& box, double x1, double y1, double x2, double y2, double* t0, double* t1);
// The pieces of the segment outside every box in boxes, as pairs of
// fractions (from, to) in order along it, appended to pieces.
void pieces_outside(const std::vector<const Box*>& boxes, double x1, double y1, double x2, double y2,
                    std::vector<double>* pieces);
// An angle made upright: in (-90, 90].
double upright(double degrees);

}  // namespace inline_labels

// The placement's input for the run's traced lines as the picture draws them
// (inline_draw.cpp), and each level's label text (empty: not labelled).
inline_labels::Input inline_label_input(Run& r, std::vector<std::string>* texts);

// Tables of scattered points: CSV, TSV or whitespace-separated text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace convert {

class LineReader;

struct Point {
  float x;
  float y;
  float z;
};

// A point as the table writes it, in double precision.
struct FullPoint {
  double x;
  double y;
  double z;
};

// Which fields hold x, y and z: each a 1-based field number, or a name of
// the header line.
struct Columns {
  int number[3] = {1, 2, 3};  // 0 where a name is given
  std::string name[3];
};

// "X,Y,Z": three distinct numbers or names. An empty text when good, else
// what is wrong.
std::string parse_columns(const std::string& text, Columns& out);

// The points of a table, in the order of its lines.
//
// The separator is the first content line's: a comma (CSV, fields may be
// quoted with "), else tabs with no blank beside them or at the line's ends
// (TSV), else runs of blanks and tabs. Empty
// lines and lines starting with '#' are skipped; a UTF-8 byte order mark
// and carriage returns before line feeds are ignored. The first content
// line is a header when none of its x, y and z fields is a number; a
// column given by name needs one.
//
// Throws LineFailure for a line with too few fields or a field that is not
// a number, Failure for a missing column name or a table without rows.
std::vector<Point> parse_table(std::string_view bytes, const Columns& columns);
// The same, line by line from source; full, when given, gets the points in
// double precision too.
std::vector<Point> parse_table(LineReader& source, const Columns& columns, std::vector<FullPoint>* full = nullptr);

}  // namespace convert

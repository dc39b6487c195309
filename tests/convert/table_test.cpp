// Tables of scattered points: separators, header lines, columns and faults.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "convert_helper.h"
#include "model.h"
#include "table_reader.h"

namespace {

using convert::Columns;
using convert::Point;

bool same_points(const std::vector<Point>& a, const std::vector<Point>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const Point& p, const Point& q) { return p.x == q.x && p.y == q.y && p.z == q.z; });
}

// The table's points (or its refusal), the same read from memory and line
// by line from a file.
std::vector<Point> table(const std::string& text, const std::string& columns = "") {
  Columns c;
  if (!columns.empty()) {
    EXPECT_EQ(convert::parse_columns(columns, c), "");
  }
  std::vector<Point> read;
  std::string refused;
  try {
    read = from_file(text, [&](convert::LineReader& lines) { return convert::parse_table(lines, c); });
  } catch (const convert::Failure& f) {
    refused = f.what();
  }
  try {
    const std::vector<Point> in_memory = convert::parse_table(text, c);
    EXPECT_EQ(refused, "") << text;
    EXPECT_TRUE(same_points(read, in_memory)) << text;
    return in_memory;
  } catch (const convert::Failure& f) {
    EXPECT_EQ(refused, f.what()) << text;
    throw;
  }
}

std::vector<float> zs(const std::vector<Point>& points) {
  std::vector<float> z;
  for (const Point& p : points) z.push_back(p.z);
  return z;
}

// The message of a refused table.
std::string refusal(const std::string& text, const std::string& columns = "") {
  try {
    table(text, columns);
  } catch (const convert::Failure& f) {
    return f.what();
  }
  return "accepted";
}

TEST(Table, SeparatorsHeadersAndLineEnds) {
  const std::vector<float> want = {3, 6};
  EXPECT_EQ(zs(table("1,2,3\n4,5,6\n")), want);
  EXPECT_EQ(zs(table("x,y,z\n1,2,3\n4,5,6")), want);                                    // no final line feed
  EXPECT_EQ(zs(table("\xEF\xBB\xBF\"x\",\"y\",\"z\"\r\n1, 2 ,3\r\n4,5,6\r\n")), want);  // BOM, quotes, CR LF
  EXPECT_EQ(zs(table("# survey\n\nx\ty\tz\n1\t2\t3\n\n4\t5\t6\n")), want);
  EXPECT_EQ(zs(table("  1  2\t 3\n4 5 6   extra\n")), want);
  // A first line with numbers in its x, y and z fields is data.
  EXPECT_EQ(zs(table("1,2,3,station A\n4,5,6,station B\n")), want);
  const std::vector<Point> p = table("x,y,z\n+1.5,-2e3,.25\n");
  EXPECT_EQ(p[0].x, 1.5f);
  EXPECT_EQ(p[0].y, -2000.0f);
  EXPECT_EQ(p[0].z, 0.25f);
}

TEST(Table, ColumnsByNameOrNumber) {
  const std::string csv = "id,\"Easting\",northing,\"height, m\"\n7,1,2,3\n8,4,5,6\n";
  const std::vector<float> want = {3, 6};
  EXPECT_EQ(zs(table(csv, "Easting,northing,4")), want);
  EXPECT_EQ(zs(table(csv, "2,3,4")), want);
  // Names match exactly, or else apart from case.
  const std::vector<Point> p = table("id,E,N,h,H\n7,1,2,3,30\n", "e,N,H");
  EXPECT_EQ(p[0].x, 1.0f);
  EXPECT_EQ(p[0].z, 30.0f);
  // Tab-separated with an empty field that is not read.
  EXPECT_EQ(zs(table("a\tb\tc\td\n1\t\t2\t3\n", "4,1,3")), (std::vector<float>{2}));
}

TEST(Table, ColumnTexts) {
  Columns c;
  ASSERT_EQ(convert::parse_columns("3,1,lon", c), "");
  EXPECT_EQ(c.number[0], 3);
  EXPECT_EQ(c.number[2], 0);
  EXPECT_EQ(c.name[2], "lon");
  for (const char* text : {"", "x,y", "x,y,z,w", "0,1,2", "x,x,z", "1,2,1", "a,,b", "1,2,", "-1,2,3"})
    EXPECT_NE(convert::parse_columns(text, c), "") << text;
}

// Lines longer than the first buffer, and pieces that end within a line,
// give the lines whole.
TEST(Table, ReadLineByLineFromAFile) {
  std::string text = "x,y,z\n";
  std::vector<float> want;
  for (int k = 0; k < 30000; ++k) {
    text += std::to_string(k) + "," + std::to_string(k % 7) + "," + std::to_string(k * 3) + "\n";
    want.push_back(static_cast<float>(k * 3));
  }
  text += std::string(100000, ' ') + "1,2,5";  // a long last line without its feed
  want.push_back(5);
  const auto parse = [](convert::LineReader& lines) { return convert::parse_table(lines, Columns{}); };
  EXPECT_EQ(zs(from_file(text, parse)), want);
  EXPECT_EQ(zs(from_file(text, parse, true)), want);
  // Empty lines cost nothing; a line past the limit is refused.
  EXPECT_EQ(zs(from_file(std::string(300000, '\n') + "1 2 3\n", parse)), (std::vector<float>{3}));
  try {
    from_file("1 2 3\n" + std::string(convert::kMaxLineBytes + 1, '7'), parse);
    ADD_FAILURE() << "accepted";
  } catch (const convert::Failure& f) {
    EXPECT_EQ(std::string(f.what()), "line 2: is longer than 16 MiB: this is no text of lines");
  }
}

TEST(Table, FaultsNameTheLineAndTheField) {
  EXPECT_EQ(refusal("x,y,z\n1,2,3\n\n4,5,abc\n"), "line 4: field 3 (z) 'abc' is not a number");
  EXPECT_EQ(refusal("1 2 3\n4 5 NaN\n"), "line 2: field 3 'NaN' is not a number");
  EXPECT_EQ(refusal("1,2,3\n4,5,\n"), "line 2: field 3 '' is not a number");
  EXPECT_EQ(refusal("1,2,3\n4,5,1e39\n"), "line 2: field 3 1e39 is beyond single precision");
  EXPECT_EQ(refusal("1 2 3\n4 5\n"), "line 2: has 2 fields; x, y and z are read from field 1, field 2 and field 3");
  EXPECT_EQ(refusal("1 2 3\n4\n"), "line 2: has 1 field; x, y and z are read from field 1, field 2 and field 3");
  EXPECT_EQ(refusal("a,b,c\n1,2,3\n", "a,b,d"), "no column 'd' in the header line (a, b, c)");
  EXPECT_EQ(refusal("\"x,y,z\n"), "line 1: a quoted field has no closing quote");
  EXPECT_EQ(refusal("\"x\"y,b,c\n"), "line 1: text follows a quoted field's closing quote");
  EXPECT_EQ(refusal(""), "no data: the table holds no rows");
  EXPECT_EQ(refusal("# nothing\n\n"), "no data: the table holds no rows");
  EXPECT_EQ(refusal("x,y,z\n"), "no data: the table has a header line but no rows");
}

}  // namespace

// What a file that is no model looks like, the command that converts it, and
// the line a refusal names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diagnosis.h"
#include "test_support.h"

using isovar_plot::Looks;

namespace {

TEST(Diagnosis, FilesAreKnownByTheirFirstBytes) {
  struct Case {
    std::string head;
    Looks kind;
    std::string what;
  };
  const std::string bmp = std::string("BM\x36\x00\x0c\x00\0\0\0\0\x36\0\0\0\x28\0\0\0", 18) + std::string(40, '\0');
  const std::vector<Case> cases = {
      {std::string("MM\0*\0\0\0\x08", 8), Looks::kRaster, "a TIFF raster (GeoTIFF or plain TIFF)"},
      {std::string("II+\0\x08\0\0\0", 8), Looks::kRaster, "a BigTIFF raster"},
      {"ncols 4\nnrows 3\nxllcorner 0\n", Looks::kRaster, "an ASCII grid raster"},
      {"\xff\xd8\xff\xe0\0\x10JFIF", Looks::kImage, "a JPEG image"},
      {bmp, Looks::kImage, "a BMP image"},
      {"BMW, 3 series\n", Looks::kOtherText, ""},
      {"\xEF\xBB\xBFx;y\n", Looks::kOtherText, ""},
      {"\xEF\xBB\xBF\"x\",\"y\",\"z\"\r\n\"1\",\"2\",\"3\"\r\n", Looks::kTable,
       "a table (comma-separated columns of numbers)"},
      {"\n\n  *x\n0\n*end\n", Looks::kModel, "a model"},
      {"x y z\n", Looks::kOtherText, ""},  // a header alone is no table
      {"1 2\n3 4\n", Looks::kOtherText, ""},  // two columns: no points
      {"1 2 3\n4 5 six\n", Looks::kOtherText, ""},
      {"# comment\n\n", Looks::kOtherText, "text without content (blank lines and # lines only)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.head);
    const isovar_plot::Look look = isovar_plot::look_at(c.head);
    EXPECT_EQ(look.kind, c.kind);
    if (!c.what.empty()) {
      EXPECT_EQ(look.what, c.what);
    }
  }
}

TEST(Diagnosis, ConvertCommandsReadTheFileAsWhatItLooksLike) {
  struct Case {
    std::string input;
    Looks kind;
    std::string command;
  };
  const std::vector<Case> cases = {
      {"dem.txt", Looks::kRaster, "isovar-convert --kind raster dem.txt -o dem.isovar"},
      {"dir.v2/plate", Looks::kMesh, "isovar-convert --kind mesh dir.v2/plate -o dir.v2/plate.isovar"},
      {"-rates.CSV", Looks::kTable, "isovar-convert ./'-rates.CSV' -o ./'-rates.isovar'"},
      {"it's.xyz", Looks::kTable, "isovar-convert 'it'\\''s.xyz' -o 'it'\\''s.isovar'"},
      {"m.isovar", Looks::kBinary, "isovar-convert m.isovar -o m.model.isovar"},
      {"-", Looks::kMesh, "isovar-convert --kind mesh FILE -o MODEL.isovar"},
      {"x.pdf", Looks::kOtherText, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(isovar_plot::convert_command(c.input, c.kind), c.command) << c.input;
}

TEST(Diagnosis, TheLineARefusalNames) {
  EXPECT_EQ(isovar_plot::refused_line(u8"x_input (行:12)  ｘ座標値が不正。"), 12);
  EXPECT_EQ(isovar_plot::refused_line(u8"(val_input)行：7 格子点(1,1)の物理量を２重定義 "), 7);
  EXPECT_EQ(isovar_plot::refused_line(u8"(make_poly)ポリラインの数が多すぎる（最大：1500）"), 0);
  EXPECT_EQ(isovar_plot::refused_line(u8"行:99999999999"), 0);

  testing_support::TempDir dir;
  const std::string path = dir.file("m.iso");
  testing_support::write_file(path, "one\r\ntwo\n\x01\x1b" + testing_support::cp932(u8"値") + std::string(200, 'x'));
  bool found = false;
  EXPECT_EQ(isovar_plot::line_of(path, 1, &found), "one");
  EXPECT_TRUE(found);
  EXPECT_EQ(isovar_plot::line_of(path, 3, &found), u8"??値" + std::string(77, 'x') + "...");
  EXPECT_TRUE(found);
  EXPECT_EQ(isovar_plot::line_of(path, 4, &found), "");
  EXPECT_FALSE(found);
  EXPECT_EQ(isovar_plot::printable("a\tb\x7f\xc2\x9b" "c"), "a b??c");
}

}  // namespace

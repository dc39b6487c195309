// isovar-convert run as a program: exit statuses, messages, the output file
// left alone on failure, and converted files that isovar-plot plots.
#include <gdal.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using testing_support::read_file;
using testing_support::TempDir;
using testing_support::write_file;

const char* const kConvert = ISOVAR_BINARY_DIR "/bin/isovar-convert";
const char* const kPlot = ISOVAR_BINARY_DIR "/bin/isovar-plot";

using Result = testing_support::ProgramResult;

Result convert_in(const TempDir& dir, const std::vector<std::string>& args) {
  return testing_support::run_program(kConvert, dir.path(), args);
}

// A columns x rows Float32 GeoTIFF of value(column, row), one unit per pixel.
void make_tif(const std::string& path, int columns, int rows, const std::function<float(int, int)>& value) {
  GDALAllRegister();
  GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), columns, rows, 1, GDT_Float32, nullptr);
  double gt[6] = {0, 1, 0, static_cast<double>(rows), 0, -1};
  GDALSetGeoTransform(ds, gt);
  std::vector<float> v(static_cast<size_t>(columns) * rows);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) v[static_cast<size_t>(r) * columns + c] = value(c, r);
  EXPECT_EQ(
      GDALRasterIO(GDALGetRasterBand(ds, 1), GF_Write, 0, 0, columns, rows, v.data(), columns, rows, GDT_Float32, 0, 0),
      CE_None);
  GDALClose(ds);
}

// A cone, 0 at the corners.
void make_cone(const std::string& path, int columns, int rows) {
  make_tif(path, columns, rows, [&](int c, int r) {
    return 100.0f - static_cast<float>(std::hypot(c - columns / 2.0, r - rows / 2.0));
  });
}

// Hills and hollows 20 pixels apart.
void make_ripples(const std::string& path, int columns, int rows) {
  make_tif(path, columns, rows, [](int c, int r) {
    return static_cast<float>(50 * std::sin(c / 4.0) * std::cos(r / 5.0));
  });
}

// Two quadrangles and a line, format 2.2.
const char* const kPlateMesh = R"($MeshFormat
2.2 0 8
$EndMeshFormat
$Nodes
6
1 0 0 0
2 1 0 0
3 2 0 0
4 0 1 0
5 1 1 0
6 2 1 0
$EndNodes
$Elements
3
1 3 0 1 2 5 4
2 3 0 2 3 6 5
3 1 0 4 5
$EndElements
$NodeData
1
"sigma_x"
0
3
0
1
6
1 0
2 10
3 20
4 5
5 15
6 25
$EndNodeData
)";

TEST(ConvertProgram, UsageErrorsExitTwo) {
  TempDir dir;
  write_file(dir.file("a.csv"), "0,0,0\n1,0,1\n0,1,2\n");
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"a.csv", "--no-such-option"},
      {"a.csv", "--band", "2"},
      {"a.csv", "--every", "2"},
      {"a.csv", "--field", "p"},
      {"a.tif", "--columns", "1,2,3"},
      {"a.csv", "--columns", "1,2"},
      {"a.csv", "--columns", ""},
      {"a.csv", "--levels", "0"},
      {"a.csv", "--levels", "1:2"},
      {"a.csv", "--bold", "0"},
      {"a.csv", "--kind", "picture"},
      {"a.csv", "--title", "snow ☃"},
      {"a.csv", "--title", "1", "--title", "2", "--title", "3", "--title", "4", "--title", "5", "--title", "6"},
      {"a.csv", "-o", ""},
      {"a.csv", "-o", "a.csv"},
      {"a.csv", "--every"},
  };
  for (const auto& args : cases) {
    const Result r = convert_in(dir, args);
    std::string shown;
    for (const std::string& a : args) shown += a + " ";
    EXPECT_EQ(r.status, 2) << shown << r.err;
    EXPECT_NE(r.err.find("isovar-convert: "), std::string::npos) << shown;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << shown << r.err;
  }
  EXPECT_FALSE(testing_support::file_exists(dir.file("a.isovar")));
  const Result help = convert_in(dir, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--levels"), std::string::npos);
  EXPECT_EQ(convert_in(dir, {"--version"}).out, "isovar-convert " ISOVAR_VERSION "\n");
}

TEST(ConvertProgram, BadInputExitsOneAndLeavesTheOutputAlone) {
  TempDir dir;
  write_file(dir.file("bad.csv"), "x,y,z\n0,0,1\n1,0,oops\n");
  write_file(dir.file("bad.isovar"), "old");
  const Result r = convert_in(dir, {"bad.csv"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "isovar-convert: bad.csv: line 3: field 3 (z) 'oops' is not a number\n");
  EXPECT_EQ(read_file(dir.file("bad.isovar")), "old");

  const Result missing = convert_in(dir, {"missing.msh", "-o", "m.isovar"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "isovar-convert: missing.msh: cannot open: No such file or directory\n");
  const Result nowhere = convert_in(dir, {"bad.csv", "--kind", "mesh", "-o", "no/such/folder.isovar"});
  EXPECT_EQ(nowhere.status, 1);
  EXPECT_EQ(nowhere.err, "isovar-convert: bad.csv: line 1: the file does not begin with $MeshFormat\n");
  write_file(dir.file("good.csv"), "0,0,0\n1,0,1\n0,1,2\n");
  const Result unwritable = convert_in(dir, {"good.csv", "-o", "no/such/folder.isovar"});
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_EQ(unwritable.err,
            "isovar-convert: cannot write no/such/folder.isovar: No such file or directory (make the folder no/such "
            "first)\n");
  // Nothing else was left behind.
  EXPECT_EQ(testing_support::run_command("ls -A '" + dir.path() + "'"), "bad.csv\nbad.isovar\ngood.csv\n");
}

TEST(ConvertProgram, TheIssuesExamplesPlot) {
  TempDir dir;
  make_cone(dir.file("dem.tif"), 60, 50);
  const Result dem = convert_in(dir, {"dem.tif", "-o", "dem.isovar", "--levels", "60:100:10", "--title", "地形図"});
  ASSERT_EQ(dem.status, 0) << dem.err;
  EXPECT_EQ(dem.out, "dem.isovar: grid of 60 x 50 points, 5 levels from 60 to 100\n");
  EXPECT_EQ(dem.err, "");
  const std::string head = "*model differencial\n*title\n" + testing_support::cp932("地形図") + "\n*end\n*x\n0.5\n";
  EXPECT_EQ(read_file(dir.file("dem.isovar")).substr(0, head.size()), head);

  std::string survey = "x,y,z\n";
  for (int k = 0; k < 200; ++k) {
    const double x = (k * 37) % 101, y = (k * 53) % 97;
    survey += std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(x * y / 100) + "\n";
  }
  survey += "0,0,99\n";  // x and y of the first point again
  write_file(dir.file("survey.csv"), survey);
  const Result table = convert_in(dir, {"survey.csv", "-o", "survey.isovar"});
  ASSERT_EQ(table.status, 0) << table.err;
  EXPECT_EQ(table.err, "isovar-convert: note: 1 point with the x and y of an earlier point left out\n");

  write_file(dir.file("plate.msh"), kPlateMesh);
  const Result plate = convert_in(dir, {"plate.msh", "-o", "plate.isovar", "--field", "sigma_x", "--bold", "2"});
  ASSERT_EQ(plate.status, 0) << plate.err;
  EXPECT_EQ(plate.err,
            "isovar-convert: note: 1 element of type 1 (2-node line) left out (only 3-node triangles "
            "and 4-node quadrangles are plotted)\n");

  for (const char* file : {"dem.isovar", "survey.isovar", "plate.isovar"}) {
    const Result p = testing_support::run_program(kPlot, dir.path(), {file, "--bmp", std::string(file) + ".bmp"});
    EXPECT_EQ(p.status, 0) << file << ": " << p.err;
    EXPECT_TRUE(testing_support::file_exists(dir.file(std::string(file) + ".bmp"))) << file;
  }
}

// A model past a default table is written all the same, with a line that
// names the tables it passes; isovar-plot then plots it in large mode.
TEST(ConvertProgram, ModelsPastTheDefaultTablesAreWrittenWithANote) {
  TempDir dir;
  struct Case {
    void (*make)(const std::string&, int, int);
    int columns, rows;
    std::vector<std::string> options;
    std::string passed;  // "" when the model fits
  };
  const Case cases[] = {
      {make_cone, 1100, 3, {"--levels", "50.0"}, "grid of 1100 x 3 points, past 499 x 500"},
      {make_cone, 1100, 3, {"--every", "3"}, ""},
      // A real-sized elevation model: within the grid table, but a plot of
      // it makes a band piece or more per triangle.
      {make_cone, 344, 403, {}, "at least 275,772 band pieces, past 99,999"},
      // 44,402 triangles, which 19 levels cross often, or 9 levels less so.
      {make_ripples, 150, 150, {"--levels", "20"}, "115,864 band pieces, past 99,999"},
      {make_ripples, 150, 150, {"--levels", "10"}, ""},
  };
  int made = 0;
  for (const Case& c : cases) {
    const std::string name = "model" + std::to_string(++made);
    c.make(dir.file(name + ".tif"), c.columns, c.rows);
    std::vector<std::string> args = {name + ".tif", "-o", name + ".isovar"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Result r = convert_in(dir, args);
    ASSERT_EQ(r.status, 0) << name << r.err;
    EXPECT_EQ(r.err, c.passed.empty() ? ""
                                      : "isovar-convert: note: the model passes isovar-plot's default tables (" +
                                            c.passed + "): isovar-plot will plot it in large mode\n")
        << name;
    const Result strict =
        testing_support::run_program(kPlot, dir.path(), {name + ".isovar", "--strict", "--bmp", name + ".bmp"});
    EXPECT_EQ(strict.status, c.passed.empty() ? 0 : 1) << name << strict.err;
  }
}

}  // namespace

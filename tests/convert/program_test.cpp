// isovar-convert run as a program: exit statuses, messages, the output file
// left alone on failure, and converted files that isovar-plot plots.
#include <fcntl.h>
#include <gdal.h>
#include <ogr_srs_api.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <set>
#include <thread>

#include <algorithm>
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

// A spike every fourth pixel, 0 elsewhere.
void make_spikes(const std::string& path, int columns, int rows) {
  make_tif(path, columns, rows, [](int c, int r) { return c % 4 == 2 && r % 4 == 2 ? 10.0f : 0.0f; });
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
  write_file(dir.file("m.isovar"), "*model fem\n");
  EXPECT_EQ(convert_in(dir, {"m.isovar"}).err,
            "isovar-convert: INPUT: m.isovar ends in .isovar already: plot a model with isovar-plot (or name another "
            "output with -o) (try isovar-convert --help)\n");
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
  EXPECT_EQ(nowhere.err,
            "isovar-convert: bad.csv: line 1: the file does not begin with $MeshFormat\n"
            "isovar-convert: bad.csv looks like a table of numbers: convert it with isovar-convert bad.csv\n");
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
      // A ring around every spike: within the grid and band-piece tables.
      {make_spikes, 160, 160, {"--levels", "5.0"}, "more than 1,500 polylines"},
      {make_spikes, 120, 120, {"--levels", "5.0"}, ""},
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

// Mistakes a new user makes: each message says why, and the files that
// are something else say what they are and which command reads them.
TEST(ConvertProgram, MistakenInputsSayWhyAndWhatNext) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.file("data.tif").c_str(), 0755), 0);
  write_file(dir.file("model.isovar"), "*model differencial\n*x\n0\n1\n*end\n");
  write_file(dir.file("my model.isovar"), "*model fem\n");
  write_file(dir.file("points.data"), "1,2,3\n4,5,6\n7,8,1\n");
  write_file(dir.file("plate.txt"), kPlateMesh);
  write_file(dir.file("picture.png"), std::string("\x89PNG\r\n\x1a\n", 8) + std::string(100, '\0'));
  struct Case {
    std::vector<std::string> args;
    std::string first;  // the first line, up to where GDAL's own reason would follow
    std::string next;   // the second line, "" when there is none
  };
  const Case cases[] = {
      {{"missing.tif"}, "missing.tif: cannot open: No such file or directory", ""},
      {{"missing.csv"}, "missing.csv: cannot open: No such file or directory", ""},
      {{"missing.msh"}, "missing.msh: cannot open: No such file or directory", ""},
      {{"data.tif"}, "data.tif: cannot open: Is a directory", ""},
      {{"data.tif", "--kind", "table"}, "data.tif: cannot open: Is a directory", ""},
      {{"model.isovar", "-o", "m.isovar"}, "model.isovar: cannot open as a raster: ",
       "model.isovar is an Isovar model file already: plot it with isovar-plot model.isovar"},
      {{"my model.isovar", "-o", "m.isovar"}, "my model.isovar: cannot open as a raster: ",
       "my model.isovar is an Isovar model file already: plot it with isovar-plot 'my model.isovar'"},
      {{"points.data"}, "points.data: cannot open as a raster: ",
       "points.data looks like a table of numbers: convert it with isovar-convert --kind table points.data"},
      {{"plate.txt"}, "plate.txt: line 3: has 1 field; x, y and z are read from field 1 ($MeshFormat)",
       "plate.txt looks like a Gmsh mesh: convert it with isovar-convert --kind mesh plate.txt"},
      {{"picture.png", "--kind", "mesh"}, "picture.png: line 1: the file does not begin with $MeshFormat",
       "picture.png looks like a PNG image: convert it with isovar-convert picture.png"},
  };
  const std::set<std::string> before = testing_support::names_in(dir.path());
  for (const Case& c : cases) {
    const Result r = convert_in(dir, c.args);
    EXPECT_EQ(r.status, 1) << c.args[0];
    const std::string first = r.err.substr(0, r.err.find('\n'));
    EXPECT_EQ(first.substr(0, 16 + c.first.size()), "isovar-convert: " + c.first) << r.err;
    const std::string rest = r.err.substr(first.size() + 1);
    EXPECT_EQ(rest, c.next.empty() ? "" : "isovar-convert: " + c.next + "\n") << r.err;
  }
  EXPECT_EQ(testing_support::names_in(dir.path()), before);
  if (geteuid() != 0) {  // root reads anything
    write_file(dir.file("secret.csv"), "1,2,3\n");
    chmod(dir.file("secret.csv").c_str(), 0);
    EXPECT_EQ(convert_in(dir, {"secret.csv"}).err, "isovar-convert: secret.csv: cannot open: Permission denied\n");
  }
}

// Gives the GeoTIFF at path the CRS of text (EPSG:32617).
void set_crs(const std::string& path, const char* text) {
  GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_UPDATE, nullptr, nullptr, nullptr);
  ASSERT_NE(ds, nullptr);
  OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
  OSRSetFromUserInput(srs, text);
  GDALSetSpatialRef(ds, srs);
  OSRDestroySpatialReference(srs);
  GDALClose(ds);
}

// Whether the .prj at path names the same CRS as text, as GDAL reads both.
bool prj_names(const std::string& path, const char* text) {
  OGRSpatialReferenceH file = OSRNewSpatialReference(nullptr);
  OGRSpatialReferenceH wanted = OSRNewSpatialReference(nullptr);
  const bool same = OSRSetFromUserInput(file, path.c_str()) == OGRERR_NONE &&
                    OSRSetFromUserInput(wanted, text) == OGRERR_NONE && OSRIsSame(file, wanted);
  OSRDestroySpatialReference(file);
  OSRDestroySpatialReference(wanted);
  return same;
}

// The CRS goes beside the model as NAME.prj, read back by GDAL; a model
// without one gets no .prj (and loses one an earlier run left).
TEST(ConvertProgram, TheCrsGoesBesideTheModel) {
  TempDir dir;
  make_cone(dir.file("utm.tif"), 30, 20);
  set_crs(dir.file("utm.tif"), "EPSG:32617");
  make_cone(dir.file("bare.tif"), 30, 20);
  write_file(dir.file("pts.csv"), "x,y,z\n0,0,1\n10,0,2\n0,10,3\n10,10,5\n");
  struct Case {
    std::vector<std::string> args;
    const char* prj;        // the .prj expected, "" none
    const char* crs;        // what it names
    int status;
    const char* err;        // a part of standard error, "" any
  };
  const Case cases[] = {
      {{"utm.tif"}, "utm.prj", "EPSG:32617", 0, ""},
      {{"utm.tif", "-o", "other.isovar", "--crs", "EPSG:4326"}, "other.prj", "EPSG:4326", 0, ""},
      {{"pts.csv", "--crs", "EPSG:32617"}, "pts.prj", "EPSG:32617", 0, ""},
      {{"bare.tif"}, "", "", 0, "removed bare.prj, since the input has no CRS"},
      {{"utm.tif", "-o", "-"}, "", "", 0, "the CRS is not written with a model on standard output"},
      {{"pts.csv", "-o", "bad.isovar", "--crs", "nonsense"}, "", "", 2, "--crs: GDAL cannot read the CRS 'nonsense'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + (c.args.size() > 1 ? c.args[1] + " " + c.args[2] : ""));
    for (const char* name : {"utm.prj", "other.prj", "pts.prj", "bad.prj"}) unlink(dir.file(name).c_str());
    write_file(dir.file("bare.prj"), "left by an earlier run");
    const Result r = convert_in(dir, c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    if (*c.prj != '\0') {
      EXPECT_TRUE(prj_names(dir.file(c.prj), c.crs)) << read_file(dir.file(c.prj));
    }
    for (const char* name : {"utm.prj", "other.prj", "pts.prj", "bad.prj"}) {
      const bool expected = std::string(name) == c.prj;
      EXPECT_EQ(testing_support::file_exists(dir.file(name)), expected) << name;
    }
    const bool bare_kept = c.args[0] != "bare.tif";
    EXPECT_EQ(testing_support::file_exists(dir.file("bare.prj")), bare_kept);
  }
}

// An L-shaped survey masked by its longest edges: the note says how many
// triangles went, and isovar-plot plots what is left.
TEST(ConvertProgram, TablesAreMaskedWithANote) {
  TempDir dir;
  std::string text = "x y z\n";
  for (int j = 0; j <= 8; ++j)
    for (int i = 0; i <= 8; ++i)
      if (i <= 4 || j <= 4) text += std::to_string(i) + " " + std::to_string(j) + " " + std::to_string(i * j) + "\n";
  write_file(dir.file("l.xyz"), text);
  const Result r = convert_in(dir, {"l.xyz", "--max-edge", "1.5", "--levels-count", "4"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("triangles outside the mask (--max-edge, --boundary) left out, 97 kept"), std::string::npos)
      << r.err;
  EXPECT_EQ(r.out, "l.isovar: 65 nodes, 97 elements, 4 levels from 6.4 to 25.6\n");
  const Result plot = testing_support::run_program(kPlot, dir.path(), {"l.isovar", "--png", "l.png"});
  EXPECT_EQ(plot.status, 0) << plot.err;
}

// -o - and -o /dev/stdout write the model to standard output and the summary
// to standard error, so the model pipes into isovar-plot; a reader that goes
// away is named.
TEST(ConvertProgram, StandardOutputPipesIntoIsovarPlot) {
  TempDir dir;
  make_cone(dir.file("dem.tif"), 60, 50);
  for (const char* output : {"-", "/dev/stdout"}) {
    const std::string command = "cd '" + dir.path() + "' && { " + kConvert + " dem.tif -o " + output +
                                " 2>convert.err; echo $? >convert.status; } | " + kPlot +
                                " - --png dem.png 2>plot.err; echo $?";
    EXPECT_EQ(testing_support::run_command(command), "0\n") << output << read_file(dir.file("plot.err"));
    EXPECT_EQ(read_file(dir.file("convert.status")), "0\n");
    const std::string shown = std::string(output) == "-" ? "standard output" : output;
    EXPECT_EQ(read_file(dir.file("convert.err")), shown + ": grid of 60 x 50 points, 7 levels from 65 to 95\n");
    EXPECT_TRUE(testing_support::file_exists(dir.file("dem.png")));
    unlink(dir.file("dem.png").c_str());
  }
  EXPECT_FALSE(testing_support::file_exists(dir.file("-")));
  // A file named "-" is ./-.
  EXPECT_EQ(convert_in(dir, {"dem.tif", "-o", "./-"}).status, 0);
  EXPECT_EQ(read_file(dir.file("-")).substr(0, 20), "*model differencial\n");
  // The model is larger than what the pipe holds before head has gone.
  make_cone(dir.file("big.tif"), 300, 300);
  const std::string gone = "cd '" + dir.path() + "' && { " + kConvert +
                           " big.tif -o - 2>convert.err; echo $? >convert.status; } | head -c 10 >/dev/null";
  testing_support::run_command(gone);
  EXPECT_EQ(read_file(dir.file("convert.status")), "1\n");
  EXPECT_EQ(read_file(dir.file("convert.err")), "isovar-convert: cannot write standard output: Broken pipe\n");
}

// A child run with its exit and its peak memory.
struct Finished {
  int wstatus = 0;
  long peak_kb = 0;
  std::string err;
};

pid_t start_convert(const TempDir& dir, const std::vector<std::string>& args) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    const int err = open(dir.file("convert.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (null < 0 || err < 0 || chdir(dir.path().c_str()) != 0) _exit(127);
    dup2(null, 0);
    dup2(null, 1);
    dup2(err, 2);
    std::vector<char*> argv{const_cast<char*>(kConvert)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(kConvert, argv.data());
    _exit(127);
  }
  return pid;
}

Finished finish(const TempDir& dir, pid_t pid) {
  Finished f;
  struct rusage usage = {};
  EXPECT_EQ(wait4(pid, &f.wstatus, 0, &usage), pid);
  f.peak_kb = usage.ru_maxrss;
  f.err = read_file(dir.file("convert.err"));
  return f;
}

// The hidden temporary files of the write core in a folder.
std::vector<std::string> temporaries(const TempDir& dir) {
  std::vector<std::string> found;
  for (const std::string& name : testing_support::names_in(dir.path()))
    if (name[0] == '.') found.push_back(name);
  return found;
}

// Waits until the conversion has begun writing its temporary file.
bool writing(const TempDir& dir, pid_t pid) {
  for (int wait = 0; wait < 500; ++wait) {
    if (!temporaries(dir).empty()) return true;
    if (waitpid(pid, nullptr, WNOHANG) == pid) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

// SIGINT, SIGTERM and SIGHUP at any moment of a large write end the program
// as the signal does, and leave no temporary file and the old output.
TEST(ConvertProgram, EndingSignalsLeaveNoTemporaryFile) {
  TempDir dir;
  make_cone(dir.file("cone.tif"), 2000, 2000);
  std::mt19937 random(std::random_device{}());
  for (int round = 0; round < 2; ++round) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
      write_file(dir.file("cone.isovar"), "old");
      const pid_t pid = start_convert(dir, {"cone.tif"});
      ASSERT_TRUE(writing(dir, pid)) << read_file(dir.file("convert.err"));
      std::this_thread::sleep_for(std::chrono::milliseconds(random() % 300));
      kill(pid, sig);
      const Finished f = finish(dir, pid);
      if (WIFEXITED(f.wstatus)) {  // it finished first
        EXPECT_EQ(WEXITSTATUS(f.wstatus), 0) << f.err;
        continue;
      }
      EXPECT_TRUE(WIFSIGNALED(f.wstatus) && WTERMSIG(f.wstatus) == sig) << f.wstatus;
      EXPECT_EQ(temporaries(dir), std::vector<std::string>{}) << strsignal(sig);
      EXPECT_EQ(read_file(dir.file("cone.isovar")), "old");
    }
  }
  // SIGKILL leaves the temporary file; the next run writing the same output
  // removes it, and says so.
  const pid_t pid = start_convert(dir, {"cone.tif"});
  ASSERT_TRUE(writing(dir, pid));
  kill(pid, SIGKILL);
  finish(dir, pid);
  ASSERT_EQ(temporaries(dir).size(), 1u);
  make_cone(dir.file("small.tif"), 30, 20);
  const Result next = convert_in(dir, {"small.tif", "-o", "cone.isovar"});
  EXPECT_EQ(next.status, 0);
  EXPECT_EQ(next.err,
            "isovar-convert: note: removed 1 temporary file that interrupted runs left beside cone.isovar\n");
  EXPECT_EQ(temporaries(dir), std::vector<std::string>{});
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Memory follows what the input holds, not its declared size: a sparse
// 20000 x 20000 raster, and a table of nothing but empty lines.
TEST(ConvertProgram, MemoryFollowsTheData) {
  if (kSanitized) GTEST_SKIP() << "the sanitizers' own memory hides the program's";
  TempDir dir;
  {
    GDALAllRegister();
    const char* options[] = {"TILED=YES", "COMPRESS=DEFLATE", "SPARSE_OK=TRUE", nullptr};
    GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), dir.file("sparse.tif").c_str(), 20000, 20000, 1,
                                 GDT_Float32, const_cast<char**>(options));
    ASSERT_NE(ds, nullptr);
    double gt[6] = {500000, 10, 0, 4000000, 0, -10};
    GDALSetGeoTransform(ds, gt);
    GDALRasterBandH band = GDALGetRasterBand(ds, 1);
    GDALSetRasterNoDataValue(band, -9999);
    // A 3 x 3 patch and four lone values.
    float patch[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(GDALRasterIO(band, GF_Write, 7000, 12000, 3, 3, patch, 3, 3, GDT_Float32, 0, 0), CE_None);
    for (int k = 0; k < 4; ++k) {
      float v = 10.0f + k;
      EXPECT_EQ(GDALRasterIO(band, GF_Write, 4999 * k + 3, 19999 - 5000 * k, 1, 1, &v, 1, 1, GDT_Float32, 0, 0),
                CE_None);
    }
    GDALClose(ds);
  }
  const auto started = std::chrono::steady_clock::now();
  const Finished f = finish(dir, start_convert(dir, {"sparse.tif", "--levels", "4.5"}));
  ASSERT_TRUE(WIFEXITED(f.wstatus) && WEXITSTATUS(f.wstatus) == 0) << f.err;
  EXPECT_LT(f.peak_kb, 200 * 1024) << "kB";
  std::printf("peak memory: %ld kB for the sparse raster\n", f.peak_kb);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
  const std::string model = read_file(dir.file("sparse.isovar"));
  const size_t values = model.find("*value\n") + 7;
  EXPECT_EQ(std::count(model.begin() + values, model.begin() + model.find("*end\n", values), '\n'), 13);
  EXPECT_NE(model.find("\n7001 8000 1\n"), std::string::npos);  // column 7001, row 12001 from the top

  // 128 MiB of line feeds is a table without rows, read in small pieces.
  {
    std::string lines(size_t{1} << 20, '\n');
    FILE* out = fopen(dir.file("blank.csv").c_str(), "w");
    for (int k = 0; k < 128; ++k) fwrite(lines.data(), 1, lines.size(), out);
    fclose(out);
  }
  const Finished blank = finish(dir, start_convert(dir, {"blank.csv"}));
  EXPECT_EQ(blank.err, "isovar-convert: blank.csv: no data: the table holds no rows\n");
  EXPECT_LT(blank.peak_kb, 100 * 1024) << "kB";
  std::printf("peak memory: %ld kB for 128 MiB of empty lines\n", blank.peak_kb);
}

}  // namespace

// isovar-plot run as a program, in a folder of its own.
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamReader>
#include <csignal>
#include <cstdio>
#include <functional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "test_support.h"

using testing_support::cp932;
using testing_support::names_in;
using testing_support::read_file;
using testing_support::TempDir;
using testing_support::write_file;

namespace {

const char* const kPlot = ISOVAR_BINARY_DIR "/bin/isovar-plot";

using Result = testing_support::ProgramResult;

// What a run gets besides its arguments. A file_limit above 0 limits the
// size of the files it writes (RLIMIT_FSIZE): a write beyond it fails with
// EFBIG. A memory limit above 0 limits its address space (RLIMIT_AS).
struct RunSetup {
  rlim_t file_limit = 0;
  rlim_t memory = 0;
  std::string stdin_file;  // its standard input; empty: /dev/null
  std::string tmpdir;      // TMPDIR; empty: a folder of the test's own, checked empty afterwards
  std::vector<std::pair<std::string, std::string>> env;  // more environment variables
  bool stdout_unread = false;  // standard output a pipe whose reader is gone
  std::function<void()> child;  // runs in the child last, before the program starts
};

Result run_in(const std::string& folder, const std::vector<std::string>& args, const RunSetup& setup);

Result run_in(const std::string& folder, const std::vector<std::string>& args, rlim_t file_limit = 0,
              rlim_t memory = 0) {
  RunSetup setup;
  setup.file_limit = file_limit;
  setup.memory = memory;
  return run_in(folder, args, setup);
}

// Runs isovar-plot with args in folder, its output kept elsewhere; see RunSetup.
// Reasons are in English. The private temporary folder must be gone afterwards.
Result run_in(const std::string& folder, const std::vector<std::string>& args, const RunSetup& setup) {
  TempDir own_tmp;
  const std::string tmpdir = setup.tmpdir.empty() ? own_tmp.path() : setup.tmpdir;
  const Result r = testing_support::run_program(kPlot, folder, args, [&] {
    if (setup.memory != 0) {
      const rlimit limit{setup.memory, setup.memory};
      if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(127);
    }
    if (!setup.stdin_file.empty()) {
      const int in = open(setup.stdin_file.c_str(), O_RDONLY);
      if (in < 0) _exit(127);
      dup2(in, 0);
    }
    if (setup.stdout_unread) {
      int ends[2];
      if (pipe(ends) != 0) _exit(127);
      close(ends[0]);
      dup2(ends[1], 1);
    }
    setenv("LC_ALL", "C.UTF-8", 1);
    setenv("TMPDIR", tmpdir.c_str(), 1);
    for (const auto& [name, value] : setup.env) setenv(name.c_str(), value.c_str(), 1);
    if (setup.file_limit > 0) {
      signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{setup.file_limit, setup.file_limit};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(127);
    }
    if (setup.child) setup.child();
  });
  if (setup.tmpdir.empty()) {
    EXPECT_EQ(names_in(tmpdir), std::set<std::string>{}) << "left in the temporary folder";
  }
  return r;
}

Result plot(const TempDir& dir, const std::vector<std::string>& args) { return run_in(dir.path(), args); }

std::string shell(const std::string& command) { return testing_support::run_command(command); }

// A 3 x 3 grid, 10 at the centre and 0 around it, level 5: one ring.
std::string ring_model(const std::string& title = "Ring") {
  std::string s = "*model differencial\n*title\n" + title + "\n*end\n*x\n0\n1\n2\n*end\n*y\n0\n1\n2\n*end\n*value\n";
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) s += std::to_string(i) + " " + std::to_string(j) + (i == 2 && j == 2 ? " 10\n" : " 0\n");
  return s + "*end\n*isovar\n5\n*end\n";
}

TEST(IsovarPlot, UsageErrorsExitTwoWithAOneLineHint) {
  TempDir dir;
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"a.iso", "--no-such-option"},
      {"a.iso", "--size", "0x10"},
      {"a.iso", "--size", "10x0"},
      {"a.iso", "--size", "20001x10"},
      {"a.iso", "--size", "10x99999999999999999999"},
      {"a.iso", "--size", "10"},
      {"a.iso", "--size", "10x"},
      {"a.iso", "--size", "x10"},
      {"a.iso", "--size", "-10x10"},
      {"a.iso", "--size", "10x10x"},
      {"a.iso", "--size", "ten"},
      {"a.iso", "--bmp", ""},
      {"a.iso", "--pdf"},
      {"a.iso", "b.iso"},
      {"a.iso", "--size", "8193x8192"},
      {"a.iso", "--size", "20000x3356"},
      {"a.iso", "--log", ""},
      {"a.iso", "--format", "png"},
      {"a.iso", "--outdir", "out", "--png", "a.png"},
      {"a.iso", "--outdir", "out", "--format", "png,gif"},
      {"a.iso", "b.iso", "--outdir", "out", "--display-list", "x.dl"},
      {"a.iso", "b.iso", "--outdir", "out", "--log", "x.log"},
      {"-", "--outdir", "out"},
      {"a.iso", "--outdir", "out", "-j", "0"},
      // No output asked for: a run would make nothing.
      {"a.iso"},
      {"a.iso", "--size", "300x200", "--log", "x.log", "--fill"},
      // Standard output takes one output.
      {"a.iso", "--png", "-", "--svg", "-"},
      {"a.iso", "--isolines", "-", "--bands", "-"},
      {"a.iso", "--strict", "--large", "--png", "a.png"},
      {"a.iso", "--keep-tree", "--png", "a.png"},
      // The picture's style.
      {"a.iso", "--png", "a.png", "--colormap", "rainbow"},
      {"a.iso", "--png", "a.png", "--center", "0"},
      {"a.iso", "--png", "a.png", "--key", "left"},
  };
  for (const auto& args : cases) {
    std::string shown;
    for (const auto& a : args) shown += "[" + a + "]";
    Result r = plot(dir, args);
    EXPECT_EQ(r.status, 2) << shown << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << shown << r.err;
    EXPECT_NE(r.err.find("--help"), std::string::npos) << shown << r.err;
    EXPECT_FALSE(testing_support::file_exists(dir.file("isovar.log"))) << shown;
  }
}

// A grid of nx x ny points with values only along its first column.
std::string thin_grid(int nx, int ny) {
  std::string text = "*x\n";
  for (int i = 0; i < nx; ++i) text += std::to_string(i) + "\n";
  text += "*end\n*y\n";
  for (int j = 0; j < ny; ++j) text += std::to_string(j) + "\n";
  text += "*end\n*value\n1 1 0\n1 2 1\n2 1 1\n2 2 2\n*end\n*isovar\n0.5\n*end\n";
  return text;
}

TEST(IsovarPlot, StrictRefusesWhatPassesTheDefaultTablesAndSaysHowToLiftThem) {
  TempDir dir;
  write_file(dir.file("wide.iso"), thin_grid(600, 3));
  Result r = plot(dir, {"wide.iso", "--strict", "--png", "wide.png"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, u8"wide.iso: (x_input) (行:501)  Ｘ方向の格子点数が多すぎます。（最大:500） \n"
                   "wide.iso: line 501: 499\n"
                   "wide.iso: the model is larger than the default tables; --large lifts their limits\n");
  r = plot(dir, {"wide.iso", "--large", "--isolines", "wide.geojson"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(read_file(dir.file("wide.geojson")).find("LineString"), std::string::npos);
  // A failure that is no table's limit gets no hint.
  write_file(dir.file("bad.iso"), "*x\nabc\n");
  r = plot(dir, {"bad.iso", "--strict", "--png", "bad.png"});
  EXPECT_EQ(r.err.find("--large"), std::string::npos) << r.err;
}

TEST(IsovarPlot, LargeModelBeyondTheMemoryFailsWithAMessage) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer needs more address space than the limit leaves";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  GTEST_SKIP() << "the address sanitizer needs more address space than the limit leaves";
#endif
#endif
  TempDir dir;
  // 20000 x 20000 grid points need some 2.4 GB of value tables.
  write_file(dir.file("huge.iso"), thin_grid(20000, 20000));
  const Result r = run_in(dir.path(), {"huge.iso", "--large", "--png", "huge.png"}, 0, rlim_t{1} << 30);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, u8"huge.iso: (value_input)メモリが足りません。\n");
}

TEST(IsovarPlot, HelpAndVersion) {
  TempDir dir;
  Result help = plot(dir, {"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"INPUT", "--size", "--display-list", "--bmp", "--png", "--pdf", "--isolines", "--version"})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  Result version = plot(dir, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(std::regex_search(version.out, std::regex("^isovar-plot [0-9]+\\.[0-9]+\\.[0-9]+\n$"))) << version.out;
}

TEST(IsovarPlot, LibraryFailuresExitOneWithTheMessageInUtf8) {
  TempDir dir;
  write_file(dir.file("fem.iso"), "*model fem\n*x\n0\n*end\n");
  Result r = plot(dir, {"fem.iso", "--png", "fem.png"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, u8"fem.iso: (ReadIsovarFile) 　FEMモデルでは、＊Ｘは使えません。 \n");

  r = plot(dir, {"missing.iso", "--png", "missing.png"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, u8"missing.iso: 入力ファイル(missing.iso)をオープンできません。\n"
                   "missing.iso: No such file or directory\n");

  // The number parser's own diagnostic comes first, in the locale's UTF-8.
  write_file(dir.file("x.iso"), "*x\n1e2e3\n");
  r = plot(dir, {"x.iso", "--png", "x.png"});
  EXPECT_EQ(r.err, u8"(str2d)文字列1e2e3が浮動小数点数ではありません。\n"
                   u8"x.iso: x_input (行:2)  ｘ座標値が不正。\n"
                   "x.iso: line 2: 1e2e3\n");

  // The display list cannot be created.
  write_file(dir.file("ring.iso"), ring_model());
  r = plot(dir, {"ring.iso", "--display-list", "no/such/folder/prtInfo.tmp"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "isovar-plot: cannot open print information file\n"
                   "isovar-plot: cannot write no/such/folder/prtInfo.tmp: No such file or directory\n");

  // A BMP of 1000 pixels is refused by the library, after the plot run.
  r = plot(dir, {"ring.iso", "--size", "1000x500", "--bmp", "big.bmp"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, u8"big.bmp: 画像（1000, 500）が大きすぎます。\n");
  EXPECT_FALSE(testing_support::file_exists(dir.file("big.bmp")));
}

// An input that cannot be read, or is no model, or is refused on a line:
// under the library's line, the system's reason, what the file looks like and
// the isovar-convert command that reads it, or the line's text. Names are the
// bytes the user typed, also inside the library's message.
TEST(IsovarPlot, RefusedInputsSayWhyAndWhatNext) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.file("models").c_str(), 0755), 0);
  const std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
  const std::string long_line = "1 1 5 " + cp932(u8"値") + "\x1b[31m" + std::string(100, 'a');
  struct Case {
    std::string name;
    std::string bytes;  // written unless the name is a folder or missing
    std::string said;   // the library's line, then the lines that follow it
  };
  const std::vector<Case> cases = {
      {"missing.iso", "", u8"入力ファイル(missing.iso)をオープンできません。\nNo such file or directory"},
      {u8"données.iso", "", u8"入力ファイル(données.iso)をオープンできません。\nNo such file or directory"},
      {"models", "", u8"入力ファイル(models)をオープンできません。\nIs a directory"},
      {"empty.iso", "-", u8"(ReadIsovarFile) 　差分モデルのＸ座標データが与えられていません。 \nthe file is empty"},
      // Named and made as a table, a raster or a mesh: plotted directly, the reader says why not.
      {"points.csv", "x,y,z\n1,2,3\n4.5,5e2,-6\n",
       "no data: 2 distinct points, fewer than the three a triangle needs"},
      {"points.iso", "# x y z\n1 2 3\n4 5 6\n",
       u8"(ReadIsovarFile) 　入力データのＩＤの種別:1が判別できません。 \n"
       "not a model: it looks like a table (columns of numbers separated by blanks)\n"
       "isovar-convert makes a model of it: isovar-convert --kind table points.iso -o points.isovar"},
      {"my table.isovar", "1\t2\t3\n",
       u8"(ReadIsovarFile) 　入力データのＩＤの種別:1が判別できません。 \n"
       "not a model: it looks like a table (tab-separated columns of numbers)\n"
       "isovar-convert makes a model of it: isovar-convert --kind table 'my table.isovar' -o 'my table.model.isovar'"},
      {"dem.tif", std::string("II*\0\x08\0\0\0", 8) + std::string(64, '\0'),
       "cannot open as a raster: dem.tif: TIFFReadDirectory:Failed to read directory at offset 8"},
      {"picture.dat", png,
       u8"(ReadIsovarFile) 　入力データのＩＤの種別:英ngが判別できません。 \n"
       "not a model: it looks like a PNG image\n"
       "isovar-convert makes a model of its pixel values: isovar-convert --kind raster picture.dat -o picture.isovar"},
      {"plate.msh", "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n", "no data: the mesh has no nodes"},
      // A model file under a table's name keeps the model's way.
      {"model.dat", ring_model(), ""},
      {"data.bin", std::string("\x1b[2J\0\x01\x02", 7),
       u8"(ReadIsovarFile) 　入力データのＩＤの種別:?[2jが判別できません。 \n"
       "not a model: it looks like binary data\n"
       "if it is a raster GDAL reads, isovar-convert makes a model of it: isovar-convert data.bin -o data.isovar"},
      {"notes.iso", "hello world\n",
       u8"(ReadIsovarFile) 　入力データのＩＤの種別:helloが判別できません。 \n"
       "not a model: it looks like text, but no model (a model's first line is a section, such as *model, *title "
       "or *x)"},
      {"twice.iso", "*x\n0\n1\n*end\n*y\n0\n1\n*end\n*value\n1 1 0\n" + long_line + "\n*end\n",
       u8"(val_input)行：11 格子点(1,1)の物理量を２重定義 \n"
       u8"line 11: 1 1 5 値?[31m" + std::string(80 - 12, 'a') + "..."},
      {"crlf.iso", "*x\r\n0\r\n1\r\nx\r\n*end\r\n", u8"x_input (行:4)  ｘ座標値が不正。\nline 4: x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.bytes.empty()) write_file(dir.file(c.name), c.bytes == "-" ? "" : c.bytes);
    const Result r = plot(dir, {c.name, "--png", "out.png"});
    if (c.said.empty()) {
      EXPECT_EQ(r.status, 0) << r.err;
      unlink(dir.file("out.png").c_str());
      continue;
    }
    EXPECT_EQ(r.status, 1);
    std::string expected;
    for (std::size_t at = 0; at <= c.said.size();) {
      const std::size_t end = std::min(c.said.find('\n', at), c.said.size());
      expected += c.name + ": " + c.said.substr(at, end - at) + "\n";
      at = end + 1;
    }
    // The number parser's diagnostic comes first for crlf.iso.
    const std::string err = r.err.substr(r.err.find(c.name + ": "));
    EXPECT_EQ(err, expected);
  }
  EXPECT_FALSE(testing_support::file_exists(dir.file("out.png")));

  // Standard input, kept for a second reading, is looked at too.
  RunSetup setup;
  setup.stdin_file = dir.file("points.csv");
  Result r = run_in(dir.path(), {"-", "--png", "out.png"}, setup);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, u8"-: (ReadIsovarFile) 　入力データのＩＤの種別:xが判別できません。 \n"
                   "-: not a model: it looks like a table (comma-separated columns of numbers)\n"
                   "-: isovar-convert makes a model of it once saved in a file: isovar-convert --kind table FILE -o "
                   "MODEL.isovar\n");
  // Batch workers say the same.
  write_file(dir.file("ring.iso"), ring_model());
  r = plot(dir, {"ring.iso", "points.csv", "--outdir", "out", "-j", "2"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("points.csv: no data: 2 distinct points, fewer than the three a triangle needs\n"),
            std::string::npos)
      << r.err;

  // Outputs named in the library's messages keep their bytes too.
  r = plot(dir, {"ring.iso", "--bmp", u8"nö/données.bmp"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, u8"isovar-plot: 出力ファイル(nö/données.bmp)をオープンできません。\n"
                   u8"isovar-plot: cannot write nö/données.bmp: No such file or directory\n");
}

// A model that may not be read. As root, the run goes without the
// capabilities that pass over file permissions.
TEST(IsovarPlot, UnreadableInputSaysPermissionDenied) {
  TempDir dir;
  write_file(dir.file("secret.iso"), ring_model());
  ASSERT_EQ(chmod(dir.file("secret.iso").c_str(), 0), 0);
  auto drop = [] {
    if (geteuid() != 0) return;
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
      if (prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0) _exit(126);
  };
  RunSetup setup;
  setup.child = drop;
  const Result r = run_in(dir.path(), {"secret.iso", "--png", "out.png"}, setup);
  if (r.status == 126) GTEST_SKIP() << "cannot give up the capabilities";
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, u8"secret.iso: 入力ファイル(secret.iso)をオープンできません。\n"
                   "secret.iso: Permission denied\n");
}

// Every output asked for is attempted; each failure is named, and the exit
// status says that one failed.
TEST(IsovarPlot, FailedOutputsDoNotStopTheOthers) {
  TempDir dir;
  write_file(dir.file("ring.iso"), ring_model());
  Result r = plot(dir, {"ring.iso", "--size", "1200x1000", "--png", "a.png", "--bmp", "b.bmp", "--isolines",
                        "c.geojson", "--pdf", "d.pdf"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, u8"b.bmp: 画像（1200, 1000）が大きすぎます。\n");
  EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"ring.iso", "a.png", "c.geojson", "d.pdf"}));

  r = plot(dir, {"ring.iso", "--bmp", "no/b.bmp", "--png", "no/a.png", "--isolines", "c2.geojson", "--pdf", "no/d.pdf"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, u8"isovar-plot: 出力ファイル(no/b.bmp)をオープンできません。\n"
                   "isovar-plot: cannot write no/b.bmp: No such file or directory\n"
                   "isovar-plot: cannot write no/a.png: No such file or directory\n"
                   "isovar-plot: cannot write no/d.pdf: No such file or directory\n");
  EXPECT_TRUE(testing_support::file_exists(dir.file("c2.geojson")));
}

// The side limit and the pixel limit: 8192 x 8192 is the largest square.
TEST(IsovarPlot, SizeLimitsHold) {
  TempDir dir;
  write_file(dir.file("ring.iso"), ring_model());
  for (const char* size : {"20000x1", "1x20000", "8192x8192", "20000x3355"}) {
    Result r = plot(dir, {"ring.iso", "--size", size, "--isolines", "ring.geojson"});
    EXPECT_EQ(r.status, 0) << size << r.err;
  }
  Result help = plot(dir, {"--help"});
  EXPECT_NE(help.out.find("8192x8192"), std::string::npos) << help.out;
}

// Unless named, the run log and the display list stay in a private
// temporary folder that is removed (run_in checks it is gone): the current
// folder gets nothing.
TEST(IsovarPlot, RunLogAndDisplayListGoWhereAsked) {
  TempDir dir;
  write_file(dir.file("ring.iso"), ring_model());
  Result r = plot(dir, {"ring.iso", "--size", "640x480", "--png", "-"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"ring.iso"});

  ASSERT_EQ(mkdir(dir.file("logs").c_str(), 0755), 0);
  r = plot(dir, {"ring.iso", "--size", "640x480", "--log", "logs/run.log", "--display-list", "logs/ring.dl"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(dir.file("logs/run.log")), "(isovarMain)  width=640   height=480\n");
  // Title, two frames and at least the ring's segments.
  const std::string ring_dl = read_file(dir.file("logs/ring.dl"));
  EXPECT_GT(ring_dl.size(), 192u);

  // The default size; a display list named by an absolute path.
  r = plot(dir, {"ring.iso", "--display-list", dir.file("other.dl"), "--log", "isovar.log"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(dir.file("isovar.log")), "(isovarMain)  width=665   height=585\n");
  EXPECT_GT(read_file(dir.file("other.dl")).size(), 192u);
  EXPECT_NE(read_file(dir.file("other.dl")), ring_dl);

  // A run log that cannot be written is named.
  r = plot(dir, {"ring.iso", "--log", "no/such/folder/run.log", "--png", "ring.png"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "isovar-plot: cannot write no/such/folder/run.log: No such file or directory\n");
  EXPECT_TRUE(testing_support::file_exists(dir.file("ring.png")));
}

// A working folder that cannot be written to: outputs elsewhere are made.
// Needs root to mount a read-only file system; skipped otherwise.
TEST(IsovarPlot, ReadOnlyWorkingFolderIsNoObstacle) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a file system needs root";
  TempDir dir;
  const std::string locked = dir.file("locked");
  ASSERT_EQ(mkdir(locked.c_str(), 0755), 0);
  if (mount("isovar-test", locked.c_str(), "tmpfs", MS_RDONLY, "size=64k") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
  struct Unmount {
    std::string path;
    ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
  } unmount{locked};
  write_file(dir.file("ring.iso"), ring_model());
  Result r = run_in(locked, {dir.file("ring.iso"), "--png", dir.file("ring.png")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(testing_support::file_exists(dir.file("ring.png")));
}

// "-" reads the model from standard input; messages name it "-".
TEST(IsovarPlot, DashReadsStandardInput) {
  TempDir dir;
  write_file(dir.file("ring.iso"), ring_model());
  RunSetup setup;
  setup.stdin_file = dir.file("ring.iso");
  Result r = run_in(dir.path(), {"-", "--isolines", "piped.geojson"}, setup);
  ASSERT_EQ(r.status, 0) << r.err;
  r = plot(dir, {"ring.iso", "--isolines", "named.geojson"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(dir.file("piped.geojson")), read_file(dir.file("named.geojson")));

  write_file(dir.file("bad.iso"), "*x\nabc\n");
  setup.stdin_file = dir.file("bad.iso");
  r = run_in(dir.path(), {"-", "--png", "bad.png"}, setup);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("\n-: x_input ("), std::string::npos) << r.err;
}

TEST(IsovarPlot, RingIsolinesAsGeoJson) {
  TempDir dir;
  write_file(dir.file("ring.iso"), ring_model());
  Result r = plot(dir, {"ring.iso", "--isolines", "ring.geojson"});
  ASSERT_EQ(r.status, 0) << r.err;

  QJsonParseError error;
  QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(read_file(dir.file("ring.geojson"))), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
  QJsonObject collection = doc.object();
  EXPECT_EQ(collection["type"].toString(), "FeatureCollection");
  QJsonArray features = collection["features"].toArray();
  ASSERT_EQ(features.size(), 1);
  QJsonObject feature = features[0].toObject();
  EXPECT_EQ(feature["type"].toString(), "Feature");
  QJsonObject props = feature["properties"].toObject();
  EXPECT_EQ(props["level"].toDouble(), 5.0);
  EXPECT_EQ(props["level_index"].toInt(-1), 0);
  EXPECT_EQ(props["closed"].toBool(false), true);
  EXPECT_EQ(props["bold"].toBool(true), false);
  EXPECT_EQ(props["labelled"].toBool(false), true);
  QJsonObject geometry = feature["geometry"].toObject();
  EXPECT_EQ(geometry["type"].toString(), "LineString");

  const double expected[][2] = {{1, 1.5}, {0.5, 1.5}, {0.5, 1}, {1, 0.5}, {1.5, 0.5}, {1.5, 1}, {1, 1.5}};
  QJsonArray coords = geometry["coordinates"].toArray();
  ASSERT_EQ(coords.size(), 7);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(coords[i].toArray()[0].toDouble(), expected[i][0]) << i;
    EXPECT_EQ(coords[i].toArray()[1].toDouble(), expected[i][1]) << i;
  }
  EXPECT_EQ(coords.first(), coords.last());
}

TEST(IsovarPlot, GeoJsonKeepsTableOrderLevelsAndFlags) {
  TempDir dir;
  // A ramp along x crossed by three levels: one open line each, the middle
  // one bold, the last without labels; -0.005 is a level no float holds.
  std::string model = "*x\n0\n1\n2\n3\n*end\n*y\n0\n1\n*end\n*value\n";
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 2; ++j) model += std::to_string(i) + " " + std::to_string(j) + " " + std::to_string(i - 1.5) + "\n";
  model += "*end\n*isovar\n-0.005\n1.25 bold\n2.25 default no\n*end\n";
  write_file(dir.file("ramp.iso"), model);
  Result r = plot(dir, {"ramp.iso", "--isolines", "ramp.geojson"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string text = read_file(dir.file("ramp.geojson"));
  const QJsonArray features = QJsonDocument::fromJson(QByteArray::fromStdString(text))["features"].toArray();
  ASSERT_EQ(features.size(), 3) << text;
  // Each number is the shortest text that reads back as the same float:
  // -0.005, not -0.00499999989.
  EXPECT_NE(text.find("\"level\":-0.005,"), std::string::npos) << text;
  EXPECT_EQ(static_cast<float>(features[0].toObject()["properties"].toObject()["level"].toDouble()), -0.005f);
  for (int f = 0; f < 3; ++f) {
    const QJsonObject feature = features[f].toObject();
    QJsonObject props = feature["properties"].toObject();
    EXPECT_EQ(props["level_index"].toInt(-1), f);
    EXPECT_EQ(props["bold"].toBool(), f == 1) << f;
    EXPECT_EQ(props["labelled"].toBool(), f != 2) << f;
    EXPECT_FALSE(props["closed"].toBool()) << f;
    QJsonArray coords = feature["geometry"].toObject()["coordinates"].toArray();
    ASSERT_GE(coords.size(), 2) << f;
    const double x[] = {0.495, 1.75, 2.75};  // where the value, x - 0.5, reaches the level
    for (const auto& c : coords) EXPECT_NEAR(c.toArray()[0].toDouble(), x[f], 1e-6) << f;
  }

  // A file that cannot be made is named, not the input.
  r = plot(dir, {"ramp.iso", "--isolines", "no/such/folder/x.geojson"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "isovar-plot: cannot write no/such/folder/x.geojson: No such file or directory\n");
}

TEST(IsovarPlot, BandsAsGeoJsonPolygons) {
  TempDir dir;
  write_file(dir.file("ring.iso"), ring_model());
  Result r = plot(dir, {"ring.iso", "--bands", "ring.geojson"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string text = read_file(dir.file("ring.geojson"));
  const QJsonArray features = QJsonDocument::fromJson(QByteArray::fromStdString(text))["features"].toArray();
  // Below level 5 a square with a diamond hole, above it the diamond.
  ASSERT_EQ(features.size(), 2) << text;
  const QJsonObject below = features[0].toObject()["properties"].toObject();
  EXPECT_EQ(below["band"].toInt(-1), 0);
  EXPECT_TRUE(below["lower"].isNull());
  EXPECT_EQ(below["upper"].toDouble(), 5.0);
  const QJsonArray outer = features[0].toObject()["geometry"].toObject()["coordinates"].toArray()[0].toArray();
  EXPECT_EQ(outer.size(), 2) << "an outer ring and its hole";
  EXPECT_EQ(features[1].toObject()["properties"].toObject()["band"].toInt(-1), 1);

  r = plot(dir, {"ring.iso", "--bands", "no/such/folder/x.geojson"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "isovar-plot: cannot write no/such/folder/x.geojson: No such file or directory\n");
}

TEST(IsovarPlot, SvgIsThePictureAsElements) {
  TempDir dir;
  write_file(dir.file("ring.iso"), ring_model(cp932(u8"リング & <環>")));
  for (bool fill : {false, true}) {
    std::vector<std::string> args = {"ring.iso", "--size", "300x200", "--svg", "ring.svg", "--png", "ring.png"};
    if (fill) args.push_back("--fill");
    Result r = plot(dir, args);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string svg = read_file(dir.file("ring.svg"));
    QXmlStreamReader xml(QByteArray::fromStdString(svg));
    int strokes = 0, fills = 0, rects = 0;
    QStringList texts;
    while (!xml.atEnd()) {
      if (xml.readNext() != QXmlStreamReader::StartElement) continue;
      const auto attributes = xml.attributes();
      if (xml.name() == QLatin1String("svg")) {
        EXPECT_EQ(attributes.value("width"), QLatin1String("300"));
        EXPECT_EQ(attributes.value("height"), QLatin1String("200"));
        EXPECT_EQ(attributes.value("version"), QLatin1String("1.1"));
      } else if (xml.name() == QLatin1String("path")) {
        (attributes.value("fill") == QLatin1String("none") ? strokes : fills) += 1;
      } else if (xml.name() == QLatin1String("rect")) {
        ++rects;
      } else if (xml.name() == QLatin1String("text")) {
        texts << xml.readElementText();
      }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString() << "\n" << svg;
    // The background, the frame twice, the ring's one polyline, its labels.
    EXPECT_EQ(rects, 1) << fill;
    EXPECT_EQ(strokes, 3) << fill;
    EXPECT_EQ(fills, fill ? 2 : 0) << "one path for each band's colour";
    ASSERT_FALSE(texts.isEmpty());
    EXPECT_EQ(texts[0], QString::fromUtf8(u8"リング & <環>"));
    EXPECT_TRUE(texts.contains(QStringLiteral(" 5.00"))) << texts.join('|').toStdString();
    // rsvg-convert renders it at the picture's size.
    EXPECT_EQ(shell("rsvg-convert -o '" + dir.file("svg.png") + "' '" + dir.file("ring.svg") + "'; echo $?"), "0\n");
    EXPECT_EQ(QImage(QString::fromStdString(dir.file("svg.png"))).size(), QSize(300, 200));
  }
  Result r = plot(dir, {"ring.iso", "--svg", "no/such/folder/x.svg"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "isovar-plot: cannot write no/such/folder/x.svg: No such file or directory\n");
}

TEST(IsovarPlot, PngAndBmpHoldThePicture) {
  TempDir dir;
  write_file(dir.file("ring.iso"), ring_model());
  Result r = plot(dir, {"ring.iso", "--size", "300x200", "--png", "ring.png", "--bmp", "ring.bmp"});
  ASSERT_EQ(r.status, 0) << r.err;
  QImage png(QString::fromStdString(dir.file("ring.png")));
  ASSERT_FALSE(png.isNull());
  EXPECT_EQ(png.width(), 300);
  EXPECT_EQ(png.height(), 200);
  QImage bmp(QString::fromStdString(dir.file("ring.bmp")));
  ASSERT_FALSE(bmp.isNull());
  ASSERT_EQ(bmp.size(), png.size());
  // Both come from the same surface: the same pixels.
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x) ASSERT_EQ(png.pixel(x, y), bmp.pixel(x, y)) << x << "," << y;

  // PNG has no size limit of its own.
  r = plot(dir, {"ring.iso", "--size", "1200x1100", "--png", "big.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(QImage(QString::fromStdString(dir.file("big.png"))).size(), QSize(1200, 1100));

  r = plot(dir, {"ring.iso", "--png", "no/such/folder/x.png"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "isovar-plot: cannot write no/such/folder/x.png: No such file or directory\n");
}

TEST(IsovarPlot, FillPaintsTheBandsInEveryPicture) {
  TempDir dir;
  write_file(dir.file("ring.iso"), ring_model());
  Result r = plot(dir, {"ring.iso", "--size", "300x200", "--png", "plain.png", "--display-list", "plain.dl"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = plot(dir, {"ring.iso", "--size", "300x200", "--fill", "--png", "fill.png", "--bmp", "fill.bmp", "--pdf",
                 "fill.pdf", "--display-list", "fill.dl"});
  ASSERT_EQ(r.status, 0) << r.err;
  const QImage plain(QString::fromStdString(dir.file("plain.png")));
  const QImage fill(QString::fromStdString(dir.file("fill.png")));
  const QImage bmp(QString::fromStdString(dir.file("fill.bmp")));
  ASSERT_EQ(fill.size(), QSize(300, 200));
  ASSERT_EQ(bmp.size(), fill.size());
  // Inside the frame the grey gives way to the light band colours: the
  // centre lies in the band above level 5, a corner in the one below.
  const QColor grey(100, 100, 100);
  EXPECT_EQ(plain.pixelColor(110, 100), grey);
  const QColor centre = fill.pixelColor(110, 100), corner = fill.pixelColor(40, 170);
  EXPECT_NE(centre, grey);
  EXPECT_NE(corner, grey);
  EXPECT_NE(centre, corner);
  EXPECT_GT(centre.lightness(), 150);
  EXPECT_EQ(fill.pixelColor(10, 190), grey) << "outside the frame";
  EXPECT_EQ(bmp.pixel(110, 100), fill.pixel(110, 100));
  // The display list: band records first, then what the plain run wrote.
  const std::string plain_dl = read_file(dir.file("plain.dl"));
  const std::string fill_dl = read_file(dir.file("fill.dl"));
  ASSERT_GT(fill_dl.size(), plain_dl.size());
  EXPECT_EQ(fill_dl[0], 4);
  EXPECT_EQ(fill_dl.substr(fill_dl.size() - plain_dl.size()), plain_dl);
  EXPECT_NE(shell("pdfinfo '" + dir.file("fill.pdf") + "'").find("Pages:"), std::string::npos);
}

// The key and the axes take the room beside and below the frame, which is
// plain grey without them; a colour map changes the lines' colours only.
TEST(IsovarPlot, KeyAxesAndColourMapsDrawBesideTheFrame) {
  TempDir dir;
  write_file(dir.file("ring.iso"), ring_model());
  const QColor grey(100, 100, 100);
  // Pixels that are not the background grey in a band of the picture.
  auto drawn = [&](const QImage& image, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += image.pixelColor(x, y) != grey;
    return n;
  };
  struct Case {
    std::vector<std::string> style;
    bool right, below;  // drawn right of, or below, where the plain picture ends
  };
  const Case cases[] = {
      {{}, false, false},
      {{"--key"}, true, false},
      {{"--key", "below"}, false, true},
      {{"--axes"}, false, true},
      {{"--key", "--axes", "--colormap", "viridis"}, true, true},
      {{"--colormap", "balance", "--center", "5", "--fill"}, false, false},
      // The publication style: key right and axes, unless told otherwise.
      {{"--style", "publication"}, true, true},
      {{"--style", "publication", "--key", "below"}, false, true},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"ring.iso", "--size", "400x300", "--png", "styled.png"};
    args.insert(args.end(), c.style.begin(), c.style.end());
    const Result r = plot(dir, args);
    ASSERT_EQ(r.status, 0) << args.back() << r.err;
    const QImage png(QString::fromStdString(dir.file("styled.png")));
    ASSERT_EQ(png.size(), QSize(400, 300));
    EXPECT_EQ(drawn(png, 290, 0, 400, 300) > 0, c.right) << args.back();
    EXPECT_EQ(drawn(png, 0, 274, 400, 300) > 0, c.below) << args.back();
  }
}

// The publication style reaches the SVG (key, axes and haloed labels as
// groups and strokes of their own) and the PDF page, drawn exactly.
TEST(IsovarPlot, PublicationStyleReachesSvgAndPdf) {
  TempDir dir;
  write_file(dir.file("ring.iso"), ring_model());
  const Result r = plot(dir, {"ring.iso", "--style", "publication", "--fill", "--svg", "p.svg", "--pdf", "p.pdf"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string svg = read_file(dir.file("p.svg"));
  for (const char* part : {"id=\"key\"", "id=\"axes\"", "id=\"level-", "paint-order=\"stroke\"", "rotate("})
    EXPECT_NE(svg.find(part), std::string::npos) << part;
  EXPECT_EQ(read_file(dir.file("p.pdf")).rfind("%PDF-", 0), 0u);
  EXPECT_EQ(plot(dir, {"ring.iso", "--style", "poster", "--png", "x.png"}).status, 2);
}

TEST(IsovarPlot, PdfIsOnePageWithTitlesAndLabels) {
  TempDir dir;
  write_file(dir.file("ring.iso"), ring_model(cp932(u8"温度分布 Ring")));
  Result r = plot(dir, {"ring.iso", "--pdf", "ring.pdf"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  std::string info = shell("pdfinfo '" + dir.file("ring.pdf") + "'");
  EXPECT_TRUE(std::regex_search(info, std::regex("Pages: +1\n"))) << info;
  EXPECT_NE(info.find("(A4)"), std::string::npos) << info;
  std::string text = shell("pdftotext '" + dir.file("ring.pdf") + "' -");
  EXPECT_NE(text.find(u8"温度分布"), std::string::npos) << text;
  EXPECT_NE(text.find("Ring"), std::string::npos) << text;
  EXPECT_NE(text.find("5.00"), std::string::npos) << text;  // the ring's label

  r = plot(dir, {"ring.iso", "--pdf", "no/such/folder/x.pdf"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "isovar-plot: cannot write no/such/folder/x.pdf: No such file or directory\n");
}

// Outputs that cannot be written: each run fails on one of them and exits 1,
// naming the file and the system's reason; every earlier file keeps its
// bytes, the run log is old or whole, and no temporary file stays behind.
// The display list goes to /dev/null where it is not the file under test.
const char* const kEarlier = "earlier";
const std::vector<std::string> kOutputs = {"isovar.log", "prtInfo.tmp", "out.bmp", "out.png", "out.pdf", "out.geojson"};

void expect_outputs_fail(const std::string& folder, const std::string& input, rlim_t file_limit,
                         const std::string& reason, std::set<std::string> others = {}) {
  struct Case {
    std::vector<std::string> options;
    std::string message;  // the library's line, when it has one
  };
  const std::vector<Case> cases = {
      {{"--display-list", "prtInfo.tmp"}, u8"印刷情報ファイル(prtInfo.tmp)に書き込めません。"},
      {{"--display-list", "/dev/null", "--bmp", "out.bmp"}, u8"出力ファイル(out.bmp)に書き込めません。"},
      {{"--display-list", "/dev/null", "--png", "out.png"}, ""},
      {{"--display-list", "/dev/null", "--pdf", "out.pdf"}, ""},
      {{"--display-list", "/dev/null", "--isolines", "out.geojson"}, ""},
  };
  for (const std::string& name : kOutputs) write_file(folder + "/" + name, kEarlier);
  others.insert(kOutputs.begin(), kOutputs.end());
  for (const Case& c : cases) {
    std::vector<std::string> args{input, "--size", "300x200"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    SCOPED_TRACE(c.message);
    Result r = run_in(folder, args, file_limit);
    EXPECT_EQ(r.status, 1);
    const std::string file = c.options.back();
    EXPECT_EQ(r.err, (c.message.empty() ? "" : "isovar-plot: " + c.message + "\n") + "isovar-plot: cannot write " +
                         file + ": " + reason + "\n");
    for (const std::string& name : kOutputs) {
      const std::string bytes = read_file(folder + "/" + name);
      if (name == "isovar.log" && bytes != kEarlier) {
        EXPECT_EQ(bytes, "(isovarMain)  width=300   height=200\n");
      } else {
        EXPECT_TRUE(bytes == kEarlier) << name;
      }
    }
    EXPECT_EQ(names_in(folder), others);
  }
}

TEST(IsovarPlot, OutputsThatCannotBeWrittenKeepTheirEarlierFiles) {
  TempDir dir;
  write_file(dir.file("ring.iso"), ring_model());
  // Every output is larger than 200 bytes; the messages, which go to a file
  // under the same limit, are shorter.
  expect_outputs_fail(dir.path(), "ring.iso", 200, "File too large", {"ring.iso"});

  // A run log the library cannot write is skipped, whole.
  write_file(dir.file("isovar.log"), kEarlier);
  Result r = run_in(dir.path(), {"ring.iso", "--display-list", "/dev/null", "--log", "isovar.log"}, 10);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(dir.file("isovar.log")), kEarlier);
}

// The outputs and a plot run on a small file system that is full. Needs root
// (CI runs the tests as root); skipped otherwise.
TEST(IsovarPlot, FullFileSystemFailsEveryOutputAndKeepsTheEarlierFiles) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a file system needs root";
  TempDir dir;
  write_file(dir.file("ring.iso"), ring_model());
  const std::string full = dir.file("full");
  ASSERT_EQ(mkdir(full.c_str(), 0755), 0);
  if (mount("isovar-test", full.c_str(), "tmpfs", 0, "size=256k") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
  struct Unmount {
    std::string path;
    ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
  } unmount{full};

  for (const std::string& name : kOutputs) write_file(full + "/" + name, kEarlier);
  const int filler = open((full + "/filler").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(filler, 0);
  const std::string block(4096, 'f');
  while (write(filler, block.data(), block.size()) > 0) {
  }
  close(filler);
  expect_outputs_fail(full, dir.file("ring.iso"), 0, "No space left on device", {"filler"});

  // A full temporary folder fails no picture: the display list nobody
  // asked for then goes nowhere.
  RunSetup setup;
  setup.tmpdir = full;
  const std::set<std::string> before = names_in(full);
  Result r = run_in(dir.path(), {"ring.iso", "--png", "ring.png"}, setup);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(testing_support::file_exists(dir.file("ring.png")));
  EXPECT_EQ(names_in(full), before);
}

// A file the user names is written through a link to it; a link planted
// under the name of the run log or the display list is replaced instead.
TEST(IsovarPlot, LinksAreFollowedOnlyForTheOutputsTheUserNames) {
  TempDir dir;
  write_file(dir.file("ring.iso"), ring_model());
  write_file(dir.file("victim"), kEarlier);
  ASSERT_EQ(mkdir(dir.file("pictures").c_str(), 0755), 0);
  ASSERT_EQ(symlink("pictures/ring.bmp", dir.file("link.bmp").c_str()), 0);
  ASSERT_EQ(symlink("victim", dir.file("prtInfo.tmp").c_str()), 0);
  ASSERT_EQ(symlink("victim", dir.file("isovar.log").c_str()), 0);
  Result r = plot(dir, {"ring.iso", "--size", "300x200", "--bmp", "link.bmp", "--display-list", "prtInfo.tmp",
                        "--log", "isovar.log"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(QImage(QString::fromStdString(dir.file("pictures/ring.bmp"))).size(), QSize(300, 200));
  EXPECT_EQ(read_file(dir.file("victim")), kEarlier);
  struct stat st;
  for (const char* name : {"link.bmp", "prtInfo.tmp", "isovar.log"}) {
    ASSERT_EQ(lstat(dir.file(name).c_str(), &st), 0);
    EXPECT_EQ(S_ISLNK(st.st_mode), std::string(name) == "link.bmp") << name;
  }
}


// Many inputs into one folder: each input's outputs there as NAME.EXT, the
// same bytes as a run of its own, whatever the number of workers; a failing
// input is named and does not stop the others.
TEST(IsovarPlot, ManyInputsGoToTheOutputFolder) {
  TempDir dir;
  write_file(dir.file("ring.iso"), ring_model());
  write_file(dir.file("titled.iso"), ring_model("Other"));
  write_file(dir.file("bad.iso"), "*x\nabc\n");
  ASSERT_EQ(mkdir(dir.file("in").c_str(), 0755), 0);
  write_file(dir.file("in/ring.model.iso"), ring_model("Third"));
  Result single = plot(dir, {"ring.iso", "--size", "300x200", "--png", "ring.png", "--bmp", "ring.bmp", "--pdf",
                             "ring.pdf", "--isolines", "ring.geojson"});
  ASSERT_EQ(single.status, 0) << single.err;

  for (const char* jobs : {"1", "3"}) {
    SCOPED_TRACE(jobs);
    const std::string out = std::string("out") + jobs;
    Result r = plot(dir, {"ring.iso", "bad.iso", "titled.iso", "in/ring.model.iso", "--outdir", out, "--size",
                          "300x200", "--format", "png,bmp,isolines,pdf", "-j", jobs});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("\nbad.iso: x_input ("), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("isovar-plot: 1 of 4 inputs failed\n"), std::string::npos) << r.err;
    EXPECT_EQ(names_in(dir.file(out)),
              (std::set<std::string>{"ring.png", "ring.bmp", "ring.geojson", "ring.pdf", "titled.png", "titled.bmp",
                                     "titled.geojson", "titled.pdf", "ring.model.png", "ring.model.bmp",
                                     "ring.model.geojson", "ring.model.pdf"}));
    for (const char* ext : {".png", ".bmp", ".geojson"})
      EXPECT_EQ(read_file(dir.file(out + "/ring" + ext)), read_file(dir.file(std::string("ring") + ext))) << ext;
    EXPECT_NE(read_file(dir.file(out + "/titled.bmp")), read_file(dir.file("ring.bmp")));
    EXPECT_NE(shell("pdftotext '" + dir.file(out + "/titled.pdf") + "' -").find("Other"), std::string::npos);
  }

  // PNG alone by default; all succeed: exit 0, nothing said.
  Result r = plot(dir, {"ring.iso", "titled.iso", "--outdir", "plain"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(names_in(dir.file("plain")), (std::set<std::string>{"ring.png", "titled.png"}));

  // An output folder that cannot be made.
  r = plot(dir, {"ring.iso", "--outdir", "no/such/folder"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "isovar-plot: cannot make the folder no/such/folder: No such file or directory\n");
}


// The face fontconfig resolved is remembered for the next process, and
// forgotten when fontconfig's configuration changes.
TEST(IsovarPlot, FontResolutionIsRememberedUntilTheConfigurationChanges) {
  TempDir dir;
  write_file(dir.file("ring.iso"), ring_model(cp932(u8"等高線 Ring")));
  const std::string config = dir.file("fonts.conf");
  const std::string plain =
      "<?xml version=\"1.0\"?>\n<fontconfig>\n"
      "  <include ignore_missing=\"yes\">/etc/fonts/fonts.conf</include>\n";
  write_file(config, plain + "</fontconfig>\n");
  RunSetup setup;
  setup.env = {{"XDG_CACHE_HOME", dir.file("cache")}, {"FONTCONFIG_FILE", config}};
  auto picture = [&](const std::string& name) {
    Result r = run_in(dir.path(), {"ring.iso", "--size", "300x200", "--bmp", name}, setup);
    EXPECT_EQ(r.status, 0) << r.err;
    return read_file(dir.file(name));
  };
  const std::string first = picture("first.bmp");
  const std::set<std::string> cached = names_in(dir.file("cache/isovar"));
  ASSERT_EQ(cached.size(), 1u);
  EXPECT_EQ(picture("again.bmp"), first);
  EXPECT_EQ(names_in(dir.file("cache/isovar")), cached);

  // The proportional gothic face put first: a new resolution, another picture,
  // itself remembered.
  write_file(config, plain +
                         "  <match target=\"pattern\"><test name=\"family\"><string>" + u8"ＭＳ ゴシック" +
                         "</string></test>\n"
                         "    <edit name=\"family\" mode=\"prepend\" binding=\"strong\"><string>IPAPGothic</string>"
                         "</edit></match>\n</fontconfig>\n");
  const std::string other = picture("other.bmp");
  if (shell("fc-list IPAPGothic family").empty()) GTEST_SKIP() << "IPAPGothic is not installed";
  EXPECT_NE(other, first);
  EXPECT_EQ(picture("other-again.bmp"), other);

  // A damaged cache file is not used.
  write_file(dir.file("cache/isovar/" + *cached.begin()), "isovar font cache 1\nkey x\nfont 0 /nowhere\n");
  write_file(config, plain + "</fontconfig>\n");
  EXPECT_EQ(picture("repaired.bmp"), first);
}


// Ended by a signal, a many-inputs run takes its workers and their temporary
// folders with it.
TEST(IsovarPlot, SignalEndsTheWorkersAndRemovesTheirFolders) {
  TempDir dir, tmp;
  const std::string model = testing_support::source_path("examples/large.isovar");
  std::vector<std::string> args{kPlot};
  for (int i = 0; i < 2000; ++i) {
    const std::string name = dir.file("m" + std::to_string(i) + ".iso");
    ASSERT_EQ(symlink(model.c_str(), name.c_str()), 0);
    args.push_back(name);
  }
  for (const char* a : {"--outdir", "out", "-j", "2"}) args.push_back(a);
  ASSERT_EQ(mkdir(dir.file("out").c_str(), 0755), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.path().c_str()) != 0) _exit(127);
    setenv("TMPDIR", tmp.path().c_str(), 1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(kPlot, argv.data());
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  // Until the workers have made their folders and a few pictures.
  for (int wait = 0; wait < 200 && names_in(dir.file("out")).size() < 4; ++wait) usleep(20000);
  kill(pid, SIGTERM);
  int wstatus = 0;
  ASSERT_EQ(waitpid(pid, &wstatus, 0), pid);
  EXPECT_TRUE(WIFSIGNALED(wstatus) && WTERMSIG(wstatus) == SIGTERM) << wstatus;
  for (int wait = 0; wait < 100 && !names_in(tmp.path()).empty(); ++wait) usleep(20000);
  EXPECT_EQ(names_in(tmp.path()), std::set<std::string>{});
  for (const std::string& name : names_in(dir.file("out"))) EXPECT_NE(name[0], '.') << "a temporary file stayed";
  const std::size_t made = names_in(dir.file("out")).size();
  usleep(200000);
  EXPECT_EQ(names_in(dir.file("out")).size(), made) << "a worker went on plotting";
  EXPECT_LT(made, 2000u);
}

// ---- Models past the default tables, silent results, standard output and
// ---- where the outputs go.

const char* const kGen = ISOVAR_BINARY_DIR "/bin/isovar-gen";

// The 3 x 3 ring (0 around 10) with the given *isovar lines.
std::string ring_with_levels(const std::string& levels) {
  std::string model = ring_model();
  model.erase(model.find("*isovar\n"));
  return model + "*isovar\n" + levels + "*end\n";
}

std::string library_line_of_wide() { return u8"(x_input) (行:501)  Ｘ方向の格子点数が多すぎます。（最大:500）"; }

// A model past a default table is plotted in large mode, said in one line;
// the outputs are those of --large. --strict keeps the refusal and its hint.
TEST(IsovarPlot, ModelsPastTheDefaultTablesArePlottedInLargeMode) {
  TempDir dir;
  write_file(dir.file("wide.iso"), thin_grid(600, 3));
  // 200 x 200 noise: read by the default tables, past their 1500 polylines in the run.
  ASSERT_EQ(shell(std::string(kGen) + " noise 200 '" + dir.file("noisy.iso") + "' && echo made"), "made\n");
  struct Case {
    std::string input;
    std::string stdin_file;  // for "-"
    std::string said;        // the library's message in the line
  };
  const std::vector<Case> cases = {
      {"wide.iso", "", library_line_of_wide()},
      {"noisy.iso", "", u8"(make_poly)ポリラインの数が多すぎる（最大：1500）"},
      {"-", "wide.iso", library_line_of_wide()},
  };
  const std::vector<std::string> outputs = {"--bmp", "a.bmp", "--png", "a.png", "--svg", "a.svg",
                                            "--isolines", "a.geojson", "--bands", "a.bands.geojson"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input + " " + c.stdin_file);
    RunSetup setup;
    if (!c.stdin_file.empty()) setup.stdin_file = dir.file(c.stdin_file);
    const std::string model = c.stdin_file.empty() ? c.input : c.stdin_file;
    std::vector<std::string> args = {model, "--size", "400x300", "--large"};
    std::vector<std::string> large_outputs = outputs;
    for (std::string& a : large_outputs)
      if (a[0] != '-') a = "large-" + a;
    args.insert(args.end(), large_outputs.begin(), large_outputs.end());
    Result r = run_in(dir.path(), args, RunSetup{});
    ASSERT_EQ(r.status, 0) << r.err;

    args = {c.input, "--size", "400x300"};
    args.insert(args.end(), outputs.begin(), outputs.end());
    r = run_in(dir.path(), args, setup);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, c.input + ": larger than the default tables, plotted in large mode: " + c.said + "\n");
    for (std::size_t i = 1; i < outputs.size(); i += 2)
      EXPECT_TRUE(read_file(dir.file(outputs[i])) == read_file(dir.file("large-" + outputs[i]))) << outputs[i];

    args.push_back("--strict");
    for (std::size_t i = 1; i < outputs.size(); i += 2) unlink(dir.file(outputs[i]).c_str());
    r = run_in(dir.path(), args, setup);
    EXPECT_EQ(r.status, 1);
    // The line refused, from a file (standard input is not kept with --strict).
    const std::string line = c.input == "wide.iso" ? "wide.iso: line 501: 499\n" : "";
    EXPECT_EQ(r.err, c.input + ": " + c.said + (c.said == library_line_of_wide() ? " " : "") + "\n" + line +
                         c.input + ": the model is larger than the default tables; --large lifts their limits\n");
    for (std::size_t i = 1; i < outputs.size(); i += 2)
      EXPECT_FALSE(testing_support::file_exists(dir.file(outputs[i]))) << outputs[i];
  }

  // In batch mode, each file on its own.
  write_file(dir.file("ring.iso"), ring_model());
  Result r = plot(dir, {"wide.iso", "ring.iso", "--outdir", "out", "--format", "isolines", "-j", "2"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "wide.iso: larger than the default tables, plotted in large mode: " + library_line_of_wide() + "\n");
  EXPECT_EQ(names_in(dir.file("out")), (std::set<std::string>{"wide.geojson", "ring.geojson"}));
  EXPECT_TRUE(read_file(dir.file("out/wide.geojson")) == read_file(dir.file("large-a.geojson")));
  r = plot(dir, {"wide.iso", "ring.iso", "--outdir", "strict", "--format", "isolines", "--strict"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("wide.iso: the model is larger than the default tables; --large lifts their limits\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(names_in(dir.file("strict")), std::set<std::string>{"ring.geojson"});
}

// What the data gives is made, with a warning when it is nothing to see:
// levels that meet no value, a model without values, one band.
TEST(IsovarPlot, EmptyResultsAreWarnedOf) {
  TempDir dir;
  const std::string no_values =
      "*x\n0\n1\n2\n*end\n*y\n0\n1\n2\n*end\n*value\n*end\n*isovar\n5\n*end\n";
  const std::string no_isoline = ": warning: no level meets the model's values";
  const std::string empty = ": the plot holds no isoline\n";
  const std::string one_band = "m.geojson: warning: one band only: the levels do not divide the model's values\n";
  struct Case {
    std::string model;
    std::vector<std::string> options;
    std::string said;  // after "m.iso"
  };
  const std::vector<Case> cases = {
      {ring_with_levels("50\n"), {"--png", "m.png"}, no_isoline + " (all lie below the lowest level, 50)" + empty},
      {ring_with_levels("-5\n-1\n"), {"--png", "m.png"}, no_isoline + " (all lie above the highest level, -1)" + empty},
      {ring_with_levels("-5\n50\n"), {"--svg", "m.svg"},
       no_isoline + " (all lie between the levels -5 and 50)" + empty},
      {ring_with_levels("50\n"), {"--bands", "m.geojson"},
       no_isoline + " (all lie below the lowest level, 50)" + empty + one_band},
      {no_values, {"--png", "m.png", "--bands", "m.geojson"},
       ": warning: the model has no values to trace (every value is undefined, or none fills a whole cell)" + empty},
      // Isolines: none said, with or without labels, whether the display
      // list can be read or not.
      {ring_with_levels("5\n"), {"--png", "m.png", "--bands", "m.geojson"}, ""},
      {ring_with_levels("5 default no\n"), {"--png", "m.png"}, ""},
      {ring_with_levels("5\n"), {"--png", "m.png", "--display-list", "/dev/null"}, ""},
      {ring_with_levels("50\n"), {"--png", "m.png", "--display-list", "/dev/null"},
       no_isoline + " (all lie below the lowest level, 50)" + empty},
      // Filled bands come first in the display list.
      {ring_with_levels("50\n"), {"--png", "m.png", "--fill"}, no_isoline + " (all lie below the lowest level, 50)" + empty},
      {ring_with_levels("5 default no\n"), {"--png", "m.png", "--fill"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    write_file(dir.file("m.iso"), c.model);
    std::vector<std::string> args = {"m.iso"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Result r = plot(dir, args);
    EXPECT_EQ(r.status, 0) << r.err;
    std::string said = c.said;
    if (!said.empty() && said[0] == ':') said = "m.iso" + said;
    EXPECT_EQ(r.err, said);
    EXPECT_TRUE(testing_support::file_exists(dir.file(c.options[1])));
  }
  // Each input of a batch is told of on its own.
  write_file(dir.file("high.iso"), ring_with_levels("50\n"));
  write_file(dir.file("fine.iso"), ring_model());
  const Result r = plot(dir, {"high.iso", "fine.iso", "--outdir", "out"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "high.iso" + no_isoline + " (all lie below the lowest level, 50)" + empty);
}

// "-" is standard output, whatever it is (here a regular file, then a pipe);
// "./-" is a file named "-".
TEST(IsovarPlot, DashIsStandardOutput) {
  TempDir dir;
  write_file(dir.file("ring.iso"), ring_model());
  for (const char* option : {"--png", "--svg", "--bmp", "--pdf", "--isolines", "--bands"}) {
    SCOPED_TRACE(option);
    Result named = plot(dir, {"ring.iso", "--size", "300x200", option, "named"});
    ASSERT_EQ(named.status, 0) << named.err;
    Result piped = plot(dir, {"ring.iso", "--size", "300x200", option, "-"});
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.err, "");
    const std::string file = read_file(dir.file("named"));
    if (std::string(option) == "--pdf") {
      EXPECT_EQ(piped.out.substr(0, 5), "%PDF-");  // its creation date differs
    } else {
      EXPECT_TRUE(piped.out == file) << piped.out.size() << " bytes, not " << file.size();
    }
    EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"ring.iso", "named"}));
  }
  EXPECT_EQ(shell("cd '" + dir.path() + "' && " + kPlot + " ring.iso --size 300x200 --bands - | cat"),
            read_file(dir.file("named")));
  Result r = plot(dir, {"ring.iso", "--png", "./-"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(read_file(dir.file("-")).substr(1, 3), "PNG");

  // A reader that went away fails the output, said; the other outputs are
  // made and nothing stays in the temporary folder.
  RunSetup unread;
  unread.stdout_unread = true;
  for (const char* option : {"--png", "--bands"}) {
    r = run_in(dir.path(), {"ring.iso", option, "-", "--svg", "ring.svg"}, unread);
    EXPECT_EQ(r.status, 1) << option;
    EXPECT_EQ(r.err, "isovar-plot: cannot write standard output: Broken pipe\n") << option;
    EXPECT_TRUE(testing_support::file_exists(dir.file("ring.svg")));
  }
}

// Two outputs of a run on one file, or an output on the input: refused
// before anything is written, naming both.
TEST(IsovarPlot, OutputsOfOneRunNeverMeet) {
  TempDir dir;
  write_file(dir.file("ring.iso"), ring_model());
  ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0);
  ASSERT_EQ(symlink("ring.iso", dir.file("link.png").c_str()), 0);
  ASSERT_EQ(symlink("../new.svg", dir.file("sub/new.svg").c_str()), 0);
  struct Case {
    std::vector<std::string> args;
    std::string said;
  };
  const std::vector<Case> cases = {
      {{"ring.iso", "--png", "x", "--svg", "x"}, "--png 'x' and --svg 'x' would write the same file"},
      {{"ring.iso", "--bmp", "sub/../x", "--pdf", "./x"}, "--bmp 'sub/../x' and --pdf './x' would write the same file"},
      {{"ring.iso", "--svg", "new.svg", "--isolines", "sub/new.svg"},
       "--svg 'new.svg' and --isolines 'sub/new.svg' would write the same file"},
      {{"ring.iso", "--pdf", "p", "--display-list", "p"}, "--pdf 'p' and --display-list 'p' would write the same file"},
      {{"ring.iso", "--png", "ring.iso"}, "--png 'ring.iso' would replace the input 'ring.iso'"},
      {{"./sub/../ring.iso", "--bands", dir.file("ring.iso")},
       "--bands '" + dir.file("ring.iso") + "' would replace the input './sub/../ring.iso'"},
      {{"ring.iso", "--png", "link.png"}, "--png 'link.png' would replace the input 'ring.iso'"},
      {{"ring.iso", "--log", "ring.iso", "--png", "-"}, "--log 'ring.iso' would replace the input 'ring.iso'"},
      {{"-", "--isolines", "ring.iso"}, "--isolines 'ring.iso' would replace the input '-'"},
  };
  const std::set<std::string> before = names_in(dir.path());
  const std::string model = read_file(dir.file("ring.iso"));
  for (const Case& c : cases) {
    RunSetup setup;
    setup.stdin_file = dir.file("ring.iso");
    const Result r = run_in(dir.path(), c.args, setup);
    EXPECT_EQ(r.status, 2) << c.said;
    EXPECT_EQ(r.err, "isovar-plot: " + c.said + " (try isovar-plot --help)\n");
    EXPECT_EQ(names_in(dir.path()), before) << c.said;
    EXPECT_EQ(read_file(dir.file("ring.iso")), model) << c.said;
  }
  // Devices are written in place: two outputs there are no clash.
  const Result r = plot(dir, {"ring.iso", "--display-list", "/dev/null", "--log", "/dev/null", "--png", "/dev/null"});
  EXPECT_EQ(r.status, 0) << r.err;
}

// Batch outputs: inputs of one NAME are numbered in the order given; an
// output on an input, or two outputs that numbering cannot part, are refused
// before anything is written.
TEST(IsovarPlot, BatchOutputsNeverCollide) {
  TempDir dir;
  for (const char* folder : {"a", "b", "c", "c/d"}) ASSERT_EQ(mkdir(dir.file(folder).c_str(), 0755), 0);
  write_file(dir.file("a/model.isovar"), ring_model("A"));
  write_file(dir.file("b/model.isovar"), ring_model("B"));
  write_file(dir.file("c/d/model.iso"), ring_model("C"));
  write_file(dir.file("model-2.isovar"), ring_model("Two"));
  write_file(dir.file("x.isovar"), ring_model());
  write_file(dir.file("x.bands.isovar"), ring_model());
  write_file(dir.file("m.geojson"), ring_model());
  for (const char* name : {"a/model", "b/model", "model-2"}) {
    const Result r = plot(dir, {std::string(name) + ".isovar", "--size", "300x200", "--png", name + std::string(".png")});
    ASSERT_EQ(r.status, 0) << r.err;
  }

  struct Case {
    std::vector<std::string> args;
    std::set<std::string> made;  // under out/
    std::string refused;
  };
  const std::vector<Case> cases = {
      {{"a/model.isovar", "b/model.isovar", "--format", "png,isolines"},
       {"model.png", "model.geojson", "model-2.png", "model-2.geojson"},
       ""},
      // A later input's own NAME is never taken by the numbering.
      {{"a/model.isovar", "b/model.isovar", "model-2.isovar"}, {"model.png", "model-3.png", "model-2.png"}, ""},
      {{"a/model.isovar", "b/model.isovar", "c/d/model.iso", "--keep-tree"},
       {"a", "a/model.png", "b", "b/model.png", "c", "c/d", "c/d/model.png"},
       ""},
      {{"x.isovar", "x.bands.isovar", "--format", "isolines,bands"},
       {},
       "'out/x.bands.geojson' (the bands of 'x.isovar') and 'out/x.bands.geojson' (the isolines of "
       "'x.bands.isovar') would write the same file"},
      {{"../outside.iso", "--keep-tree"}, {}, "--keep-tree: '../outside.iso' is not under the current folder"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    for (const char* a : {"--outdir", "out", "--size", "300x200"}) args.push_back(a);
    SCOPED_TRACE(args[0] + " " + args[1] + " " + args[2]);
    const Result r = plot(dir, args);
    if (c.refused.empty()) {
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.err, "");
      std::set<std::string> made;
      std::function<void(const std::string&)> walk = [&](const std::string& under) {
        for (const std::string& name : names_in(dir.file("out/" + under))) {
          made.insert(under + name);
          struct stat st;
          if (stat(dir.file("out/" + under + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) walk(under + name + "/");
        }
      };
      walk("");
      EXPECT_EQ(made, c.made);
    } else {
      EXPECT_EQ(r.status, 2);
      EXPECT_EQ(r.err, "isovar-plot: " + c.refused + " (try isovar-plot --help)\n");
      EXPECT_FALSE(testing_support::file_exists(dir.file("out"))) << "made before the check";
    }
    shell("rm -rf '" + dir.file("out") + "'");
  }
  // Each numbered output holds its own input's plot.
  Result r = plot(dir, {"a/model.isovar", "b/model.isovar", "model-2.isovar", "--outdir", "out", "--size", "300x200"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(read_file(dir.file("out/model.png")) == read_file(dir.file("a/model.png")));
  EXPECT_TRUE(read_file(dir.file("out/model-3.png")) == read_file(dir.file("b/model.png")));
  EXPECT_TRUE(read_file(dir.file("out/model-2.png")) == read_file(dir.file("model-2.png")));

  // An input in the output folder whose output would replace it.
  const std::string model = read_file(dir.file("m.geojson"));
  r = plot(dir, {"m.geojson", "x.isovar", "--outdir", ".", "--format", "isolines"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "isovar-plot: './m.geojson' (the isolines of 'm.geojson') would replace the input 'm.geojson' "
                   "(try isovar-plot --help)\n");
  EXPECT_EQ(read_file(dir.file("m.geojson")), model);
  EXPECT_FALSE(testing_support::file_exists(dir.file("x.geojson")));
}

// On a terminal, batch mode first lists what goes where.
TEST(IsovarPlot, BatchListsWhatGoesWhereOnATerminal) {
  TempDir dir;
  for (const char* folder : {"a", "b"}) ASSERT_EQ(mkdir(dir.file(folder).c_str(), 0755), 0);
  write_file(dir.file("a/model.isovar"), ring_model());
  write_file(dir.file("b/model.isovar"), ring_model());
  if (shell("command -v script").empty()) GTEST_SKIP() << "script (util-linux) is not installed";
  const std::string out = shell("cd '" + dir.path() + "' && script -qec '" + kPlot +
                                " a/model.isovar b/model.isovar --outdir out --format png,isolines' /dev/null");
  EXPECT_NE(out.find("isovar-plot: a/model.isovar -> out/model.png out/model.geojson\r\n"), std::string::npos) << out;
  EXPECT_NE(out.find("isovar-plot: b/model.isovar -> out/model-2.png out/model-2.geojson\r\n"), std::string::npos)
      << out;
  EXPECT_EQ(names_in(dir.file("out")),
            (std::set<std::string>{"model.png", "model.geojson", "model-2.png", "model-2.geojson"}));
}

}  // namespace

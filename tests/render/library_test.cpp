// The exported functions, called through the shared library loaded by name,
// as the window loads it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "IsovarLib.h"
#include "test_support.h"

using testing_support::cp932;
using testing_support::file_exists;
using testing_support::read_file;
using testing_support::write_file;

namespace {

const char* const kLibraryPath = ISOVAR_BINARY_DIR "/lib/libIsovarLib.so";

struct Library {
  void* handle = nullptr;
  decltype(&::readData) readData = nullptr;
  decltype(&::isovarMain) isovarMain = nullptr;
  decltype(&::saveBMP) saveBMP = nullptr;
  decltype(&::currentDir) currentDir = nullptr;
  decltype(&::makeTempFilePath) makeTempFilePath = nullptr;
  decltype(&::setRunLog) setRunLog = nullptr;

  Library() {
    handle = dlopen(kLibraryPath, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return;
    readData = reinterpret_cast<decltype(readData)>(dlsym(handle, "readData"));
    isovarMain = reinterpret_cast<decltype(isovarMain)>(dlsym(handle, "isovarMain"));
    saveBMP = reinterpret_cast<decltype(saveBMP)>(dlsym(handle, "saveBMP"));
    currentDir = reinterpret_cast<decltype(currentDir)>(dlsym(handle, "currentDir"));
    makeTempFilePath = reinterpret_cast<decltype(makeTempFilePath)>(dlsym(handle, "makeTempFilePath"));
    setRunLog = reinterpret_cast<decltype(setRunLog)>(dlsym(handle, "setRunLog"));
  }
};

Library& lib() {
  static Library library;
  return library;
}

// A grid model: x and y 1..n, the value from f(i, j), the given level lines.
template <typename F>
std::string grid_file(int n, F f, const std::string& levels, const std::string& titles = "") {
  std::string s = "*model differencial\n";
  if (!titles.empty()) s += "*title\n" + titles + "*end\n";
  s += "*x\n";
  for (int i = 1; i <= n; ++i) s += std::to_string(i) + "\n";
  s += "*end\n*y\n";
  for (int j = 1; j <= n; ++j) s += std::to_string(j) + "\n";
  s += "*end\n*value\n";
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) s += std::to_string(i) + " " + std::to_string(j) + " " + std::to_string(f(i, j)) + "\n";
  return s + "*end\n*isovar\n" + levels + "*end\n";
}

// A hill over a 5 x 5 grid: a few labelled isolines.
std::string hill_file() {
  return grid_file(5, [](int i, int j) { return 20 - (i - 3) * (i - 3) - (j - 3) * (j - 3) * 2; }, "12\n16 bold\n19\n",
                   "Hill\n");
}

// Isolated peaks on every other grid point: more closed isolines (39 x 39)
// than the engine keeps.
std::string too_many_rings_file() {
  return grid_file(80, [](int i, int j) { return i % 2 == 0 && j % 2 == 0 ? 10 : 0; }, "5\n");
}

class LibraryRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(lib().handle, nullptr) << dlerror();
    dc_ = CreateSurfaceDC(665, 585);
    ASSERT_NE(dc_, nullptr);
    std::memset(err_, 0, sizeof err_);
  }
  void TearDown() override { DeleteDC(dc_); }
  void read(const std::string& text) {
    write_file("model.iso", text);
    ASSERT_EQ(lib().readData("model.iso", err_), 0) << testing_support::utf8(err_);
  }
  HDC dc_ = nullptr;
  char err_[ISOVAR_ERRMSG_SIZE];
};

}  // namespace

TEST(LibraryExports, OnlyTheEntryPoints) {
  std::string command = std::string("nm -D --defined-only ") + kLibraryPath;
  FILE* p = popen(command.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::set<std::string> exported;
  char line[512];
  while (std::fgets(line, sizeof line, p) != nullptr) {
    char address[64], type[8], name[400];
    if (std::sscanf(line, "%63s %7s %399s", address, type, name) == 3) exported.insert(name);
  }
  ASSERT_EQ(pclose(p), 0);
  const std::set<std::string> entry_points = {"readData", "isovarMain", "saveBMP", "currentDir", "makeTempFilePath",
                                              "saveIsolines", "setLargeModels", "tableLimitReached",
                                              "setFillBands", "saveBands", "setRunLog",
                                              // models and runs as objects
                                              "isovarModelNew", "isovarModelFree", "isovarModelRead",
                                              "isovarModelGrid", "isovarModelMesh", "isovarModelLimitReached",
                                              "isovarModelDescribe", "isovarModelOrigin", "isovarModelSetInfo",
                                              "isovarModelGridAt", "isovarAxisOrigin", "isovarModelGridRows",
                                              "isovarRunNew", "isovarRunFree", "isovarRunSetFill",
                                              "isovarRunSetLarge", "isovarRunTrace", "isovarRunLimitReached",
                                              "isovarRunLineCount", "isovarRunLine", "isovarRunBands",
                                              "isovarRunBandCount", "isovarRunBand", "isovarRunBandRing",
                                              "isovarRunDraw", "isovarRunSaveBMP", "isovarRunSaveIsolines",
                                              "isovarRunSaveBands",
                                              // picture style
                                              "setPictureStyle", "isovarRunSetStyle", "isovarColormapNamed",
                                              "isovarRunSetThreads", "setThreads", "isovarRunTraceLines",
                                              "isovarRunStreamIsolines"};
  for (const std::string& name : exported) EXPECT_TRUE(entry_points.count(name)) << name << " is exported";
  for (const char* name : {"readData", "isovarMain", "saveBMP", "currentDir", "makeTempFilePath"})
    EXPECT_TRUE(exported.count(name)) << name << " is missing";
}

TEST_F(LibraryRun, PlotRunWritesTheLogHeaderAndLeavesErrMsg) {
  read(hill_file());
  std::memset(err_, 'Q', sizeof err_ - 1);
  err_[sizeof err_ - 1] = '\0';
  const std::string before(err_);
  ASSERT_EQ(lib().isovarMain(err_, dc_, "prtInfo.tmp", 640, 480), 0);
  EXPECT_EQ(std::string(err_), before);
  EXPECT_EQ(read_file("isovar.log"), "(isovarMain)  width=640   height=480\n");
  EXPECT_GT(read_file("prtInfo.tmp").size(), 192u);

  // A second run replaces both files.
  ASSERT_EQ(lib().isovarMain(err_, dc_, "prtInfo.tmp", 300, 200), 0);
  EXPECT_EQ(read_file("isovar.log"), "(isovarMain)  width=300   height=200\n");
  std::string second = read_file("prtInfo.tmp");
  ASSERT_EQ(lib().isovarMain(err_, dc_, "fresh.tmp", 300, 200), 0);
  EXPECT_EQ(read_file("fresh.tmp"), second);
}

// Files are replaced whole: longer earlier files leave nothing behind.
TEST_F(LibraryRun, LongerEarlierFilesAreReplaced) {
  read(hill_file());
  ASSERT_EQ(lib().saveBMP(err_, dc_, "fresh.tmp", "fresh.bmp", 665, 585), 0);
  const std::string junk(3 << 20, '\x07');
  for (const char* name : {"isovar.log", "prtInfo.tmp", "hill.bmp"}) write_file(name, junk);
  ASSERT_EQ(lib().saveBMP(err_, dc_, "prtInfo.tmp", "hill.bmp", 665, 585), 0);
  EXPECT_EQ(read_file("isovar.log"), "(isovarMain)  width=665   height=585\n");
  EXPECT_TRUE(read_file("prtInfo.tmp") == read_file("fresh.tmp"));
  EXPECT_TRUE(read_file("hill.bmp") == read_file("fresh.bmp"));
}

TEST_F(LibraryRun, FailingEngineLeavesTheEarlierDisplayList) {
  read(hill_file());
  ASSERT_EQ(lib().isovarMain(err_, dc_, "prtInfo.tmp", 665, 585), 0);
  const std::string earlier = read_file("prtInfo.tmp");

  read(too_many_rings_file());
  EXPECT_EQ(lib().isovarMain(err_, dc_, "prtInfo.tmp", 665, 585), -1);
  EXPECT_EQ(std::string(err_), cp932(u8"(make_poly)ポリラインの数が多すぎる（最大：1500）"));
  EXPECT_TRUE(read_file("prtInfo.tmp") == earlier);

  // saveBMP starts with the same run: it fails before any picture is written.
  EXPECT_EQ(lib().saveBMP(err_, dc_, "prtInfo.tmp", "never.bmp", 665, 585), -1);
  EXPECT_FALSE(file_exists("never.bmp"));
}

TEST_F(LibraryRun, UncreatableDisplayList) {
  read(hill_file());
  EXPECT_EQ(lib().isovarMain(err_, dc_, "no-such-folder/prtInfo.tmp", 665, 585), -1);
  EXPECT_STREQ(err_, "cannot open print information file");
}

TEST_F(LibraryRun, PlotsWithoutARunLog) {
  read(hill_file());
  ASSERT_EQ(mkdir("locked", 0755), 0);
  ASSERT_EQ(mkdir("locked/isovar.log", 0755), 0);  // a folder where the log would go
  ASSERT_EQ(chdir("locked"), 0);
  int result = lib().isovarMain(err_, dc_, "prtInfo.tmp", 665, 585);
  std::string list = read_file("prtInfo.tmp");
  ASSERT_EQ(chdir(".."), 0);
  EXPECT_EQ(result, 0);
  EXPECT_GT(list.size(), 192u);
}

// The run log goes where setRunLog says, /dev/null included, and back to
// the current folder with NULL; a path too long for the setting is refused.
TEST_F(LibraryRun, RunLogGoesWhereSet) {
  read(hill_file());
  ASSERT_EQ(mkdir("logs", 0755), 0);
  ASSERT_EQ(lib().setRunLog("logs/run.log"), 0);
  ASSERT_EQ(lib().isovarMain(err_, dc_, "prtInfo.tmp", 320, 240), 0);
  EXPECT_EQ(read_file("logs/run.log"), "(isovarMain)  width=320   height=240\n");
  EXPECT_FALSE(file_exists("isovar.log"));
  EXPECT_EQ(lib().setRunLog(std::string(4096, 'a').c_str()), -1);
  ASSERT_EQ(lib().setRunLog("/dev/null"), 0);
  ASSERT_EQ(lib().saveBMP(err_, dc_, "prtInfo.tmp", "hill.bmp", 320, 240), 0);
  EXPECT_FALSE(file_exists("isovar.log"));
  EXPECT_EQ(read_file("logs/run.log"), "(isovarMain)  width=320   height=240\n");
  ASSERT_EQ(lib().setRunLog(nullptr), 0);
  ASSERT_EQ(lib().isovarMain(err_, dc_, "prtInfo.tmp", 300, 200), 0);
  EXPECT_EQ(read_file("isovar.log"), "(isovarMain)  width=300   height=200\n");
}

TEST_F(LibraryRun, SaveBmpWritesThePicture) {
  read(hill_file());
  ASSERT_EQ(lib().saveBMP(err_, dc_, "prtInfo.tmp", "hill.bmp", 665, 585), 0);
  std::string bmp = read_file("hill.bmp");
  EXPECT_EQ(bmp.size(), 54u + 1996u * 585u);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  // The bottom-left pixel is background grey.
  EXPECT_EQ(bmp.substr(54, 3), "\x64\x64\x64");

  EXPECT_EQ(lib().saveBMP(err_, dc_, "prtInfo.tmp", "big.bmp", 1000, 10), -1);
  EXPECT_EQ(std::string(err_), cp932(u8"画像（1000, 10）が大きすぎます。"));
  EXPECT_FALSE(file_exists("big.bmp"));
  EXPECT_EQ(lib().saveBMP(err_, dc_, "prtInfo.tmp", "no-such-folder/x.bmp", 665, 585), -1);
  EXPECT_EQ(std::string(err_), cp932(u8"出力ファイル(no-such-folder/x.bmp)をオープンできません。"));
}

TEST(LibraryPaths, MakeTempFilePath) {
  ASSERT_NE(lib().handle, nullptr) << dlerror();
  const char* saved = std::getenv("TEMP");
  std::string saved_value = saved ? saved : "";
  char err[ISOVAR_ERRMSG_SIZE] = "untouched";
  char out[512];

  setenv("TEMP", "C:\\Temp", 1);
  EXPECT_EQ(lib().makeTempFilePath(err, out), 0);
  EXPECT_STREQ(out, "C:\\Temp\\IsovarData");
  EXPECT_STREQ(err, "untouched");

  // The working buffer holds 256 bytes with the NUL: 244 bytes of TEMP fit.
  setenv("TEMP", std::string(244, 't').c_str(), 1);
  EXPECT_EQ(lib().makeTempFilePath(err, out), 0);
  EXPECT_EQ(std::string(out), std::string(244, 't') + "\\IsovarData");
  setenv("TEMP", std::string(245, 't').c_str(), 1);
  EXPECT_EQ(lib().makeTempFilePath(err, out), -1);
  EXPECT_EQ(std::string(err), cp932(u8"環境変数 TEMP が長すぎます。"));

  unsetenv("TEMP");
  EXPECT_EQ(lib().makeTempFilePath(err, out), -1);
  EXPECT_EQ(std::string(err), cp932(u8"環境変数 TEMP を取得できません。"));

  if (saved != nullptr) setenv("TEMP", saved_value.c_str(), 1);
}

TEST(LibraryPaths, CurrentDir) {
  ASSERT_NE(lib().handle, nullptr) << dlerror();
  char here[4096];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  char buf[ISOVAR_CURRENT_DIR_SIZE + 1] = {};
  if (std::strlen(here) < ISOVAR_CURRENT_DIR_SIZE) {
    EXPECT_EQ(lib().currentDir(buf), 0);
    EXPECT_STREQ(buf, here);
  }
  // A current directory longer than the buffer: still 0, and nothing written
  // past the 200 bytes.
  std::string deep = here;
  while (deep.size() <= 260) {
    deep += "/" + std::string(40, 'd');
    ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
  }
  ASSERT_EQ(chdir(deep.c_str()), 0);
  std::memset(buf, 'z', sizeof buf);
  int result = lib().currentDir(buf);
  ASSERT_EQ(chdir(here), 0);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(buf[ISOVAR_CURRENT_DIR_SIZE], 'z');
}

// Models and runs as objects give what the exported functions give, and a
// model built from arrays is the model read from the same numbers.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <string>

#include "IsovarLib.h"
#include "model_arrays.h"
#include "run_outcome.h"
#include "test_support.h"

using testing_support::TempDir;
using testing_support::cp932;
using testing_support::read_file;
using testing_support::source_path;
using testing_support::write_file;

namespace {



// The same through the exported functions on the default objects.
RunOutcome run_exported(const std::string& path, bool large, bool fill, const std::string& prefix) {
  RunOutcome out;
  char err[ISOVAR_ERRMSG_SIZE] = {};
  setLargeModels(large ? 1 : 0);
  setFillBands(fill ? 1 : 0);
  out.result = readData(path.c_str(), err);
  HDC dc = CreateSurfaceDC(kWidth, kHeight);
  if (out.result == 0) out.result = isovarMain(err, dc, (prefix + ".dl").c_str(), kWidth, kHeight);
  out.message = out.result == 0 ? "" : err;
  if (out.result == 0) {
    out.pixels = pixels_of(dc);
    out.display_list = read_file(prefix + ".dl");
    saveIsolines(err, (prefix + ".geojson").c_str());
    saveBands(err, (prefix + ".bands").c_str());
    out.isolines = read_or_empty(prefix + ".geojson");
    out.bands = read_or_empty(prefix + ".bands");
  }
  DeleteDC(dc);
  setLargeModels(0);
  setFillBands(0);
  return out;
}

}  // namespace

TEST(Objects, GiveWhatTheExportedFunctionsGiveInBothTableModes) {
  TempDir dir;
  std::vector<std::string> files;
  for (const char* name : {"terrain.isovar", "plate.isovar", "large.isovar"}) files.push_back(source_path("examples/" + std::string(name)));
  std::mt19937 rng(21);
  for (int m = 0; m < 60; ++m) {
    files.push_back(dir.file("random" + std::to_string(m) + ".isovar"));
    write_file(files.back(), random_arrays(rng, m).file());
  }
  IsovarModel* model = isovarModelNew();
  IsovarRun* run = isovarRunNew();
  int index = 0;
  for (const std::string& path : files) {
    for (bool large : {false, true}) {
      const bool fill = index++ % 2 == 1;
      const std::string what = path + (large ? " (large)" : "") + (fill ? " (filled)" : "");
      const RunOutcome exported = run_exported(path, large, fill, dir.file("a"));
      char err[ISOVAR_ERRMSG_SIZE] = {};
      RunOutcome objects;
      objects.result = isovarModelRead(model, path.c_str(), large ? 1 : 0, err);
      if (objects.result == 0) objects = run_objects(run, model, fill, dir.file("b"));
      else objects.message = err;
      EXPECT_EQ(exported.result, objects.result) << what << ": " << exported.message << " / " << objects.message;
      EXPECT_EQ(exported.message, objects.message) << what;
      EXPECT_TRUE(exported.display_list == objects.display_list) << what << ": display lists differ";
      EXPECT_TRUE(exported.pixels == objects.pixels) << what << ": pictures differ";
      EXPECT_TRUE(exported.isolines == objects.isolines) << what << ": isolines differ";
      EXPECT_TRUE(exported.bands == objects.bands) << what << ": bands differ";
    }
  }
  isovarRunFree(run);
  isovarModelFree(model);
}

TEST(Objects, AModelFromArraysIsTheModelReadFromTheSameNumbers) {
  TempDir dir;
  std::mt19937 rng(22);
  IsovarModel* read = isovarModelNew();
  IsovarModel* built = isovarModelNew();
  IsovarRun* run = isovarRunNew();
  int with_lines = 0;
  for (int m = 0; m < 60; ++m) {
    const ModelArrays arrays = random_arrays(rng, m);
    write_file(dir.file("m.isovar"), arrays.file());
    for (int32_t large : {0, 1}) {
      const std::string what = "model " + std::to_string(m) + (large ? " (large)" : "");
      char err[ISOVAR_ERRMSG_SIZE] = {};
      ASSERT_EQ(isovarModelRead(read, dir.file("m.isovar").c_str(), large, err), 0) << what << ": " << err;
      ASSERT_EQ(arrays.build(built, large, err), 0) << what << ": " << err;
      const RunOutcome from_file = run_objects(run, read, m % 2 == 1, dir.file("a"));
      const RunOutcome from_arrays = run_objects(run, built, m % 2 == 1, dir.file("b"));
      EXPECT_TRUE(from_file == from_arrays) << what;
      with_lines += from_file.lines.empty() ? 0 : 1;
    }
  }
  EXPECT_GT(with_lines, 100);  // of 120: the comparisons compared something
  isovarRunFree(run);
  isovarModelFree(built);
  isovarModelFree(read);
}

TEST(Objects, ArraysAreRefusedWithTheReadersMessagesAndTheModelKept) {
  ModelArrays good;
  good.x = {0, 1, 2};
  good.y = {0, 1};
  good.values = {0, 1, 2, 1, 2, 3};
  good.levels = {1.5};
  good.bold = {0};
  good.labelled = {1};
  struct Case {
    const char* what;
    void (*spoil)(ModelArrays&);
    int32_t large;
    const char* message;  // UTF-8
    int32_t limit;
  };
  const Case cases[] = {
      {"50 levels", [](ModelArrays& a) { for (int k = 2; k <= 50; ++k) a.levels.push_back(k), a.bold.push_back(0), a.labelled.push_back(1); }, 1,
       u8"con_input   (行:50) Isovar値が多すぎる。", 0},
      {"levels not ascending", [](ModelArrays& a) { a.levels = {2, 1}; a.bold = {0, 0}; a.labelled = {1, 1}; }, 0,
       u8"con_input  (行:2)  Isovar値が昇順でない。", 0},
      {"x not ascending", [](ModelArrays& a) { a.x = {0, 2, 1}; }, 0, u8"x_input (行:3)  ｘ座標値は昇順に与えてください。", 0},
      {"value beyond single precision", [](ModelArrays& a) { a.values[4] = 1e39; }, 0, u8"val_input (行:5)  物理量値が不正。", 0},
      {"500 columns", [](ModelArrays& a) {
         a.x.clear();
         for (int i = 0; i < 500; ++i) a.x.push_back(i);
         a.values.assign(1000, 1.0);
       }, 0, u8"(x_input) (行:500)  Ｘ方向の格子点数が多すぎます。（最大:500） ", 1},
      {"six titles", [](ModelArrays& a) { a.titles.assign(6, "t"); }, 0, u8"(title_input) (行:6)  タイトルの数が多すぎます。（最大:5） ", 0},
      {"100001 nodes", [](ModelArrays& a) {
         a.mesh = true;
         a.x.assign(100001, 0.0);
         a.y.assign(100001, 0.0);
         a.values.assign(100001, 0.0);
         a.cells = {0, 1, 2, -1};
       }, 0, u8"(node_input)（行:100001）ノード番号が不正です。（最大:100000） ", 1},
  };
  IsovarModel* model = isovarModelNew();
  IsovarRun* run = isovarRunNew();
  for (const Case& c : cases) {
    char err[ISOVAR_ERRMSG_SIZE] = {};
    ASSERT_EQ(good.build(model, 0, err), 0) << err;
    ModelArrays bad = good;
    c.spoil(bad);
    EXPECT_EQ(bad.build(model, c.large, err), -1) << c.what;
    EXPECT_EQ(std::string(err), cp932(c.message)) << c.what;
    EXPECT_EQ(isovarModelLimitReached(model), c.limit) << c.what;
    // The model is the good one still.
    ASSERT_EQ(isovarRunTrace(run, model, 0, err), 0) << c.what;
    EXPECT_EQ(isovarRunLineCount(run), 1) << c.what;
    if (c.limit) {
      EXPECT_EQ(bad.build(model, 1, err), 0) << c.what << " in large mode: " << err;
    }
  }
  // A quadrilateral of impossible shape fails the trace as in a file.
  TempDir dir;
  ModelArrays bow;
  bow.mesh = true;
  bow.x = {0, 1, 0, 1};
  bow.y = {0, 1, 1, 0};
  bow.values = {0, 1, 2, 3};
  bow.cells = {0, 1, 2, 3};
  bow.levels = {1.5};
  bow.bold = {0};
  bow.labelled = {1};
  write_file(dir.file("bow.isovar"), bow.file());
  char from_file[ISOVAR_ERRMSG_SIZE] = {}, from_arrays[ISOVAR_ERRMSG_SIZE] = {};
  ASSERT_EQ(isovarModelRead(model, dir.file("bow.isovar").c_str(), 0, from_file), 0);
  EXPECT_EQ(isovarRunTrace(run, model, 0, from_file), -1);
  ASSERT_EQ(bow.build(model, 0, from_arrays), 0);
  EXPECT_EQ(isovarRunTrace(run, model, 0, from_arrays), -1);
  EXPECT_STREQ(from_file, from_arrays);
  isovarRunFree(run);
  isovarModelFree(model);
}

// A model file declaring a 20000 x 20000 grid with four values costs what
// the four values need, read and traced, in a process of its own.
TEST(Objects, AHugeGridWithFewValuesCostsWhatItsValuesNeed) {
  TempDir dir;
  std::string text = "*model differencial\n*x\n";
  for (int i = 0; i < 20000; ++i) text += std::to_string(i) + "\n";
  text += "*end\n*y\n";
  for (int j = 0; j < 20000; ++j) text += std::to_string(j) + "\n";
  text += "*end\n*value\n1 1 0\n2 1 1\n1 2 2\n2 2 3\n*end\n*isovar\n1.5\n*end\n";
  const std::string path = dir.file("sparse.isovar");
  write_file(path, text);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    char err[ISOVAR_ERRMSG_SIZE];
    IsovarModel* model = isovarModelNew();
    IsovarRun* run = isovarRunNew();
    const bool traced = isovarModelRead(model, path.c_str(), 1, err) == 0 && isovarRunTrace(run, model, 0, err) == 0;
    _exit(traced && isovarRunLineCount(run) == 1 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  struct rusage usage {};
  getrusage(RUSAGE_CHILDREN, &usage);
#if !ISOVAR_SANITIZED
  EXPECT_LT(usage.ru_maxrss, 100 * 1024) << "kilobytes";  // the declared grid would take 2.4 GB
#endif
}

// The input file as written: titles, the output file's replacement, and
// values of every magnitude read back exactly.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include "convert_helper.h"
#include "default_objects.h"
#include "output_file.h"
#include "test_support.h"
#include "titles.h"

namespace {

using testing_support::cp932;

std::vector<std::string> names_in(const std::string& folder) {
  std::vector<std::string> names;
  DIR* d = opendir(folder.c_str());
  while (dirent* e = readdir(d))
    if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
  closedir(d);
  return names;
}

TEST(Titles, CodePage932WithinItsLimits) {
  std::string out;
  EXPECT_EQ(convert::title_to_cp932("地形図 (m)", out), "");
  EXPECT_EQ(out, cp932("地形図 (m)"));
  const std::string kanji29 = [] {
    std::string s;
    for (int k = 0; k < 29; ++k) s += "図";
    return s;
  }();
  EXPECT_EQ(convert::title_to_cp932(kanji29, out), "");
  EXPECT_EQ(out.size(), 58u);
  EXPECT_EQ(convert::title_to_cp932(kanji29 + "x", out),
            "title '" + kanji29 + "x' is 59 bytes in code page 932, more than 58");
  EXPECT_EQ(convert::title_to_cp932("snow ☃", out), "title 'snow ☃' holds '☃', which code page 932 lacks");
  EXPECT_EQ(convert::title_to_cp932("bad \xFF byte", out), "title 'bad \xFF byte' is not UTF-8 text");
  EXPECT_EQ(convert::title_to_cp932("two\nlines", out), "title 'two\nlines' holds a control character");
  EXPECT_EQ(convert::title_to_cp932("*END of it", out),
            "title '*END of it' would end the title section: it must not begin with *end");
  EXPECT_EQ(convert::title_to_cp932("*End is a title", out), "");
  EXPECT_EQ(convert::title_to_cp932("", out), "");
}

TEST(OutputFile, ReplacesTheTargetOnlyWhenCommitted) {
  testing_support::TempDir dir;
  const std::string target = dir.file("out.isovar");
  testing_support::write_file(target, "old");
  {
    convert::OutputFile f(target);
    f.write("new", 3);
    EXPECT_EQ(names_in(dir.path()).size(), 2u);  // the target and the temporary file
  }
  EXPECT_EQ(testing_support::read_file(target), "old");
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"out.isovar"});
  {
    const mode_t mask = umask(022);
    convert::OutputFile f(target);
    f.write("new", 3);
    f.commit();
    umask(mask);
  }
  EXPECT_EQ(testing_support::read_file(target), "new");
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"out.isovar"});
  struct stat st;
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

// Temporary files of the same target whose writer is gone are removed when
// the output opens; a writer's lock keeps its own, and other names stay.
TEST(OutputFile, TemporaryFilesOfInterruptedRunsAreRemoved) {
  testing_support::TempDir dir;
  const std::vector<std::string> kept = {".out.isovar.Live1234", ".out.isovar.short", ".out.isovar.Odd-char",
                                         ".other.isovar.Abcd1234", "out.isovar.Abcd1234"};
  for (const std::string& name : kept) testing_support::write_file(dir.file(name), "x");
  for (const char* stale : {".out.isovar.Abcd1234", ".out.isovar.0000zzzz"})
    testing_support::write_file(dir.file(stale), "x");
  const int live = open(dir.file(".out.isovar.Live1234").c_str(), O_RDONLY);
  ASSERT_EQ(flock(live, LOCK_EX), 0);
  {
    convert::OutputFile f(dir.file("out.isovar"));
    EXPECT_EQ(f.stale_removed(), 2);
    // Its own temporary file is locked too.
    std::vector<std::string> names = names_in(dir.path());
    for (const std::string& name : names) {
      if (std::find(kept.begin(), kept.end(), name) != kept.end()) continue;
      const int own = open(dir.file(name).c_str(), O_RDONLY);
      EXPECT_NE(flock(own, LOCK_EX | LOCK_NB), 0) << name;
      close(own);
    }
    f.commit();
  }
  close(live);
  std::vector<std::string> names = names_in(dir.path());
  std::sort(names.begin(), names.end());
  std::vector<std::string> want = kept;
  want.push_back("out.isovar");
  std::sort(want.begin(), want.end());
  EXPECT_EQ(names, want);
}

TEST(OutputFile, FailuresNameTheFileAndTheReason) {
  testing_support::TempDir dir;
  const std::string nowhere = dir.file("missing/out.isovar");
  try {
    convert::OutputFile f(nowhere);
    FAIL() << "created";
  } catch (const convert::OutputFailure& e) {
    EXPECT_EQ(std::string(e.what()), "cannot write " + nowhere + ": No such file or directory (make the folder " +
                                         dir.file("missing") + " first)");
  }
  // A folder in the target's place is never replaced.
  const std::string folder = dir.file("taken");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  try {
    convert::OutputFile f(folder);
    f.write("x", 1);
    f.commit();
    FAIL() << "replaced a folder";
  } catch (const convert::OutputFailure& e) {
    EXPECT_EQ(std::string(e.what()), "cannot write " + folder + ": Is a directory");
  }
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"taken"});
}

TEST(Writer, ValuesOfEveryMagnitudeAreReadBackExactly) {
  const std::vector<float> values = {FLT_MAX, -FLT_MAX, FLT_TRUE_MIN, -FLT_MIN,   1e-30f,
                                     3e20f,   0.1f,     -0.0f,        123456.79f, 1.0f / 3.0f};
  convert::Model model;
  model.grid.x = {-1e30f, 0.1f, 1e30f};
  model.grid.y = {-FLT_MAX, 0.0f, 1e-38f, FLT_MAX};
  model.grid.value.assign(12, NAN);
  for (size_t k = 0; k < values.size(); ++k) model.grid.value[k] = values[k];
  convert::Header header;
  header.levels = {{-1e-20f, false, true}, {1e-20f, false, true}, {1e25f, true, true}};
  ASSERT_EQ(read_back(converted(model, header)), "");
  for (size_t k = 0; k < 12; ++k) {
    const size_t i = k % 3 + 1, j = k / 3 + 1;
    if (k < values.size()) {
      EXPECT_EQ(model_store.grid_value[i][j], values[k]) << k;
    } else {
      EXPECT_EQ(model_store.grid_defined[i][j], 0) << k;
    }
  }
  EXPECT_EQ(model_store.grid_x[1], -1e30f);
  EXPECT_EQ(model_store.grid_y[4], FLT_MAX);
  EXPECT_EQ(model_store.levels[2], 1e25f);
}

}  // namespace

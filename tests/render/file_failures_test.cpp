// Every file a plot run, saveBMP and saveIsolines write, failing at each step
// of its writing: the result, the message, errno, and the earlier file's
// bytes kept. Failures are injected through the write core's seam; a run
// writes the run log first (create, write, rename: it stays open, so its
// close is not checked), then the display list (create, write, close,
// rename), then the BMP.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <string>

#include "IsovarLib.h"
#include "atomic_file.h"
#include "default_objects.h"
#include "test_support.h"

using files::Step;
using testing_support::cp932;
using testing_support::names_in;
using testing_support::read_file;
using testing_support::write_file;

namespace {

constexpr int kWidth = 300;
constexpr int kHeight = 200;

const std::string kOld = "earlier content";

struct Failure {
  Step step;
  int nth;  // counted from the start of the call
};

// Each test in a folder of its own, made the current directory.
class FileFailures : public testing::Test {
 protected:
  FileFailures() : home_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir_.path());
    dc_ = CreateSurfaceDC(kWidth, kHeight);
    const std::string model = testing_support::source_path("examples/plate.isovar");
    EXPECT_EQ(readData(model.c_str(), err_), 0);
  }
  ~FileFailures() override {
    DeleteDC(dc_);
    std::filesystem::current_path(home_);
  }

  // Fills the folder with earlier files of every output.
  void earlier_files() {
    for (const char* name : {"isovar.log", "prtInfo.tmp", "plot.bmp", "plot.geojson"}) write_file(name, kOld);
  }
  std::string picture() const {
    int w = 0, h = 0;
    const uint32_t* bits = GetSurfaceBits(dc_, &w, &h);
    return std::string(reinterpret_cast<const char*>(bits), sizeof *bits * w * h);
  }

  std::filesystem::path home_;
  testing_support::TempDir dir_;
  HDC dc_ = nullptr;
  char err_[ISOVAR_ERRMSG_SIZE] = {};
};

const std::set<std::string> kEarlierNames = {"isovar.log", "plot.bmp", "plot.geojson", "prtInfo.tmp"};

TEST_F(FileFailures, DisplayListThatCannotBeWrittenFailsTheRunAndKeepsTheEarlierOne) {
  ASSERT_EQ(isovarMain(err_, dc_, "good.tmp", kWidth, kHeight), 0);
  const std::string drawn = picture();
  for (Failure f : {Failure{Step::kCreate, 2}, {Step::kWrite, 2}, {Step::kClose, 1}, {Step::kRename, 2}}) {
    SCOPED_TRACE(static_cast<int>(f.step));
    earlier_files();
    files::inject_failure(f.step, f.nth, ENOSPC);
    errno = 0;
    EXPECT_EQ(isovarMain(err_, dc_, "prtInfo.tmp", kWidth, kHeight), -1);
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(std::string(err_), f.step == Step::kCreate
                                     ? std::string("cannot open print information file")
                                     : cp932(u8"印刷情報ファイル(prtInfo.tmp)に書き込めません。"));
    EXPECT_TRUE(read_file("prtInfo.tmp") == kOld);
    // The picture is drawn all the same; the log of the run is written.
    EXPECT_TRUE(picture() == drawn);
    EXPECT_EQ(read_file("isovar.log"), "(isovarMain)  width=300   height=200\n");
    EXPECT_EQ(names_in("."), (std::set<std::string>{"good.tmp", "isovar.log", "plot.bmp", "plot.geojson", "prtInfo.tmp"}));
  }
}

TEST_F(FileFailures, RunLogThatCannotBeWrittenIsSkippedWhole) {
  for (Failure f : {Failure{Step::kCreate, 1}, {Step::kWrite, 1}, {Step::kRename, 1}}) {
    SCOPED_TRACE(static_cast<int>(f.step));
    earlier_files();
    files::inject_failure(f.step, f.nth, EIO);
    EXPECT_EQ(isovarMain(err_, dc_, "prtInfo.tmp", kWidth, kHeight), 0);
    EXPECT_TRUE(read_file("isovar.log") == kOld);
    EXPECT_EQ(run_context.log_file, nullptr);  // nothing for later reads to append to
    EXPECT_GT(read_file("prtInfo.tmp").size(), kOld.size());
    EXPECT_EQ(names_in("."), kEarlierNames);
  }
}

TEST_F(FileFailures, BmpThatCannotBeWrittenKeepsTheEarlierOne) {
  for (Failure f : {Failure{Step::kCreate, 3}, {Step::kWrite, 3}, {Step::kClose, 2}, {Step::kRename, 3}}) {
    SCOPED_TRACE(static_cast<int>(f.step));
    earlier_files();
    files::inject_failure(f.step, f.nth, EDQUOT);
    errno = 0;
    EXPECT_EQ(saveBMP(err_, dc_, "prtInfo.tmp", "plot.bmp", kWidth, kHeight), -1);
    EXPECT_EQ(errno, EDQUOT);
    EXPECT_EQ(std::string(err_), cp932(f.step == Step::kCreate ? u8"出力ファイル(plot.bmp)をオープンできません。"
                                                                 : u8"出力ファイル(plot.bmp)に書き込めません。"));
    EXPECT_TRUE(read_file("plot.bmp") == kOld);
    EXPECT_NE(read_file("prtInfo.tmp"), kOld);  // the run before it went well
    EXPECT_EQ(names_in("."), kEarlierNames);
  }
  // Failures that are no file's leave errno 0.
  errno = EIO;
  EXPECT_EQ(saveBMP(err_, dc_, "prtInfo.tmp", "plot.bmp", 1000, 10), -1);
  EXPECT_EQ(errno, 0);
}

TEST_F(FileFailures, IsolinesThatCannotBeWrittenKeepTheEarlierFile) {
  for (Step step : {Step::kCreate, Step::kWrite, Step::kClose, Step::kRename}) {
    SCOPED_TRACE(static_cast<int>(step));
    earlier_files();
    files::inject_failure(step, 1, ENOSPC);
    errno = 0;
    EXPECT_EQ(saveIsolines(err_, "plot.geojson"), -1);
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_STREQ(err_, step == Step::kCreate ? "cannot open isoline file" : "cannot write isoline file");
    EXPECT_TRUE(read_file("plot.geojson") == kOld);
    EXPECT_EQ(names_in("."), kEarlierNames);
  }
}

}  // namespace

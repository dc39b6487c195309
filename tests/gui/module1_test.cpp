// The commands' state machine, with a library and a user that the tests
// script: which command is allowed when, what reaches the library, what the
// user is shown.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <cstring>
#include <memory>
#include <set>

#include "gui_fakes.h"
#include "module1.h"

using testing_support::cp932;

namespace {

const QString kBmpFirst = QString::fromUtf8(u8"最初にIsovar図を表示してください。");
const QString kPrintFirst = QString::fromUtf8(u8"最初に描画してください");
const QString kPrinterCancelText = QStringLiteral("Printer cancel");

class Module1Test : public testing::Test {
 protected:
  Module1Test() : module(fake_lib::binding(), dialogs) {
    fake_lib::reset();
    module.Form_Load();
  }

  // Lets queued message boxes come up.
  static void settle() { QCoreApplication::processEvents(); }

  // Writes an input file in the test's folder and returns its path.
  QString input(const std::string& name) {
    testing_support::write_file(dir.dir().file(name), "*model fem\n");
    return dir.path(name);
  }

  // Opens a file through the open dialog.
  void open(const QString& path) {
    dialogs.openAnswers.push_back(path);
    module.FileCommand_Click();
    settle();
  }

  InTempDir dir;
  FakeDialogs dialogs;
  Module1 module;
};

TEST_F(Module1Test, StartUpCallsTheLibraryOnceAndLeavesEverythingRefused) {
  EXPECT_EQ(fake_lib::calls.currentDir, 1);
  // The display list and the run log keep their names, in a folder of the
  // window's own that only its owner may enter.
  const QFileInfo folder(QString::fromStdString(module.ownFolder()));
  EXPECT_TRUE(folder.fileName().startsWith(QStringLiteral("isovar-window-"))) << module.ownFolder();
  struct stat st;
  ASSERT_EQ(stat(module.ownFolder().c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  EXPECT_EQ(module.prtInfoPath.toStdString(), module.ownFolder() + "/prtInfo.tmp");
  EXPECT_EQ(module.runLogPath.toStdString(), module.ownFolder() + "/isovar.log");
  EXPECT_FALSE(module.dataLoaded);
  EXPECT_FALSE(module.plotDrawn);

  // Before any data a paint draws nothing and calls nothing.
  EXPECT_FALSE(module.Picture1_Paint(QSize(665, 585)));
  EXPECT_EQ(fake_lib::calls.plots, 0);

  module.BMPCommand_Click();
  module.PrtCommand_Click();
  EXPECT_EQ(dialogs.messages, QStringList({kBmpFirst, kPrintFirst}));
  EXPECT_EQ(dialogs.dialogsShown(), 0);
  EXPECT_TRUE(fake_lib::calls.bmpPaths.empty());
}

TEST_F(Module1Test, OpeningAGoodFileReadsPlotsAndAllowsBmpAndPrint) {
  const QString path = input("a.iso");
  open(path);

  ASSERT_EQ(fake_lib::calls.reads, std::vector<std::string>{QFile::encodeName(path).toStdString()});
  EXPECT_EQ(module.inputPath, path);
  // The plot ran at once, on the picture's size, with the display-list name.
  EXPECT_EQ(fake_lib::calls.plots, 1);
  EXPECT_EQ(fake_lib::calls.printInfoPath, module.prtInfoPath.toStdString());
  EXPECT_EQ(fake_lib::calls.width, 665);
  EXPECT_EQ(fake_lib::calls.height, 585);
  EXPECT_TRUE(module.dataLoaded);
  EXPECT_TRUE(module.plotDrawn);
  EXPECT_TRUE(dialogs.messages.isEmpty());
  // The folder of the chosen file is now the current directory.
  EXPECT_EQ(QDir::currentPath(), QFileInfo(dir.path()).canonicalFilePath());

  module.BMPCommand_Click();
  EXPECT_EQ(dialogs.saves.size(), 1u);
  dialogs.onPrintSetup = [](QPrinter&) { return false; };
  module.PrtCommand_Click();
  EXPECT_EQ(dialogs.printSetups, 1);
}

TEST_F(Module1Test, RejectedFileShowsTheLibraryTextAndKeepsTheFlags) {
  const std::string text = u8"入力ファイル(x.iso)をオープンできません。";
  fake_lib::script.readResult = -1;
  fake_lib::script.readMessage = cp932(text);

  // Before any plot: still nothing allowed, and no plot run.
  open(input("bad.iso"));
  EXPECT_EQ(dialogs.messages, QStringList{QString::fromStdString(text)});
  EXPECT_FALSE(module.dataLoaded);
  EXPECT_FALSE(module.plotDrawn);
  EXPECT_EQ(fake_lib::calls.plots, 0);

  // After a plot: BMP and print stay allowed, and the old model is still drawn.
  fake_lib::script.readResult = 0;
  open(input("good.iso"));
  fake_lib::script.readResult = -1;
  open(input("bad.iso"));
  EXPECT_TRUE(module.dataLoaded);
  EXPECT_TRUE(module.plotDrawn);
  EXPECT_EQ(fake_lib::calls.plots, 1);
  EXPECT_TRUE(module.Picture1_Paint(QSize(665, 585)));
}

TEST_F(Module1Test, ModelPastTheDefaultTablesGetsTheLargeModeHintFromALibraryWithoutLargeMode) {
  Module1 old(fake_lib::binding(true, false), dialogs);
  old.Form_Load();
  const std::string text = u8"(x_input) (行:505)  Ｘ方向の格子点数が多すぎます。（最大:500） ";
  fake_lib::script.readResult = -1;
  fake_lib::script.readMessage = cp932(text);
  fake_lib::script.limitReached = 1;
  old.OpenInput(input("wide.iso"));
  fake_lib::script.limitReached = 0;
  old.OpenInput(input("wide.iso"));
  settle();
  EXPECT_EQ(dialogs.messages, (QStringList{QString::fromStdString(text) + "\n" + QString::fromUtf8(kLargeModelHint),
                                           QString::fromStdString(text)}));
  EXPECT_EQ(fake_lib::calls.reads.size(), 2u);
  EXPECT_FALSE(old.largeModels);
}

// A model past the default tables, stopped while read or while plotted: the
// window goes to large mode, reads the model again and plots it, and says so
// once; large mode stays for the next models.
TEST_F(Module1Test, ModelPastTheDefaultTablesIsReadAgainInLargeModeAndPlotted) {
  struct Case {
    const char* name;
    bool readNeedsLarge, plotNeedsLarge;
    int plots;  // the plot runs of the first open
  } cases[] = {{"stopped by the read", true, false, 1}, {"stopped by the plot", false, true, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake_lib::reset();
    dialogs.messages.clear();
    Module1 m(fake_lib::binding(), dialogs);
    m.Form_Load();
    int changes = 0;
    m.largeModelsChanged = [&changes] { ++changes; };
    fake_lib::script.readNeedsLarge = c.readNeedsLarge;
    fake_lib::script.plotNeedsLarge = c.plotNeedsLarge;
    const QString big = input("big.isovar");
    m.OpenInput(big);
    settle();
    const std::string read = QFile::encodeName(big).toStdString();
    EXPECT_EQ(fake_lib::calls.reads, (std::vector<std::string>{read, read}));
    EXPECT_EQ(fake_lib::calls.readsLarge, (std::vector<bool>{false, true}));
    EXPECT_EQ(fake_lib::calls.largeSettings, std::vector<int32_t>{1});
    EXPECT_EQ(fake_lib::calls.plots, c.plots);
    EXPECT_TRUE(m.largeModels);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(m.plotDrawn);
    EXPECT_EQ(m.picture().pixel(10, 10) & 0xFFFFFFu, fake_lib::kFakePlotColour);
    EXPECT_EQ(dialogs.messages, QStringList{QString::fromUtf8(kLargeModelsUsed)});

    // The next large model: one read, one plot, no word.
    m.OpenInput(input("big2.isovar"));
    settle();
    EXPECT_EQ(fake_lib::calls.reads.size(), 3u);
    EXPECT_EQ(fake_lib::calls.plots, c.plots + 1);
    EXPECT_EQ(dialogs.messages.size(), 1);
  }
}

TEST_F(Module1Test, LargeModeSwitchedByHandReadsTheModelAgain) {
  int changes = 0;
  module.largeModelsChanged = [&changes] { ++changes; };
  // Before any model: only the setting.
  module.setLargeModels(true);
  EXPECT_EQ(fake_lib::calls.largeSettings, std::vector<int32_t>{1});
  EXPECT_TRUE(fake_lib::calls.reads.empty());
  const QString small = input("small.isovar");
  open(small);
  module.setLargeModels(false);
  EXPECT_EQ(fake_lib::calls.readsLarge, (std::vector<bool>{true, false}));
  EXPECT_EQ(fake_lib::calls.plots, 2);
  EXPECT_TRUE(module.plotDrawn);

  // A model that needs large mode: switched off by hand, it goes back on,
  // with the notice, and stays plotted.
  module.setLargeModels(true);
  fake_lib::script.plotNeedsLarge = true;
  open(input("big.isovar"));
  dialogs.messages.clear();
  module.setLargeModels(false);
  settle();
  EXPECT_TRUE(module.largeModels);
  EXPECT_TRUE(module.plotDrawn);
  EXPECT_EQ(dialogs.messages, QStringList{QString::fromUtf8(kLargeModelsUsed)});
  EXPECT_EQ(fake_lib::calls.largeSettings, (std::vector<int32_t>{1, 0, 1, 0, 1}));
  EXPECT_EQ(changes, 5);
}

// Opening a model that reads but does not plot once left a blank picture:
// the model plotted before is read again and stays on the screen, printable.
TEST_F(Module1Test, ModelThatDoesNotPlotLeavesThePreviousPicture) {
  const std::string text = u8"要素（1）の節点（1,2,3,4）の形状が不正です。";
  fake_lib::script.plotFailsFor = "bowtie";
  fake_lib::script.plotMessage = cp932(text);
  const QString good = input("good.isovar");
  open(good);
  const QString bad = input("bowtie.isovar");
  open(bad);
  const std::string goodRead = QFile::encodeName(good).toStdString();
  EXPECT_EQ(fake_lib::calls.reads,
            (std::vector<std::string>{goodRead, QFile::encodeName(bad).toStdString(), goodRead}));
  EXPECT_EQ(dialogs.messages, QStringList{QString::fromStdString(text)});
  EXPECT_TRUE(module.plotDrawn);
  EXPECT_EQ(module.inputPath, bad);
  EXPECT_EQ(testing_support::read_file(module.prtInfoPath.toStdString()), goodRead);
  EXPECT_EQ(module.picture().pixel(10, 10) & 0xFFFFFFu, fake_lib::kFakePlotColour);
  // Later repaints plot the good model without a word.
  EXPECT_TRUE(module.Picture1_Paint(QSize(665, 585)));
  settle();
  EXPECT_EQ(dialogs.messages.size(), 1);
}

// Two windows: each plot run writes its display list and run log in its own
// window's folder, and a window's folder goes with the window.
TEST_F(Module1Test, EachWindowHasItsOwnDisplayListAndRunLog) {
  auto other = std::make_unique<Module1>(fake_lib::binding(), dialogs);
  other->Form_Load();
  const std::string otherFolder = other->ownFolder();
  ASSERT_NE(otherFolder, module.ownFolder());
  const QString a = input("a.isovar"), b = input("b.isovar");
  open(a);
  other->OpenInput(b);
  EXPECT_EQ(testing_support::read_file(module.prtInfoPath.toStdString()), QFile::encodeName(a).toStdString());
  EXPECT_EQ(testing_support::read_file(other->prtInfoPath.toStdString()), QFile::encodeName(b).toStdString());
  // A run after the other window's: the run log goes to this window's folder.
  module.Picture1_Paint(QSize(300, 200));
  EXPECT_EQ(testing_support::read_file(module.runLogPath.toStdString()), "run 300\n");
  EXPECT_EQ(testing_support::read_file(other->runLogPath.toStdString()), "run 665\n");
  EXPECT_EQ(testing_support::read_file(other->prtInfoPath.toStdString()), QFile::encodeName(b).toStdString());
  // Nothing beside the models.
  EXPECT_EQ(testing_support::names_in(dir.path().toStdString()), (std::set<std::string>{"a.isovar", "b.isovar"}));

  other.reset();
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(otherFolder)));
  EXPECT_TRUE(QFileInfo::exists(module.prtInfoPath));
}

TEST_F(Module1Test, FailedPlotRefusesBmpAndPrintAndIsShownOnceAcrossRepaints) {
  const std::string text = u8"(make_poly)ポリラインの数が多すぎる（最大：1500）";
  fake_lib::script.plotResult = -1;
  fake_lib::script.plotMessage = cp932(text);

  open(input("a.iso"));
  EXPECT_TRUE(module.dataLoaded);
  EXPECT_FALSE(module.plotDrawn);
  // The message comes after the paint, not from inside it.
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(module.Picture1_Paint(QSize(665, 585)));
  EXPECT_EQ(fake_lib::calls.plots, 5);
  settle();
  EXPECT_EQ(dialogs.messages, QStringList{QString::fromStdString(text)});

  module.BMPCommand_Click();
  module.PrtCommand_Click();
  EXPECT_EQ(dialogs.messages.mid(1), QStringList({kBmpFirst, kPrintFirst}));
  EXPECT_TRUE(dialogs.saves.empty());

  // The next successful read reports a failing plot again, once.
  dialogs.messages.clear();
  open(input("b.iso"));
  module.Picture1_Paint(QSize(665, 585));
  settle();
  EXPECT_EQ(dialogs.messages.size(), 1);

  // A plot that works again clears the refusal; a later failure is news,
  // and refuses again: the display list is no longer the picture's.
  fake_lib::script.plotResult = 0;
  EXPECT_TRUE(module.Picture1_Paint(QSize(665, 585)));
  EXPECT_TRUE(module.plotDrawn);
  fake_lib::script.plotResult = -1;
  EXPECT_FALSE(module.Picture1_Paint(QSize(665, 585)));
  EXPECT_FALSE(module.plotDrawn);
  settle();
  EXPECT_EQ(dialogs.messages.size(), 2);
  module.PrtCommand_Click();
  EXPECT_EQ(dialogs.messages.last(), kPrintFirst);
  EXPECT_EQ(dialogs.printSetups, 0);
}

TEST_F(Module1Test, SurfaceIsReusedWhileThePictureKeepsItsSize) {
  open(input("a.iso"));
  module.Picture1_Paint(QSize(665, 585));
  module.Picture1_Paint(QSize(300, 200));
  ASSERT_EQ(fake_lib::calls.plotHdcs.size(), 3u);
  EXPECT_EQ(fake_lib::calls.plotHdcs[0], fake_lib::calls.plotHdcs[1]);
  EXPECT_EQ(fake_lib::calls.width, 300);
  EXPECT_EQ(fake_lib::calls.height, 200);
  EXPECT_EQ(module.picture().size(), QSize(300, 200));
  EXPECT_EQ(module.picture().pixel(150, 100) & 0xFFFFFFu, fake_lib::kFakePlotColour);
}

TEST_F(Module1Test, CancellingAnyDialogChangesNothing) {
  const QString first = input("a.iso");
  open(first);
  const QString before = QDir::currentPath();

  module.FileCommand_Click();  // cancelled
  module.BMPCommand_Click();   // cancelled
  dialogs.onPrintSetup = [](QPrinter&) { return false; };
  module.PrtCommand_Click();   // cancelled

  EXPECT_EQ(fake_lib::calls.reads.size(), 1u);
  EXPECT_EQ(fake_lib::calls.plots, 1);
  EXPECT_TRUE(fake_lib::calls.bmpPaths.empty());
  EXPECT_EQ(module.inputPath, first);
  EXPECT_EQ(QDir::currentPath(), before);
  EXPECT_EQ(dialogs.messages, QStringList{kPrinterCancelText});
  // The next dialog still starts from the last chosen name.
  EXPECT_EQ(dialogs.opens.back().fileName, first);
}

TEST_F(Module1Test, BmpSaveAndOpenEachShowTheirFileTypesAndTheLastName) {
  const QString first = input("a.iso");
  open(first);
  // Isovar files first, then all files.
  const QStringList openFilters{QStringLiteral("Isovar files (*.isovar)"), QString::fromUtf8(u8"すべて (*)")};
  EXPECT_EQ(dialogs.opens.back().nameFilters, openFilters);

  QDir(dir.path()).mkdir("pictures");
  const QString bmp = dir.path("pictures/plot.bmp");
  dialogs.saveAnswers.push_back(bmp);
  module.BMPCommand_Click();

  ASSERT_EQ(dialogs.saves.size(), 1u);
  const QStringList bmpFilters{QString::fromUtf8(u8"BMP(*.BMP) (*.bmp)"), QString::fromUtf8(u8"すべて (*)")};
  EXPECT_EQ(dialogs.saves[0].nameFilters, bmpFilters);
  EXPECT_EQ(dialogs.saves[0].fileName, input("a.bmp"));  // the input's name with .bmp, never the input
  ASSERT_EQ(fake_lib::calls.bmpPaths, std::vector<std::string>{QFile::encodeName(bmp).toStdString()});
  EXPECT_EQ(fake_lib::calls.printInfoPath, module.prtInfoPath.toStdString());
  EXPECT_TRUE(dialogs.messages.isEmpty());
  EXPECT_TRUE(QFile::exists(bmp));
  EXPECT_EQ(QDir::currentPath(), QFileInfo(dir.path("pictures")).canonicalFilePath());

  module.FileCommand_Click();
  EXPECT_EQ(dialogs.opens.back().nameFilters, openFilters);
  EXPECT_EQ(dialogs.opens.back().fileName, bmp);
}

// The input "g2.iso" once went unasked into the save dialog and was replaced
// by a picture when the user pressed Enter.
TEST_F(Module1Test, BmpSaveNeverReplacesAFileUnasked) {
  const QString data = input("g2.iso");
  open(data);
  // The dialog proposes g2.bmp; a typed name without extension gets .bmp
  // while the BMP filter is chosen, and none with "all files".
  dialogs.saveAnswers.push_back(dir.path("picture"));
  module.BMPCommand_Click();
  EXPECT_EQ(dialogs.saves.back().fileName, dir.path("g2.bmp"));
  EXPECT_TRUE(QFile::exists(dir.path("picture.bmp")));
  dialogs.saveFilterAnswers.push_back(1);
  dialogs.saveAnswers.push_back(dir.path("raw"));
  module.BMPCommand_Click();
  EXPECT_TRUE(QFile::exists(dir.path("raw")));
  EXPECT_TRUE(dialogs.questions.isEmpty());

  // Choosing the input itself: asked, answered No, the file keeps its bytes.
  dialogs.saveFilterAnswers.push_back(1);
  dialogs.saveAnswers.push_back(data);
  dialogs.questionAnswers.push_back(false);
  const size_t saved = fake_lib::calls.bmpPaths.size();
  module.BMPCommand_Click();
  EXPECT_EQ(dialogs.questions.size(), 1);
  EXPECT_TRUE(dialogs.questions.back().contains(QStringLiteral("g2.iso")));
  EXPECT_EQ(fake_lib::calls.bmpPaths.size(), saved);
  EXPECT_EQ(testing_support::read_file(QFile::encodeName(data).toStdString()), "*model fem\n");
  // Answered Yes, an existing picture is replaced.
  dialogs.saveAnswers.push_back(dir.path("picture.bmp"));
  dialogs.questionAnswers.push_back(true);
  module.BMPCommand_Click();
  EXPECT_EQ(dialogs.questions.size(), 2);
  EXPECT_EQ(fake_lib::calls.bmpPaths.size(), saved + 1);
}

TEST_F(Module1Test, BmpFailureShowsTheLibraryTextAndKeepsTheState) {
  open(input("a.iso"));
  const std::string text = u8"BMPファイルを作成できません。";
  fake_lib::script.bmpResult = -1;
  fake_lib::script.bmpMessage = cp932(text);
  dialogs.saveAnswers.push_back(dir.path("x.bmp"));
  module.BMPCommand_Click();
  EXPECT_EQ(dialogs.messages, QStringList{QString::fromStdString(text)});
  EXPECT_TRUE(module.plotDrawn);
}

TEST_F(Module1Test, RelativePathIsMadeAbsoluteBeforeTheFolderChanges) {
  QDir::setCurrent(dir.path());
  QDir(dir.path()).mkdir("data");
  testing_support::write_file(dir.dir().file("data/m.iso"), "");
  open(QStringLiteral("data/m.iso"));
  ASSERT_EQ(fake_lib::calls.reads.size(), 1u);
  const QFileInfo read(QString::fromStdString(fake_lib::calls.reads[0]));
  EXPECT_TRUE(read.isAbsolute());
  EXPECT_EQ(read.canonicalFilePath(), QFileInfo(dir.path("data/m.iso")).canonicalFilePath());
}

TEST_F(Module1Test, OpenInputActsAsTheOpenDialog) {
  const QString path = input("cmdline.iso");
  module.OpenInput(path);
  EXPECT_EQ(dialogs.dialogsShown(), 0);
  EXPECT_TRUE(module.plotDrawn);
  EXPECT_EQ(module.fileOpenDlg.fileName, path);
  EXPECT_EQ(QDir::currentPath(), QFileInfo(dir.path()).canonicalFilePath());
  module.FileCommand_Click();
  EXPECT_EQ(dialogs.opens.back().fileName, path);
}

TEST_F(Module1Test, ErrMsgIsReadOnlyUpToItsBufferEvenWithoutNul) {
  // A library that fills all 256 bytes without a NUL must not make the
  // window read past its buffer.
  static int32_t (*const overfill)(const char*, char*) = [](const char*, char* errMsg) -> int32_t {
    std::memset(errMsg, 'x', ISOVAR_ERRMSG_SIZE);
    return -1;
  };
  IsovarLibBinding lib = fake_lib::binding();
  lib.readData = overfill;
  Module1 m(lib, dialogs);
  m.Form_Load();
  dialogs.openAnswers.push_back(input("a.iso"));
  m.FileCommand_Click();
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0], QString(ISOVAR_ERRMSG_SIZE, QLatin1Char('x')));
}

}  // namespace

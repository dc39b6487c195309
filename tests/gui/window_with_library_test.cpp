// The window with the real library: files on disk, the plot in the picture
// box, BMP files and printed PDF pages.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>
#include <QTimer>
#include <csignal>
#include <cmath>
#include <cstring>
#include <set>
#include <utility>

#include "form1.h"
#include "gui_fakes.h"
#include "module2.h"
#include "qt_dialogs.h"

using testing_support::cp932;
using testing_support::file_exists;
using testing_support::read_file;
using testing_support::write_file;

namespace {

// A smooth field with peaks and a valley on an irregular 30 x 24 grid, with a
// Japanese title, bold and unlabelled levels.
std::string grid_model() {
  std::string text = "*model differencial\n*title\n" + cp932(u8"温度分布（試験）") + "\nplate A\n*end\n*x\n";
  for (int i = 0; i < 30; ++i) text += std::to_string(i + 0.3 * std::sin(i)) + "\n";
  text += "*end\n*y\n";
  for (int j = 0; j < 24; ++j) text += std::to_string(j + 0.3 * std::sin(1.7 * j)) + "\n";
  text += "*end\n*value\n";
  for (int i = 1; i <= 30; ++i)
    for (int j = 1; j <= 24; ++j) {
      double v = 10 * std::exp(-((i - 9) * (i - 9) + (j - 8) * (j - 8)) / 30.0) -
                 8 * std::exp(-((i - 21) * (i - 21) + (j - 15) * (j - 15)) / 40.0);
      text += std::to_string(i) + " " + std::to_string(j) + " " + std::to_string(v) + "\n";
    }
  text += "*end\n*isovar\n-6\n-3 bold\n-1 default no\n1\n3 bold\n6\n9 default no\n*end\n";
  return text;
}

// A finite-element model the engine refuses: its quadrilateral's edges cross.
const char kBowTie[] =
    "*model fem\n*node\n1 0 0\n2 1 1\n3 1 0\n4 0 1\n*end\n*element\n1 1 2 3 4\n*end\n"
    "*node_data\n1 0\n2 1\n3 2\n4 3\n*end\n*isovar\n1.5\n*end\n";

const QString kBmpFirst = QString::fromUtf8(u8"最初にIsovar図を表示してください。");

IsovarLibBinding realLibrary() {
  IsovarLibBinding lib;
  std::string error;
  if (!load_isovar_lib(executable_dir(), &lib, &error)) ADD_FAILURE() << error;
  return lib;
}

QImage rgb32(const QImage& image) { return image.convertToFormat(QImage::Format_RGB32); }

// Limits the size of the files this process writes while it lives: a write
// past the limit fails with EFBIG (the signal it would raise is ignored).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) : oldHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    const rlimit limit{bytes, saved_.rlim_max};
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit saved_;
  void (*oldHandler_)(int);
};

class WindowWithLibraryTest : public testing::Test {
 protected:
  WindowWithLibraryTest() : lib(realLibrary()), form(lib, &dialogs) { form.show(); }

  QString model(const std::string& name, const std::string& text) {
    write_file(dir.dir().file(name), text);
    return dir.path(name);
  }
  void open(const QString& path) {
    dialogs.openAnswers.push_back(path);
    form.FileCommand->click();
    QApplication::processEvents();
  }
  Module1& state() { return form.module1(); }

  InTempDir dir;
  FakeDialogs dialogs;
  IsovarLibBinding lib;
  Form1 form;
};

TEST_F(WindowWithLibraryTest, GoodFileIsPlottedAsTheLibraryDrawsItWithItsFilesInTheWindowsFolder) {
  ASSERT_TRUE(QDir(dir.path()).mkdir("models"));
  const QString path = model("models/grid.iso", grid_model());
  open(path);
  ASSERT_TRUE(dialogs.messages.isEmpty()) << str(dialogs.messages.join("\n"));
  EXPECT_TRUE(state().dataLoaded);
  EXPECT_TRUE(state().plotDrawn);
  EXPECT_EQ(testing_support::names_in(state().ownFolder()), (std::set<std::string>{"prtInfo.tmp", "isovar.log"}));
  EXPECT_EQ(testing_support::names_in(dir.dir().file("models")), std::set<std::string>{"grid.iso"});
  EXPECT_EQ(read_file(state().runLogPath.toStdString()), "(isovarMain)  width=665   height=585\n");

  const QImage shown = rgb32(form.Picture1->grab().toImage());

  // The same plot made directly through the library on a surface of its own.
  char errMsg[ISOVAR_ERRMSG_SIZE + 1] = {};
  ASSERT_EQ(lib.readData(QFile::encodeName(path).constData(), errMsg), 0) << errMsg;
  PlotSurface surface;
  HDC hdc = surface.dc(665, 585);
  ASSERT_NE(hdc, nullptr);
  const std::string direct = dir.dir().file("direct.tmp");
  ASSERT_EQ(lib.isovarMain(errMsg, hdc, direct.c_str(), 665, 585), 0) << errMsg;
  const QImage expected = rgb32(surface.image());

  ASSERT_EQ(shown.size(), expected.size());
  EXPECT_TRUE(shown == expected);
  // Not a blank picture: the plot has more than the background.
  int other = 0;
  for (int y = 0; y < expected.height(); ++y)
    for (int x = 0; x < expected.width(); ++x) other += expected.pixel(x, y) != PlotSurface::background().rgb();
  EXPECT_GT(other, 1000);
  // The window's display list is that of the same picture.
  EXPECT_EQ(read_file(state().prtInfoPath.toStdString()), read_file(direct));
}

TEST_F(WindowWithLibraryTest, RejectedFileKeepsAnEarlierPlotPrintable) {
  open(model("grid.iso", grid_model()));
  ASSERT_TRUE(state().plotDrawn);
  open(model("empty.iso", ""));
  EXPECT_EQ(dialogs.messages,
            QStringList{QString::fromUtf8(u8"(ReadIsovarFile) 　差分モデルのＸ座標データが与えられていません。 ")});
  EXPECT_TRUE(state().plotDrawn);
  EXPECT_EQ(state().inputPath, dir.path("empty.iso"));
}

// A model the engine refuses is reported once. Opened after another, it
// leaves that one's picture on the screen and printable (it used to leave a
// blank picture); opened first, BMP and print stay refused.
TEST_F(WindowWithLibraryTest, ModelTheEngineRefusesIsReportedOnceAndLeavesThePreviousPicture) {
  const QString refused = QString::fromUtf8(u8"要素（1）の節点（1,2,3,4）の形状が不正です。");
  open(model("bowtie.iso", kBowTie));
  for (int i = 0; i < 3; ++i) form.Picture1->grab();
  QApplication::processEvents();
  EXPECT_EQ(dialogs.messages, QStringList{refused});
  EXPECT_TRUE(state().dataLoaded);
  EXPECT_FALSE(state().plotDrawn);
  form.BMPCommand->click();
  form.PrtCommand->click();
  EXPECT_EQ(dialogs.messages.mid(1), QStringList({kBmpFirst, QString::fromUtf8(u8"最初に描画してください")}));
  EXPECT_EQ(dialogs.dialogsShown(), 1);  // the open dialog only

  dialogs.messages.clear();
  open(model("grid.iso", grid_model()));
  ASSERT_TRUE(state().plotDrawn);
  const QImage before = rgb32(form.Picture1->grab().toImage());
  const std::string list = read_file(state().prtInfoPath.toStdString());
  open(model("bowtie.iso", kBowTie));
  for (int i = 0; i < 3; ++i) form.Picture1->grab();
  QApplication::processEvents();
  EXPECT_EQ(dialogs.messages, QStringList{refused});
  EXPECT_TRUE(state().plotDrawn);
  EXPECT_TRUE(rgb32(form.Picture1->grab().toImage()) == before);
  EXPECT_EQ(read_file(state().prtInfoPath.toStdString()), list);
  const QString pdf = dir.path("kept.pdf");
  dialogs.onPrintSetup = [&](QPrinter& printer) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    return true;
  };
  form.PrtCommand->click();
  EXPECT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(read_file(dir.dir().file("kept.pdf")).substr(0, 5), "%PDF-");
}

TEST_F(WindowWithLibraryTest, BmpSaveWritesThePicture) {
  open(model("grid.iso", grid_model()));
  const QString bmp = dir.path("plot.bmp");
  dialogs.saveAnswers.push_back(bmp);
  form.BMPCommand->click();
  ASSERT_TRUE(dialogs.messages.isEmpty()) << str(dialogs.messages.join("\n"));

  const std::string bytes = read_file(dir.dir().file("plot.bmp"));
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  const size_t rowBytes = (665 * 3 + 3) / 4 * 4;
  EXPECT_EQ(bytes.size(), 54 + rowBytes * 585);
  // The BMP is the picture on the screen.
  const QImage saved = rgb32(QImage(bmp));
  EXPECT_TRUE(saved == rgb32(form.Picture1->grab().toImage()));

  // Cancelling the next save writes nothing.
  QFile::remove(bmp);
  form.BMPCommand->click();
  EXPECT_FALSE(QFile::exists(bmp));
}

TEST_F(WindowWithLibraryTest, FillItemFillsTheBandsOfPictureBmpAndPrintout) {
  ASSERT_NE(lib.setFillBands, nullptr) << "the library's setFillBands is bound";
  open(model("grid.iso", grid_model()));
  const QImage plain = rgb32(form.Picture1->grab().toImage());
  form.Picture1->FillItem->setChecked(true);
  const QImage filled = rgb32(form.Picture1->grab().toImage());
  EXPECT_FALSE(filled == plain);
  // Inside the frame no pixel keeps the grey background: every cell has values.
  const QRgb grey = qRgb(100, 100, 100);
  EXPECT_EQ(plain.pixel(200, 300), grey);
  EXPECT_NE(filled.pixel(200, 300), grey);
  // The display list the printout reads starts with the band records.
  const std::string list = read_file(state().prtInfoPath.toStdString());
  ASSERT_FALSE(list.empty());
  EXPECT_EQ(list[0], 4);
  // The BMP is the filled picture.
  const QString bmp = dir.path("filled.bmp");
  dialogs.saveAnswers.push_back(bmp);
  form.BMPCommand->click();
  EXPECT_TRUE(rgb32(QImage(bmp)) == filled);
  // And back: the plain picture and display list again.
  form.Picture1->FillItem->setChecked(false);
  EXPECT_TRUE(rgb32(form.Picture1->grab().toImage()) == plain);
  EXPECT_NE(read_file(state().prtInfoPath.toStdString())[0], 4);
}

TEST_F(WindowWithLibraryTest, PrintGoesToThePrinterTheSetupChose) {
  open(model("grid.iso", grid_model()));
  const QString pdf = dir.path("page.pdf");
  dialogs.onPrintSetup = [&](QPrinter& printer) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    return true;
  };
  form.PrtCommand->click();
  ASSERT_TRUE(dialogs.messages.isEmpty()) << str(dialogs.messages.join("\n"));
  const std::string page = read_file(dir.dir().file("page.pdf"));
  EXPECT_EQ(page.substr(0, 5), "%PDF-");

  // A display list the replay cannot read: a text record of negative length.
  std::string broken(8, '\0');
  const int32_t tag = 1, length = -5;
  std::memcpy(&broken[0], &tag, 4);
  std::memcpy(&broken[4], &length, 4);
  write_file(state().prtInfoPath.toStdString(), broken);
  form.PrtCommand->click();
  EXPECT_EQ(dialogs.messages,
            QStringList{QStringLiteral("Printer cancel (text record at byte 0 has the negative length -5)")});

  dialogs.onPrintSetup = [](QPrinter&) { return false; };
  form.PrtCommand->click();
  EXPECT_EQ(dialogs.messages.size(), 2);
  EXPECT_EQ(dialogs.messages.last(), QStringLiteral("Printer cancel"));
  EXPECT_EQ(dialogs.printSetups, 3);
}

TEST_F(WindowWithLibraryTest, FilesThatCannotBeWrittenAreReportedAndKeepTheirEarlierBytes) {
  open(model("grid.iso", grid_model()));
  ASSERT_TRUE(state().plotDrawn);
  const std::string list = read_file(state().prtInfoPath.toStdString());
  write_file(dir.dir().file("plot.bmp"), "earlier");
  write_file(dir.dir().file("page.pdf"), "earlier");
  const QString pdf = dir.path("page.pdf");
  dialogs.onPrintSetup = [&](QPrinter& printer) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    return true;
  };
  {
    // Room for the run log and the display list of the save's plot run, not
    // for the BMP.
    FileSizeLimit limit(list.size() + 4096);
    dialogs.saveAnswers.push_back(dir.path("plot.bmp"));
    dialogs.questionAnswers.push_back(true);  // replace the earlier plot.bmp
    form.BMPCommand->click();
  }
  {
    FileSizeLimit limit(100);
    form.PrtCommand->click();
  }
  EXPECT_EQ(dialogs.messages,
            QStringList({QString::fromUtf8(u8"出力ファイル(") + dir.path("plot.bmp") +
                             QString::fromUtf8(u8")に書き込めません。"),
                         QStringLiteral("Printer cancel (cannot write ") + pdf + QStringLiteral(": File too large)")}));
  EXPECT_EQ(read_file(dir.dir().file("plot.bmp")), "earlier");
  EXPECT_EQ(read_file(dir.dir().file("page.pdf")), "earlier");

  // A plot run whose display list cannot be written: the message, and no
  // print of the earlier list it left.
  dialogs.messages.clear();
  {
    FileSizeLimit limit(100);
    form.Picture1->grab();
  }
  QApplication::processEvents();
  EXPECT_EQ(dialogs.messages, QStringList{QString::fromUtf8(u8"印刷情報ファイル(") + state().prtInfoPath +
                                          QString::fromUtf8(u8")に書き込めません。")});
  EXPECT_FALSE(state().plotDrawn);
  EXPECT_TRUE(read_file(state().prtInfoPath.toStdString()) == list);
  form.PrtCommand->click();
  EXPECT_EQ(dialogs.messages.last(), QString::fromUtf8(u8"最初に描画してください"));
  EXPECT_EQ(read_file(dir.dir().file("page.pdf")), "earlier");
}

// A grid 520 points wide: past the default tables' 500.
std::string wide_model() {
  std::string text = "*model differencial\n*x\n";
  for (int i = 0; i < 520; ++i) text += std::to_string(i) + "\n";
  text += "*end\n*y\n0\n10\n20\n*end\n*value\n";
  for (int i = 1; i <= 520; ++i)
    for (int j = 1; j <= 3; ++j)
      text += std::to_string(i) + " " + std::to_string(j) + " " + std::to_string(j * std::sin(i / 40.0)) + "\n";
  return text + "*end\n*isovar\n-1\n0\n1\n*end\n";
}

TEST_F(WindowWithLibraryTest, ModelPastTheDefaultTablesIsPlottedInLargeMode) {
  ASSERT_NE(lib.setLargeModels, nullptr);
  open(model("wide.isovar", wide_model()));
  EXPECT_EQ(dialogs.messages, QStringList{QString::fromUtf8(kLargeModelsUsed)});
  EXPECT_TRUE(state().plotDrawn);
  EXPECT_TRUE(state().largeModels);
  EXPECT_TRUE(form.Picture1->LargeItem->isChecked());
  const QImage shown = rgb32(form.Picture1->grab().toImage());
  int other = 0;
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x) other += shown.pixel(x, y) != PlotSurface::background().rgb();
  EXPECT_GT(other, 1000);
  // Switched off by hand with this model on the screen, it goes back on.
  dialogs.messages.clear();
  form.Picture1->LargeItem->setChecked(false);
  QApplication::processEvents();
  EXPECT_TRUE(form.Picture1->LargeItem->isChecked());
  EXPECT_TRUE(state().plotDrawn);
  EXPECT_EQ(dialogs.messages, QStringList{QString::fromUtf8(kLargeModelsUsed)});
}

// The PDF a printer made of a display list, without the date it was made.
std::string pdf_without_date(const std::string& path) {
  std::string pdf = read_file(path);
  for (size_t at = pdf.find("/CreationDate"); at != std::string::npos; at = pdf.find("/CreationDate", at + 1))
    pdf.erase(at, pdf.find('\n', at) - at);
  return pdf;
}

// Two windows once shared one display list in one folder: the second one's
// plot replaced it, and the first printed the second one's picture.
TEST_F(WindowWithLibraryTest, TwoWindowsPrintTheirOwnPictures) {
  Form1 second(lib, &dialogs);  // hidden: its paints are the plots asked for
  ASSERT_NE(second.module1().ownFolder(), state().ownFolder());
  std::string other = grid_model();
  other.replace(other.find("plate A"), 7, "plate B");
  const QString a = model("a.isovar", grid_model());
  const QString b = model("b.isovar", other);
  open(a);
  second.module1().OpenInput(b);
  ASSERT_TRUE(state().plotDrawn && second.module1().plotDrawn) << str(dialogs.messages.join("\n"));

  QString pdf;
  dialogs.onPrintSetup = [&pdf](QPrinter& printer) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    return true;
  };
  pdf = dir.path("first.pdf");
  form.PrtCommand->click();
  pdf = dir.path("second.pdf");
  second.PrtCommand->click();
  ASSERT_TRUE(dialogs.messages.isEmpty()) << str(dialogs.messages.join("\n"));

  // Each window's printout is what its own model's display list prints.
  for (const auto& [input, printed] :
       {std::pair{a, std::string("first.pdf")}, std::pair{b, std::string("second.pdf")}}) {
    SCOPED_TRACE(printed);
    char errMsg[ISOVAR_ERRMSG_SIZE + 1] = {};
    ASSERT_EQ(lib.readData(QFile::encodeName(input).constData(), errMsg), 0) << errMsg;
    PlotSurface surface;
    const std::string list = dir.dir().file("direct.tmp");
    ASSERT_EQ(lib.isovarMain(errMsg, surface.dc(665, 585), list.c_str(), 665, 585), 0) << errMsg;
    QPrinter printer(QPrinter::HighResolution);
    dialogs.onPrintSetup(printer);
    printer.setOutputFileName(dir.path("direct.pdf"));
    std::string reason;
    ASSERT_TRUE(Module2::PrintDisplayList(QByteArray::fromStdString(list), printer, &reason)) << reason;
    EXPECT_TRUE(pdf_without_date(dir.dir().file(printed)) == pdf_without_date(dir.dir().file("direct.pdf")));
  }
  EXPECT_FALSE(pdf_without_date(dir.dir().file("first.pdf")) == pdf_without_date(dir.dir().file("second.pdf")));
}

// The print-setup dialog the program shows, answered while it runs.
TEST(QtPrintSetup, AcceptingPrintsToTheChosenFileAndCancellingRefuses) {
  InTempDir dir;
  write_file(dir.dir().file("prtInfo.tmp"), "");
  const QString pdf = dir.path("setup.pdf");
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(pdf);

  QtDialogs dialogs;
  bool seen = false;
  auto answer = [&](bool accept) {
    QTimer::singleShot(0, [&seen, accept] {
      auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
      seen = dialog != nullptr;
      if (dialog == nullptr) return;
      if (accept)
        dialog->accept();
      else
        dialog->reject();
    });
  };

  answer(true);
  ASSERT_TRUE(dialogs.printSetup(printer));
  EXPECT_TRUE(seen);
  EXPECT_EQ(printer.outputFormat(), QPrinter::PdfFormat);
  EXPECT_EQ(printer.outputFileName(), pdf);
  QDir::setCurrent(dir.path());
  std::string reason;
  EXPECT_TRUE(Module2::PrintDisplayList("prtInfo.tmp", printer, &reason)) << reason;
  EXPECT_EQ(read_file(dir.dir().file("setup.pdf")).substr(0, 5), "%PDF-");

  seen = false;
  answer(false);
  EXPECT_FALSE(dialogs.printSetup(printer));
  EXPECT_TRUE(seen);
}

}  // namespace

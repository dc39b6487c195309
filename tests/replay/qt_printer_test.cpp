// The Qt printer through a real PDF, read back with poppler's tools.
#include "qt_printer.h"

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <regex>

#include "display_list_bytes.h"
#include "test_support.h"

using testing_support::cp932;
using testing_support::TempDir;

namespace {

std::string run(const std::string& command) { return testing_support::run_command(command); }

// The display list at dl printed on isovar-plot's page, into the file pdf.
bool print_to_file(const std::string& dl, const std::string& pdf, std::string* reason = nullptr) {
  QByteArray bytes;
  if (!replay::PrintDisplayListToPdf(dl, replay::a4_pdf_page(), &bytes, reason)) return false;
  testing_support::write_file(pdf, bytes.toStdString());
  return true;
}

// The first word box of pdftotext's bounding-box listing with this text:
// its left and top edges in points from the page's top-left corner.
bool word_box(const std::string& html, const std::string& word, double& x, double& y) {
  std::regex box("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"[0-9.]+\" yMax=\"[0-9.]+\">" + word + "</word>");
  std::smatch m;
  if (!std::regex_search(html, m, box)) return false;
  x = std::stod(m[1]);
  y = std::stod(m[2]);
  return true;
}

TEST(QtPrinter, GothicFaceIsMatchedToAnInstalledFont) {
  QString family = replay::matched_family(QString::fromUtf8(replay::kPrintFace));
  EXPECT_TRUE(family == "monospace" || QFontDatabase::hasFamily(family)) << family.toStdString();
  if (QFontDatabase::hasFamily("IPAGothic")) {
    EXPECT_NE(family, "monospace");
  }
  // A face that is installed is kept as it is.
  if (QFontDatabase::hasFamily("DejaVu Sans")) {
    EXPECT_EQ(replay::matched_family("DejaVu Sans"), "DejaVu Sans");
  }
}

TEST(QtPrinter, PdfPageHoldsTheTextsAtTheirTwipPositions) {
  TempDir dir;
  std::string dl = dir.file("prtInfo.tmp");
  std::string pdf = dir.file("plot.pdf");
  testing_support::write_file(dl, dl_bytes::title(cp932(u8"等高線図"), 100, 94, 30) +
                                      dl_bytes::line(2, 60, 50, 540, 50) + dl_bytes::label("12.50", 200, 300, 10));
  std::string reason;
  ASSERT_TRUE(print_to_file(dl, pdf, &reason)) << reason;

  std::string info = run("pdfinfo '" + pdf + "'");
  EXPECT_TRUE(std::regex_search(info, std::regex("Pages: +1\n"))) << info;
  EXPECT_NE(info.find("(A4)"), std::string::npos) << info;

  std::string boxes = run("pdftotext -bbox '" + pdf + "' -");
  double x, y;
  // Points = 18 (the quarter-inch printable-area inset) + twips / 20. The
  // box's top is the font's ascent above the baseline, as Qt places it.
  ASSERT_TRUE(word_box(boxes, "12.50", x, y)) << boxes;
  EXPECT_NEAR(x, 18 + 2910 / 20.0, 1.0);
  EXPECT_NEAR(y, 18 + 4310 / 20.0, 1.5);
  ASSERT_TRUE(word_box(boxes, u8"等高線図", x, y)) << boxes;
  EXPECT_NEAR(x, 18 + 600 / 20.0, 1.0);
  EXPECT_NEAR(y, 18 + 516 / 20.0, 3.0);
}

TEST(QtPrinter, BandsArePaintedInTheirColoursUnderTheLines) {
  TempDir dir;
  std::string dl = dir.file("prtInfo.tmp");
  std::string pdf = dir.file("bands.pdf");
  // Two triangles of one band making the square 100..300 pixels, and a
  // black line across it.
  const uint32_t light_blue = 0x00FFC8A0;  // RGB(160, 200, 255) as 0x00BBGGRR
  testing_support::write_file(dl, dl_bytes::bands(light_blue, {{{1600, 1600}, {4800, 1600}, {1600, 4800}},
                                                               {{4800, 1600}, {4800, 4800}, {1600, 4800}}}) +
                                      dl_bytes::line(2, 100, 200, 300, 200));
  std::string reason;
  ASSERT_TRUE(print_to_file(dl, pdf, &reason)) << reason;
  // At 72 dots per inch a pixel (14 twips) is 0.7 points, 18 points inset.
  run("pdftoppm -r 72 -singlefile -png '" + pdf + "' '" + dir.file("page") + "'");
  QImage page(QString::fromStdString(dir.file("page.png")));
  ASSERT_FALSE(page.isNull());
  auto at = [&](double px, double py) {
    return page.pixelColor(static_cast<int>(18 + (px * 14 + 110) / 20.0), static_cast<int>(18 + (py * 14 + 110) / 20.0));
  };
  EXPECT_EQ(at(150, 150), QColor(160, 200, 255));
  EXPECT_EQ(at(250, 260), QColor(160, 200, 255));
  // On the diagonal the two triangles meet without a seam.
  EXPECT_EQ(at(250, 150), QColor(160, 200, 255));
  EXPECT_EQ(at(120, 280), QColor(160, 200, 255));
  EXPECT_EQ(at(150, 200).lightness() < 100, true) << "the line goes over the band";
  EXPECT_EQ(at(50, 50), QColor(255, 255, 255));
}

TEST(QtPrinter, EmptyListGivesOneEmptyPage) {
  TempDir dir;
  std::string pdf = dir.file("empty.pdf");
  ASSERT_TRUE(print_to_file(dir.file("missing.tmp"), pdf));
  EXPECT_TRUE(std::regex_search(run("pdfinfo '" + pdf + "'"), std::regex("Pages: +1\n")));
  EXPECT_EQ(run("pdftotext '" + pdf + "' - | tr -d ' \\n\\f'"), "");
}

TEST(QtPrinter, FailedReplayIsReported) {
  TempDir dir;
  std::string dl = dir.file("prtInfo.tmp");
  std::string bad = dl_bytes::line(1, 0, 0, 10, 10);
  dl_bytes::put_int(bad, 1);
  dl_bytes::put_int(bad, -1);
  testing_support::write_file(dl, bad);
  std::string reason;
  QByteArray pdf;
  EXPECT_FALSE(replay::PrintDisplayListToPdf(dl, replay::a4_pdf_page(), &pdf, &reason));
  EXPECT_FALSE(reason.empty());
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

// isovar-plot's printer (cairo) against the window's (Qt): the same display
// list must give the same page, read back with poppler's tools.
#include "cairo_printer.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <cstdlib>
#include <fstream>
#include <regex>

#include "display_list_bytes.h"
#include "qt_printer.h"
#include "test_support.h"

using testing_support::cp932;
using testing_support::TempDir;

namespace {

std::string run(const std::string& command) { return testing_support::run_command(command); }

bool cairo_pdf(const std::string& dl, const std::string& pdf, std::string* reason = nullptr) {
  std::string bytes;
  if (!replay::PrintDisplayListToCairoPdf(dl, "isovar-plot", &bytes, reason)) return false;
  testing_support::write_file(pdf, bytes);
  return true;
}

bool qt_pdf(const std::string& dl, const std::string& pdf) {
  QByteArray bytes;
  if (!replay::PrintDisplayListToPdf(dl, replay::a4_pdf_page(), &bytes)) return false;
  testing_support::write_file(pdf, bytes.toStdString());
  return true;
}

struct Word {
  std::string text;
  double x_min, y_min, x_max, y_max;
};

std::vector<Word> words(const std::string& pdf) {
  const std::string html = run("pdftotext -bbox '" + pdf + "' -");
  std::regex box("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">([^<]*)</word>");
  std::vector<Word> found;
  for (std::sregex_iterator it(html.begin(), html.end(), box), end; it != end; ++it)
    found.push_back({(*it)[5], std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3]), std::stod((*it)[4])});
  return found;
}

// Two by two inches of the page, an inch from its top-left corner, rendered
// in grey levels at the page's 600 dots per inch, where a thinnest line is
// one dot.
struct Grey {
  int width = 0, height = 0;
  std::string pixels;
};

Grey render(const std::string& pdf, const std::string& stem) {
  run("pdftoppm -r 600 -x 600 -y 600 -W 1200 -H 1200 -gray '" + pdf + "' '" + stem + "'");
  std::ifstream in(stem + "-1.pgm", std::ios::binary);
  Grey g;
  std::string magic;
  int max = 0;
  in >> magic >> g.width >> g.height >> max;
  in.get();
  g.pixels.resize(static_cast<std::size_t>(g.width) * static_cast<std::size_t>(g.height));
  in.read(&g.pixels[0], static_cast<std::streamsize>(g.pixels.size()));
  return g;
}

std::string sample_list() {
  std::string dl = dl_bytes::title(cp932(u8"等高線図 Plate"), 100, 94, 30) + dl_bytes::title("Second", 100, 140, 20);
  for (int i = 0; i < 40; ++i) dl += dl_bytes::line(i % 3, 60 + 10 * i, 200, 80 + 12 * i, 560 - 5 * i);
  dl += dl_bytes::line(2, 50, 180, 600, 180) + dl_bytes::line(0, 50, 600, 600, 600);
  dl += dl_bytes::label("12.50", 200, 300, 10) + dl_bytes::label("-3.25", 420, 450, 10);
  return dl;
}

TEST(CairoPrinter, PageMatchesTheWindowsPrintout) {
  TempDir dir;
  const std::string dl = dir.file("prtInfo.tmp");
  testing_support::write_file(dl, sample_list());
  std::string reason;
  ASSERT_TRUE(cairo_pdf(dl, dir.file("cairo.pdf"), &reason)) << reason;
  ASSERT_TRUE(qt_pdf(dl, dir.file("qt.pdf")));

  const std::string info = run("pdfinfo '" + dir.file("cairo.pdf") + "'");
  EXPECT_TRUE(std::regex_search(info, std::regex("Pages: +1\n"))) << info;
  EXPECT_TRUE(std::regex_search(info, std::regex("Page size: +595 x 842 pts \\(A4\\)"))) << info;
  EXPECT_TRUE(std::regex_search(info, std::regex("Creator: +isovar-plot\n"))) << info;

  // Every text in the same words at the same places (points).
  const std::vector<Word> ours = words(dir.file("cairo.pdf"));
  const std::vector<Word> theirs = words(dir.file("qt.pdf"));
  ASSERT_EQ(ours.size(), theirs.size());
  ASSERT_EQ(ours.size(), 5u);
  for (std::size_t i = 0; i < ours.size(); ++i) {
    SCOPED_TRACE(theirs[i].text);
    EXPECT_EQ(ours[i].text, theirs[i].text);
    EXPECT_NEAR(ours[i].x_min, theirs[i].x_min, 0.5);
    EXPECT_NEAR(ours[i].y_min, theirs[i].y_min, 0.5);
    EXPECT_NEAR(ours[i].x_max, theirs[i].x_max, 0.5);
    EXPECT_NEAR(ours[i].y_max, theirs[i].y_max, 0.5);
  }

  // The lines and glyphs: rendered, nearly every dark pixel of either page
  // has a dark neighbour on the other (edges of glyphs may shift by one).
  const Grey a = render(dir.file("cairo.pdf"), dir.file("cairo"));
  const Grey b = render(dir.file("qt.pdf"), dir.file("qt"));
  ASSERT_EQ(a.width, b.width);
  ASSERT_EQ(a.height, b.height);
  ASSERT_GT(a.width, 0);
  auto grey = [](const Grey& g, int x, int y) {
    if (x < 0 || y < 0 || x >= g.width || y >= g.height) return 255;
    return static_cast<int>(static_cast<unsigned char>(g.pixels[static_cast<std::size_t>(y) * g.width + x]));
  };
  auto unmatched = [&](const Grey& one, const Grey& other, int& dark) {
    int alone = 0;
    for (int y = 0; y < one.height; ++y)
      for (int x = 0; x < one.width; ++x) {
        if (grey(one, x, y) >= 128) continue;
        ++dark;
        bool near = false;
        for (int dy = -1; dy <= 1 && !near; ++dy)
          for (int dx = -1; dx <= 1 && !near; ++dx) near = grey(other, x + dx, y + dy) < 192;
        if (!near) ++alone;
      }
    return alone;
  };
  int dark_a = 0, dark_b = 0;
  const int alone_a = unmatched(a, b, dark_a);
  const int alone_b = unmatched(b, a, dark_b);
  EXPECT_GT(dark_b, 1000);
  EXPECT_NEAR(dark_a, dark_b, dark_b / 20);
  EXPECT_LT(alone_a, dark_a / 100) << alone_a << " of " << dark_a;
  EXPECT_LT(alone_b, dark_b / 100) << alone_b << " of " << dark_b;
}

TEST(CairoPrinter, EmptyListGivesOneEmptyPage) {
  TempDir dir;
  const std::string pdf = dir.file("empty.pdf");
  ASSERT_TRUE(cairo_pdf(dir.file("missing.tmp"), pdf));
  EXPECT_TRUE(std::regex_search(run("pdfinfo '" + pdf + "'"), std::regex("Pages: +1\n")));
  EXPECT_EQ(run("pdftotext '" + pdf + "' - | tr -d ' \\n\\f'"), "");
}

TEST(CairoPrinter, FailedReplayGivesNoDocument) {
  TempDir dir;
  const std::string dl = dir.file("prtInfo.tmp");
  std::string bad = dl_bytes::line(1, 0, 0, 10, 10);
  dl_bytes::put_int(bad, 1);
  dl_bytes::put_int(bad, -1);
  testing_support::write_file(dl, bad);
  std::string reason;
  std::string pdf = "old";
  EXPECT_FALSE(replay::PrintDisplayListToCairoPdf(dl, "isovar-plot", &pdf, &reason));
  EXPECT_NE(reason.find("negative length"), std::string::npos) << reason;
  EXPECT_EQ(pdf, "");
}

TEST(CairoPrinter, FaceIsMatchedAsTheWindowMatchesIt) {
  for (const char* face : {replay::kPrintFace, "No Such Face At All", "DejaVu Sans"})
    EXPECT_EQ(replay::cairo_matched_family(face), replay::matched_family(QString::fromUtf8(face)).toStdString())
        << face;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

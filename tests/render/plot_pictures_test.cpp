// isovar-plot's picture options (--antialias, --scale, --vector): what they
// refuse, and the pictures they make.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

const char* const kPlot = ISOVAR_BINARY_DIR "/bin/isovar-plot";
using testing_support::TempDir;

testing_support::ProgramResult plot(const TempDir& dir, std::vector<std::string> args) {
  args.insert(args.begin(), testing_support::source_path("examples/terrain.isovar"));
  return testing_support::run_program(kPlot, dir.path(), args);
}

TEST(PlotPictures, UsageErrors) {
  struct Case {
    std::vector<std::string> args;
    const char* said;
  };
  const Case cases[] = {
      {{"--png", "x.png", "--scale", "9"}, "--scale"},
      {{"--png", "x.png", "--scale", "0.4"}, "--scale"},
      {{"--bmp", "x.bmp", "--scale", "2"}, "the BMP is always at its own size"},
      {{"--png", "x.png", "--vector"}, "--vector: is for the PDF page"},
      {{"--png", "x.png", "--scale", "8", "--size", "4000x3000"}, "larger than the drawing surface's limit"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    const testing_support::ProgramResult r = plot(dir, c.args);
    EXPECT_EQ(r.status, 2) << c.args[2];
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_FALSE(testing_support::file_exists(dir.file("x.png")));
  }
}

uint32_t be32(const std::string& b, std::size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) << 24 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 8 | static_cast<unsigned char>(b[at + 3]);
}

TEST(PlotPictures, ScaleAntialiasAndThePdfPage) {
  TempDir dir;
  ASSERT_EQ(plot(dir, {"--png", "plain.png"}).status, 0);
  ASSERT_EQ(plot(dir, {"--png", "one.png", "--scale", "1"}).status, 0);
  ASSERT_EQ(plot(dir, {"--png", "smooth.png", "--antialias"}).status, 0);
  ASSERT_EQ(plot(dir, {"--png", "two.png", "--svg", "two.svg", "--scale", "2", "--antialias", "--fill"}).status, 0);
  ASSERT_EQ(plot(dir, {"--pdf", "page.pdf", "--vector", "--fill", "--key"}).status, 0);
  const std::string plain = testing_support::read_file(dir.file("plain.png"));
  EXPECT_EQ(testing_support::read_file(dir.file("one.png")), plain) << "scale 1 is the plain picture";
  EXPECT_NE(testing_support::read_file(dir.file("smooth.png")), plain);
  const std::string two = testing_support::read_file(dir.file("two.png"));
  ASSERT_GT(two.size(), 24u);
  EXPECT_EQ(be32(two, 16), 1330u);
  EXPECT_EQ(be32(two, 20), 1170u);
  const std::string svg = testing_support::read_file(dir.file("two.svg"));
  EXPECT_NE(svg.find("width=\"1330\" height=\"1170\" viewBox=\"0 0 665 585\""), std::string::npos);
  EXPECT_NE(svg.find("<g id=\"band-1\""), std::string::npos);
  const std::string pdf = testing_support::read_file(dir.file("page.pdf"));
  EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
  // Text as text: pdftotext finds the titles and the key's values.
  const std::string text = testing_support::run_command("pdftotext '" + dir.file("page.pdf") + "' - 2>/dev/null");
  if (!text.empty()) {
    EXPECT_NE(text.find("Terrain survey"), std::string::npos) << text;
    EXPECT_NE(text.find("525.00"), std::string::npos) << text;
  }
}

}  // namespace

// The exact SVG of a plot, rendered by rsvg-convert, against the antialiased
// picture the same surface painted: the same picture within antialiasing
// (and the fonts the renderer finds). Skipped without rsvg-convert.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "IsovarLib.h"
#include "test_support.h"

namespace {

struct Case {
  const char* model;
  bool fill;
  const char* key;  // "", "right", "below"
};

const Case kCases[] = {
    {"terrain.isovar", true, "right"},
    {"plate.isovar", true, ""},
    {"terrain.isovar", false, "below"},
    {"plate.isovar", false, ""},
};

// The mean difference of the channels, 0 to 255. A few pixels of fonts and
// edges differ by much; the rest by a few steps of antialiasing.
constexpr double kMeanChannelDifference = 2.0;

TEST(SvgRendering, RsvgConvertDrawsTheAntialiasedPicture) {
  if (testing_support::run_command("command -v rsvg-convert >/dev/null; echo $?") != "0\n")
    GTEST_SKIP() << "rsvg-convert is not installed";
  constexpr int kW = 665, kH = 585;
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.model) + (c.fill ? " filled" : "") + " key " + c.key);
    char err[ISOVAR_ERRMSG_SIZE] = {};
    ASSERT_EQ(readData((std::string(ISOVAR_SOURCE_DIR) + "/examples/" + c.model).c_str(), err), 0) << err;
    setFillBands(c.fill ? 1 : 0);
    const IsovarPictureStyle style{*c.key == 'r' ? ISOVAR_KEY_RIGHT : *c.key == 'b' ? ISOVAR_KEY_BELOW : ISOVAR_KEY_NONE,
                                   1, ISOVAR_COLORMAP_VIRIDIS, 0.0, 0, 0, 0, 0, 0};
    ASSERT_EQ(setPictureStyle(&style), 0);
    HDC dc = CreateSurfaceDCWith(kW, kH, 1.0, ISOVAR_SURFACE_SVG | ISOVAR_SURFACE_ANTIALIAS);
    ASSERT_NE(dc, nullptr);
    ASSERT_EQ(isovarMain(err, dc, "picture.dl", kW, kH), 0) << err;
    testing_support::write_file("picture.svg", GetSurfaceSvg(dc, nullptr));
    ASSERT_EQ(testing_support::run_command("rsvg-convert -o rendered.png picture.svg 2>&1; echo $?"), "0\n");
    const QImage rendered = QImage("rendered.png").convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(rendered.width(), kW);
    ASSERT_EQ(rendered.height(), kH);
    const uint32_t* bits = GetSurfaceBits(dc, nullptr, nullptr);
    double total = 0;
    for (int y = 0; y < kH; ++y) {
      const QRgb* row = reinterpret_cast<const QRgb*>(rendered.constScanLine(y));
      for (int x = 0; x < kW; ++x) {
        const uint32_t p = bits[y * kW + x];
        total += std::abs(qRed(row[x]) - static_cast<int>((p >> 16) & 0xFF)) +
                 std::abs(qGreen(row[x]) - static_cast<int>((p >> 8) & 0xFF)) +
                 std::abs(qBlue(row[x]) - static_cast<int>(p & 0xFF));
      }
    }
    const double mean = total / (3.0 * kW * kH);
    RecordProperty(std::string("mean_difference_") + c.model, std::to_string(mean));
    EXPECT_LT(mean, kMeanChannelDifference);
    std::printf("%s fill %d: mean channel difference %.3f\n", c.model, c.fill ? 1 : 0, mean);
    DeleteDC(dc);
  }
  setFillBands(0);
  setPictureStyle(nullptr);
}

}  // namespace

// Every example file, end to end: read, plotted at 665 x 585, saved as a BMP
// file, and the picture checked against what the run drew.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "IsovarLib.h"
#include "render_fixtures.h"
#include "test_support.h"

using namespace render_fixtures;

namespace {

constexpr int kWidth = 665;
constexpr int kHeight = 585;

std::vector<std::string> example_files() {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(testing_support::source_path("examples"), ec))
    if (entry.path().extension() == ".isovar") files.push_back(entry.path().filename().string());
  std::sort(files.begin(), files.end());
  return files;
}

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
  bool grey_tone() const { return r == g && g == b; }
};

// A 24-bit BMP file as the picture it shows, top row first.
class Picture {
 public:
  explicit Picture(const std::string& bytes) : bytes_(bytes) {
    width_ = le32(bytes, 18);
    height_ = le32(bytes, 22);
    row_bytes_ = (width_ * 3 + 3) / 4 * 4;
  }
  int width() const { return width_; }
  int height() const { return height_; }
  Rgb at(int x, int y) const {
    std::size_t p = 54 + static_cast<std::size_t>(height_ - 1 - y) * row_bytes_ + 3 * x;
    return {static_cast<unsigned char>(bytes_[p + 2]), static_cast<unsigned char>(bytes_[p + 1]),
            static_cast<unsigned char>(bytes_[p])};
  }
  // Whether the box (clipped to the picture) holds a pixel of the colour.
  bool has(Rgb colour, int x0, int y0, int x1, int y1) const {
    for (int y = std::max(y0, 0); y <= std::min(y1, height_ - 1); ++y)
      for (int x = std::max(x0, 0); x <= std::min(x1, width_ - 1); ++x)
        if (at(x, y) == colour) return true;
    return false;
  }

 private:
  const std::string& bytes_;
  int width_ = 0, height_ = 0, row_bytes_ = 0;
};

const Rgb kGrey{100, 100, 100};
const Rgb kWhitePixel{255, 255, 255};

class ExamplePlots : public ::testing::TestWithParam<std::string> {};

}  // namespace

TEST_P(ExamplePlots, PictureShowsWhatWasDrawn) {
  char err[ISOVAR_ERRMSG_SIZE] = {};
  const std::string path = testing_support::source_path("examples/" + GetParam());
  ASSERT_EQ(readData(path.c_str(), err), 0) << testing_support::utf8(err);
  HDC dc = CreateSurfaceDC(kWidth, kHeight);
  ASSERT_NE(dc, nullptr);
  const std::string bmp_name = GetParam() + ".bmp";
  ASSERT_EQ(saveBMP(err, dc, "prtInfo.tmp", bmp_name.c_str(), kWidth, kHeight), 0) << testing_support::utf8(err);
  DeleteDC(dc);

  const std::string bytes = testing_support::read_file(bmp_name);
  ASSERT_EQ(bytes.size(), 54u + 1996u * kHeight);
  Picture pic(bytes);
  ASSERT_EQ(pic.width(), kWidth);
  ASSERT_EQ(pic.height(), kHeight);

  // Background in the corners away from the titles.
  EXPECT_EQ(pic.at(0, kHeight - 1), kGrey);
  EXPECT_EQ(pic.at(kWidth - 1, kHeight - 1), kGrey);
  EXPECT_EQ(pic.at(kWidth - 1, 0), kGrey);

  // The frame, white, at the computed columns and rows (drawn last).
  ASSERT_EQ(layout_state.area_defined, 1);
  const int left = trunc_to_int(1.0 * kWidth * layout_state.area_left);
  const int right = trunc_to_int(1.0 * kWidth * layout_state.area_right);
  const int top = trunc_to_int(1.0 * kHeight * layout_state.area_top);
  const int bottom = trunc_to_int(1.0 * kHeight * layout_state.area_bottom);
  const int mid_x = (left + right) / 2, mid_y = (top + bottom) / 2;
  EXPECT_EQ(pic.at(left, mid_y), kWhitePixel);
  EXPECT_EQ(pic.at(right, mid_y), kWhitePixel);
  EXPECT_EQ(pic.at(mid_x, top), kWhitePixel);
  EXPECT_EQ(pic.at(mid_x, bottom), kWhitePixel);

  // Coloured pixels are isolines, and they lie within the frame (a bold pen
  // reaches one pixel beyond a line's ends).
  int coloured = 0, outside = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      if (pic.at(x, y).grey_tone()) continue;
      ++coloured;
      if (x < left - 1 || x > right + 1 || y < top - 1 || y > bottom + 1) ++outside;
    }
  EXPECT_EQ(outside, 0);
  if (model_store.level_count > 1 && engine_tables.pline_total > 0) {
    EXPECT_GT(coloured, 500);
  }

  // White text where titles and labels were recorded.
  const std::vector<Record> records = decode(testing_support::read_file("prtInfo.tmp"));
  int labels = 0;
  for (const Record& r : records) {
    if (r.tag == DL_TITLE && !r.text.empty()) {
      const int y = r.numbers[1] - 39;  // recorded: the next line's row
      EXPECT_TRUE(pic.has(kWhitePixel, 100, y, 100 + 20 * static_cast<int>(r.text.size()), y + 20)) << r.text;
    }
    if (r.tag == DL_LABEL) {
      ++labels;
      const int x = r.numbers[0], y = r.numbers[1];
      if (x < 0 || y < 0 || x + 40 >= kWidth || y + 10 >= kHeight) continue;
      EXPECT_TRUE(pic.has(kWhitePixel, x, y, x + 8 * static_cast<int>(r.text.size()), y + 10)) << r.text;
    }
  }
  EXPECT_EQ(labels, label_table.label_count);
}

INSTANTIATE_TEST_SUITE_P(Examples, ExamplePlots, ::testing::ValuesIn(example_files()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param.substr(0, info.param.find('.'));
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ExamplePlots);

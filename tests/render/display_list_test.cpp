// Display-list files of small hand-made models, byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render_fixtures.h"
#include "test_support.h"

using namespace render_fixtures;
using testing_support::cp932;

namespace {

// The four frame lines of the 600 x 500 picture of extent 0..10 x 0..5.
std::string frame_600x500() {
  return ints({2, 2, 60, 50, 539, 50}) + ints({2, 2, 539, 50, 539, 289}) + ints({2, 2, 539, 289, 60, 289}) +
         ints({2, 2, 60, 289, 60, 50});
}

std::string title_record(const std::string& text, int32_t y) {
  return ints({1, static_cast<int32_t>(text.size())}) + text + ints({100, y, 30});
}

class DisplayList : public ::testing::Test {
 protected:
  void SetUp() override {
    dc_ = CreateSurfaceDC(600, 500);
    ASSERT_NE(dc_, nullptr);
    set_model(0, 10, 0, 5, {{12.5f}});
  }
  void TearDown() override { DeleteDC(dc_); }
  std::string render(int32_t width = 600, int32_t height = 500) { return render_display_list(dc_, width, height); }
  HDC dc_ = nullptr;
};

}  // namespace

TEST_F(DisplayList, NoTitlesNoIsolinesIsTwoFrames) {
  std::string bytes = render();
  EXPECT_EQ(bytes.size(), 192u);
  EXPECT_EQ(bytes, frame_600x500() + frame_600x500());
}

TEST_F(DisplayList, TitlesRecordTheNextRowAndThePitch) {
  set_titles({"Temperature", "", cp932(u8"温度分")});
  // Three titles reserve room: the frame moves down, so only the titles are
  // compared here.
  std::string bytes = render();
  std::string titles = title_record("Temperature", 55) + title_record("", 94) + title_record(cp932(u8"温度分"), 133);
  ASSERT_GE(bytes.size(), titles.size());
  EXPECT_EQ(bytes.substr(0, titles.size()), titles);
  EXPECT_EQ(title_record("", 94).size(), 20u);
  std::vector<Record> records = decode(bytes);
  ASSERT_EQ(records.size(), 3u + 8u);
  EXPECT_EQ(records[2].text.size(), 6u);
  EXPECT_EQ(records[3].numbers, (std::vector<int32_t>{2, 60, 145, 539, 145}));
}

TEST_F(DisplayList, RecordOrderTitlesFrameIsolinesLabelsFrame) {
  set_titles({"T"});
  model_store.level_kind[0] = 1;  // bold: recorded with pen width 2
  add_pline(0, {{2, 1}, {4, 1}, {4, 3}});
  std::string bytes = render();
  std::string expected = title_record("T", 55) + frame_600x500() +
                         ints({2, 2, 155, 241, map_x(4), 241}) + ints({2, 2, map_x(4), 241, map_x(4), map_y(3)}) +
                         ints({3, 5}) + "12.50" + ints({115, 234, 10}) + ints({3, 5}) + "12.50" +
                         ints({map_x(4) - 40, map_y(3) - 7, 10}) + frame_600x500();
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ((ints({3, 5}) + "12.50" + ints({115, 234, 10})).size(), 25u);
}

TEST_F(DisplayList, SegmentsAreClippedToTheExtent) {
  model_store.level_label[0] = 0;
  add_pline(0, {{5, 2.5f}, {15, 2.5f}, {15, 4}, {5, 4}});  // out, outside, back in
  engine_tables.pline_count[add_pline(0, {{1, 1}, {2, 2}})] = 0;  // emptied by a join
  std::vector<Record> records = decode(render());
  ASSERT_EQ(records.size(), 10u);
  // Leaving: drawn from the inside end to the right edge.
  EXPECT_EQ(records[4].numbers, (std::vector<int32_t>{1, 300, 170, 539, 170}));
  // Coming back in: ends exchanged, still drawn from the inside end.
  EXPECT_EQ(records[5].numbers, (std::vector<int32_t>{1, 300, map_y(4), 539, map_y(4)}));
}

TEST_F(DisplayList, SinglePointExtentShowsTitlesOnly) {
  set_model(3, 3, 4, 4, {{1.0f}, {2.0f}});
  set_titles({"only"});
  add_pline(0, {{3, 4}, {3, 4}});
  EXPECT_EQ(render(), title_record("only", 55));
}

TEST_F(DisplayList, DegenerateModelsRenderWithoutFailing) {
  struct Case {
    const char* name;
    float xmin, xmax, ymin, ymax;
    int32_t width, height;
  } cases[] = {
      {"zero width", 3, 3, 0, 5, 600, 500},      {"zero height", 0, 10, 2, 2, 600, 500},
      {"huge", -3e38f, 3e38f, -3e38f, 3e38f, 600, 500}, {"no nodes", 1e20f, -1e20f, 1e20f, -1e20f, 600, 500},
      {"tiny picture", 0, 10, 0, 5, 3, 2},       {"no picture", 0, 10, 0, 5, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    set_model(c.xmin, c.xmax, c.ymin, c.ymax, {{1.0f}, {2.0f}});
    set_titles({"a", "b", "c", "d", "e"});
    float mx = c.xmin / 2 + c.xmax / 2, my = c.ymin / 2 + c.ymax / 2;
    add_pline(0, {{c.xmin, c.ymin}, {mx, my}, {c.xmax, c.ymax}});
    add_pline(1, {{mx, c.ymin}, {mx, c.ymax}});
    std::vector<Record> records = decode(render(c.width, c.height));
    ASSERT_GE(records.size(), 5u);
    for (const Record& r : records) EXPECT_NE(r.tag, 0);
  }
}

TEST(DisplayListWriter, LongRunsReachTheFileInOrder) {
  std::string expected;
  std::string bytes = capture_display_list([&] {
    dl_discard();
    for (int i = 0; i < 5000; ++i) {
      dl_line(1, i, -i, i * 7, 1 << (i % 31));
      expected += ints({2, 1, i, -i, i * 7, 1 << (i % 31)});
      if (i % 1000 == 0) {
        std::string big(70000, static_cast<char>('a' + i % 26));  // longer than the buffer
        dl_title(big.c_str(), 1, 2, 3);
        expected += ints({1, 70000}) + big + ints({1, 2, 3});
      }
    }
    dl_flush();
  });
  EXPECT_EQ(bytes.size(), expected.size());
  EXPECT_TRUE(bytes == expected);
}

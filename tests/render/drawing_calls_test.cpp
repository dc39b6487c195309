// The drawing calls a render makes, recorded instead of drawn: objects,
// fonts, pens, and where lines and texts go.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording_platform.h"
#include "render_fixtures.h"
#include "test_support.h"

using namespace render_fixtures;
using testing_support::cp932;

namespace {

class DrawingCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    dc_ = recording::reset();
    set_model(0, 10, 0, 5, {{1.0f}, {2.0f, 1}, {3.0f}});
    set_picture(dc_, 600, 500);
  }
  void render() {
    set_picture(dc_, run_context.plot_width, run_context.plot_height);
    render_plot();
  }
  HDC dc_ = nullptr;
};

}  // namespace

TEST_F(DrawingCalls, EveryObjectLivesWithinOneStep) {
  set_titles({"a", "b"});
  add_pline(0, {{1, 1}, {2, 2}, {3, 1}});
  add_pline(1, {{5, 1}, {6, 4}});
  add_pline(2, {{8, 1}, {9, 2}});
  render();
  EXPECT_TRUE(recording::faults.empty()) << recording::faults.front();
  // Background brush and pen, title font, frame pen, each polyline's pen, the
  // label font, frame pen.
  ASSERT_EQ(recording::objects.size(), 4u + 2 + 1 + 1 + 3 + 1 + 1);
  for (std::size_t i = 4; i < recording::objects.size(); ++i) {
    EXPECT_TRUE(recording::objects[i].deleted) << i;
    EXPECT_FALSE(recording::objects[i].selected) << i;
  }
  for (int own = 1; own <= 3; ++own) EXPECT_TRUE(recording::objects[own].selected) << own;
  EXPECT_EQ(recording::most_live_objects, 2);  // the background's brush and pen
}

// Large mode makes each level's pen once and selects it when the level
// changes: the same lines, drawn with pens of the same colours and widths.
TEST_F(DrawingCalls, LargeRunsMakeOnePenALevelAndDrawTheSame) {
  std::vector<std::vector<long>> lines[2];  // the ends, the pen's colour and width
  int pens[2] = {0, 0};
  for (int large = 0; large < 2; ++large) {
    dc_ = recording::reset();
    set_model(0, 10, 0, 5, {{1.0f}, {2.0f, 1}, {3.0f}});
    for (int level : {0, 2, 2, 0, 1, 2}) add_pline(level, {{1.0f + level, 1}, {2, 2.5f + level}, {3, 1}});
    engine_tables.large = large;
    render();
    EXPECT_TRUE(recording::faults.empty()) << recording::faults.front();
    for (const recording::Call* c : recording::calls_named("LineTo")) {
      const recording::Object& pen = recording::objects[c->pen];
      lines[large].push_back({c->args[0], c->args[1], long(pen.colour), pen.width});
    }
    for (std::size_t i = 4; i < recording::objects.size(); ++i) {
      EXPECT_TRUE(recording::objects[i].deleted && !recording::objects[i].selected) << large << " " << i;
      pens[large] += recording::objects[i].kind == recording::Kind::kPen;
    }
  }
  EXPECT_EQ(lines[0], lines[1]);
  EXPECT_EQ(pens[0], 3 + 6);  // the background's, two of the frame's, and the rows'
  EXPECT_EQ(pens[1], 3 + 3);
}

TEST_F(DrawingCalls, BackgroundCoversThePicture) {
  render();
  auto rects = recording::calls_named("Rectangle");
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_EQ(rects[0]->args, (std::vector<long>{0, 500, 600, 0}));
  const recording::Object& pen = recording::objects[rects[0]->pen];
  const recording::Object& brush = recording::objects[rects[0]->brush];
  EXPECT_EQ(pen.colour, 0x00646464u);
  EXPECT_EQ(pen.width, 1);
  EXPECT_EQ(brush.colour, 0x00646464u);
}

TEST_F(DrawingCalls, TitlesInTheirFont) {
  set_titles({"first", cp932(u8"二行目"), "third"});
  render();
  auto texts = recording::calls_named("TextOutA");
  ASSERT_EQ(texts.size(), 3u);
  const long rows[] = {16, 55, 94};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(texts[i]->args, (std::vector<long>{100, rows[i]}));
    EXPECT_EQ(texts[i]->text, model_store.titles[i]);
    EXPECT_EQ(texts[i]->text_colour, 0x00FFFFFFu);
  }
  const LOGFONTA& f = recording::objects[texts[0]->font].font;
  EXPECT_EQ(f.lfHeight, 20);
  EXPECT_EQ(f.lfWidth, 0);
  EXPECT_EQ(f.lfEscapement, 0);
  EXPECT_EQ(f.lfOrientation, 0);
  EXPECT_EQ(f.lfWeight, 0);
  EXPECT_EQ(f.lfItalic + f.lfUnderline + f.lfStrikeOut, 0);
  EXPECT_EQ(f.lfCharSet, 128);
  EXPECT_EQ(f.lfOutPrecision, 4);
  EXPECT_EQ(f.lfClipPrecision, 0);
  EXPECT_EQ(f.lfQuality, 0);
  EXPECT_EQ(f.lfPitchAndFamily, 0x31);
  EXPECT_EQ(std::string(f.lfFaceName), cp932(u8"ＭＳ ゴシック"));
}

TEST_F(DrawingCalls, TitleFontHeights) {
  struct Case {
    std::size_t length;
    int32_t width;
    LONG height;
    long row;
  } cases[] = {{30, 600, 20, 16}, {40, 600, 15, 12}, {58, 400, 8, 6}, {0, 600, 20, 16}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    dc_ = recording::reset();
    set_titles({std::string(c.length, 'w')});
    run_context.plot_width = c.width;
    render();
    auto texts = recording::calls_named("TextOutA");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0]->args[1], c.row);
    EXPECT_EQ(recording::objects[texts[0]->font].font.lfHeight, c.height);
  }
}

TEST_F(DrawingCalls, NoTitlesStillMakesTheFont) {
  render();
  EXPECT_TRUE(recording::calls_named("TextOutA").empty());
  EXPECT_EQ(recording::objects[6].kind, recording::Kind::kFont);
  EXPECT_EQ(recording::objects[6].font.lfHeight, 20);
}

TEST_F(DrawingCalls, PolylinesInTheirLevelsPens) {
  model_store.level_label[0] = model_store.level_label[1] = model_store.level_label[2] = 0;
  add_pline(2, {{1, 1}, {2, 2}, {3, 1}});
  add_pline(1, {{5, 1}, {6, 4}});
  add_pline(0, {{7, 1}, {8, 1}});
  render();
  auto moves = recording::calls_named("MoveToEx");
  auto lines = recording::calls_named("LineTo");
  ASSERT_EQ(moves.size(), 4u + 4u + 4u);  // frame, segments, frame
  ASSERT_EQ(lines.size(), moves.size());
  struct Want {
    COLORREF colour;
    int width;
    long x1, y1, x2, y2;
  } want[] = {
      {RGB(255, 0, 0), 1, map_x(1), map_y(1), map_x(2), map_y(2)},
      {RGB(255, 0, 0), 1, map_x(2), map_y(2), map_x(3), map_y(1)},
      {RGB(0, 255, 0), 2, map_x(5), map_y(1), map_x(6), map_y(4)},
      {RGB(0, 0, 255), 1, map_x(7), map_y(1), map_x(8), map_y(1)},
  };
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const recording::Call* m = moves[4 + i];
    const recording::Call* l = lines[4 + i];
    EXPECT_EQ(m->args, (std::vector<long>{want[i].x1, want[i].y1}));
    EXPECT_EQ(l->args, (std::vector<long>{want[i].x2, want[i].y2}));
    const recording::Object& pen = recording::objects[l->pen];
    EXPECT_EQ(pen.colour, want[i].colour);
    EXPECT_EQ(pen.width, want[i].width);
  }
  // The frame: two pixels wide and white, each time.
  for (int i : {0, 3, 8, 11}) {
    const recording::Object& pen = recording::objects[lines[i]->pen];
    EXPECT_EQ(pen.colour, 0x00FFFFFFu);
    EXPECT_EQ(pen.width, 2);
  }
}

TEST_F(DrawingCalls, LabelsInWhiteTenPixelFont) {
  add_pline(1, {{2, 1}, {4, 3}});
  render();
  auto texts = recording::calls_named("TextOutA");
  ASSERT_EQ(texts.size(), 2u);
  for (const recording::Call* t : texts) {
    EXPECT_EQ(t->text, " 2.00");
    EXPECT_EQ(t->text_colour, 0x00FFFFFFu);
    const LOGFONTA& f = recording::objects[t->font].font;
    EXPECT_EQ(f.lfHeight, 10);
    EXPECT_EQ(std::string(f.lfFaceName), cp932(u8"ＭＳ ゴシック"));
  }
  EXPECT_EQ(texts[0]->args, (std::vector<long>{115, 234}));
}

// Candidates beyond the 500th that are near no accepted label: each draws the
// overflow message at (10, 10) in the device context's own font, and none of
// them reaches the display list.
TEST_F(DrawingCalls, LabelOverflowMessage) {
  for (int i = 0; i < 251; ++i) add_pline(0, {{3.0f * i + 20, 1}, {3.0f * i + 20, 4}});
  std::string bytes = render_display_list(dc_, 600, 500);
  auto texts = recording::calls_named("TextOutA");
  int overflow = 0, labels = 0;
  for (const recording::Call* t : texts) {
    if (t->text == cp932(u8"Isovar値の表示点の数が多すぎます")) {
      ++overflow;
      EXPECT_EQ(t->args, (std::vector<long>{10, 10}));
      EXPECT_EQ(t->font, 3);
    } else {
      ++labels;
    }
  }
  EXPECT_EQ(overflow, 2);
  EXPECT_EQ(labels, 500);
  int recorded_labels = 0;
  for (const Record& r : decode(bytes)) recorded_labels += r.tag == DL_LABEL;
  EXPECT_EQ(recorded_labels, 500);
}

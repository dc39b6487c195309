// Label candidates, the nearness rule, label texts and label placement.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "render_fixtures.h"

using namespace render_fixtures;

namespace {

std::string label_text(float v) {
  char text[kLabelTextSize];
  std::size_t n = format_label(v, text);
  return std::string(text, n);
}

struct Accepted {
  float x, y;
  int32_t k;
};

// The nearness rule as a scan over every accepted label, in order.
struct LiteralLabels {
  std::vector<Accepted> labels;
  int overflowed = 0;
  void offer(float x, float y, int32_t k) {
    float tx = static_cast<float>((static_cast<double>(model_store.extent_xmax) - model_store.extent_xmin) * 0.1);
    float ty = static_cast<float>((static_cast<double>(model_store.extent_ymax) - model_store.extent_ymin) * 0.1);
    for (const Accepted& a : labels)
      if (std::fabs(x - a.x) <= tx && std::fabs(y - a.y) <= ty) return;
    if (labels.size() < 500) labels.push_back({x, y, k});
    else ++overflowed;
  }
};

class Labels : public ::testing::Test {
 protected:
  void SetUp() override {
    dc_ = CreateSurfaceDC(600, 500);
    ASSERT_NE(dc_, nullptr);
    set_model(0, 10, 0, 5, {{1.0f}, {2.0f}, {12.5f}});
    set_picture(dc_, 600, 500);
    plot_layout();
    reset_labels();
  }
  void TearDown() override { DeleteDC(dc_); }
  HDC dc_ = nullptr;
};

}  // namespace

TEST(LabelText, FixedAndExponentForms) {
  struct Case {
    float v;
    const char* text;
  } cases[] = {
      {12.5f, "12.50"},
      {-0.5f, "-0.50"},
      {0.1f, " 0.10"},  // the float just above 0.1 takes the fixed form
      {1.0f, " 1.00"},
      {0.05f, "5.000e-002"},
      {-0.05f, "-5.000e-002"},
      {0.0f, "0.000e+000"},
      {1e-5f, "1.000e-005"},
      {0.09999999f, "1.000e-001"},
      {1e20f, "100000002004087734272.00"},
      {-3e38f, "-300000000549775575777803994281145270272.00"},
  };
  for (const Case& c : cases) EXPECT_EQ(label_text(c.v), c.text) << c.v;
}

TEST_F(Labels, ClosedPolylineGetsOneLabel) {
  int32_t a = add_point(2, 2, 0), b = add_point(3, 2, 0), c = add_point(3, 3, 0);
  int n = add_pline_of(0, {a, b, c, a}, 1);
  add_pline_labels(n);
  ASSERT_EQ(label_table.label_count, 1);
  EXPECT_EQ(label_table.labels[0].x, 2.0f);
  EXPECT_EQ(label_table.labels[0].y, 2.0f);
}

TEST_F(Labels, NearnessIgnoresLevelsAndNeedsBothDirections) {
  // Thresholds: 1 in x and 0.5 in y.
  int n1 = add_pline(0, {{2, 2}, {9, 4.5f}});
  int n2 = add_pline(1, {{2.9f, 2.4f}, {9, 2}});   // head near the first head
  int n3 = add_pline(2, {{2.5f, 3}, {3.5f, 2}});   // near in x only, then in y only
  add_pline_labels(n1);
  add_pline_labels(n2);
  add_pline_labels(n3);
  ASSERT_EQ(label_table.label_count, 5);
  const Accepted want[] = {{2, 2, 0}, {9, 4.5f, 0}, {9, 2, 1}, {2.5f, 3, 2}, {3.5f, 2, 2}};
  for (int m = 0; m < 5; ++m) {
    EXPECT_EQ(label_table.labels[m].x, want[m].x) << m;
    EXPECT_EQ(label_table.labels[m].y, want[m].y) << m;
    EXPECT_EQ(label_table.labels[m].level, want[m].k) << m;
  }
}

TEST_F(Labels, ThresholdIsInclusive) {
  add_pline(0, {{2, 2}, {3, 2.5f}});  // exactly 1 and 0.5 away: near
  add_pline_labels(0);
  EXPECT_EQ(label_table.label_count, 1);
}

TEST_F(Labels, UnlabelledLevelsOfferNothing) {
  model_store.level_label[1] = 0;
  add_pline_labels(add_pline(1, {{1, 1}, {8, 4}}));
  EXPECT_EQ(label_table.label_count, 0);
}

TEST_F(Labels, OnePointPolylineOffersItsPoint) {
  add_pline_labels(add_pline(0, {{4, 4}}));
  EXPECT_EQ(label_table.label_count, 1);
}

// The cell index gives the same table as scanning every accepted label, for
// clustered and scattered candidates, outliers far from the extent (which
// also fill the table), and extents whose thresholds make no cells.
TEST_F(Labels, IndexAgreesWithScanningEveryLabel) {
  struct Extent {
    float xmin, xmax, ymin, ymax;
  } extents[] = {{0, 10, 0, 5}, {-1e-3f, 2e-3f, 100, 100.5f}, {-3e38f, 3e38f, -1, 1}, {3, 3, 0, 5},
                 {1e20f, -1e20f, 1e20f, -1e20f}, {0, 1e-30f, 0, 1}};
  std::mt19937 rng(7);
  for (const Extent& e : extents) {
    for (int round = 0; round < 20; ++round) {
      set_model(e.xmin, e.xmax, e.ymin, e.ymax, {{1.0f}, {2.0f}, {3.0f}});
      reset_labels();
      LiteralLabels literal;
      std::uniform_real_distribution<double> u(-0.2, 1.2);
      std::uniform_int_distribution<int> level(0, 2);
      const int offers = 200 + 150 * round;
      for (int i = 0; i < offers; ++i) {
        double dx = static_cast<double>(e.xmax) - e.xmin, dy = static_cast<double>(e.ymax) - e.ymin;
        float x, y;
        if (i % 7 == 3) {  // spread far out, so the table can fill
          x = static_cast<float>(e.xmin + dx * (i % 41) * 3.1);
          y = static_cast<float>(e.ymin + dy * (i / 41) * 2.3);
        } else {
          x = static_cast<float>(e.xmin + dx * u(rng));
          y = static_cast<float>(e.ymin + dy * u(rng));
        }
        int32_t k = level(rng);
        int32_t p = add_point(x, y, k);
        engine_tables.point_count = 1;  // keep the point table small
        add_label(p, k);
        literal.offer(x, y, k);
      }
      ASSERT_EQ(label_table.label_count, static_cast<int32_t>(literal.labels.size()));
      for (int32_t m = 0; m < label_table.label_count; ++m) {
        ASSERT_EQ(label_table.labels[m].x, literal.labels[m].x);
        ASSERT_EQ(label_table.labels[m].y, literal.labels[m].y);
        ASSERT_EQ(label_table.labels[m].level, literal.labels[m].k);
      }
    }
  }
}

TEST_F(Labels, FullTableDropsFurtherCandidates) {
  // Candidates 3 units apart in x never come near each other.
  for (int i = 0; i < 520; ++i) add_label(add_point(3.0f * i, 1, 0), 0);
  EXPECT_EQ(label_table.label_count, 500);
  EXPECT_EQ(label_table.labels[499].x, 3.0f * 499);
}

TEST_F(Labels, PlacementByEdge) {
  // Extent x 0..10, y 0..5 in 600 x 500: the label corner is offset from the
  // mapped point by the edge the point lies on.
  struct Case {
    const char* name;
    float x, y;
    int32_t column, row;
  } cases[] = {
      {"left edge", 0, 2.5f, 10, 163},   {"top edge", 5, 5, 280, 40},       {"inside", 2, 1, 115, 234},
      {"right edge", 10, 2.5f, 544, 163}, {"bottom edge", 5, 0, 280, 294},
      {"left edge wins over bottom", 0, 0, 10, 282},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dl_discard();
    draw_label(c.x, c.y, 2, 10);
    std::string bytes(reinterpret_cast<const char*>(dl_writer.bytes), dl_writer.used);
    EXPECT_EQ(bytes, ints({3, 5}) + "12.50" + ints({c.column, c.row, 10}));
  }
  dl_discard();
}

TEST_F(Labels, TopEdgeOffsetIsTheFontSize) {
  dl_discard();
  draw_label(5, 5, 0, 16);
  std::vector<Record> r = decode(std::string(reinterpret_cast<const char*>(dl_writer.bytes), dl_writer.used));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].numbers, (std::vector<int32_t>{280, 34, 16}));
  dl_discard();
}

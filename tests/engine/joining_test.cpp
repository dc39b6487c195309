// Segments into polylines, driven through make_poly directly: shared points,
// extensions, the four joins, rings, the dropped segments and every limit.
#include <cmath>
#include <limits>

#include "engine_fixture.h"
#include "isovar_messages.h"
#include "test_support.h"

namespace engine_test {
namespace {

using testing_support::cp932;

// Points named by a letter and a number, on level 0 unless said otherwise.
Pt P(int n) { return Pt(static_cast<float>(n), 0.5f); }

int seg(Pt a, Pt b, int k = 0) { return make_poly(a.first, a.second, b.first, b.second, k); }

// A row a1 a2 .. an built by extending at the tail.
void chain(int from, int to) {
  for (int i = from; i < to; ++i) ASSERT_EQ(seg(P(i), P(i + 1)), 0);
}

std::vector<Pt> Ps(std::initializer_list<int> ns) {
  std::vector<Pt> out;
  for (int n : ns) out.push_back(P(n));
  return out;
}

TEST_F(EngineTest, PointsAreFoundByExactValueAndLevel) {
  EXPECT_EQ(find_or_add_point(1.5f, 2, 0), -1);
  EXPECT_EQ(find_or_add_point(1.5f, 2, 1), -2);  // same place, other level
  EXPECT_EQ(find_or_add_point(1.5f, 2, 0), 1);
  EXPECT_EQ(find_or_add_point(std::nextafter(1.5f, 2.0f), 2, 0), -3);
  // -0.0 equals 0.0.
  EXPECT_EQ(find_or_add_point(0.0f, -0.0f, 0), -4);
  EXPECT_EQ(find_or_add_point(-0.0f, 0.0f, 0), 4);
  // A NaN equals nothing, so it is added every time.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(find_or_add_point(nan, 1, 0), -5);
  EXPECT_EQ(find_or_add_point(nan, 1, 0), -6);
  // A new run starts from an empty table.
  reset_engine_tables();
  EXPECT_EQ(find_or_add_point(1.5f, 2, 0), -1);
  EXPECT_EQ(find_or_add_point(0.0f, 0.0f, 0), -2);
}

TEST_F(EngineTest, PointIndexStartsEmptyInEveryRun) {
  // Each run marks its index entries with its own stamp. Point (9, 9) is
  // stored in slot 5 in the first run only; no later run may find it.
  for (int run = 0; run < 2 * 32767 + 3; ++run) {
    reset_engine_tables();
    if (run == 0) {
      for (int i = 1; i <= 4; ++i) find_or_add_point(static_cast<float>(i), 0, 0);
      ASSERT_EQ(find_or_add_point(9, 9, 0), -5);
    } else {
      ASSERT_EQ(find_or_add_point(7, 7, 0), -1);
      ASSERT_EQ(find_or_add_point(7, 7, 0), 1);
      if (run % 32767 == 0) {
        ASSERT_EQ(find_or_add_point(9, 9, 0), -2) << "run " << run;
      }
    }
  }
}

TEST_F(EngineTest, ZeroLengthAndRepeatedSegmentsAreIgnored) {
  EXPECT_EQ(seg(P(1), P(1)), 0);
  EXPECT_EQ(make_poly(0.0f, 1, -0.0f, 1, 0), 0);
  EXPECT_EQ(engine_tables.point_count, 1);
  ASSERT_EQ(seg(P(1), P(2)), 0);
  EXPECT_EQ(seg(P(1), P(2)), 0);
  EXPECT_EQ(seg(P(2), P(1)), 0);
  EXPECT_EQ(engine_tables.pline_total, 1);
  EXPECT_EQ(row_points(0), Ps({1, 2}));
  EXPECT_EQ(message(), "");
}

TEST_F(EngineTest, ExtensionAtBothEnds) {
  ASSERT_EQ(seg(P(2), P(3)), 0);  // new row: 2 3
  ASSERT_EQ(seg(P(3), P(4)), 0);  // known tail, new point after it
  ASSERT_EQ(seg(P(1), P(2)), 0);  // new point before the known head
  ASSERT_EQ(seg(P(0), P(1)), 0);
  ASSERT_EQ(seg(P(5), P(4)), 0);
  EXPECT_EQ(engine_tables.pline_total, 1);
  EXPECT_EQ(row_points(0), Ps({0, 1, 2, 3, 4, 5}));
}

TEST_F(EngineTest, JoinTable) {
  // Row a = 1 2 3 and row b = 7 8 9; the segment links p1 (an end of a) to
  // p2 (an end of b):
  //   tail a - tail b:  1 2 3 9 8 7  in a
  //   tail a - head b:  1 2 3 7 8 9  in a
  //   head a - tail b:  7 8 9 1 2 3  in b
  //   head a - head b:  3 2 1 7 8 9  in b
  struct Case {
    int p1, p2;
    int kept;
    std::vector<Pt> points;
  };
  const Case cases[] = {
      {3, 9, 0, Ps({1, 2, 3, 9, 8, 7})},
      {3, 7, 0, Ps({1, 2, 3, 7, 8, 9})},
      {1, 9, 1, Ps({7, 8, 9, 1, 2, 3})},
      {1, 7, 1, Ps({3, 2, 1, 7, 8, 9})},
  };
  for (const Case& c : cases) {
    reset_engine_tables();
    chain(1, 3);
    chain(7, 9);
    ASSERT_EQ(seg(P(c.p1), P(c.p2)), 0);
    EXPECT_EQ(engine_tables.pline_total, 2);
    EXPECT_EQ(engine_tables.pline_count[1 - c.kept], 0) << c.p1 << "-" << c.p2;
    EXPECT_EQ(row_points(c.kept), c.points) << c.p1 << "-" << c.p2;
    // The joined row goes on growing at both of its new ends.
    const std::vector<Pt>& pts = c.points;
    ASSERT_EQ(seg(pts.front(), P(20)), 0);
    ASSERT_EQ(seg(P(21), pts.back()), 0);
    EXPECT_EQ(row_points(c.kept).front(), P(20));
    EXPECT_EQ(row_points(c.kept).back(), P(21));
  }
}

// A ring ends no row: a later segment at one of its points opens a row of
// its own (or extends another row), and the ring stays as it closed.
TEST_F(EngineTest, ARingEndsNoRow) {
  chain(1, 3);
  ASSERT_EQ(seg(P(3), P(1)), 0);
  EXPECT_EQ(row_points(0), Ps({1, 2, 3, 1}));
  EXPECT_EQ(engine_tables.pline_closed[0], 1);
  ASSERT_EQ(seg(P(1), P(0)), 0);
  EXPECT_EQ(row_points(1), Ps({1, 0}));
  // The same segment again repeats a link: nothing changes.
  EXPECT_EQ(seg(P(0), P(1)), 0);
  EXPECT_EQ(engine_tables.pline_total, 2);
  // The new row grows and closes on its own.
  ASSERT_EQ(seg(P(1), P(5)), 0);
  ASSERT_EQ(seg(P(5), P(0)), 0);
  EXPECT_EQ(row_points(1), Ps({5, 1, 0, 5}));
  EXPECT_EQ(engine_tables.pline_closed[1], 1);
  EXPECT_EQ(row_points(0), Ps({1, 2, 3, 1}));
  EXPECT_EQ(message(), "");
}

// Two rows that meet at both ends join into a ring, flagged closed:
//
//   ring 1-2-3-1 (closed)     row 1: 1 - 4    (1 is the ring's: a new row)
//                             row 2: 1 - 5    (likewise)
//   the segment 4-5 joins rows 1 and 2 into 1 - 4 - 5 - 1.
TEST_F(EngineTest, RowsMeetingAtBothEndsJoinIntoARing) {
  chain(1, 3);
  ASSERT_EQ(seg(P(3), P(1)), 0);
  ASSERT_EQ(seg(P(1), P(4)), 0);
  ASSERT_EQ(seg(P(5), P(1)), 0);
  ASSERT_EQ(engine_tables.pline_total, 2);
  EXPECT_EQ(row_points(1), Ps({5, 1, 4}));
  ASSERT_EQ(seg(P(4), P(5)), 0);
  EXPECT_EQ(row_points(1), Ps({5, 1, 4, 5}));
  EXPECT_EQ(engine_tables.pline_closed[1], 1);
  EXPECT_EQ(message(), "");
}

// Where more than two segments meet in one point, none is lost:
//
//        30                 row 0: 1 - 2 - 3     (2 is inside it)
//        |                  row 1: 7 - 8
//   1 -- 2 -- 3             2-30 and 2-7 meet row 0 at its inner point 2
//        |
//        7 -- 8
TEST_F(EngineTest, SegmentsAtInnerPointsOpenRowsOfTheirOwn) {
  chain(1, 3);
  chain(7, 8);
  ASSERT_EQ(seg(P(2), P(30)), 0);  // known point inside row 0: a row of its own
  EXPECT_EQ(engine_tables.pline_total, 3);
  EXPECT_EQ(row_points(2), Ps({2, 30}));
  ASSERT_EQ(seg(P(31), P(7)), 0);  // an ordinary extension at the head of row 1
  EXPECT_EQ(row_points(1), Ps({31, 7, 8}));
  ASSERT_EQ(seg(P(8), P(2)), 0);  // 8 ends row 1 and 2 ends row 2: they join
  EXPECT_EQ(row_points(1), Ps({31, 7, 8, 2, 30}));
  EXPECT_EQ(engine_tables.pline_count[2], 0);
  ASSERT_EQ(seg(P(3), P(2)), 0);  // repeats the link 2-3 of row 0
  ASSERT_EQ(seg(P(7), P(2)), 0);  // 7 and 2 end no row now: a new row
  EXPECT_EQ(engine_tables.pline_total, 4);
  EXPECT_EQ(row_points(3), Ps({7, 2}));
  EXPECT_EQ(row_points(0), Ps({1, 2, 3}));
  EXPECT_EQ(message(), "");
}

// Rows emptied by joins do not count: with every row in use, the live rows
// move down in their order and the new row opens after them.
TEST_F(EngineTest, EmptiedRowsMakeRoomForNewOnes) {
  // 1499 separate rows, then one that joins two of them (rows 3 and 4).
  for (int n = 0; n < kMaxPlines - 1; ++n) ASSERT_EQ(seg(P(10 * n), P(10 * n + 1)), 0);
  ASSERT_EQ(seg(P(31), P(40)), 0);  // tail of row 3 to head of row 4
  EXPECT_EQ(engine_tables.pline_count[4], 0);
  ASSERT_EQ(seg(P(100000), P(100001)), 0);  // row 1499: the table is full
  ASSERT_EQ(engine_tables.pline_total, kMaxPlines);
  ASSERT_EQ(seg(P(200000), P(200001)), 0);  // compacts, then opens row 1499
  EXPECT_EQ(engine_tables.pline_total, kMaxPlines);
  EXPECT_EQ(row_points(3), Ps({30, 31, 40, 41}));
  EXPECT_EQ(row_points(4), Ps({50, 51}));
  EXPECT_EQ(row_points(1498), Ps({100000, 100001}));
  EXPECT_EQ(row_points(1499), Ps({200000, 200001}));
  // The ends are found in their new rows: 41 extends row 3, 51 row 4.
  ASSERT_EQ(seg(P(41), P(42)), 0);
  ASSERT_EQ(seg(P(51), P(52)), 0);
  EXPECT_EQ(row_points(3), Ps({30, 31, 40, 41, 42}));
  EXPECT_EQ(row_points(4), Ps({50, 51, 52}));
  // Now 1500 rows are live: the limit holds.
  EXPECT_EQ(seg(P(300000), P(300001)), -1);
  EXPECT_EQ(message(), cp932(u8"(make_poly)ポリラインの数が多すぎる（最大：1500）"));
}

TEST_F(EngineTest, PolylineLimit) {
  for (int n = 0; n < kMaxPlines; ++n) ASSERT_EQ(seg(P(2 * n), P(2 * n + 1)), 0);
  EXPECT_EQ(seg(P(5000), P(5001)), -1);
  EXPECT_EQ(message(), cp932(u8"(make_poly)ポリラインの数が多すぎる（最大：1500）"));
  EXPECT_EQ(engine_tables.pline_total, 1500);
}

TEST_F(EngineTest, PointLimit) {
  // Rows of 1000 points on their own levels until the table is full.
  int result = 0;
  for (int k = 0; result == 0; ++k) {
    for (int i = 0; i < 999 && result == 0; ++i) result = seg(P(i), P(i + 1), k);
  }
  EXPECT_EQ(result, -1);
  EXPECT_EQ(message(), cp932(u8"(make_poly)ポリゴンの点数が多すぎます（最大：100000）"));
  EXPECT_EQ(engine_tables.point_count, 100000);
  EXPECT_EQ(engine_tables.iso_points[99999].level, 99);
}

TEST_F(EngineTest, ExtensionStopsBelow1500Points) {
  chain(0, 1498);  // 1499 points
  ASSERT_EQ(engine_tables.pline_count[0], 1499);
  EXPECT_EQ(seg(P(1498), P(5000)), -1);
  EXPECT_EQ(message(), cp932(u8"(make_poly)ポリゴンテーブルオーバーフロー 1"));
  EXPECT_EQ(seg(P(6000), P(0)), -1);
  EXPECT_EQ(message(), cp932(u8"(make_poly)ポリゴンテーブルオーバーフロー 2"));
  EXPECT_EQ(engine_tables.pline_count[0], 1499);
  // Closing it needs no room check and leaves 1500 points.
  ASSERT_EQ(seg(P(1498), P(0)), 0);
  EXPECT_EQ(engine_tables.pline_count[0], 1500);
  EXPECT_EQ(engine_tables.pline_closed[0], 1);
  EXPECT_EQ(row_points(0).back(), P(0));
}

TEST_F(EngineTest, JoinStopsBelow1500Points) {
  chain(0, 748);        // 749 points
  chain(1000, 1749);    // 750 points
  chain(2000, 2749);    // 750 points
  ASSERT_EQ(seg(P(1749), P(2000)), -1);
  EXPECT_EQ(message(), cp932(u8"(connect_pline)ポリラインの点数が多すぎる。"));
  ASSERT_EQ(seg(P(748), P(1000)), 0);
  EXPECT_EQ(engine_tables.pline_count[0], 1499);
  EXPECT_EQ(engine_tables.pline_count[1], 0);
}

TEST_F(EngineTest, BandPieceLimit) {
  const float x[5] = {0, 1, 0, 0, 0}, y[5] = {0, 0, 1, 0, 0};
  for (int i = 0; i < kFillPolySlots - 1; ++i) ASSERT_EQ(add_fill_poly(i % 7, 3, x, y), 0);
  EXPECT_EQ(add_fill_poly(0, 3, x, y), -1);
  EXPECT_EQ(message(), cp932(u8"塗りつぶしポリゴンの数が多すぎる。"));
}

}  // namespace
}  // namespace engine_test

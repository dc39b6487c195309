// Finite-element models: the element walk, the shape check and the elements
// that are skipped.
#include "engine_fixture.h"
#include "test_support.h"

namespace engine_test {
namespace {

using testing_support::cp932;

class ElementTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    set_fem();
    set_levels({5});
  }
  // The unit square as nodes 1 to 4, values 0 0 10 10 (low edge at y = 0).
  void unit_square(int e) {
    add_node(1, 0, 0, 0);
    add_node(2, 1, 0, 0);
    add_node(3, 1, 1, 10);
    add_node(4, 0, 1, 10);
    add_element(e, 1, 2, 3, 4);
  }
};

TEST_F(ElementTest, SquareIsCutAlongN0N2) {
  unit_square(0);
  ASSERT_EQ(trace_isolines(), 0);
  ASSERT_EQ(engine_tables.pline_total, 1);
  EXPECT_EQ(row_points(0), (std::vector<Pt>{{1, 0.5f}, {0.5f, 0.5f}, {0, 0.5f}}));
  EXPECT_EQ(pieces(), (std::vector<Piece>{
                          {0, {{0, 0}, {0.5f, 0.5f}, {1, 0.5f}, {1, 0}}},
                          {1, {{1, 0.5f}, {0.5f, 0.5f}, {1, 1}}},
                          {0, {{0, 0}, {0.5f, 0.5f}, {0, 0.5f}}},
                          {1, {{0.5f, 0.5f}, {0, 0.5f}, {0, 1}, {1, 1}}},
                      }));
}

TEST_F(ElementTest, ShapeCheck) {
  struct Case {
    const char* what;
    Pt corners[4];
    bool accepted;
  };
  const Case cases[] = {
      {"square", {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, true},
      {"square from a vertical edge", {{0, 0}, {0, 1}, {1, 1}, {1, 0}}, true},
      {"corners on a diagonal line", {{0, 0}, {1, 1}, {2, 2}, {3, 3}}, false},
      {"corners on a vertical line", {{0, 0}, {0, 1}, {0, 2}, {0, 3}}, false},
      {"bow tie, edges 0-1 and 2-3 cross", {{0, 0}, {1, 1}, {1, 0}, {0, 1}}, false},
      {"bow tie, edges 1-2 and 3-0 cross", {{0, 0}, {1, 0}, {0, 1}, {1, 1}}, false},
      // The crossing lies on a horizontal first edge, whose y range is empty.
      {"crossing on a horizontal edge", {{0, 0}, {2, 0}, {1.5f, 1}, {0.5f, -1}}, true},
  };
  for (const Case& c : cases) {
    for (int i = 0; i < 4; ++i) add_node(10 + i, c.corners[i].first, c.corners[i].second, 0);
    const int32_t nodes[4] = {10, 11, 12, 13};
    run_context.message_buffer[0] = '\0';
    EXPECT_EQ(check_element_shape(7, nodes), c.accepted ? 0 : -1) << c.what;
    EXPECT_EQ(message(), c.accepted ? "" : cp932(u8"要素（7）の節点（10,11,12,13）の形状が不正です。")) << c.what;
  }
}

TEST_F(ElementTest, BadShapeStopsTheWalk) {
  unit_square(0);
  add_node(20, 0, 0, 0);
  add_node(21, 1, 1, 0);
  add_node(22, 1, 0, 10);
  add_node(23, 0, 1, 10);
  add_element(5, 20, 21, 22, 23);
  add_element(9, 1, 2, 3);
  EXPECT_EQ(trace_isolines(), -1);
  EXPECT_EQ(message(), cp932(u8"要素（5）の節点（20,21,22,23）の形状が不正です。"));
  EXPECT_EQ(engine_tables.fill_poly_count, 4);  // element 0 only
}

TEST_F(ElementTest, ThreeNodeElementsAreNotShapeChecked) {
  add_node(1, 0, 0, 0);
  add_node(2, 1, 1, 5);
  add_node(3, 2, 2, 10);
  add_element(0, 1, 2, 3);
  EXPECT_EQ(trace_isolines(), 0);
  EXPECT_EQ(engine_tables.fill_poly_count, 2);
}

TEST_F(ElementTest, ElementsThatCannotBeTracedAreSkipped) {
  unit_square(50);
  add_node_without_value(7, 2, 2);
  add_element(1, 2, 3, 7);                     // a node without a value
  add_element(2, 1, 2, 3, 100000);             // past the node tables
  add_element(3, 1, 2000000000, 3);
  add_element(4, 1, 2, -1, 3);                 // two nodes before the end mark
  add_element(6, -1, 1, 2, 3);
  add_element(8, 99999, 1, 2);                 // node 99999 is not defined
  add_element(99999, 1, 2, 3, -7);             // a 3-node element at the last slot
  ASSERT_EQ(trace_isolines(), 0);
  // Element 50's four pieces, then element 99999's two.
  EXPECT_EQ(engine_tables.fill_poly_count, 6);
  EXPECT_EQ(engine_tables.pline_total, 1);
}

}  // namespace
}  // namespace engine_test

// The finite-element sections "*node", "*element", "*node_data", "*frame".
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "default_objects.h"
#include "default_objects.h"
#include "read_helper.h"

namespace {

const std::string kFem = "*model fem\n";
const std::string kNodes = kFem + "*node\n1 0 0\n2 1 0\n3 0 1\n*end\n";  // lines 1 to 6
const std::string kRest = "*element\n1 1 2 3\n*end\n*node_data\n1 0\n2 1\n3 2\n*end\n*isovar\n0.5\n*end\n";

TEST(FemSections, Messages) {
  const FailCase cases[] = {
      {"node eof", kFem + "*node\n1 0 0\n", u8"node_input（行:3) 予期しないＥ．Ｏ．Ｆ．"},
      {"node two fields", kFem + "*node\n1 0\n", u8"node_input（行:3) ノード定義レコードが不正"},
      {"node blank before end", kFem + "*node\n  *end\n", u8"node_input（行:3) ノード定義レコードが不正"},
      {"node 100000", kFem + "*node\n100000 0 0\n", u8"(node_input)（行:3）ノード番号が不正です。（最大:100000） "},
      {"node -1", kFem + "*node\n-1 0 0\n", u8"(node_input)（行:3）ノード番号が不正です。（最大:100000） "},
      {"node twice", kFem + "*node\n1 0 0\n1 2 2\n", u8"(node_input)（行:4）ノード番号:1はすでに定義されています。"},
      {"node x", kFem + "*node\n1 1.2.3 0\n", u8"node_input（行:3) ｘ座標値が不正。"},
      {"node y", kFem + "*node\n1 0 -1e39\n", u8"node_input（行:3) ｙ座標値が不正。"},
      {"element eof", kFem + "*element\n5 1 2 3\n", u8"element_input（行:3) 予期しないＥ．Ｏ．Ｆ．"},
      {"element three fields", kFem + "*element\n5 1 2\n", u8"element_input（行:3) 要素定義レコードが不正"},
      {"element nine digits", kFem + "*element\n123456789 1 2 3\n",
       u8"(element_input)（行:3）要素番号が不正です。（最大:100000） "},
      {"element twice", kFem + "*element\n5 1 2 3\n5 1 2 3 4\n",
       u8"(element_input)（行:4）要素番号:5はすでに定義されています。 "},
      {"node data eof", kNodes + "*node_data\n1 0\n", u8"node_data_input（行:8) 予期しないＥ．Ｏ．Ｆ．"},
      {"node data one field", kNodes + "*node_data\n1\n", u8"node_input（行:8) ノード定義レコードが不正"},
      {"node data 100000", kNodes + "*node_data\n100000 0\n",
       u8"(node_data_input)（行:8）ノード番号が不正です。（最大:100000） "},
      {"node data undefined", kNodes + "*node_data\n7 0\n", u8"(node_data_input)（行:8）ノード番号:7は未定議です。 "},
      {"node data twice", kNodes + "*node_data\n1 0\n1 1\n",
       u8"(node_data_input)（行:9）ノード番号:1の物理量はすでに定義されています。 "},
      {"node data value", kNodes + "*node_data\n1 abc\n", u8"node_input（行:8) ｘ座標値が不正。"},
      {"frame eof", kFem + "*frame\n0 0 1 1\n", u8"element_input（行:3) 予期しないＥ．Ｏ．Ｆ．"},
      {"frame three fields", kFem + "*frame\n0 0 1\n", u8"frame_data_input（行:3) 中抜け表示線レコードが不正"},
      {"frame not a number", kFem + "*frame\n0 0 1 x\n", u8"frame_data_input（行:3) 中抜け表示線データが不正"},
      {"frame 1e39", kFem + "*frame\n1e39 0 1 1\n", u8"frame_data_input（行:3) 中抜け表示線データが不正"},
      {"frame 11th", kFem + "*frame\n" + lines(11, [](int i) { return "0 " + std::to_string(i) + " 1 1"; }),
       u8"frame_data_input（行:13) 中抜け表示線の数が多すぎます。（最大:10） "},
  };
  expect_failures(cases);
}

TEST(FemSections, NodesElementsValuesAndFrames) {
  std::string file = kFem + "*node\n0 -1.5 2\n99999,4,5\n7 1 1\n*end\n*element\n5 0 99999 7\n6 7 0 99999 123 6\n"
                     "8 -4 100000 0 1\n*end\n*node_data\n99999 2.5\n0 -1\n*end\n"
                     "*frame\n-12.5000 0 12.5 1e1\n*endframe\n*isovar\n0\n*end\n";
  ASSERT_EQ(read_text(file).result, 0);
  const ModelStore& m = model_store;
  EXPECT_EQ(m.model_kind, kFemModel);
  EXPECT_EQ(m.node_state[0], 2);
  EXPECT_EQ(m.node_state[7], 1);
  EXPECT_EQ(m.node_state[99999], 2);
  EXPECT_EQ(m.node_x[0], -1.5f);
  EXPECT_EQ(m.node_y[99999], 5.0f);
  EXPECT_EQ(m.node_value[99999], 2.5f);
  const int32_t want[3][4] = {{0, 99999, 7, -1}, {7, 0, 99999, 123}, {-4, 100000, 0, 1}};
  const int numbers[3] = {5, 6, 8};
  for (int e = 0; e < 3; ++e) {
    EXPECT_EQ(m.element_defined[numbers[e]], 1);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(m.element_nodes[numbers[e]][k], want[e][k]) << numbers[e];
  }
  ASSERT_EQ(m.frame_count, 1);
  EXPECT_EQ(m.frame_from[0].x, -12.5f);
  EXPECT_EQ(m.frame_to[0].y, 10.0f);
  EXPECT_EQ(m.extent_xmin, -1.5f);
  EXPECT_EQ(m.extent_xmax, 4.0f);
  EXPECT_EQ(m.extent_ymin, 1.0f);
  EXPECT_EQ(m.extent_ymax, 5.0f);
}

TEST(FemSections, RepeatedNodeSectionForgetsEarlierNodes) {
  std::string file = kFem + "*node\n1 0 0\n9 0 0\n*end\n*node\n1 0 0\n2 1 0\n3 0 1\n*end\n" + kRest;
  ASSERT_EQ(read_text(file).result, 0);
  EXPECT_EQ(model_store.node_state[9], 0);
  ReadResult r = read_text(file + "*node_data\n9 1\n*end\n");
  EXPECT_EQ(r.message, testing_support::cp932(u8"(node_data_input)（行:23）ノード番号:9は未定議です。 "));
}

TEST(FemSections, TenFramesAreAccepted) {
  std::string frames = "*frame\n" + lines(10, [](int i) { return std::to_string(i) + " 0 1 1"; }) + "*end\n";
  ASSERT_EQ(read_text(kNodes + kRest + frames).result, 0);
  EXPECT_EQ(model_store.frame_count, 10);
  EXPECT_EQ(model_store.frame_from[9].x, 10.0f);
}

TEST(FemSections, NodeNumberErrorGoesToAnOpenRunLog) {
  testing_support::TempDir dir;
  const std::string log = dir.file("isovar.log");
  run_context.log_file = std::fopen(log.c_str(), "w");
  ASSERT_NE(run_context.log_file, nullptr);
  std::fputs("(isovarMain)  width=1   height=1\n", run_context.log_file);
  ReadResult r = read_text(kFem + "*node\n1 0 0\n100000 0 0\n");
  std::fclose(run_context.log_file);
  run_context.log_file = nullptr;
  const std::string message = testing_support::cp932(u8"(node_input)（行:4）ノード番号が不正です。（最大:100000） ");
  EXPECT_EQ(r.message, message);
  EXPECT_EQ(testing_support::read_file(log), "(isovarMain)  width=1   height=1\nMAX_NODE:100000\n" + message);

  // Without a log only errMsg gets it.
  EXPECT_EQ(read_text(kFem + "*node\n-5 0 0\n").result, -1);
}

}  // namespace

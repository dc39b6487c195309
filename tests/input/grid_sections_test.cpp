// The grid sections "*x", "*y", "*value" and the level section "*isovar".
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "default_objects.h"
#include "read_helper.h"

namespace {

const std::string kXY = "*x\n0\n1\n*end\n*y\n0\n1\n*end\n";  // 8 lines
const std::string kLevels = "*isovar\n0.5\n*end\n";

std::string number(int i) { return std::to_string(i); }

TEST(GridSections, Messages) {
  const FailCase cases[] = {
      {"x eof", "*x\n0\n", u8"(x_input)   予期しないＥ．Ｏ．Ｆ．"},
      {"x separators only", "*x\n , \n", u8"x_input (行:2)  ｘ座標レコードが不正"},
      {"x not a number", "*x\n1.2.3\n", u8"x_input (行:2)  ｘ座標値が不正。"},
      {"x beyond single precision", "*x\n1e39\n", u8"x_input (行:2)  ｘ座標値が不正。"},
      {"x repeated", "*x\n0\n1\n1\n", u8"x_input (行:4)  ｘ座標値は昇順に与えてください。"},
      {"x 500th", "*x\n" + lines(499, number) + "abc\n", u8"(x_input) (行:501)  Ｘ方向の格子点数が多すぎます。（最大:500） "},
      {"y eof", "*y\n", u8"y_input 予期しないＥ．Ｏ．Ｆ．"},
      {"y separators only", "*y\n\t\n", u8"y_input  (行:2)  ｘ座標レコードが不正"},
      {"y not a number", "*y\nabc\n", u8"y_input  (行:2)  ｙ座標値が不正。"},
      {"y descending", "*y\n2\n1\n", u8"y_input  (行:3) ｙ座標値は昇順に与えてください。"},
      {"y 501st", "*y\n" + lines(501, number), u8"(y_input) (行:502)  Ｙ方向の格子点数が多すぎます。（最大:500） "},
      {"value eof", kXY + "*value\n1 1 0\n", u8"value_input (行:10) 予期しないＥ．Ｏ．Ｆ．"},
      {"value end with a field", kXY + "*value\n*end 1\n", u8"value_input (行:10) valueレコードのフォーマットエラー"},
      {"value one field", kXY + "*value\n1\n", u8"value_input (行:10) valueレコードのフォーマットエラー"},
      {"value two fields", kXY + "*value\n1,1\n", u8"value_input (行:10) valueレコードのフォーマットエラー"},
      {"value i 0", kXY + "*value\n0 1 5.0\n", u8"value_input (行:10)  格子点のｘの値が不正。"},
      {"value i a1", kXY + "*value\na1 1 5.0\n", u8"value_input (行:10)  格子点のｘの値が不正。"},
      {"value i huge", kXY + "*value\n99999999999999999 1 5\n", u8"value_input (行:10)  格子点のｘの値が不正。"},
      {"value j 3", kXY + "*value\n1 3 5.0\n", u8"value_input (行:10)  格子点のｙの値が不正。"},
      {"value no x yet", "*value\n1 1 5.0\n", u8"value_input (行:2)  格子点のｘの値が不正。"},
      {"value not a number", kXY + "*value\n1 2 abc\n", u8"val_input (行:10)  物理量値が不正。"},
      {"value 1e400", kXY + "*value\n1 2 1e400\n", u8"val_input (行:10)  物理量値が不正。"},
      {"value twice", kXY + "*value\n1 1 5.0\n1 1 6.0\n", u8"(val_input)行：11 格子点(1,1)の物理量を２重定義 "},
      {"level eof", "*isovar\n1\n", u8"con_input  (行:2) 予期しないＥ．Ｏ．Ｆ．"},
      {"level not a number", "*isovar\nx1\n", u8"con_input  (行:2) Isovar値が不正。"},
      {"level beyond single precision", "*isovar\n-1e39\n", u8"con_input  (行:2) Isovar値が不正。"},
      {"level kind thin", "*isovar\n10 thin\n", u8"con_input   (行:2) Isovar線の種類指定が不正"},
      {"level no as kind", "*isovar\n10 no\n", u8"con_input   (行:2) Isovar線の種類指定が不正"},
      {"level label yes", "*isovar\n10 default yes\n", u8"con_input   (行:2) Isovar線の表示指定が不正"},
      {"level repeated", "*isovar\n1\n2\n2\n", u8"con_input  (行:4)  Isovar値が昇順でない。"},
      {"level separators after 1", "*isovar\n1\n , \n", u8"con_input  (行:3)  Isovar値が昇順でない。"},
      {"level 50th", "*isovar\n" + lines(50, number) + "*end\n", u8"con_input   (行:51) Isovar値が多すぎる。"},
  };
  expect_failures(cases);
}

TEST(GridSections, LimitsAreAccepted) {
  std::string file = "*x\n" + lines(499, number) + "*end\n*y\n" + lines(500, number) +
                     "*end\n*value\n499 500 7\n*end\n*isovar\n" + lines(49, number) + "*end\n";
  ASSERT_EQ(read_text(file).result, 0);
  EXPECT_EQ(model_store.grid_nx, 499);
  EXPECT_EQ(model_store.grid_ny, 500);
  EXPECT_EQ(model_store.grid_value[499][500], 7.0f);
  EXPECT_EQ(model_store.level_count, 49);
  EXPECT_EQ(model_store.levels[48], 49.0f);
}

TEST(GridSections, ValuesAndUndefinedPoints) {
  // Indices are integers (2.7 is column 2); points without a record stay
  // undefined; a repeated section clears every flag but not the values.
  std::string file = "*x\n0\n1\n2\n*end\n*y\n10\n20\n*end\n*value\n2.7 1 3.5\n1 2 -1\n*end\n"
                     "*value\n3 2 1e-2\n*end\n" + kLevels;
  ASSERT_EQ(read_text(file).result, 0);
  const ModelStore& m = model_store;
  EXPECT_EQ(m.grid_defined[2][1], 0);
  EXPECT_EQ(m.grid_value[2][1], 3.5f);
  EXPECT_EQ(m.grid_defined[1][2], 0);
  EXPECT_EQ(m.grid_defined[3][2], 1);
  EXPECT_EQ(m.grid_value[3][2], static_cast<float>(1.0 * 0.1 * 0.1));
  EXPECT_EQ(m.grid_x[3], 2.0f);
  EXPECT_EQ(m.grid_y[2], 20.0f);
}

TEST(GridSections, LevelAttributes) {
  std::string file = kXY + "*value\n*end\n*isovar\n-5 bold\n , \n10 bold no\n20 default no\n30\n*end extra\n";
  ASSERT_EQ(read_text(file).result, 0);
  const ModelStore& m = model_store;
  ASSERT_EQ(m.level_count, 5);
  const float levels[] = {-5, 0, 10, 20, 30};
  const int kinds[] = {1, 0, 1, 0, 0};
  const int labels[] = {1, 1, 0, 0, 1};
  for (int k = 0; k < 5; ++k) {
    EXPECT_EQ(m.levels[k], levels[k]) << k;
    EXPECT_EQ(m.level_kind[k], kinds[k]) << k;
    EXPECT_EQ(m.level_label[k], labels[k]) << k;
  }
}

TEST(GridSections, RepeatedSectionsReplaceAndEmptyOnesAreAccepted) {
  std::string file = "*x\n5\n6\n7\n*end\n*x 10\n0\n1\n*end\n*y\n0\n1\n*end\n*value\n*end\n"
                     "*isovar\n1\n2\n*end\n*isovar\n*end\n";
  ASSERT_EQ(read_text(file).result, 0);
  EXPECT_EQ(model_store.grid_nx, 2);
  EXPECT_EQ(model_store.grid_x[2], 1.0f);
  EXPECT_EQ(model_store.level_count, 0);
  EXPECT_EQ(model_store.grid_defined[1][1], 0);
}


// Value lines in many spellings, each read twice: as it is, which reads the
// plain ones in place, and with a comment before its line end, which sends
// every line through the general record path. Both readings must agree on
// the result, the message, the values and the points left undefined.
TEST(GridSections, LinesReadInPlaceReadAsThroughTheRecordPath) {
  const std::vector<std::string> spellings = {
      "1 1 5",         "2,1,-3.25",      "\t3\t1\t+0.5",  " 1 2 7. ",       "2 2 .5",        "3 2 00012.500",
      "01 3 1",        "2 3 -0",         "3 3 1e2",       "1 4 1.5E-1",     "2 4 3 9",       "3 4 1.2.3",
      "4 1 5",         "1 0 5",          "1 1 6",         "1 2 ",           "1 2",           "2 2 abc",
      "3 3 12345678901234567890", "1 4 123456789012345678", "1 4 -1234567890123456.7", "+1 4 2",
      "1 4 2\r",       "1 4 2\r\r",      "1 4 \x01",      "000000001 4 3", "0000000001 4 3", "1 4 9007199254740993",
      "1 4 -",         "1 4 .",          "1,,4,,8",       "1 4 1e39",       "4294967297 1 5", "2 4294967299 5",
      "1 4 00.0000000000000001", ""};
  const std::string head = "*x\n0\n1\n2\n*end\n*y\n0\n1\n2\n3\n*end\n*value\n";
  std::mt19937 random(7);
  // Each spelling alone first, then mixtures.
  const int alone = static_cast<int>(spellings.size());
  for (int round = 0; round < alone + 300; ++round) {
    std::string plain = head, commented = head;
    const int count = round < alone ? 1 : 1 + static_cast<int>(random() % 8);
    for (int k = 0; k < count; ++k) {
      const std::string& line = spellings[round < alone ? round : random() % spellings.size()];
      // A carriage return right before the feed is no part of the line.
      const bool cr = !line.empty() && line.back() == '\r';
      plain += line + "\n";
      commented += (cr ? line.substr(0, line.size() - 1) + "#c\r" : line + "#c") + "\n";
    }
    plain += "*end\n*isovar\n1\n*end\n";
    commented += "*end\n*isovar\n1\n*end\n";
    auto image = [](const ReadResult& r) {
      std::string s = std::to_string(r.result) + " " + r.message + "\n";
      if (r.result != 0) return s;
      for (int i = 1; i <= model_store.grid_nx; ++i)
        for (int j = 1; j <= model_store.grid_ny; ++j)
          s += model_store.grid_defined[i][j] != 0 ? testing::PrintToString(model_store.grid_value[i][j]) + " " : "- ";
      return s;
    };
    const std::string expected = image(read_text(commented));
    EXPECT_EQ(image(read_text(plain)), expected) << plain;
  }
}

}  // namespace

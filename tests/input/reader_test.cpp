// The reader driver: keywords, required sections, titles, extent, errMsg.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "IsovarLib.h"
#include "default_objects.h"
#include "read_helper.h"

namespace {

using testing_support::cp932;

const std::string kGrid = "*x\n0\n1\n2\n*end\n*y\n10\n20\n*end\n*value\n1 1 0\n*end\n*isovar\n0.5\n*end\n";
const std::string kFem = "*model fem\n*node\n*end\n*element\n*end\n*node_data\n*end\n*isovar\n*end\n";

TEST(Reader, Messages) {
  const FailCase cases[] = {
      {"empty file", "", u8"(ReadIsovarFile) 　差分モデルのＸ座標データが与えられていません。 "},
      {"comments only", "# a\n\n#\n", u8"(ReadIsovarFile) 　差分モデルのＸ座標データが与えられていません。 "},
      {"indented comment", " \t# b\n", u8"(ReadIsovarFile) 　入力データのＩＤの種別:が判別できません。 "},
      {"model not first", "# c\n*isovar\n*end\n*model fem\n", u8"(ReadIsovarFile) 行：4　　*modelは先頭で与えてください。 "},
      {"model alone", "*model\n", u8"(ReadIsovarFile) 行：1　*model record が不正。\t "},
      {"model parameter", "*MODEL Grid\n", u8"(ReadIsovarFile) 行：1　　*modelレコードのパラメータ:gridが不正。 "},
      {"display alone", "*display\n", u8"(ReadIsovarFile) 　（行：1）*displayフォーマットエラー "},
      {"display half", "#\n\n#\n\n*display half\n", u8"(ReadIsovarFile) 　（行：5）*displayフォーマットエラー "},
      {"x in fem", "*model fem\n*x\n", u8"(ReadIsovarFile) 　FEMモデルでは、＊Ｘは使えません。 "},
      {"y in fem", "*model fem\n*y\n", u8"(ReadIsovarFile) 　FEMモデルでは、＊Ｙは使えません。 "},
      {"value in fem", "*model fem\n*value\n", u8"(ReadIsovarFile) 　FEMモデルでは、*valueは使えません。 "},
      {"node in grid", "*node\n", u8"(ReadIsovarFile) 　差分モデルでは、*nodeは使えません。 "},
      {"element in grid", "*model differencial\n*element\n", u8"(ReadIsovarFile) 　差分モデルでは、*elementは使えません。 "},
      {"node_data in grid", "*node_data\n", u8"(ReadIsovarFile) 　差分モデルでは、*node_dataは使えません。 "},
      {"frame in grid", "*frame\n", u8"(ReadIsovarFile) 　差分モデルでは、*frame は使えません。 "},
      {"end outside", "*end\n", u8"(ReadIsovarFile) 　入力データのＩＤの種別:*endが判別できません。 "},
      {"commas only", ",,,\n", u8"(ReadIsovarFile) 　入力データのＩＤの種別:が判別できません。 "},
      {"long keyword", "*Abcdefghijklmnopq\n", u8"(ReadIsovarFile) 　入力データのＩＤの種別:*abcdefghijklmが判別できません。 "},
      {"rest of a long comment", "#" + std::string(253, 'c') + "Keyword\n",
       u8"(ReadIsovarFile) 　入力データのＩＤの種別:keywordが判別できません。 "},
      {"no y", "*x\n*end\n", u8"(ReadIsovarFile) 　差分モデルのＹ座標データが与えられていません。 "},
      {"no value", "*y\n*end\n*x\n*end\n", u8"(ReadIsovarFile) 　差分モデルの物理量データが与えられていません。 "},
      {"no grid levels", "*x\n*end\n*y\n*end\n*value\n*end\n", u8"(ReadIsovarFile) 　Isovar値の定義が与えられていません。\t "},
      {"no nodes", "*model fem\n*isovar\n*end\n", u8"(ReadIsovarFile) 　ＦＥＭモデルのノード座標データが与えられていません。 "},
      {"no elements", "*model fem\n*node\n*end\n", u8"(ReadIsovarFile) 　ＦＥＭモデルの要素定義が与えられていません。 "},
      {"no node data", "*model fem\n*node\n*end\n*element\n*end\n",
       u8"(ReadIsovarFile) 　ＦＥＭモデルのノード物理量データが与えられていません。 "},
      {"no fem levels", "*model fem\n*node\n*end\n*element\n*end\n*node_data\n*end\n",
       u8"(ReadIsovarFile) 　Isovar値の定義が与えられていません。\t "},
      {"title eof", "*title\nA\n", u8"(title_input)   予期しないＥ．Ｏ．Ｆ．"},
      {"six titles", "*title\n1\n2\n3\n4\n5\n6\n*end\n", u8"(title_input) (行:7)  タイトルの数が多すぎます。（最大:5） "},
      {"59-byte title", "*title\n" + std::string(59, 't') + "\n*end\n",
       u8"(title_input) (行:2)  タイトル文字列が多すぎます。（最大:58） "},
  };
  expect_failures(cases);
}

TEST(Reader, OpenFailureIsCutToTheCallersBuffer) {
  // A long path with two-byte characters: the message keeps whole
  // characters and never runs past the 256 bytes of errMsg.
  const std::string path = "/nonexistent/" + std::string(200, 'p') + cp932(u8"ああああああああああああああああああああ.iso");
  const std::string full = cp932(u8"入力ファイル(") + path + cp932(u8")をオープンできません。");
  char err[400];
  std::memset(err, '~', sizeof err);
  ASSERT_EQ(readData(path.c_str(), err), -1);
  const size_t len = std::strlen(err);
  EXPECT_LE(len, 255u);
  EXPECT_GE(len, 254u);
  EXPECT_EQ(full.compare(0, len, err), 0);
  EXPECT_NO_THROW(testing_support::utf8(err));
  for (size_t i = 256; i < sizeof err; ++i) ASSERT_EQ(err[i], '~');

  const std::string shorter = "/nonexistent/model.iso";
  ASSERT_EQ(readData(shorter.c_str(), err), -1);
  EXPECT_EQ(std::string(err), cp932(u8"入力ファイル(/nonexistent/model.iso)をオープンできません。"));
  EXPECT_EQ(readData(shorter.c_str(), nullptr), -1);
}

TEST(Reader, SuccessLeavesErrMsgAloneAndSetsTheModel) {
  std::string file = "# made by hand\r\n*Model Differencial extra\r\n*TITLE\r\n" + cp932(u8"温度分布　第１図") +
                     "\r\n#not a comment\r\n\r\n*End of nothing\r\n" + std::string(58, 'w') +
                     "\r\n*END\r\n*Display FULL\r\n" + kGrid;
  testing_support::TempDir dir;
  testing_support::write_file(dir.file("m.iso"), file);
  char err[256];
  std::strcpy(err, "untouched");
  ASSERT_EQ(readData(dir.file("m.iso").c_str(), err), 0) << testing_support::utf8(err);
  EXPECT_STREQ(err, "untouched");
  const ModelStore& m = model_store;
  EXPECT_EQ(m.model_kind, kGridModel);
  EXPECT_EQ(m.display_mode, 2);
  ASSERT_EQ(m.title_count, 5);
  EXPECT_EQ(std::string(m.titles[0]), cp932(u8"温度分布　第１図"));
  EXPECT_STREQ(m.titles[1], "#not a comment");
  EXPECT_STREQ(m.titles[2], "");
  EXPECT_STREQ(m.titles[3], "*End of nothing");
  EXPECT_EQ(std::string(m.titles[4]), std::string(58, 'w'));
}

TEST(Reader, EachReadStartsFromItsOwnReset) {
  ASSERT_EQ(read_text("*model fem\n*title\nold\n*end\n*display full\n" + kFem.substr(11)).result, 0);
  EXPECT_EQ(model_store.display_mode, 2);
  ASSERT_EQ(read_text(kGrid, false).result, 0);
  EXPECT_EQ(model_store.model_kind, kGridModel);
  EXPECT_EQ(model_store.display_mode, 1);
  EXPECT_EQ(model_store.title_count, 0);
}

TEST(Reader, Extent) {
  ASSERT_EQ(read_text(kGrid).result, 0);
  const ModelStore& m = model_store;
  EXPECT_EQ(m.extent_xmin, 0.0f);
  EXPECT_EQ(m.extent_xmax, 2.0f);
  EXPECT_EQ(m.extent_ymin, 10.0f);
  EXPECT_EQ(m.extent_ymax, 20.0f);

  ASSERT_EQ(read_text(kFem).result, 0);
  EXPECT_EQ(m.extent_xmin, 1e20f);
  EXPECT_EQ(m.extent_ymin, 1e20f);
  EXPECT_EQ(m.extent_xmax, -1e20f);
  EXPECT_EQ(m.extent_ymax, -1e20f);

  // A grid direction without coordinates must not pick up another file's.
  ASSERT_EQ(read_text(kGrid).result, 0);
  ASSERT_EQ(read_text("*x\n*end\n*y\n5\n*end\n*value\n*end\n*isovar\n*end\n", false).result, 0);
  EXPECT_EQ(m.extent_xmin, 1e20f);
  EXPECT_EQ(m.extent_xmax, -1e20f);
  EXPECT_EQ(m.extent_ymin, 5.0f);
  EXPECT_EQ(m.extent_ymax, 5.0f);
}

TEST(Reader, ExamplesRead) {
  for (const char* name : {"examples/terrain.isovar", "examples/plate.isovar", "examples/large.isovar"}) {
    char err[256] = "";
    EXPECT_EQ(readData(testing_support::source_path(name).c_str(), err), 0)
        << name << ": " << testing_support::utf8(err);
  }
}

}  // namespace

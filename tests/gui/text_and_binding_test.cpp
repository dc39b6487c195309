// The small pieces under the commands: finding the library, showing its
// code page 932 texts, and the file types a filter text shows.
#include <gtest/gtest.h>

#include <QStringList>

#include "cp932_text.h"
#include "file_open_dlg.h"
#include "gui_fakes.h"
#include "isovar_lib_binding.h"

using testing_support::cp932;

namespace {

TEST(LibraryBinding, LooksBesideTheExecutableBeforeTheSearchPath) {
  std::vector<std::string> expected{"/opt/isovar/bin/libIsovarLib.so", "/opt/isovar/bin/../lib/libIsovarLib.so"};
  // A Debian /usr installation keeps it in a folder of its own below lib.
  if (std::string(kInstalledLibDir) != "../lib")
    expected.push_back("/opt/isovar/bin/" + std::string(kInstalledLibDir) + "/libIsovarLib.so");
  expected.push_back("libIsovarLib.so");
  EXPECT_EQ(isovar_lib_candidates("/opt/isovar/bin"), expected);
  EXPECT_EQ(isovar_lib_candidates(""), std::vector<std::string>{"libIsovarLib.so"});
}

TEST(LibraryBinding, FindsTheBuiltLibraryFromTheTestsOwnFolder) {
  IsovarLibBinding lib;
  std::string error;
  ASSERT_TRUE(load_isovar_lib(executable_dir(), &lib, &error)) << error;
  EXPECT_NE(lib.readData, nullptr);
  EXPECT_NE(lib.isovarMain, nullptr);
  EXPECT_NE(lib.saveBMP, nullptr);
  ASSERT_NE(lib.currentDir, nullptr);
  char buf[300] = {};
  EXPECT_EQ(lib.currentDir(buf), 0);
}

TEST(LibraryBinding, ReportsTheLoadersOwnError) {
  IsovarLibBinding lib;
  std::string error;

  // No such file.
  EXPECT_FALSE(bind_isovar_lib("/nonexistent/libIsovarLib.so", &lib, &error));
  EXPECT_NE(error.find("/nonexistent/libIsovarLib.so"), std::string::npos) << error;

  // A library without the functions: the platform layer.
  error.clear();
  EXPECT_FALSE(bind_isovar_lib(std::string(ISOVAR_BINARY_DIR) + "/lib/libIsovarPlatform.so", &lib, &error));
  EXPECT_NE(error.find("readData"), std::string::npos) << error;
  EXPECT_EQ(lib.readData, nullptr);

  // A broken copy beside the executable is reported, not passed over.
  InTempDir dir;
  testing_support::write_file(dir.dir().file("libIsovarLib.so"), "not a library");
  error.clear();
  EXPECT_FALSE(load_isovar_lib(dir.dir().path(), &lib, &error));
  EXPECT_NE(error.find(dir.dir().path()), std::string::npos) << error;
}

TEST(Cp932Text, DecodesTheLibrarysMessages) {
  struct Case {
    std::string bytes;
    QString shown;
  } cases[] = {
      {cp932(u8"(ReadIsovarFile) 　差分モデルのＸ座標データが与えられていません。 "),
       QString::fromUtf8(u8"(ReadIsovarFile) 　差分モデルのＸ座標データが与えられていません。 ")},
      {"cannot open print information file", QStringLiteral("cannot open print information file")},
      {"\xB1\xB2\xB3", QString::fromUtf8(u8"ｱｲｳ")},                              // half-width katakana
      {std::string("ab\0cd", 5), QStringLiteral("ab")},                           // up to the NUL
      {"a\xA0z", QString::fromUtf8(u8"a\uFFFDz")},                                // no character
      {"ok\x82", QString::fromUtf8(u8"ok\uFFFD")},                                // lead byte cut off
      {"", QString()},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fromCp932(QByteArray(c.bytes.data(), static_cast<int>(c.bytes.size()))), c.shown)
        << str(c.shown);
  }
  EXPECT_EQ(fromCp932(cp932(u8"印刷").c_str()), QString::fromUtf8(u8"印刷"));
}

TEST(FileDialogFilter, ShowsEachPairAsOneFileType) {
  struct Case {
    const char* filter;
    QStringList shown;
  } cases[] = {
      {u8"BMP(*.BMP)|*.bmp|すべて|*.*", {QString::fromUtf8(u8"BMP(*.BMP) (*.bmp)"), QString::fromUtf8(u8"すべて (*)")}},
      {"", {}},
      {"Text|*.txt;*.iso", {QStringLiteral("Text (*.txt *.iso)")}},
      {"Dangling", {}},
      {"Empty||Iso|*.iso", {QStringLiteral("Iso (*.iso)")}},
  };
  for (const Case& c : cases) EXPECT_EQ(nameFiltersOf(QString::fromUtf8(c.filter)), c.shown) << c.filter;
}

}  // namespace

// The small pieces under the commands: finding the library, showing its
// code page 932 texts, and the file types a filter text shows.
#include <gtest/gtest.h>

#include <QStringList>
#include <cstdlib>

#include "cp932_text.h"
#include "file_open_dlg.h"
#include "gui_fakes.h"
#include "isovar_lib_binding.h"
#include "window_options.h"

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

TEST(WindowOptions, TakesTheOptionsAndOneFile) {
  struct Case {
    QStringList args;
    bool large, fill, help, version;
    QString file;
    bool error;
  } cases[] = {
      {{}, false, false, false, false, "", false},
      {{"--large", "--fill", "m.isovar"}, true, true, false, false, "m.isovar", false},
      {{"m.isovar", "--fill"}, false, true, false, false, "m.isovar", false},
      {{"--help"}, false, false, true, false, "", false},
      {{"-h", "m.isovar"}, false, false, true, false, "m.isovar", false},
      {{"--version"}, false, false, false, true, "", false},
      {{"--", "--help"}, false, false, false, false, "--help", false},
      // Before QApplication has taken out its own options, help is still told.
      {{"-platform", "offscreen", "--help"}, false, false, true, false, "offscreen", true},
      {{"-stylesheet", "big.qss"}, false, false, false, false, "big.qss", true},  // no -h in it
      {{"--bogus"}, false, false, false, false, "", true},
      {{"-large", "-fill"}, true, true, false, false, "", false},
      {{"a.isovar", "b.isovar"}, false, false, false, false, "a.isovar", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(str(c.args.join(' ')));
    const WindowOptions o = parseWindowOptions(QStringList{"Isovar"} + c.args);
    EXPECT_EQ(o.large, c.large);
    EXPECT_EQ(o.fill, c.fill);
    EXPECT_EQ(o.help, c.help);
    EXPECT_EQ(o.version, c.version);
    EXPECT_EQ(o.file, c.file);
    EXPECT_EQ(!o.error.isEmpty(), c.error) << str(o.error);
  }
}

TEST(WindowOptions, ManualPageTellsEveryOption) {
  const std::string page = testing_support::read_file(testing_support::source_path("packaging/Isovar.1"));
  QStringList names = windowOptionNames();
  names << "--" << "FILE";
  for (const QString& name : names) {
    std::string roff = QString(name).replace("-", "\\-").toStdString();
    if (name == "--") roff = "\n.B \\-\\-\n";  // its own entry
    EXPECT_NE(page.find(roff), std::string::npos) << roff;
    EXPECT_NE(windowHelpText().indexOf(name), -1) << str(name);
  }
}

// --help and --version need no display: they print before the window
// system is asked for; a wrong argument ends the program before any window.
TEST(WindowProgram, PrintsHelpAndVersionWithoutADisplayAndRefusesWrongArguments) {
  const std::string program = std::string(ISOVAR_BINARY_DIR) + "/bin/Isovar";
  InTempDir dir;
  struct Case {
    std::vector<std::string> args;
    const char* platform;  // xcb without a display fails if a window is tried
    int status;
    std::string out, err;  // what the output starts with, what the errors hold
  } cases[] = {
      {{"--help"}, "xcb", 0, "Usage: Isovar [options] [FILE]\n", ""},
      {{"-h"}, "xcb", 0, "Usage: Isovar", ""},
      {{"--version"}, "xcb", 0, "Isovar " ISOVAR_VERSION "\n", ""},
      {{"m.isovar", "--help"}, "xcb", 0, "Usage: Isovar", ""},
      {{"--bogus"}, "offscreen", 2, "", "Isovar: Unknown option 'bogus'."},
      {{"a.isovar", "b.isovar"}, "offscreen", 2, "", "one input file at most"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front());
    const testing_support::ProgramResult r = testing_support::run_program(program, dir.dir().path(), c.args, [&c] {
      unsetenv("DISPLAY");
      unsetenv("WAYLAND_DISPLAY");
      setenv("QT_QPA_PLATFORM", c.platform, 1);
    });
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(r.out.substr(0, c.out.size()), c.out);
    if (c.out.empty()) {
      EXPECT_EQ(r.out, "");
    }
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
}

}  // namespace

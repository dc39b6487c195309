// isovar-plot run as a program, in a folder of its own.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "test_support.h"

using testing_support::cp932;
using testing_support::read_file;
using testing_support::TempDir;
using testing_support::write_file;

namespace {

const char* const kPlot = ISOVAR_BINARY_DIR "/bin/isovar-plot";

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs isovar-plot with args in folder dir; its output goes to files there.
// A memory limit (bytes of address space) is set for it when given.
Result plot(const TempDir& dir, const std::vector<std::string>& args, rlim_t memory = 0) {
  std::string out_path = dir.file(".stdout");
  std::string err_path = dir.file(".stderr");
  pid_t pid = fork();
  if (pid == 0) {
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || chdir(dir.path().c_str()) != 0) _exit(127);
    if (memory != 0) {
      const rlimit limit{memory, memory};
      if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(127);
    }
    dup2(out, 1);
    dup2(err, 2);
    std::vector<char*> argv{const_cast<char*>(kPlot)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(kPlot, argv.data());
    _exit(127);
  }
  Result r;
  int wstatus = 0;
  if (pid > 0 && waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus)) r.status = WEXITSTATUS(wstatus);
  r.out = read_file(out_path);
  r.err = read_file(err_path);
  return r;
}

std::string shell(const std::string& command) { return testing_support::run_command(command); }

// A 3 x 3 grid, 10 at the centre and 0 around it, level 5: one ring.
std::string ring_model(const std::string& title = "Ring") {
  std::string s = "*model differencial\n*title\n" + title + "\n*end\n*x\n0\n1\n2\n*end\n*y\n0\n1\n2\n*end\n*value\n";
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) s += std::to_string(i) + " " + std::to_string(j) + (i == 2 && j == 2 ? " 10\n" : " 0\n");
  return s + "*end\n*isovar\n5\n*end\n";
}

TEST(IsovarPlot, UsageErrorsExitTwoWithAOneLineHint) {
  TempDir dir;
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"a.iso", "--no-such-option"},
      {"a.iso", "--size", "0x10"},
      {"a.iso", "--size", "10x0"},
      {"a.iso", "--size", "20001x10"},
      {"a.iso", "--size", "10x99999999999999999999"},
      {"a.iso", "--size", "10"},
      {"a.iso", "--size", "10x"},
      {"a.iso", "--size", "x10"},
      {"a.iso", "--size", "-10x10"},
      {"a.iso", "--size", "10x10x"},
      {"a.iso", "--size", "ten"},
      {"a.iso", "--bmp", ""},
      {"a.iso", "--pdf"},
      {"a.iso", "b.iso"},
  };
  for (const auto& args : cases) {
    std::string shown;
    for (const auto& a : args) shown += "[" + a + "]";
    Result r = plot(dir, args);
    EXPECT_EQ(r.status, 2) << shown << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << shown << r.err;
    EXPECT_NE(r.err.find("--help"), std::string::npos) << shown << r.err;
    EXPECT_FALSE(testing_support::file_exists(dir.file("isovar.log"))) << shown;
  }
}

// A grid of nx x ny points with values only along its first column.
std::string thin_grid(int nx, int ny) {
  std::string text = "*x\n";
  for (int i = 0; i < nx; ++i) text += std::to_string(i) + "\n";
  text += "*end\n*y\n";
  for (int j = 0; j < ny; ++j) text += std::to_string(j) + "\n";
  text += "*end\n*value\n1 1 0\n1 2 1\n2 1 1\n2 2 2\n*end\n*isovar\n0.5\n*end\n";
  return text;
}

TEST(IsovarPlot, LargeLiftsTheTablesAndTheDefaultSaysSo) {
  TempDir dir;
  write_file(dir.file("wide.iso"), thin_grid(600, 3));
  Result r = plot(dir, {"wide.iso"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, u8"wide.iso: (x_input) (行:501)  Ｘ方向の格子点数が多すぎます。（最大:500） \n"
                   "wide.iso: the model is larger than the default tables; --large lifts their limits\n");
  r = plot(dir, {"wide.iso", "--large", "--isolines", "wide.geojson"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(read_file(dir.file("wide.geojson")).find("LineString"), std::string::npos);
  // A failure that is no table's limit gets no hint.
  write_file(dir.file("bad.iso"), "*x\nabc\n");
  r = plot(dir, {"bad.iso"});
  EXPECT_EQ(r.err.find("--large"), std::string::npos) << r.err;
}

TEST(IsovarPlot, LargeModelBeyondTheMemoryFailsWithAMessage) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer needs more address space than the limit leaves";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  GTEST_SKIP() << "the address sanitizer needs more address space than the limit leaves";
#endif
#endif
  TempDir dir;
  // 20000 x 20000 grid points need some 2.4 GB of value tables.
  write_file(dir.file("huge.iso"), thin_grid(20000, 20000));
  const Result r = plot(dir, {"huge.iso", "--large"}, rlim_t{1} << 30);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, u8"huge.iso: (value_input)メモリが足りません。\n");
}

TEST(IsovarPlot, HelpAndVersion) {
  TempDir dir;
  Result help = plot(dir, {"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"INPUT", "--size", "--display-list", "--bmp", "--png", "--pdf", "--isolines", "--version"})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  Result version = plot(dir, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(std::regex_search(version.out, std::regex("^isovar-plot [0-9]+\\.[0-9]+\\.[0-9]+\n$"))) << version.out;
}

TEST(IsovarPlot, LibraryFailuresExitOneWithTheMessageInUtf8) {
  TempDir dir;
  write_file(dir.file("fem.iso"), "*model fem\n*x\n0\n*end\n");
  Result r = plot(dir, {"fem.iso"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, u8"fem.iso: (ReadIsovarFile) 　FEMモデルでは、＊Ｘは使えません。 \n");

  r = plot(dir, {"missing.iso"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, u8"missing.iso: 入力ファイル(missing.iso)をオープンできません。\n");

  // The display list cannot be created.
  write_file(dir.file("ring.iso"), ring_model());
  r = plot(dir, {"ring.iso", "--display-list", "no/such/folder/prtInfo.tmp"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ring.iso: cannot open print information file\n");

  // A BMP of 1000 pixels is refused by the library, after the plot run.
  r = plot(dir, {"ring.iso", "--size", "1000x500", "--bmp", "big.bmp"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, u8"ring.iso: 画像（1000, 500）が大きすぎます。\n");
  EXPECT_FALSE(testing_support::file_exists(dir.file("big.bmp")));
}

TEST(IsovarPlot, PlotRunWithoutOutputsWritesDisplayListAndLog) {
  TempDir dir;
  write_file(dir.file("ring.iso"), ring_model());
  Result r = plot(dir, {"ring.iso", "--size", "640x480"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(read_file(dir.file("isovar.log")), "(isovarMain)  width=640   height=480\n");
  // Title, two frames and at least the ring's segments.
  EXPECT_GT(read_file(dir.file("prtInfo.tmp")).size(), 192u);

  // Another display-list path; the default size.
  r = plot(dir, {"ring.iso", "--display-list", "other.dl"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(dir.file("isovar.log")), "(isovarMain)  width=665   height=585\n");
  EXPECT_GT(read_file(dir.file("other.dl")).size(), 192u);
  EXPECT_NE(read_file(dir.file("other.dl")), read_file(dir.file("prtInfo.tmp")));
}

TEST(IsovarPlot, RingIsolinesAsGeoJson) {
  TempDir dir;
  write_file(dir.file("ring.iso"), ring_model());
  Result r = plot(dir, {"ring.iso", "--isolines", "ring.geojson"});
  ASSERT_EQ(r.status, 0) << r.err;

  QJsonParseError error;
  QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(read_file(dir.file("ring.geojson"))), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
  QJsonObject collection = doc.object();
  EXPECT_EQ(collection["type"].toString(), "FeatureCollection");
  QJsonArray features = collection["features"].toArray();
  ASSERT_EQ(features.size(), 1);
  QJsonObject feature = features[0].toObject();
  EXPECT_EQ(feature["type"].toString(), "Feature");
  QJsonObject props = feature["properties"].toObject();
  EXPECT_EQ(props["level"].toDouble(), 5.0);
  EXPECT_EQ(props["level_index"].toInt(-1), 0);
  EXPECT_EQ(props["closed"].toBool(false), true);
  EXPECT_EQ(props["bold"].toBool(true), false);
  EXPECT_EQ(props["labelled"].toBool(false), true);
  QJsonObject geometry = feature["geometry"].toObject();
  EXPECT_EQ(geometry["type"].toString(), "LineString");

  const double expected[][2] = {{1, 1.5}, {0.5, 1.5}, {0.5, 1}, {1, 0.5}, {1.5, 0.5}, {1.5, 1}, {1, 1.5}};
  QJsonArray coords = geometry["coordinates"].toArray();
  ASSERT_EQ(coords.size(), 7);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(coords[i].toArray()[0].toDouble(), expected[i][0]) << i;
    EXPECT_EQ(coords[i].toArray()[1].toDouble(), expected[i][1]) << i;
  }
  EXPECT_EQ(coords.first(), coords.last());
}

TEST(IsovarPlot, GeoJsonKeepsTableOrderLevelsAndFlags) {
  TempDir dir;
  // A ramp along x crossed by three levels: one open line each, the middle
  // one bold, the last without labels; 0.1 needs all nine digits.
  std::string model = "*x\n0\n1\n2\n3\n*end\n*y\n0\n1\n*end\n*value\n";
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 2; ++j) model += std::to_string(i) + " " + std::to_string(j) + " " + std::to_string(i - 1) + "\n";
  model += "*end\n*isovar\n0.1\n1.5 bold\n2.5 default no\n*end\n";
  write_file(dir.file("ramp.iso"), model);
  Result r = plot(dir, {"ramp.iso", "--isolines", "ramp.geojson"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string text = read_file(dir.file("ramp.geojson"));
  const QJsonArray features = QJsonDocument::fromJson(QByteArray::fromStdString(text))["features"].toArray();
  ASSERT_EQ(features.size(), 3) << text;
  // Written with nine significant digits, the single-precision 0.1 reads back exactly.
  EXPECT_NE(text.find("\"level\":0.100000001"), std::string::npos) << text;
  EXPECT_EQ(static_cast<float>(features[0].toObject()["properties"].toObject()["level"].toDouble()), 0.1f);
  for (int f = 0; f < 3; ++f) {
    const QJsonObject feature = features[f].toObject();
    QJsonObject props = feature["properties"].toObject();
    EXPECT_EQ(props["level_index"].toInt(-1), f);
    EXPECT_EQ(props["bold"].toBool(), f == 1) << f;
    EXPECT_EQ(props["labelled"].toBool(), f != 2) << f;
    EXPECT_FALSE(props["closed"].toBool()) << f;
    QJsonArray coords = feature["geometry"].toObject()["coordinates"].toArray();
    ASSERT_GE(coords.size(), 2) << f;
    for (const auto& c : coords) EXPECT_NEAR(c.toArray()[0].toDouble(), f == 0 ? 0.1 : f + 0.5, 1e-6) << f;
  }

  // A file that cannot be opened is the library's failure.
  r = plot(dir, {"ramp.iso", "--isolines", "no/such/folder/x.geojson"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ramp.iso: cannot open isoline file\n");
}

TEST(IsovarPlot, PngAndBmpHoldThePicture) {
  TempDir dir;
  write_file(dir.file("ring.iso"), ring_model());
  Result r = plot(dir, {"ring.iso", "--size", "300x200", "--png", "ring.png", "--bmp", "ring.bmp"});
  ASSERT_EQ(r.status, 0) << r.err;
  QImage png(QString::fromStdString(dir.file("ring.png")));
  ASSERT_FALSE(png.isNull());
  EXPECT_EQ(png.width(), 300);
  EXPECT_EQ(png.height(), 200);
  QImage bmp(QString::fromStdString(dir.file("ring.bmp")));
  ASSERT_FALSE(bmp.isNull());
  ASSERT_EQ(bmp.size(), png.size());
  // Both come from the same surface: the same pixels.
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x) ASSERT_EQ(png.pixel(x, y), bmp.pixel(x, y)) << x << "," << y;

  // PNG has no size limit of its own.
  r = plot(dir, {"ring.iso", "--size", "1200x1100", "--png", "big.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(QImage(QString::fromStdString(dir.file("big.png"))).size(), QSize(1200, 1100));

  r = plot(dir, {"ring.iso", "--png", "no/such/folder/x.png"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no/such/folder/x.png"), std::string::npos) << r.err;
}

TEST(IsovarPlot, PdfIsOnePageWithTitlesAndLabels) {
  TempDir dir;
  write_file(dir.file("ring.iso"), ring_model(cp932(u8"温度分布 Ring")));
  Result r = plot(dir, {"ring.iso", "--pdf", "ring.pdf"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  std::string info = shell("pdfinfo '" + dir.file("ring.pdf") + "'");
  EXPECT_TRUE(std::regex_search(info, std::regex("Pages: +1\n"))) << info;
  EXPECT_NE(info.find("(A4)"), std::string::npos) << info;
  std::string text = shell("pdftotext '" + dir.file("ring.pdf") + "' -");
  EXPECT_NE(text.find(u8"温度分布"), std::string::npos) << text;
  EXPECT_NE(text.find("Ring"), std::string::npos) << text;
  EXPECT_NE(text.find("5.00"), std::string::npos) << text;  // the ring's label

  // A page that cannot be written is a printer failure.
  r = plot(dir, {"ring.iso", "--pdf", "no/such/folder/x.pdf"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("isovar-plot: Printer cancel", 0), 0u) << r.err;
}

}  // namespace

// saveIsolines on models the reader would refuse: whatever the engine makes
// of them, the file stays JSON.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <cstring>
#include <limits>

#include "IsovarLib.h"
#include "default_objects.h"
#include "test_support.h"

using testing_support::TempDir;

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

// A 2 x 2 grid from x = x1 to x2 and y = 0 to 1 with the four corner values
// (i, j) = (1,1), (2,1), (1,2), (2,2) and one level.
void set_grid(float v11, float v21, float v12, float v22, float level, float x1 = 0, float x2 = 1) {
  clear_model_store();
  ModelStore& m = model_store;
  m.model_kind = kGridModel;
  m.display_mode = 1;
  m.grid_nx = 2;
  m.grid_ny = 2;
  m.grid_x[1] = x1;
  m.grid_x[2] = x2;
  m.grid_y[1] = 0;
  m.grid_y[2] = 1;
  const float v[2][2] = {{v11, v12}, {v21, v22}};
  for (int i = 1; i <= 2; ++i)
    for (int j = 1; j <= 2; ++j) {
      m.grid_value[i][j] = v[i - 1][j - 1];
      m.grid_defined[i][j] = 1;
    }
  m.level_count = 1;
  m.levels[0] = level;
  m.level_label[0] = 1;
  m.extent_xmin = x1;
  m.extent_xmax = x2;
  m.extent_ymax = 1;
}

QJsonDocument parse(const std::string& text, QJsonParseError& error) {
  return QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
}

TEST(SaveIsolines, NonFiniteValuesNeverReachTheFile) {
  struct Case {
    const char* name;
    float v11, v21, v12, v22, level, x1, x2;
    int nulls;  // features expected with a null geometry
  };
  const Case cases[] = {
      {"infinite corners", -kInf, kInf, 0, 1, 0.5f, 0, 1, 0},
      {"infinite level", 0, 1, 0, 1, kInf, 0, 1, 0},
      {"infinite level reached", 0, kInf, 0, kInf, kInf, 0, 1, 0},
      {"infinite x coordinates", 0, 1, 0, 1, 0.5f, -kInf, kInf, 1},
      {"not-a-number corner", std::nanf(""), 1, 0, 1, 0.5f, 0, 1, 0},
      {"plain ramp", 0, 1, 0, 1, 0.5f, 0, 1, 0},
  };
  TempDir dir;
  for (const Case& c : cases) {
    set_grid(c.v11, c.v21, c.v12, c.v22, c.level, c.x1, c.x2);
    std::string path = dir.file("out.geojson");
    char err[ISOVAR_ERRMSG_SIZE] = "untouched";
    int32_t r = saveIsolines(err, path.c_str());
    if (r != 0) {
      // An engine failure is allowed; then no file is written.
      EXPECT_STRNE(err, "untouched") << c.name;
      EXPECT_FALSE(testing_support::file_exists(path)) << c.name;
      continue;
    }
    EXPECT_STREQ(err, "untouched") << c.name;
    std::string text = testing_support::read_file(path);
    for (const char* bad : {"nan", "inf", "NaN", "Inf"}) EXPECT_EQ(text.find(bad), std::string::npos) << c.name << text;
    QJsonParseError error;
    QJsonDocument doc = parse(text, error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << c.name << text;
    int nulls = 0;
    for (const auto& f : doc["features"].toArray()) {
      QJsonObject feature = f.toObject();
      if (!std::isfinite(c.level)) {
        EXPECT_TRUE(feature["properties"].toObject()["level"].isNull()) << c.name;
      }
      QJsonValue geometry = feature["geometry"];
      if (geometry.isNull()) {
        ++nulls;
        continue;
      }
      for (const auto& p : geometry.toObject()["coordinates"].toArray())
        for (const auto& v : p.toArray()) EXPECT_TRUE(std::isfinite(v.toDouble())) << c.name;
    }
    EXPECT_EQ(nulls, c.nulls) << c.name << text;
    std::remove(path.c_str());
  }
}

TEST(SaveIsolines, WriteFailuresAreReportedAndOpenFailuresWriteNothing) {
  set_grid(0, 1, 0, 1, 0.5f);
  char err[ISOVAR_ERRMSG_SIZE] = "";
  // A device whose every write fails: the text is reported, the device kept.
  ASSERT_EQ(saveIsolines(err, "/dev/full"), -1);
  EXPECT_STREQ(err, "cannot write isoline file");
  EXPECT_TRUE(testing_support::file_exists("/dev/full"));

  TempDir dir;
  ASSERT_EQ(saveIsolines(err, dir.file("no/such/folder.geojson").c_str()), -1);
  EXPECT_STREQ(err, "cannot open isoline file");
  // A caller without an error buffer still gets -1.
  EXPECT_EQ(saveIsolines(nullptr, nullptr), -1);
}

}  // namespace

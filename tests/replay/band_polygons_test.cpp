// saveBands and the merge behind it: band polygons that GIS tools take as
// they are. Validity, areas and overlaps are judged by GDAL (GEOS), ring
// directions and the text of the numbers from the file itself.
#include <gtest/gtest.h>

#include <gdal.h>
#include <ogr_api.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "IsovarLib.h"
#include "default_objects.h"
#include "default_objects.h"
#include "default_objects.h"
#include "test_support.h"

using testing_support::TempDir;

namespace {

// ---- Models ---------------------------------------------------------------

void set_levels(const std::vector<float>& levels) {
  model_store.level_count = static_cast<int32_t>(levels.size());
  for (std::size_t k = 0; k < levels.size(); ++k) {
    model_store.levels[k] = levels[k];
    model_store.level_label[k] = 1;
  }
}

// A grid x = xs, y = ys with value(i, j) (0-based); a NaN leaves the point out.
void set_grid(const std::vector<float>& xs, const std::vector<float>& ys, const std::function<float(int, int)>& value,
              const std::vector<float>& levels) {
  clear_model_store();
  ModelStore& m = model_store;
  m.model_kind = kGridModel;
  m.display_mode = 1;
  m.grid_nx = m.value_nx = static_cast<int32_t>(xs.size());
  m.grid_ny = m.value_ny = static_cast<int32_t>(ys.size());
  for (std::size_t i = 0; i < xs.size(); ++i) m.grid_x[i + 1] = xs[i];
  for (std::size_t j = 0; j < ys.size(); ++j) m.grid_y[j + 1] = ys[j];
  for (int i = 0; i < m.grid_nx; ++i)
    for (int j = 0; j < m.grid_ny; ++j) {
      const float v = value(i, j);
      m.grid_value[i + 1][j + 1] = std::isnan(v) ? 0 : v;
      m.grid_defined[i + 1][j + 1] = std::isnan(v) ? 0 : 1;
    }
  set_levels(levels);
  m.extent_xmin = xs.front();
  m.extent_xmax = xs.back();
  m.extent_ymin = ys.front();
  m.extent_ymax = ys.back();
}

std::vector<float> steps(int n, float step = 1) {
  std::vector<float> v;
  for (int i = 0; i < n; ++i) v.push_back(i * step);
  return v;
}

// ---- What the file holds ----------------------------------------------------

struct Ring {
  std::vector<std::pair<double, double>> points;  // closed
  double signed_area() const {
    double a = 0;
    for (std::size_t k = 0; k + 1 < points.size(); ++k)
      a += points[k].first * points[k + 1].second - points[k + 1].first * points[k].second;
    return a / 2;
  }
};

struct Band {
  int band = -1;
  QJsonValue lower, upper;
  std::vector<std::vector<Ring>> polygons;  // outer ring, then holes
  OGRGeometryH geometry = nullptr;
};

struct Bands {
  std::string text;
  std::vector<Band> bands;
  ~Bands() {
    for (Band& b : bands)
      if (b.geometry != nullptr) OGR_G_DestroyGeometry(b.geometry);
  }
};

// Writes the current model's bands and reads them back.
void save_and_read(Bands& out) {
  TempDir dir;
  const std::string path = dir.file("bands.geojson");
  char err[ISOVAR_ERRMSG_SIZE] = {};
  ASSERT_EQ(saveBands(err, path.c_str()), 0) << err;
  out.text = testing_support::read_file(path);
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(out.text), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << out.text;
  EXPECT_EQ(doc["type"].toString(), "FeatureCollection");
  for (const auto& f : doc["features"].toArray()) {
    const QJsonObject feature = f.toObject();
    Band b;
    const QJsonObject props = feature["properties"].toObject();
    b.band = props["band"].toInt(-1);
    b.lower = props["lower"];
    b.upper = props["upper"];
    const QJsonObject geometry = feature["geometry"].toObject();
    EXPECT_EQ(geometry["type"].toString(), "MultiPolygon");
    for (const auto& p : geometry["coordinates"].toArray()) {
      std::vector<Ring> polygon;
      for (const auto& r : p.toArray()) {
        Ring ring;
        for (const auto& xy : r.toArray()) ring.points.emplace_back(xy.toArray()[0].toDouble(), xy.toArray()[1].toDouble());
        polygon.push_back(ring);
      }
      b.polygons.push_back(polygon);
    }
    const QByteArray json = QJsonDocument(geometry).toJson(QJsonDocument::Compact);
    b.geometry = OGR_G_CreateGeometryFromJson(json.constData());
    out.bands.push_back(std::move(b));
  }
}

// The area of the band pieces of each band, as the engine made them.
std::map<int, double> piece_areas() {
  std::map<int, double> area;
  for (int32_t i = 0; i < engine_tables.fill_poly_count; ++i) {
    const FillPoly& p = engine_tables.fill_poly[i];
    double a = 0;
    for (int k = 0; k < p.nvert; ++k) {
      const int n = k + 1 == p.nvert ? 0 : k + 1;
      a += static_cast<double>(p.x[k]) * p.y[n] - static_cast<double>(p.x[n]) * p.y[k];
    }
    area[p.band] += std::fabs(a) / 2;
  }
  return area;
}

// Everything a GIS user relies on: valid geometry, rings closed and turned
// as RFC 7946 asks, the band numbers and their levels, each band's area the
// sum of its pieces', and no two bands overlapping.
void expect_good_bands(const Bands& b, const std::string& what) {
  const std::map<int, double> pieces = piece_areas();
  const int n = model_store.level_count;
  int previous = -1;
  double total = 0;
  for (const Band& band : b.bands) {
    SCOPED_TRACE(what + ", band " + std::to_string(band.band));
    EXPECT_GT(band.band, previous) << "ascending, one feature a band";
    previous = band.band;
    ASSERT_NE(band.geometry, nullptr);
    EXPECT_TRUE(OGR_G_IsValid(band.geometry));
    if (band.band == 0) {
      EXPECT_TRUE(band.lower.isNull());
    } else {
      EXPECT_FLOAT_EQ(static_cast<float>(band.lower.toDouble()), model_store.levels[band.band - 1]);
    }
    if (band.band == n) {
      EXPECT_TRUE(band.upper.isNull());
    } else {
      EXPECT_FLOAT_EQ(static_cast<float>(band.upper.toDouble()), model_store.levels[band.band]);
    }
    for (const auto& polygon : band.polygons) {
      ASSERT_FALSE(polygon.empty());
      for (std::size_t r = 0; r < polygon.size(); ++r) {
        const Ring& ring = polygon[r];
        ASSERT_GE(ring.points.size(), 4u);
        EXPECT_EQ(ring.points.front(), ring.points.back()) << "closed";
        if (r == 0) {
          EXPECT_GT(ring.signed_area(), 0) << "outer rings counter-clockwise";
        } else {
          EXPECT_LT(ring.signed_area(), 0) << "holes clockwise";
        }
      }
    }
    const double area = OGR_G_Area(band.geometry);
    const auto expected = pieces.find(band.band);
    ASSERT_NE(expected, pieces.end());
    EXPECT_NEAR(area, expected->second, 1e-6 * (1 + expected->second));
    total += area;
  }
  // Bands with area in the pieces all have their feature.
  for (const auto& [band, area] : pieces) {
    if (area <= 0) continue;
    bool found = false;
    for (const Band& f : b.bands) found = found || f.band == band;
    EXPECT_TRUE(found) << what << ": band " << band << " of area " << area;
  }
  for (std::size_t i = 0; i < b.bands.size(); ++i)
    for (std::size_t j = i + 1; j < b.bands.size(); ++j) {
      OGRGeometryH both = OGR_G_Intersection(b.bands[i].geometry, b.bands[j].geometry);
      const double overlap = both == nullptr ? 0 : OGR_G_Area(both);
      if (both != nullptr) OGR_G_DestroyGeometry(both);
      EXPECT_LE(overlap, 1e-9 * (1 + total)) << what << ": bands " << b.bands[i].band << " and " << b.bands[j].band;
    }
}

// ---- Grids ------------------------------------------------------------------

TEST(SaveBands, PeakAndValleyWithAMissingPointGiveHoles) {
  // A peak and a valley in a 14 x 11 grid; one missing point makes a hole
  // in the flat band around them, the peak's upper bands make holes in the
  // bands below.
  set_grid(steps(14, 0.5f), steps(11, 0.5f),
           [](int i, int j) {
             if (i == 6 && j == 8) return std::nanf("");
             const float a = static_cast<float>((i - 3) * (i - 3) + (j - 5) * (j - 5));
             const float b = static_cast<float>((i - 10) * (i - 10) + (j - 5) * (j - 5));
             return 10 * std::exp(-a / 3) - 8 * std::exp(-b / 3);
           },
           {-5, -1, 1, 4, 8});
  Bands b;
  save_and_read(b);
  expect_good_bands(b, "peak and valley");
  // The flat band (between -1 and 1) surrounds both hills and the missing
  // point: one outer ring with three holes.
  const Band* flat = nullptr;
  for (const Band& band : b.bands)
    if (band.band == 2) flat = &band;
  ASSERT_NE(flat, nullptr);
  ASSERT_EQ(flat->polygons.size(), 1u);
  EXPECT_EQ(flat->polygons[0].size(), 4u);
  // The missing point's four cells are no band's.
  OGRGeometryH point = OGR_G_CreateGeometry(wkbPoint);
  OGR_G_SetPoint_2D(point, 0, 3.0, 4.0);
  for (const Band& band : b.bands) EXPECT_FALSE(OGR_G_Contains(band.geometry, point)) << band.band;
  OGR_G_DestroyGeometry(point);
}

TEST(SaveBands, LevelsOnTheValuesTouchAtCornersYetStayValid) {
  // Whole numbers with levels at whole numbers: pieces of no area, bands
  // meeting at single points (a chequerboard of 0 and 1 with level 1), holes
  // touching their outer rings.
  set_grid(steps(7), steps(6), [](int i, int j) { return static_cast<float>((i + j) % 2); }, {1});
  Bands chequer;
  save_and_read(chequer);
  expect_good_bands(chequer, "chequerboard");

  set_grid(steps(8), steps(8), [](int i, int j) { return static_cast<float>((i * 7 + j * 3) % 5); }, {1, 2, 3, 4});
  Bands steps_bands;
  save_and_read(steps_bands);
  expect_good_bands(steps_bands, "whole numbers");
}

TEST(SaveBands, RandomGridsStayValid) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 40; ++round) {
    const int nx = 3 + static_cast<int>(rng() % 14), ny = 3 + static_cast<int>(rng() % 14);
    const bool whole = round % 2 == 0;  // values and levels on whole numbers
    std::vector<float> xs, ys;
    float x = 0, y = 0;
    for (int i = 0; i < nx; ++i) xs.push_back(x += 0.25f + static_cast<float>(rng() % 100) / 50);
    for (int j = 0; j < ny; ++j) ys.push_back(y += 0.25f + static_cast<float>(rng() % 100) / 50);
    std::vector<float> values;
    for (int k = 0; k < nx * ny; ++k) {
      float v = whole ? static_cast<float>(rng() % 6) : static_cast<float>(rng() % 10000) / 1000;
      if (rng() % 17 == 0) v = std::nanf("");
      values.push_back(v);
    }
    std::vector<float> levels = whole ? std::vector<float>{1, 2, 3, 4} : std::vector<float>{1.5f, 3, 4.25f, 7, 9.5f};
    set_grid(xs, ys, [&](int i, int j) { return values[static_cast<std::size_t>(i * ny + j)]; }, levels);
    Bands b;
    save_and_read(b);
    expect_good_bands(b, "round " + std::to_string(round));
    if (::testing::Test::HasFailure()) return;
  }
}

// ---- A finite-element mesh with a hole ---------------------------------------

TEST(SaveBands, MeshWithAHole) {
  // A ring of quadrilaterals and triangles around a square hole, the values
  // rising away from its middle.
  clear_model_store();
  ModelStore& m = model_store;
  m.model_kind = kFemModel;
  m.display_mode = 1;
  m.node_slots = kNodeSlots;
  auto node = [&](int n, float x, float y) {
    m.node_x[n] = x;
    m.node_y[n] = y;
    m.node_value[n] = (x - 2) * (x - 2) + (y - 2) * (y - 2);
    m.node_state[n] = 2;
  };
  // Nodes on a 5 x 5 lattice, numbered 1 + i + 5j; the middle square
  // (1..3 x 1..3) is left open.
  for (int j = 0; j < 5; ++j)
    for (int i = 0; i < 5; ++i) node(1 + i + 5 * j, static_cast<float>(i), static_cast<float>(j));
  int e = 1;
  for (int j = 0; j < 4; ++j)
    for (int i = 0; i < 4; ++i) {
      if (i >= 1 && i <= 2 && j >= 1 && j <= 2) continue;
      const int n0 = 1 + i + 5 * j, n1 = n0 + 1, n2 = n0 + 6, n3 = n0 + 5;
      if ((i + j) % 3 == 0) {
        m.element_nodes[e] = {n0, n1, n2, -1};
        m.element_defined[e++] = 1;
        m.element_nodes[e] = {n0, n2, n3, -1};
      } else {
        m.element_nodes[e] = {n0, n1, n2, n3};
      }
      m.element_defined[e++] = 1;
    }
  m.element_slots = kNodeSlots;
  set_levels({2.5f, 4.5f, 6.5f});
  m.extent_xmin = m.extent_ymin = 0;
  m.extent_xmax = m.extent_ymax = 4;
  Bands b;
  save_and_read(b);
  expect_good_bands(b, "mesh with a hole");
  // Together the bands cover the mesh, 16 - 4 square units, and the hole is
  // in none of them.
  double total = 0;
  for (const Band& band : b.bands) total += OGR_G_Area(band.geometry);
  EXPECT_NEAR(total, 12.0, 1e-9);
  OGRGeometryH centre = OGR_G_CreateGeometry(wkbPoint);
  OGR_G_SetPoint_2D(centre, 0, 2, 2);
  for (const Band& band : b.bands) EXPECT_FALSE(OGR_G_Intersects(band.geometry, centre)) << band.band;
  OGR_G_DestroyGeometry(centre);
  // Some band runs all round the hole: an outer ring with a hole.
  bool ring_with_hole = false;
  for (const Band& band : b.bands)
    for (const auto& polygon : band.polygons) ring_with_hole = ring_with_hole || polygon.size() > 1;
  EXPECT_TRUE(ring_with_hole);
}

// ---- The merge on pieces made by hand ---------------------------------------

FillPoly piece(int band, std::vector<std::pair<float, float>> corners) {
  FillPoly p{};
  p.band = band;
  p.nvert = static_cast<int32_t>(corners.size());
  for (std::size_t k = 0; k < corners.size(); ++k) {
    p.x[k] = corners[k].first;
    p.y[k] = corners[k].second;
  }
  return p;
}

// A unit square as two triangles, the second turned the other way round.
void square(std::vector<FillPoly>& pieces, int band, float x, float y) {
  pieces.push_back(piece(band, {{x, y}, {x + 1, y}, {x, y + 1}}));
  pieces.push_back(piece(band, {{x + 1, y + 1}, {x + 1, y}, {x, y + 1}}));
}

TEST(BandMerge, CornersTouchingMakeSeparateSimpleRings) {
  // Band 0 on (0,0) and (1,1), band 1 on (1,0) and (0,1): each band is two
  // squares meeting in the point (1, 1).
  std::vector<FillPoly> pieces;
  square(pieces, 0, 0, 0);
  square(pieces, 0, 1, 1);
  square(pieces, 1, 1, 0);
  square(pieces, 1, 0, 1);
  const BandMerge m = merge_band_pieces(pieces.data(), static_cast<int32_t>(pieces.size()), 2);
  ASSERT_EQ(m.bands.size(), 2u);
  for (const MergedBand& band : m.bands) {
    ASSERT_EQ(band.polygons.size(), 2u) << band.band;
    for (const MergedPolygon& p : band.polygons) {
      EXPECT_EQ(p.outer.size(), 4u) << band.band;
      EXPECT_DOUBLE_EQ(ring_area2(m, p.outer), 2.0);
      EXPECT_TRUE(p.holes.empty());
    }
  }
}

TEST(BandMerge, HoleTouchingItsOuterRingIsAHoleOfItsOwn) {
  // A 3 x 3 block of band 0 without its corner square (0,0), and band 1 on
  // the square (1,1), which touches the missing corner in the point (1, 1).
  std::vector<FillPoly> pieces;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      if (i + j > 0) square(pieces, i == 1 && j == 1 ? 1 : 0, static_cast<float>(i), static_cast<float>(j));
  const BandMerge m = merge_band_pieces(pieces.data(), static_cast<int32_t>(pieces.size()), 2);
  ASSERT_EQ(m.bands.size(), 2u);
  const MergedBand& outer = m.bands[0];
  ASSERT_EQ(outer.polygons.size(), 1u);
  const MergedPolygon& p = outer.polygons[0];
  EXPECT_DOUBLE_EQ(ring_area2(m, p.outer), 2 * 8.0);
  ASSERT_EQ(p.holes.size(), 1u);
  EXPECT_DOUBLE_EQ(ring_area2(m, p.holes[0]), -2 * 1.0);
  // No vertex twice in a ring.
  for (const auto* ring : {&p.outer, &p.holes[0]}) {
    std::vector<int32_t> sorted = *ring;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
  }
}

TEST(BandMerge, PiecesOfNoAreaLeaveNoTrace) {
  // Three squares of one band in a row. Between the second and the third
  // lies a flat triangle (the triangle of three nodes on one line), whose
  // long side is the second square's side and whose two short sides are the
  // third square's, cut at (2, 0.5); its edges run either way round. And a
  // piece squeezed to a point.
  std::vector<FillPoly> pieces;
  pieces.push_back(piece(0, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}));
  pieces.push_back(piece(0, {{1, 0}, {2, 0}, {2, 1}, {1, 1}}));
  pieces.push_back(piece(0, {{2, 0}, {3, 0}, {3, 1}, {2, 1}, {2, 0.5f}}));
  pieces.push_back(piece(0, {{2, 0}, {2, 1}, {2, 0.5f}}));
  pieces.push_back(piece(0, {{5, 5}, {5, 5}, {5, 5}}));
  const BandMerge m = merge_band_pieces(pieces.data(), static_cast<int32_t>(pieces.size()), 1);
  ASSERT_EQ(m.bands.size(), 1u);
  ASSERT_EQ(m.bands[0].polygons.size(), 1u);
  EXPECT_DOUBLE_EQ(ring_area2(m, m.bands[0].polygons[0].outer), 2 * 3.0);
  EXPECT_TRUE(m.bands[0].polygons[0].holes.empty());
}

// ---- The file ---------------------------------------------------------------

TEST(SaveBands, NumbersAreTheShortestThatReadBack) {
  set_grid({-0.005f, 0.1f, 1e10f}, {0, 1}, [](int i, int) { return static_cast<float>(i); }, {-0.005f, 1.5f});
  model_store.levels[0] = -0.005f;
  Bands b;
  save_and_read(b);
  EXPECT_NE(b.text.find("\"lower\":-0.005,"), std::string::npos) << b.text;
  EXPECT_NE(b.text.find("[0.1,"), std::string::npos) << b.text;
  EXPECT_NE(b.text.find("1e+10"), std::string::npos) << b.text;
  for (const char* bad : {"0.100000001", "nan", "inf"}) EXPECT_EQ(b.text.find(bad), std::string::npos) << b.text;
}

TEST(SaveBands, FailuresWriteNothing) {
  set_grid(steps(3), steps(3), [](int i, int j) { return static_cast<float>(i + j); }, {1.5f});
  char err[ISOVAR_ERRMSG_SIZE] = "";
  ASSERT_EQ(saveBands(err, "/dev/full"), -1);
  EXPECT_STREQ(err, "cannot write band file");
  TempDir dir;
  ASSERT_EQ(saveBands(err, dir.file("no/such/folder.geojson").c_str()), -1);
  EXPECT_STREQ(err, "cannot open band file");
  EXPECT_EQ(saveBands(nullptr, nullptr), -1);
}

}  // namespace

int main(int argc, char** argv) {
  GDALAllRegister();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

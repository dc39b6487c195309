// isovar-plot's vector outputs read back with OGR: the formats, their CRS and
// attributes, rasters, tables and meshes plotted directly, and what a failed
// write leaves.
#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "test_support.h"

using testing_support::names_in;
using testing_support::read_file;
using testing_support::TempDir;
using testing_support::write_file;

namespace {

const char* const kPlot = ISOVAR_BINARY_DIR "/bin/isovar-plot";
const char* const kUtm = "EPSG:32633";

testing_support::ProgramResult plot(const TempDir& dir, const std::vector<std::string>& args,
                                    rlim_t file_limit = 0) {
  return testing_support::run_program(kPlot, dir.path(), args, [file_limit] {
    setenv("LC_ALL", "C.UTF-8", 1);
    if (file_limit > 0) {
      signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{file_limit, file_limit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
  });
}

float hill(int i, int j) {
  return static_cast<float>(100 + 1.5 * i + 60 * std::exp(-((i - 20) * (i - 20) + (j - 15) * (j - 15)) / 60.0));
}

// A north-up GeoTIFF of 40 x 30 pixels of 10 m in UTM zone 33N: a hill on
// a slope, values from about 100 to 190 (or another field and size).
void make_geotiff(const std::string& path, float (*field)(int, int) = hill, int nx = 40, int ny = 30) {
  GDALAllRegister();
  GDALDriver* gtiff = GetGDALDriverManager()->GetDriverByName("GTiff");
  ASSERT_NE(gtiff, nullptr);
  GDALDataset* ds = gtiff->Create(path.c_str(), nx, ny, 1, GDT_Float32, nullptr);
  ASSERT_NE(ds, nullptr);
  double gt[6] = {500000, 10, 0, 5000300, 0, -10};
  ds->SetGeoTransform(gt);
  OGRSpatialReference srs;
  srs.SetFromUserInput(kUtm);
  ds->SetSpatialRef(&srs);
  std::vector<float> z(nx * ny);
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i)
      z[j * nx + i] = field(i, j);
  ASSERT_EQ(ds->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, nx, ny, z.data(), nx, ny, GDT_Float32, 0, 0), CE_None);
  GDALClose(ds);
}

// Wider than the default tables (700 x 60), so traced in tiles: waves along
// the rows with hills between, lines that cross many tiles and come back,
// and rings.
void make_wide_geotiff(const std::string& path) {
  make_geotiff(
      path, [](int i, int j) { return static_cast<float>(140 + 30 * std::sin(i * 0.021 + j * 0.1) * std::cos(j * 0.13)); },
      700, 60);
}
const char* const kWideLevels = "115,125,130,140,150,155,165";

// What OGR reads of a vector file's first layer.
struct Layer {
  bool opened = false;
  std::string driver;
  int64_t features = 0;
  std::vector<std::string> fields;
  std::unique_ptr<OGRSpatialReference> srs;
  OGREnvelope extent;
  std::set<double> values;  // of the field named values_of
  bool all_valid = true;    // every geometry valid (GEOS)
};
Layer read_layer(const std::string& path, const std::string& values_of = "") {
  GDALAllRegister();
  Layer out;
  std::unique_ptr<GDALDataset> ds(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
  if (ds == nullptr || ds->GetLayerCount() < 1) return out;
  out.opened = true;
  out.driver = ds->GetDriverName();
  OGRLayer* layer = ds->GetLayer(0);
  OGRFeatureDefn* defn = layer->GetLayerDefn();
  for (int i = 0; i < defn->GetFieldCount(); ++i) out.fields.push_back(defn->GetFieldDefn(i)->GetNameRef());
  if (const OGRSpatialReference* srs = layer->GetSpatialRef()) out.srs.reset(srs->Clone());
  if (layer->GetExtent(&out.extent, TRUE) != OGRERR_NONE) out.extent = OGREnvelope();
  const int index = values_of.empty() ? -1 : defn->GetFieldIndex(values_of.c_str());
  for (auto& feature : *layer) {
    ++out.features;
    if (index >= 0 && feature->IsFieldSetAndNotNull(index)) out.values.insert(feature->GetFieldAsDouble(index));
    const OGRGeometry* g = feature->GetGeometryRef();
    if (g != nullptr && wkbFlatten(g->getGeometryType()) == wkbMultiPolygon && !g->IsValid()) out.all_valid = false;
  }
  return out;
}

bool same_crs(const OGRSpatialReference* srs, const char* text) {
  if (srs == nullptr) return false;
  OGRSpatialReference want;
  want.SetFromUserInput(text);
  const char* options[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES", nullptr};
  return srs->IsSame(&want, options) != 0;
}

// The features of the library's own GeoJSON (no CRS).
int64_t library_count(const TempDir& dir, const std::string& model, const char* option) {
  const std::string out = dir.file(std::string("reference") + option + ".geojson");
  const auto r = plot(dir, {model, std::string("--") + option, out});
  EXPECT_EQ(r.status, 0) << r.err;
  return read_layer(out).features;
}

const std::vector<std::string> kLineFields = {"ID", "ELEV", "level_index", "closed", "bold", "labelled"};

TEST(IsovarPlotGeodata, ARasterPlottedDirectlyIntoEachFormatKeepsItsCrsAttributesAndIsolines) {
  TempDir dir;
  make_geotiff(dir.file("dem.tif"));
  const std::string levels = "120,140,160,180";
  // The same grid as a model file, whose GeoJSON (no CRS) is the library's.
  ASSERT_EQ(testing_support::run_program(ISOVAR_BINARY_DIR "/bin/isovar-convert", dir.path(),
                                         {"dem.tif", "-o", "model.isovar", "--levels", levels})
                .status,
            0);
  unlink(dir.file("model.prj").c_str());  // the reference is written without a CRS
  const int64_t isolines = library_count(dir, "model.isovar", "isolines");
  const int64_t bands = library_count(dir, "model.isovar", "bands");
  ASSERT_GE(isolines, 4);
  ASSERT_GT(bands, 2);

  struct Case {
    std::string file;
    std::vector<std::string> more;  // options
    const char* driver;
    const char* crs;                // expected layer CRS
    std::vector<std::string> fields;
    bool lonlat;                    // coordinates in degrees
  };
  const std::vector<Case> cases = {
      {"l.gpkg", {}, "GPKG", kUtm, kLineFields, false},
      {"l.shp", {}, "ESRI Shapefile", kUtm, {"ID", "ELEV", "level_inde", "closed", "bold", "labelled"}, false},
      {"l.fgb", {}, "FlatGeobuf", kUtm, kLineFields, false},
      {"l.geojson", {}, "GeoJSON", "EPSG:4326", kLineFields, true},
      {"k.geojson", {"--keep-crs"}, "GeoJSON", kUtm, kLineFields, false},
      {"l.csv", {}, "CSV", nullptr, {"WKT", "ID", "ELEV", "level_index", "closed", "bold", "labelled"}, false},
      {"l.out", {"--vector-format", "GPKG", "--attr", "HEIGHT"}, "GPKG", kUtm,
       {"ID", "HEIGHT", "level_index", "closed", "bold", "labelled"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::vector<std::string> args = {"dem.tif", "--levels", levels, "--isolines", c.file};
    args.insert(args.end(), c.more.begin(), c.more.end());
    const auto r = plot(dir, args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const Layer layer = read_layer(dir.file(c.file), c.fields[c.fields[0] == "WKT" ? 2 : 1]);
    ASSERT_TRUE(layer.opened);
    EXPECT_EQ(layer.driver, c.driver);
    EXPECT_EQ(layer.features, isolines);
    EXPECT_EQ(layer.fields, c.fields);
    if (c.crs != nullptr) {
      EXPECT_TRUE(same_crs(layer.srs.get(), c.crs));
    }
    EXPECT_EQ(layer.values, (std::set<double>{120, 140, 160, 180}));
    if (c.lonlat) {
      // UTM 33N near its false easting: about 15 degrees east, 45 north.
      EXPECT_NEAR(layer.extent.MinX, 15.0, 0.01);
      EXPECT_NEAR(layer.extent.MinY, 45.15, 0.05);
    } else {
      EXPECT_GE(layer.extent.MinX, 500000.0);
      EXPECT_LE(layer.extent.MaxY, 5000300.0);
    }
  }
  // CSV has no place for the CRS: l.prj beside it holds it.
  OGRSpatialReference csv_crs;
  EXPECT_EQ(csv_crs.SetFromUserInput(read_file(dir.file("l.prj")).c_str()), OGRERR_NONE);
  EXPECT_TRUE(same_crs(&csv_crs, kUtm));
  // The --keep-crs GeoJSON names its CRS.
  EXPECT_NE(read_file(dir.file("k.geojson")).find("EPSG::32633"), std::string::npos);
  EXPECT_EQ(read_file(dir.file("l.geojson")).find("\"crs\""), std::string::npos);

  // Bands: renamed bounds, open ends null, every polygon valid.
  const auto r = plot(dir, {"dem.tif", "--levels", levels, "--bands", "b.gpkg", "--attr-min", "LO", "--attr-max",
                            "HI", "--png", "b.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Layer layer = read_layer(dir.file("b.gpkg"), "LO");
  EXPECT_EQ(layer.fields, (std::vector<std::string>{"ID", "LO", "HI", "band"}));
  EXPECT_EQ(layer.features, bands);
  EXPECT_TRUE(same_crs(layer.srs.get(), kUtm));
  EXPECT_EQ(layer.values, (std::set<double>{120, 140, 160, 180}));
  EXPECT_TRUE(layer.all_valid);
  EXPECT_TRUE(testing_support::file_exists(dir.file("b.png")));

  // A symbolic link is written through to the file it names.
  write_file(dir.file("real.gpkg"), "old");
  ASSERT_EQ(symlink("real.gpkg", dir.file("link.gpkg").c_str()), 0);
  const auto linked = plot(dir, {"dem.tif", "--levels", levels, "--isolines", "link.gpkg"});
  ASSERT_EQ(linked.status, 0) << linked.err;
  struct stat st;
  ASSERT_EQ(lstat(dir.file("link.gpkg").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(read_layer(dir.file("real.gpkg")).features, isolines);
}

// Each feature's fields and geometry as WKT, in the file's order.
std::vector<std::string> features_of(const std::string& path) {
  std::vector<std::string> out;
  std::unique_ptr<GDALDataset> ds(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
  if (ds == nullptr) return out;
  for (auto& feature : *ds->GetLayer(0)) {
    std::string text;
    for (int i = 0; i < feature->GetFieldCount(); ++i) text += std::string(feature->GetFieldAsString(i)) + ";";
    if (const OGRGeometry* g = feature->GetGeometryRef()) text += g->exportToWkt();
    out.push_back(text);
  }
  return out;
}

TEST(IsovarPlotGeodata, IsolinesStreamedFromTilesAreTheWholeTracesFeatureForFeature) {
  // Wider than the default tables: traced in tiles, and streamed when the
  // isolines are all that is written.
  TempDir dir;
  make_wide_geotiff(dir.file("wide.tif"));
  // Through OGR, and the library's own GeoJSON (a raster in WGS 84).
  for (const char* ending : {".fgb", ".geojson"}) {
    for (const char* threads : {"1", "3"}) {
      SCOPED_TRACE(std::string(ending) + " on " + threads + " threads");
      std::vector<std::string> args = {"wide.tif", "--levels", kWideLevels, "--threads", threads};
      if (std::string(ending) == ".geojson") args.insert(args.end(), {"--crs", "EPSG:4326"});
      std::vector<std::string> alone = args, with_picture = args;
      alone.insert(alone.end(), {"--isolines", std::string("s") + ending});
      with_picture.insert(with_picture.end(), {"--isolines", std::string("w") + ending, "--png", "w.png"});
      const auto streamed = plot(dir, alone);
      ASSERT_EQ(streamed.status, 0) << streamed.err;
      const auto whole = plot(dir, with_picture);
      ASSERT_EQ(whole.status, 0) << whole.err;
      const std::vector<std::string> features = features_of(dir.file(std::string("s") + ending));
      EXPECT_GT(features.size(), 20u);
      EXPECT_EQ(features, features_of(dir.file(std::string("w") + ending)));
      EXPECT_EQ(read_file(dir.file(std::string("s") + ending)), read_file(dir.file(std::string("w") + ending)));
    }
  }
}

TEST(IsovarPlotGeodata, AModelFileTakesItsCrsFromItsPrjOrFromCrs) {
  TempDir dir;
  make_geotiff(dir.file("dem.tif"));
  ASSERT_EQ(testing_support::run_program(ISOVAR_BINARY_DIR "/bin/isovar-convert", dir.path(),
                                         {"dem.tif", "-o", "m.isovar"})
                .status,
            0);
  // MODEL.prj beside the model, in any text GDAL reads.
  OGRSpatialReference utm;
  utm.SetFromUserInput(kUtm);
  char* wkt = nullptr;
  utm.exportToWkt(&wkt);
  write_file(dir.file("m.prj"), std::string(wkt) + "\n");
  CPLFree(wkt);
  struct Case {
    std::vector<std::string> args;
    const char* file;
    const char* crs;
  };
  const std::vector<Case> cases = {
      {{"m.isovar", "--isolines", "a.gpkg"}, "a.gpkg", kUtm},
      {{"m.isovar", "--isolines", "b.fgb", "--crs", "EPSG:32617"}, "b.fgb", "EPSG:32617"},
      {{"m.isovar", "--isolines", "c.geojson"}, "c.geojson", "EPSG:4326"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const auto r = plot(dir, c.args);
    ASSERT_EQ(r.status, 0) << r.err;
    const Layer layer = read_layer(dir.file(c.file));
    EXPECT_GT(layer.features, 0);
    EXPECT_TRUE(same_crs(layer.srs.get(), c.crs));
  }
  EXPECT_LT(read_layer(dir.file("c.geojson")).extent.MaxX, 16.0);  // degrees, not metres

  // A .prj GDAL cannot read fails the vector output, naming it; the picture
  // is made. A .prj's text is never a way to another file (a CRS file by
  // name is --crs's to give).
  write_file(dir.file("other.prj"), std::string(kUtm) + "\n");
  for (const std::string& text : {std::string("no such CRS\n"), dir.file("other.prj") + "\n"}) {
    write_file(dir.file("m.prj"), text);
    const auto r = plot(dir, {"m.isovar", "--isolines", "d.gpkg", "--png", "d.png"});
    EXPECT_EQ(r.status, 1) << text;
    EXPECT_NE(r.err.find("cannot read the CRS in m.prj"), std::string::npos) << r.err;
    EXPECT_FALSE(testing_support::file_exists(dir.file("d.gpkg")));
    EXPECT_TRUE(testing_support::file_exists(dir.file("d.png")));
  }
}

TEST(IsovarPlotGeodata, AFailedWriteLeavesNoFile) {
  TempDir dir;
  make_geotiff(dir.file("dem.tif"));
  make_wide_geotiff(dir.file("wide.tif"));
  // Past the file size limit; a folder where a Shapefile's .dbf goes; a
  // folder that is not there. The wide raster's isolines are streamed: the
  // limit is reached with the trace half done (its files are 400 to 800 kB),
  // which stops it.
  mkdir(dir.file("in-the-way.dbf").c_str(), 0777);
  struct Case {
    std::string file;
    rlim_t limit;
    std::string said;
    bool wide = false;
  };
  const std::vector<Case> cases = {
      {"big.gpkg", 20000, "cannot write big.gpkg"},
      {"big.fgb", 4000, "cannot write big.fgb"},
      {"in-the-way.shp", 0, "cannot write in-the-way.shp: Is a directory"},
      {"missing/x.gpkg", 0, "cannot write missing/x.gpkg: No such file or directory"},
      {"wide.gpkg", 200000, "cannot write wide.gpkg", true},
      {"wide.fgb", 150000, "cannot write wide.fgb", true},
      {"wide.geojson", 300000, "cannot write wide.geojson: File too large", true},
  };
  const std::set<std::string> before = names_in(dir.path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    // The wide raster in WGS 84: its GeoJSON is the library's own.
    std::vector<std::string> args = {"dem.tif", "--isolines", c.file};
    if (c.wide) args = {"wide.tif", "--levels", kWideLevels, "--crs", "EPSG:4326", "--isolines", c.file};
    const auto r = plot(dir, args, c.limit);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("isovar-plot: " + c.said), std::string::npos) << r.err;
    EXPECT_EQ(names_in(dir.path()), before);
  }

  // What a writer killed outright left beside its output goes with the next
  // run's; a folder whose writer still holds its lock stays.
  for (const char* left : {".x.gpkg.AbC123", ".x.gpkg.Held99"}) {
    mkdir(dir.file(left).c_str(), 0777);
    write_file(dir.file(left) + "/x.gpkg", "partial");
  }
  const int held = open(dir.file(".x.gpkg.Held99").c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  const auto r = plot(dir, {"dem.tif", "--isolines", "x.gpkg"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(testing_support::file_exists(dir.file(".x.gpkg.AbC123")));
  EXPECT_TRUE(testing_support::file_exists(dir.file(".x.gpkg.Held99/x.gpkg")));
  close(held);
}

TEST(IsovarPlotGeodata, TablesAndMeshesArePlottedDirectly) {
  TempDir dir;
  // Scattered points of a tilted plane, and a 6 x 6 mesh of quadrangles of
  // the same plane (Gmsh 2.2 with its values as node data).
  std::string table = "x,y,z\n";
  for (int k = 0; k < 200; ++k) {
    const double x = (k * 37 % 101) * 1.0, y = (k * 53 % 97) * 1.0;
    table += std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(x + y) + "\n";
  }
  write_file(dir.file("survey.csv"), table);
  std::string nodes, elements, data;
  const int n = 6;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const int id = j * n + i + 1;
      nodes += std::to_string(id) + " " + std::to_string(i * 20) + " " + std::to_string(j * 20) + " 0\n";
      data += std::to_string(id) + " " + std::to_string(i * 20 + j * 20) + "\n";
    }
  int count = 0;
  for (int j = 0; j + 1 < n; ++j)
    for (int i = 0; i + 1 < n; ++i) {
      const int a = j * n + i + 1;
      elements += std::to_string(++count) + " 3 2 1 1 " + std::to_string(a) + " " + std::to_string(a + 1) + " " +
                  std::to_string(a + n + 1) + " " + std::to_string(a + n) + "\n";
    }
  write_file(dir.file("plate.msh"), "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n" + std::to_string(n * n) + "\n" +
                                        nodes + "$EndNodes\n$Elements\n" + std::to_string(count) + "\n" + elements +
                                        "$EndElements\n$NodeData\n1\n\"p\"\n1\n0.0\n3\n0\n1\n" +
                                        std::to_string(n * n) + "\n" + data + "$EndNodeData\n");
  struct Case {
    std::vector<std::string> args;
    const char* file;
    const char* crs;  // nullptr: none
  };
  const std::vector<Case> cases = {
      {{"survey.csv", "--crs", "EPSG:32617", "--levels", "50,100,150", "--isolines", "t.gpkg", "--png", "t.png"},
       "t.gpkg",
       "EPSG:32617"},
      {{"plate.msh", "--levels", "50,100,150", "--isolines", "m.fgb", "--svg", "m.svg"}, "m.fgb", nullptr},
      {{"plate.msh", "--levels", "50,100,150", "--isolines", "m.geojson"}, "m.geojson", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const auto r = plot(dir, c.args);
    ASSERT_EQ(r.status, 0) << r.err;
    const Layer layer = read_layer(dir.file(c.file), "ELEV");
    // One straight isoline per level across the plane.
    EXPECT_EQ(layer.features, 3);
    if (c.crs != nullptr) {
      EXPECT_TRUE(same_crs(layer.srs.get(), c.crs));
    } else if (std::string(c.file).find(".fgb") != std::string::npos) {
      EXPECT_EQ(layer.srs, nullptr);  // GeoJSON is WGS 84 to OGR whatever it holds
    }
  }
  // Without a CRS, the GeoJSON is the library's (levels under "level").
  EXPECT_NE(read_file(dir.file("m.geojson")).find("\"level\":50"), std::string::npos);
  // A model file takes none of the readers' options.
  write_file(dir.file("plain.isovar"), "*x\n0\n1\n*end\n*y\n0\n1\n*end\n*value\n1 1 0\n1 2 1\n2 1 1\n2 2 2\n*end\n");
  const auto r = plot(dir, {"plain.isovar", "--levels", "5", "--png", "p.png"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("--levels is for a raster, table or mesh plotted directly"), std::string::npos) << r.err;
}

TEST(IsovarPlotGeodata, BatchWritesTheFormatsAndPlansAShapefilesSideFiles) {
  TempDir dir;
  make_geotiff(dir.file("dem.tif"));
  make_geotiff(dir.file("hill.tif"));
  auto r = plot(dir, {"dem.tif", "hill.tif", "--outdir", "out", "--format", "gpkg,shp,bands-fgb", "-j", "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* name : {"dem.gpkg", "dem.shp", "dem.dbf", "dem.shx", "dem.prj", "dem.bands.fgb", "hill.gpkg",
                           "hill.shp", "hill.bands.fgb"})
    EXPECT_TRUE(testing_support::file_exists(dir.file(std::string("out/") + name))) << name;
  // A Shapefile's .dbf would replace the input of that name.
  write_file(dir.file("x.dbf"), "*x\n0\n1\n*end\n*y\n0\n1\n*end\n*value\n1 1 0\n1 2 1\n2 1 1\n2 2 2\n*end\n");
  r = plot(dir, {"x.dbf", "--isolines", "x.shp"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("would replace the input 'x.dbf'"), std::string::npos) << r.err;
}

}  // namespace

#include "geodata.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <gdal_priv.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <tuple>
#include <utility>

#include "atomic_file.h"
#include "ending.h"
#include "source.h"

namespace isovar_plot {

namespace {

struct Ending {
  const char* ending;
  const char* driver;
};
constexpr Ending kEndings[] = {{".gpkg", "GPKG"},       {".shp", "ESRI Shapefile"}, {".fgb", "FlatGeobuf"},
                               {".geojson", "GeoJSON"}, {".json", "GeoJSON"},        {".kml", "KML"},
                               {".csv", "CSV"},         {".gml", "GML"}};
// Drivers that make a folder of files, not one file, for a name without
// their own ending.
constexpr Ending kOwnEnding[] = {{".shp", "ESRI Shapefile"}, {".fgb", "FlatGeobuf"}, {".csv", "CSV"}};
// Features per transaction where the format has them.
constexpr int kFeaturesPerTransaction = 10000;


void register_drivers() {
  static const bool done = [] {
    GDALAllRegister();
    return true;
  }();
  (void)done;
}

// GDAL's messages kept for the failure they explain instead of printed;
// warnings (a Shapefile's field name cut to 10 characters) are dropped.
class GdalMessages {
 public:
  GdalMessages() { CPLPushErrorHandlerEx(handler, this); }
  ~GdalMessages() { CPLPopErrorHandler(); }
  GdalMessages(const GdalMessages&) = delete;
  GdalMessages& operator=(const GdalMessages&) = delete;
  // The last failure since the previous call, "" when none.
  std::string take() {
    std::string text;
    text.swap(last_);
    return text;
  }
  bool failed() const { return !last_.empty(); }

 private:
  static void CPL_STDCALL handler(CPLErr level, CPLErrorNum, const char* message) {
    auto* self = static_cast<GdalMessages*>(CPLGetErrorHandlerUserData());
    if (level >= CE_Failure && self != nullptr) self->last_ = message != nullptr ? message : "failure";
  }
  std::string last_;
};

// "why (GDAL: text)" or "why".
std::string with_gdal(const std::string& why, const std::string& gdal) {
  return gdal.empty() ? why : why + " (" + gdal + ")";
}

// The names in folder, "." and ".." left out.
std::vector<std::string> names_in(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  return names;
}

// The folder and the name of a vector output. A path that is a symbolic
// link to a file stands for that file, as for every output the user names.
std::pair<std::string, std::string> folder_and_name(const std::string& given) {
  std::string path = given;
  struct stat st;
  char real[PATH_MAX];
  if (lstat(given.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && realpath(given.c_str(), real) != nullptr) path = real;
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {".", path};
  return {path.substr(0, slash == 0 ? 1 : slash), path.substr(slash + 1)};
}

// The temporary folder beside a vector output and what goes on in it: its
// writer holds a lock on it while it lives, so that one nobody holds is
// one whose writer died (remove_stale_vector_folders).
class TemporaryFolder {
 public:
  explicit TemporaryFolder(const std::string& path) {
    std::tie(folder_, name_) = folder_and_name(path);
    std::string templ = folder_ + "/." + name_ + ".XXXXXX";
    // No signal between making the folder and being ready to remove it.
    sigset_t old;
    block_ending_signals(true, &old);
    if (mkdtemp(templ.data()) != nullptr) {
      temp_ = templ;
      watch_vector_folder(temp_);
      lock_ = open(temp_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (lock_ >= 0) flock(lock_, LOCK_EX);
    } else {
      error_ = errno;
    }
    sigprocmask(SIG_SETMASK, &old, nullptr);
  }
  ~TemporaryFolder() { clear(); }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  int error() const { return error_; }
  // The output's name inside the folder.
  std::string inside() const { return temp_ + "/" + name_; }

  // Every file made renamed into the output's folder: 0 or the error.
  int move_out() {
    std::vector<std::string> names = made();
    // A folder in the way of one of them fails the lot before any is moved.
    for (const std::string& name : names) {
      struct stat st;
      if (stat((folder_ + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return EISDIR;
    }
    for (const std::string& name : names)
      if (std::rename((temp_ + "/" + name).c_str(), (folder_ + "/" + name).c_str()) != 0) return errno;
    return 0;
  }

 private:
  std::vector<std::string> made() const { return names_in(temp_); }
  void clear() {
    if (temp_.empty()) return;
    for (const std::string& name : made()) unlink((temp_ + "/" + name).c_str());
    rmdir(temp_.c_str());
    watch_vector_folder("");
    if (lock_ >= 0) close(lock_);
  }

  std::string folder_, name_, temp_;
  int error_ = 0;
  int lock_ = -1;
};

struct DatasetClose {
  void operator()(GDALDataset* ds) const { GDALClose(ds); }
};
using Dataset = std::unique_ptr<GDALDataset, DatasetClose>;

struct TransformFree {
  void operator()(OGRCoordinateTransformation* t) const { OGRCoordinateTransformation::DestroyCT(t); }
};

bool add_field(OGRLayer* layer, const char* name, OGRFieldType type, bool boolean = false) {
  OGRFieldDefn field(name, type);
  if (boolean) field.SetSubType(OFSTBoolean);
  return layer->CreateField(&field) == OGRERR_NONE;
}

// The features of one output, written in transactions where the format has
// them.
class FeatureWriter {
 public:
  FeatureWriter(GDALDataset* ds, OGRLayer* layer) : ds_(ds), layer_(layer), feature_(layer->GetLayerDefn()) {
    in_transaction_ = ds_->StartTransaction(FALSE) == OGRERR_NONE;
  }
  OGRFeature& feature() { return feature_; }
  bool write() {
    if (layer_->CreateFeature(&feature_) != OGRERR_NONE) return false;
    feature_.SetFID(OGRNullFID);
    if (in_transaction_ && ++pending_ >= kFeaturesPerTransaction) {
      pending_ = 0;
      if (ds_->CommitTransaction() != OGRERR_NONE) return false;
      in_transaction_ = ds_->StartTransaction(FALSE) == OGRERR_NONE;
    }
    return true;
  }
  bool finish() { return !in_transaction_ || ds_->CommitTransaction() == OGRERR_NONE; }

 private:
  GDALDataset* ds_;
  OGRLayer* layer_;
  OGRFeature feature_;
  bool in_transaction_ = false;
  int pending_ = 0;
};

// The points x0, y0, x1, y1, ... of xy into line, copied once: pairs of
// doubles are OGR's raw points.
void set_points(OGRSimpleCurve& line, const std::vector<double>& xy) {
  static_assert(sizeof(OGRRawPoint) == 2 * sizeof(double), "a raw point is an x and a y");
  line.setPoints(static_cast<int>(xy.size() / 2), reinterpret_cast<const OGRRawPoint*>(xy.data()));
}

bool all_finite(const std::vector<double>& xy) {
  for (double v : xy)
    if (!std::isfinite(v)) return false;
  return true;
}

}  // namespace

bool is_geojson(const std::string& driver) { return driver == "GeoJSON"; }

void remove_stale_vector_folders(const std::string& path) {
  const auto [folder, name] = folder_and_name(path);
  const std::string prefix = "." + name + ".";
  const uid_t user = getuid();
  for (const std::string& entry : names_in(folder)) {
    // mkdtemp's six characters after the prefix.
    if (entry.size() != prefix.size() + 6 || entry.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string temp = folder + "/" + entry;
    struct stat st;
    if (lstat(temp.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != user) continue;
    const int fd = open(temp.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      for (const std::string& file : names_in(temp)) unlinkat(fd, file.c_str(), 0);
      rmdir(temp.c_str());
    }
    close(fd);
  }
}

std::string vector_driver(const std::string& path, const std::string& forced, std::string* error) {
  if (!forced.empty()) {
    register_drivers();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(forced.c_str());
    if (driver == nullptr || driver->GetMetadataItem(GDAL_DCAP_VECTOR) == nullptr ||
        driver->GetMetadataItem(GDAL_DCAP_CREATE) == nullptr) {
      *error = "--vector-format: '" + forced + "' is no OGR driver that writes vector files (try GPKG, " +
               "'ESRI Shapefile', FlatGeobuf, GeoJSON, KML, CSV, GML)";
      return {};
    }
    return forced;
  }
  if (path == "-") return "GeoJSON";
  const std::string ending = convert::lower_extension(path);
  for (const Ending& e : kEndings)
    if (ending == e.ending) return e.driver;
  return "GeoJSON";  // as the isolines and bands have always been written
}

std::vector<std::string> vector_files(const std::string& path, const std::string& driver) {
  const std::string ending = convert::lower_extension(path);
  const std::string stem = path.substr(0, path.size() - ending.size());
  if (driver == "ESRI Shapefile" && ending == ".shp")
    return {path, stem + ".shx", stem + ".dbf", stem + ".prj", stem + ".cpg"};
  if (driver == "GML" && !ending.empty()) return {path, stem + ".xsd"};
  if (driver == "CSV" && ending == ".csv") return {path, stem + ".prj"};
  return {path};
}

std::string crs_from_text(const std::string& text, std::string* error, bool files) {
  register_drivers();
  GdalMessages messages;
  std::string out = convert::crs_wkt(text, files, true);
  if (out.empty()) *error = with_gdal("not a CRS GDAL knows", messages.take());
  return out;
}

bool crs_is_none_or_wgs84(const std::string& wkt) {
  if (wkt.empty()) return true;
  OGRSpatialReference srs, wgs84;
  if (srs.importFromWkt(wkt.c_str()) != OGRERR_NONE) return false;
  wgs84.SetWellKnownGeogCS("WGS84");
  const char* options[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES",
                           "CRITERION=EQUIVALENT_EXCEPT_AXIS_ORDER_GEOGCRS", nullptr};
  return srs.IsSame(&wgs84, options) != 0;
}

std::vector<VectorLevel> vector_levels(const IsovarModel* model) {
  IsovarModelSummary summary;
  std::vector<VectorLevel> levels;
  if (isovarModelDescribe(model, &summary) != 0) return levels;
  for (int i = 0; i < summary.level_count; ++i) {
    // The level as the user wrote it (0.1, not 0.100000001490116).
    char text[32];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text - 1, static_cast<float>(summary.levels[i]));
    *r.ptr = '\0';
    levels.push_back({std::strtod(text, nullptr), summary.bold[i] != 0, summary.labelled[i] != 0});
  }
  return levels;
}

std::string write_vector(const IsovarRun* run, const std::vector<VectorLevel>& levels, bool bands,
                         const std::string& path, const VectorRequest& request, const LineFeed* feed) {
  register_drivers();
  GdalMessages messages;
  const std::string ending = convert::lower_extension(path);
  for (const Ending& own : kOwnEnding)
    if (request.driver == own.driver && ending != own.ending)
      return "cannot write " + path + ": the " + request.driver + " format needs a name ending with " + own.ending;
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(request.driver.c_str());
  if (driver == nullptr) return "cannot write " + path + ": GDAL has no " + request.driver + " driver";

  // The CRS the file records, and the change of coordinates GeoJSON needs.
  std::unique_ptr<OGRSpatialReference> srs;
  std::unique_ptr<OGRCoordinateTransformation, TransformFree> transform;
  const bool to_wgs84 = is_geojson(request.driver) && !request.keep_crs && !crs_is_none_or_wgs84(request.crs_wkt);
  if (!request.crs_wkt.empty()) {
    auto model_srs = std::make_unique<OGRSpatialReference>();
    if (model_srs->importFromWkt(request.crs_wkt.c_str()) != OGRERR_NONE)
      return with_gdal("cannot write " + path + ": the model's CRS is not understood", messages.take());
    model_srs->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    if (to_wgs84) {
      auto wgs84 = std::make_unique<OGRSpatialReference>();
      wgs84->SetWellKnownGeogCS("WGS84");
      wgs84->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
      transform.reset(OGRCreateCoordinateTransformation(model_srs.get(), wgs84.get()));
      if (transform == nullptr)
        return with_gdal("cannot write " + path + ": no way from the model's CRS to WGS 84", messages.take());
      srs = std::move(wgs84);
    } else {
      srs = std::move(model_srs);
    }
  }

  TemporaryFolder temp(path);
  if (temp.error() != 0) return files::write_failure(path, temp.error());
  std::vector<const char*> layer_options;
  if (to_wgs84) layer_options.push_back("RFC7946=YES");
  if (request.driver == "CSV") layer_options.push_back("GEOMETRY=AS_WKT");
  layer_options.push_back(nullptr);
  const std::string failed = "cannot write " + path;
  {
    Dataset ds(driver->Create(temp.inside().c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (ds == nullptr) return with_gdal(failed, messages.take());
    OGRLayer* layer = ds->CreateLayer(bands ? "bands" : "isolines", srs.get(),
                                      bands ? wkbMultiPolygon : wkbLineString,
                                      const_cast<char**>(layer_options.data()));
    if (layer == nullptr) return with_gdal(failed, messages.take());
    const bool fields =
        bands ? add_field(layer, "ID", OFTInteger) && add_field(layer, request.attr_min.c_str(), OFTReal) &&
                    add_field(layer, request.attr_max.c_str(), OFTReal) && add_field(layer, "band", OFTInteger)
              : add_field(layer, "ID", OFTInteger) && add_field(layer, request.attr.c_str(), OFTReal) &&
                    add_field(layer, "level_index", OFTInteger) && add_field(layer, "closed", OFTInteger, true) &&
                    add_field(layer, "bold", OFTInteger, true) && add_field(layer, "labelled", OFTInteger, true);
    if (!fields) return with_gdal(failed + ": its attributes cannot be made", messages.take());

    FeatureWriter writer(ds.get(), layer);
    OGRFeature& f = writer.feature();
    std::vector<double> xy;
    const int level_count = static_cast<int>(levels.size());
    if (!bands) {
      int32_t i = 0;
      const LineTaker take = [&](int32_t level, int32_t closed, int32_t n, const double* points) -> std::string {
        xy.assign(points, points + 2 * static_cast<std::size_t>(n));
        f.SetField(0, static_cast<int>(i));
        if (level >= 0 && level < level_count) {
          f.SetField(1, levels[level].value);
          f.SetField(4, levels[level].bold ? 1 : 0);
          f.SetField(5, levels[level].labelled ? 1 : 0);
        } else {
          f.SetFieldNull(1);
          f.SetFieldNull(4);
          f.SetFieldNull(5);
        }
        f.SetField(2, static_cast<int>(level));
        f.SetField(3, closed != 0 ? 1 : 0);
        if (all_finite(xy)) {
          auto line = std::make_unique<OGRLineString>();
          set_points(*line, xy);
          if (transform != nullptr && line->transform(transform.get()) != OGRERR_NONE)
            return with_gdal(failed + ": isoline " + std::to_string(i) + " cannot be reprojected to WGS 84",
                             messages.take());
          f.SetGeometryDirectly(line.release());
        } else {
          f.SetGeometryDirectly(nullptr);
        }
        if (!writer.write()) return with_gdal(failed, messages.take());
        ++i;
        return {};
      };
      std::string why;
      if (feed != nullptr) {
        why = (*feed)(take);
      } else {
        std::vector<double> points;
        const int32_t count = isovarRunLineCount(run);
        for (int32_t n = 0; n < count && why.empty(); ++n) {
          int32_t level = 0, closed = 0;
          const int32_t m = isovarRunLine(run, n, &level, &closed, nullptr);
          if (m < 0) continue;
          points.resize(2 * static_cast<std::size_t>(m));
          isovarRunLine(run, n, &level, &closed, points.data());
          i = n;
          why = take(level, closed, m, points.data());
        }
      }
      if (!why.empty()) return why;
    } else {
      const int32_t count = isovarRunBandCount(run);
      for (int32_t i = 0; i < count; ++i) {
        int32_t band = 0;
        const int32_t polygons = isovarRunBand(run, i, &band);
        auto multi = std::make_unique<OGRMultiPolygon>();
        for (int32_t p = 0; p < polygons; ++p) {
          auto polygon = std::make_unique<OGRPolygon>();
          int32_t rings = 1;
          for (int32_t r = 0; r < rings; ++r) {
            const int32_t n = isovarRunBandRing(run, i, p, r, &rings, nullptr);
            if (n < 0) break;
            xy.resize(2 * static_cast<std::size_t>(n));
            isovarRunBandRing(run, i, p, r, nullptr, xy.data());
            auto ring = std::make_unique<OGRLinearRing>();
            set_points(*ring, xy);
            ring->closeRings();
            polygon->addRingDirectly(ring.release());
          }
          multi->addGeometryDirectly(polygon.release());
        }
        if (transform != nullptr && multi->transform(transform.get()) != OGRERR_NONE)
          return with_gdal(failed + ": band " + std::to_string(band) + " cannot be reprojected to WGS 84",
                           messages.take());
        f.SetField(0, static_cast<int>(i));
        if (band > 0 && band - 1 < level_count) {
          f.SetField(1, levels[band - 1].value);
        } else {
          f.SetFieldNull(1);
        }
        if (band < level_count) {
          f.SetField(2, levels[band].value);
        } else {
          f.SetFieldNull(2);
        }
        f.SetField(3, static_cast<int>(band));
        f.SetGeometryDirectly(multi.release());
        if (!writer.write()) return with_gdal(failed, messages.take());
      }
    }
    if (!writer.finish()) return with_gdal(failed, messages.take());
    messages.take();  // what went before and did no harm
    // Closing writes what the drivers kept (a FlatGeobuf's features and index).
    ds.reset();
    if (messages.failed()) return with_gdal(failed, messages.take());
  }
  // A CSV file has no place for its CRS: NAME.prj beside it holds it, as
  // beside a model file.
  if (request.driver == "CSV" && srs != nullptr) {
    char* wkt = nullptr;
    if (srs->exportToWkt(&wkt) != OGRERR_NONE || wkt == nullptr) {
      CPLFree(wkt);
      return with_gdal(failed + ": its CRS has no WKT", messages.take());
    }
    const std::string inside = temp.inside();
    const std::string prj = inside.substr(0, inside.size() - ending.size()) + ".prj";
    const std::string text = std::string(wkt) + "\n";
    CPLFree(wkt);
    if (const int error = files::replace_file(prj.c_str(), text.data(), text.size(), files::Target::kFixedName))
      return files::write_failure(path, error);
  }
  if (const int error = temp.move_out()) return files::write_failure(path, error);
  return {};
}

}  // namespace isovar_plot

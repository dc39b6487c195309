#include "source.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <ogr_spatialref.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>

#include "delaunay.h"
#include "line_reader.h"
#include "mask.h"
#include "numbers.h"
#include "titles.h"

namespace convert {

namespace {

std::string plural(int64_t n, const char* word) { return std::to_string(n) + " " + word + (n == 1 ? "" : "s"); }

// The lowest and highest of the values (NaN passed over); false when none.
// Widens [low, high] to hold the n values (NaN, no value, leaves it).
void widen_range(const double* values, size_t n, double& low, double& high) {
  for (size_t i = 0; i < n; ++i) {
    if (values[i] < low) low = values[i];  // NaN compares false
    if (values[i] > high) high = values[i];
  }
}

// Rows of a raster into the source's grid, in double precision: the grid's
// one copy.
class FullRows : public RowSink {
 public:
  explicit FullRows(std::vector<double>& z, size_t nx) : z_(z), nx_(nx) {}
  void row(size_t j, const double* values) override {
    std::copy(values, values + nx_, z_.begin() + static_cast<std::ptrdiff_t>(j * nx_));
  }

 private:
  std::vector<double>& z_;
  size_t nx_;
};

// Rows on their way to another sink, their values' range taken.
class RangedRows : public RowSink {
 public:
  explicit RangedRows(RowSink& next, size_t nx) : next_(next), nx_(nx) {}
  void row(size_t j, const double* values) override {
    widen_range(values, nx_, low, high);
    next_.row(j, values);
  }
  double low = INFINITY, high = -INFINITY;

 private:
  RowSink& next_;
  size_t nx_;
};

// What a raster's reader knows before its pixels: notes, axes, CRS.
void describe_raster(const RasterInfo& info, const SourceRequest& request, Source& out) {
  if (info.band_count > 1 && !request.was_given("--band"))
    out.notes.push_back("the raster has " + std::to_string(info.band_count) +
                        " bands; band 1 is read (--band picks another)");
  if (!info.georeferenced)
    out.notes.push_back("the raster has no geotransform; x and y count pixels from its lower left corner");
  out.is_grid = true;
  out.x = info.x_full;
  out.y = info.y_full;
  out.crs_wkt = info.crs_wkt;
}

void load_raster(const std::string& path, const SourceRequest& request, Progress& progress, Source& out) {
  RasterReader reader(path, request.raster, false);
  const RasterInfo& info = reader.info();
  describe_raster(info, request, out);
  const size_t nx = info.x_full.size();
  out.z.assign(nx * info.y_full.size(), NAN);
  FullRows rows(out.z, nx);
  reader.read(rows, progress);
}

// The levels of a source whose values lie in [low, high] (none when low >
// high).
void make_source_levels(const SourceRequest& request, double low, double high, Source& out) {
  if (!(low <= high)) throw Failure("no data: no value to plot");
  // Every value fits single precision (the readers refuse others), and the
  // levels are made from the range as a model file's reader would see it.
  out.levels = make_levels(request.levels, static_cast<float>(low), static_cast<float>(high), request.bold_every,
                           request.labelled);
}

void load_table(const std::string& path, const SourceRequest& request, const std::string& crs, Source& out) {
  std::vector<FullPoint> points;
  {
    InputText in(path);
    LineReader lines(in.fd());
    parse_table(lines, request.columns, &points);
  }
  FullTriangulation t = triangulate_full(std::move(points));
  if (t.merged > 0)
    out.notes.push_back(plural(static_cast<int64_t>(t.merged), "point") +
                        " with the x and y of an earlier point left out");
  const TriangleMask mask(request.max_edge, request.boundary, crs);
  out.is_grid = false;
  for (const FullPoint& p : t.points) {
    out.node_x.push_back(p.x);
    out.node_y.push_back(p.y);
    out.node_value.push_back(p.z);
  }
  size_t dropped = 0;
  for (const std::array<int32_t, 3>& c : t.triangles) {
    if (mask.active()) {
      const double x[3] = {t.points[c[0]].x, t.points[c[1]].x, t.points[c[2]].x};
      const double y[3] = {t.points[c[0]].y, t.points[c[1]].y, t.points[c[2]].y};
      if (!mask.keeps(x, y)) {
        ++dropped;
        continue;
      }
    }
    out.cells.insert(out.cells.end(), {c[0], c[1], c[2], -1});
  }
  if (mask.active()) {
    if (out.cells.empty()) throw Failure("no data: " + masked_note(dropped, 0));
    out.notes.push_back(masked_note(dropped, out.cells.size() / 4));
  }
}

void load_mesh(const std::string& path, const SourceRequest& request, Source& out) {
  GmshMesh g = [&] {
    InputText in(path);
    LineReader lines(in.fd());
    return parse_gmsh(lines, request.field);
  }();
  for (const auto& [type, count] : g.skipped) {
    const std::string name = element_type_name(type);
    out.notes.push_back(plural(count, "element") + " of type " + std::to_string(type) +
                        (name.empty() ? "" : " (" + name + ")") +
                        " left out (only 3-node triangles and 4-node quadrangles are plotted)");
  }
  if (g.mesh.nodes.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    throw Failure("too many nodes: " + std::to_string(g.mesh.nodes.size()));
  std::unordered_map<int64_t, int32_t> index;
  index.reserve(g.mesh.nodes.size());
  for (size_t k = 0; k < g.mesh.nodes.size(); ++k) index.emplace(g.mesh.nodes[k].number, static_cast<int32_t>(k));
  out.is_grid = false;
  out.node_x = std::move(g.full_x);
  out.node_y = std::move(g.full_y);
  out.node_value = std::move(g.full_value);
  out.cells.reserve(g.mesh.elements.size() * 4);
  for (const Element& e : g.mesh.elements) {
    for (int k = 0; k < 4; ++k) {
      if (k >= e.count) {
        out.cells.push_back(-1);
        continue;
      }
      const auto at = index.find(e.nodes[k]);
      if (at == index.end())
        throw Failure("element " + std::to_string(e.number) + " names node " + std::to_string(e.nodes[k]) +
                      ", which is not defined");
      out.cells.push_back(at->second);
    }
  }
}

// Option callbacks record the names given, for the checks after parsing.
void seen(SourceRequest& r, const std::string& name) {
  if (!r.was_given(name)) r.given.push_back(name);
}

}  // namespace

std::string lower_extension(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1) return {};
  std::string e = path.substr(dot);
  std::transform(e.begin(), e.end(), e.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; });
  return e;
}

SourceKind source_kind_of(const std::string& path) {
  const std::string e = lower_extension(path);
  if (e == ".msh") return SourceKind::mesh;
  if (e == ".csv" || e == ".tsv" || e == ".txt" || e == ".xyz" || e == ".dat") return SourceKind::table;
  return SourceKind::raster;
}

std::string prj_path(const std::string& model_path) {
  const std::string e = lower_extension(model_path);
  return model_path.substr(0, model_path.size() - e.size()) + ".prj";
}

bool SourceRequest::was_given(const std::string& name) const {
  return std::find(given.begin(), given.end(), name) != given.end();
}

std::string crs_wkt(const std::string& text, bool files, bool wkt2) {
  OGRSpatialReference srs;
  const char* const reading[] = {"ALLOW_NETWORK_ACCESS=NO", files ? "ALLOW_FILE_ACCESS=YES" : "ALLOW_FILE_ACCESS=NO",
                                 nullptr};
  if (text.empty() || text.find('\0') != std::string::npos || srs.SetFromUserInput(text.c_str(), reading) != OGRERR_NONE)
    return {};
  char* wkt = nullptr;
  const char* const newer[] = {"FORMAT=WKT2_2019", nullptr};
  std::string out;
  if (srs.exportToWkt(&wkt, wkt2 ? newer : nullptr) == OGRERR_NONE && wkt != nullptr) out = wkt;
  CPLFree(wkt);
  return out;
}

std::string crs_to_wkt(const std::string& text) {
  CPLPushErrorHandler(CPLQuietErrorHandler);
  const std::string out = crs_wkt(text, true, false);
  CPLPopErrorHandler();
  if (out.empty()) throw Failure("GDAL cannot read the CRS '" + text + "'");
  return out;
}

Source load_source(const std::string& path, const SourceRequest& request, Progress& progress) {
  const SourceKind kind = request.kind == SourceKind::automatic ? source_kind_of(path) : request.kind;
  Source out;
  out.titles = request.titles;
  out.full = request.full;
  const std::string crs = request.crs.empty() ? std::string() : crs_to_wkt(request.crs);
  switch (kind) {
    case SourceKind::raster:
    case SourceKind::automatic:
      load_raster(path, request, progress, out);
      break;
    case SourceKind::table:
      load_table(path, request, crs, out);
      break;
    case SourceKind::mesh:
      load_mesh(path, request, out);
      break;
  }
  if (!crs.empty()) out.crs_wkt = crs;
  const std::vector<double>& values = out.is_grid ? out.z : out.node_value;
  double low = INFINITY, high = -INFINITY;
  widen_range(values.data(), values.size(), low, high);
  make_source_levels(request, low, high, out);
  return out;
}

RasterRows::RasterRows(const std::string& path, const SourceRequest& request) : request_(request) {
  source_.titles = request.titles;
  source_.full = request.full;
  const std::string crs = request.crs.empty() ? std::string() : crs_to_wkt(request.crs);
  reader_ = std::make_unique<RasterReader>(path, request.raster, false);
  describe_raster(reader_->info(), request, source_);
  if (!crs.empty()) source_.crs_wkt = crs;
}

RasterRows::~RasterRows() = default;

void RasterRows::read(RowSink& sink, Progress& progress) {
  RangedRows ranged(sink, source_.x.size());
  reader_->read(ranged, progress);
  make_source_levels(request_, ranged.low, ranged.high, source_);
}

void add_source_options(CLI::App& app, SourceRequest& request) {
  SourceRequest& r = request;
  app.add_option_function<std::string>(
         "--kind",
         [&r](const std::string& v) {
           seen(r, "--kind");
           r.kind = v == "raster" ? SourceKind::raster : v == "table" ? SourceKind::table : SourceKind::mesh;
         },
         "Read INPUT as this kind, whatever its name")
      ->check(CLI::IsMember({"raster", "table", "mesh"}))
      ->type_name("KIND");
  app.add_option_function<std::vector<std::string>>(
         "--title",
         [&r](const std::vector<std::string>& titles) {
           seen(r, "--title");
           if (titles.size() > static_cast<size_t>(kMaxTitles))
             throw CLI::ValidationError("--title", "at most " + std::to_string(kMaxTitles) + " titles");
           r.titles.clear();
           for (const std::string& t : titles) {
             std::string cp932;
             const std::string why = title_to_cp932(t, cp932);
             if (!why.empty()) throw CLI::ValidationError("--title", why);
             r.titles.push_back(cp932);
           }
         },
         "A title line, UTF-8, at most 58 bytes in code page 932; up to five")
      ->type_name("TEXT")
      ->allow_extra_args(false);
  app.add_option_function<std::string>(
         "--levels",
         [&r](const std::string& v) {
           seen(r, "--levels");
           const std::string why = parse_level_request(v, r.levels);
           if (!why.empty()) throw CLI::ValidationError("--levels", why);
         },
         "A list 1,2,5; a range START:STOP:STEP; or N for about N round levels (default 10). One level "
         "alone: with a point, 5.0")
      ->type_name("LEVELS");
  app.add_option_function<double>(
         "-i,--interval",
         [&r](const double& v) {
           seen(r, "--interval");
           const std::string why = interval_levels(v, r.levels.start, r.levels);
           if (!why.empty()) throw CLI::ValidationError("--interval", why);
         },
         "Levels at every multiple of STEP from --offset, within the values' range")
      ->type_name("STEP");
  app.add_option_function<double>(
         "--offset",
         [&r](const double& v) {
           seen(r, "--offset");
           if (!std::isfinite(v)) throw CLI::ValidationError("--offset", "must be a finite number");
           // --interval's levels count their steps from here (it comes
           // first or later on the line alike).
           r.levels.start = v;
         },
         "With --interval: the level the steps are counted from (default 0)")
      ->type_name("BASE");
  app.add_option_function<std::string>(
         "--fixed-levels",
         [&r](const std::string& v) {
           seen(r, "--fixed-levels");
           const std::string why = parse_fixed_levels(v, r.levels);
           if (!why.empty()) throw CLI::ValidationError("--fixed-levels", why);
         },
         "Exactly these levels, a list a,b,c")
      ->type_name("LIST");
  app.add_option_function<int64_t>(
         "--levels-count",
         [&r](const int64_t& v) {
           seen(r, "--levels-count");
           const std::string why = even_levels(v, r.levels);
           if (!why.empty()) throw CLI::ValidationError("--levels-count", why);
         },
         "N levels evenly spaced strictly between the lowest value and the highest")
      ->type_name("N");
  app.add_option_function<int>(
         "--bold",
         [&r](const int& v) {
           seen(r, "--bold");
           r.bold_every = v;
         },
         "Make every K-th level bold (evenly spaced levels: at multiples of K steps)")
      ->check(CLI::Range(1, 1000))
      ->type_name("K");
  app.add_flag_callback(
      "--no-labels",
      [&r] {
        seen(r, "--no-labels");
        r.labelled = false;
      },
      "Draw the isolines without value labels");
  app.add_flag_callback(
      "--full",
      [&r] {
        seen(r, "--full");
        r.full = true;
      },
      "Set the full display mode (x and y get separate scales)");
  app.add_option_function<std::string>(
         "--crs",
         [&r](const std::string& v) {
           seen(r, "--crs");
           try {
             crs_to_wkt(v);
           } catch (const Failure& f) {
             throw CLI::ValidationError("--crs", f.what());
           }
           r.crs = v;
         },
         "The coordinate reference system of x and y (EPSG:32617, WKT, a PROJ string, a .prj file); "
         "overrides a raster's own")
      ->type_name("CRS");
  app.add_option_function<int>(
         "--band",
         [&r](const int& v) {
           seen(r, "--band");
           r.raster.band = v;
         },
         "Raster: the band to read (default 1)")
      ->check(CLI::Range(1, 1000000))
      ->type_name("N");
  app.add_option_function<int>(
         "--every",
         [&r](const int& v) {
           seen(r, "--every");
           r.raster.every = v;
         },
         "Raster: keep every K-th row and column, from the first")
      ->check(CLI::Range(1, 1000000))
      ->type_name("K");
  app.add_option_function<std::string>(
         "--columns",
         [&r](const std::string& v) {
           seen(r, "--columns");
           const std::string why = parse_columns(v, r.columns);
           if (!why.empty()) throw CLI::ValidationError("--columns", why);
         },
         "Table: the x, y and z columns by header name or 1-based number (default 1,2,3)")
      ->type_name("X,Y,Z");
  app.add_option_function<double>(
         "--max-edge",
         [&r](const double& v) {
           seen(r, "--max-edge");
           if (!(v > 0) || !std::isfinite(v)) throw CLI::ValidationError("--max-edge", "must be a length above zero");
           r.max_edge = v;
         },
         "Table: leave out triangles with an edge longer than LENGTH (in x and y's units)")
      ->type_name("LENGTH");
  app.add_option_function<std::string>(
         "--boundary",
         [&r](const std::string& v) {
           seen(r, "--boundary");
           if (v.empty()) throw CLI::ValidationError("--boundary", "a file name must not be empty");
           r.boundary = v;
         },
         "Table: keep only triangles whose centre lies inside the polygons of FILE's first layer (any vector "
         "file GDAL reads)")
      ->type_name("FILE");
  app.add_option_function<std::string>(
         "--field",
         [&r](const std::string& v) {
           seen(r, "--field");
           r.field.name = v;
         },
         "Mesh: the $NodeData field (default the first)")
      ->type_name("NAME");
  app.add_option_function<int64_t>(
         "--step",
         [&r](const int64_t& v) {
           seen(r, "--step");
           r.field.step = v;
           r.field.step_given = true;
         },
         "Mesh: the time step of the field (default its first block)")
      ->type_name("N");
}

std::string check_source_options(const SourceRequest& request, const std::string& path) {
  const SourceKind kind = request.kind != SourceKind::automatic ? request.kind
                          : path.empty()                        ? SourceKind::automatic
                                                                : source_kind_of(path);
  struct KindOnly {
    const char* name;
    SourceKind kind;
    const char* kind_name;
  };
  const KindOnly kind_only[] = {{"--band", SourceKind::raster, "a raster"},
                                {"--every", SourceKind::raster, "a raster"},
                                {"--columns", SourceKind::table, "a table"},
                                {"--max-edge", SourceKind::table, "a table"},
                                {"--boundary", SourceKind::table, "a table"},
                                {"--field", SourceKind::mesh, "a mesh"},
                                {"--step", SourceKind::mesh, "a mesh"}};
  if (kind != SourceKind::automatic)
    for (const KindOnly& k : kind_only)
      if (request.was_given(k.name) && kind != k.kind)
        return std::string(k.name) + ": applies to " + k.kind_name + " only";
  const char* const ways[] = {"--levels", "--interval", "--fixed-levels", "--levels-count"};
  const char* first = nullptr;
  for (const char* w : ways) {
    if (!request.was_given(w)) continue;
    if (first != nullptr)
      return std::string(w) + ": " + first + " gives the levels already; give one of --levels, --interval, " +
             "--fixed-levels and --levels-count";
    first = w;
  }
  if (request.was_given("--offset") && !request.was_given("--interval"))
    return "--offset: applies to --interval only";
  return {};
}

}  // namespace convert

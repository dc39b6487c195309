// Rasters, tables and meshes read into memory at full (double) precision,
// for a program that builds its model from arrays (isovar-plot), and the
// command-line options that choose what is read, shared by isovar-convert
// and isovar-plot so that both accept the same spellings.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gmsh_reader.h"
#include "levels.h"
#include "model.h"
#include "progress.h"
#include "raster_reader.h"
#include "table_reader.h"

namespace CLI {
class App;
}

namespace convert {

enum class SourceKind { automatic, raster, table, mesh };  // automatic: source_kind_of(path)

// The kind a file name says: .msh a Gmsh mesh; .csv, .tsv, .txt, .xyz and
// .dat a table; anything else a raster. Never automatic.
SourceKind source_kind_of(const std::string& path);

// The name's extension in lower case, from its last dot (".tif"); empty when
// the last name has none, or only a leading dot (".profile").
std::string lower_extension(const std::string& path);

struct SourceRequest {
  SourceKind kind = SourceKind::automatic;
  RasterRequest raster;  // --band, --every
  Columns columns;       // --columns
  FieldRequest field;    // --field, --step
  LevelRequest levels;   // --levels; -i/--interval with --offset; --fixed-levels; --levels-count
  int bold_every = 0;    // --bold
  bool labelled = true;  // --no-labels
  bool full = false;     // --full
  std::vector<std::string> titles;  // --title, code page 932
  std::string crs;                  // --crs: any text OSRSetFromUserInput accepts; empty: the source's own
  double max_edge = 0;              // --max-edge (tables): 0 none
  std::string boundary;             // --boundary FILE (tables): an OGR polygon layer; empty none

  // The options given on the command line (long names, "--band"), for the
  // checks after parsing and for notes such as the one on a raster's bands.
  std::vector<std::string> given;
  bool was_given(const std::string& name) const;
};

struct Source {
  bool is_grid = true;
  std::vector<double> x, y, z;  // grid: x[nx], y[ny] ascending, z[j * nx + i], NaN for none
  std::vector<double> node_x, node_y, node_value;  // mesh: 0-based nodes, NaN for none
  std::vector<int32_t> cells;  // mesh: 4 per cell, 0-based node indices, the 4th -1 for a triangle
  std::vector<Level> levels;   // as make_levels gives them
  std::vector<std::string> titles;  // code page 932, as isovar-convert writes them
  bool full = false;
  std::string crs_wkt;             // WKT (OSRExportToWkt), empty when the source has none
  std::vector<std::string> notes;  // what isovar-convert says as notes (points merged, elements skipped, ...)
};

// Reads path into memory at full (double) precision. Throws Failure or
// LineFailure as the converters do (the message without the file's name).
// Pixel centres that single precision cannot tell apart are not refused
// here: a model built from arrays keeps its positions as offsets.
Source load_source(const std::string& path, const SourceRequest& request, Progress& progress);

// A raster read straight into its user's tables, without a grid of its own:
// the Source as load_source gives it but for z (left empty), and the rows,
// as read, to a sink. The levels come from the values' range once every row
// is read.
class RasterRows {
 public:
  // Opens the raster (throws as load_source does).
  RasterRows(const std::string& path, const SourceRequest& request);
  ~RasterRows();
  RasterRows(const RasterRows&) = delete;
  RasterRows& operator=(const RasterRows&) = delete;

  // x, y, the CRS, titles, notes; levels once read() is done.
  const Source& source() const { return source_; }
  Source& source() { return source_; }
  // Reads every row into sink, then makes the levels; throws as load_source
  // does (no data included).
  void read(RowSink& sink, Progress& progress);

 private:
  std::unique_ptr<RasterReader> reader_;
  SourceRequest request_;
  Source source_;
};

// Adds the source options above to a CLI11 app, binding them to request.
// Texts that cannot be right whatever the input (a level list, a column
// list, a title, a CRS GDAL does not know) are refused while parsing.
void add_source_options(CLI::App& app, SourceRequest& request);

// The checks after parsing: an empty text when good, else a usage message
// (options that only another kind of input takes, two ways of giving the
// levels at once, --offset without --interval). path, when given, decides
// an automatic kind.
std::string check_source_options(const SourceRequest& request, const std::string& path = "");

// Where a model's CRS is written beside it: the model's name with its
// extension replaced by .prj ("dem.isovar" -> "dem.prj").
std::string prj_path(const std::string& model_path);

// The WKT of a CRS given as text OSRSetFromUserInput accepts ("EPSG:32617",
// WKT, PROJ strings, a .prj file; not URLs); throws Failure naming the text
// when GDAL cannot parse it.
std::string crs_to_wkt(const std::string& text);

// The same, never from the network and, unless `files`, reading no file the
// text names (a .prj's own text may not send the reader elsewhere); in
// WKT2 (2019) when wkt2, else GDAL's default WKT. Empty when GDAL cannot
// parse the text, its messages left to the caller's error handler.
std::string crs_wkt(const std::string& text, bool files, bool wkt2);

}  // namespace convert

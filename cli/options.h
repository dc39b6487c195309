// isovar-plot's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "source.h"

namespace isovar_plot {

constexpr int kDefaultWidth = 665;
constexpr int kDefaultHeight = 585;
constexpr int kMaxSide = 20000;                          // pixels each way
constexpr int64_t kMaxPixels = int64_t{8192} * 8192;     // pixels in all: the drawing surface's limit

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the library, a file or the printer failed
constexpr int kExitUsage = 2;

// "-" as INPUT: the model comes from standard input.
constexpr const char* kStandardInput = "-";
// "-" as an output file (--png, --bmp, ...): standard output. A file named
// "-" is "./-".
constexpr const char* kStandardOutput = "-";

struct Options {
  std::vector<std::string> inputs;
  int width = kDefaultWidth;
  int height = kDefaultHeight;
  std::string display_list;  // empty: in the private folder
  std::string log;           // empty: in the private folder
  // The outputs of one input, each empty when not asked for.
  std::string bmp;
  std::string png;
  std::string pdf;
  std::string isolines;
  std::string svg;    // the picture as SVG
  std::string bands;  // band polygons as GeoJSON
  bool large = false;   // lift the default tables' limits from the start
  bool strict = false;  // a model past a default table fails instead of being plotted in large mode
  bool fill = false;    // fill the bands between the levels
  int threads = 0;      // threads tracing a large grid; 0: one per core
  // The picture's style: colour key ("", "right" or "below"), axes, colour map and its centre.
  std::string key;
  bool axes = false;
  std::string colormap = "classic";
  double center = 0.0;
  bool outline = false;  // the domain's boundary (a mesh's and its holes')
  // Labels: "" at the lines' ends, "inline" or "uphill" along them; the
  // pixels of line between them (0: the library's 250), index levels, halo.
  std::string labels;
  int label_spacing = 0;
  int index = 0;
  bool halo = false;
  // Raster pictures (PNG, BMP) with antialiased lines and edges; pictures
  // (PNG, SVG) at scale times the pixels; the PDF page drawn exactly from
  // the run instead of replayed from the display list.
  bool antialias = false;
  double scale = 1.0;
  bool vector = false;
  std::string style;  // "publication": the parts above that the command line leaves unset
  // Many inputs: each input's outputs go to outdir as NAME.EXT.
  std::string outdir;  // empty: one input, outputs named one by one
  bool keep_tree = false;  // outdir/FOLDER/NAME.EXT, FOLDER being the input's folder under the current one
  std::vector<std::string> formats;
  int jobs = 0;  // worker processes; 0: one per core

  // Rasters, tables and meshes plotted directly: what is read of them, their
  // levels and titles. Its crs (--crs) also stands for a model file's
  // MODEL.prj.
  convert::SourceRequest source;
  // The vector outputs: the OGR driver (empty: the file's ending tells),
  // the attributes' names, and GeoJSON in the model's CRS instead of WGS 84.
  std::string vector_format;
  std::string attr = "ELEV";
  std::string attr_min = "ELEV_MIN";
  std::string attr_max = "ELEV_MAX";
  bool keep_crs = false;
  // The vector outputs of --format beside the GeoJSON ones: the isolines as
  // NAME.gpkg ..., the bands as NAME.bands.gpkg ...
  std::string isolines_gpkg, isolines_shp, isolines_fgb, isolines_kml, isolines_csv, isolines_gml;
  std::string bands_gpkg, bands_shp, bands_fgb, bands_kml, bands_csv, bands_gml;
};

// One input's plot run as the writers see it (plotter.h).
class Run;
// Writes one output of a finished run to path (kStandardOutput for standard
// output), reporting its own failure: kExitOk or kExitFailure.
using Writer = int (*)(Run& run, const std::string& path);

// The outputs an input can have, by their --format names: which field of
// Options names the file, the file name's ending after NAME, and the writer.
// A run writes its outputs in this order.
struct OutputFormat {
  const char* name;
  const char* extension;
  std::string Options::*path;
  Writer write;
  const char* driver;  // the OGR driver of a vector output; nullptr for the others
};
// bmp, png, svg, isolines (NAME.geojson), bands (NAME.bands.geojson), the
// isolines as gpkg, shp, fgb, kml, csv, gml (NAME.gpkg, ...), the bands as
// bands-gpkg, ... (NAME.bands.gpkg, ...), pdf (outputs.cpp).
extern const OutputFormat kOutputFormats[];
extern const int kOutputFormatCount;

// "WxH" with W and H whole numbers from 1 to kMaxSide and W x H at most
// kMaxPixels; an empty text when it is good, else what is wrong.
std::string parse_size(const std::string& text, int& width, int& height);

// NAME of an input: its file name without its last ending.
std::string output_name(const std::string& input);

// Parses argv into out. Returns -1 when the plot is to be made; otherwise the
// exit status, after printing the help, the version, or a one-line usage
// error with a hint on standard error.
int parse_command_line(int argc, char** argv, Options& out);

// Prints a usage error as parse_command_line does: kExitUsage.
int usage_error(const std::string& text);

}  // namespace isovar_plot

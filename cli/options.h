// isovar-plot's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
  bool large = false;  // lift the default tables' limits
  bool fill = false;   // fill the bands between the levels
  // Many inputs: each input's outputs go to outdir as NAME.EXT.
  std::string outdir;  // empty: one input, outputs named one by one
  std::vector<std::string> formats;
  int jobs = 0;  // worker processes; 0: one per core
};

// The outputs an input can have, by their --format names: which field of
// Options names the file and the file name's ending after NAME.
struct OutputFormat {
  const char* name;
  const char* extension;
  std::string Options::*path;
};
// png, bmp, pdf, svg, isolines (NAME.geojson), bands (NAME.bands.geojson).
extern const OutputFormat kOutputFormats[];
extern const int kOutputFormatCount;

// "WxH" with W and H whole numbers from 1 to kMaxSide and W x H at most
// kMaxPixels; an empty text when it is good, else what is wrong.
std::string parse_size(const std::string& text, int& width, int& height);

// The input's outputs in outdir: for each format, outdir/NAME.EXT in the
// option's field, NAME being the input's file name without its last ending.
Options outputs_in_folder(const Options& batch, const std::string& input);
// NAME of an input, as above.
std::string output_name(const std::string& input);

// Parses argv into out. Returns -1 when the plot is to be made; otherwise the
// exit status, after printing the help, the version, or a one-line usage
// error with a hint on standard error.
int parse_command_line(int argc, char** argv, Options& out);

}  // namespace isovar_plot

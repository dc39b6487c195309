// isovar-plot's command line.
#pragma once

#include <string>

namespace isovar_plot {

constexpr int kDefaultWidth = 665;
constexpr int kDefaultHeight = 585;
constexpr int kMaxSide = 20000;  // pixels each way

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the library, a file or the printer failed
constexpr int kExitUsage = 2;

struct Options {
  std::string input;
  int width = kDefaultWidth;
  int height = kDefaultHeight;
  std::string display_list = "prtInfo.tmp";
  std::string bmp;  // empty: not asked for
  std::string png;
  std::string pdf;
  std::string isolines;
  std::string bands;  // band polygons as GeoJSON
  std::string svg;    // the picture as SVG
  bool large = false;  // lift the default tables' limits
  bool fill = false;   // fill the bands between the levels
};

// "WxH" with W and H whole numbers from 1 to kMaxSide; an empty text when
// it is good, else what is wrong.
std::string parse_size(const std::string& text, int& width, int& height);

// Parses argv into out. Returns -1 when the plot is to be made; otherwise the
// exit status, after printing the help, the version, or a one-line usage
// error with a hint on standard error.
int parse_command_line(int argc, char** argv, Options& out);

}  // namespace isovar_plot

#include "options.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <utility>

#ifndef ISOVAR_VERSION
#define ISOVAR_VERSION "unknown"
#endif

namespace isovar_plot {

namespace {

// Reads the digits from text[pos]; false when there are none or the number
// exceeds kMaxSide.
bool read_side(const std::string& text, std::size_t& pos, int& value) {
  std::size_t start = pos;
  long v = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    v = v * 10 + (text[pos] - '0');
    if (v > kMaxSide) return false;
    ++pos;
  }
  value = static_cast<int>(v);
  return pos > start && v >= 1;
}

}  // namespace

std::string parse_size(const std::string& text, int& width, int& height) {
  const std::string wrong = "size '" + text + "' must be WxH, whole numbers from 1 to " + std::to_string(kMaxSide);
  std::size_t pos = 0;
  int w, h;
  if (!read_side(text, pos, w)) return wrong;
  if (pos >= text.size() || (text[pos] != 'x' && text[pos] != 'X')) return wrong;
  ++pos;
  if (!read_side(text, pos, h) || pos != text.size()) return wrong;
  width = w;
  height = h;
  return {};
}

int parse_command_line(int argc, char** argv, Options& out) {
  CLI::App app{"Plots the isolines of an Isovar input file: draws the picture, writes the display list "
               "(prtInfo.tmp unless --display-list names another file) and the run log isovar.log in the "
               "current folder, and saves what the options ask for.",
               "isovar-plot"};
  app.set_version_flag("--version", "isovar-plot " ISOVAR_VERSION);
  app.footer(
      "Exit status: 0 on success, 1 when the library, a file or the printer fails (the message goes to "
      "standard error), 2 for a usage error.");

  std::string size = std::to_string(kDefaultWidth) + "x" + std::to_string(kDefaultHeight);
  app.add_option("INPUT", out.input, "Input file (grid or finite-element model)")->required()->type_name("FILE");
  app.add_option("--size", size, "Picture size in pixels, each side 1 to " + std::to_string(kMaxSide))
      ->type_name("WxH")
      ->default_str(size)
      ->check(CLI::Validator(
          [](std::string& text) {
            int w, h;
            return parse_size(text, w, h);
          },
          ""));
  app.add_option("--display-list", out.display_list, "Where the plot run writes its display-list file")
      ->default_str(out.display_list)
      ->type_name("FILE");
  app.add_option("--bmp", out.bmp, "Save the picture as a 24-bit BMP file (below 1000 pixels each way)")
      ->type_name("FILE");
  app.add_option("--png", out.png, "Save the picture as a PNG file")->type_name("FILE");
  app.add_option("--pdf", out.pdf, "Print the display list on one A4 page of a PDF file")->type_name("FILE");
  app.add_option("--svg", out.svg, "Save the picture as SVG")->type_name("FILE");
  app.add_option("--isolines", out.isolines, "Write the traced isolines as GeoJSON")->type_name("FILE");
  app.add_option("--bands", out.bands, "Write the bands between the levels as GeoJSON polygons")->type_name("FILE");
  app.add_flag("--fill", out.fill,
               "Fill the bands between the levels under the isolines, in every picture (BMP, PNG, PDF)");
  app.add_flag("--large", out.large,
               "Large models: tables grow with the model instead of stopping at the default sizes (grids of "
               "499 x 500, node numbers to 99999, 99999 isoline points, 1500 polylines of 1500 points, 99999 "
               "band pieces, 500 labels); levels, titles and frame lines keep their limits");

  try {
    app.parse(argc, argv);
    const std::pair<const char*, const std::string*> paths[] = {
        {"INPUT", &out.input}, {"--display-list", &out.display_list}, {"--bmp", &out.bmp},
        {"--png", &out.png},   {"--pdf", &out.pdf},                   {"--isolines", &out.isolines},
        {"--bands", &out.bands},
        {"--svg", &out.svg}};
    for (const auto& [name, value] : paths)
      if (app.count(name) > 0 && value->empty())
        throw CLI::ValidationError(name, "a file name must not be empty");
    parse_size(size, out.width, out.height);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "isovar-plot: " << e.what() << " (try isovar-plot --help)\n";
    return kExitUsage;
  }
  return -1;
}

}  // namespace isovar_plot

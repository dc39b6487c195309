#include "options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <iostream>
#include <utility>

#include "geodata.h"

#ifndef ISOVAR_VERSION
#define ISOVAR_VERSION "unknown"
#endif

namespace isovar_plot {

namespace {

// The options that name one output file each, as the help lists them.
constexpr const char* kSingleOutputs[] = {"--png", "--bmp", "--svg", "--pdf", "--isolines", "--bands"};

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

const OutputFormat* format_named(const std::string& name) {
  for (int i = 0; i < kOutputFormatCount; ++i)
    if (name == kOutputFormats[i].name) return &kOutputFormats[i];
  return nullptr;
}

// The format of an option such as "--png".
const OutputFormat* output_option(const std::string& option) { return format_named(option.substr(2)); }

std::string format_names() {
  std::string names;
  for (int i = 0; i < kOutputFormatCount; ++i) names += std::string(i > 0 ? ", " : "") + kOutputFormats[i].name;
  return names;
}

// What the options say together, past what each says alone.
void check_together(const CLI::App& app, const Options& out) {
  const bool several = out.inputs.size() > 1;
  if (out.strict && out.large) throw CLI::ValidationError("--strict", "refuses what --large lifts: give one of them");
  if (out.outdir.empty()) {
    if (several) throw CLI::ValidationError("INPUT", "several inputs need --outdir");
    if (app.count("--format") > 0) throw CLI::ValidationError("--format", "needs --outdir");
    if (out.keep_tree) throw CLI::ValidationError("--keep-tree", "needs --outdir");
    const char* to_standard_output = nullptr;
    bool any = !out.display_list.empty();
    for (const char* single : kSingleOutputs) {
      const std::string& path = out.*(output_option(single)->path);
      any = any || !path.empty();
      if (path != kStandardOutput) continue;
      if (to_standard_output != nullptr)
        throw CLI::ValidationError(single, std::string("'-' is standard output, already taken by ") +
                                               to_standard_output + " (a file named - is ./-)");
      to_standard_output = single;
    }
    if (!any)
      throw CLI::ValidationError("no output asked for: name one with --png, --bmp, --svg, --pdf, --isolines, "
                                 "--bands or --display-list, or give --outdir");
    return;
  }
  for (const char* single : kSingleOutputs)
    if (app.count(single) > 0)
      throw CLI::ValidationError(single, "names one file; with --outdir, --format chooses the outputs");
  if (several) {
    for (const char* shared : {"--display-list", "--log"})
      if (app.count(shared) > 0) throw CLI::ValidationError(shared, "would be shared by several inputs");
  }
  for (const std::string& input : out.inputs)
    if (input == kStandardInput) throw CLI::ValidationError("INPUT", "'-' (standard input) cannot go with --outdir");
}

// What the picture options ask of the outputs.
void check_pictures(const CLI::App& app, const Options& out) {
  const bool scaled = app.count("--scale") > 0 && out.scale != 1.0;
  bool bmp = !out.bmp.empty(), pdf = !out.pdf.empty();
  for (const std::string& name : out.formats) {
    bmp = bmp || name == "bmp";
    pdf = pdf || name == "pdf";
  }
  if (scaled && bmp)
    throw CLI::ValidationError("--scale", "makes PNG and SVG pictures; the BMP is always at its own size (below "
                                          "1000 pixels each way): leave out --bmp or --scale");
  if (out.vector && !pdf) throw CLI::ValidationError("--vector", "is for the PDF page: give --pdf");
  const double w = std::round(out.width * out.scale), h = std::round(out.height * out.scale);
  if (scaled && (w > kMaxSide || h > kMaxSide || w * h > static_cast<double>(kMaxPixels)))
    throw CLI::ValidationError("--scale", "makes a picture larger than the drawing surface's limit (" +
                                              std::to_string(kMaxPixels) + " pixels)");
}

// The vector outputs' options, and what a model file cannot take.
void check_vectors(const Options& out) {
  const std::string source = convert::check_source_options(out.source);
  if (!source.empty()) throw CLI::ValidationError(source);
  for (const std::string* name : {&out.attr, &out.attr_min, &out.attr_max})
    if (name->empty()) throw CLI::ValidationError("an attribute's name must not be empty");
  std::string error;
  if (!out.vector_format.empty() && vector_driver("", out.vector_format, &error).empty())
    throw CLI::ValidationError(error);
  for (const char* option : {"--isolines", "--bands"}) {
    const std::string& path = out.*(output_option(option)->path);
    if (path != kStandardOutput) continue;
    const std::string driver = vector_driver(path, out.vector_format, &error);
    if (vector_files("x.shp", driver).size() > 1)
      throw CLI::ValidationError(option, "the " + driver + " format writes several files: it cannot go to standard output");
  }
}

// The publication style: each part that the command line does not set
// itself.
void apply_publication_style(const CLI::App& app, Options& out) {
  if (app.count("--key") == 0) out.key = "right";
  if (app.count("--colormap") == 0) out.colormap = "viridis";
  if (app.count("--labels") == 0) out.labels = "inline";
  out.axes = true;
  out.halo = true;
  out.antialias = true;
  out.outline = true;
  // An exact PDF page wherever a PDF is asked for.
  out.vector = !out.pdf.empty() || std::find(out.formats.begin(), out.formats.end(), "pdf") != out.formats.end();
}

}  // namespace

std::string parse_size(const std::string& text, int& width, int& height) {
  const std::string wrong = "size '" + text + "' must be WxH, whole numbers from 1 to " + std::to_string(kMaxSide) +
                            ", at most " + std::to_string(kMaxPixels) + " pixels in all (8192x8192)";
  std::size_t pos = 0;
  int w, h;
  if (!read_side(text, pos, w)) return wrong;
  if (pos >= text.size() || (text[pos] != 'x' && text[pos] != 'X')) return wrong;
  ++pos;
  if (!read_side(text, pos, h) || pos != text.size()) return wrong;
  if (int64_t{w} * h > kMaxPixels) return wrong;
  width = w;
  height = h;
  return {};
}

std::string output_name(const std::string& input) {
  std::string name = input.substr(input.find_last_of('/') + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

int usage_error(const std::string& text) {
  std::cerr << "isovar-plot: " << text << " (try isovar-plot --help)\n";
  return kExitUsage;
}

int parse_command_line(int argc, char** argv, Options& out) {
  CLI::App app{"Plots the isolines of Isovar input files: draws the picture and saves what the options ask "
               "for (at least one output, or --outdir). A model that passes one of the default tables' limits "
               "is plotted in large mode, as --large would, with a line on standard error saying so; --strict "
               "refuses it instead. Levels that meet none of the model's values, a model without values and a "
               "bands output of one band are each plotted as they are, with a warning. "
               "The run log and the display list go where --log and --display-list say; otherwise no run log "
               "is kept, and the display list goes into a private temporary folder that is removed "
               "at the end. With --outdir, every INPUT is plotted, "
               "in parallel worker processes, into DIR/NAME.EXT. A raster, table or mesh is read as isovar-convert "
               "reads it and plotted in large mode, without a model file; its CRS goes into every vector output. "
               "A model file's CRS is MODEL.prj beside it, when there is one; --crs overrides either.",
               "isovar-plot"};
  app.set_version_flag("--version", "isovar-plot " ISOVAR_VERSION);
  app.footer(
      "An output named - goes to standard output (one output at a time); a file named - is ./-. "
      "Two outputs on one file, or an output on the input, are refused before anything is written.\n\n"
      "Exit status: 0 on success (warnings included), 1 when the library, a file or the printer fails (each "
      "failure goes to standard error, naming its file; the other outputs are still made), 2 for a usage error.");

  std::string size = std::to_string(kDefaultWidth) + "x" + std::to_string(kDefaultHeight);
  app.add_option("INPUT", out.inputs,
                 "Input files: models (grid or finite-element), or rasters, tables (.csv, .tsv, .txt, .xyz, .dat) "
                 "and Gmsh meshes (.msh) plotted directly, as isovar-convert reads them; - reads a model from "
                 "standard input")
      ->required()
      ->type_name("FILE");
  app.add_option("--size", size,
                 "Picture size in pixels, each side 1 to " + std::to_string(kMaxSide) + ", at most " +
                     std::to_string(kMaxPixels) + " pixels in all (8192x8192)")
      ->type_name("WxH")
      ->default_str(size)
      ->check(CLI::Validator(
          [](std::string& text) {
            int w, h;
            return parse_size(text, w, h);
          },
          ""));
  app.add_option("--display-list", out.display_list, "Where the plot run writes its display-list file")
      ->type_name("FILE");
  app.add_option("--log", out.log, "Where the plot run writes its run log")->type_name("FILE");
  app.add_option("--bmp", out.bmp, "Save the picture as a 24-bit BMP file (below 1000 pixels each way)")
      ->type_name("FILE");
  app.add_option("--png", out.png, "Save the picture as a PNG file")->type_name("FILE");
  app.add_option("--pdf", out.pdf, "Print the display list on one A4 page of a PDF file")->type_name("FILE");
  app.add_option("--svg", out.svg, "Save the picture as SVG")->type_name("FILE");
  app.add_option("--isolines", out.isolines,
                 "Write the traced isolines in the vector format the name's ending tells: .gpkg GeoPackage, .shp "
                 "Shapefile, .fgb FlatGeobuf, .kml, .csv (WKT geometry), .gml, else GeoJSON")
      ->type_name("FILE");
  app.add_option("--bands", out.bands, "Write the bands between the levels as polygons, in a format as --isolines")
      ->type_name("FILE");

  // The vector outputs.
  app.add_option("--vector-format", out.vector_format,
                 "The OGR driver that writes --isolines and --bands (GPKG, 'ESRI Shapefile', FlatGeobuf, GeoJSON, "
                 "KML, CSV, GML, ...), whatever the names end with")
      ->type_name("NAME");
  app.add_option("--attr", out.attr, "The isolines' attribute holding the level")->type_name("NAME")->default_str("ELEV");
  app.add_option("--attr-min", out.attr_min, "The bands' attribute holding the lower level")
      ->type_name("NAME")
      ->default_str("ELEV_MIN");
  app.add_option("--attr-max", out.attr_max, "The bands' attribute holding the upper level")
      ->type_name("NAME")
      ->default_str("ELEV_MAX");
  app.add_flag("--keep-crs", out.keep_crs,
               "GeoJSON in the model's CRS, which the file names, instead of reprojected to WGS 84 "
               "longitude/latitude (RFC 7946)");

  app.add_flag("--fill", out.fill,
               "Fill the bands between the levels under the isolines, in every picture (BMP, PNG, PDF, SVG)");
  app.add_option("--key", out.key,
                 "Draw a colour key beside the frame: right (the default) or below; one swatch per band with "
                 "--fill, else one line sample per level, with each level's value")
      ->type_name("WHERE")
      ->expected(0, 1)
      ->default_str("right")
      ->check(CLI::Validator(
          [](std::string& where) {
            if (where == "right" || where == "below") return std::string();
            return "'" + where + "' must be right or below (an INPUT goes before --key or after another option)";
          },
          ""));
  app.add_flag("--axes", out.axes, "Draw ticks with the model's coordinates below and left of the frame");
  app.add_option("--colormap", out.colormap,
                 "Colours of the lines, bands and key: classic (blue to red, the default), viridis, cividis, "
                 "magma, grey, or balance (diverging, its middle at --center)")
      ->type_name("NAME")
      ->check(CLI::IsMember({"classic", "viridis", "cividis", "magma", "grey", "balance"}));
  app.add_option("--center", out.center, "The value at the middle of the balance colour map (default 0)")
      ->type_name("V")
      ->check(CLI::Validator(
          [](std::string& text) {
            try {
              std::size_t used = 0;
              const double v = std::stod(text, &used);
              if (used == text.size() && std::isfinite(v)) return std::string();
            } catch (const std::exception&) {
            }
            return "--center '" + text + "' must be a finite number";
          },
          ""));
  app.add_flag("--outline", out.outline,
               "Draw the domain's boundary: a finite-element mesh's outline and its holes, or the edge of a "
               "grid's defined values; labels are kept inside it");
  app.add_option("--labels", out.labels,
                 "Label the levels along their lines instead of where the lines end: inline (turned along the "
                 "line, kept upright) or uphill (the tops of the digits towards higher values)")
      ->type_name("HOW")
      ->check(CLI::IsMember({"inline", "uphill"}));
  app.add_option("--label-spacing", out.label_spacing,
                 "Pixels of line between labels along it with --labels (default 250)")
      ->type_name("PX")
      ->check(CLI::Range(1, 100000));
  app.add_option("--index", out.index,
                 "Draw every N-th level bold, counted from the lowest that is a multiple of N level steps, and "
                 "label only those")
      ->type_name("N")
      ->check(CLI::Range(1, 1000));
  app.add_flag("--halo", out.halo,
               "Write labels in their line's colour on a white or black outline, readable on any band or line");
  app.add_flag("--antialias", out.antialias,
               "Antialiased lines and band edges in the PNG and BMP pictures (text always is)");
  app.add_option("--scale", out.scale,
                 "Draw the PNG and SVG pictures at F times the pixels (0.5 to 8): line widths, fonts and "
                 "spacing grow with them")
      ->type_name("F")
      ->check(CLI::Range(0.5, 8.0));
  app.add_flag("--vector", out.vector,
               "Draw the PDF page from the run itself: exact paths and text as text, instead of the display "
               "list's pixel positions");
  app.add_option("--style", out.style,
                 "publication: a colour key right of the frame, axes, labels along the lines with a halo, "
                 "antialiased lines, the viridis colours, the domain's outline and an exact PDF page; options "
                 "given beside it win")
      ->type_name("NAME")
      ->check(CLI::IsMember({"publication"}));
  app.add_flag("--large", out.large,
               "Large models from the start: tables grow with the model instead of stopping at the default sizes "
               "(grids of 499 x 500, node numbers to 99999, 99999 isoline points, 1500 polylines of 1500 points, "
               "99999 band pieces, 500 labels); levels, titles and frame lines keep their limits");
  app.add_option("--threads", out.threads,
                 "Threads tracing a large grid or mesh (one past the default tables), in tiles joined again: N from 1, "
                 "or 0 for one per core (the default); the outputs are the same for every N")
      ->check(CLI::Range(0, 4096))
      ->type_name("N");
  app.add_flag("--strict", out.strict,
               "Refuse a model that passes a default table's limit, with the library's message, instead of "
               "plotting it in large mode");

  // Many inputs.
  app.add_option("--outdir", out.outdir,
                 "Write each input's outputs into DIR as NAME.EXT; inputs of the same NAME get NAME-2.EXT, "
                 "NAME-3.EXT, ... in the order given")
      ->type_name("DIR");
  app.add_flag("--keep-tree", out.keep_tree,
               "With --outdir: each input's outputs go into DIR/FOLDER, FOLDER being the input's folder "
               "relative to the current one");
  app.add_option("--format", out.formats,
                 "The outputs of each input with --outdir, separated by commas: " + format_names() +
                     " (isolines as NAME.geojson, bands as NAME.bands.geojson; gpkg, shp, fgb, kml, csv, gml the isolines "
                     "as NAME.gpkg ...; bands-gpkg ... the bands as NAME.bands.gpkg ...); default png")
      ->type_name("LIST")
      ->delimiter(',')
      ->check(CLI::Validator(
          [](std::string& name) {
            return format_named(name) != nullptr ? std::string() : "unknown format '" + name + "'; known: " + format_names();
          },
          ""));
  app.add_option("-j,--jobs", out.jobs, "Worker processes with --outdir (default: one per core)")
      ->type_name("N")
      ->check(CLI::Range(1, 1024));
  // Rasters, tables and meshes plotted directly, with isovar-convert's options.
  convert::add_source_options(app, out.source);

  try {
    app.parse(argc, argv);
    const std::pair<const char*, const std::string*> paths[] = {
        {"--display-list", &out.display_list}, {"--log", &out.log},           {"--bmp", &out.bmp},
        {"--png", &out.png},                   {"--pdf", &out.pdf},           {"--isolines", &out.isolines},
        {"--svg", &out.svg},                   {"--bands", &out.bands},       {"--outdir", &out.outdir}};
    for (const auto& [name, value] : paths)
      if (app.count(name) > 0 && value->empty())
        throw CLI::ValidationError(name, "a file name must not be empty");
    for (const std::string& input : out.inputs)
      if (input.empty()) throw CLI::ValidationError("INPUT", "a file name must not be empty");
    if (app.count("--key") > 0 && out.key.empty()) out.key = "right";
    if (out.style == "publication") apply_publication_style(app, out);
    if (app.count("--center") > 0 && out.colormap != "balance")
      throw CLI::ValidationError("--center", "is the middle of the balance colour map: give --colormap balance");
    if (app.count("--label-spacing") > 0 && out.labels.empty())
      throw CLI::ValidationError("--label-spacing", "spaces labels along the lines: give --labels inline or uphill");
    check_together(app, out);
    check_vectors(out);
    if (out.formats.empty()) out.formats = {"png"};
    parse_size(size, out.width, out.height);
    check_pictures(app, out);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return usage_error(e.what());
  }
  return -1;
}

}  // namespace isovar_plot

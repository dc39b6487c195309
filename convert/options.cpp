#include "options.h"

#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>

#include "titles.h"

#ifndef ISOVAR_VERSION
#define ISOVAR_VERSION "unknown"
#endif

namespace convert {

namespace {

std::string extension(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1) return {};
  std::string e = path.substr(dot);
  std::transform(e.begin(), e.end(), e.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; });
  return e;
}

bool same_file(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Options that only one kind of input takes.
struct KindOnly {
  const char* name;
  InputKind kind;
  const char* kind_name;
};

}  // namespace

InputKind kind_of(const std::string& path) {
  const std::string e = extension(path);
  if (e == ".msh") return InputKind::mesh;
  if (e == ".csv" || e == ".tsv" || e == ".txt" || e == ".xyz" || e == ".dat") return InputKind::table;
  return InputKind::raster;
}

std::string default_output(const std::string& input) {
  const std::string e = extension(input);
  return input.substr(0, input.size() - e.size()) + ".isovar";
}

int parse_command_line(int argc, char** argv, Options& out) {
  CLI::App app{
      "Converts a raster (through GDAL), a table of scattered points (CSV, TSV or blank-separated; "
      "triangulated) or a Gmsh mesh (ASCII 2.2 or 4.1) into an Isovar input file.",
      "isovar-convert"};
  app.set_version_flag("--version", "isovar-convert " ISOVAR_VERSION);
  app.footer(
      "The kind of input follows its name: .msh a mesh; .csv, .tsv, .txt, .xyz, .dat a table; anything else a "
      "raster. Exit status: 0 on success, 1 for bad input or an output that cannot be written (the message goes "
      "to standard error), 2 for a usage error.");

  std::string kind_text, levels_text, columns_text;
  std::vector<std::string> titles;
  bool no_labels = false;
  app.add_option("INPUT", out.input, "The file to convert")->required()->type_name("FILE");
  app.add_option("-o,--output", out.output,
                 "The input file to write (default: INPUT with the extension .isovar); - for standard output")
      ->type_name("FILE");
  app.add_option("--kind", kind_text, "Read INPUT as this kind, whatever its name")
      ->check(CLI::IsMember({"raster", "table", "mesh"}))
      ->type_name("KIND");
  app.add_option("--title", titles, "A title line, UTF-8, at most 58 bytes in code page 932; up to five")
      ->type_name("TEXT")
      ->allow_extra_args(false);
  app.add_option("--levels", levels_text,
                 "A list 1,2,5; a range START:STOP:STEP; or N for about N round levels (default 10). One level "
                 "alone: with a point, 5.0")
      ->type_name("LEVELS");
  app.add_option("--bold", out.bold_every, "Make every K-th level bold (evenly spaced levels: at multiples of K steps)")
      ->check(CLI::Range(1, 1000))
      ->type_name("K");
  app.add_flag("--no-labels", no_labels, "Draw the isolines without value labels");
  app.add_flag("--full", out.full, "Set the full display mode (x and y get separate scales)");
  app.add_option("--band", out.raster.band, "Raster: the band to convert (default 1)")
      ->check(CLI::Range(1, 1000000))
      ->type_name("N");
  app.add_option("--every", out.raster.every, "Raster: keep every K-th row and column, from the first")
      ->check(CLI::Range(1, 1000000))
      ->type_name("K");
  app.add_option("--columns", columns_text,
                 "Table: the x, y and z columns by header name or 1-based number "
                 "(default 1,2,3)")
      ->type_name("X,Y,Z");
  app.add_option("--field", out.field.name, "Mesh: the $NodeData field (default the first)")->type_name("NAME");
  app.add_option("--step", out.field.step, "Mesh: the time step of the field (default its first block)")
      ->type_name("N");

  try {
    app.parse(argc, argv);
    if (out.input.empty()) throw CLI::ValidationError("INPUT", "a file name must not be empty");
    if (app.count("--output") > 0 && out.output.empty())
      throw CLI::ValidationError("--output", "a file name must not be empty");
    out.kind = kind_text == "raster"  ? InputKind::raster
               : kind_text == "table" ? InputKind::table
               : kind_text == "mesh"  ? InputKind::mesh
                                      : kind_of(out.input);
    const KindOnly kind_only[] = {{"--band", InputKind::raster, "a raster"},
                                  {"--every", InputKind::raster, "a raster"},
                                  {"--columns", InputKind::table, "a table"},
                                  {"--field", InputKind::mesh, "a mesh"},
                                  {"--step", InputKind::mesh, "a mesh"}};
    for (const KindOnly& k : kind_only)
      if (app.count(k.name) > 0 && out.kind != k.kind)
        throw CLI::ValidationError(k.name, std::string("applies to ") + k.kind_name + " only");
    out.band_given = app.count("--band") > 0;
    out.field.step_given = app.count("--step") > 0;
    if (app.count("--columns") > 0) {
      const std::string why = parse_columns(columns_text, out.columns);
      if (!why.empty()) throw CLI::ValidationError("--columns", why);
    }
    if (app.count("--levels") > 0) {
      const std::string why = parse_level_request(levels_text, out.levels);
      if (!why.empty()) throw CLI::ValidationError("--levels", why);
    }
    if (titles.size() > static_cast<size_t>(kMaxTitles))
      throw CLI::ValidationError("--title", "at most " + std::to_string(kMaxTitles) + " titles");
    for (const std::string& t : titles) {
      std::string cp932;
      const std::string why = title_to_cp932(t, cp932);
      if (!why.empty()) throw CLI::ValidationError("--title", why);
      out.titles.push_back(cp932);
    }
    out.labelled = !no_labels;
    const bool output_given = !out.output.empty();
    if (!output_given) out.output = default_output(out.input);
    if (out.output != "-" && (out.output == out.input || same_file(out.input, out.output))) {
      // Most likely a model given to the wrong program.
      if (!output_given)
        throw CLI::ValidationError("INPUT", out.input + " ends in .isovar already: plot a model with isovar-plot " +
                                                "(or name another output with -o)");
      throw CLI::ValidationError("--output", "the output would replace the input");
    }
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "isovar-convert: " << e.what() << " (try isovar-convert --help)\n";
    return kExitUsage;
  }
  return -1;
}

}  // namespace convert

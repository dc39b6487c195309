#include "options.h"

#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>


#ifndef ISOVAR_VERSION
#define ISOVAR_VERSION "unknown"
#endif

namespace convert {

namespace {

bool same_file(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

InputKind kind_of(const std::string& path) {
  switch (source_kind_of(path)) {
    case SourceKind::mesh:
      return InputKind::mesh;
    case SourceKind::table:
      return InputKind::table;
    default:
      return InputKind::raster;
  }
}

std::string default_output(const std::string& input) {
  const std::string prj = prj_path(input);
  return prj.substr(0, prj.size() - 4) + ".isovar";
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

  app.add_option("INPUT", out.input, "The file to convert")->required()->type_name("FILE");
  app.add_option("-o,--output", out.output,
                 "The input file to write (default: INPUT with the extension .isovar); - for standard output. "
                 "The CRS goes beside it as NAME.prj")
      ->type_name("FILE");
  add_source_options(app, out.source);

  try {
    app.parse(argc, argv);
    if (out.input.empty()) throw CLI::ValidationError("INPUT", "a file name must not be empty");
    if (app.count("--output") > 0 && out.output.empty())
      throw CLI::ValidationError("--output", "a file name must not be empty");
    const std::string why = check_source_options(out.source, out.input);
    if (!why.empty()) throw CLI::ValidationError(why);
    switch (out.source.kind) {
      case SourceKind::raster:
        out.kind = InputKind::raster;
        break;
      case SourceKind::table:
        out.kind = InputKind::table;
        break;
      case SourceKind::mesh:
        out.kind = InputKind::mesh;
        break;
      case SourceKind::automatic:
        out.kind = kind_of(out.input);
        break;
    }
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

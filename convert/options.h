// isovar-convert's command line, checked here once.
#pragma once

#include <string>
#include <vector>

#include "source.h"

namespace convert {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // bad input, or the output cannot be written
constexpr int kExitUsage = 2;

enum class InputKind { raster, table, mesh };

struct Options {
  std::string input;
  std::string output;
  InputKind kind = InputKind::raster;
  SourceRequest source;  // what is read, and the levels, titles and looks
};

// The kind a file name says: .msh a Gmsh mesh; .csv, .tsv, .txt, .xyz and
// .dat a table; anything else a raster.
InputKind kind_of(const std::string& path);

// The input's name with its extension replaced by ".isovar".
std::string default_output(const std::string& input);

// Parses argv into out. Returns -1 when the conversion is to be made;
// otherwise the exit status, after printing the help, the version, or a
// one-line usage error with a hint on standard error.
int parse_command_line(int argc, char** argv, Options& out);

}  // namespace convert

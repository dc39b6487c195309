// Why an input was refused and what next, in English, for the lines under the
// library's own message: the system's reason when the file cannot be read;
// what a file that is no model looks like, and the isovar-convert command
// that makes a model of it; the text of the line a refusal names.
#pragma once

#include <string>
#include <vector>

namespace isovar_plot {

// The lines to say about an input the library refused, each without the
// "NAME: " the caller puts first. path is the file to look at (the input, or
// standard input kept in a file; empty when there is none to look at), shown
// the input as the user named it ("-" for standard input), text the
// library's message in UTF-8.
std::vector<std::string> explain_refused_input(const std::string& path, const std::string& shown,
                                               const std::string& text);

// What a file starting with head (its first bytes; whole when the file is
// that short) is, as far as a model is concerned.
enum class Looks { kModel, kRaster, kImage, kTable, kMesh, kBinary, kOtherText };
struct Look {
  Looks kind;
  std::string what;  // "a PNG image", "a table (comma-separated columns of numbers)", ...
};
Look look_at(const std::string& head);

// The isovar-convert command that makes a model of input, read as kind
// (kRaster, kImage or kBinary as a raster): --kind when its name would make
// isovar-convert read it as another kind, the name quoted for the shell when
// it needs to be, FILE for standard input ("-"). Empty for the kinds
// isovar-convert does not read.
std::string convert_command(const std::string& input, Looks kind);

// The line a library message names ("行:N" or "行：N"), 0 when it names
// none.
int refused_line(const std::string& text);

// Line number (from 1) of the file at path, converted from code page 932,
// control characters shown as '?', cut to 80 characters ("..." then
// follows); empty, with *found false, when the file has no such line.
std::string line_of(const std::string& path, int number, bool* found);

// text with its control characters, which could drive a terminal, shown as
// '?' (tabs as blanks).
std::string printable(const std::string& text);

}  // namespace isovar_plot

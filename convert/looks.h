// What a file looks like from its first bytes, so that a message about a
// file the chosen reader refused can say what it is and which command reads
// it.
#pragma once

#include <string>
#include <string_view>

#include "options.h"

namespace convert {

struct Looks {
  enum class Kind { unknown, model, raster, table, mesh };
  Kind kind = Kind::unknown;
  std::string what;  // "a PNG image", "a table of numbers"; "" when unknown
};

// Judges the first bytes of a file.
Looks looks_of(std::string_view head);

// The file's first bytes judged; unknown when it cannot be read.
Looks looks_of_file(const std::string& path);

// A line saying what the file at path looks like and the command that reads
// it, when that is not the kind it was read as; "" otherwise.
std::string what_next(const std::string& path, InputKind tried);

// A file name as a shell reads it back: quoted when it holds anything but
// letters, digits and ./_-+,:@%=.
std::string shell_word(const std::string& text);

}  // namespace convert

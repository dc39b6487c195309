// The input file: a model, its titles and levels as the library reads them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "levels.h"
#include "model.h"
#include "progress.h"

namespace convert {

// Where the text goes, piece by piece.
class TextSink {
 public:
  virtual ~TextSink() = default;
  virtual void write(const char* bytes, size_t size) = 0;
};

class StringSink : public TextSink {
 public:
  void write(const char* bytes, size_t size) override { text.append(bytes, size); }
  std::string text;
};

struct Header {
  std::vector<std::string> titles;  // code page 932 lines
  bool full = false;                // "*display full"
  std::vector<Level> levels;
};

// Writes the whole input file: "*model", the display mode, the titles, the
// model's sections and "*isovar", each section closed with "*end". Grid
// points without a value get no record, and so do nodes without one in
// "*node_data". Lines end with LF.
void write_input_file(const Model& model, const Header& header, TextSink& sink, Progress& progress);

}  // namespace convert

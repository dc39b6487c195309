// The input file: a model, its titles and levels as the library reads them.
#pragma once

#include <cstddef>
#include <memory>
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

class Records;

// An input file written section by section, in the file's order: begin(),
// then grid_axes(), the value rows and end_values() for a grid, or mesh();
// then levels(), which closes the file. Lines end with LF.
class ModelWriter {
 public:
  explicit ModelWriter(TextSink& sink);
  ~ModelWriter();
  ModelWriter(const ModelWriter&) = delete;
  ModelWriter& operator=(const ModelWriter&) = delete;

  // "*model", the display mode and the titles.
  void begin(bool is_grid, const Header& header);
  // "*x" and "*y", then the "*value" section opens.
  void grid_axes(const std::vector<float>& x, const std::vector<float>& y);
  // A record per point of row j (0-based) with a value; NaN has none. Rows
  // may come in any order.
  void grid_row(size_t j, const float* values, size_t nx);
  void end_values();
  // "*node", "*element" and "*node_data" (nodes without a value get no
  // record there).
  void mesh(const Mesh& mesh);
  // "*isovar" with the levels; everything goes to the sink.
  void levels(const std::vector<Level>& levels);

 private:
  std::unique_ptr<Records> out_;
};

// Writes the whole input file of a model held in memory: "*model", the
// display mode, the titles, the model's sections and "*isovar", each section
// closed with "*end". Grid points without a value get no record, and so do
// nodes without one in "*node_data". Lines end with LF.
void write_input_file(const Model& model, const Header& header, TextSink& sink, Progress& progress);

}  // namespace convert

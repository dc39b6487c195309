// The model a conversion produces, as the input file's reader will store it:
// every coordinate and value already in single precision.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace convert {

// Node and element numbers of the default tables, and the grid's size.
constexpr int64_t kMaxTableNumber = 99999;
constexpr int kMaxTableNx = 499;
constexpr int kMaxTableNy = 500;
// An element field holds at most 8 characters.
constexpr int64_t kMaxWritableNumber = 99999999;

// A grid: ascending coordinates and a value per point, NaN where the source
// has none (such points get no record).
struct Grid {
  std::vector<float> x;
  std::vector<float> y;
  std::vector<float> value;  // value[j * x.size() + i]
  float at(size_t i, size_t j) const { return value[j * x.size() + i]; }
};

struct Node {
  int64_t number;
  float x;
  float y;
  float value;
  bool has_value;
};

struct Element {
  int64_t number;
  int64_t nodes[4];
  int count;  // 3 or 4
};

struct Mesh {
  std::vector<Node> nodes;
  std::vector<Element> elements;
};

struct Model {
  bool is_grid = true;
  Grid grid;
  Mesh mesh;
};

// A failure the user hears about: bad input, or a file that cannot be
// written. The message says what, without the program's name.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A fault at one line of a text source.
struct LineFailure : Failure {
  LineFailure(int64_t line_number, const std::string& what)
      : Failure("line " + std::to_string(line_number) + ": " + what), line(line_number) {}
  int64_t line;
};

// What renumbering changed.
struct Renumbered {
  bool nodes = false;
  bool elements = false;
};

// Numbers nodes (and elements) 1, 2, ... in the order of their old numbers
// when any of them lies outside 0 to 99999, so that a model that fits the
// default tables by its size also fits them by its numbers. Elements follow
// their nodes' new numbers.
Renumbered fit_numbers(Mesh& mesh);

// The smallest and largest value defined in the model; false when none is.
bool value_range(const Model& model, float& low, float& high);

}  // namespace convert

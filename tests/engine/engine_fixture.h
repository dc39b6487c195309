// Filling the model store directly and reading the engine tables back, for
// the engine's tests.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "default_objects.h"
#include "default_objects.h"
#include "default_objects.h"

namespace engine_test {

using Pt = std::pair<float, float>;

struct Piece {
  int band;
  std::vector<Pt> corners;
  bool operator==(const Piece& o) const { return band == o.band && corners == o.corners; }
};

// Zeroes the whole model store and message_buffer.
void clear_model();
void set_levels(const std::vector<float>& levels);

// A grid model; value(i, j) with 1-based indices, every point defined.
void set_grid(const std::vector<float>& xs, const std::vector<float>& ys,
              const std::function<float(int, int)>& value);
// Grid values given row by row from the top (highest j) down, as they look
// on paper: rows[0] is j = ny.
void set_grid_rows(const std::vector<float>& xs, const std::vector<float>& ys,
                   const std::vector<std::vector<float>>& rows);

// Finite-element model parts.
void set_fem();
void add_node(int n, float x, float y, float value);
void add_node_without_value(int n, float x, float y);
void add_element(int e, int n0, int n1, int n2, int n3 = -1);

// The engine tables, read back.
std::vector<Pt> row_points(int n);
std::vector<Pt> all_points();  // slots 1 .. point_count - 1
std::vector<Piece> pieces();
std::string message();

void PrintTo(const Piece& p, std::ostream* os);

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clear_model();
    reset_engine_tables();
  }
};

}  // namespace engine_test

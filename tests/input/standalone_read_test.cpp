// A read stands alone: whether a file is accepted, and the model it gives,
// never depend on the files read before it; a refused file leaves the model
// it would have replaced exactly as it was.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "default_objects.h"
#include "read_helper.h"
#include "shared/tables.h"

namespace {

// Everything the store says about its model: counts, flags (whole tables)
// and the values the flags make meaningful.
std::string store_image() {
  const ModelStore& m = model_store;
  std::ostringstream s;
  s << m.model_kind << ' ' << m.display_mode << ' ' << m.title_count << ' ' << m.level_count << ' '
    << m.extent_xmin << ' ' << m.extent_xmax << ' ' << m.extent_ymin << ' ' << m.extent_ymax << '\n';
  for (int t = 0; t < m.title_count; ++t) s << m.titles[t] << '\n';
  for (int k = 0; k < m.level_count; ++k) s << m.levels[k] << ' ' << m.level_kind[k] << ' ' << m.level_label[k] << '\n';
  s << m.grid_nx << ' ' << m.grid_ny << ' ' << m.value_nx << ' ' << m.value_ny << '\n';
  for (int i = 1; i <= m.grid_nx; ++i) s << m.grid_x[i] << ' ';
  for (int j = 1; j <= m.grid_ny; ++j) s << m.grid_y[j] << ' ';
  for (int i = 1; i <= m.value_nx; ++i) {
    for (int j = 1; j <= m.value_ny; ++j) {
      s << m.grid_defined[i][j];
      if (m.grid_defined[i][j] != 0) s << '=' << m.grid_value[i][j] << ' ';
    }
  }
  s << '\n' << m.node_slots << ' ' << m.element_slots << '\n';
  for (int n = 0; n < m.node_slots; ++n) {
    s << m.node_state[n];
    if (m.node_state[n] != 0) s << '(' << m.node_x[n] << ',' << m.node_y[n] << ')';
    if (m.node_state[n] == 2) s << '=' << m.node_value[n];
  }
  for (int e = 0; e < m.element_slots; ++e) {
    s << m.element_defined[e];
    if (m.element_defined[e] != 0) {
      for (int32_t node : m.element_nodes[e]) s << ':' << node;
    }
  }
  s << '\n' << m.frame_count;
  for (int f = 0; f < m.frame_count; ++f)
    s << ' ' << m.frame_from[f].x << ' ' << m.frame_from[f].y << ' ' << m.frame_to[f].x << ' ' << m.frame_to[f].y;
  return s.str();
}

const std::string kGrid = "*title\ngrid\n*end\n*display full\n*x\n0\n1\n2\n*end\n*y\n10\n20\n*end\n"
                          "*value\n1 1 0\n2 1 1\n3 2 5\n*end\n*isovar\n0.5\n2 bold no\n*end\n";
const std::string kSmallGrid = "*x\n0\n1\n*end\n*y\n0\n1\n*end\n*value\n1 1 3\n*end\n*isovar\n1\n*end\n";
const std::string kFem = "*model fem\n*title\nplate\nsecond\n*end\n*node\n1 0 0\n2 1 0\n3 0 1\n7 4 4\n*end\n"
                         "*element\n1 1 2 3\n*end\n*node_data\n1 0\n2 1\n3 2\n*end\n*frame\n0 0 1 1\n*end\n"
                         "*isovar\n0.5\n*end\n";
const std::string kSmallFem = "*model fem\n*node\n1 0 0\n2 1 0\n3 0 1\n*end\n*element\n2 1 2 3\n*end\n"
                              "*node_data\n1 0\n2 1\n3 2\n*end\n*isovar\n0.5\n*end\n";
// Flags far into the tables, which a later read must not find set.
const std::string kFarGrid = "*x\n0\n1\n2\n3\n*end\n*y\n0\n1\n2\n*end\n*value\n4 3 1\n3 3 2\n*end\n*isovar\n1\n*end\n";
const std::string kFarFem = "*model fem\n*node\n1 0 0\n2 1 0\n99999 0 1\n*end\n*element\n99999 1 2 99999\n*end\n"
                            "*node_data\n1 0\n2 1\n99999 2\n*end\n*isovar\n0.5\n*end\n";
// A second "*value" forgets the first one's points; the later "*x" widens
// the grid over rows the first one set.
const std::string kValueAgain = "*x\n0\n1\n2\n3\n*end\n*y\n0\n1\n2\n*end\n*value\n4 3 1\n*end\n"
                                "*x\n0\n1\n*end\n*value\n1 1 5\n*end\n*x\n0\n1\n2\n3\n*end\n*isovar\n1\n*end\n";
// Refused on line 15: the value is no number.
const std::string kRefused = "*title\nhalf\n*end\n*x\n0\n1\n*end\n*y\n0\n1\n*end\n*value\n1 1 0\n2 1 0\n1 2 abc\n";
// Refused alone: "*value" before the coordinates it indexes.
const std::string kValueFirst = "*value\n1 1 0\n*end\n*x\n0\n1\n*end\n*y\n0\n1\n*end\n*isovar\n0.5\n*end\n";

// The image of the file read into a fresh store.
std::string alone(const std::string& file) {
  EXPECT_EQ(read_text(file).result, 0);
  return store_image();
}

void expect_alone_after(const std::string& before, const std::string& file, const std::string& what) {
  const std::string expected = alone(file);
  read_text(before, true);
  ASSERT_EQ(read_text(file, false).result, 0) << what;
  EXPECT_EQ(store_image(), expected) << what;
}

TEST(StandaloneRead, AModelDoesNotDependOnTheFilesReadBeforeIt) {
  for (bool large : {false, true}) {
    run_context.large = large ? 1 : 0;
    const std::string mode = large ? " (large)" : "";
    expect_alone_after(kFem, kGrid, "grid after a mesh" + mode);
    expect_alone_after(kGrid, kFem, "mesh after a grid" + mode);
    expect_alone_after(kGrid, kSmallGrid, "small grid after a grid" + mode);
    expect_alone_after(kFem, kSmallFem, "mesh without frame lines after one with" + mode);
    expect_alone_after(kRefused, kGrid, "grid after a refused file" + mode);
    expect_alone_after(kFarGrid, kSmallGrid, "small grid after a wider one" + mode);
    expect_alone_after(kFarGrid, kValueAgain, "repeated value sections after a wider grid" + mode);
    expect_alone_after(kFarFem, kSmallFem, "small mesh after numbers up to 99999" + mode);
    expect_alone_after(kFarFem, kFarGrid, "grid after a mesh" + mode);
    expect_alone_after(kFarGrid, kFarFem, "mesh after a grid" + mode);
    // Refused alone, refused after a grid that gave the counts it lacks.
    EXPECT_EQ(read_text(kValueFirst).result, -1);
    read_text(kGrid);
    EXPECT_EQ(read_text(kValueFirst, false).result, -1) << mode;
  }
  run_context.large = 0;
}

TEST(StandaloneRead, ARefusedFileLeavesTheModelAsItWas) {
  for (const std::string* file : {&kGrid, &kFem}) {
    read_text(*file);
    const std::string before = store_image();
    const ReadResult refused = read_text(kRefused, false);
    EXPECT_EQ(refused.result, -1);
    EXPECT_EQ(store_image(), before);
    // A file that cannot be opened as well.
    EXPECT_EQ(read_text("", false).result, -1);  // no *x: refused at the end
    EXPECT_EQ(store_image(), before);
  }
}

}  // namespace

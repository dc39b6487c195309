// The domain's outline: boundary rings of meshes and grids, the outline in
// the picture and the display list, and labels kept inside the domain.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "IsovarLib.h"
#include "input/mesh_boundary.h"
#include "render_fixtures.h"
#include "test_support.h"

using namespace render_fixtures;
using testing_support::write_file;

namespace {

using Ring = std::vector<int64_t>;

// A ring as a node sequence independent of its start and direction: from
// its least node, towards the lesser of that node's two neighbours.
Ring canonical(Ring ring) {
  std::rotate(ring.begin(), std::min_element(ring.begin(), ring.end()), ring.end());
  if (ring.size() > 2 && ring.back() < ring[1]) std::reverse(ring.begin() + 1, ring.end());
  return ring;
}

// The rings, each node named by its place: 1 + x + 10 y for a mesh's (as
// mesh_file numbers them, whatever slot the store gives it), (x + 1) * 6 +
// y + 1 for a grid's of 5 x 5 unit cells.
std::vector<Ring> closed_rings(const BoundaryRings& b) {
  std::vector<Ring> rings;
  for (int64_t i = 0; i < b.rings(); ++i) {
    EXPECT_TRUE(b.closed[static_cast<std::size_t>(i)]) << "ring " << i << " is open";
    Ring ring;
    for (int64_t k = b.start[static_cast<std::size_t>(i)]; k < b.start[static_cast<std::size_t>(i) + 1]; ++k) {
      float x, y;
      boundary_node_xy(model_store, b.nodes[static_cast<std::size_t>(k)], &x, &y);
      const int64_t ix = static_cast<int64_t>(x), iy = static_cast<int64_t>(y);
      ring.push_back(model_store.model_kind == kFemModel ? 1 + ix + 10 * iy : (ix + 1) * 6 + iy + 1);
    }
    rings.push_back(canonical(ring));
  }
  std::sort(rings.begin(), rings.end());
  return rings;
}

// A finite-element model of node 1 + i + 10 j at (i, j) (numbered `base`
// higher in the file), of the given elements, every node with value x
// unless `valueless`.
std::string mesh_file(int nx, int ny, const std::vector<std::vector<int>>& elements, int valueless = -1,
                      const std::string& levels = "0.5\n", int base = 0) {
  auto number = [base](int n) { return std::to_string(n + base); };
  std::string text = "*model fem\n*node\n";
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) text += number(1 + i + 10 * j) + " " + std::to_string(i) + " " + std::to_string(j) + "\n";
  text += "*end\n*element\n";
  for (std::size_t e = 0; e < elements.size(); ++e) {
    text += std::to_string(e + 1);
    for (int n : elements[e]) text += " " + number(n);
    text += "\n";
  }
  text += "*end\n*node_data\n";
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i)
      if (1 + i + 10 * j != valueless) text += number(1 + i + 10 * j) + " " + std::to_string(i) + "\n";
  return text + "*end\n*isovar\n" + levels + "*end\n";
}

// The quadrilaterals of an nx x ny node grid, but those whose lower-left
// node is in `skip`.
std::vector<std::vector<int>> quads(int nx, int ny, const std::vector<int>& skip = {}) {
  std::vector<std::vector<int>> out;
  for (int j = 0; j + 1 < ny; ++j)
    for (int i = 0; i + 1 < nx; ++i) {
      const int n = 1 + i + 10 * j;
      if (std::find(skip.begin(), skip.end(), n) == skip.end()) out.push_back({n, n + 1, n + 11, n + 10});
    }
  return out;
}

void read_model(const std::string& text) {
  write_file("model.iso", text);
  char err[ISOVAR_ERRMSG_SIZE] = {};
  ASSERT_EQ(readData("model.iso", err), 0) << testing_support::utf8(err);
}

}  // namespace

TEST(Boundary, RingsOfMeshesAndGrids) {
  struct Case {
    const char* name;
    std::string model;
    std::vector<Ring> rings;  // canonical, sorted
  };
  // A grid's point (i, j) (1-based) at (i - 1, j - 1).
  auto g = [](int i, int j) { return int64_t{i} * 6 + j; };
  std::string grid = "*model differencial\n*x\n0\n1\n2\n3\n4\n*end\n*y\n0\n1\n2\n3\n4\n*end\n*value\n";
  for (int i = 1; i <= 5; ++i)
    for (int j = 1; j <= 5; ++j)
      if (!(i == 3 && j == 3)) grid += std::to_string(i) + " " + std::to_string(j) + " 1\n";
  grid += "*end\n*isovar\n0.5\n*end\n";
  const Case cases[] = {
      {"square of triangles",
       mesh_file(3, 3, {{1, 2, 12}, {1, 12, 11}, {2, 3, 13}, {2, 13, 12}, {11, 12, 22}, {11, 22, 21},
                        {12, 13, 23}, {12, 23, 22}}),
       {{1, 2, 3, 13, 23, 22, 21, 11}}},
      {"quadrilaterals in a row", mesh_file(4, 2, quads(4, 2)), {{1, 2, 3, 4, 14, 13, 12, 11}}},
      {"plate with a hole", mesh_file(4, 4, quads(4, 4, {12})),
       {{1, 2, 3, 4, 14, 24, 34, 33, 32, 31, 21, 11}, {12, 13, 23, 22}}},
      // Node numbers far above their count: large mode finds their slots
      // by its index, not a table by number.
      {"plate with a hole, sparse numbers", mesh_file(4, 4, quads(4, 4, {12}), -1, "0.5\n", 5000000),
       {{1, 2, 3, 4, 14, 24, 34, 33, 32, 31, 21, 11}, {12, 13, 23, 22}}},
      // A triangle touching the square at one corner: a ring of its own.
      {"dangling element", mesh_file(3, 3, {{1, 2, 12, 11}, {12, 13, 23}}), {{1, 2, 12, 11}, {12, 13, 23}}},
      // An element with a node without a value is not plotted: no side of it.
      {"element the plot leaves out", mesh_file(3, 2, {{1, 2, 12, 11}, {2, 3, 13, 12}}, 3), {{1, 2, 12, 11}}},
      {"grid with an undefined point",
       grid,
       {{g(1, 1), g(1, 2), g(1, 3), g(1, 4), g(1, 5), g(2, 5), g(3, 5), g(4, 5), g(5, 5), g(5, 4), g(5, 3), g(5, 2),
         g(5, 1), g(4, 1), g(3, 1), g(2, 1)},
        {g(2, 2), g(2, 3), g(2, 4), g(3, 4), g(4, 4), g(4, 3), g(4, 2), g(3, 2)}}},
  };
  for (int32_t large : {0, 1}) {
    setLargeModels(large);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (large ? ", large mode" : ""));
      if (!large && c.model.find("5000001") != std::string::npos) continue;  // past the default tables
      read_model(c.model);
      BoundaryRings b;
      ASSERT_TRUE(model_store.model_kind == kFemModel ? mesh_boundary(model_store, b) : grid_boundary(model_store, b));
      std::vector<Ring> expected = c.rings;
      for (Ring& r : expected) r = canonical(r);
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(closed_rings(b), expected);
    }
  }
  setLargeModels(0);
}

// A side of three elements has an odd number of boundary sides at its ends:
// what cannot be closed stays an open chain, and every side is used once.
TEST(Boundary, SidesThatCloseNoRingAreKeptAsChains) {
  BoundaryRings b;
  join_boundary_edges({{1, 2}, {2, 3}, {3, 1}, {2, 4}}, b);
  ASSERT_EQ(b.rings(), 2);
  EXPECT_EQ(b.closed, (std::vector<uint8_t>{1, 0}));
  EXPECT_EQ(b.start.back(), 3 + 2);
}

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

class Outlined : public ::testing::Test {
 protected:
  void SetUp() override { dc_ = CreateSurfaceDC(kWidth, kHeight); }
  void TearDown() override {
    setPictureStyle(nullptr);
    DeleteDC(dc_);
  }
  std::string plot(const std::string& model, bool outline) {
    read_model(model);
    IsovarPictureStyle style{};
    style.outline = outline ? 1 : 0;
    EXPECT_EQ(setPictureStyle(&style), 0);
    char err[ISOVAR_ERRMSG_SIZE] = {};
    EXPECT_EQ(isovarMain(err, dc_, "prtInfo.tmp", kWidth, kHeight), 0);
    return testing_support::read_file("prtInfo.tmp");
  }
  // Model point (x, y) in picture pixels.
  std::pair<int32_t, int32_t> pixel(double x, double y) {
    const PixelFrame f = pixel_frame(default_run);
    return {trunc_to_int(f.left + f.kx * (x - f.x0)), trunc_to_int(f.bottom + f.ky * (y - f.y0))};
  }
  HDC dc_ = nullptr;
};

}  // namespace

// A plate of 6 x 6 unit squares with a hole of 2 x 2 in the middle and no
// isoline (level 100): the outline is its 24 outer and 8 inner sides, drawn
// white over the background and recorded as two-pixel lines; without the
// option the hole's sides stay background.
TEST_F(Outlined, BoundaryIsDrawnAndRecorded) {
  const std::string model = mesh_file(7, 7, quads(7, 7, {23, 24, 33, 34}), -1, "100\n");
  for (bool outline : {false, true}) {
    SCOPED_TRACE(outline);
    const std::vector<Record> records = decode(plot(model, outline));
    const int32_t lines = static_cast<int32_t>(
        std::count_if(records.begin(), records.end(), [](const Record& r) { return r.tag == DL_LINE; }));
    EXPECT_EQ(lines, 8 + (outline ? 24 + 8 : 0));  // the frame twice, and the outline
    for (const Record& r : records) {
      if (r.tag != DL_LINE) continue;
      EXPECT_EQ(r.numbers[0], 2);
    }
    // The middles of the hole's four sides.
    for (auto [x, y] : {std::pair{3.0, 2.0}, {3.0, 4.0}, {2.0, 3.0}, {4.0, 3.0}}) {
      const auto [px, py] = pixel(x, y);
      EXPECT_EQ(GetPixel(dc_, px, py), outline ? kWhite : kBackgroundColour) << x << ", " << y;
    }
  }
}

// Value x over the plate with a hole: the level 3 line ends on the hole's
// lower and upper sides, and the levels' lines end on the plate's edges.
// The plain picture puts labels in the hole and outside the frame; with the
// outline every label's text lies in the plate and off the hole.
TEST_F(Outlined, LabelsStayInsideTheDomain) {
  const std::string model = mesh_file(7, 7, quads(7, 7, {23, 24, 33, 34}), -1, "1\n3\n5\n");
  for (bool outline : {false, true}) {
    SCOPED_TRACE(outline);
    const std::vector<Record> records = decode(plot(model, outline));
    const auto [left, top] = pixel(0, 6);
    const auto [right, bottom] = pixel(6, 0);
    const auto [hole_left, hole_top] = pixel(2, 4);
    const auto [hole_right, hole_bottom] = pixel(4, 2);
    int32_t labels = 0, astray = 0;
    for (const Record& r : records) {
      if (r.tag != DL_LABEL) continue;
      ++labels;
      const int32_t l = r.numbers[0], t = r.numbers[1];
      const int32_t rt = l + text_width(r.text.size(), r.numbers[2]) - 1, b = t + r.numbers[2] - 1;
      const bool in_plate = l > left && t > top && rt < right && b < bottom;
      const bool off_hole = rt < hole_left || l > hole_right || b < hole_top || t > hole_bottom;
      if (!(in_plate && off_hole)) ++astray;
    }
    EXPECT_GE(labels, 3);
    if (outline) {
      EXPECT_EQ(astray, 0);
    } else {
      EXPECT_GT(astray, 0);  // what the outline mends
    }
  }
}

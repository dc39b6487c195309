// Gmsh meshes in formats 2.2 and 4.1.
#include <gtest/gtest.h>

#include <string>

#include "convert_helper.h"
#include "gmsh_reader.h"
#include "default_objects.h"

namespace {

using convert::FieldRequest;
using convert::GmshMesh;

// One quadrangle 1-2-3-4, one triangle 2-5-3, a line and a point element;
// fields "p" at steps 0 and 1 and "v" with three components.
const char* const kMesh22 = R"($MeshFormat
2.2 0 8
$EndMeshFormat
$PhysicalNames
1
2 1 "plate $EndNodes"
$EndPhysicalNames
$Nodes
5
1 0 0 0
2 1 0 0
3 1 1 0
4 0 1 0
5 2 0.5 0
$EndNodes
$Elements
4
1 15 2 0 1 1
2 1 2 0 1 1 2
7 3 2 1 1 1 2 3 4
8 2 2 1 1 2 5 3
$EndElements
$NodeData
1
"p"
1
0.0
3
0
1
5
1 10
2 20
3 30
4 40
5 25
$EndNodeData
$NodeData
1
"p"
1
1.0
3
1
1
4
1 11
2 21
3 31
5 26
$EndNodeData
$NodeData
1
"v"
1
0.0
3
0
3
1
1 1 2 3
$EndNodeData
)";

// The same mesh in format 4.1, nodes in two blocks (one parametric).
const char* const kMesh41 = R"($MeshFormat
4.1 0 8
$EndMeshFormat
$Entities
1 0 0 0
1 0 0 0 0
$EndEntities
$Nodes
2 5 1 5
0 1 0 1
1
0 0 0
2 1 1 4
2
3
4
5
1 0 0 0.1 0.2
1 1 0 0.3 0.4
0 1 0 0.5 0.6
2 0.5 0 0.7 0.8
$EndNodes
$Elements
4 4 1 8
0 1 15 1
1 1
1 1 1 1
2 1 2
2 1 3 1
7 1 2 3 4
2 1 2 1
8 2 5 3
$EndElements
$NodeData
1
"p"
1
0.0
4
0
1
5
0
1 10
2 20
3 30
4 40
5 25
$EndNodeData
)";

GmshMesh mesh(const char* text, const FieldRequest& request = {}) { return convert::parse_gmsh(text, request); }

// The message of a refused mesh, the same read from memory and line by line
// from a file.
std::string refusal(const std::string& text, const FieldRequest& request = {}) {
  std::string in_memory = "accepted", read = "accepted";
  try {
    convert::parse_gmsh(text, request);
  } catch (const convert::Failure& f) {
    in_memory = f.what();
  }
  try {
    from_file(text, [&](convert::LineReader& lines) { return convert::parse_gmsh(lines, request); });
  } catch (const convert::Failure& f) {
    read = f.what();
  }
  EXPECT_EQ(read, in_memory);
  return in_memory;
}

void expect_plate(const GmshMesh& g) {
  ASSERT_EQ(g.mesh.nodes.size(), 5u);
  ASSERT_EQ(g.mesh.elements.size(), 2u);
  const convert::Element& quad = g.mesh.elements[0];
  EXPECT_EQ(quad.number, 7);
  EXPECT_EQ(quad.count, 4);
  EXPECT_EQ(quad.nodes[3], 4);
  const convert::Element& tri = g.mesh.elements[1];
  EXPECT_EQ(tri.number, 8);
  EXPECT_EQ(tri.count, 3);
  EXPECT_EQ(tri.nodes[1], 5);
  EXPECT_EQ(g.mesh.nodes[4].x, 2.0f);
  EXPECT_EQ(g.mesh.nodes[4].y, 0.5f);
  EXPECT_EQ(g.field, "p");
  EXPECT_EQ(g.step, 0);
  EXPECT_EQ(g.mesh.nodes[4].value, 25.0f);
  EXPECT_EQ(g.skipped, (std::map<int64_t, int64_t>{{1, 1}, {15, 1}}));
}

TEST(Gmsh, BothFormatsGiveTheSameMesh) {
  expect_plate(mesh(kMesh22));
  expect_plate(mesh(kMesh41));
  const auto parse = [](convert::LineReader& lines) { return convert::parse_gmsh(lines, FieldRequest{}); };
  expect_plate(from_file(kMesh41, parse, true));
}

TEST(Gmsh, FieldsByNameAndStep) {
  FieldRequest later;
  later.name = "p";
  later.step_given = true;
  later.step = 1;
  const GmshMesh g = mesh(kMesh22, later);
  EXPECT_EQ(g.step, 1);
  EXPECT_EQ(g.mesh.nodes[0].value, 11.0f);
  // Node 4 has no value at step 1.
  EXPECT_FALSE(g.mesh.nodes[3].has_value);
  FieldRequest missing;
  missing.name = "q";
  EXPECT_EQ(refusal(kMesh22, missing),
            "no $NodeData block for field 'q'; the file holds 'p' step 0, 'p' step 1, 'v' step 0");
  FieldRequest vector;
  vector.name = "v";
  EXPECT_EQ(refusal(kMesh22, vector), "line 60: field 'v' has 3 components per node; one is plotted");
}

TEST(Gmsh, FaultsNameTheLine) {
  const std::string good = kMesh22;
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string s = good;
    s.replace(s.find(from), from.size(), to);
    return s;
  };
  EXPECT_EQ(refusal(replaced("8 2 2 1 1 2 5 3", "8 2 2 1 1 2 9 3")),
            "line 21: element 8 names node 9, which is not defined");
  EXPECT_EQ(refusal(replaced("8 2 2 1 1 2 5 3", "8 2 2 1 1 2 5")), "line 21: element 8 has too few nodes");
  EXPECT_EQ(refusal(replaced("8 2 2 1 1 2 5 3", "8 2 2 1 1 2 5 3 4")), "line 21: element 8 has too many nodes");
  EXPECT_EQ(refusal(replaced("3 1 1 0", "3 1 x 0")), "line 12: the y coordinate 'x' is not a number");
  EXPECT_EQ(refusal(replaced("3 1 1 0", "2 1 1 0")), "line 12: node 2 is defined twice");
  EXPECT_EQ(refusal(replaced("5 25", "5 1e40")), "line 36: the node value 1e40 is beyond single precision");
  EXPECT_EQ(refusal(replaced("5 25", "6 25")), "line 36: node 6 has a value but is not defined");
  EXPECT_EQ(refusal(replaced("2.2 0 8", "2.2 1 8")), "line 2: binary meshes are not read; save the mesh as ASCII");
  EXPECT_EQ(refusal(replaced("2.2 0 8", "4 0 8")),
            "line 2: mesh format 4 is not read; save the mesh in format 4.1 or 2.2");
  EXPECT_EQ(refusal(good.substr(0, good.find("5 2 0.5 0"))), "line 14: the node tag '' is not a whole number");
  EXPECT_EQ(refusal(good.substr(0, good.find("$EndElements"))), "line 22: expected $EndElements, found ''");
  EXPECT_EQ(refusal(good.substr(good.find("$Nodes"))), "line 1: the file does not begin with $MeshFormat");
  // Counts far beyond what the file holds end at its end, not after them.
  EXPECT_EQ(refusal(good.substr(0, good.find("$NodeData")) + "$NodeData\n2000000000\n"),
            "line 25: the file ends before a string tag");
  EXPECT_EQ(refusal(good.substr(0, good.find("$NodeData"))), "no data: the mesh has no $NodeData block of node values");
  EXPECT_EQ(refusal(replaced("7 3 2 1 1 1 2 3 4\n8 2 2 1 1 2 5 3", "7 9 2 1 1 1 2 3 4 5 6\n8 1 2 1 1 2 5")),
            "no data: the mesh has no triangles or quadrangles");
  EXPECT_EQ(refusal(""), "no data: not a Gmsh mesh (no $MeshFormat)");
}

TEST(Gmsh, LargeTagsAreRenumberedAndTheModelIsReadAsWritten) {
  std::string text = kMesh22;
  // Node 5 becomes 500000 and element 8 becomes 123456.
  text.replace(text.find("5 2 0.5 0"), 1, "500000");
  text.replace(text.find("8 2 2 1 1 2 5 3"), 15, "123456 2 2 1 1 2 500000 3");
  text.replace(text.find("5 25"), 1, "500000");
  GmshMesh g = mesh(text.c_str());
  const convert::Renumbered r = convert::fit_numbers(g.mesh);
  EXPECT_TRUE(r.nodes);
  EXPECT_TRUE(r.elements);
  EXPECT_EQ(g.mesh.elements[1].nodes[1], 5);  // 500000 is the fifth tag
  EXPECT_EQ(g.mesh.elements[1].number, 2);

  GmshMesh kept = mesh(kMesh22);
  const convert::Renumbered none = convert::fit_numbers(kept.mesh);
  EXPECT_FALSE(none.nodes || none.elements);
  convert::Model model;
  model.is_grid = false;
  model.mesh = kept.mesh;
  convert::Header header;
  header.levels = {{15.0f, false, true}, {22.5f, true, false}};
  ASSERT_EQ(read_back(converted(model, header)), "");
  EXPECT_EQ(model_store.element_nodes[7][3], 4);
  EXPECT_EQ(model_store.element_nodes[8][3], -1);
  EXPECT_EQ(model_store.node_value[5], 25.0f);
  EXPECT_EQ(model_store.level_count, 2);
  EXPECT_EQ(model_store.level_kind[1], 1);
  EXPECT_EQ(model_store.level_label[1], 0);
}

}  // namespace

// Gmsh meshes in the ASCII formats 2.2 and 4.1: nodes, 3-node triangles,
// 4-node quadrangles and node values from a "$NodeData" block.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "model.h"

namespace convert {

class LineReader;

struct FieldRequest {
  std::string name;  // empty: the first block's field
  bool step_given = false;
  int64_t step = 0;  // the time step index of the block
};

struct GmshMesh {
  Mesh mesh;  // Gmsh's own node and element tags
  // The nodes' x, y and value as the file writes them, in double precision,
  // in the order of mesh.nodes (a value NaN where the node has none).
  std::vector<double> full_x, full_y, full_value;
  std::string field;
  int64_t step = 0;
  std::map<int64_t, int64_t> skipped;  // element type -> count of elements left out
};

// The mesh of a Gmsh file and the values of the requested field at its
// nodes. Elements of other types are left out and counted. Sections other
// than $MeshFormat, $Nodes, $Elements and $NodeData are passed over.
//
// Throws LineFailure for a malformed or inconsistent record, Failure for a
// file without nodes, triangles or quadrangles, or the requested field.
GmshMesh parse_gmsh(std::string_view bytes, const FieldRequest& request);
// The same, line by line from source.
GmshMesh parse_gmsh(LineReader& source, const FieldRequest& request);

// What a Gmsh element type is ("2-node line"), or "" for a rare one.
std::string element_type_name(int64_t type);

}  // namespace convert

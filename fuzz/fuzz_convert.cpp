// Arbitrary bytes through isovar-convert's text parsers: an even first byte
// reads the rest as a table of points, an odd one as a Gmsh mesh. What they
// accept is triangulated (small tables), numbered and written as an input
// file into memory, so every number goes through the writer too. With bit 3
// of the first byte set, the rest is read instead as a file by load_source,
// at full precision (small tables triangulated and masked by their edges).
// A first byte 'P' takes the rest as the text of a model's .prj, as
// isovar-plot reads it (no network, no file it names).
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "delaunay.h"
#include "gmsh_reader.h"
#include "source.h"
#include "table_reader.h"
#include "writer.h"

namespace {

// Keeps qhull's share of each run small.
constexpr size_t kMaxTriangulated = 64;

convert::Mesh table_mesh(std::string_view text, uint8_t choice) {
  convert::Columns columns;
  if (choice & 2) convert::parse_columns(choice & 4 ? "z,x,y" : "3,1,2", columns);
  std::vector<convert::Point> points = convert::parse_table(text, columns);
  if (points.size() <= kMaxTriangulated) return convert::triangulate(points).mesh;
  convert::merge_equal_points(points);
  convert::Mesh mesh;
  for (const convert::Point& p : points)
    mesh.nodes.push_back({static_cast<int64_t>(mesh.nodes.size()) + 1, p.x, p.y, p.z, true});
  return mesh;
}

convert::Mesh gmsh_mesh(std::string_view text, uint8_t choice) {
  convert::FieldRequest field;
  if (choice & 2) field.name = "p";
  field.step_given = (choice & 4) != 0;
  field.step = 1;
  convert::Mesh mesh = convert::parse_gmsh(text, field).mesh;
  convert::fit_numbers(mesh);
  return mesh;
}

// The text as a file in memory, read through load_source.
void full_source(std::string_view text, uint8_t choice) {
  const bool table = choice % 2 == 0;
  if (table && text.size() > kMaxTriangulated * 16) return;
  const int fd = memfd_create("fuzz_convert", MFD_CLOEXEC);
  if (fd < 0) return;
  if (write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size())) {
    convert::SourceRequest request;
    request.kind = table ? convert::SourceKind::table : convert::SourceKind::mesh;
    if (choice & 2) {
      request.field.name = "p";
      convert::parse_columns("3,1,2", request.columns);
    }
    if (choice & 4) request.max_edge = 1.5;
    if (choice & 16) request.levels.kind = convert::LevelRequest::Kind::even;
    convert::Progress quiet(false);
    try {
      convert::load_source("/proc/self/fd/" + std::to_string(fd), request, quiet);
    } catch (const convert::Failure&) {
    }
  }
  close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] == 'P') {
    convert::crs_wkt(std::string(text), false, true);
    return 0;
  }
  if (data[0] & 8) {
    full_source(text, data[0]);
    return 0;
  }
  convert::Model model;
  model.is_grid = false;
  try {
    model.mesh = data[0] % 2 == 0 ? table_mesh(text, data[0]) : gmsh_mesh(text, data[0]);
  } catch (const convert::Failure&) {
    return 0;
  }
  convert::Header header;
  header.levels = {{0.5f, true, false}};
  convert::StringSink sink;
  convert::Progress quiet(false);
  convert::write_input_file(model, header, sink, quiet);
  return 0;
}

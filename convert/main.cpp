// isovar-convert: turns a raster, a table of scattered points or a Gmsh mesh
// into an input file that the library reads.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <new>
#include <string>

#include "delaunay.h"
#include "gmsh_reader.h"
#include "line_reader.h"
#include "numbers.h"
#include "options.h"
#include "output_file.h"
#include "raster_reader.h"
#include "table_reader.h"
#include "writer.h"

namespace convert {

namespace {

void note(const std::string& text) { std::cerr << "isovar-convert: note: " << text << '\n'; }

// An input file opened for reading line by line; a folder is refused here,
// where reading it would fail with a less plain reason.
class InputText {
 public:
  explicit InputText(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (fd_ < 0) throw Failure(std::string("cannot open: ") + std::strerror(errno));
    struct stat st;
    if (fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd_);
      throw Failure(std::string("cannot open: ") + std::strerror(EISDIR));
    }
  }
  ~InputText() { ::close(fd_); }
  InputText(const InputText&) = delete;
  InputText& operator=(const InputText&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

std::string plural(int64_t n, const char* word) { return std::to_string(n) + " " + word + (n == 1 ? "" : "s"); }

Model from_raster(const Options& o, Progress& progress) {
  Raster r = read_raster(o.input, o.raster, progress);
  if (r.band_count > 1 && !o.band_given)
    note("the raster has " + std::to_string(r.band_count) + " bands; band 1 is converted (--band picks another)");
  if (!r.georeferenced) note("the raster has no geotransform; x and y count pixels from its lower left corner");
  Model m;
  m.grid = std::move(r.grid);
  return m;
}

Model from_table(const Options& o) {
  InputText in(o.input);
  LineReader lines(in.fd());
  std::vector<Point> points = parse_table(lines, o.columns);
  Triangulation t = triangulate(std::move(points));
  if (t.merged > 0)
    note(plural(static_cast<int64_t>(t.merged), "point") + " with the x and y of an earlier point left out");
  Model m;
  m.is_grid = false;
  m.mesh = std::move(t.mesh);
  return m;
}

Model from_mesh(const Options& o) {
  GmshMesh g = [&] {
    InputText in(o.input);
    LineReader lines(in.fd());
    return parse_gmsh(lines, o.field);
  }();
  for (const auto& [type, count] : g.skipped) {
    const std::string name = element_type_name(type);
    note(plural(count, "element") + " of type " + std::to_string(type) + (name.empty() ? "" : " (" + name + ")") +
         " left out (only 3-node triangles and 4-node quadrangles are plotted)");
  }
  const Renumbered r = fit_numbers(g.mesh);
  if (r.nodes) note("nodes renumbered from 1, since a node tag lies beyond 99999");
  if (r.elements) note("elements renumbered from 1, since an element tag lies beyond 99999");
  Model m;
  m.is_grid = false;
  m.mesh = std::move(g.mesh);
  return m;
}

// A model larger than the default tables is written all the same.
void check_size(const Model& m, const Options& o) {
  if (m.is_grid) {
    const size_t nx = m.grid.x.size(), ny = m.grid.y.size();
    if (nx <= static_cast<size_t>(kMaxTableNx) && ny <= static_cast<size_t>(kMaxTableNy)) return;
    const size_t every = std::max((nx + kMaxTableNx - 1) / kMaxTableNx, (ny + kMaxTableNy - 1) / kMaxTableNy);
    note("the grid has " + std::to_string(nx) + " x " + std::to_string(ny) + " points, more than the " +
         std::to_string(kMaxTableNx) + " x " + std::to_string(kMaxTableNy) +
         " isovar-plot reads by default: plot it with isovar-plot --large, or keep fewer points with --every " +
         std::to_string(every * static_cast<size_t>(o.raster.every)));
    return;
  }
  int64_t top = 0;
  for (const Node& n : m.mesh.nodes) top = std::max(top, n.number);
  for (const Element& e : m.mesh.elements) top = std::max(top, e.number);
  if (top > kMaxWritableNumber)
    throw Failure("node or element number " + std::to_string(top) + " is beyond the " +
                  std::to_string(kMaxWritableNumber) + " an input file can hold");
  if (top > kMaxTableNumber)
    note("the mesh has " + plural(static_cast<int64_t>(m.mesh.nodes.size()), "node") + " and " +
         plural(static_cast<int64_t>(m.mesh.elements.size()), "element") + ", numbered up to " + std::to_string(top) +
         ", more than the " + std::to_string(kMaxTableNumber) +
         " isovar-plot reads by default: plot it with isovar-plot --large");
}

std::string summary(const Options& o, const Model& m, const std::vector<Level>& levels) {
  std::string s = o.output + ": ";
  if (m.is_grid) {
    s += "grid of " + std::to_string(m.grid.x.size()) + " x " + std::to_string(m.grid.y.size()) + " points";
  } else {
    s += plural(static_cast<int64_t>(m.mesh.nodes.size()), "node") + ", " +
         plural(static_cast<int64_t>(m.mesh.elements.size()), "element");
  }
  s += ", " + plural(static_cast<int64_t>(levels.size()), "level");
  if (!levels.empty()) s += " from " + show(levels.front().value) + " to " + show(levels.back().value);
  return s;
}

int convert(const Options& o) {
  Progress progress(::isatty(2) == 1);
  Model model;
  Header header;
  try {
    switch (o.kind) {
      case InputKind::raster:
        model = from_raster(o, progress);
        break;
      case InputKind::table:
        model = from_table(o);
        break;
      case InputKind::mesh:
        model = from_mesh(o);
        break;
    }
    float low, high;
    if (!value_range(model, low, high)) throw Failure("no data: no value to plot");
    header.levels = make_levels(o.levels, low, high, o.bold_every, o.labelled);
    check_size(model, o);
  } catch (const Failure& f) {
    progress.finish();
    std::cerr << "isovar-convert: " << o.input << ": " << f.what() << '\n';
    return kExitFailure;
  } catch (const std::bad_alloc&) {
    progress.finish();
    std::cerr << "isovar-convert: " << o.input << ": not enough memory to hold the model\n";
    return kExitFailure;
  }
  header.titles = o.titles;
  header.full = o.full;
  try {
    OutputFile file(o.output);
    write_input_file(model, header, file, progress);
    file.commit();
  } catch (const Failure& f) {
    progress.finish();
    std::cerr << "isovar-convert: " << f.what() << '\n';
    return kExitFailure;
  }
  std::cout << summary(o, model, header.levels) << '\n';
  return kExitOk;
}

}  // namespace

}  // namespace convert

int main(int argc, char** argv) {
  convert::Options options;
  const int status = convert::parse_command_line(argc, argv, options);
  if (status >= 0) return status;
  return convert::convert(options);
}

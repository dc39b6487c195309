// isovar-convert: turns a raster, a table of scattered points or a Gmsh mesh
// into an input file that the library reads.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <string>

#include "default_tables.h"
#include "delaunay.h"
#include "gmsh_reader.h"
#include "line_reader.h"
#include "looks.h"
#include "mask.h"
#include "numbers.h"
#include "options.h"
#include "output_file.h"
#include "raster_reader.h"
#include "source.h"
#include "table_reader.h"
#include "writer.h"

namespace convert {

namespace {

void say(const std::string& text) { std::cerr << "isovar-convert: " << text << '\n'; }
void note(const std::string& text) { say("note: " + text); }

std::string plural(int64_t n, const char* word) { return std::to_string(n) + " " + word + (n == 1 ? "" : "s"); }

// What a conversion made, for the notes and the summary.
struct Made {
  std::string shape;  // "grid of 60 x 50 points"
  std::vector<Level> levels;
  TableNeeds needs;
  int stale_removed = 0;
};

Mesh mesh_of_table(const Options& o, const TriangleMask& mask) {
  InputText in(o.input);
  LineReader lines(in.fd());
  std::vector<Point> points = parse_table(lines, o.source.columns);
  Triangulation t = triangulate(std::move(points));
  if (t.merged > 0)
    note(plural(static_cast<int64_t>(t.merged), "point") + " with the x and y of an earlier point left out");
  if (mask.active()) {
    // Nodes are numbered 1, 2, ... in order, elements too.
    const std::vector<Node>& nodes = t.mesh.nodes;
    std::vector<Element> kept;
    for (const Element& e : t.mesh.elements) {
      double x[3], y[3];
      for (int k = 0; k < 3; ++k) {
        x[k] = nodes[static_cast<size_t>(e.nodes[k] - 1)].x;
        y[k] = nodes[static_cast<size_t>(e.nodes[k] - 1)].y;
      }
      if (!mask.keeps(x, y)) continue;
      kept.push_back(e);
      kept.back().number = static_cast<int64_t>(kept.size());
    }
    const std::string what = masked_note(t.mesh.elements.size() - kept.size(), kept.size());
    if (kept.empty()) throw Failure("no data: " + what);
    note(what);
    t.mesh.elements = std::move(kept);
  }
  return std::move(t.mesh);
}

// Whether the two names are one file.
bool same_file(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// The CRS beside the model as NAME.prj (WKT), written whole before the model
// itself is renamed into place; without a CRS, a NAME.prj an earlier
// conversion left is removed, so that the model is not read in another's
// CRS. A .prj that is one of the input's own files is left alone.
void write_prj(const Options& o, const std::string& wkt, const std::vector<std::string>& input_files) {
  if (is_standard_output(o.output)) {
    if (!wkt.empty())
      note("the CRS is not written with a model on standard output (-o NAME.isovar writes it as NAME.prj)");
    return;
  }
  const std::string prj = prj_path(o.output);
  if (prj == o.output) {
    if (!wkt.empty()) note("the CRS is not written: the model itself is named " + prj);
    return;
  }
  for (const std::string& f : input_files)
    if (same_file(prj, f)) {
      note(prj + " is a file of the input, and is left as it is");
      return;
    }
  if (wkt.empty()) {
    if (::unlink(prj.c_str()) == 0) {
      note("removed " + prj + ", since the input has no CRS (--crs gives one)");
    } else if (errno != ENOENT) {
      throw OutputFailure("cannot remove " + prj + " (the input has no CRS): " + std::strerror(errno));
    }
    return;
  }
  OutputFile file(prj);
  file.write(wkt.data(), wkt.size());
  file.commit();
}

Mesh mesh_of_gmsh(const Options& o) {
  GmshMesh g = [&] {
    InputText in(o.input);
    LineReader lines(in.fd());
    return parse_gmsh(lines, o.source.field);
  }();
  for (const auto& [type, count] : g.skipped) {
    const std::string name = element_type_name(type);
    note(plural(count, "element") + " of type " + std::to_string(type) + (name.empty() ? "" : " (" + name + ")") +
         " left out (only 3-node triangles and 4-node quadrangles are plotted)");
  }
  const Renumbered r = fit_numbers(g.mesh);
  if (r.nodes) note("nodes renumbered from 1, since a node tag lies beyond 99999");
  if (r.elements) note("elements renumbered from 1, since an element tag lies beyond 99999");
  return std::move(g.mesh);
}

// A mesh, read whole (triangulation and renumbering need every point), then
// written.
Made convert_mesh(const Options& o, Header& header, const TriangleMask& mask, const std::string& crs) {
  Model model;
  model.is_grid = false;
  model.mesh = o.kind == InputKind::table ? mesh_of_table(o, mask) : mesh_of_gmsh(o);
  float low, high;
  if (!value_range(model, low, high)) throw Failure("no data: no value to plot");
  header.levels = make_levels(o.source.levels, low, high, o.source.bold_every, o.source.labelled);

  Made made;
  made.needs.is_grid = false;
  for (const Node& n : model.mesh.nodes) made.needs.highest_number = std::max(made.needs.highest_number, n.number);
  for (const Element& e : model.mesh.elements)
    made.needs.highest_number = std::max(made.needs.highest_number, e.number);
  if (made.needs.highest_number > kMaxWritableNumber)
    throw Failure("node or element number " + std::to_string(made.needs.highest_number) + " is beyond the " +
                  std::to_string(kMaxWritableNumber) + " an input file can hold");
  BandPieces pieces;
  pieces.mesh(model.mesh);
  made.needs.band_pieces = pieces.count(header.levels);
  made.needs.band_pieces_exact = pieces.exact();
  if (fits_model_tables(made.needs)) made.needs.traced = traced_limit(model.mesh, header.levels);
  made.shape = plural(static_cast<int64_t>(model.mesh.nodes.size()), "node") + ", " +
               plural(static_cast<int64_t>(model.mesh.elements.size()), "element");
  made.levels = header.levels;

  OutputFile file(o.output);
  made.stale_removed = file.stale_removed();
  ModelWriter out(file);
  out.begin(false, header);
  out.mesh(model.mesh);
  out.levels(header.levels);
  write_prj(o, crs, {o.input});
  file.commit();
  return made;
}

// The rows of a raster on their way into the file: written, their values'
// range kept, their cells counted into band pieces, and kept whole when the
// grid fits the grid table (a trace needs them).
class GridRows : public RowSink {
 public:
  GridRows(ModelWriter& out, const RasterInfo& info)
      : out_(out), nx_(info.x.size()), previous_(nx_), single_(nx_) {
    if (nx_ <= static_cast<size_t>(kMaxTableNx) && info.y.size() <= static_cast<size_t>(kMaxTableNy)) {
      kept.x = info.x;
      kept.y = info.y;
      kept.value.assign(nx_ * info.y.size(), NAN);
    }
  }

  void row(size_t j, const double* full) override {
    // The reader's values all fit single precision.
    for (size_t i = 0; i < nx_; ++i) single_[i] = static_cast<float>(full[i]);
    const float* values = single_.data();
    out_.grid_row(j, values, nx_);
    if (!kept.value.empty()) std::copy(values, values + nx_, kept.value.begin() + static_cast<std::ptrdiff_t>(j * nx_));
    for (size_t i = 0; i < nx_; ++i) {
      const float v = values[i];
      if (v < low) low = v;  // NaN compares false
      if (v > high) high = v;
    }
    if (have_previous_) {
      // The rows come in the raster's order, y ascending or descending.
      if (previous_j_ < j) {
        pieces.cells(previous_.data(), values, nx_);
      } else {
        pieces.cells(values, previous_.data(), nx_);
      }
    }
    std::copy(values, values + nx_, previous_.begin());
    previous_j_ = j;
    have_previous_ = true;
  }

  float low = INFINITY;
  float high = -INFINITY;
  BandPieces pieces;
  Grid kept;  // empty past the grid table

 private:
  ModelWriter& out_;
  size_t nx_;
  std::vector<float> previous_;
  std::vector<float> single_;
  size_t previous_j_ = 0;
  bool have_previous_ = false;
};

// A raster, read and written a block row at a time; the levels, which the
// values' range may decide, close the file.
Made convert_raster(const Options& o, Header& header, Progress& progress, const std::string& crs) {
  RasterReader reader(o.input, o.source.raster);
  const RasterInfo& info = reader.info();
  if (info.band_count > 1 && !o.source.was_given("--band"))
    note("the raster has " + std::to_string(info.band_count) + " bands; band 1 is converted (--band picks another)");
  if (!info.georeferenced) note("the raster has no geotransform; x and y count pixels from its lower left corner");

  Made made;
  OutputFile file(o.output);
  made.stale_removed = file.stale_removed();
  ModelWriter out(file);
  out.begin(true, header);
  out.grid_axes(info.x, info.y);
  GridRows rows(out, info);
  reader.read(rows, progress);
  out.end_values();
  header.levels = make_levels(o.source.levels, rows.low, rows.high, o.source.bold_every, o.source.labelled);
  out.levels(header.levels);
  write_prj(o, crs.empty() ? info.crs_wkt : crs, info.files);
  file.commit();

  made.needs.nx = info.x.size();
  made.needs.ny = info.y.size();
  made.needs.band_pieces = rows.pieces.count(header.levels);
  made.needs.band_pieces_exact = rows.pieces.exact();
  if (fits_model_tables(made.needs)) made.needs.traced = traced_limit(rows.kept, header.levels);
  made.shape = "grid of " + std::to_string(info.x.size()) + " x " + std::to_string(info.y.size()) + " points";
  made.levels = header.levels;
  return made;
}

// The summary line: on standard output, unless the model went there.
int report(const Options& o, bool to_standard_output, const Made& made) {
  const std::string shown = o.output == "-" ? std::string("standard output") : o.output;
  if (made.stale_removed > 0)
    note("removed " + plural(made.stale_removed, "temporary file") + " that interrupted runs left beside " + shown);
  const std::string passed = passed_tables(made.needs);
  if (!passed.empty())
    note("the model passes isovar-plot's default tables (" + passed + "): isovar-plot will plot it in large mode");
  std::string line = shown + ": " + made.shape + ", " + plural(static_cast<int64_t>(made.levels.size()), "level");
  if (!made.levels.empty())
    line += " from " + show(made.levels.front().value) + " to " + show(made.levels.back().value);
  line += '\n';
  if (to_standard_output) {
    std::cerr << line;
    return kExitOk;
  }
  if (std::fputs(line.c_str(), stdout) == EOF || std::fflush(stdout) == EOF) {
    say("cannot write the summary to standard output: " + std::string(std::strerror(errno)));
    return kExitFailure;
  }
  return kExitOk;
}

int convert(const Options& o) {
  Progress progress(::isatty(2) == 1);
  const bool to_standard_output = is_standard_output(o.output);
  Header header;
  header.titles = o.source.titles;
  header.full = o.source.full;
  // The mask's boundary file and the CRS are read first: a fault there is
  // no fault of the input.
  std::unique_ptr<TriangleMask> mask;
  std::string crs;
  try {
    if (!o.source.crs.empty()) crs = crs_to_wkt(o.source.crs);
    mask = std::make_unique<TriangleMask>(o.source.max_edge, o.source.boundary, crs);
  } catch (const Failure& f) {
    say(f.what());
    return kExitFailure;
  }
  Made made;
  try {
    made = o.kind == InputKind::raster ? convert_raster(o, header, progress, crs)
                                       : convert_mesh(o, header, *mask, crs);
  } catch (const OutputFailure& f) {
    progress.finish();
    say(f.what());
    return kExitFailure;
  } catch (const Failure& f) {
    progress.finish();
    say(o.input + ": " + f.what());
    const std::string next = what_next(o.input, o.kind);
    if (!next.empty()) say(next);
    return kExitFailure;
  } catch (const std::bad_alloc&) {
    progress.finish();
    say(o.input + ": not enough memory to hold the model");
    return kExitFailure;
  }
  return report(o, to_standard_output, made);
}

}  // namespace

}  // namespace convert

int main(int argc, char** argv) {
  // A reader that goes away is a failure to write, said as such.
  std::signal(SIGPIPE, SIG_IGN);
  convert::Options options;
  const int status = convert::parse_command_line(argc, argv, options);
  if (status >= 0) return status;
  convert::remove_temporary_on_ending_signals();
  return convert::convert(options);
}

// isovar._convert: the converter's readers for Python (rasters through GDAL,
// tables of scattered points triangulated by qhull, Gmsh meshes) and its
// automatic levels. A module of its own, imported when first needed, so that
// a process that uses none of them never loads GDAL.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "delaunay.h"
#include "gmsh_reader.h"
#include "levels.h"
#include "model.h"
#include "progress.h"
#include "raster_reader.h"
#include "table_reader.h"

namespace py = pybind11;

namespace {

template <class T>
py::array_t<double> doubles(const std::vector<T>& v) {
  py::array_t<double> a(static_cast<py::ssize_t>(v.size()));
  double* d = a.mutable_data();
  for (std::size_t i = 0; i < v.size(); ++i) d[i] = static_cast<double>(v[i]);
  return a;
}

// A mesh with 0-based node indices: x, y, values (NaN: none), cells (n, 4),
// the last -1 for a triangle.
py::tuple mesh_arrays(const convert::Mesh& mesh) {
  const std::size_t n = mesh.nodes.size();
  py::array_t<double> x(static_cast<py::ssize_t>(n)), y(static_cast<py::ssize_t>(n)),
      v(static_cast<py::ssize_t>(n));
  std::unordered_map<int64_t, int32_t> index;
  for (std::size_t i = 0; i < n; ++i) {
    const convert::Node& node = mesh.nodes[i];
    x.mutable_data()[i] = node.x;
    y.mutable_data()[i] = node.y;
    v.mutable_data()[i] = node.has_value ? static_cast<double>(node.value) : NAN;
    index.emplace(node.number, static_cast<int32_t>(i));
  }
  py::array_t<int32_t> cells({static_cast<py::ssize_t>(mesh.elements.size()), py::ssize_t{4}});
  int32_t* c = cells.mutable_data();
  for (std::size_t e = 0; e < mesh.elements.size(); ++e) {
    const convert::Element& element = mesh.elements[e];
    for (int k = 0; k < 4; ++k) {
      if (k >= element.count) {
        c[4 * e + static_cast<std::size_t>(k)] = -1;
        continue;
      }
      const auto at = index.find(element.nodes[k]);
      if (at == index.end())
        throw py::value_error("element " + std::to_string(element.number) + " names node " +
                              std::to_string(element.nodes[k]) + ", which the file does not define");
      c[4 * e + static_cast<std::size_t>(k)] = at->second;
    }
  }
  return py::make_tuple(x, y, v, cells);
}

// Runs f, turning the converter's failures into ValueError.
template <class F>
auto checked(F f) {
  try {
    return f();
  } catch (const convert::Failure& failure) {
    throw py::value_error(failure.what());
  }
}

}  // namespace

PYBIND11_MODULE(_convert, m) {
  m.doc() = "The converter's readers and levels (use isovar.read_raster, read_points, read_mesh).";

  m.def(
      "raster",
      [](const std::string& path, int band, int every) {
        convert::Raster r = checked([&] {
          py::gil_scoped_release release;
          convert::Progress progress(false);
          return convert::read_raster(path, convert::RasterRequest{band, every}, progress);
        });
        const std::size_t nx = r.grid.x.size(), ny = r.grid.y.size();
        py::array_t<double> z({static_cast<py::ssize_t>(ny), static_cast<py::ssize_t>(nx)});
        double* d = z.mutable_data();
        for (std::size_t i = 0; i < nx * ny; ++i) d[i] = r.grid.value[i];
        return py::make_tuple(doubles(r.grid.x), doubles(r.grid.y), z, r.band_count, r.georeferenced);
      },
      py::arg("path"), py::arg("band"), py::arg("every"),
      "x, y, z (NaN where no value), the raster's band count, whether it is georeferenced.");

  m.def(
      "table",
      [](const py::bytes& data, const std::string& columns) {
        convert::Columns c;
        const std::string wrong = convert::parse_columns(columns, c);
        if (!wrong.empty()) throw py::value_error("columns: " + wrong);
        std::string bytes = data;
        std::vector<convert::Point> points = checked([&] { return convert::parse_table(bytes, c); });
        py::array_t<double> out({static_cast<py::ssize_t>(points.size()), py::ssize_t{3}});
        double* d = out.mutable_data();
        for (std::size_t i = 0; i < points.size(); ++i) {
          d[3 * i] = points[i].x;
          d[3 * i + 1] = points[i].y;
          d[3 * i + 2] = points[i].z;
        }
        return out;
      },
      py::arg("data"), py::arg("columns"), "The (n, 3) points of a CSV, TSV or blank-separated table.");

  m.def(
      "triangulate",
      [](py::array_t<double, py::array::c_style | py::array::forcecast> points) {
        if (points.ndim() != 2 || points.shape(1) != 3) throw py::value_error("points: shape must be (n, 3)");
        std::vector<convert::Point> p(static_cast<std::size_t>(points.shape(0)));
        const double* d = points.data();
        for (std::size_t i = 0; i < p.size(); ++i)
          p[i] = {static_cast<float>(d[3 * i]), static_cast<float>(d[3 * i + 1]), static_cast<float>(d[3 * i + 2])};
        convert::Triangulation t = checked([&] {
          py::gil_scoped_release release;
          return convert::triangulate(std::move(p));
        });
        return py::make_tuple(mesh_arrays(t.mesh), t.merged);
      },
      py::arg("points"), "The Delaunay triangulation: ((x, y, values, cells), points merged).");

  m.def(
      "gmsh",
      [](const py::bytes& data, const std::string& field, py::object step) {
        convert::FieldRequest request;
        request.name = field;
        if (!step.is_none()) {
          request.step_given = true;
          request.step = step.cast<int64_t>();
        }
        std::string bytes = data;
        convert::GmshMesh g = checked([&] { return convert::parse_gmsh(bytes, request); });
        std::vector<std::pair<int64_t, int64_t>> skipped(g.skipped.begin(), g.skipped.end());
        return py::make_tuple(mesh_arrays(g.mesh), g.field, g.step, skipped);
      },
      py::arg("data"), py::arg("field"), py::arg("step"),
      "((x, y, values, cells), field, step, [(element type, count left out)]).");

  m.def(
      "auto_levels",
      [](double low, double high, int count) {
        convert::LevelRequest request;
        request.count = count;
        std::vector<convert::Level> levels = checked([&] {
          return convert::make_levels(request, static_cast<float>(low), static_cast<float>(high), 0, true);
        });
        std::vector<double> out;
        for (const convert::Level& l : levels) out.push_back(l.value);
        return out;
      },
      py::arg("low"), py::arg("high"), py::arg("count"),
      "About count round levels strictly between low and high, as isovar-convert chooses them.");
}

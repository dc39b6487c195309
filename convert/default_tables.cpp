#include "default_tables.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "IsovarLib.h"
#include "isovar_messages.h"

namespace convert {

void BandPieces::triangle(float a, float b, float c) {
  ++triangles_;
  if (!exact()) {
    // Past the table by the triangles alone: their values no longer matter.
    if (!lowest_.empty()) {
      std::vector<float>().swap(lowest_);
      std::vector<float>().swap(highest_);
    }
    return;
  }
  lowest_.push_back(std::min(a, std::min(b, c)));
  highest_.push_back(std::max(a, std::max(b, c)));
}

void BandPieces::cells(const float* lower, const float* upper, size_t n) {
  for (size_t i = 0; i + 1 < n; ++i) {
    const float c00 = lower[i], c10 = lower[i + 1], c11 = upper[i + 1], c01 = upper[i];
    if (std::isnan(c00) || std::isnan(c10) || std::isnan(c11) || std::isnan(c01)) continue;
    if (!exact()) {
      triangles_ += 2;
      continue;
    }
    triangle(c00, c10, c01);
    triangle(c10, c11, c01);
  }
}

void BandPieces::mesh(const Mesh& mesh) {
  std::unordered_map<int64_t, const Node*> nodes;
  nodes.reserve(mesh.nodes.size());
  for (const Node& n : mesh.nodes) nodes.emplace(n.number, &n);
  for (const Element& e : mesh.elements) {
    float v[4];
    bool usable = e.count >= 3;
    for (int c = 0; c < e.count && usable; ++c) {
      const auto at = nodes.find(e.nodes[c]);
      usable = at != nodes.end() && at->second->has_value;
      if (usable) v[c] = at->second->value;
    }
    if (!usable) continue;
    triangle(v[0], v[1], v[2]);
    if (e.count == 4) triangle(v[2], v[3], v[0]);
  }
}

uint64_t BandPieces::count(const std::vector<Level>& levels) const {
  if (!exact()) return triangles_;
  std::vector<float> lowest = lowest_, highest = highest_;
  std::sort(lowest.begin(), lowest.end());
  std::sort(highest.begin(), highest.end());
  // A level crosses the triangles whose lowest value lies below it, less
  // those whose highest value does too.
  uint64_t pieces = triangles_;
  for (const Level& l : levels) {
    const auto below = [&](const std::vector<float>& v) {
      return static_cast<uint64_t>(std::lower_bound(v.begin(), v.end(), l.value) - v.begin());
    };
    pieces += below(lowest) - below(highest);
  }
  return pieces;
}

std::string grouped(uint64_t n) {
  std::string digits = std::to_string(n);
  for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

namespace {

// Whether the library's message is the one of format, up to its first
// conversion.
bool message_is(const char* message, const char* format) {
  const char* percent = std::strchr(format, '%');
  const size_t length = percent != nullptr ? static_cast<size_t>(percent - format) : std::strlen(format);
  return std::strncmp(message, format, length) == 0;
}

// What a trace of model passes, named after the library's message.
std::string trace(IsovarModel* model) {
  IsovarRun* run = isovarRunNew();
  if (run == nullptr) return {};
  char message[ISOVAR_ERRMSG_SIZE] = {};
  std::string passed;
  if (isovarRunTrace(run, model, 0, message) != 0 && isovarRunLimitReached(run) != 0) {
    if (message_is(message, msg::make_poly_too_many_plines)) {
      passed = "more than 1,500 polylines";
    } else if (message_is(message, msg::make_poly_too_many_points)) {
      passed = "more than 99,999 isoline points";
    } else if (message_is(message, msg::connect_too_many_points)) {
      passed = "a polyline of more than 1,500 points";
    } else if (message_is(message, msg::fill_poly_too_many)) {
      passed = "more than 99,999 band pieces";
    } else {
      passed = "a table of a plot run";
    }
  }
  isovarRunFree(run);
  return passed;
}

IsovarModelInfo info_of(const std::vector<double>& levels) {
  IsovarModelInfo info = {};
  info.level_count = static_cast<int32_t>(levels.size());
  info.levels = levels.data();
  return info;
}

std::vector<double> values_of(const std::vector<Level>& levels) {
  std::vector<double> out;
  for (const Level& l : levels) out.push_back(l.value);
  return out;
}

}  // namespace

std::string traced_limit(const Grid& grid, const std::vector<Level>& levels) {
  const std::vector<double> x(grid.x.begin(), grid.x.end()), y(grid.y.begin(), grid.y.end());
  const std::vector<double> values(grid.value.begin(), grid.value.end());
  const std::vector<double> level_values = values_of(levels);
  const IsovarModelInfo info = info_of(level_values);
  char message[ISOVAR_ERRMSG_SIZE] = {};
  IsovarModel* model = isovarModelNew();
  std::string passed;
  if (model != nullptr &&
      isovarModelGrid(model, static_cast<int32_t>(x.size()), static_cast<int32_t>(y.size()), x.data(), y.data(),
                      values.data(), &info, 0, message) == 0)
    passed = trace(model);
  isovarModelFree(model);
  return passed;
}

std::string traced_limit(const Mesh& mesh, const std::vector<Level>& levels) {
  std::vector<double> x, y, values;
  std::unordered_map<int64_t, int32_t> index;
  for (const Node& n : mesh.nodes) {
    index.emplace(n.number, static_cast<int32_t>(x.size()));
    x.push_back(n.x);
    y.push_back(n.y);
    values.push_back(n.has_value ? n.value : NAN);
  }
  // A plot traces the elements in the order of their numbers.
  std::vector<const Element*> elements;
  for (const Element& e : mesh.elements) elements.push_back(&e);
  std::stable_sort(elements.begin(), elements.end(),
                   [](const Element* a, const Element* b) { return a->number < b->number; });
  std::vector<int32_t> cells;
  for (const Element* element : elements) {
    const Element& e = *element;
    for (int c = 0; c < 4; ++c) {
      const auto at = c < e.count ? index.find(e.nodes[c]) : index.end();
      cells.push_back(at != index.end() ? at->second : -1);
    }
  }
  const std::vector<double> level_values = values_of(levels);
  const IsovarModelInfo info = info_of(level_values);
  char message[ISOVAR_ERRMSG_SIZE] = {};
  IsovarModel* model = isovarModelNew();
  std::string passed;
  if (model != nullptr &&
      isovarModelMesh(model, static_cast<int32_t>(x.size()), x.data(), y.data(), values.data(),
                      static_cast<int32_t>(mesh.elements.size()), cells.data(), &info, 0, message) == 0)
    passed = trace(model);
  isovarModelFree(model);
  return passed;
}

bool fits_model_tables(const TableNeeds& needs) {
  if (needs.is_grid)
    return needs.nx <= static_cast<size_t>(kMaxTableNx) && needs.ny <= static_cast<size_t>(kMaxTableNy);
  return needs.highest_number <= kMaxTableNumber;
}

std::string passed_tables(const TableNeeds& needs) {
  std::string passed;
  auto add = [&](const std::string& what) { passed += (passed.empty() ? "" : "; ") + what; };
  if (needs.is_grid && (needs.nx > static_cast<size_t>(kMaxTableNx) || needs.ny > static_cast<size_t>(kMaxTableNy)))
    add("grid of " + std::to_string(needs.nx) + " x " + std::to_string(needs.ny) + " points, past " +
        std::to_string(kMaxTableNx) + " x " + std::to_string(kMaxTableNy));
  if (!needs.is_grid && needs.highest_number > kMaxTableNumber)
    add("node or element number " + grouped(static_cast<uint64_t>(needs.highest_number)) + ", past " +
        grouped(kMaxTableNumber));
  if (needs.band_pieces > kMaxTableBandPieces)
    add((needs.band_pieces_exact ? "" : "at least ") + grouped(needs.band_pieces) + " band pieces, past " +
        grouped(kMaxTableBandPieces));
  // The band pieces are counted already.
  if (!needs.traced.empty() && needs.traced.find("band pieces") == std::string::npos) add(needs.traced);
  return passed;
}

}  // namespace convert

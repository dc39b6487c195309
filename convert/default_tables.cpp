#include "default_tables.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

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
  return passed;
}

}  // namespace convert

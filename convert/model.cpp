#include "model.h"

#include <algorithm>
#include <cmath>

namespace convert {

namespace {

bool outside_table(int64_t number) { return number < 0 || number > kMaxTableNumber; }

template <typename T>
void sort_by_number(std::vector<T>& items) {
  std::sort(items.begin(), items.end(), [](const T& a, const T& b) { return a.number < b.number; });
}

}  // namespace

Renumbered fit_numbers(Mesh& mesh) {
  Renumbered done;
  if (std::any_of(mesh.nodes.begin(), mesh.nodes.end(), [](const Node& n) { return outside_table(n.number); })) {
    sort_by_number(mesh.nodes);
    std::vector<int64_t> old_numbers(mesh.nodes.size());
    for (size_t k = 0; k < mesh.nodes.size(); ++k) {
      old_numbers[k] = mesh.nodes[k].number;
      mesh.nodes[k].number = static_cast<int64_t>(k) + 1;
    }
    for (Element& e : mesh.elements)
      for (int c = 0; c < e.count; ++c)
        e.nodes[c] = std::lower_bound(old_numbers.begin(), old_numbers.end(), e.nodes[c]) - old_numbers.begin() + 1;
    done.nodes = true;
  }
  if (std::any_of(mesh.elements.begin(), mesh.elements.end(),
                  [](const Element& e) { return outside_table(e.number); })) {
    sort_by_number(mesh.elements);
    for (size_t k = 0; k < mesh.elements.size(); ++k) mesh.elements[k].number = static_cast<int64_t>(k) + 1;
    done.elements = true;
  }
  return done;
}

bool value_range(const Model& model, float& low, float& high) {
  low = INFINITY;
  high = -INFINITY;
  auto take = [&](float v) {
    if (v < low) low = v;
    if (v > high) high = v;
  };
  if (model.is_grid) {
    for (float v : model.grid.value)
      if (!std::isnan(v)) take(v);
  } else {
    for (const Node& n : model.mesh.nodes)
      if (n.has_value) take(n.value);
  }
  return low <= high;
}

}  // namespace convert

#include "model_arrays.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

// Nine significant digits: what a field of the input file holds, and every
// number random_arrays makes is one of these.
std::string number(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.9g", v);
  return text;
}

double short_number(double v) { return std::strtod(number(v).c_str(), nullptr); }

}  // namespace

std::string ModelArrays::file() const {
  std::ostringstream f;
  f << (mesh ? "*model fem\n" : "*model differencial\n");
  if (!titles.empty()) {
    f << "*title\n";
    for (const std::string& t : titles) f << t << "\n";
    f << "*end\n";
  }
  if (display_mode == 2) f << "*display full\n";
  if (!mesh) {
    f << "*x\n";
    for (double v : x) f << number(v) << "\n";
    f << "*end\n*y\n";
    for (double v : y) f << number(v) << "\n";
    f << "*end\n*value\n";
    const size_t nx = x.size();
    for (size_t j = 0; j < y.size(); ++j)
      for (size_t i = 0; i < nx; ++i)
        if (!std::isnan(values[j * nx + i])) f << i + 1 << " " << j + 1 << " " << number(values[j * nx + i]) << "\n";
    f << "*end\n";
  } else {
    f << "*node\n";
    for (size_t n = 0; n < x.size(); ++n) f << n << " " << number(x[n]) << " " << number(y[n]) << "\n";
    f << "*end\n*element\n";
    for (size_t c = 0; c < cells.size() / 4; ++c) {
      f << c;
      for (size_t k = 0; k < 4 && cells[4 * c + k] >= 0; ++k) f << " " << cells[4 * c + k];
      f << "\n";
    }
    f << "*end\n*node_data\n";
    for (size_t n = 0; n < values.size(); ++n)
      if (!std::isnan(values[n])) f << n << " " << number(values[n]) << "\n";
    f << "*end\n";
  }
  f << "*isovar\n";
  for (size_t k = 0; k < levels.size(); ++k) {
    f << number(levels[k]) << (bold[k] ? " bold" : " default") << (labelled[k] ? "" : " no") << "\n";
  }
  f << "*end\n";
  return f.str();
}

int32_t ModelArrays::build(IsovarModel* model, int32_t large, char* err) const {
  std::vector<const char*> title_texts;
  for (const std::string& t : titles) title_texts.push_back(t.c_str());
  const IsovarModelInfo info{static_cast<int32_t>(levels.size()), levels.data(), bold.data(), labelled.data(),
                             static_cast<int32_t>(title_texts.size()), title_texts.data(), display_mode};
  if (!mesh) {
    return isovarModelGrid(model, static_cast<int32_t>(x.size()), static_cast<int32_t>(y.size()), x.data(), y.data(),
                           values.data(), &info, large, err);
  }
  return isovarModelMesh(model, static_cast<int32_t>(x.size()), x.data(), y.data(), values.data(),
                         static_cast<int32_t>(cells.size() / 4), cells.data(), &info, large, err);
}

ModelArrays random_arrays(std::mt19937& rng, int m) {
  ModelArrays a;
  std::uniform_real_distribution<double> unit(0, 1);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const bool integers = m % 2 == 0;
  auto value = [&](double u, double v) {
    return integers ? static_cast<double>(pick(0, 5)) : 10 * std::sin(5 * u) * std::cos(4 * v) + unit(rng);
  };
  const int side = pick(3, 40);
  a.mesh = m % 3 == 2;
  a.titles = {"random " + std::to_string(m)};
  a.display_mode = m % 5 == 4 ? 2 : 1;
  if (!a.mesh) {
    for (int i = 0; i < side; ++i) a.x.push_back(i * 1.5 + unit(rng));
    for (int j = 0; j < side; ++j) a.y.push_back(j);
    for (int j = 0; j < side; ++j)
      for (int i = 0; i < side; ++i) a.values.push_back(pick(0, 30) != 0 ? value(i / double(side), j / double(side)) : NAN);
  } else {
    for (int i = 0; i < side; ++i)
      for (int j = 0; j < side; ++j) {
        a.x.push_back(i + 0.3 * unit(rng));
        a.y.push_back(j + 0.3 * unit(rng));
        a.values.push_back(pick(0, 40) != 0 ? value(i / double(side), j / double(side)) : NAN);
      }
    auto node = [&](int i, int j) { return static_cast<int32_t>(i * side + j); };
    for (int i = 0; i + 1 < side; ++i)
      for (int j = 0; j + 1 < side; ++j) {
        const bool quad = pick(0, 1) == 0;
        a.cells.insert(a.cells.end(), {node(i, j), node(i + 1, j), node(i + 1, j + 1), quad ? node(i, j + 1) : -1});
      }
  }
  if (integers) {
    for (int k = 1; k <= 4; ++k) a.levels.push_back(k);
  } else {
    for (int k = -8; k <= 8; k += 2) a.levels.push_back(k + 0.5);
  }
  for (size_t k = 0; k < a.levels.size(); ++k) {
    a.bold.push_back(k == 1);
    a.labelled.push_back(k != 2);
  }
  for (std::vector<double>* v : {&a.x, &a.y, &a.values})
    for (double& d : *v) d = std::isnan(d) ? d : short_number(d);
  return a;
}

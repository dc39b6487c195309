#include "engine_fixture.h"

#include <cstring>
#include <ostream>

namespace engine_test {

void clear_model() {
  clear_model_store();
  model_store.display_mode = 1;
  std::memset(run_context.message_buffer, 0, sizeof run_context.message_buffer);
}

void set_levels(const std::vector<float>& levels) {
  model_store.level_count = static_cast<int32_t>(levels.size());
  for (size_t k = 0; k < levels.size(); ++k) model_store.levels[k] = levels[k];
}

void set_grid(const std::vector<float>& xs, const std::vector<float>& ys,
              const std::function<float(int, int)>& value) {
  ModelStore& m = model_store;
  m.model_kind = kGridModel;
  m.grid_nx = static_cast<int32_t>(xs.size());
  m.grid_ny = static_cast<int32_t>(ys.size());
  for (int i = 1; i <= m.grid_nx; ++i) m.grid_x[i] = xs[i - 1];
  for (int j = 1; j <= m.grid_ny; ++j) m.grid_y[j] = ys[j - 1];
  for (int i = 1; i <= m.grid_nx; ++i) {
    for (int j = 1; j <= m.grid_ny; ++j) {
      m.grid_value[i][j] = value(i, j);
      m.grid_defined[i][j] = 1;
    }
  }
}

void set_grid_rows(const std::vector<float>& xs, const std::vector<float>& ys,
                   const std::vector<std::vector<float>>& rows) {
  const int ny = static_cast<int>(ys.size());
  set_grid(xs, ys, [&](int i, int j) { return rows[ny - j][i - 1]; });
}

void set_fem() { model_store.model_kind = kFemModel; }

void add_node(int n, float x, float y, float value) {
  model_store.node_state[n] = 2;
  model_store.node_x[n] = x;
  model_store.node_y[n] = y;
  model_store.node_value[n] = value;
}

void add_node_without_value(int n, float x, float y) {
  model_store.node_state[n] = 1;
  model_store.node_x[n] = x;
  model_store.node_y[n] = y;
}

void add_element(int e, int n0, int n1, int n2, int n3) {
  model_store.element_defined[e] = 1;
  int32_t* nodes = model_store.element_nodes[e].data();
  nodes[0] = n0;
  nodes[1] = n1;
  nodes[2] = n2;
  nodes[3] = n3;
}

std::vector<Pt> row_points(int n) {
  std::vector<Pt> out;
  for (int i = 0; i < engine_tables.pline_count[n]; ++i) {
    const IsoPoint& p = engine_tables.iso_points[pline_point(n, i)];
    out.emplace_back(p.x, p.y);
  }
  return out;
}

std::vector<Pt> all_points() {
  std::vector<Pt> out;
  for (int s = 1; s < engine_tables.point_count; ++s) {
    out.emplace_back(engine_tables.iso_points[s].x, engine_tables.iso_points[s].y);
  }
  return out;
}

std::vector<Piece> pieces() {
  std::vector<Piece> out;
  for (int f = 0; f < engine_tables.fill_poly_count; ++f) {
    const FillPoly& p = engine_tables.fill_poly[f];
    Piece piece{p.band, {}};
    for (int v = 0; v < p.nvert; ++v) piece.corners.emplace_back(p.x[v], p.y[v]);
    out.push_back(piece);
  }
  return out;
}

std::string message() { return run_context.message_buffer; }

void PrintTo(const Piece& p, std::ostream* os) {
  *os << "band " << p.band << ":";
  for (const Pt& c : p.corners) *os << " (" << c.first << ", " << c.second << ")";
}

}  // namespace engine_test

#include "input/model_builder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "input/reader.h"
#include "isovar_messages.h"
#include "shared/run_context.h"

namespace {

constexpr int32_t kShownMaxGrid = 500;  // both axes name 500, as the reader does

// The reader's check of a real: finite once narrowed to single precision.
bool storable(double v) { return std::isfinite(v) && std::isfinite(static_cast<float>(v)); }

bool no_memory(const char* routine, char* errMsg) {
  put_message(errMsg, kErrMsgSize, msg::out_of_memory, routine);
  return false;
}

// The origin of one axis of n coordinates: the first coordinate when taking
// it halves the largest magnitude to store or better (a projected raster's
// metres, far from 0 for their span), so that single precision keeps one
// more binary digit of each step at least; else 0, the coordinates then
// stored as a file's are (a model built from a file's numbers is the model
// read from it).
double axis_origin(int64_t n, const double* v) {
  double largest = 0.0, largest_offset = 0.0;
  for (int64_t i = 0; i < n; ++i) {
    largest = std::fmax(largest, std::fabs(v[i]));
    largest_offset = std::fmax(largest_offset, std::fabs(v[i] - v[0]));
  }
  return n > 0 && 2.0 * largest_offset <= largest ? v[0] : 0.0;
}

// A coordinate's offset from the origin, in single precision, or false when
// the coordinate is not a number or its offset is beyond single precision.
bool offset_of(double v, double origin, float* offset) {
  const double d = v - origin;
  if (!std::isfinite(v) || !storable(d)) return false;
  *offset = static_cast<float>(d);
  return true;
}

// given: the origin to take, or null to choose it (axis_origin).
bool fill_axis(Table<float>& coords, int32_t* count, double* origin, const double* given, int32_t n, const double* v,
               int32_t limit, const char* routine, const char* too_many, const char* not_number,
               const char* not_ascending, bool large, char* errMsg, int32_t* limit_reached) {
  *count = 0;
  if (n > limit) {
    put_message(errMsg, kErrMsgSize, too_many, limit + 1, kShownMaxGrid);
    if (!large) *limit_reached = 1;
    return false;
  }
  if (!coords.reserve(int64_t{n} + 1)) return no_memory(routine, errMsg);
  *origin = given != nullptr ? *given : axis_origin(n, v);
  for (int32_t i = 0; i < n; ++i) {
    float offset = 0.0f;
    if (!offset_of(v[i], *origin, &offset)) {
      put_message(errMsg, kErrMsgSize, not_number, i + 1);
      return false;
    }
    // Strictly ascending as stored: offsets that collide are refused.
    if (i > 0 && !(coords[i] < offset)) {
      put_message(errMsg, kErrMsgSize, not_ascending, i + 1);
      return false;
    }
    coords[i + 1] = offset;
  }
  *count = n;
  return true;
}

bool set_extras(ModelStore& m, const ModelExtras& e, char* errMsg) {
  if (e.title_count > kMaxTitles) {
    put_message(errMsg, kErrMsgSize, msg::in_title_too_many, kMaxTitles + 1, kMaxTitles);
    return false;
  }
  for (int32_t t = 0; t < e.title_count; ++t) {
    const char* title = e.titles[t] != nullptr ? e.titles[t] : "";
    const std::size_t len = std::strlen(title);
    if (len > static_cast<std::size_t>(kMaxTitleBytes)) {
      put_message(errMsg, kErrMsgSize, msg::in_title_too_long, t + 1, kMaxTitleBytes);
      return false;
    }
    std::memcpy(m.titles[t], title, len + 1);
  }
  m.title_count = e.title_count > 0 ? e.title_count : 0;
  m.display_mode = e.display_mode == 2 ? 2 : 1;
  m.level_count = 0;
  for (int32_t k = 0; k < e.level_count; ++k) {
    if (!storable(e.levels[k])) {
      put_message(errMsg, kErrMsgSize, msg::in_level_not_number, k + 1);
      return false;
    }
    m.levels[k] = static_cast<float>(e.levels[k]);
    m.level_kind[k] = e.bold != nullptr && e.bold[k] != 0 ? 1 : 0;
    m.level_label[k] = e.labelled != nullptr && e.labelled[k] == 0 ? 0 : 1;
    ++m.level_count;
    if (k > 0 && !(m.levels[k] > m.levels[k - 1])) {
      put_message(errMsg, kErrMsgSize, msg::in_level_not_ascending, k + 1);
      return false;
    }
    // The 50th level is refused, as in a file.
    if (m.level_count >= kLevelSlots) {
      put_message(errMsg, kErrMsgSize, msg::in_level_too_many, k + 1);
      return false;
    }
  }
  return true;
}

// The axes and the value tables of a grid, every point without a value.
bool grid_tables(ModelStore& m, int32_t nx, int32_t ny, const double* x, const double* y, const double* origin,
                 char* errMsg, int32_t* limit_reached) {
  const bool large = m.large != 0;
  const TableLimits& limits = table_limits(large);
  if (!fill_axis(m.grid_x, &m.grid_nx, &m.origin_x, origin, nx, x, limits.grid_nx, "x_input", msg::in_x_too_many,
                 msg::in_x_not_number, msg::in_x_not_ascending, large, errMsg, limit_reached) ||
      !fill_axis(m.grid_y, &m.grid_ny, &m.origin_y, origin != nullptr ? origin + 1 : nullptr, ny, y, limits.grid_ny, "y_input", msg::in_y_too_many,
                 msg::in_y_not_number, msg::in_y_not_ascending, large, errMsg, limit_reached)) {
    return false;
  }
  if (large) {
    const int64_t stride = int64_t{ny} + 1;
    const int64_t cells = (int64_t{nx} + 1) * stride;
    if (!m.grid_value.cells.renew(cells, false) || !m.grid_defined.cells.renew(cells, true) ||
        !m.column_has_values.renew(int64_t{nx} + 1, true))
      return no_memory("value_input", errMsg);
    m.grid_value.stride = m.grid_defined.stride = stride;
    m.value_nx = nx;
    m.value_ny = ny;
    // Every point is written: the tables fill densely.
    advise_huge_interior(m.grid_value.cells.data, static_cast<std::size_t>(cells) * sizeof(float));
    advise_huge_interior(m.grid_defined.cells.data, static_cast<std::size_t>(cells) * sizeof(int16_t));
  } else {
    advise_huge_grid_tables(m);
  }
  return true;
}

// Row j (0-based) of a grid: nx values, NaN where a point has none.
template <typename T>
struct GridRow {
  int32_t j;
  const T* values;
};

// Rows of a grid into its columns (a point without a value: flag 0, value
// 0). The tables are kept column by column, so the rows are taken a block
// at a time: a few cache lines of each row are read while each column's
// stretch of the block is written in one piece.
template <typename T>
void put_rows(ModelStore& m, int32_t nx, const GridRow<T>* rows, std::size_t count) {
  constexpr int32_t kColumns = 64;
  constexpr std::size_t kRows = 32;
  float* const values = m.grid_value.cells.data;
  int16_t* const defined = m.grid_defined.cells.data;
  const int64_t value_stride = m.grid_value.stride;
  const int64_t defined_stride = m.grid_defined.stride;
  uint8_t* const has_values = m.large != 0 ? m.column_has_values.data : nullptr;
  for (int32_t i0 = 0; i0 < nx; i0 += kColumns) {
    const int32_t i1 = std::min(nx, i0 + kColumns);
    for (std::size_t k0 = 0; k0 < count; k0 += kRows) {
      const std::size_t k1 = std::min(count, k0 + kRows);
      for (int32_t i = i0; i < i1; ++i) {
        float* const value = values + (i + 1) * value_stride + 1;
        int16_t* const flag = defined + (i + 1) * defined_stride + 1;
        bool any = false;
        for (std::size_t k = k0; k < k1; ++k) {
          const T v = rows[k].values[i];
          const bool has = !std::isnan(v);
          value[rows[k].j] = has ? static_cast<float>(v) : 0.0f;
          flag[rows[k].j] = has ? 1 : 0;
          any = any || has;
        }
        if (has_values != nullptr && any) has_values[i + 1] = 1;
      }
    }
  }
}

void grid_done(ModelStore& m, int32_t nx) {
  if (m.large == 0 && nx > 0) m.grid_defined_used = (int64_t{nx} + 1) * m.grid_defined.stride;
}

bool fill_grid(ModelStore& m, int32_t nx, int32_t ny, const double* x, const double* y, const double* values,
               const double* origin, char* errMsg, int32_t* limit_reached) {
  if (!grid_tables(m, nx, ny, x, y, origin, errMsg, limit_reached)) return false;
  // Every value is checked, in the order given, before any is stored.
  const int64_t count = int64_t{nx} * ny;
  for (int64_t n = 0; n < count; ++n) {
    if (!std::isnan(values[n]) && !storable(values[n])) {
      put_message(errMsg, kErrMsgSize, msg::in_value_not_number, static_cast<int>(n + 1));
      return false;
    }
  }
  constexpr int32_t kBlock = 64;
  GridRow<double> rows[kBlock];
  for (int32_t j0 = 0; j0 < ny; j0 += kBlock) {
    const int32_t n = std::min(kBlock, ny - j0);
    for (int32_t k = 0; k < n; ++k) rows[k] = {j0 + k, values + int64_t{j0 + k} * nx};
    put_rows(m, nx, rows, static_cast<std::size_t>(n));
  }
  grid_done(m, nx);
  return true;
}

// What a fill callback's puts write into, and the first failure among them.
// The values are stored column by column: rows are held a few dozen at a
// time and written together, so that each column's stretch of them is
// written at once instead of one value a column per row.
struct RowBuild {
  // About 1 MB of rows, so that they are still in the caches when they are
  // stored; 32 at least, and no more than the grid has.
  static std::size_t held_rows(int32_t nx, int32_t ny) {
    const std::size_t width = static_cast<std::size_t>(std::max(nx, 1));
    const std::size_t rows = std::max<std::size_t>(32, (std::size_t{1} << 18) / width);
    return std::min(rows, static_cast<std::size_t>(std::max(ny, 1)));
  }
  ModelStore* m;
  int32_t nx, ny;
  char* errMsg;
  bool failed = false;
  std::unique_ptr<float[]> held;       // held_rows rows of nx values, NaN for none
  std::vector<GridRow<float>> rows;    // the rows held, in the order put

  void flush() {
    std::sort(rows.begin(), rows.end(), [](const GridRow<float>& a, const GridRow<float>& b) { return a.j < b.j; });
    put_rows(*m, nx, rows.data(), rows.size());
    rows.clear();
  }
};

int32_t put_grid_row(void* context, int32_t j, const double* values) {
  auto* b = static_cast<RowBuild*>(context);
  if (b->failed) return -1;
  if (j < 0 || j >= b->ny || values == nullptr) {
    put_message(b->errMsg, kErrMsgSize, msg::in_value_not_number, 0);
    b->failed = true;
    return -1;
  }
  float* out = b->held.get() + b->rows.size() * static_cast<std::size_t>(b->nx);
  for (int32_t i = 0; i < b->nx; ++i) {
    const double v = values[i];
    if (!std::isnan(v) && !storable(v)) {
      put_message(b->errMsg, kErrMsgSize, msg::in_value_not_number, static_cast<int>(int64_t{j} * b->nx + i + 1));
      b->failed = true;
      return -1;
    }
    out[i] = static_cast<float>(v);  // NaN stays NaN: no value
  }
  b->rows.push_back({j, out});
  if (b->rows.size() == RowBuild::held_rows(b->nx, b->ny)) b->flush();
  return 0;
}

bool fill_mesh(ModelStore& m, int32_t node_count, const double* x, const double* y, const double* values,
               int32_t cell_count, const int32_t* cells, char* errMsg, int32_t* limit_reached) {
  const bool large = m.large != 0;
  const int32_t max_number = table_limits(large).max_number;
  m.model_kind = kFemModel;
  if (node_count - 1 > max_number) {
    put_message(errMsg, kErrMsgSize, msg::in_node_number_bad, max_number + 2, max_number + 1);
    if (!large) *limit_reached = 1;
    return false;
  }
  if (cell_count - 1 > max_number) {
    put_message(errMsg, kErrMsgSize, msg::in_element_number_bad, max_number + 2, max_number + 1);
    if (!large) *limit_reached = 1;
    return false;
  }
  if (large) {
    if (!m.node_state.reserve(node_count) || !m.node_x.reserve(node_count) || !m.node_y.reserve(node_count) ||
        !m.node_value.reserve(node_count) || !m.element_defined.reserve(cell_count) ||
        !m.element_nodes.reserve(cell_count) || !m.element_number.reserve(cell_count) ||
        !m.element_order.reserve(cell_count)) {
      return no_memory("node_input", errMsg);
    }
    m.node_slots = m.element_slots = m.element_ordered = 0;
  }
  m.origin_x = axis_origin(node_count, x);
  m.origin_y = axis_origin(node_count, y);
  for (int32_t n = 0; n < node_count; ++n) {
    float node_x = 0.0f, node_y = 0.0f;
    if (!offset_of(x[n], m.origin_x, &node_x)) {
      put_message(errMsg, kErrMsgSize, msg::in_node_x_bad, n + 1);
      return false;
    }
    if (!offset_of(y[n], m.origin_y, &node_y)) {
      put_message(errMsg, kErrMsgSize, msg::in_node_y_bad, n + 1);
      return false;
    }
    const bool valued = !std::isnan(values[n]);
    if (valued && !storable(values[n])) {
      put_message(errMsg, kErrMsgSize, msg::in_node_x_bad, n + 1);
      return false;
    }
    if (large && !index_add(m.node_index, n, n)) return no_memory("node_input", errMsg);
    m.node_x[n] = node_x;
    m.node_y[n] = node_y;
    m.node_value[n] = valued ? static_cast<float>(values[n]) : 0.0f;
    m.node_state[n] = valued ? 2 : 1;
  }
  for (int32_t e = 0; e < cell_count; ++e) {
    if (large) {
      if (!index_add(m.element_index, e, e)) return no_memory("element_input", errMsg);
      m.element_number[e] = e;
      m.element_order[e] = e;
    }
    m.element_defined[e] = 1;
    // Node numbers are kept as given; the engine checks them, as it checks
    // those of a file.
    for (int k = 0; k < 4; ++k) m.element_nodes[e][k] = cells[int64_t{e} * 4 + k];
  }
  if (large) {
    m.node_slots = node_count;
    m.element_slots = m.element_ordered = cell_count;
  } else {
    m.node_state_used = node_count;
    m.element_defined_used = cell_count;
  }
  return true;
}

int32_t finish(Model& model, ModelStore& m, bool built) {
  if (built) compute_extent(m);
  end_model_read(model, built);
  return built ? 0 : -1;
}

}  // namespace

int32_t build_grid(Model& model, int32_t nx, int32_t ny, const double* x, const double* y, const double* values,
                   const ModelExtras& extras, bool large, char* errMsg, int32_t* limit_reached,
                   const double* origin) {
  *limit_reached = 0;
  ModelStore& m = begin_model_read(model, large);
  const bool built = nx >= 0 && ny >= 0 && set_extras(m, extras, errMsg) &&
                     fill_grid(m, nx, ny, x, y, values, origin, errMsg, limit_reached);
  return finish(model, m, built);
}

int32_t build_grid_rows(Model& model, int32_t nx, int32_t ny, const double* x, const double* y, GridRowsFill fill,
                        void* user, const ModelExtras& extras, bool large, char* errMsg, int32_t* limit_reached) {
  *limit_reached = 0;
  errMsg[0] = '\0';
  ModelStore& m = begin_model_read(model, large);
  bool built = nx >= 0 && ny >= 0 && fill != nullptr && set_extras(m, extras, errMsg) &&
               grid_tables(m, nx, ny, x, y, nullptr, errMsg, limit_reached);
  if (built) {
    RowBuild b;
    b.m = &m;
    b.nx = nx;
    b.ny = ny;
    b.errMsg = errMsg;
    try {
      b.held.reset(new float[RowBuild::held_rows(nx, ny) * static_cast<std::size_t>(std::max(nx, 1))]);
      b.rows.reserve(RowBuild::held_rows(nx, ny));
      built = fill(user, put_grid_row, &b) == 0 && !b.failed;
    } catch (const std::bad_alloc&) {
      built = no_memory("value_input", errMsg);
    }
    if (built) {
      b.flush();
      grid_done(m, nx);
    }
  }
  return finish(model, m, built);
}

int32_t build_mesh(Model& model, int32_t node_count, const double* x, const double* y, const double* values,
                   int32_t cell_count, const int32_t* cells, const ModelExtras& extras, bool large, char* errMsg,
                   int32_t* limit_reached) {
  *limit_reached = 0;
  ModelStore& m = begin_model_read(model, large);
  const bool built = node_count >= 0 && cell_count >= 0 && set_extras(m, extras, errMsg) &&
                     fill_mesh(m, node_count, x, y, values, cell_count, cells, errMsg, limit_reached);
  return finish(model, m, built);
}

// The levels, their flags, the titles and the display mode of from into to
// (a model store, or a copy kept while new ones are set).
template <typename To, typename From>
void copy_extras(To& to, const From& from) {
  to.display_mode = from.display_mode;
  to.title_count = from.title_count;
  to.level_count = from.level_count;
  std::memcpy(to.titles, from.titles, sizeof to.titles);
  std::memcpy(to.levels, from.levels, sizeof to.levels);
  std::memcpy(to.level_kind, from.level_kind, sizeof to.level_kind);
  std::memcpy(to.level_label, from.level_label, sizeof to.level_label);
}

int32_t set_model_extras(Model& model, const ModelExtras& extras, char* errMsg) {
  ModelStore& m = model.current;
  struct Saved {
    int32_t display_mode, title_count, level_count;
    char titles[kMaxTitles][kTitleSlot];
    float levels[kLevelSlots];
    int32_t level_kind[kLevelSlots], level_label[kLevelSlots];
  } saved;
  copy_extras(saved, m);
  if (set_extras(m, extras, errMsg)) return 0;
  copy_extras(m, saved);
  return -1;
}

double choose_axis_origin(int64_t n, const double* v) { return axis_origin(n, v); }

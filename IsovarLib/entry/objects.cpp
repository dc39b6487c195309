// Models and runs as the caller's objects: each owns its tables (the
// default ones in memory of its own, given by the system as first touched),
// and every call works on the objects it is given.
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "IsovarLib.h"
#include "engine/band_merge.h"
#include "engine/tiles.h"
#include "entry/objects_internal.h"
#include "entry/runs.h"
#include "input/model_builder.h"
#include "input/reader.h"
#include "isovar_messages.h"

struct IsovarModel {
  Model model;
  ModelFixedTables* fixed;  // two sets: the model and the one a read fills
  int32_t limit_reached;
};

struct IsovarRun {
  Run run;
  EngineFixedTables* fixed;
  std::vector<int32_t> lines;  // the live polyline rows, in table order
  BandMerge bands;
  bool bands_merged;  // bands holds the last trace's merge (isovarRunBands)
};

namespace {

ModelExtras extras_of(const IsovarModelInfo* info) {
  if (info == nullptr) return ModelExtras{0, nullptr, nullptr, nullptr, 0, nullptr, 1};
  return ModelExtras{info->level_count, info->levels, info->bold,         info->labelled,
                     info->title_count, info->titles, info->display_mode};
}

int32_t fail_message(char* errMsg, const char* format, const char* routine) {
  char text[kMessageBufferSize];
  put_message(text, sizeof text, format, routine);
  return fail_entry(errMsg, text, 0);
}

// After a trace: the rows that hold a polyline.
void index_lines(IsovarRun* r) {
  const EngineTables& t = r->run.engine;
  r->lines.clear();
  for (int32_t n = 0; n < t.pline_total; ++n)
    if (t.pline_count[n] > 0) r->lines.push_back(n);
}

// Row's points in model units: the model's origin added to each offset.
int32_t put_points(const EngineTables& t, const ModelStore& m, int32_t row, double* xy) {
  const int32_t count = t.pline_count[row];
  if (xy != nullptr) {
    for (int32_t i = 0; i < count; ++i) {
      const IsoPoint& p = t.iso_points[pline_point(t, row, i)];
      xy[2 * i] = in_model_units(m.origin_x, p.x);
      xy[2 * i + 1] = in_model_units(m.origin_y, p.y);
    }
  }
  return count;
}

}  // namespace

IsovarModel* isovarModelNew(void) {
  auto* fixed = static_cast<ModelFixedTables*>(map_zeroed(2 * sizeof(ModelFixedTables)));
  if (fixed == nullptr) return nullptr;
  auto* m = new (std::nothrow) IsovarModel{};
  if (m == nullptr) {
    unmap_zeroed(fixed, 2 * sizeof(ModelFixedTables));
    return nullptr;
  }
  m->fixed = fixed;
  attach_model(m->model, &fixed[0], &fixed[1]);
  return m;
}

void isovarModelFree(IsovarModel* model) {
  if (model == nullptr) return;
  release_model(model->model);
  unmap_zeroed(model->fixed, 2 * sizeof(ModelFixedTables));
  delete model;
}

int32_t isovarModelRead(IsovarModel* model, const char* path, int32_t large, char* errMsg) {
  if (model == nullptr) return fail_entry(errMsg, "", 0);
  return ReadIsovarFile(model->model, path, errMsg, large != 0, nullptr, &model->limit_reached);
}

int32_t isovarModelGrid(IsovarModel* model, int32_t nx, int32_t ny, const double* x, const double* y,
                        const double* values, const IsovarModelInfo* info, int32_t large, char* errMsg) {
  if (model == nullptr) return fail_entry(errMsg, "", 0);
  char text[kErrMsgSize];
  if (build_grid(model->model, nx, ny, x, y, values, extras_of(info), large != 0, text, &model->limit_reached) != 0)
    return fail_entry(errMsg, text, 0);
  return 0;
}

int32_t isovarModelGridAt(IsovarModel* model, double originX, double originY, int32_t nx, int32_t ny,
                          const double* x, const double* y, const double* values, const IsovarModelInfo* info,
                          int32_t large, char* errMsg) {
  if (model == nullptr) return fail_entry(errMsg, "", 0);
  char text[kErrMsgSize];
  if (!std::isfinite(originX) || !std::isfinite(originY)) {
    put_message(text, sizeof text, std::isfinite(originX) ? msg::in_y_not_number : msg::in_x_not_number, 0);
    return fail_entry(errMsg, text, 0);
  }
  const double origin[2] = {originX, originY};
  if (build_grid(model->model, nx, ny, x, y, values, extras_of(info), large != 0, text, &model->limit_reached,
                 origin) != 0)
    return fail_entry(errMsg, text, 0);
  return 0;
}

int32_t isovarModelGridRows(IsovarModel* model, int32_t nx, int32_t ny, const double* x, const double* y,
                            IsovarGridRowsFill fill, void* user, const IsovarModelInfo* info, int32_t large,
                            char* errMsg) {
  if (model == nullptr) return fail_entry(errMsg, "", 0);
  char text[kErrMsgSize];
  if (build_grid_rows(model->model, nx, ny, x, y, fill, user, extras_of(info), large != 0, text,
                      &model->limit_reached) != 0)
    return fail_entry(errMsg, text, 0);
  return 0;
}

double isovarAxisOrigin(int64_t n, const double* v) { return v != nullptr && n > 0 ? choose_axis_origin(n, v) : 0.0; }

int32_t isovarModelMesh(IsovarModel* model, int32_t node_count, const double* x, const double* y,
                        const double* values, int32_t cell_count, const int32_t* cells, const IsovarModelInfo* info,
                        int32_t large, char* errMsg) {
  if (model == nullptr) return fail_entry(errMsg, "", 0);
  char text[kErrMsgSize];
  if (build_mesh(model->model, node_count, x, y, values, cell_count, cells, extras_of(info), large != 0, text,
                 &model->limit_reached) != 0)
    return fail_entry(errMsg, text, 0);
  return 0;
}

int32_t isovarModelLimitReached(const IsovarModel* model) { return model != nullptr ? model->limit_reached : 0; }

int32_t isovarModelDescribe(const IsovarModel* model, IsovarModelSummary* summary) {
  if (model == nullptr || summary == nullptr) return -1;
  static_assert(ISOVAR_MAX_LEVELS == kMaxLevels && ISOVAR_MAX_TITLES == kMaxTitles &&
                    ISOVAR_TITLE_SIZE == kMaxTitleBytes + 1,
                "the summary's sizes are the model store's");
  const ModelStore& m = model->model.current;
  *summary = IsovarModelSummary{};
  summary->kind = m.model_kind == kFemModel ? 1 : 0;
  summary->large = m.large != 0 ? 1 : 0;
  summary->display_mode = m.display_mode == 2 ? 2 : 1;
  summary->level_count = m.level_count < 0 ? 0 : (m.level_count > kMaxLevels ? kMaxLevels : m.level_count);
  for (int32_t k = 0; k < summary->level_count; ++k) {
    summary->levels[k] = m.levels[k];
    summary->bold[k] = m.level_kind[k] != 0 ? 1 : 0;
    summary->labelled[k] = m.level_label[k] != 0 ? 1 : 0;
  }
  summary->title_count = m.title_count < 0 ? 0 : (m.title_count > kMaxTitles ? kMaxTitles : m.title_count);
  for (int32_t t = 0; t < summary->title_count; ++t) {
    std::memcpy(summary->titles[t], m.titles[t], ISOVAR_TITLE_SIZE - 1);
    summary->titles[t][ISOVAR_TITLE_SIZE - 1] = '\0';
  }
  summary->xmin = in_model_units(m.origin_x, m.extent_xmin);
  summary->xmax = in_model_units(m.origin_x, m.extent_xmax);
  summary->ymin = in_model_units(m.origin_y, m.extent_ymin);
  summary->ymax = in_model_units(m.origin_y, m.extent_ymax);
  return 0;
}

int32_t isovarModelOrigin(const IsovarModel* model, double* x, double* y) {
  if (model == nullptr) return -1;
  const ModelStore& m = model->model.current;
  if (x != nullptr) *x = m.origin_x;
  if (y != nullptr) *y = m.origin_y;
  return 0;
}

int32_t isovarModelSetInfo(IsovarModel* model, const IsovarModelInfo* info, char* errMsg) {
  if (model == nullptr) return fail_entry(errMsg, "", 0);
  char text[kErrMsgSize];
  if (set_model_extras(model->model, extras_of(info), text) != 0) return fail_entry(errMsg, text, 0);
  return 0;
}

IsovarRun* isovarRunNew(void) {
  auto* fixed = static_cast<EngineFixedTables*>(map_zeroed(sizeof(EngineFixedTables)));
  if (fixed == nullptr) return nullptr;
  auto* r = new (std::nothrow) IsovarRun{};
  if (r == nullptr) {
    unmap_zeroed(fixed, sizeof(EngineFixedTables));
    return nullptr;
  }
  r->fixed = fixed;
  attach_run(r->run, fixed);
  return r;
}

void isovarRunFree(IsovarRun* run) {
  if (run == nullptr) return;
  release_run(run->run);
  unmap_zeroed(run->fixed, sizeof(EngineFixedTables));
  delete run;
}

int32_t isovarRunSetFill(IsovarRun* run, int32_t on) {
  if (run != nullptr) run->run.ctx.fill_bands = on != 0 ? 1 : 0;
  return 0;
}

int32_t isovarRunSetStyle(IsovarRun* run, const IsovarPictureStyle* style) {
  return run != nullptr && set_picture_style(run->run, style) ? 0 : -1;
}

int32_t isovarRunSetLarge(IsovarRun* run, int32_t on) {
  if (run != nullptr) run->run.ctx.large = on != 0 ? 1 : 0;
  return 0;
}

int32_t isovarRunSetThreads(IsovarRun* run, int32_t threads) {
  if (run == nullptr || threads < 0) return -1;
  run->run.engine.threads = threads;
  return 0;
}

Run& run_of(IsovarRun* run) { return run->run; }

int32_t isovarRunTrace(IsovarRun* run, const IsovarModel* model, int32_t bands, char* errMsg) {
  if (run == nullptr || model == nullptr) return fail_entry(errMsg, "", 0);
  run->bands = BandMerge{};
  run->bands_merged = false;
  const int32_t result = run_trace(run->run, model->model.current, bands != 0, errMsg);
  index_lines(run);
  return result;
}

int32_t isovarRunLimitReached(const IsovarRun* run) { return run != nullptr ? run->run.ctx.table_limit_reached : 0; }

int32_t isovarRunLineCount(const IsovarRun* run) {
  return run != nullptr ? static_cast<int32_t>(run->lines.size()) : 0;
}

int32_t isovarRunLine(const IsovarRun* run, int32_t i, int32_t* level, int32_t* closed, double* xy) {
  if (run == nullptr || i < 0 || i >= static_cast<int32_t>(run->lines.size())) return -1;
  const EngineTables& t = run->run.engine;
  const int32_t row = run->lines[static_cast<std::size_t>(i)];
  if (level != nullptr) *level = t.pline_level[row];
  if (closed != nullptr) *closed = t.pline_closed[row];
  return put_points(t, *run->run.model, row, xy);
}

namespace {

// Hands the engine's lines on in model units.
struct CallbackSink final : LineSink {
  IsovarLineSink sink;
  void* user;
  double origin_x, origin_y;
  std::vector<double> xy;
  int32_t answer = 0;

  CallbackSink(IsovarLineSink s, void* u, const ModelStore& m)
      : sink(s), user(u), origin_x(m.origin_x), origin_y(m.origin_y) {}
  int line(int32_t level, bool closed, const IsoPoint* points, int64_t count) override {
    xy.resize(2 * static_cast<std::size_t>(count));
    for (int64_t i = 0; i < count; ++i) {
      xy[2 * i] = in_model_units(origin_x, points[i].x);
      xy[2 * i + 1] = in_model_units(origin_y, points[i].y);
    }
    answer = sink(user, level, closed ? 1 : 0, static_cast<int32_t>(count), xy.data());
    return answer;
  }
};

}  // namespace

int32_t isovarRunTraceLines(IsovarRun* run, const IsovarModel* model, IsovarLineSink sink, void* user,
                            char* errMsg) {
  if (run == nullptr || model == nullptr || sink == nullptr) return fail_entry(errMsg, "", 0);
  run->bands = BandMerge{};
  run->bands_merged = false;
  run->lines.clear();
  Run& r = run->run;
  const ModelStore& m = model->model.current;
  CallbackSink to(sink, user, m);
  if (run_streams(r, m)) {
    r.model = &m;
    const int result = trace_grid_streamed(r.engine, m, r.ctx.message_buffer, to);
    r.ctx.table_limit_reached = r.engine.limit_reached;
    if (to.answer != 0) return to.answer;
    return result == 0 ? 0 : fail_entry(errMsg, r.ctx.message_buffer, 0);
  }
  // Anything else is traced whole first: it fits the default tables, or is
  // a mesh, whose tiles may share points with any other.
  if (run_trace(r, m, false, errMsg) != 0) return -1;
  index_lines(run);
  const EngineTables& t = r.engine;
  int32_t answer = 0;
  for (const int32_t row : run->lines) {
    to.xy.resize(2 * static_cast<std::size_t>(t.pline_count[row]));
    const int32_t count = put_points(t, m, row, to.xy.data());
    answer = sink(user, t.pline_level[row], t.pline_closed[row], count, to.xy.data());
    if (answer != 0) break;
  }
  run->lines.clear();
  return answer;
}

int32_t isovarRunBands(IsovarRun* run, char* errMsg) {
  if (run == nullptr || run->run.model == nullptr) return fail_entry(errMsg, "", 0);
  const Run& r = run->run;
  const int32_t levels = r.model->level_count < 0 ? 0 : r.model->level_count;
  // The merge before goes first: it and the new one are never held together.
  run->bands = BandMerge{};
  run->bands_merged = false;
  try {
    run->bands = merge_band_pieces(r.engine.fill_poly.data, r.engine.fill_poly_count, levels + 1);
  } catch (const std::bad_alloc&) {
    run->bands = BandMerge{};
    return fail_message(errMsg, msg::out_of_memory, "isovarRunBands");
  }
  run->bands_merged = true;
  return 0;
}

int32_t isovarRunBandCount(const IsovarRun* run) {
  return run != nullptr ? static_cast<int32_t>(run->bands.bands.size()) : 0;
}

int32_t isovarRunBand(const IsovarRun* run, int32_t i, int32_t* band) {
  if (run == nullptr || i < 0 || i >= isovarRunBandCount(run)) return -1;
  const MergedBand& b = run->bands.bands[static_cast<std::size_t>(i)];
  if (band != nullptr) *band = b.band;
  return static_cast<int32_t>(b.polygons.size());
}

int32_t isovarRunBandRing(const IsovarRun* run, int32_t i, int32_t p, int32_t r, int32_t* ring_count, double* xy) {
  if (run == nullptr || i < 0 || i >= isovarRunBandCount(run)) return -1;
  const MergedBand& b = run->bands.bands[static_cast<std::size_t>(i)];
  if (p < 0 || p >= static_cast<int32_t>(b.polygons.size())) return -1;
  const MergedPolygon& polygon = b.polygons[static_cast<std::size_t>(p)];
  const int32_t rings = 1 + static_cast<int32_t>(polygon.holes.size());
  if (ring_count != nullptr) *ring_count = rings;
  if (r < 0 || r >= rings) return -1;
  const std::vector<int32_t>& ring = r == 0 ? polygon.outer : polygon.holes[static_cast<std::size_t>(r - 1)];
  if (xy != nullptr) {
    const ModelStore& m = *run->run.model;
    for (std::size_t k = 0; k < ring.size(); ++k) {
      xy[2 * k] = in_model_units(m.origin_x, run->bands.x[static_cast<std::size_t>(ring[k])]);
      xy[2 * k + 1] = in_model_units(m.origin_y, run->bands.y[static_cast<std::size_t>(ring[k])]);
    }
  }
  return static_cast<int32_t>(ring.size());
}

int32_t isovarRunDraw(IsovarRun* run, const IsovarModel* model, HDC hdc, int32_t width, int32_t height,
                      const char* printInfoPath, char* errMsg) {
  if (run == nullptr || model == nullptr) return fail_entry(errMsg, "", 0);
  run->bands = BandMerge{};
  run->bands_merged = false;
  const int32_t result = run_plot(run->run, model->model.current, errMsg, hdc, printInfoPath != nullptr,
                                  printInfoPath, width, height);
  index_lines(run);
  return result;
}

int32_t isovarRunSaveBMP(IsovarRun* run, HDC hdc, const char* bmpPath, char* errMsg) {
  if (run == nullptr) return fail_entry(errMsg, "", 0);
  Run& r = run->run;
  if (capture_pixels(r, hdc) != 0) return fail_entry(errMsg, r.ctx.message_buffer, 0);
  if (int err = saveBMPFile(r, bmpPath)) return fail_entry(errMsg, r.ctx.message_buffer, err);
  return 0;
}

int32_t isovarRunSaveIsolines(const IsovarRun* run, const char* path, char* errMsg) {
  if (run == nullptr || run->run.model == nullptr) return fail_entry(errMsg, "", 0);
  return write_isolines(run->run, path, errMsg);
}

int32_t isovarRunStreamIsolines(IsovarRun* run, const IsovarModel* model, const char* path, char* errMsg) {
  if (run == nullptr || model == nullptr) return fail_entry(errMsg, "", 0);
  run->bands = BandMerge{};
  run->bands_merged = false;
  run->lines.clear();
  const ModelStore& m = model->model.current;
  if (run_streams(run->run, m)) return stream_isolines(run->run, m, path, errMsg);
  if (run_trace(run->run, m, false, errMsg) != 0) return -1;
  return write_isolines(run->run, path, errMsg);
}

int32_t isovarRunSaveBands(const IsovarRun* run, const char* path, char* errMsg) {
  if (run == nullptr || run->run.model == nullptr) return fail_entry(errMsg, "", 0);
  // Bands merged from this trace already are written as they are, not
  // merged a second time.
  return write_bands(run->run, run->bands_merged ? &run->bands : nullptr, path, errMsg);
}

#include "entry/defaults.h"

#include "input/reader.h"

namespace {

ModelFixedTables default_model_tables[2];
EngineFixedTables default_engine_tables;
PixelBuffer default_pixels;

}  // namespace

Model default_model;
Run default_run;

namespace {

// Before anything can call in: the shared library's, or the program's,
// static initialisation.
struct AttachDefaults {
  AttachDefaults() {
    attach_model(default_model, &default_model_tables[0], &default_model_tables[1]);
    attach_run(default_run, &default_engine_tables);
    default_run.model = &default_model.current;
    default_run.pixels = &default_pixels;
  }
} attach_defaults;

}  // namespace

int32_t ReadIsovarFile(const char* path, char* errMsg) {
  return ReadIsovarFile(default_model, path, errMsg, run_context.large != 0, run_context.log_file,
                        &run_context.table_limit_reached);
}

int trace_isolines() {
  default_run.model = &model_store;
  const int result = trace_isolines(engine_tables, model_store, run_context.message_buffer, run_context.large != 0,
                                    run_context.bands_wanted != 0);
  run_context.table_limit_reached = engine_tables.limit_reached;
  return result;
}

int32_t render_plot() { return render_plot(default_run); }
void plot_layout() { plot_layout(default_run); }
int32_t map_x(float x) { return map_x(default_run, x); }
int32_t map_y(float y) { return map_y(default_run, y); }
COLORREF level_colour(int32_t k) { return level_colour(model_store, k); }
COLORREF band_colour(int32_t b) { return band_colour(model_store, b); }

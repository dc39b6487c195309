// The process-wide default objects: the model and the run that the exported
// functions of the original interface (readData, isovarMain, saveBMP,
// saveIsolines, saveBands and the settings) work on. Nothing below entry/
// knows of them; every procedure there takes its model and run as
// arguments. The short names below (model_store, engine_tables, ...) are the
// default objects' parts, for the tools and tests that look inside them.
#pragma once

#include "engine/engine.h"
#include "input/model_store.h"
#include "render/run.h"
#include "shared/run_context.h"

// The default model: two stores over fixed tables, for the read-then-commit
// rule, in the process's static storage.
extern Model default_model;
// The default run, over fixed tables of its own; its context holds the
// settings of setLargeModels, setFillBands and setRunLog.
extern Run default_run;

inline ModelStore& model_store = default_model.current;
inline RunContext& run_context = default_run.ctx;
inline EngineTables& engine_tables = default_run.engine;
inline LayoutState& layout_state = default_run.layout;
inline LabelTable& label_table = default_run.labels;

// readData without the entry point's bookkeeping: the reader driver on the
// default model, in the default run's table mode.
int32_t ReadIsovarFile(const char* path, char* errMsg);

// The engine, on the default model and run, in its table mode: 0, or -1
// with the message in run_context.message_buffer.
int trace_isolines();

// The renderer's procedures on the default run (which must hold a model).
int32_t render_plot();
void plot_layout();
int32_t map_x(float x);
int32_t map_y(float y);
COLORREF level_colour(int32_t k);
COLORREF band_colour(int32_t b);
inline int32_t pline_point(int n, int i) { return pline_point(engine_tables, n, i); }

// A run: everything one trace and one drawing of a model use and leave, owned
// by whoever made the run. The engine fills `engine` from `model`; the
// renderer draws on `ctx.run_hdc` from both, keeping its layout, labels,
// display-list bytes and band scratch here. Nothing is shared between runs:
// runs on several threads never meet.
#pragma once

#include "engine/engine.h"
#include "input/model_store.h"
#include "render/render.h"
#include "shared/run_context.h"

struct Run {
  const ModelStore* model;  // what the run traces and draws
  RunContext ctx;
  EngineTables engine;
  LayoutState layout;
  LabelTable labels;
  DisplayListWriter dl;
  BandDrawing bands;
  PixelBuffer* pixels;  // the captured picture, made by the first capture
  AcceptedLabel fixed_labels[kMaxLabels];  // the default mode's label table
  PictureStyle style;  // key, axes and colours of the pictures that follow
  OutlineState outline;  // the domain's boundary, when the style draws it
};

// The storage a run needs besides itself: the engine's fixed tables.
// attach_run makes an empty run over them (zeroed memory); release_run
// frees what the run allocated (large mode's tables, the captured picture).
void attach_run(Run& r, EngineFixedTables* engine_tables);
void release_run(Run& r);

#include "render/run.h"

void attach_run(Run& r, EngineFixedTables* engine_tables) {
  r.model = nullptr;
  r.ctx = RunContext{};
  attach_engine_tables(r.engine, engine_tables);
  r.layout = LayoutState{};
  r.labels = LabelTable{fixed_table(r.fixed_labels), 0, 0.0f, 0.0f, 0, {}};
  dl_discard(r);
  r.pixels = nullptr;
  r.style = PictureStyle{};  // the plain picture
  r.outline.ready = 0;
}

void release_run(Run& r) {
  release_engine_tables(r.engine);
  r.labels.labels.release();
  unmap_zeroed(r.pixels, sizeof(PixelBuffer));
  r.pixels = nullptr;
  r.outline = OutlineState{};
}

// saveIsolines: the traced polylines as a GeoJSON file. Reads the engine
// output tables and the model store's levels; draws nothing and leaves the
// run context's device context, picture size and files alone.
#include <charconv>
#include <cmath>
#include <cstdio>

#include "IsovarLib.h"
#include "atomic_file.h"
#include "engine/engine.h"
#include "geojson_numbers.h"
#include "input/model_store.h"
#include "isovar_messages.h"
#include "shared/run_context.h"

void put_json_float(files::AtomicFile& out, float v) {
  if (!std::isfinite(v)) {
    out.write("null");
    return;
  }
  char text[32];
  const std::to_chars_result r = std::to_chars(text, text + sizeof text, v);
  out.write(text, static_cast<std::size_t>(r.ptr - text));
}

namespace {

bool row_is_finite(int n) {
  for (int i = 0; i < engine_tables.pline_count[n]; ++i) {
    const IsoPoint& p = engine_tables.iso_points[pline_point(n, i)];
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
  }
  return true;
}

void put_feature(files::AtomicFile& out, int n, bool first) {
  const int k = engine_tables.pline_level[n];
  const float level = model_store.levels[k];
  out.write(first ? "\n" : ",\n");
  out.write("{\"type\":\"Feature\",\"properties\":{\"level\":");
  put_json_float(out, level);
  char text[128];
  int length = std::snprintf(text, sizeof text,
                             ",\"level_index\":%d,\"closed\":%s,\"bold\":%s,\"labelled\":%s},\"geometry\":", k,
                             engine_tables.pline_closed[n] ? "true" : "false",
                             model_store.level_kind[k] == 1 ? "true" : "false",
                             model_store.level_label[k] == 1 ? "true" : "false");
  out.write(text, static_cast<std::size_t>(length));
  if (!row_is_finite(n)) {
    out.write("null}");
    return;
  }
  out.write("{\"type\":\"LineString\",\"coordinates\":[");
  for (int i = 0; i < engine_tables.pline_count[n]; ++i) {
    const IsoPoint& p = engine_tables.iso_points[pline_point(n, i)];
    out.write(i == 0 ? "[" : ",[");
    put_json_float(out, p.x);
    out.write(",");
    put_json_float(out, p.y);
    out.write("]");
  }
  out.write("]}}");
}

}  // namespace

int32_t saveIsolines(char* errMsg, const char* path) {
  run_context.table_limit_reached = 0;
  if (trace_isolines() != 0) return fail_entry(errMsg, run_context.message_buffer, 0);
  files::AtomicFile out;
  if (int err = out.open(path, files::Target::kNamedByUser))
    return fail_entry(errMsg, msg::cannot_open_isoline_file, err);

  out.write("{\"type\":\"FeatureCollection\",\"features\":[");
  bool first = true;
  for (int n = 0; n < engine_tables.pline_total; ++n) {
    if (engine_tables.pline_count[n] <= 0) continue;
    put_feature(out, n, first);
    first = false;
  }
  out.write("\n]}\n");
  if (int err = out.commit()) return fail_entry(errMsg, msg::cannot_write_isoline_file, err);
  return 0;
}

// The traced polylines as a GeoJSON file (saveIsolines, and a run's
// isolines). Reads the run's engine tables and its model's levels; draws
// nothing and leaves the run context's device context, picture size and
// files alone.
#include <charconv>
#include <cmath>
#include <cstdio>

#include "IsovarLib.h"
#include "atomic_file.h"
#include "entry/defaults.h"
#include "entry/runs.h"
#include "geojson_numbers.h"
#include "input/model_store.h"
#include "isovar_messages.h"
#include "shared/run_context.h"

namespace {

// The shortest text that reads back as v (to_chars), or null.
template <typename T>
void put_shortest(files::AtomicFile& out, T v) {
  if (!std::isfinite(v)) {
    out.write("null");
    return;
  }
  char text[32];
  const std::to_chars_result r = std::to_chars(text, text + sizeof text, v);
  out.write(text, static_cast<std::size_t>(r.ptr - text));
}

}  // namespace

void put_json_float(files::AtomicFile& out, float v) { put_shortest(out, v); }
void put_json_double(files::AtomicFile& out, double v) { put_shortest(out, v); }

namespace {

// Whether every point of row n is finite in model units (origin + offset).
// kShifted: the model has an origin other than (0, 0); a file's model has
// none, and its points are written as they always were.
template <bool kShifted>
bool row_is_finite(const EngineTables& t, const ModelStore& m, int n) {
  for (int i = 0; i < t.pline_count[n]; ++i) {
    const IsoPoint& p = t.iso_points[pline_point(t, n, i)];
    if (kShifted) {
      if (!std::isfinite(in_model_units(m.origin_x, p.x)) || !std::isfinite(in_model_units(m.origin_y, p.y)))
        return false;
    } else if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
      return false;
    }
  }
  return true;
}

template <bool kShifted>
void put_feature(files::AtomicFile& out, const Run& r, int n, bool first) {
  const EngineTables& t = r.engine;
  const ModelStore& m = *r.model;
  const int k = t.pline_level[n];
  const float level = m.levels[k];
  out.write(first ? "\n" : ",\n");
  out.write("{\"type\":\"Feature\",\"properties\":{\"level\":");
  put_json_float(out, level);
  char text[128];
  int length = std::snprintf(text, sizeof text,
                             ",\"level_index\":%d,\"closed\":%s,\"bold\":%s,\"labelled\":%s},\"geometry\":", k,
                             t.pline_closed[n] ? "true" : "false", m.level_kind[k] == 1 ? "true" : "false",
                             m.level_label[k] == 1 ? "true" : "false");
  out.write(text, static_cast<std::size_t>(length));
  if (!row_is_finite<kShifted>(t, m, n)) {
    out.write("null}");
    return;
  }
  out.write("{\"type\":\"LineString\",\"coordinates\":[");
  for (int i = 0; i < t.pline_count[n]; ++i) {
    const IsoPoint& p = t.iso_points[pline_point(t, n, i)];
    out.write(i == 0 ? "[" : ",[");
    if (kShifted) {
      put_json_coordinate(out, p.x, m.origin_x);
      out.write(",");
      put_json_coordinate(out, p.y, m.origin_y);
    } else {
      put_json_float(out, p.x);
      out.write(",");
      put_json_float(out, p.y);
    }
    out.write("]");
  }
  out.write("]}}");
}

}  // namespace

int32_t saveIsolines(char* errMsg, const char* path) {
  if (run_trace(default_run, model_store, false, errMsg) != 0) return -1;
  return write_isolines(default_run, path, errMsg);
}

int32_t write_isolines(const Run& r, const char* path, char* errMsg) {
  const EngineTables& t = r.engine;
  files::AtomicFile out;
  if (int err = out.open(path, files::Target::kNamedByUser))
    return fail_entry(errMsg, msg::cannot_open_isoline_file, err);

  out.write("{\"type\":\"FeatureCollection\",\"features\":[");
  bool first = true;
  const bool shifted = r.model->origin_x != 0.0 || r.model->origin_y != 0.0;
  for (int n = 0; n < t.pline_total; ++n) {
    if (t.pline_count[n] <= 0) continue;
    if (shifted) put_feature<true>(out, r, n, first);
    else put_feature<false>(out, r, n, first);
    first = false;
  }
  out.write("\n]}\n");
  if (int err = out.commit()) return fail_entry(errMsg, msg::cannot_write_isoline_file, err);
  return 0;
}

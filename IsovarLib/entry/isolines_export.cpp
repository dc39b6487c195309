// The traced polylines as a GeoJSON file (saveIsolines, and a run's
// isolines). Reads the run's engine tables and its model's levels; draws
// nothing and leaves the run context's device context, picture size and
// files alone.
#include <charconv>
#include <cmath>
#include <cstdio>

#include "IsovarLib.h"
#include "atomic_file.h"
#include "engine/tiles.h"
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

// Whether every point of a line is finite in model units (origin +
// offset). kShifted: the model has an origin other than (0, 0); a file's
// model has none, and its points are written as they always were.
template <bool kShifted, class Point>
bool line_is_finite(const ModelStore& m, int count, Point&& point) {
  for (int i = 0; i < count; ++i) {
    const IsoPoint& p = point(i);
    if (kShifted) {
      if (!std::isfinite(in_model_units(m.origin_x, p.x)) || !std::isfinite(in_model_units(m.origin_y, p.y)))
        return false;
    } else if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
      return false;
    }
  }
  return true;
}

// A line of level k and count points, point(i) the i-th.
template <bool kShifted, class Point>
void put_feature(files::AtomicFile& out, const ModelStore& m, int k, bool closed, int count, Point&& point,
                 bool first) {
  const float level = m.levels[k];
  out.write(first ? "\n" : ",\n");
  out.write("{\"type\":\"Feature\",\"properties\":{\"level\":");
  put_json_float(out, level);
  char text[128];
  int length = std::snprintf(text, sizeof text,
                             ",\"level_index\":%d,\"closed\":%s,\"bold\":%s,\"labelled\":%s},\"geometry\":", k,
                             closed ? "true" : "false", m.level_kind[k] == 1 ? "true" : "false",
                             m.level_label[k] == 1 ? "true" : "false");
  out.write(text, static_cast<std::size_t>(length));
  if (!line_is_finite<kShifted>(m, count, point)) {
    out.write("null}");
    return;
  }
  out.write("{\"type\":\"LineString\",\"coordinates\":[");
  for (int i = 0; i < count; ++i) {
    const IsoPoint& p = point(i);
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

template <class Point>
void put_line(files::AtomicFile& out, const ModelStore& m, int k, bool closed, int count, Point&& point,
              bool first) {
  if (m.origin_x != 0.0 || m.origin_y != 0.0) {
    put_feature<true>(out, m, k, closed, count, point, first);
  } else {
    put_feature<false>(out, m, k, closed, count, point, first);
  }
}

constexpr const char* kHead = "{\"type\":\"FeatureCollection\",\"features\":[";
constexpr const char* kTail = "\n]}\n";

// Writes the lines of a streamed trace as they come.
struct FeatureSink final : LineSink {
  files::AtomicFile& out;
  const ModelStore& model;
  bool first = true;
  FeatureSink(files::AtomicFile& o, const ModelStore& m) : out(o), model(m) {}
  int line(int32_t level, bool closed, const IsoPoint* points, int64_t count) override {
    put_line(out, model, level, closed, static_cast<int>(count), [points](int i) -> const IsoPoint& { return points[i]; },
             first);
    first = false;
    return out.error() != 0 ? 1 : 0;  // a file that cannot be written stops the trace
  }
};

}  // namespace

int32_t saveIsolines(char* errMsg, const char* path) {
  if (run_streams(default_run, model_store)) return stream_isolines(default_run, model_store, path, errMsg);
  if (run_trace(default_run, model_store, false, errMsg) != 0) return -1;
  return write_isolines(default_run, path, errMsg);
}

int32_t write_isolines(const Run& r, const char* path, char* errMsg) {
  const EngineTables& t = r.engine;
  files::AtomicFile out;
  if (int err = out.open(path, files::Target::kNamedByUser))
    return fail_entry(errMsg, msg::cannot_open_isoline_file, err);

  out.write(kHead);
  bool first = true;
  for (int n = 0; n < t.pline_total; ++n) {
    if (t.pline_count[n] <= 0) continue;
    put_line(out, *r.model, t.pline_level[n], t.pline_closed[n] != 0, t.pline_count[n],
             [&t, n](int i) -> const IsoPoint& { return t.iso_points[pline_point(t, n, i)]; }, first);
    first = false;
  }
  out.write(kTail);
  if (int err = out.commit()) return fail_entry(errMsg, msg::cannot_write_isoline_file, err);
  return 0;
}

int32_t stream_isolines(Run& r, const ModelStore& model, const char* path, char* errMsg) {
  files::AtomicFile out;
  if (int err = out.open(path, files::Target::kNamedByUser))
    return fail_entry(errMsg, msg::cannot_open_isoline_file, err);
  out.write(kHead);
  FeatureSink sink(out, model);
  r.model = &model;
  const int traced = trace_grid_streamed(r.engine, model, r.ctx.message_buffer, sink);
  r.ctx.table_limit_reached = r.engine.limit_reached;
  if (traced < 0) return fail_entry(errMsg, r.ctx.message_buffer, 0);  // the file is dropped
  out.write(kTail);  // after a stop for a failed write, commit() reports it
  if (int err = out.commit()) return fail_entry(errMsg, msg::cannot_write_isoline_file, err);
  return 0;
}

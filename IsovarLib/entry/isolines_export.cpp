// saveIsolines: the traced polylines as a GeoJSON file. Reads the engine
// output tables and the model store's levels; draws nothing and leaves the
// run context's device context, picture size and files alone.
#include <sys/stat.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "IsovarLib.h"
#include "engine/engine.h"
#include "input/model_store.h"
#include "isovar_messages.h"
#include "shared/run_context.h"

namespace {

void report(char* errMsg, const char* text) {
  if (errMsg != nullptr) copy_message(errMsg, kErrMsgSize, text);
}

// Numbers go through to_chars, not printf: a caller that switched the C
// locale to one with a decimal comma must still get JSON. Nine significant
// digits bring every float back exactly.
void put_float(std::FILE* out, float v) {
  char text[32];
  std::to_chars_result r = std::to_chars(text, text + sizeof text, v, std::chars_format::general, 9);
  std::fwrite(text, 1, static_cast<std::size_t>(r.ptr - text), out);
}

bool row_is_finite(int n) {
  for (int i = 0; i < engine_tables.pline_count[n]; ++i) {
    const IsoPoint& p = engine_tables.iso_points[pline_point(n, i)];
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
  }
  return true;
}

void put_feature(std::FILE* out, int n, bool first) {
  const int k = engine_tables.pline_level[n];
  const float level = model_store.levels[k];
  std::fputs(first ? "\n" : ",\n", out);
  std::fputs("{\"type\":\"Feature\",\"properties\":{\"level\":", out);
  if (std::isfinite(level)) {
    put_float(out, level);
  } else {
    std::fputs("null", out);
  }
  std::fprintf(out, ",\"level_index\":%d,\"closed\":%s,\"bold\":%s,\"labelled\":%s},\"geometry\":", k,
               engine_tables.pline_closed[n] ? "true" : "false", model_store.level_kind[k] == 1 ? "true" : "false",
               model_store.level_label[k] == 1 ? "true" : "false");
  if (!row_is_finite(n)) {
    std::fputs("null}", out);
    return;
  }
  std::fputs("{\"type\":\"LineString\",\"coordinates\":[", out);
  for (int i = 0; i < engine_tables.pline_count[n]; ++i) {
    const IsoPoint& p = engine_tables.iso_points[pline_point(n, i)];
    std::fputs(i == 0 ? "[" : ",[", out);
    put_float(out, p.x);
    std::fputc(',', out);
    put_float(out, p.y);
    std::fputc(']', out);
  }
  std::fputs("]}}", out);
}

}  // namespace

int32_t saveIsolines(char* errMsg, const char* path) {
  run_context.table_limit_reached = 0;
  if (trace_isolines() != 0) {
    report(errMsg, run_context.message_buffer);
    return -1;
  }
  std::FILE* out = path != nullptr ? std::fopen(path, "wb") : nullptr;
  if (out == nullptr) {
    report(errMsg, msg::cannot_open_isoline_file);
    return -1;
  }
  struct stat st;
  const bool regular = fstat(fileno(out), &st) == 0 && S_ISREG(st.st_mode);

  std::fputs("{\"type\":\"FeatureCollection\",\"features\":[", out);
  bool first = true;
  for (int n = 0; n < engine_tables.pline_total; ++n) {
    if (engine_tables.pline_count[n] <= 0) continue;
    put_feature(out, n, first);
    first = false;
  }
  std::fputs("\n]}\n", out);

  const bool written = !std::ferror(out);
  if (std::fclose(out) != 0 || !written) {
    // A cut-off file must not pass for a complete one; only a plain file is
    // removed, never a device the caller named.
    if (regular) std::remove(path);
    report(errMsg, msg::cannot_write_isoline_file);
    return -1;
  }
  return 0;
}

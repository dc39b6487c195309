// The band polygons as a GeoJSON file (saveBands, and a run's bands). Reads
// the run's engine tables (traced with the band table) and its model's
// levels; draws nothing and leaves the run context's device context,
// picture size and files alone.
#include <new>

#include "IsovarLib.h"
#include "atomic_file.h"
#include "engine/band_merge.h"
#include "entry/defaults.h"
#include "entry/runs.h"
#include "geojson_numbers.h"
#include "input/model_store.h"
#include "isovar_messages.h"
#include "shared/run_context.h"
#include "shared/tables.h"

namespace {

void put_level(files::AtomicFile& out, const ModelStore& model, int32_t k) {
  if (k < 0 || k >= model.level_count) {
    out.write("null");
    return;
  }
  put_json_float(out, model.levels[k]);
}

// kShifted: the model has an origin other than (0, 0); a file's model has
// none, and its points are written as they always were.
template <bool kShifted>
void put_ring(files::AtomicFile& out, const ModelStore& model, const BandMerge& m, const std::vector<int32_t>& ring) {
  out.write("[");
  for (std::size_t k = 0; k <= ring.size(); ++k) {  // closed: the first position again at the end
    const int32_t v = ring[k == ring.size() ? 0 : k];
    out.write(k == 0 ? "[" : ",[");
    if (kShifted) {
      put_json_coordinate(out, m.x[v], model.origin_x);
      out.write(",");
      put_json_coordinate(out, m.y[v], model.origin_y);
    } else {
      put_json_float(out, m.x[v]);
      out.write(",");
      put_json_float(out, m.y[v]);
    }
    out.write("]");
  }
  out.write("]");
}

template <bool kShifted>
void put_band(files::AtomicFile& out, const ModelStore& model, const BandMerge& m, const MergedBand& band,
              bool first) {
  out.write(first ? "\n" : ",\n");
  out.write("{\"type\":\"Feature\",\"properties\":{\"band\":");
  out.write(std::to_string(band.band));
  out.write(",\"lower\":");
  put_level(out, model, band.band - 1);
  out.write(",\"upper\":");
  put_level(out, model, band.band);
  out.write("},\"geometry\":{\"type\":\"MultiPolygon\",\"coordinates\":[");
  for (std::size_t p = 0; p < band.polygons.size(); ++p) {
    const MergedPolygon& polygon = band.polygons[p];
    out.write(p == 0 ? "[" : ",[");
    put_ring<kShifted>(out, model, m, polygon.outer);
    for (const std::vector<int32_t>& hole : polygon.holes) {
      out.write(",");
      put_ring<kShifted>(out, model, m, hole);
    }
    out.write("]");
  }
  out.write("]}}");
}

}  // namespace

int32_t saveBands(char* errMsg, const char* path) {
  // Large mode keeps the band table only when asked: this trace needs it.
  if (run_trace(default_run, model_store, true, errMsg) != 0) return -1;
  return write_bands(default_run, path, errMsg);
}

int32_t write_bands(const Run& r, const char* path, char* errMsg) { return write_bands(r, nullptr, path, errMsg); }

// Each band is written as the merge gives it and then let go, so the file's
// polygons are never all held at once; bands merged already are written
// from where they are.
int32_t write_bands(const Run& r, const BandMerge* merged, const char* path, char* errMsg) {
  const ModelStore& model = *r.model;
  files::AtomicFile out;
  if (int err = out.open(path, files::Target::kNamedByUser)) return fail_entry(errMsg, msg::cannot_open_band_file, err);
  out.write("{\"type\":\"FeatureCollection\",\"features\":[");
  bool first = true;
  const bool shifted = model.origin_x != 0.0 || model.origin_y != 0.0;
  auto put = [&](const BandMerge& m, const MergedBand& band) {
    if (shifted) put_band<true>(out, model, m, band, first);
    else put_band<false>(out, model, m, band, first);
    first = false;
  };
  if (merged != nullptr) {
    for (const MergedBand& band : merged->bands) put(*merged, band);
  } else {
    try {
      const int32_t levels = model.level_count < 0 ? 0 : model.level_count;
      merge_band_pieces(r.engine.fill_poly.data, r.engine.fill_poly_count, levels + 1, put);
    } catch (const std::bad_alloc&) {
      char text[kMessageBufferSize];
      put_message(text, sizeof text, msg::out_of_memory, "saveBands");
      return fail_entry(errMsg, text, 0);  // the file unwritten: `out` is abandoned
    }
  }
  out.write("\n]}\n");
  if (int err = out.commit()) return fail_entry(errMsg, msg::cannot_write_band_file, err);
  return 0;
}

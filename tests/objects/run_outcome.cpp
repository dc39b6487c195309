#include "run_outcome.h"

#include "test_support.h"

using testing_support::read_file;

std::vector<uint32_t> pixels_of(HDC dc) {
  int w = 0, h = 0;
  const uint32_t* bits = GetSurfaceBits(dc, &w, &h);
  return std::vector<uint32_t>(bits, bits + static_cast<size_t>(w) * h);
}

std::string read_or_empty(const std::string& path) {
  std::string text;
  try {
    text = read_file(path);
  } catch (...) {
  }
  return text;
}

RunOutcome run_objects(IsovarRun* run, const IsovarModel* model, bool fill, const std::string& prefix) {
  RunOutcome out;
  char err[ISOVAR_ERRMSG_SIZE] = {};
  isovarRunSetFill(run, fill ? 1 : 0);
  HDC dc = CreateSurfaceDC(kWidth, kHeight);
  out.result = isovarRunDraw(run, model, dc, kWidth, kHeight, (prefix + ".dl").c_str(), err);
  out.message = out.result == 0 ? "" : err;
  if (out.result == 0) {
    out.pixels = pixels_of(dc);
    out.display_list = read_file(prefix + ".dl");
    isovarRunSaveIsolines(run, (prefix + ".geojson").c_str(), err);
    for (int32_t i = 0; i < isovarRunLineCount(run); ++i) {
      int32_t level = 0, closed = 0;
      std::vector<double> xy(2 * static_cast<size_t>(isovarRunLine(run, i, &level, &closed, nullptr)));
      isovarRunLine(run, i, &level, &closed, xy.data());
      std::vector<double> line{double(level), double(closed)};
      line.insert(line.end(), xy.begin(), xy.end());
      out.lines.push_back(line);
    }
    isovarRunTrace(run, model, 1, err);
    isovarRunSaveBands(run, (prefix + ".bands").c_str(), err);
    out.isolines = read_or_empty(prefix + ".geojson");
    out.bands = read_or_empty(prefix + ".bands");
  }
  DeleteDC(dc);
  return out;
}


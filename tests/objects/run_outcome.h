// What a plot run leaves, taken the same way from the exported functions
// and from the objects.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "IsovarLib.h"

struct RunOutcome {
  int32_t result = -1;
  std::string message;
  std::string display_list;
  std::vector<uint32_t> pixels;
  std::string isolines;  // GeoJSON
  std::string bands;     // GeoJSON
  std::vector<std::vector<double>> lines;  // level, closed, then x, y, ...

  bool operator==(const RunOutcome& o) const {
    return result == o.result && message == o.message && display_list == o.display_list && pixels == o.pixels &&
           isolines == o.isolines && bands == o.bands && lines == o.lines;
  }
};

constexpr int kWidth = 400;
constexpr int kHeight = 300;

// model drawn by run on a fresh surface (fill as asked), with its display
// list, isolines and bands written into files named after prefix.
RunOutcome run_objects(IsovarRun* run, const IsovarModel* model, bool fill, const std::string& prefix);

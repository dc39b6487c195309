// What a plot run leaves, taken the same way from the exported functions
// and from the objects.
#pragma once

// Sanitizers make a program many times slower and larger.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ISOVAR_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ISOVAR_SANITIZED 1
#endif
#endif
#ifndef ISOVAR_SANITIZED
#define ISOVAR_SANITIZED 0
#endif

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

// The pixels of a surface.
std::vector<uint32_t> pixels_of(HDC dc);
// A file's bytes, or "" when there is none.
std::string read_or_empty(const std::string& path);

// model drawn by run on a fresh surface (fill as asked), with its display
// list, isolines and bands written into files named after prefix.
RunOutcome run_objects(IsovarRun* run, const IsovarModel* model, bool fill, const std::string& prefix);

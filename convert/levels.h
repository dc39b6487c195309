// Isoline levels: what "--levels" asks for, and the levels it gives for the
// values of a model.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace convert {

constexpr int kMaxLevels = 49;
constexpr int kDefaultLevelCount = 10;

struct Level {
  float value;
  bool bold;
  bool labelled;
};

struct LevelRequest {
  enum class Kind { automatic, list, range, interval, even };
  Kind kind = Kind::automatic;
  int count = kDefaultLevelCount;        // automatic: about this many; even: this many
  std::vector<float> list;               // list: ascending, distinct
  double start = 0, stop = 0, step = 0;  // range; interval: step and start (the offset)
};

// "1,2,5" (a list; one level alone is written with a point or a sign, "5.0"),
// "250:600:50" (START:STOP:STEP, STOP included when it falls on a step) or a
// whole number N (about N round levels). An empty text when good, else what
// is wrong.
std::string parse_level_request(const std::string& text, LevelRequest& out);

// "a,b,c": exactly these levels (one alone needs no point). An empty text
// when good, else what is wrong.
std::string parse_fixed_levels(const std::string& text, LevelRequest& out);

// Levels at offset + k * step for every whole k that puts them within the
// values' range, ends included.
std::string interval_levels(double step, double offset, LevelRequest& out);

// count levels evenly spaced strictly between the lowest value and the
// highest: low + k * (high - low) / (count + 1), k = 1 ... count.
std::string even_levels(int64_t count, LevelRequest& out);

// The levels of a model whose values run from low to high (low <= high):
// a list or a range as asked (after which the values do not matter), or
// about request.count round levels strictly between low and high, at whole
// multiples of 1, 2, 2.5 or 5 times a power of ten.
//
// bold_every K (0: none) makes every K-th level bold: for evenly spaced
// levels, those at whole multiples of K steps, so index lines fall on
// round values; for a list, the K-th, 2K-th, ... of it.
//
// Throws Failure when no automatic (or evenly spaced) level lies between
// low and high, or when an interval gives none or too many.
std::vector<Level> make_levels(const LevelRequest& request, float low, float high, int bold_every, bool labelled);

}  // namespace convert

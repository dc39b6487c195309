#include "levels.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

#include "model.h"
#include "numbers.h"

namespace convert {

namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    const size_t at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

// Slack for a stop that lies on a step but misses it by rounding.
constexpr double kOnStep = 1e-9;

std::string too_many() { return "more than " + std::to_string(kMaxLevels) + " levels"; }

std::string parse_list(std::string_view text, LevelRequest& out) {
  std::vector<float> values;
  for (std::string_view part : split(text, ',')) {
    float v;
    if (parse_real(part, v) != Parsed::ok) return "level '" + std::string(part) + "' is not a number";
    values.push_back(v);
  }
  std::sort(values.begin(), values.end());
  values.erase(std::unique(values.begin(), values.end()), values.end());
  if (values.size() > static_cast<size_t>(kMaxLevels)) return too_many();
  out.kind = LevelRequest::Kind::list;
  out.list = values;
  return {};
}

std::string parse_range(std::string_view text, LevelRequest& out) {
  const std::vector<std::string_view> parts = split(text, ':');
  double v[3];
  if (parts.size() != 3) return "a range of levels is START:STOP:STEP";
  for (int k = 0; k < 3; ++k)
    if (!parse_double(parts[k], v[k])) return "'" + std::string(parts[k]) + "' is not a number";
  if (!(v[2] > 0)) return "the step of a range of levels must be above zero";
  if (v[1] < v[0]) return "a range of levels must not stop below its start";
  if (!(std::floor((v[1] - v[0]) / v[2] + kOnStep) < kMaxLevels)) return too_many();
  out.kind = LevelRequest::Kind::range;
  out.start = v[0];
  out.stop = v[1];
  out.step = v[2];
  return {};
}

// An evenly spaced level: value, and its step count from zero when the
// levels lie on whole multiples of the step.
struct Spaced {
  double value;
  std::optional<long long> multiple;
};

double power_of_ten(int e) {
  double p = 1.0;
  for (int k = 0; k < std::abs(e); ++k) p *= 10.0;
  return p;
}

// Multiples k * mantissa * 10^e strictly between low and high (as floats),
// computed so that each is the double nearest its decimal value.
std::vector<Spaced> round_levels(double mantissa, int e, float low, float high) {
  const double step = e >= 0 ? mantissa * power_of_ten(e) : mantissa / power_of_ten(e);
  const double first = std::floor(low / step) + 1;
  const double last = std::ceil(high / step) - 1;
  std::vector<Spaced> out;
  if (!(last - first < 2 * kMaxLevels)) return out;  // far too many (or not a number)
  for (double k = first; k <= last; ++k) {
    const double v = e >= 0 ? k * mantissa * power_of_ten(e) : k * mantissa / power_of_ten(e);
    const float f = static_cast<float>(v);
    if (f > low && f < high) out.push_back({v, static_cast<long long>(k)});
  }
  return out;
}

std::vector<Spaced> automatic(int count, float low, float high) {
  if (!(low < high)) throw Failure("every value is " + show(low) + ", so no level lies between them; give --levels");
  const int top = static_cast<int>(std::floor(std::log10(static_cast<double>(high) - low)));
  std::vector<Spaced> best;
  for (int e = top - 3; e <= top + 1; ++e) {
    for (double mantissa : {1.0, 2.0, 2.5, 5.0}) {
      std::vector<Spaced> levels = round_levels(mantissa, e, low, high);
      if (levels.empty() || levels.size() > static_cast<size_t>(kMaxLevels)) continue;
      const auto distance = [count](size_t n) { return std::abs(static_cast<int>(n) - count); };
      // On a tie the coarser step, which comes later, wins.
      if (best.empty() || distance(levels.size()) <= distance(best.size())) best = std::move(levels);
    }
  }
  if (best.empty())
    throw Failure(
        "no round level lies between the lowest value and the highest, which single precision hardly "
        "tells apart; give --levels");
  return best;
}

std::vector<Spaced> range(const LevelRequest& r) {
  const long long steps = static_cast<long long>(std::floor((r.stop - r.start) / r.step + kOnStep));
  const double first_multiple = r.start / r.step;
  const bool aligned =
      std::fabs(first_multiple) < 1e15 && std::fabs(first_multiple - std::round(first_multiple)) < kOnStep;
  std::vector<Spaced> out;
  for (long long k = 0; k <= steps; ++k) {
    Spaced s{r.start + static_cast<double>(k) * r.step, std::nullopt};
    if (aligned) s.multiple = static_cast<long long>(std::round(first_multiple)) + k;
    out.push_back(s);
  }
  return out;
}

// offset + k * step within [low, high], k counted from zero at the offset.
std::vector<Spaced> interval(const LevelRequest& r, float low, float high) {
  const double first = std::ceil((static_cast<double>(low) - r.start) / r.step);
  const double last = std::floor((static_cast<double>(high) - r.start) / r.step);
  if (!(last - first < kMaxLevels))
    throw Failure("an interval of " + show(r.step) + " gives more than " + std::to_string(kMaxLevels) +
                  " levels between " + show(low) + " and " + show(high) + "; give a larger one");
  std::vector<Spaced> out;
  for (double k = first; k <= last; ++k) {
    const double v = r.start + k * r.step;
    if (v >= low && v <= high) out.push_back({v, static_cast<long long>(k)});
  }
  if (out.empty())
    throw Failure("no level of the interval " + show(r.step) + " from " + show(r.start) + " lies between " +
                  show(low) + " and " + show(high));
  return out;
}

std::vector<Spaced> even(int count, float low, float high) {
  if (!(low < high)) throw Failure("every value is " + show(low) + ", so no level lies between them; give --levels");
  std::vector<Spaced> out;
  const double span = static_cast<double>(high) - low;
  for (int k = 1; k <= count; ++k) {
    const double v = low + span * k / (count + 1);
    // Levels that single precision cannot tell apart are refused below.
    out.push_back({v, std::nullopt});
  }
  return out;
}

}  // namespace

std::string parse_fixed_levels(const std::string& text, LevelRequest& out) { return parse_list(text, out); }

std::string interval_levels(double step, double offset, LevelRequest& out) {
  if (!(step > 0) || !std::isfinite(step)) return "the interval must be a number above zero";
  if (!std::isfinite(offset)) return "the offset must be a finite number";
  out.kind = LevelRequest::Kind::interval;
  out.step = step;
  out.start = offset;
  return {};
}

std::string even_levels(int64_t count, LevelRequest& out) {
  if (count < 1 || count > kMaxLevels) return "needs N from 1 to " + std::to_string(kMaxLevels);
  out.kind = LevelRequest::Kind::even;
  out.count = static_cast<int>(count);
  return {};
}

std::string parse_level_request(const std::string& text, LevelRequest& out) {
  if (text.find(':') != std::string::npos) return parse_range(text, out);
  if (text.find(',') != std::string::npos) return parse_list(text, out);
  if (!text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    int n = 0;
    std::from_chars(text.data(), text.data() + text.size(), n);
    if (n < 1 || n > kMaxLevels || text.size() > 2)
      return "about N levels needs N from 1 to " + std::to_string(kMaxLevels) + " (one level alone: write " + text +
             ".0)";
    out.kind = LevelRequest::Kind::automatic;
    out.count = n;
    return {};
  }
  return parse_list(text, out);
}

std::vector<Level> make_levels(const LevelRequest& request, float low, float high, int bold_every, bool labelled) {
  std::vector<Spaced> spaced;
  switch (request.kind) {
    case LevelRequest::Kind::automatic:
      spaced = automatic(request.count, low, high);
      break;
    case LevelRequest::Kind::range:
      spaced = range(request);
      break;
    case LevelRequest::Kind::list:
      for (float v : request.list) spaced.push_back({v, std::nullopt});
      break;
    case LevelRequest::Kind::interval:
      spaced = interval(request, low, high);
      break;
    case LevelRequest::Kind::even:
      spaced = even(request.count, low, high);
      break;
  }
  const bool aligned = !spaced.empty() && spaced.front().multiple.has_value();
  std::vector<Level> levels;
  for (size_t k = 0; k < spaced.size(); ++k) {
    const double v = spaced[k].value;
    if (!fits_single(v)) throw Failure("level " + show(v) + " is beyond single precision");
    Level level{static_cast<float>(v), false, labelled};
    if (bold_every > 0) {
      const long long position = aligned ? *spaced[k].multiple : static_cast<long long>(k) + 1;
      level.bold = position % bold_every == 0;
    }
    if (!levels.empty() && !(level.value > levels.back().value))
      throw Failure("levels " + show(levels.back().value) + " and " + show(v) + " are one in single precision");
    levels.push_back(level);
  }
  return levels;
}

}  // namespace convert

// What --levels asks for, and the levels it gives.
#include "levels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "model.h"

namespace {

using convert::Level;
using convert::LevelRequest;

LevelRequest request(const std::string& text) {
  LevelRequest r;
  const std::string why = convert::parse_level_request(text, r);
  EXPECT_EQ(why, "") << text;
  return r;
}

std::vector<float> values(const std::vector<Level>& levels) {
  std::vector<float> v;
  for (const Level& l : levels) v.push_back(l.value);
  return v;
}

std::vector<float> bold_values(const std::vector<Level>& levels) {
  std::vector<float> v;
  for (const Level& l : levels)
    if (l.bold) v.push_back(l.value);
  return v;
}

TEST(LevelRequest, ListsRangesAndCounts) {
  EXPECT_EQ(values(make_levels(request("5,1,2,2"), 0, 1, 0, true)), (std::vector<float>{1, 2, 5}));
  EXPECT_EQ(values(make_levels(request("250:600:50"), 0, 1, 0, true)),
            (std::vector<float>{250, 300, 350, 400, 450, 500, 550, 600}));
  EXPECT_EQ(values(make_levels(request("250:620:50"), 0, 1, 0, true)).back(), 600.0f);
  // The stop is reached although 0.1 is no exact step.
  const std::vector<float> tenths = values(make_levels(request("0:1:0.1"), 0, 1, 0, true));
  ASSERT_EQ(tenths.size(), 11u);
  EXPECT_EQ(tenths[3], 0.3f);
  EXPECT_EQ(tenths[10], 1.0f);
  EXPECT_EQ(values(make_levels(request("-5:-5:1"), 0, 1, 0, true)), (std::vector<float>{-5}));
  EXPECT_EQ(values(make_levels(request("5.0"), 0, 1, 0, true)), (std::vector<float>{5}));
  EXPECT_EQ(values(make_levels(request("-3"), 0, 1, 0, true)), (std::vector<float>{-3}));
  EXPECT_EQ(request("7").count, 7);
  EXPECT_EQ(request("7").kind, LevelRequest::Kind::automatic);
}

TEST(LevelRequest, RefusedTexts) {
  for (const char* text : {"", "0", "50", "100", "1:2", "1:2:3:4", "1:0:1", "1:2:0", "1:2:-1", "a,b", "1,,2", "0:100:1",
                           "x", "1:inf:1", "1e39", "1,2,1e39"}) {
    LevelRequest r;
    EXPECT_NE(convert::parse_level_request(text, r), "") << text;
  }
  std::string fifty;
  for (int k = 1; k <= 50; ++k) fifty += std::to_string(k) + (k < 50 ? "," : "");
  LevelRequest r;
  EXPECT_NE(convert::parse_level_request(fifty, r), "");
}

TEST(AutomaticLevels, RoundStepsStrictlyInsideTheData) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> exponent(-20, 20), unit(-1, 1), share(0.001, 1);
  for (int k = 0; k < 2000; ++k) {
    const double scale = std::pow(10.0, exponent(rng));
    const float low = static_cast<float>(unit(rng) * scale);
    const float high = static_cast<float>(low + share(rng) * scale);
    const int count = 1 + static_cast<int>(rng() % 49);
    LevelRequest r;
    r.count = count;
    const std::vector<Level> levels = make_levels(r, low, high, 0, true);
    ASSERT_FALSE(levels.empty());
    EXPECT_LE(std::abs(static_cast<int>(levels.size()) - count), count / 2 + 1) << low << " " << high << " " << count;
    for (const Level& l : levels) {
      EXPECT_GT(l.value, low);
      EXPECT_LT(l.value, high);
    }
    if (levels.size() < 2) continue;
    // The step is 1, 2, 2.5 or 5 times a power of ten, and each level a
    // whole multiple of it, as far as single precision tells.
    const double step = (static_cast<double>(levels.back().value) - levels.front().value) / (levels.size() - 1);
    const double mantissa = step / std::pow(10.0, std::floor(std::log10(step)));
    bool round = false;
    for (double m : {1.0, 2.0, 2.5, 5.0, 10.0}) round = round || std::fabs(mantissa - m) < 1e-2;
    EXPECT_TRUE(round) << step;
    const double multiple = levels[0].value / step;
    EXPECT_NEAR(multiple, std::round(multiple), 1e-2 * std::max(1.0, std::fabs(multiple))) << step;
  }
  EXPECT_EQ(values(make_levels(LevelRequest{}, 0.5f, 9.7f, 0, true)), (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST(AutomaticLevels, DataWithoutSpreadIsRefused) {
  EXPECT_THROW(make_levels(LevelRequest{}, 3.0f, 3.0f, 0, true), convert::Failure);
  EXPECT_THROW(make_levels(LevelRequest{}, 1.0f, std::nextafter(1.0f, 2.0f), 0, true), convert::Failure);
  // Asked-for levels do not depend on the data.
  EXPECT_EQ(make_levels(request("3.0"), 3.0f, 3.0f, 0, true).size(), 1u);
}

TEST(Levels, BoldOnRoundMultiplesOrByPosition) {
  // Evenly spaced from a multiple of the step: bold at multiples of K steps.
  EXPECT_EQ(bold_values(make_levels(request("250:600:50"), 0, 1, 2, true)), (std::vector<float>{300, 400, 500, 600}));
  EXPECT_EQ(bold_values(make_levels(request("-5:5:2.5"), 0, 1, 2, true)), (std::vector<float>{-5, 0, 5}));
  LevelRequest automatic;
  EXPECT_EQ(bold_values(make_levels(automatic, 0.5f, 9.7f, 5, true)), (std::vector<float>{5}));
  // A range off the step's multiples, and a list: the K-th, 2K-th, ...
  EXPECT_EQ(bold_values(make_levels(request("0.3:1.3:0.2"), 0, 1, 2, true)), (std::vector<float>{0.5f, 0.9f, 1.3f}));
  EXPECT_EQ(bold_values(make_levels(request("1,2,4,8,16"), 0, 1, 2, true)), (std::vector<float>{2, 8}));
  EXPECT_TRUE(bold_values(make_levels(request("1,2,4"), 0, 1, 0, true)).empty());
  for (const Level& l : make_levels(request("1,2"), 0, 1, 1, false)) {
    EXPECT_TRUE(l.bold);
    EXPECT_FALSE(l.labelled);
  }
}

TEST(Levels, StepsSinglePrecisionCannotTellApartAreRefused) {
  EXPECT_THROW(make_levels(request("1:1.0000001:0.00000001"), 0, 1, 0, true), convert::Failure);
}

}  // namespace

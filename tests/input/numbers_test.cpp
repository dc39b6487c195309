// The number syntax: str2d, read_real and parse_index.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <random>
#include <optional>
#include <string>

#include "default_objects.h"
#include "read_helper.h"

namespace {

TEST(Str2d, Values) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"12", 12},      {"-1.5", -1.5}, {"1.5e3", 1500}, {"1.5D3", 1500}, {"1.5d+3", 1500}, {"1e", 1},
      {"--5", 0},      {"1-2", 1},     {"+7", 7},       {".5", 0.5},     {"5.", 5},        {"", 0},
      {"-", 0},        {"e5", 0},      {" 4\t", 4},     {"+-5", 0},      {"2E0", 2},       {"0.000", 0},
  };
  for (const auto& c : cases) {
    double v = -99;
    EXPECT_EQ(str2d(c.text, &v), 0) << c.text;
    EXPECT_EQ(v, c.value) << c.text;
  }
}

TEST(Str2d, ExponentIsOneMultiplicationAtATime) {
  double v;
  ASSERT_EQ(str2d("2e-3", &v), 0);
  EXPECT_EQ(v, 2.0 * 0.1 * 0.1 * 0.1);
  EXPECT_NE(v, 0.002);
  ASSERT_EQ(str2d("-3.7e21", &v), 0);
  double want = -3.7;
  for (int i = 0; i < 21; ++i) want *= 10.0;
  EXPECT_EQ(v, want);
}

TEST(Str2d, HugeExponentsEndAtInfinityOrZeroQuickly) {
  auto start = std::chrono::steady_clock::now();
  double v;
  ASSERT_EQ(str2d("1e99999999999999", &v), 0);
  EXPECT_TRUE(std::isinf(v) && v > 0);
  ASSERT_EQ(str2d("-1e99999999999999", &v), 0);
  EXPECT_TRUE(std::isinf(v) && v < 0);
  ASSERT_EQ(str2d("5e-99999999999999", &v), 0);
  EXPECT_EQ(v, 0.0);
  ASSERT_EQ(str2d("0e99999999999999", &v), 0);
  EXPECT_EQ(v, 0.0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
}

// The diagnostics in code page 932 (their own text) under a plain locale,
// and in UTF-8 under a UTF-8 one, so that a terminal shows the Japanese.
class Diagnostics : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* all = std::getenv("LC_ALL");
    saved_ = all != nullptr ? std::optional<std::string>(all) : std::nullopt;
    setenv("LC_ALL", "C", 1);
  }
  void TearDown() override {
    if (saved_) setenv("LC_ALL", saved_->c_str(), 1);
    else unsetenv("LC_ALL");
  }

 private:
  std::optional<std::string> saved_;
};

TEST_F(Diagnostics, ReachStandardErrorInTheLocalesCharacterSet) {
  double v;
  testing::internal::CaptureStderr();
  EXPECT_EQ(str2d("1e2e3", &v), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            testing_support::cp932(u8"(str2d)文字列1e2e3が浮動小数点数ではありません。\n"));
  setenv("LC_ALL", "C.UTF-8", 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(str2d("1e2e3", &v), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), u8"(str2d)文字列1e2e3が浮動小数点数ではありません。\n");
  const std::string long_text(31, '2');
  testing::internal::CaptureStderr();
  EXPECT_EQ(str2d(long_text.c_str(), &v), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), u8"(str2d)文字列" + long_text + u8"が長すぎます。\n");
}

TEST_F(Diagnostics, InvalidTextsAndTheirDiagnostics) {
  for (const char* text : {"1.2.3", "1e2e3", "1e2.5", "1e+-2", "1e--2", "1e++2", "abc", "1x", "---1", "1,5", "inf",
                           "0x10", "1e 2"}) {
    double v = 42;
    testing::internal::CaptureStderr();
    EXPECT_EQ(str2d(text, &v), -1) << text;
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              testing_support::cp932(u8"(str2d)文字列" + std::string(text) + u8"が浮動小数点数ではありません。\n"));
    EXPECT_EQ(v, 42) << text;
  }
  const std::string long_text(30, '1');
  double v;
  testing::internal::CaptureStderr();
  EXPECT_EQ(str2d(long_text.c_str(), &v), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            testing_support::cp932(u8"(str2d)文字列" + long_text + u8"が長すぎます。\n"));
  EXPECT_EQ(str2d(long_text.substr(1).c_str(), &v), 0);
}

TEST(Str2d, MantissaIsCorrectlyRounded) {
  // Against the C library's conversion on random decimal texts.
  std::mt19937 rng(7);
  for (int n = 0; n < 20000; ++n) {
    // Up to 21 digits: past 19, or a mantissa from 2^53, the general path.
    std::string text = (rng() % 3 == 0) ? "-" : (rng() % 2) ? "+" : "";
    int digits = 1 + static_cast<int>(rng() % 21);
    int point = static_cast<int>(rng() % (digits + 1));
    for (int d = 0; d < digits; ++d) {
      if (d == point) text += '.';
      text += static_cast<char>('0' + rng() % 10);
    }
    double v;
    ASSERT_EQ(str2d(text.c_str(), &v), 0) << text;
    ASSERT_EQ(v, std::strtod(text.c_str(), nullptr)) << text;
  }
}

TEST(ReadReal, RefusesWhatSinglePrecisionCannotHold) {
  double v;
  EXPECT_TRUE(read_real("3.4028235e38", &v));  // rounds to the largest float
  EXPECT_FALSE(read_real("3.4028236e38", &v));  // rounds to infinity
  EXPECT_FALSE(read_real("1e39", &v));
  EXPECT_FALSE(read_real("-1e400", &v));
  EXPECT_TRUE(read_real("1e-50", &v));  // underflows to zero, which is finite
  EXPECT_FALSE(read_real("x", &v));
}

TEST(ParseIndex, LikeTheCLibraryButNeverOverflowing) {
  const struct {
    const char* text;
    int32_t value;
  } cases[] = {
      {"12", 12},          {"2.7", 2},         {"-3", -3},          {"+4", 4},
      {"a1", 0},           {"", 0},            {"*end", 0},         {"1e5", 1},
      {"2147483647", INT32_MAX}, {"99999999999999999", INT32_MAX}, {"-99999999999999999", INT32_MIN},
      {"-2147483648", INT32_MIN}, {"--1", 0},
      {"999999999", 999999999},  {"1234567890", 1234567890}, {"000000000012", 12}, {"12abc", 12},
      {" 7", 7},                 {"\t-8", -8},               {"4294967297", INT32_MAX},
  };
  for (const auto& c : cases) EXPECT_EQ(parse_index(c.text), c.value) << c.text;
}

}  // namespace

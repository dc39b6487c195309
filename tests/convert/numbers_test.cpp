// Numbers written for the reader, and numbers read from source files.
#include "numbers.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "default_objects.h"

namespace {

using convert::format_real;
using convert::parse_real;
using convert::Parsed;

// v written, then read as the reader does: its number parser, then single
// precision. Checks the token fits a real field.
void expect_round_trip(float v) {
  char text[convert::kRealBufferSize];
  const int n = format_real(v, text);
  ASSERT_EQ(static_cast<size_t>(n), std::strlen(text));
  ASSERT_LE(n, convert::kMaxRealChars) << text;
  double d = 0;
  ASSERT_TRUE(read_real(text, &d)) << text;  // str2d, and finite in single precision
  ASSERT_EQ(static_cast<float>(d), v) << text << " for " << v;
}

std::string formatted(float v) {
  char text[convert::kRealBufferSize];
  format_real(v, text);
  return text;
}

TEST(FormatReal, EveryKindOfFloatReadsBackExactly) {
  const float edge_values[] = {0.0f,           -0.0f,         1.0f,          -1.0f,        0.1f,     1e-30f,
                               3e20f,          FLT_MAX,       -FLT_MAX,      FLT_MIN,      -FLT_MIN, FLT_TRUE_MIN,
                               16777216.0f,    16777215.0f,   1e17f,         9.999999e17f, 1.5e18f,  123456.79f,
                               0.00012345678f, 3.4028235e38f, 1.1754942e-38f};
  for (float v : edge_values) expect_round_trip(v);
  // Every exponent, random mantissas: all bit patterns that are finite.
  std::mt19937 rng(15);
  for (int k = 0; k < 300000; ++k) {
    uint32_t bits = rng();
    float v;
    std::memcpy(&v, &bits, sizeof v);
    if (!std::isfinite(v)) continue;
    expect_round_trip(v);
    if (testing::Test::HasFatalFailure()) return;
  }
  // Values near the round ones data usually holds.
  std::uniform_real_distribution<double> decimal(-1000.0, 1000.0);
  for (int k = 0; k < 100000; ++k) {
    expect_round_trip(static_cast<float>(std::round(decimal(rng) * 1000.0) / 1000.0));
    if (testing::Test::HasFatalFailure()) return;
  }
}

TEST(FormatReal, PlainDecimalsWhenTheyFitAndTheFewestDigits) {
  EXPECT_EQ(formatted(0.1f), "0.1");
  EXPECT_EQ(formatted(-2.5f), "-2.5");
  EXPECT_EQ(formatted(300.0448f), "300.0448");
  EXPECT_EQ(formatted(250.0f), "250");
  EXPECT_EQ(formatted(-0.0f), "0");
  EXPECT_EQ(formatted(1e17f), "100000000000000000");  // 18 characters
  EXPECT_EQ(formatted(0.000001f), "0.000001");
  EXPECT_EQ(formatted(1.2345678e-9f), "0.0000000012345678");
  // Beyond 18 characters a plain decimal would be cut by the reader.
  EXPECT_EQ(formatted(1e20f), "1e20");
  EXPECT_EQ(formatted(-1.5e-30f), "-1.5e-30");
}

TEST(ParseReal, NumbersOfSourceFiles) {
  const struct {
    const char* text;
    float value;
  } good[] = {{"12", 12.0f},    {"-1.5", -1.5f}, {"+2.5e-3", 2.5e-3f}, {".5", 0.5f}, {"5.", 5.0f},
              {"1E3", 1000.0f}, {"0.1", 0.1f},   {"1e-50", 0.0f},      {"-0", -0.0f}};
  for (const auto& c : good) {
    float v = -99;
    EXPECT_EQ(parse_real(c.text, v), Parsed::ok) << c.text;
    EXPECT_EQ(v, c.value) << c.text;
  }
  float v;
  ASSERT_EQ(parse_real("-1e-50", v), Parsed::ok);
  EXPECT_TRUE(std::signbit(v));
  for (const char* text :
       {"", "+", "-", "abc", "1.2.3", "inf", "-inf", "nan", "NaN", "0x10", "1,5", " 1", "1 ", "+-1", "1e", "e5", "1d3"})
    EXPECT_EQ(parse_real(text, v), Parsed::not_number) << '"' << text << '"';
  for (const char* text : {"1e-400", "-1e-99999", "0.0000000000000000000000000000000000000000000001"}) {
    ASSERT_EQ(parse_real(text, v), Parsed::ok) << text;
    EXPECT_EQ(v, 0.0f) << text;
  }
  for (const char* text : {"1e39", "-3.5e38", "1e400", "-1e99999"})
    EXPECT_EQ(parse_real(text, v), Parsed::out_of_range) << text;
}

TEST(ParseReal, RoundsOnceStraightToSinglePrecision) {
  // Just above the midpoint between 1 and the next float: rounding to
  // double first would land on the midpoint and then round down to 1.
  float v;
  ASSERT_EQ(parse_real("1.00000005960464477539062500001", v), Parsed::ok);
  EXPECT_EQ(v, std::nextafter(1.0f, 2.0f));
}

TEST(ParseInteger, WholeNumbersOnly) {
  int64_t n;
  ASSERT_TRUE(convert::parse_integer("+42", n));
  EXPECT_EQ(n, 42);
  ASSERT_TRUE(convert::parse_integer("-7", n));
  EXPECT_EQ(n, -7);
  for (const char* text : {"", "+", "1.0", "1e3", "12a", "99999999999999999999"})
    EXPECT_FALSE(convert::parse_integer(text, n)) << text;
}

}  // namespace

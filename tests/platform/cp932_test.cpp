// The code page 932 module: the lead-byte rule, cutting to a byte count,
// both ways of decoding bytes that are not code page 932, encoding, and the
// decoder against iconv run over the whole text as the display list's replay
// always ran it (the module keeps iconv's answers per character, so every
// pair must come out as iconv says).
#include "cp932.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "test_support.h"

namespace {

using testing_support::cp932;
using testing_support::utf8_with_replacements;

TEST(Cp932, LeadBytesAndFitting) {
  for (int b = 0; b < 256; ++b) {
    const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    EXPECT_EQ(cp932::is_lead(static_cast<unsigned char>(b)), lead) << b;
  }
  const std::string a = cp932(u8"あ");
  const struct {
    std::string text;
    std::size_t limit;
    std::size_t fits;
  } cases[] = {
      {"abc", 5, 3},           {"abc", 2, 2},          {"abc", 0, 0},
      {a + a, 3, 2},           {a + a, 4, 4},          {"x" + a, 2, 1},
      {"x" + a + "y", 3, 3},   {"ab\x82", 2, 2},       {"a\x82", 1, 1},  // a lone lead byte at the end is one byte
      {a + "\x82", 3, 3},      {"\xB1\xB2\xB3", 2, 2},  // half-width katakana: one byte each
  };
  for (const auto& c : cases)
    EXPECT_EQ(cp932::fit(c.text.data(), c.text.size(), c.limit), c.fits) << c.text << " in " << c.limit;
}

TEST(Cp932, DecodesWithEitherReplacement) {
  const struct {
    std::string bytes;
    std::string replaced;  // Invalid::kReplacement
    std::string drawn;     // Invalid::kAsDrawn
  } cases[] = {
      {"plain 1.5", "plain 1.5", "plain 1.5"},
      {cp932(u8"等高線図"), u8"等高線図", u8"等高線図"},
      {"\x5C\x7E", "\\~", "\\~"},                          // the backslash and tilde as ASCII
      {"\xB1\xDF", u8"ｱﾟ", u8"ｱﾟ"},                        // half-width katakana
      {"\x87\x40\xFA\x40", u8"①ⅰ", u8"①ⅰ"},             // the Windows extensions
      {std::string("a\0b", 3), std::string("a\0b", 3), std::string("a\0b", 3)},
      {"\x80\xA0\xFD\xFE\xFF", u8"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD", "?????"},
      {"A\x82", u8"A\uFFFD", "A?"},                        // lead byte cut off
      {"\x82\x30" "A", u8"\uFFFD0A", "?0A"},               // 0x30 cannot trail
      {"\x85\x40" "A", u8"\uFFFD@A", "?A"},                // an unassigned pair
      {"\xFC\xFC", u8"\uFFFD\uFFFD", "?"},                 // so is this one
  };
  for (const auto& c : cases) {
    EXPECT_EQ(cp932::to_utf8(c.bytes), c.replaced) << c.bytes;
    EXPECT_EQ(cp932::to_utf8(c.bytes, cp932::Invalid::kAsDrawn), c.drawn) << c.bytes;
  }
  EXPECT_EQ(cp932::to_utf32(cp932(u8"値 = 1") + "\x80"), U"値 = 1\uFFFD");
  std::size_t used = 0;
  EXPECT_EQ(cp932::next_char("\x82\xA0z", &used, cp932::Invalid::kReplacement), U'あ');
  EXPECT_EQ(used, 2u);
}

TEST(Cp932, DecodesAsIconvDoes) {
  // Every byte pair, then random texts heavy in lead bytes.
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      const std::string bytes{static_cast<char>(a), static_cast<char>(b)};
      ASSERT_EQ(cp932::to_utf8(bytes), utf8_with_replacements(bytes)) << a << " " << b;
    }
  }
  std::mt19937 rng(932);
  for (int n = 0; n < 2000; ++n) {
    std::string bytes(rng() % 24, '\0');
    for (char& c : bytes) c = static_cast<char>(rng() % 3 == 0 ? 0x81 + rng() % 0x7C : rng() % 256);
    ASSERT_EQ(cp932::to_utf8(bytes), utf8_with_replacements(bytes)) << n;
  }
}

TEST(Cp932, EncodesOrSaysWhereItCannot) {
  const struct {
    std::string utf8;
    bool whole;
    std::string out;       // all of it, or what came before the failure
    std::size_t failed_at;
  } cases[] = {
      {u8"ｶﾀｶﾅ and 漢字", true, cp932(u8"ｶﾀｶﾅ and 漢字"), 0},
      {"", true, "", 0},
      {u8"ab€c", false, "ab", 2},                       // the euro sign is not in the code page
      {u8"値😀", false, cp932(u8"値"), 3},
      {"ab\xC3", false, "ab", 2},                       // cut short
      {"a\xFF" "b", false, "a", 1},                      // not UTF-8
  };
  for (const auto& c : cases) {
    std::string out = "stale";
    std::size_t at = 0;
    EXPECT_EQ(cp932::from_utf8(c.utf8, &out, &at), c.whole) << c.utf8;
    EXPECT_EQ(out, c.out) << c.utf8;
    if (!c.whole) {
      EXPECT_EQ(at, c.failed_at) << c.utf8;
    }
  }

  std::string out;
  EXPECT_TRUE(cp932::to_charset(cp932(u8"あ1"), "UTF-8", &out));
  EXPECT_EQ(out, u8"あ1");
  EXPECT_TRUE(cp932::to_charset(cp932(u8"あ"), "EUC-JP", &out));
  EXPECT_EQ(out, "\xA4\xA2");
  EXPECT_FALSE(cp932::to_charset("ok\x80", "UTF-8", &out));  // all or nothing
  EXPECT_EQ(out, "");
  EXPECT_FALSE(cp932::to_charset(cp932(u8"あ"), "ISO-8859-1", &out));
  EXPECT_FALSE(cp932::to_charset("a", "NO-SUCH-CHARSET", &out));
  EXPECT_TRUE(cp932::available());
}

}  // namespace

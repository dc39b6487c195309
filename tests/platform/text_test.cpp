// TextOutA: code page 932 text placed with the top-left of its cell at the
// point, antialiased (coverage blended between the text colour and what is
// there, interiors exactly the text colour), full-width characters twice as
// wide as half-width ones, bad bytes harmless.
#include <fontconfig/fontconfig.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>

#include "surface_fixture.h"
#include "test_support.h"

namespace {

using surface_test::kBackground;
using testing_support::cp932;

constexpr COLORREF kGrey = RGB(100, 100, 100);
constexpr COLORREF kWhite = RGB(255, 255, 255);

struct Ink {
  int count = 0;  // pixels the text changed
  int exact = 0;  // of them, those exactly in the text colour
  int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;  // inclusive, of the changed ones
  int other = 0;  // changed pixels that are no blend of the paper and the text colour
};

// Channel `shift` of a COLORREF.
int channel(COLORREF c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

// The colour a pixel of the given coverage (0 to 255) gets: each channel
// (coverage x ink + (255 - coverage) x paper) / 255, rounded.
COLORREF blended(COLORREF ink, COLORREF paper, int coverage) {
  COLORREF out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const int v = (coverage * channel(ink, shift) + (255 - coverage) * channel(paper, shift) + 127) / 255;
    out |= static_cast<COLORREF>(v) << shift;
  }
  return out;
}

// Whether c is what some coverage makes of ink over paper.
bool is_blend(COLORREF c, COLORREF ink, COLORREF paper) {
  for (int coverage = 0; coverage <= 255; ++coverage)
    if (blended(ink, paper, coverage) == c) return true;
  return false;
}

class Text : public surface_test::Surface {
 protected:
  void SetUp() override { make(300, 80); }

  // A font as the plot makes it: cell height in pixels, fixed-pitch gothic.
  HFONT gothic(int height, const char* face_utf8 = u8"ＭＳ ゴシック") {
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfCharSet = SHIFTJIS_CHARSET;
    lf.lfOutPrecision = OUT_TT_PRECIS;
    lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    const std::string face = cp932(face_utf8);
    std::memcpy(lf.lfFaceName, face.data(), face.size());
    return CreateFontIndirectA(&lf);
  }

  void use_font(int height, const char* face_utf8 = u8"ＭＳ ゴシック") {
    HFONT f = gothic(height, face_utf8);
    ASSERT_NE(f, nullptr);
    SelectObject(dc_, f);
    DeleteObject(f);  // freed when deselected
  }

  // Fills the surface with the plot's grey and draws the text in white.
  Ink draw(const std::string& bytes, int x, int y, COLORREF paper = kGrey, COLORREF ink = kWhite) {
    paint(paper);
    SetTextColor(dc_, ink);
    EXPECT_TRUE(TextOutA(dc_, x, y, bytes.data(), static_cast<int>(bytes.size())));
    return ink_of(paper, ink);
  }

  Ink ink_of(COLORREF paper, COLORREF ink) const {
    Ink r;
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        const COLORREF c = GetPixel(dc_, x, y);
        if (c == paper) continue;
        if (c == ink) ++r.exact;
        else if (!is_blend(c, ink, paper)) ++r.other;
        ++r.count;
        r.left = std::min(r.left, x);
        r.right = std::max(r.right, x);
        r.top = std::min(r.top, y);
        r.bottom = std::max(r.bottom, y);
      }
    }
    return r;
  }

  // How far the second of two equal characters is drawn from the first.
  int advance_of(const std::string& one) {
    const Ink single = draw(one, 10, 10);
    const Ink twice = draw(one + one, 10, 10);
    return twice.right - single.right;
  }

  std::vector<uint32_t> pixels() const {
    int w, h;
    const uint32_t* bits = GetSurfaceBits(dc_, &w, &h);
    return std::vector<uint32_t>(bits, bits + w * h);
  }
};

TEST_F(Text, TextLandsInsideItsCellInBlendsOfTheTextColour) {
  const struct {
    const char* name;
    std::string bytes;
    int height;
    int chars_wide;  // in half-width cells
    bool solid;      // strokes of a pixel or more, so some pixels are fully covered
  } cases[] = {
      {"label", "12.50", 10, 5, true},
      {"small exponent label", "5.000e-002", 10, 10, true},
      {"title at 8", "Plate 1", 8, 7, false},
      {"title at 20", "Isovar 12", 20, 9, true},
      {"kanji", cp932(u8"等高線図"), 10, 8, false},
      {"kana title at 20", cp932(u8"タイトル"), 20, 8, true},
      {"half-width katakana", cp932(u8"ｶﾀｶﾅ"), 20, 4, true},
      {"mixed", cp932(u8"値 = 1.5"), 8, 8, false},
  };
  for (const auto& c : cases) {
    use_font(c.height);
    const int x = 40, y = 30;
    const Ink ink = draw(c.bytes, x, y);
    if (c.solid) {
      EXPECT_GT(ink.exact, 0) << c.name << ": fully covered pixels take the text colour";
    }
    EXPECT_EQ(ink.other, 0) << c.name << ": only blends of paper and text colour are painted";
    EXPECT_GE(ink.left, x) << c.name;
    EXPECT_GE(ink.top, y) << c.name;
    // Edges of descending strokes may touch the row under the cell faintly.
    EXPECT_LE(ink.bottom, y + c.height) << c.name;
    EXPECT_LT(ink.right, x + c.chars_wide * c.height / 2 + 1) << c.name;
    // The glyphs fill a good part of the cell, so the height is the cell's.
    EXPECT_GE(ink.bottom - ink.top + 1, c.height / 2) << c.name;
  }
}

TEST_F(Text, CoverageBlendsTheTextColourOverWhatIsThere) {
  // White on black paints each pixel's coverage itself; any colour on any
  // paper must then be coverage x text + (1 - coverage) x paper, per channel.
  for (int height : {10, 20, 40}) {
    use_font(height);
    const std::string text = cp932(u8"900.00 S40 値");
    draw(text, 5, 5, RGB(0, 0, 0), kWhite);
    const std::vector<uint32_t> coverage = pixels();
    const COLORREF paper = RGB(100, 150, 30), ink = RGB(250, 20, 140);
    draw(text, 5, 5, paper, ink);
    const std::vector<uint32_t> painted = pixels();
    int full = 0, partial = 0;
    for (size_t i = 0; i < coverage.size(); ++i) {
      const int c = static_cast<int>(coverage[i] & 0xFF);
      ASSERT_EQ(coverage[i], 0x010101u * static_cast<uint32_t>(c)) << "white on black is grey";
      const COLORREF expected = blended(ink, paper, c);
      const COLORREF got = ((painted[i] & 0xFF) << 16) | (painted[i] & 0xFF00) | ((painted[i] >> 16) & 0xFF);
      ASSERT_EQ(got, expected) << "pixel " << i << " of coverage " << c << " at height " << height;
      full += c == 255;
      partial += c > 0 && c < 255;
    }
    // Antialiased: partly covered edges, and interiors in the exact colour.
    EXPECT_GT(partial, 0) << height;
    EXPECT_GT(full, 0) << height;
  }
}

TEST_F(Text, InteriorsOfLargeGlyphsAreExactlyTheTextColour) {
  make(200, 120);
  use_font(100);
  const Ink ink = draw("8", 10, 10, kGrey, RGB(10, 200, 60));
  EXPECT_EQ(ink.other, 0);
  // Strokes some ten pixels wide: most of a stroke is interior, edges are
  // a pixel of blend on each side.
  EXPECT_GT(ink.exact, ink.count / 2);
}

TEST_F(Text, FullWidthCharactersAdvanceTwiceAsFar) {
  for (int height : {8, 10, 20}) {
    use_font(height);
    const int digit = advance_of("0");
    const int kanji = advance_of(cp932(u8"値"));
    const int katakana = advance_of(cp932(u8"ｱ"));
    const int letter = advance_of("W");
    EXPECT_GT(digit, 0) << height;
    EXPECT_EQ(kanji, 2 * digit) << height;
    EXPECT_EQ(katakana, digit) << height;
    EXPECT_EQ(letter, digit) << height << ": a fixed-pitch face";
  }
}

TEST_F(Text, TextStartsAtItsPointAndOnlyThere) {
  use_font(10);
  const Ink a = draw("8", 50, 20);
  const Ink b = draw("8", 53, 27);
  EXPECT_EQ(b.left - a.left, 3);
  EXPECT_EQ(b.top - a.top, 7);
  EXPECT_EQ(b.count, a.count);
}

TEST_F(Text, LengthCountsBytesNotTheTerminator) {
  use_font(10);
  draw("12", 10, 10);
  const std::vector<uint32_t> two = pixels();
  draw("12.50", 10, 10);
  const std::vector<uint32_t> five = pixels();
  // Only the first two bytes of "12.50".
  draw("", 0, 0);
  SetTextColor(dc_, kWhite);
  EXPECT_TRUE(TextOutA(dc_, 10, 10, "12.50", 2));
  EXPECT_EQ(pixels(), two);
  EXPECT_NE(two, five);
  EXPECT_TRUE(TextOutA(dc_, 10, 10, "12.50", 0));
  EXPECT_EQ(pixels(), two);
  EXPECT_FALSE(TextOutA(dc_, 10, 10, "12.50", -1));
  EXPECT_FALSE(TextOutA(dc_, 10, 10, nullptr, 3));
  EXPECT_TRUE(TextOutA(dc_, 10, 10, nullptr, 0));
}

TEST_F(Text, OpaqueModeFillsTheCellWhiteFirst) {
  use_font(10);
  SetBkMode(dc_, OPAQUE);
  const Ink ink = draw("12.50", 40, 30, kGrey, RGB(0, 0, 0));
  EXPECT_EQ(SetBkMode(dc_, TRANSPARENT), OPAQUE);
  // Five half-width cells of 10 pixels: 25 x 10 pixels, black over white.
  for (int y = 30; y < 40; ++y) {
    for (int x = 40; x < 65; ++x) {
      const COLORREF c = GetPixel(dc_, x, y);
      EXPECT_TRUE(is_blend(c, RGB(0, 0, 0), kWhite)) << x << ", " << y;
    }
  }
  EXPECT_GT(ink.exact, 0);
  EXPECT_EQ(GetPixel(dc_, 39, 35), kGrey);
  EXPECT_EQ(GetPixel(dc_, 65, 35), kGrey);
  EXPECT_EQ(GetPixel(dc_, 50, 29), kGrey);
  EXPECT_EQ(GetPixel(dc_, 50, 40), kGrey);
  // Transparent (the default) leaves the paper between the glyphs.
  const Ink plain = draw("12.50", 40, 30, kGrey, RGB(0, 0, 0));
  EXPECT_EQ(plain.exact, ink.exact);
  EXPECT_EQ(plain.other, 0);
}

TEST_F(Text, BadBytesAreDrawnAsQuestionMarks) {
  use_font(10);
  draw("?", 10, 10);
  const std::vector<uint32_t> question = pixels();
  const std::string bad[] = {
      "\x80", "\xA0", "\xFD", "\xFF",
      "\x81",      // a lead byte at the end
      "\x81 ",     // a lead byte before a byte that cannot trail (and a blank)
      "\x85\x40",  // a pair the code page leaves unassigned
  };
  for (const std::string& b : bad) {
    draw(b, 10, 10);
    EXPECT_EQ(pixels(), question) << std::hex << int(static_cast<unsigned char>(b[0]));
  }
  // A lead byte before a character that cannot trail it takes nothing with it.
  draw("?A", 10, 10);
  const std::vector<uint32_t> question_a = pixels();
  draw("\xFC\x30" "A", 10, 10);  // 0x30 cannot trail: "?0A"
  draw("?0A", 10, 10);
  const std::vector<uint32_t> question_zero_a = pixels();
  draw("\xFC\x30" "A", 10, 10);
  EXPECT_EQ(pixels(), question_zero_a);
  draw("\x81" "A", 10, 10);
  EXPECT_NE(pixels(), question_a) << "0x81 0x41 is one character";
  // Random bytes never crash and paint only the text colour.
  std::mt19937 rng(99);
  for (int i = 0; i < 300; ++i) {
    std::string s(1 + i % 40, '\0');
    for (char& ch : s) ch = static_cast<char>(rng());
    const Ink ink = draw(s, static_cast<int>(rng() % 300) - 20, static_cast<int>(rng() % 80) - 10);
    EXPECT_EQ(ink.other, 0);
  }
}

TEST_F(Text, TextIsClippedAnywhereInInt32) {
  use_font(20);
  const std::string title = cp932(u8"等高線図 Isovar");
  const int points[][2] = {{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}, {INT_MIN, 30}, {INT_MAX, 30},
                           {30, INT_MIN},      {30, INT_MAX},      {-5, -5},       {290, 70}};
  for (const auto& p : points) {
    const Ink ink = draw(title, p[0], p[1]);
    EXPECT_EQ(ink.other, 0);
  }
  const Ink cut = draw(title, -25, -8);  // the first character partly visible
  EXPECT_GT(cut.count, 0);
  EXPECT_EQ(cut.left, 0);
  EXPECT_EQ(cut.top, 0);
}

TEST_F(Text, EveryFontDraws) {
  // The default font of a new context.
  make(300, 80);
  EXPECT_GT(draw(cp932(u8"Isovar値の表示点の数が多すぎます"), 10, 10).count, 0);
  // A face nobody has, a proportional request, odd heights.
  const struct {
    const char* face;
    LONG height;
    BYTE pitch;
  } fonts[] = {{"No Such Face", 12, FIXED_PITCH | FF_MODERN}, {"", 12, 0},
               {"", 0, 0},  {"", -12, 0},
               {"", 1, 0},  {"Arial", 30, 0}};
  for (const auto& f : fonts) {
    LOGFONTA lf{};
    lf.lfHeight = f.height;
    lf.lfPitchAndFamily = f.pitch;
    std::strncpy(lf.lfFaceName, f.face, LF_FACESIZE - 1);
    HFONT font = CreateFontIndirectA(&lf);
    HGDIOBJ old = SelectObject(dc_, font);
    const Ink ink = draw(cp932(u8"値 12.5"), 10, 10);
    if (f.height == 0 || std::abs(f.height) >= 8) {
      EXPECT_GT(ink.count, 0) << f.face << " " << f.height;
    }
    EXPECT_EQ(ink.other, 0);
    SelectObject(dc_, old);
    DeleteObject(font);
  }
}

TEST_F(Text, HugeFontsDrawInsideTheirCell) {
  make(900, 900);
  for (int height : {200, 500, 5000}) {
    use_font(height);
    const Ink ink = draw(cp932(u8"値"), 0, 0);
    EXPECT_GT(ink.count, 0) << height;
    EXPECT_LT(ink.bottom, std::min(height, 1000)) << height;
  }
}

TEST_F(Text, GlyphsComeOutTheSameAfterTheCacheFills) {
  use_font(10);
  const std::string sample = cp932(u8"値12.50ｶﾀ");
  draw(sample, 10, 10);
  const std::vector<uint32_t> before = pixels();
  // Thousands of distinct kanji overflow the glyph cache at least once.
  std::string all;
  for (int lead = 0x88; lead <= 0x9F; ++lead) {
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      all += static_cast<char>(lead);
      all += static_cast<char>(trail);
    }
  }
  EXPECT_GT(all.size() / 2, 4096u);
  for (size_t at = 0; at < all.size(); at += 40) {  // 20 characters fit the surface
    draw(all.substr(at, 40), 0, 0);
  }
  draw(sample, 10, 10);
  EXPECT_EQ(pixels(), before);
}

// A proportional Latin font, found the way a user would look it up.
std::string proportional_font_file() {
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("DejaVu Sans"));
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  std::string file;
  FcChar8* family = nullptr;
  FcChar8* path = nullptr;
  int spacing = FC_PROPORTIONAL;
  if (match != nullptr && FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch &&
      FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch &&
      std::string(reinterpret_cast<char*>(family)) == "DejaVu Sans") {
    FcPatternGetInteger(match, FC_SPACING, 0, &spacing);
    if (spacing == FC_PROPORTIONAL) file = reinterpret_cast<char*>(path);
  }
  if (match != nullptr) FcPatternDestroy(match);
  return file;
}

TEST_F(Text, IsovarFontNamesTheFontFileOfNewFonts) {
  const std::string file = proportional_font_file();
  if (file.empty()) GTEST_SKIP() << "DejaVu Sans is not installed";
  ASSERT_EQ(setenv("ISOVAR_FONT", file.c_str(), 1), 0);
  use_font(20);
  EXPECT_LT(advance_of("i"), advance_of("W")) << "the proportional font is used";
  // A path that is no font falls back to the Japanese gothic.
  testing_support::TempDir dir;
  testing_support::write_file(dir.file("not-a-font.ttf"), "no font here");
  for (const std::string& bad : {dir.file("not-a-font.ttf"), dir.file("missing.ttf")}) {
    ASSERT_EQ(setenv("ISOVAR_FONT", bad.c_str(), 1), 0);
    use_font(20);
    EXPECT_EQ(advance_of("i"), advance_of("W")) << bad;
    EXPECT_EQ(advance_of(cp932(u8"値")), 2 * advance_of("0")) << bad;
  }
  unsetenv("ISOVAR_FONT");
}

}  // namespace

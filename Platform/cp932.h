// Code page 932 (Japanese Shift JIS as Windows extends it): the lead-byte
// rule, cutting to a byte count, decoding to UTF-8 and UTF-32, encoding from
// UTF-8. The one place of the project that converts this code page; iconv
// knows the characters.
//
// A character is one byte (ASCII 0x00-0x7F, half-width katakana 0xA1-0xDF)
// or two: a lead byte (0x81-0x9F, 0xE0-0xFC) and a trail byte (0x40-0xFC
// except 0x7F). Bytes that start no character are 0x80, 0xA0, 0xFD-0xFF, a
// lead byte without a trail byte after it, and a lead byte whose pair the
// code page leaves unassigned.
//
// Every function may be called from any thread at any time. Decoding asks
// iconv about each byte pair once per process and keeps the answer, so
// decoding text already seen costs no more than a table look-up per
// character; encoding opens a converter per call.
//
// Linked into every target of the build tree that links the drawing layer
// (and into the print replay), each binary with its own copy: nothing of it
// is exported from a shared library.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace cp932 {

// Whether b starts a two-byte character.
bool is_lead(unsigned char b);

// Whether b can follow a lead byte.
bool is_trail(unsigned char b);

// The length of the longest prefix of text[0 .. len) made of whole
// characters that fits in limit bytes: a two-byte character is never cut.
// A lead byte at the very end counts as a character of one byte. Looks at
// lead bytes only: it does not check that a pair is assigned.
std::size_t fit(const char* text, std::size_t len, std::size_t limit);

// What a decoder makes of bytes that start no character.
enum class Invalid {
  // U+FFFD for each such byte, and decoding goes on with the next byte (so a
  // lead byte of an unassigned pair is U+FFFD and its second byte is decoded
  // on its own). What iconv gives when told to skip what it cannot convert.
  kReplacement,
  // '?' for each such byte, except that a lead byte followed by a trail byte
  // is always taken with it, an unassigned pair making one '?'. What the
  // drawing surface paints.
  kAsDrawn,
};

// The character at the start of text (not empty): its code point, and its
// length in bytes (1 or 2) in *used; for a byte that starts no character the
// replacement invalid gives. ASCII, what labels are made of, takes no call;
// next_non_ascii is the rest (text starting with a byte of 0x80 or more).
char32_t next_non_ascii(std::string_view text, std::size_t* used, Invalid invalid);
inline char32_t next_char(std::string_view text, std::size_t* used, Invalid invalid) {
  const unsigned char b = static_cast<unsigned char>(text[0]);
  if (b < 0x80) {
    *used = 1;
    return b;
  }
  return next_non_ascii(text, used, invalid);
}

// The whole text in UTF-8 or UTF-32. A NUL byte is a character like any
// other. When this system's iconv has no code page 932 (available() is
// false), every byte outside ASCII starts no character.
std::string to_utf8(std::string_view text, Invalid invalid = Invalid::kReplacement);
std::u32string to_utf32(std::string_view text, Invalid invalid = Invalid::kReplacement);

// The code page 932 form of UTF-8 text. False when the text is not UTF-8 or
// holds a character the code page lacks, or when this system's iconv cannot
// convert to it; *out then holds the conversion of the text before the
// character that failed, and *failed_at (when given) that character's byte
// offset in utf8, or std::string_view::npos when there is no converter.
bool from_utf8(std::string_view utf8, std::string* out, std::size_t* failed_at = nullptr);

// The text in another character set iconv knows (say the terminal's), whole:
// false, *out empty, when any byte cannot be converted or the converter is
// missing.
bool to_charset(std::string_view text, const char* charset, std::string* out);

// Whether this system's iconv converts code page 932.
bool available();

// Appends the UTF-8 form of code point cp.
void append_utf8(std::string& out, char32_t cp);

}  // namespace cp932

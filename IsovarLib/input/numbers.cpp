// The number syntax of the input file: reals through str2d, indices and
// node numbers through parse_index.
#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "cp932.h"
#include "input/reader.h"
#include "isovar_messages.h"

namespace {

constexpr int kMaxNumberText = 30;  // texts of this length or more are refused
// Far beyond the ~650 steps after which every start value is infinite or zero.
constexpr int32_t kExponentCap = 1000000;

bool is_exponent_letter(char c) { return c == 'd' || c == 'D' || c == 'e' || c == 'E'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The decimal conversion of text[begin, end): blanks and tabs skipped, then at
// most one sign and digits with at most one point, up to the first misfit.
// 0 when no digit was taken. The clean prefix goes through from_chars, which
// rounds correctly and, unlike strtod, ignores the process locale (the window
// may set one with a decimal comma).
double decimal_prefix(const char* begin, const char* end) {
  const char* p = begin;
  while (p < end && (*p == ' ' || *p == '\t')) ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  char clean[kMaxNumberText + 1];
  int n = 0;
  bool digits = false;
  bool point = false;
  for (; p < end; ++p) {
    if (is_digit(*p)) {
      digits = true;
    } else if (*p == '.' && !point) {
      point = true;
    } else {
      break;
    }
    clean[n++] = *p;
  }
  if (!digits) return 0.0;
  double value = 0.0;
  std::from_chars(clean, clean + n, value);
  return negative ? -value : value;
}

// Exact powers of ten: a mantissa below 2^53 divided or multiplied by one of
// them is correctly rounded by the one operation.
constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// plain_decimal over [begin, end), or (kCounted false) over the text up to
// its NUL, which stops the digits like any other non-digit.
template <bool kCounted>
bool plain_decimal_text(const char* begin, const char* end, double* result) {
  const char* p = begin;
  auto more = [&p, end] { return !kCounted || p < end; };
  bool negative = false;
  if (more() && (*p == '-' || *p == '+')) negative = *p++ == '-';
  // Twenty digits or more may wrap the mantissa; they are refused below.
  uint64_t mantissa = 0;
  unsigned d;
  const char* whole = p;
  while (more() && (d = static_cast<unsigned char>(*p) - '0') < 10) {
    mantissa = mantissa * 10 + d;
    ++p;
  }
  long digits = p - whole;
  long fraction = 0;  // digits after the point
  if (more() && *p == '.') {
    const char* part = ++p;
    while (more() && (d = static_cast<unsigned char>(*p) - '0') < 10) {
      mantissa = mantissa * 10 + d;
      ++p;
    }
    fraction = p - part;
    digits += fraction;
  }
  const bool whole_text = kCounted ? p == end : *p == '\0';
  if (!whole_text || digits == 0 || digits > 19 || mantissa >= (uint64_t{1} << 53)) return false;
  double value = static_cast<double>(mantissa);
  if (fraction > 0) value /= kPowersOfTen[fraction];
  *result = negative ? -value : value;
  return true;
}

// The character set of the user's locale, as the environment says now
// (without touching the process's own locale), or "" when the diagnostics
// can go out as they are: the locale is code page 932 itself, or plain
// ASCII, which has no Japanese to convert into. Asked at each diagnostic,
// which comes only with a refused number.
std::string diagnostic_charset() {
  std::string name;
  if (locale_t user = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0))) {
    name = nl_langinfo_l(CODESET, user);
    freelocale(user);
  }
  std::string upper;
  for (char c : name) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  if (upper.empty() || upper == "ANSI_X3.4-1968" || upper == "ASCII" || upper == "CP932" || upper == "SHIFT_JIS" ||
      upper == "SJIS" || upper == "WINDOWS-31J") {
    return std::string();
  }
  return name;
}

// A diagnostic of the number parser on the standard error stream, in the
// user's character set: a UTF-8 terminal shows the Japanese, not bytes of
// code page 932. Unconvertible text goes out unchanged.
void diagnose(const char* format, const char* text) {
  char cp932[256];
  const int n = std::snprintf(cp932, sizeof cp932, format, text);
  if (n < 0) return;
  const size_t length = std::min(static_cast<size_t>(n), sizeof cp932 - 1);
  const std::string charset = diagnostic_charset();
  std::string converted;
  if (!charset.empty() && cp932::to_charset(std::string_view(cp932, length), charset.c_str(), &converted)) {
    std::fwrite(converted.data(), 1, converted.size(), stderr);
    return;
  }
  std::fwrite(cp932, 1, length, stderr);
}

int refuse(const char* text) {
  diagnose(msg::in_str2d_not_number, text);
  return -1;
}

}  // namespace

bool plain_decimal(const char* begin, const char* end, double* result) {
  return plain_decimal_text<true>(begin, end, result);
}

int str2d(const char* text, double* result) {
  if (plain_decimal_text<false>(text, nullptr, result)) return 0;
  int minus = 0;
  int points = 0;
  int letters = 0;
  const char* letter = nullptr;
  const char* p = text;
  for (; *p != '\0'; ++p) {
    char c = *p;
    if (c == ' ' || c == '\t' || c == '+' || is_digit(c)) continue;
    if (c == '-') {
      ++minus;
    } else if (c == '.') {
      ++points;
    } else if (is_exponent_letter(c)) {
      ++letters;
      letter = p;
    } else {
      return refuse(text);
    }
  }
  if (minus > 2 || points > 1 || letters > 1) return refuse(text);
  if (p - text >= kMaxNumberText) {
    diagnose(msg::in_str2d_too_long, text);
    return -1;
  }
  if (letter == nullptr) {
    *result = decimal_prefix(text, p);
    return 0;
  }

  double value = decimal_prefix(text, letter);
  int plus_signs = 0;
  int minus_signs = 0;
  int32_t exponent = 0;
  for (const char* q = letter + 1; *q != '\0'; ++q) {
    if (*q == '+') {
      ++plus_signs;
    } else if (*q == '-') {
      ++minus_signs;
    } else if (is_digit(*q)) {
      exponent = exponent * 10 + (*q - '0');
      if (exponent > kExponentCap) exponent = kExponentCap;
    } else {
      return refuse(text);
    }
  }
  if (minus_signs >= 2 || plus_signs >= 2 || (plus_signs > 0 && minus_signs > 0)) return refuse(text);

  // One multiplication at a time, so 2e-3 is 2 x 0.1 x 0.1 x 0.1, not the
  // double nearest 0.002. Once the value is infinite or zero no further step
  // changes it, so the loop stops there and no exponent makes it slow.
  const double factor = minus_signs > 0 ? 0.1 : 10.0;
  for (int32_t i = 0; i < exponent; ++i) {
    if (value == 0.0 || std::isinf(value)) break;
    value *= factor;
  }
  *result = value;
  return 0;
}

int32_t parse_index(const char* text) {
  // The common case: one to nine digits, which cannot overflow, and no more.
  uint32_t quick = 0;
  int n = 0;
  for (unsigned d; n < 9 && (d = static_cast<unsigned char>(text[n]) - '0') < 10; ++n) quick = quick * 10 + d;
  if (n > 0 && static_cast<unsigned>(static_cast<unsigned char>(text[n]) - '0') >= 10)
    return static_cast<int32_t>(quick);

  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  int64_t value = 0;
  for (; is_digit(*p); ++p) {
    value = value * 10 + (*p - '0');
    if (value > INT32_MAX) value = static_cast<int64_t>(INT32_MAX) + 1;
  }
  if (negative) return value > INT32_MAX ? INT32_MIN : static_cast<int32_t>(-value);
  return value > INT32_MAX ? INT32_MAX : static_cast<int32_t>(value);
}

bool read_real(const char* token, double* value) {
  if (str2d(token, value) != 0) return false;
  // Below this magnitude a double rounds to a finite float; at and above it,
  // to infinity (the halfway point past the largest float rounds up).
  return std::fabs(*value) < 0x1.ffffffp127;
}

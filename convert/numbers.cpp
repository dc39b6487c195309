#include "numbers.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "input/reader.h"

namespace convert {

namespace {

// A finite, non-zero float as decimal digits d1 d2 ... dn and the power of
// ten of d1: the value is d1.d2...dn x 10^exponent.
struct Decimal {
  bool negative = false;
  char digits[16] = {};
  int count = 0;
  int exponent = 0;
};

// significant: the number of significant digits, or 0 for the fewest that
// identify v among floats.
Decimal decompose(float v, int significant) {
  char text[kRealBufferSize];
  const std::to_chars_result r =
      significant == 0 ? std::to_chars(text, text + sizeof text, v, std::chars_format::scientific)
                       : std::to_chars(text, text + sizeof text, v, std::chars_format::scientific, significant - 1);
  Decimal d;
  const char* p = text;
  if (*p == '-') {
    d.negative = true;
    ++p;
  }
  for (; p < r.ptr && *p != 'e'; ++p)
    if (*p != '.') d.digits[d.count++] = *p;
  while (d.count > 1 && d.digits[d.count - 1] == '0') --d.count;
  std::from_chars(p + 1 + (p[1] == '+'), r.ptr, d.exponent);
  return d;
}

// The plain decimal of d, or 0 when it would be longer than a real field.
int compose_plain(const Decimal& d, char* out) {
  const int int_digits = d.exponent >= 0 ? d.exponent + 1 : 1;
  const int frac_digits =
      d.exponent >= 0 ? (d.count > int_digits ? d.count - int_digits : 0) : d.count - d.exponent - 1;
  const int length = (d.negative ? 1 : 0) + int_digits + (frac_digits > 0 ? 1 + frac_digits : 0);
  if (length > kMaxRealChars) return 0;
  char* p = out;
  if (d.negative) *p++ = '-';
  if (d.exponent >= 0) {
    for (int i = 0; i < int_digits; ++i) *p++ = i < d.count ? d.digits[i] : '0';
    if (frac_digits > 0) {
      *p++ = '.';
      for (int i = int_digits; i < d.count; ++i) *p++ = d.digits[i];
    }
  } else {
    *p++ = '0';
    *p++ = '.';
    for (int i = 0; i < -d.exponent - 1; ++i) *p++ = '0';
    for (int i = 0; i < d.count; ++i) *p++ = d.digits[i];
  }
  *p = '\0';
  return static_cast<int>(p - out);
}

// d as d1.d2...dn e EXPONENT.
int compose_exponent(const Decimal& d, char* out) {
  char* p = out;
  if (d.negative) *p++ = '-';
  *p++ = d.digits[0];
  if (d.count > 1) {
    *p++ = '.';
    for (int i = 1; i < d.count; ++i) *p++ = d.digits[i];
  }
  *p++ = 'e';
  p = std::to_chars(p, out + kRealBufferSize - 1, d.exponent).ptr;
  *p = '\0';
  return static_cast<int>(p - out);
}

// What the reader makes of text: its own number parser, then single
// precision. The reader applies an exponent by repeated multiplication, and
// even a plain decimal is rounded twice (to double, then to float), so
// every text is checked rather than trusted.
bool reads_back(const char* text, float v) {
  double d;
  return read_real(text, &d) && static_cast<float>(d) == v;
}

// The text of a number without a leading plus, which from_chars does not take.
std::string_view without_plus(std::string_view text) {
  if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
  return text;
}

// Whether a number outside single precision's range is too small for it
// rather than too large: by its double value, or when that is out of range
// too, by the exponent's sign.
bool too_small(std::string_view text) {
  double wide = 0.0;
  if (std::from_chars(text.data(), text.data() + text.size(), wide).ec == std::errc()) return std::fabs(wide) < 1.0;
  const size_t e = text.find_first_of("eE");
  return e != std::string_view::npos && e + 1 < text.size() && text[e + 1] == '-';
}

}  // namespace

int format_real(float v, char* out) {
  if (v == 0.0f) {
    std::memcpy(out, "0", 2);
    return 1;
  }
  // The fewest digits first; more digits move the text away from the
  // rounding boundaries, and nine always identify a float.
  Decimal d = decompose(v, 0);
  for (int significant = d.count; significant <= 17; d = decompose(v, ++significant)) {
    int n = compose_plain(d, out);
    if (n > 0 && reads_back(out, v)) return n;
    if (n == 0) {
      n = compose_exponent(d, out);
      if (n <= kMaxRealChars && reads_back(out, v)) return n;
    }
  }
  // Unreachable for a finite float; refuse loudly rather than write a lie.
  std::abort();
}

Parsed parse_real(std::string_view text, float& out) {
  text = without_plus(text);
  const char* first = text.data();
  const char* last = first + text.size();
  if (first == last) return Parsed::not_number;
  float v = 0.0f;
  const std::from_chars_result r = std::from_chars(first, last, v, std::chars_format::general);
  if (r.ptr != last) return Parsed::not_number;
  if (r.ec == std::errc::result_out_of_range) {
    // Only too large a value is refused; too small a one is zero.
    if (!too_small(text)) return Parsed::out_of_range;
    out = *first == '-' ? -0.0f : 0.0f;
    return Parsed::ok;
  }
  if (r.ec != std::errc() || !std::isfinite(v)) return Parsed::not_number;
  out = v;
  return Parsed::ok;
}

double parse_full(std::string_view text) {
  text = without_plus(text);
  double v = 0.0;
  const std::from_chars_result r = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) return !text.empty() && text.front() == '-' ? -0.0 : 0.0;
  return v;
}

namespace {

template <typename T>
std::string shortest(T v) {
  char text[64];
  const T size = std::fabs(v);
  const std::to_chars_result r = size >= T(1e-5) && size < T(1e16)
                                     ? std::to_chars(text, text + sizeof text, v, std::chars_format::fixed)
                                     : std::to_chars(text, text + sizeof text, v);
  return std::string(text, r.ptr);
}

}  // namespace

std::string show(double v) { return shortest(v); }
std::string show(float v) { return shortest(v); }

bool parse_integer(std::string_view text, int64_t& out) {
  text = without_plus(text);
  const std::from_chars_result r = std::from_chars(text.data(), text.data() + text.size(), out);
  return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size();
}

bool parse_double(std::string_view text, double& out) {
  text = without_plus(text);
  const std::from_chars_result r = std::from_chars(text.data(), text.data() + text.size(), out);
  return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size() && std::isfinite(out);
}

}  // namespace convert

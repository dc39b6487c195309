// Numbers in and out: the fields of source files, and reals written so that
// the reader of the input file stores exactly the single-precision value meant.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace convert {

// A real field of the input file holds at most this many characters.
constexpr int kMaxRealChars = 18;
// Room for any text format_real writes, with its NUL.
constexpr int kRealBufferSize = 32;

// Writes the shortest text that the input file's reader turns back into
// exactly v (finite): a plain decimal when one fits in kMaxRealChars, else
// a mantissa and an exponent. Returns the length; out gets a NUL too.
int format_real(float v, char* out);

// Whether v rounds to a finite single-precision value (NaN does not).
inline bool fits_single(double v) { return v > -0x1.ffffffp127 && v < 0x1.ffffffp127; }

enum class Parsed { ok, not_number, out_of_range };

// A decimal number of a source file ("12", "-1.5", "+2.5e-3", ".5"), rounded
// once to single precision; the whole text must be the number. Values too
// small for single precision become zero; too large ones are out_of_range.
// Infinity and NaN spellings are not numbers.
Parsed parse_real(std::string_view text, float& out);

// The same text in double precision, once parse_real has accepted it: the
// value a source holds at full precision (values too small for double
// precision are zero).
double parse_full(std::string_view text);

// v as the shortest text that reads back as it, for messages: plain
// decimals unless the value is very large or small.
std::string show(double v);
std::string show(float v);

// A whole number of a source file (optional sign, digits only).
bool parse_integer(std::string_view text, int64_t& out);

// A finite number in double precision (a level range of the command line).
bool parse_double(std::string_view text, double& out);

}  // namespace convert

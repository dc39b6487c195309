#include "titles.h"

#include "cp932.h"

namespace convert {

namespace {

// The length of the UTF-8 character that starts at text[at], or 0 when no
// well-formed one does.
size_t character_length(const std::string& text, size_t at) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  const size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                       : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k)
    if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80) return 0;
  return length;
}

}  // namespace

std::string title_to_cp932(const std::string& utf8, std::string& out) {
  const std::string quoted = "title '" + utf8 + "'";
  for (unsigned char c : utf8)
    if (c < 0x20 || c == 0x7F) return quoted + " holds a control character";
  size_t at = 0;
  if (!cp932::from_utf8(utf8, &out, &at)) {
    if (at == std::string_view::npos) return "this system's iconv cannot convert to code page 932";
    const size_t length = character_length(utf8, at);
    if (length == 0) return quoted + " is not UTF-8 text";
    return quoted + " holds '" + utf8.substr(at, length) + "', which code page 932 lacks";
  }
  if (out.size() > static_cast<size_t>(kMaxTitleBytes))
    return quoted + " is " + std::to_string(out.size()) + " bytes in code page 932, more than " +
           std::to_string(kMaxTitleBytes);
  if (out.compare(0, 4, "*end") == 0 || out.compare(0, 4, "*END") == 0)
    return quoted + " would end the title section: it must not begin with *end";
  return {};
}

}  // namespace convert

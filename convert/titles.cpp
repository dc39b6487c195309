#include "titles.h"

#include <iconv.h>

#include <cerrno>

namespace convert {

namespace {

class Converter {
 public:
  Converter() : cd_(iconv_open("CP932", "UTF-8")) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

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
  Converter converter;
  if (!converter.ok()) return "this system's iconv cannot convert to code page 932";
  out.clear();
  char* src = const_cast<char*>(utf8.data());
  size_t left = utf8.size();
  char buffer[256];
  while (left > 0) {
    char* dst = buffer;
    size_t room = sizeof buffer;
    const size_t r = iconv(converter.get(), &src, &left, &dst, &room);
    out.append(buffer, static_cast<size_t>(dst - buffer));
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      const size_t at = static_cast<size_t>(src - utf8.data());
      const size_t length = errno == EILSEQ ? character_length(utf8, at) : 0;
      if (length == 0) return quoted + " is not UTF-8 text";
      return quoted + " holds '" + utf8.substr(at, length) + "', which code page 932 lacks";
    }
  }
  if (out.size() > static_cast<size_t>(kMaxTitleBytes))
    return quoted + " is " + std::to_string(out.size()) + " bytes in code page 932, more than " +
           std::to_string(kMaxTitleBytes);
  if (out.compare(0, 4, "*end") == 0 || out.compare(0, 4, "*END") == 0)
    return quoted + " would end the title section: it must not begin with *end";
  return {};
}

}  // namespace convert

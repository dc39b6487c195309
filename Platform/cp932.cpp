#include "cp932.h"

#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

namespace cp932 {

namespace {

// What iconv said of a byte or a byte pair, kept for the process: 0 not
// asked yet, kNoChar no character, else the code point + 1. Answers never
// change, so threads that ask at the same time store the same value and
// nothing else hangs on it: relaxed loads and stores suffice.
constexpr uint32_t kNotAsked = 0;
constexpr uint32_t kNoChar = 0xFFFFFFFFu;
constexpr int kLeads = 31 + 29;  // 0x81-0x9F, 0xE0-0xFC

std::atomic<uint32_t> singles[128];             // bytes 0x80-0xFF
std::atomic<uint32_t> pairs[kLeads * 256];      // lead index x second byte

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

int lead_index(unsigned char b) { return b <= 0x9F ? b - 0x81 : b - 0xE0 + 31; }

// A converter held for the process and never used. glibc loads a
// converter's module with the first descriptor that needs it and unloads it
// some time after the last one closes, to load it again for the next; this
// one keeps code page 932's loaded, so the descriptors below (one per call,
// as no descriptor may serve two threads at once) cost well under a
// microsecond to open. It also keeps ThreadSanitizer quiet: it cannot see
// the loader's lock, and takes a module unloaded on one thread and loaded
// again on another for a race.
bool module_loaded() {
  static const iconv_t kept = iconv_open("UCS-4LE", "CP932");
  return kept != kNoConverter;
}

// One conversion of one or two bytes into a code point (UCS-4 is built into
// glibc's iconv: no second module); each answer is asked for once.
uint32_t ask_iconv(const unsigned char* bytes, std::size_t count) {
  if (!module_loaded()) return kNotAsked;  // asked again next time; nothing decodes
  iconv_t cd = iconv_open("UCS-4LE", "CP932");
  if (cd == kNoConverter) return kNotAsked;
  char in[2] = {static_cast<char>(bytes[0]), count > 1 ? static_cast<char>(bytes[1]) : '\0'};
  unsigned char out[8];
  char* src = in;
  std::size_t src_left = count;
  char* dst = reinterpret_cast<char*>(out);
  std::size_t dst_left = sizeof out;
  const std::size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
  iconv_close(cd);
  // Exactly one code point from all the bytes, or none.
  if (r == static_cast<std::size_t>(-1) || src_left != 0 || sizeof out - dst_left != 4) return kNoChar;
  const uint32_t cp = uint32_t{out[0]} | uint32_t{out[1]} << 8 | uint32_t{out[2]} << 16 | uint32_t{out[3]} << 24;
  return cp + 1;
}

uint32_t lookup(std::atomic<uint32_t>& entry, const unsigned char* bytes, std::size_t count) {
  uint32_t v = entry.load(std::memory_order_relaxed);
  if (v == kNotAsked) {
    v = ask_iconv(bytes, count);
    if (v != kNotAsked) entry.store(v, std::memory_order_relaxed);
  }
  return v;
}

// The code point of a single byte (not ASCII) or of a pair (lead byte
// first), or -1 when it is no character.
int32_t single(unsigned char b) {
  const uint32_t v = lookup(singles[b - 0x80], &b, 1);
  return v == kNotAsked || v == kNoChar ? -1 : static_cast<int32_t>(v - 1);
}

int32_t pair(unsigned char lead, unsigned char second) {
  const unsigned char bytes[2] = {lead, second};
  const uint32_t v = lookup(pairs[lead_index(lead) * 256 + second], bytes, 2);
  return v == kNotAsked || v == kNoChar ? -1 : static_cast<int32_t>(v - 1);
}


// Runs a converter over all of in; false at the first byte it cannot take,
// with *stopped at its offset.
bool convert(iconv_t cd, std::string_view in, std::string* out, std::size_t* stopped) {
  char* src = const_cast<char*>(in.data());
  std::size_t left = in.size();
  char buffer[512];
  while (left > 0) {
    char* dst = buffer;
    std::size_t room = sizeof buffer;
    const std::size_t r = iconv(cd, &src, &left, &dst, &room);
    out->append(buffer, static_cast<std::size_t>(dst - buffer));
    if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
      *stopped = static_cast<std::size_t>(src - in.data());
      return false;
    }
  }
  // Whatever a stateful target set still has to say.
  char* dst = buffer;
  std::size_t room = sizeof buffer;
  if (iconv(cd, nullptr, nullptr, &dst, &room) == static_cast<std::size_t>(-1)) {
    *stopped = in.size();
    return false;
  }
  out->append(buffer, static_cast<std::size_t>(dst - buffer));
  return true;
}

}  // namespace

bool is_lead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

bool is_trail(unsigned char b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

std::size_t fit(const char* text, std::size_t len, std::size_t limit) {
  if (len <= limit) return len;
  std::size_t pos = 0;
  while (pos < len) {
    const std::size_t step = is_lead(static_cast<unsigned char>(text[pos])) && pos + 1 < len ? 2 : 1;
    if (pos + step > limit) break;
    pos += step;
  }
  return pos;
}

char32_t next_non_ascii(std::string_view text, std::size_t* used, Invalid invalid) {
  const unsigned char b = static_cast<unsigned char>(text[0]);
  *used = 1;
  const char32_t bad = invalid == Invalid::kReplacement ? U'\uFFFD' : U'?';
  if (is_lead(b)) {
    if (text.size() < 2) return bad;
    const unsigned char second = static_cast<unsigned char>(text[1]);
    if (invalid == Invalid::kAsDrawn && !is_trail(second)) return bad;
    const int32_t cp = pair(b, second);
    if (cp >= 0 || invalid == Invalid::kAsDrawn) *used = 2;
    return cp >= 0 ? static_cast<char32_t>(cp) : bad;
  }
  const int32_t cp = single(b);
  return cp >= 0 ? static_cast<char32_t>(cp) : bad;
}

std::string to_utf8(std::string_view text, Invalid invalid) {
  std::string out;
  out.reserve(text.size() + text.size() / 2);
  while (!text.empty()) {
    std::size_t used;
    append_utf8(out, next_char(text, &used, invalid));
    text.remove_prefix(used);
  }
  return out;
}

std::u32string to_utf32(std::string_view text, Invalid invalid) {
  std::u32string out;
  out.reserve(text.size());
  while (!text.empty()) {
    std::size_t used;
    out += next_char(text, &used, invalid);
    text.remove_prefix(used);
  }
  return out;
}

bool from_utf8(std::string_view utf8, std::string* out, std::size_t* failed_at) {
  out->clear();
  module_loaded();
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == kNoConverter) {
    if (failed_at != nullptr) *failed_at = std::string_view::npos;
    return false;
  }
  std::size_t stopped = 0;
  const bool whole = convert(cd, utf8, out, &stopped);
  iconv_close(cd);
  if (!whole && failed_at != nullptr) *failed_at = stopped;
  return whole;
}

bool to_charset(std::string_view text, const char* charset, std::string* out) {
  out->clear();
  module_loaded();
  iconv_t cd = iconv_open(charset, "CP932");
  if (cd == kNoConverter) return false;
  std::size_t stopped = 0;
  const bool whole = convert(cd, text, out, &stopped);
  iconv_close(cd);
  if (!whole) out->clear();
  return whole;
}

bool available() { return module_loaded(); }

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace cp932

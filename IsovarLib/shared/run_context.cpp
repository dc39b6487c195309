// Bounded message texts: nothing the library writes ever runs past the buffer
// it was given, and a cut never splits a two-byte character.
#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "shared/run_context.h"
#include "shared/tables.h"

namespace {

bool is_cp932_lead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

}  // namespace

std::size_t cp932_fit(const char* text, std::size_t len, std::size_t limit) {
  if (len <= limit) return len;
  std::size_t pos = 0;
  while (pos < len) {
    std::size_t step = is_cp932_lead(static_cast<unsigned char>(text[pos])) && pos + 1 < len ? 2 : 1;
    if (pos + step > limit) break;
    pos += step;
  }
  return pos;
}

void copy_message(char* dest, std::size_t cap, const char* text) {
  if (cap == 0) return;
  std::size_t n = cp932_fit(text, std::strlen(text), cap - 1);
  std::memmove(dest, text, n);
  dest[n] = '\0';
}

void put_message(char* dest, std::size_t cap, const char* format, ...) {
  // Large enough for any message with a path the platform can open; the cut
  // below keeps only what fits the destination anyway.
  char text[8192];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (n < 0) text[0] = '\0';
  copy_message(dest, cap, text);
}

int32_t fail_entry(char* errMsg, const char* text, int error) {
  if (errMsg != nullptr) copy_message(errMsg, kErrMsgSize, text);
  errno = error;
  return -1;
}

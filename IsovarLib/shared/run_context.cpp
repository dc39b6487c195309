// Bounded message texts: nothing the library writes ever runs past the buffer
// it was given, and a cut never splits a two-byte character.
#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "shared/run_context.h"

#include "cp932.h"
#include "shared/tables.h"

std::size_t cp932_fit(const char* text, std::size_t len, std::size_t limit) { return cp932::fit(text, len, limit); }

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

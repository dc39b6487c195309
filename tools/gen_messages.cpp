// Turns the library's message tables (UTF-8, readable in the source) into one
// header of code page 932 byte strings, so the library carries the exact bytes
// its callers show and no conversion happens at run time.
//
// Usage: isovar_gen_messages OUTPUT_HEADER
#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct Message {
  const char* name;
  const char* utf8;
};

const Message kMessages[] = {
#define ISOVAR_MSG(name, text) {#name, text},
#include "shared/messages.def"
#include "entry/messages.def"
#include "input/messages.def"
#include "engine/messages.def"
#include "render/messages.def"
#undef ISOVAR_MSG
};

bool to_cp932(iconv_t cd, const char* in, std::string& out) {
  out.clear();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* src = const_cast<char*>(in);
  size_t left = std::strlen(in);
  char buf[1024];
  while (left > 0) {
    char* dst = buf;
    size_t room = sizeof buf;
    size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buf, static_cast<size_t>(dst - buf));
    if (r == static_cast<size_t>(-1) && errno != E2BIG) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_HEADER\n", argv[0]);
    return 2;
  }
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    std::perror("iconv_open CP932");
    return 1;
  }
  std::string body =
      "// Generated from the messages.def tables; do not edit.\n"
      "// Every text is the exact code page 932 byte string the library writes.\n"
      "#pragma once\n\nnamespace msg {\n";
  std::string bytes;
  for (const Message& m : kMessages) {
    if (!to_cp932(cd, m.utf8, bytes)) {
      std::fprintf(stderr, "message %s has a character outside code page 932\n", m.name);
      return 1;
    }
    body += "inline constexpr char ";
    body += m.name;
    body += "[] = \"";
    for (unsigned char c : bytes) {
      // Octal escapes are always three digits, so no following byte can extend one.
      if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\' && c != '?') {
        body += static_cast<char>(c);
      } else {
        char esc[5];
        std::snprintf(esc, sizeof esc, "\\%03o", c);
        body += esc;
      }
    }
    body += "\";\n";
  }
  body += "}  // namespace msg\n";
  iconv_close(cd);

  // Rewrite only when the text changed, so an unchanged table rebuilds nothing.
  std::string old;
  if (FILE* f = std::fopen(argv[1], "rb")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) old.append(buf, n);
    std::fclose(f);
  }
  if (old == body) return 0;
  FILE* f = std::fopen(argv[1], "wb");
  if (!f || std::fwrite(body.data(), 1, body.size(), f) != body.size() || std::fclose(f) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}

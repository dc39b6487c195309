// Shared pieces of the fuzz targets: a private working folder (the plot run
// writes "isovar.log" into the current directory) and an input file in it.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace fuzz {

// Makes a fresh folder under the temporary folder and enters it, once.
inline const std::string& work_dir() {
  static const std::string dir = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/isovar-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr || chdir(pattern.c_str()) != 0) std::abort();
    return pattern;
  }();
  return dir;
}

inline std::string write_input(const char* name, const uint8_t* data, size_t size) {
  std::string path = work_dir() + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  return path;
}

// An errMsg buffer with guard bytes behind its 256 bytes: the library must
// never write past them, and a message always ends inside them.
struct GuardedErrMsg {
  static constexpr size_t kSize = 256;
  static constexpr size_t kGuard = 64;
  char bytes[kSize + kGuard];
  GuardedErrMsg() { std::memset(bytes, 0x5A, sizeof bytes); }
  char* get() { return bytes; }
  void check() const {
    for (size_t i = kSize; i < kSize + kGuard; ++i)
      if (bytes[i] != 0x5A) std::abort();
  }
  void check_message() const {
    check();
    if (std::memchr(bytes, 0, kSize) == nullptr) std::abort();
  }
};

}  // namespace fuzz

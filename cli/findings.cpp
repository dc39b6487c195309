#include "findings.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "display_list_format.h"

namespace isovar_plot {

namespace {

// Opens path for reading when it is a regular file (a pipe or a device is
// never opened for good: it could wait, or take another reader's bytes):
// the descriptor and its size, or -1.
int open_regular(const std::string& path, off_t* size) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return -1;
  }
  *size = st.st_size;
  return fd;
}

int32_t load(const unsigned char* at) {
  return static_cast<int32_t>(uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24);
}

Found scan_display_list(const unsigned char* at, const unsigned char* end) {
  // Each step checks that the record's fixed part is there; a record cut
  // short ends the list, as for every reader of it.
  auto left = [&] { return static_cast<uint64_t>(end - at); };
  while (left() >= 4) {
    const int32_t tag = load(at);
    if (tag == DL_LABEL) return Found::kYes;
    if (tag == DL_LINE) {
      at += left() < 4 * (1 + kDlLineFields) ? left() : 4 * (1 + kDlLineFields);
    } else if (tag == DL_TITLE) {
      if (left() < 8) break;
      const int32_t n = load(at + 4);
      if (n < 0) return Found::kUnknown;
      const uint64_t size = 8 + uint64_t(n) + 4 * kDlTextTailFields;
      at += left() < size ? left() : size;
    } else if (tag == DL_BANDS) {
      if (left() < 12) break;
      const int32_t m = load(at + 8);
      if (m < 0) return Found::kUnknown;
      at += 12;
      for (int32_t p = 0; p < m && left() >= 4; ++p) {
        const int32_t n = load(at);
        if (n < 0) return Found::kUnknown;
        const uint64_t size = 4 + 8 * uint64_t(n);
        at += left() < size ? left() : size;
      }
    } else {
      return Found::kUnknown;
    }
  }
  return Found::kNo;
}

// The text after "name": up to the next ',' or '}' in text.
std::string json_value(const std::string& text, const char* name) {
  const std::string key = std::string("\"") + name + "\":";
  const std::size_t at = text.find(key);
  if (at == std::string::npos) return {};
  const std::size_t from = at + key.size();
  const std::size_t to = text.find_first_of(",}", from);
  return to == std::string::npos ? std::string() : text.substr(from, to - from);
}

}  // namespace

Found display_list_has_label(const std::string& path) {
  off_t size = 0;
  const int fd = open_regular(path, &size);
  if (fd < 0) return Found::kUnknown;
  if (size == 0) {
    close(fd);
    return Found::kNo;
  }
  void* map = mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE, fd, 0);
  close(fd);
  if (map == MAP_FAILED) return Found::kUnknown;
  const auto* bytes = static_cast<const unsigned char*>(map);
  const Found found = scan_display_list(bytes, bytes + size);
  munmap(map, static_cast<std::size_t>(size));
  return found;
}

int count_features(const std::string& path, int at_most) {
  static const std::string kFeature = "{\"type\":\"Feature\",";
  off_t size = 0;
  const int fd = open_regular(path, &size);
  if (fd < 0) return -1;
  int count = 0;
  std::string window;
  char buffer[65536];
  while (count < at_most) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) count = -1;
    if (n <= 0) break;
    window.append(buffer, static_cast<std::size_t>(n));
    std::size_t at = 0;
    while (count < at_most && (at = window.find(kFeature, at)) != std::string::npos) {
      ++count;
      at += kFeature.size();
    }
    // What could still begin a feature the next bytes complete.
    window.erase(0, window.size() - std::min(window.size(), kFeature.size() - 1));
  }
  close(fd);
  return count;
}

BandsFound find_bands(const std::string& path) {
  BandsFound found;
  found.bands = count_features(path, 2);
  if (found.bands != 1) return found;
  // The one feature's properties come first in it, at the file's start.
  off_t size = 0;
  const int fd = open_regular(path, &size);
  if (fd < 0) return found;
  std::string head(4096, '\0');
  const ssize_t n = pread(fd, head.data(), head.size(), 0);
  close(fd);
  head.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  const std::string lower = json_value(head, "lower"), upper = json_value(head, "upper");
  if (lower.empty() || upper.empty()) return found;
  if (lower == "null" && upper != "null") {
    found.where = " (all lie below the lowest level, " + upper + ")";
  } else if (lower != "null" && upper == "null") {
    found.where = " (all lie above the highest level, " + lower + ")";
  } else if (lower != "null") {
    found.where = " (all lie between the levels " + lower + " and " + upper + ")";
  }
  return found;
}

}  // namespace isovar_plot

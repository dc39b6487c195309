#include "findings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>

#include "display_list_format.h"

namespace isovar_plot {

namespace {

// Opens path for reading when it is a regular file (a pipe or a device is
// never opened for good: it could wait, or take another reader's bytes):
// the descriptor, or -1.
int open_regular(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return -1;
  }
  return fd;
}

int32_t load(const unsigned char* at) {
  return static_cast<int32_t>(uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24);
}

// Reads a file from its start in blocks, so that a large display list costs
// a block of memory, not its size.
class BlockReader {
 public:
  explicit BlockReader(int fd) : fd_(fd), buffer_(new unsigned char[kBlock]) {}
  // Whether n bytes (at most kBlock) are there at data().
  bool need(std::size_t n) {
    if (end_ - at_ >= n) return true;
    std::memmove(buffer_.get(), buffer_.get() + at_, end_ - at_);
    end_ -= at_;
    at_ = 0;
    while (end_ < n && !done_) {
      const ssize_t got = ::read(fd_, buffer_.get() + end_, kBlock - end_);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        done_ = true;
        failed_ = got < 0;
      } else {
        end_ += static_cast<std::size_t>(got);
      }
    }
    return end_ - at_ >= n;
  }
  const unsigned char* data() const { return buffer_.get() + at_; }
  // Passes n bytes, or up to the end.
  void skip(uint64_t n) {
    while (n > end_ - at_) {
      n -= end_ - at_;
      at_ = end_;
      if (!need(1)) return;
    }
    at_ += static_cast<std::size_t>(n);
  }
  bool failed() const { return failed_; }

 private:
  static constexpr std::size_t kBlock = std::size_t{1} << 20;
  int fd_;
  std::unique_ptr<unsigned char[]> buffer_;
  std::size_t at_ = 0, end_ = 0;
  bool done_ = false, failed_ = false;
};

// Each step checks that the record's fixed part is there; a record cut short
// ends the list, as for every reader of it.
Found scan_display_list(BlockReader& in) {
  while (in.need(4)) {
    const int32_t tag = load(in.data());
    if (tag == DL_LABEL) return Found::kYes;
    if (tag == DL_LINE) {
      in.skip(4 * (1 + kDlLineFields));
    } else if (tag == DL_TITLE) {
      if (!in.need(8)) break;
      const int32_t n = load(in.data() + 4);
      if (n < 0) return Found::kUnknown;
      in.skip(8 + uint64_t(n) + 4 * kDlTextTailFields);
    } else if (tag == DL_BANDS) {
      if (!in.need(12)) break;
      const int32_t m = load(in.data() + 8);
      if (m < 0) return Found::kUnknown;
      in.skip(12);
      for (int32_t p = 0; p < m && in.need(4); ++p) {
        const int32_t n = load(in.data());
        if (n < 0) return Found::kUnknown;
        in.skip(4 + 8 * uint64_t(n));
      }
    } else {
      return Found::kUnknown;
    }
  }
  return in.failed() ? Found::kUnknown : Found::kNo;
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
  const int fd = open_regular(path);
  if (fd < 0) return Found::kUnknown;
  BlockReader in(fd);
  const Found found = scan_display_list(in);
  close(fd);
  return found;
}

int count_features(const std::string& path, int at_most) {
  static const std::string kFeature = "{\"type\":\"Feature\",";
  const int fd = open_regular(path);
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
  const int fd = open_regular(path);
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

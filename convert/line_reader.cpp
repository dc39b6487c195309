#include "line_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "model.h"

namespace convert {

namespace {

constexpr size_t kFirstBuffer = size_t{64} << 10;

}  // namespace

LineReader::LineReader(std::string_view text) : rest_(text), end_of_file_(true) {}

LineReader::LineReader(int fd) : fd_(fd), buffer_(kFirstBuffer) { rest_ = std::string_view(buffer_.data(), 0); }

bool LineReader::next(std::string_view& line) {
  if (done_) return false;
  size_t searched = 0;
  for (;;) {
    const size_t lf = rest_.find('\n', searched);
    if (lf != std::string_view::npos) {
      line = rest_.substr(0, lf);
      rest_.remove_prefix(lf + 1);
      ++number_;
      feed_ = true;
      return true;
    }
    if (rest_.size() > kMaxLineBytes)
      throw LineFailure(number_ + 1, "is longer than " + std::to_string(kMaxLineBytes >> 20) +
                                         " MiB: this is no text of lines");
    searched = rest_.size();
    if (end_of_file_ || !fill()) break;
  }
  done_ = true;
  if (rest_.empty()) return false;
  line = rest_;
  rest_ = {};
  ++number_;
  feed_ = false;
  return true;
}

// Moves what is left to the buffer's start, grows the buffer when that
// fills half of it, and reads what fits after it. False at the end.
bool LineReader::fill() {
  const size_t kept = rest_.size();
  if (kept > 0 && rest_.data() != buffer_.data()) std::memmove(buffer_.data(), rest_.data(), kept);
  if (kept > buffer_.size() / 2) buffer_.resize(buffer_.size() * 2);
  for (;;) {
    const ssize_t n = ::read(fd_, buffer_.data() + kept, buffer_.size() - kept);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw Failure(std::string("cannot read: ") + std::strerror(errno));
    rest_ = std::string_view(buffer_.data(), kept + static_cast<size_t>(n));
    if (n == 0) end_of_file_ = true;
    return n > 0;
  }
}

InputText::InputText(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
  if (fd_ < 0) throw Failure(std::string("cannot open: ") + std::strerror(errno));
  struct stat st;
  if (fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd_);
    throw Failure(std::string("cannot open: ") + std::strerror(EISDIR));
  }
}

InputText::~InputText() { ::close(fd_); }

}  // namespace convert

#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace convert {

OutputFile::OutputFile(const std::string& path) : path_(path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string pattern = folder + "." + name + ".XXXXXX";
  fd_ = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd_ < 0) fail("create a file beside", errno);
  temp_path_ = pattern;
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temp_path_.empty()) ::unlink(temp_path_.c_str());
}

void OutputFile::fail(const char* doing, int error) {
  throw OutputFailure(std::string("cannot ") + doing + " " + path_ + ": " + std::strerror(error));
}

void OutputFile::write(const char* bytes, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd_, bytes, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("write", errno);
    }
    bytes += n;
    size -= static_cast<size_t>(n);
  }
}

void OutputFile::commit() {
  // mkstemp made the file private; give it the mode a new file gets.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (::fchmod(fd_, 0666 & ~mask) != 0) fail("write", errno);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) fail("write", errno);
  if (::rename(temp_path_.c_str(), path_.c_str()) != 0) fail("replace", errno);
  temp_path_.clear();
}

}  // namespace convert

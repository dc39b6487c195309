#include "progress.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>

namespace convert {

namespace {

// Short stages stay silent; a long one updates a few times a second.
constexpr std::chrono::milliseconds kQuietAtFirst{500};
constexpr std::chrono::milliseconds kInterval{200};

constexpr char kClearLine[] = "\r\033[K";

// Whether a progress line stands on the terminal, for a signal handler.
volatile sig_atomic_t line_shown = 0;

}  // namespace

void Progress::start(const std::string& what, uint64_t total) {
  finish();
  what_ = what;
  total_ = total;
  next_check_ = 0;
  started_ = std::chrono::steady_clock::now();
  last_shown_ = started_;
}

void Progress::show(uint64_t done) {
  // Checking the clock costs more than the steps themselves: look again
  // after another hundredth of the work.
  next_check_ = done + (total_ / 100 > 0 ? total_ / 100 : 1);
  const auto now = std::chrono::steady_clock::now();
  if (now - started_ < kQuietAtFirst || (written_ && now - last_shown_ < kInterval)) return;
  last_shown_ = now;
  const unsigned percent = total_ > 0 ? static_cast<unsigned>(done * 100 / total_) : 0;
  std::fprintf(stderr, "\risovar-convert: %s %3u%%", what_.c_str(), percent > 100 ? 100 : percent);
  std::fflush(stderr);
  written_ = true;
  line_shown = 1;
}

void Progress::finish() {
  if (!written_) return;
  std::fputs(kClearLine, stderr);
  std::fflush(stderr);
  written_ = false;
  line_shown = 0;
}

void clear_progress_line_from_signal() {
  if (line_shown) {
    const ssize_t ignored = write(STDERR_FILENO, kClearLine, sizeof kClearLine - 1);
    (void)ignored;
  }
}

}  // namespace convert

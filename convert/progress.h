// Progress of long conversions, on standard error when it is a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace convert {

class Progress {
 public:
  // shown: whether anything is ever written (a terminal on standard error).
  explicit Progress(bool shown) : shown_(shown) {}
  ~Progress() { finish(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // A new stage: what is being done, and how many steps make it whole.
  void start(const std::string& what, uint64_t total);
  // Steps done so far; cheap enough to call for every row.
  void advance(uint64_t done) {
    if (shown_ && done >= next_check_) show(done);
  }
  // Clears the line, if one was written.
  void finish();

 private:
  void show(uint64_t done);

  bool shown_;
  bool written_ = false;
  std::string what_;
  uint64_t total_ = 0;
  uint64_t next_check_ = 0;
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point last_shown_;
};

// Clears a progress line shown on the terminal, from a signal handler.
void clear_progress_line_from_signal();

}  // namespace convert

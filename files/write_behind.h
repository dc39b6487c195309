// Writing behind: an AtomicFile's bytes written by a thread of their own
// while the caller fills the next buffer, for a writer with tens of
// megabytes to write and more to do meanwhile (a large run's display list
// on every repaint).
//
// Nothing happens until the first full buffer is handed over: a small file
// costs no thread. From then until finish() the file belongs to the thread;
// finish() must come before the file is committed or abandoned. The file
// keeps its first failure as ever, for commit() to report.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace files {

class AtomicFile;

class WriteBehind {
 public:
  static constexpr std::size_t kBufferSize = std::size_t{1} << 20;

  explicit WriteBehind(AtomicFile& file) : file_(file) {}
  ~WriteBehind() { finish(); }
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // Hands over the first `used` bytes at data, which is the caller's own
  // memory the first time (copied) and afterwards the buffer the last call
  // gave; returns the buffer to fill next, kBufferSize bytes. Waits while
  // two buffers are still to be written. Where no thread or memory can be
  // had, the bytes are written here and data comes back, the caller's
  // buffer as before.
  unsigned char* hand_over(const unsigned char* data, std::size_t used);

  // Whether the thread was started (by the first buffer handed over).
  bool started() const { return started_; }

  // Writes what was handed over and ends the thread. The buffers stay
  // valid until the object goes.
  void finish();

 private:
  void run();

  bool start();

  static constexpr int kBuffers = 3;  // one filling, one being written, one waiting

  AtomicFile& file_;
  bool tried_ = false;    // the first hand-over tried to start the thread
  bool started_ = false;  // ... and did
  std::unique_ptr<unsigned char[]> buffers_[kBuffers];
  std::mutex mutex_;
  std::condition_variable changed_;
  // Buffers to write, in order (a ring), and buffers free to fill.
  std::pair<unsigned char*, std::size_t> full_[kBuffers];
  int full_first_ = 0, full_count_ = 0;
  unsigned char* free_[kBuffers];
  int free_count_ = 0;
  bool done_ = false;
  std::thread thread_;
};

}  // namespace files

#include "write_behind.h"

#include <cstring>
#include <system_error>

#include "atomic_file.h"

namespace files {

namespace {

// One buffer filling, one being written, one waiting: the writer never
// waits for the filler unless the filler is faster than the disk.
constexpr int kBuffers = 3;

}  // namespace

unsigned char* WriteBehind::hand_over(const unsigned char* data, std::size_t used) {
  if (!started_) {
    started_ = true;
    for (int b = 0; b < kBuffers; ++b) {
      buffers_.emplace_back(new unsigned char[kBufferSize]);
      free_.push_back(buffers_.back().get());
    }
    try {
      thread_ = std::thread(&WriteBehind::run, this);
      in_thread_ = true;
    } catch (const std::system_error&) {
      in_thread_ = false;  // written here, as without this object
    }
    // The caller's own memory, copied into one of ours.
    unsigned char* first = free_.back();
    free_.pop_back();
    if (used > 0) std::memcpy(first, data, used);
    data = first;
  }
  auto* buffer = const_cast<unsigned char*>(data);
  if (!in_thread_) {
    file_.write(buffer, used);
    return buffer;
  }
  queue(buffer, used);
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !free_.empty(); });
  unsigned char* next = free_.back();
  free_.pop_back();
  return next;
}

void WriteBehind::queue(unsigned char* buffer, std::size_t used) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    full_.emplace_back(buffer, used);
  }
  changed_.notify_all();
}

void WriteBehind::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return done_ || !full_.empty(); });
    if (full_.empty()) return;  // done, and nothing left
    const auto [buffer, used] = full_.front();
    full_.pop_front();
    lock.unlock();
    file_.write(buffer, used);
    lock.lock();
    free_.push_back(buffer);
    changed_.notify_all();
  }
}

void WriteBehind::finish() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

}  // namespace files

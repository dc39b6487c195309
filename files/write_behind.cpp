#include "write_behind.h"

#include <cstring>
#include <new>
#include <system_error>

#include "atomic_file.h"

namespace files {

bool WriteBehind::start() {
  for (auto& buffer : buffers_) {
    buffer.reset(new (std::nothrow) unsigned char[kBufferSize]);
    if (buffer == nullptr) return false;
  }
  for (auto& buffer : buffers_) free_[free_count_++] = buffer.get();
  try {
    thread_ = std::thread(&WriteBehind::run, this);
  } catch (const std::system_error&) {
    free_count_ = 0;
    return false;
  }
  return true;
}

unsigned char* WriteBehind::hand_over(const unsigned char* data, std::size_t used) {
  if (!tried_) {
    tried_ = true;
    started_ = start();
    if (!started_) {
      for (auto& buffer : buffers_) buffer.reset();
    } else {
      // The caller's own memory, copied into one of ours.
      std::lock_guard<std::mutex> lock(mutex_);
      unsigned char* first = free_[--free_count_];
      if (used > 0) std::memcpy(first, data, used);
      data = first;
    }
  }
  if (!started_) {
    file_.write(data, used);
    return const_cast<unsigned char*>(data);
  }
  std::unique_lock<std::mutex> lock(mutex_);
  full_[(full_first_ + full_count_++) % kBuffers] = {const_cast<unsigned char*>(data), used};
  changed_.notify_all();
  changed_.wait(lock, [this] { return free_count_ > 0; });
  return free_[--free_count_];
}

void WriteBehind::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return done_ || full_count_ > 0; });
    if (full_count_ == 0) return;  // done, and nothing left
    const auto [buffer, used] = full_[full_first_];
    full_first_ = (full_first_ + 1) % kBuffers;
    --full_count_;
    lock.unlock();
    file_.write(buffer, used);
    lock.lock();
    free_[free_count_++] = buffer;
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

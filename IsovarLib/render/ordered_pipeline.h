// Work cut into chunks that are prepared on several threads and consumed on
// the calling one in their order: the drawing of a large picture maps the
// next rows while the last ones are drawn, and what is drawn and recorded
// comes out in one order whatever the thread count.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace ordered_pipeline {

// Chunks 0 .. count - 1: prepare(chunk, slot) on any of up to `threads`
// threads (the caller's among them), consume(chunk, slot) on the caller's,
// in chunk order. Chunk c is prepared into slot c % window, which is not
// prepared again before chunk c is consumed: at most `window` chunks are
// ready or under way ahead of the one consumed. prepare must touch nothing
// but its slot and state no one changes meanwhile. Where no thread can be
// started, the caller prepares every chunk itself.
template <class Prepare, class Consume>
void run(int count, int threads, int window, Prepare&& prepare, Consume&& consume) {
  if (count <= 0) return;
  window = std::max(window, 1);
  const int helpers = std::min(std::max(threads, 1), std::min(count, window)) - 1;
  if (helpers <= 0) {
    for (int c = 0; c < count; ++c) {
      prepare(c, c % window);
      consume(c, c % window);
    }
    return;
  }
  std::mutex mutex;
  std::condition_variable changed;
  int next = 0;             // the next chunk to be claimed
  int consumed = 0;         // chunks consumed
  bool stopped = false;     // the consumer gave up (it threw)
  std::vector<int> ready(static_cast<size_t>(window), -1);  // the chunk each slot holds
  // Claims the next chunk that has a free slot and prepares it (the lock
  // held on entry and on return, not meanwhile); false where none can be.
  auto prepare_next = [&](std::unique_lock<std::mutex>& lock) {
    if (stopped || next >= count || next >= consumed + window) return false;
    const int c = next++;
    lock.unlock();
    prepare(c, c % window);
    lock.lock();
    ready[static_cast<size_t>(c % window)] = c;
    changed.notify_all();
    return true;
  };
  auto helper = [&] {
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopped && next < count)
      if (!prepare_next(lock)) changed.wait(lock);
  };
  std::vector<std::thread> pool;
  for (int h = 0; h < helpers; ++h) {
    try {
      pool.emplace_back(helper);
    } catch (const std::system_error&) {
      break;  // the threads there do the work
    }
  }
  auto join = [&] {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopped = true;
    }
    changed.notify_all();
    for (std::thread& t : pool) t.join();
  };
  try {
    for (int c = 0; c < count; ++c) {
      {
        std::unique_lock<std::mutex> lock(mutex);
        while (ready[static_cast<size_t>(c % window)] != c)
          if (!prepare_next(lock)) changed.wait(lock);
      }
      consume(c, c % window);
      {
        std::lock_guard<std::mutex> lock(mutex);
        consumed = c + 1;
      }
      changed.notify_all();
    }
  } catch (...) {
    join();
    throw;
  }
  join();
}

}  // namespace ordered_pipeline

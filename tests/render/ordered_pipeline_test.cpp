// Chunks prepared on several threads and consumed in order: every chunk
// once, in its order, with what its own preparation left in its slot, for
// thread counts and windows small and large; a consumer that throws stops
// the helpers and the exception reaches the caller.
#include "render/ordered_pipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Case {
  int count, threads, window;
};

TEST(OrderedPipeline, ConsumesEveryChunkInOrderWithItsOwnPreparation) {
  for (const Case& c : {Case{0, 2, 4}, Case{1, 3, 4}, Case{7, 1, 3}, Case{50, 2, 1}, Case{500, 2, 8},
                        Case{300, 4, 2}, Case{64, 9, 64}}) {
    const std::string what = std::to_string(c.count) + " chunks, " + std::to_string(c.threads) + " threads, window " +
                             std::to_string(c.window);
    std::vector<std::vector<int>> slots(static_cast<size_t>(c.window));
    std::vector<int> consumed;
    std::atomic<int> prepared{0}, done{0};
    ordered_pipeline::run(
        c.count, c.threads, c.window,
        [&](int chunk, int slot) {
          EXPECT_LT(chunk, done.load() + c.window) << what << ": its slot is not free yet";
          // Sizes that differ from chunk to chunk: a slot read too early
          // or prepared again too soon shows.
          std::vector<int>& s = slots[static_cast<size_t>(slot)];
          s.assign(static_cast<size_t>(chunk % 5 + 1), chunk);
          ++prepared;
        },
        [&](int chunk, int slot) {
          const std::vector<int>& s = slots[static_cast<size_t>(slot)];
          EXPECT_EQ(slot, chunk % c.window) << what;
          EXPECT_EQ(s, std::vector<int>(static_cast<size_t>(chunk % 5 + 1), chunk)) << what << ", chunk " << chunk;
          consumed.push_back(chunk);
          // A slow consumer: the helpers get ahead as far as they may.
          std::this_thread::sleep_for(std::chrono::microseconds(20));
          ++done;
        });
    EXPECT_EQ(prepared.load(), c.count) << what;
    ASSERT_EQ(consumed.size(), static_cast<size_t>(c.count)) << what;
    for (int k = 0; k < c.count; ++k) EXPECT_EQ(consumed[static_cast<size_t>(k)], k) << what;
  }
}

TEST(OrderedPipeline, AConsumerThatThrowsStopsTheWork) {
  std::atomic<int> prepared{0};
  EXPECT_THROW(ordered_pipeline::run(
                   10000, 3, 4, [&](int, int) { ++prepared; },
                   [](int chunk, int) {
                     if (chunk == 5) throw std::runtime_error("stop");
                   }),
               std::runtime_error);
  // The window bounds what was prepared beyond the failed chunk.
  EXPECT_LE(prepared.load(), 5 + 1 + 4);
}

}  // namespace

// Four different models, each traced and drawn by its own run on its own
// thread, many times at once: every run gives what it gives alone. Built
// with ThreadSanitizer too (scripts/tsan.sh), where it must report nothing.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "IsovarLib.h"
#include "model_arrays.h"
#include "run_outcome.h"
#include "test_support.h"

using testing_support::TempDir;

namespace {

struct Job {
  ModelArrays arrays;
  int32_t large;
  bool fill;
};

}  // namespace

TEST(Threads, FourModelsOnFourThreadsGiveWhatEachGivesAlone) {
  constexpr int kRounds = 200;
  std::mt19937 rng(25);
  std::vector<Job> jobs;
  jobs.push_back({random_arrays(rng, 1), 0, false});  // a grid
  jobs.push_back({random_arrays(rng, 2), 0, false});  // a mesh
  jobs.push_back({random_arrays(rng, 3), 1, false});  // a grid in large mode
  jobs.push_back({random_arrays(rng, 5), 0, true});   // a grid with filled bands
  TempDir dir;
  std::vector<IsovarModel*> models;
  std::vector<RunOutcome> alone;
  for (size_t j = 0; j < jobs.size(); ++j) {
    char err[ISOVAR_ERRMSG_SIZE] = {};
    models.push_back(isovarModelNew());
    ASSERT_EQ(jobs[j].arrays.build(models[j], jobs[j].large, err), 0) << err;
    IsovarRun* run = isovarRunNew();
    alone.push_back(run_objects(run, models[j], jobs[j].fill, dir.file("alone" + std::to_string(j))));
    isovarRunFree(run);
    ASSERT_EQ(alone[j].result, 0) << alone[j].message;
    ASSERT_FALSE(alone[j].lines.empty());
  }
  std::vector<int> mismatches(jobs.size(), 0);
  std::vector<std::string> first(jobs.size());
  std::vector<std::thread> threads;
  for (size_t j = 0; j < jobs.size(); ++j) {
    threads.emplace_back([&, j] {
      IsovarRun* run = isovarRunNew();
      for (int round = 0; round < kRounds; ++round) {
        const RunOutcome now = run_objects(run, models[j], jobs[j].fill, dir.file("thread" + std::to_string(j)));
        if (now == alone[j]) continue;
        if (mismatches[j]++ == 0) {
          first[j] = now.message + (now.pixels != alone[j].pixels ? " pixels" : "") +
                     (now.display_list != alone[j].display_list ? " display list" : "") +
                     (now.lines != alone[j].lines ? " lines" : "") + (now.isolines != alone[j].isolines ? " isolines" : "") +
                     (now.bands != alone[j].bands ? " bands" : "");
        }
      }
      isovarRunFree(run);
    });
  }
  for (std::thread& t : threads) t.join();
  for (size_t j = 0; j < jobs.size(); ++j) EXPECT_EQ(mismatches[j], 0) << "model " << j << ", first:" << first[j];
  for (IsovarModel* m : models) isovarModelFree(m);
}

// Runs the tests with the current directory in a fresh temporary folder, so
// the run log and display lists a plot run writes there never land in the
// source tree.
#include <gtest/gtest.h>
#include <unistd.h>

#include "test_support.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing_support::TempDir dir;
  if (chdir(dir.path().c_str()) != 0) return 1;
  int result = RUN_ALL_TESTS();
  if (chdir("/") != 0) return 1;
  return result;
}

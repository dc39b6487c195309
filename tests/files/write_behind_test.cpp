// Writing behind: what is handed over reaches the file whole and in order,
// whatever the pieces, and a failed write is reported when committing.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "test_support.h"
#include "write_behind.h"

namespace {

TEST(WriteBehind, WritesEveryPieceInOrderAndReportsFailures) {
  const std::size_t full = files::WriteBehind::kBufferSize;
  struct Case {
    std::vector<std::size_t> pieces;
    const char* path;  // a device is written directly: /dev/full fails every write
    int committed;
  };
  const std::vector<Case> cases = {
      {{}, "none", 0},                                // nothing handed over: no thread
      {{0, 10}, "small", 0},                          // less than the file's own buffer
      {{full, full, full, full, full, 17}, "many", 0},  // more buffers than there are
      {{100, full, 0, 5000, full - 1, 1}, "mixed", 0},
      {{full, full, 10}, "/dev/full", ENOSPC},
  };
  testing_support::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const std::string path = c.path[0] == '/' ? c.path : dir.file(c.path);
    files::AtomicFile out;
    ASSERT_EQ(out.open(path.c_str(), files::Target::kNamedByUser), 0);
    // The first piece in the caller's own buffer (copied), the rest in the
    // buffers handed back.
    std::vector<unsigned char> own(full);
    unsigned char* buffer = own.data();
    std::string expected;
    {
      files::WriteBehind behind(out);
      for (const std::size_t size : c.pieces) {
        for (std::size_t i = 0; i < size; ++i) expected.push_back(static_cast<char>(buffer[i] = expected.size() % 251));
        buffer = behind.hand_over(buffer, size);
        own.assign(full, 0);
      }
    }
    ASSERT_EQ(out.commit(), c.committed);
    if (c.committed == 0) {
      EXPECT_EQ(testing_support::read_file(path), expected);
    }
  }
}

}  // namespace

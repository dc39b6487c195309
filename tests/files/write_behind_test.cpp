// Writing behind: what is handed over reaches the file whole and in order,
// whatever the pieces, and a failed write is reported when committing.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "test_support.h"
#include "write_behind.h"

using files::AtomicFile;
using files::Target;
using files::WriteBehind;
using testing_support::read_file;
using testing_support::TempDir;

namespace {

// Writes pieces of the given sizes through a WriteBehind as a display list
// does: the first into the caller's own buffer, the rest into the buffers
// it gives back, each piece's bytes counting on from the last. The bytes
// expected.
std::string write_pieces(AtomicFile& out, const std::vector<std::size_t>& sizes) {
  std::string expected;
  std::vector<unsigned char> own(WriteBehind::kBufferSize);
  unsigned char* buffer = own.data();
  WriteBehind behind(out);
  for (const std::size_t size : sizes) {
    for (std::size_t i = 0; i < size; ++i) {
      buffer[i] = static_cast<unsigned char>((expected.size() * 7 + 3) % 251);
      expected.push_back(static_cast<char>(buffer[i]));
    }
    buffer = behind.hand_over(buffer, size);
    std::memset(own.data(), 0, own.size());  // the first piece was copied
  }
  behind.finish();
  return expected;
}

TEST(WriteBehind, WritesEveryPieceInOrder) {
  const std::size_t full = WriteBehind::kBufferSize;
  const std::vector<std::vector<std::size_t>> cases = {
      {},                                   // nothing handed over: no thread
      {0},                                  // an empty buffer
      {10},                                 // less than the file's own buffer
      {full, full, full, full, full, 17},   // more buffers than there are
      {100, full, 0, 5000, full - 1, 1},    // small pieces between full ones
  };
  TempDir dir;
  for (std::size_t c = 0; c < cases.size(); ++c) {
    SCOPED_TRACE(c);
    const std::string path = dir.file("out" + std::to_string(c));
    AtomicFile out;
    ASSERT_EQ(out.open(path.c_str(), Target::kNamedByUser), 0);
    const std::string expected = write_pieces(out, cases[c]);
    ASSERT_EQ(out.commit(), 0);
    EXPECT_EQ(read_file(path), expected);
  }
}

TEST(WriteBehind, AFailedWriteIsReportedWhenCommitting) {
  // A device is written directly: /dev/full fails every write.
  AtomicFile out;
  ASSERT_EQ(out.open("/dev/full", Target::kNamedByUser), 0);
  write_pieces(out, {WriteBehind::kBufferSize, WriteBehind::kBufferSize, 10});
  EXPECT_EQ(out.commit(), ENOSPC);
}

}  // namespace

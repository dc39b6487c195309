// Physical lines, records and tokens.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "input/reader.h"
#include "read_helper.h"

namespace {

using testing_support::TempDir;
using testing_support::write_file;

// Every (line number, record) read_record hands out for a file's bytes.
std::vector<std::pair<int, std::string>> records_of(const std::string& bytes) {
  TempDir dir;
  write_file(dir.file("r.iso"), bytes);
  static InputFile in;
  EXPECT_EQ(open_input(in, dir.file("r.iso").c_str()), 0);
  reader_state.line_number = 0;
  std::vector<std::pair<int, std::string>> out;
  char record[kRecordSize];
  while (read_record(in, record) == 0) out.emplace_back(reader_state.line_number, record);
  close_input(in);
  return out;
}

TEST(Records, CommentsBlankLinesAndCaseFolding) {
  auto r = records_of("# heading\n\n*MODEL Fem # kind\n   \n#\n1,2\t3#x\nlast");
  std::vector<std::pair<int, std::string>> want = {{3, "*model fem "}, {4, "   "}, {6, "1,2\t3"}, {7, "last"}};
  EXPECT_EQ(r, want);
}

TEST(Records, LongLinesAreReadIn254BytePieces) {
  // The rest of a long comment is not a comment any more.
  std::string comment = "#" + std::string(253, 'c') + "TAIL\n";
  auto r = records_of(comment + std::string(254, 'a') + "\n" + "x\n");
  std::vector<std::pair<int, std::string>> want = {{2, "tail"}, {3, std::string(254, 'a')}, {5, "x"}};
  EXPECT_EQ(r, want);
}

TEST(Records, CarriageReturnLineFeedReadsLikeLineFeed) {
  // Lengths around the 254-byte piece, where a CR LF pair may fall on
  // either side of the cut.
  std::string lf, crlf;
  for (int len : {0, 1, 252, 253, 254, 255, 300, 507, 508, 509}) {
    std::string body(static_cast<size_t>(len), 'v');
    if (len > 0) body[0] = 'a' + static_cast<char>(len % 26);
    lf += body + "\n";
    crlf += body + "\r\n";
  }
  lf += "lone\rcr\n";
  crlf += "lone\rcr\r\n";
  EXPECT_EQ(records_of(crlf), records_of(lf));
  EXPECT_EQ(records_of(lf).back().second, "lone\rcr");
}

TEST(Records, ReadingFromAFolderOrMissingFileFails) {
  TempDir dir;
  InputFile in;
  EXPECT_EQ(open_input(in, dir.path().c_str()), -1);
  EXPECT_EQ(open_input(in, dir.file("missing").c_str()), -1);
}

TEST(Tokens, SeparatorsAndLimits) {
  struct Case {
    const char* record;
    int max_tokens, max_len, count;
    std::vector<std::string> tokens;
  } cases[] = {
      {"", 3, 19, 0, {"", "", ""}},
      {" ,\t, ", 3, 19, 0, {"", "", ""}},
      {",1,,\t2  3 4", 3, 19, 3, {"1", "2", "3"}},
      {"*x 10", 2, 15, 2, {"*x", "10"}},
      {"123456789 1 2 3", 5, 9, 5, {"12345678", "9", "1", "2", "3"}},
      {"*abcdefghijklmnopq", 2, 15, 2, {"*abcdefghijklm", "nopq"}},
  };
  for (const Case& c : cases) {
    // One flat block, as the readers lay their token slots out.
    char slots[5 * 19];
    std::memset(slots, 'Z', sizeof slots);
    ASSERT_LE(c.max_len, 19);
    int n = split_tokens(c.record, slots, c.max_tokens, c.max_len);
    EXPECT_EQ(n, c.count) << c.record;
    for (int t = 0; t < c.max_tokens; ++t) EXPECT_EQ(slots + t * c.max_len, c.tokens[t]) << c.record;
  }
}

}  // namespace

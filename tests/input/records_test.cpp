// Physical lines, records and tokens.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "default_objects.h"
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
  std::vector<std::pair<int, std::string>> out;
  char record[kRecordSize];
  while (read_record(in, record) == 0) out.emplace_back(in.line_number, record);
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


// The reader's fast paths against the plain byte-by-byte way of reading
// records and tokens, on random files: bytes that end, cut or fold a record
// (line feeds, carriage returns, NUL, '#', capitals, code page 932 lead
// bytes), lines across the 254-byte pieces and the 64 KiB buffer.
int plain_record(InputFile& in, char* record, int& lines) {
  for (;;) {
    if (read_line_piece(in, record, kRecordSize) < 0) return -1;
    ++lines;
    for (char* p = record; *p != '\0'; ++p) {
      if (*p == '#' || *p == '\n') {
        *p = '\0';
        break;
      }
      if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
    }
    if (record[0] != '\0') return 0;
  }
}

int plain_tokens(const char* record, char* tokens, int max_tokens, int max_len) {
  auto separator = [](char c) { return c == ' ' || c == '\t' || c == ','; };
  for (int t = 0; t < max_tokens; ++t) tokens[t * max_len] = '\0';
  int count = 0;
  while (count < max_tokens) {
    while (separator(*record)) ++record;
    if (*record == '\0') break;
    char* slot = tokens + count * max_len;
    int n = 0;
    while (*record != '\0' && !separator(*record) && n < max_len - 1) slot[n++] = *record++;
    slot[n] = '\0';
    ++count;
  }
  return count;
}

TEST(Records, FastPathsReadAsThePlainWay) {
  std::mt19937 rng(12);
  const char alphabet[] = "aZ#\r\n\0 ,\t\x82\xA0" "1.-E";
  for (int round = 0; round < 20; ++round) {
    std::string bytes;
    while (bytes.size() < 150000) {
      const int len = static_cast<int>(rng() % 8 == 0 ? rng() % 600 : rng() % 40);
      for (int i = 0; i < len; ++i) bytes += alphabet[rng() % (sizeof alphabet - 1)];
      bytes += rng() % 4 == 0 ? "\r\n" : "\n";
    }
    if (round % 2 == 1) bytes.pop_back();  // no line feed at the end
    TempDir dir;
    write_file(dir.file("r.iso"), bytes);
    static InputFile fast, plain;
    ASSERT_EQ(open_input(fast, dir.file("r.iso").c_str()), 0);
    ASSERT_EQ(open_input(plain, dir.file("r.iso").c_str()), 0);
    int plain_lines = 0;
    char a[kRecordSize], b[kRecordSize];
    for (int n = 0;; ++n) {
      const int ra = read_record(fast, a);
      const int rb = plain_record(plain, b, plain_lines);
      ASSERT_EQ(ra, rb) << round << " record " << n;
      if (ra != 0) break;
      ASSERT_STREQ(a, b) << round << " record " << n;
      ASSERT_EQ(fast.line_number, plain_lines) << round << " record " << n;
      const int max_tokens = 1 + static_cast<int>(rng() % 5);
      const int max_len = 2 + static_cast<int>(rng() % 18);
      char ta[5 * 19], tb[5 * 19];
      std::memset(ta, 'x', sizeof ta);
      std::memset(tb, 'x', sizeof tb);
      ASSERT_EQ(split_tokens(a, ta, max_tokens, max_len), plain_tokens(b, tb, max_tokens, max_len));
      for (int t = 0; t < max_tokens; ++t) ASSERT_STREQ(ta + t * max_len, tb + t * max_len) << a;
    }
    close_input(fast);
    close_input(plain);
  }
}

}  // namespace

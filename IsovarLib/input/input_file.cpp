// Records and tokens: the input file read through one fixed buffer, cut into
// physical lines, records and tokens.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

#include "input/reader.h"

namespace {

// Reads more of the file into the buffer once every byte of it was handed
// out. False at the end of the file; a read error counts as the end.
bool refill(InputFile& in) {
  if (in.at_eof || in.fd < 0) return false;
  ssize_t n;
  do {
    n = ::read(in.fd, in.buffer, sizeof in.buffer);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) {
    in.at_eof = true;
    return false;
  }
  in.pos = 0;
  in.end = static_cast<int32_t>(n);
  return true;
}

// Byte classes for the token scan: 1 separates tokens, 2 ends the record.
struct ByteClasses {
  uint8_t of[256];
  constexpr ByteClasses() : of() {
    of[static_cast<unsigned char>(' ')] = 1;
    of[static_cast<unsigned char>('\t')] = 1;
    of[static_cast<unsigned char>(',')] = 1;
    of[0] = 2;
  }
};
constexpr ByteClasses kClasses;

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighs = 0x8080808080808080ull;

// The high bit of every byte of v that is zero; bits above the lowest may
// be set wrongly (a borrow runs upwards), the lowest is exact.
inline uint64_t zero_bytes(uint64_t v) { return (v - kOnes) & ~v & kHighs; }

// The high bit of every byte of v from 'A' to 'Z'.
inline uint64_t upper_bytes(uint64_t v) {
  const uint64_t low7 = v & ~kHighs;
  const uint64_t from_a = low7 + kOnes * (0x80 - 'A');        // high bit: low7 >= 'A'
  const uint64_t past_z = low7 + kOnes * (0x80 - ('Z' + 1));  // high bit: low7 > 'Z'
  return from_a & ~past_z & ~v & kHighs;
}

// Copies a record's n bytes (its line feed and a carriage return before it
// already left out) from src to dst as read_record hands it out: cut at the
// first '#' or NUL, A to Z in lower case, NUL-terminated. Eight bytes at a
// time while eight are left.
void copy_record(const char* src, int n, char* dst) {
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t v;
    std::memcpy(&v, src + i, 8);
    const uint64_t stop = zero_bytes(v) | zero_bytes(v ^ (kOnes * '#'));
    v |= upper_bytes(v) >> 2;  // 'A' + 0x20 is 'a'
    std::memcpy(dst + i, &v, 8);
    if (stop != 0) {
      dst[i + (__builtin_ctzll(stop) >> 3)] = '\0';
      return;
    }
  }
  for (; i < n; ++i) {
    const char c = src[i];
    if (c == '#' || c == '\0') break;
    dst[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  dst[i] = '\0';
}

}  // namespace

int open_input(InputFile& in, const char* path) {
  in.fd = -1;
  in.line_number = 0;
  in.pos = in.end = 0;
  in.at_eof = false;
  if (path == nullptr) return -1;
  int fd;
  do {
    fd = ::open(path, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  // A folder opens on this platform but holds no lines: refuse it like any
  // other path that is not a readable file.
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  in.fd = fd;
  return 0;
}

void close_input(InputFile& in) {
  if (in.fd >= 0) ::close(in.fd);
  in.fd = -1;
  in.pos = in.end = 0;
  in.at_eof = true;
}

int read_line_piece(InputFile& in, char* line, int cap) {
  const int limit = cap - 1;
  int n = 0;
  bool ended = false;  // the piece took its line feed
  while (n < limit) {
    if (in.pos == in.end && !refill(in)) break;
    const char* from = in.buffer + in.pos;
    int take = in.end - in.pos;
    if (take > limit - n) take = limit - n;
    const void* lf = std::memchr(from, '\n', static_cast<size_t>(take));
    if (lf != nullptr) {
      take = static_cast<int>(static_cast<const char*>(lf) - from) + 1;
      ended = true;
    }
    std::memcpy(line + n, from, static_cast<size_t>(take));
    in.pos += take;
    n += take;
    if (ended) break;
  }
  if (n == 0) return -1;
  if (ended) {
    if (n >= 2 && line[n - 2] == '\r') {
      line[n - 2] = '\n';
      --n;
    }
  } else if (line[n - 1] == '\r') {
    // The piece is full and ends in a carriage return: when its line feed
    // follows, the pair ends this piece, as a lone line feed would have.
    if (in.pos < in.end || refill(in)) {
      if (in.buffer[in.pos] == '\n') {
        ++in.pos;
        line[n - 1] = '\n';
      }
    }
  }
  line[n] = '\0';
  return n;
}

void take_line(InputFile& in, int bytes) {
  in.pos += bytes;
  if (in.line_number < INT32_MAX) ++in.line_number;
}

int read_record(InputFile& in, char* record) {
  for (;;) {
    // The common case: the whole line, feed and all, is in the buffer and
    // fits one piece; it is copied once, eight bytes at a time.
    const int avail = in.end - in.pos;
    const int span = avail < kRecordSize - 1 ? avail : kRecordSize - 1;
    const char* from = in.buffer + in.pos;
    const void* lf = span > 0 ? std::memchr(from, '\n', static_cast<size_t>(span)) : nullptr;
    if (lf != nullptr) {
      int n = static_cast<int>(static_cast<const char*>(lf) - from);
      in.pos += n + 1;
      if (n > 0 && from[n - 1] == '\r') --n;
      copy_record(from, n, record);
      if (in.line_number < INT32_MAX) ++in.line_number;
      if (record[0] != '\0') return 0;
      continue;
    }
    if (read_line_piece(in, record, kRecordSize) < 0) return -1;
    if (in.line_number < INT32_MAX) ++in.line_number;
    char* p = record;
    for (; *p != '\0'; ++p) {
      char c = *p;
      if (c == '#' || c == '\n') {
        *p = '\0';
        break;
      }
      if (c >= 'A' && c <= 'Z') *p = static_cast<char>(c - 'A' + 'a');
    }
    if (record[0] != '\0') return 0;
  }
}

int split_tokens(const char* record, char* tokens, int max_tokens, int max_len) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(record);
  int count = 0;
  while (count < max_tokens) {
    while (kClasses.of[*p] == 1) ++p;
    if (*p == '\0') break;
    int n = 0;
    while (n < max_len - 1 && kClasses.of[p[n]] == 0) ++n;
    char* slot = tokens + count * max_len;
    std::memcpy(slot, p, static_cast<size_t>(n));
    slot[n] = '\0';
    p += n;
    ++count;
  }
  for (int t = count; t < max_tokens; ++t) tokens[t * max_len] = '\0';
  return count;
}

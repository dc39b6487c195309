// Records and tokens: the input file read through one fixed buffer, cut into
// physical lines, records and tokens.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
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

bool is_separator(char c) { return c == ' ' || c == '\t' || c == ','; }

}  // namespace

int open_input(InputFile& in, const char* path) {
  in.fd = -1;
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

int read_record(InputFile& in, char* record) {
  for (;;) {
    if (read_line_piece(in, record, kRecordSize) < 0) return -1;
    if (reader_state.line_number < INT32_MAX) ++reader_state.line_number;
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
  for (int t = 0; t < max_tokens; ++t) tokens[t * max_len] = '\0';
  const char* p = record;
  int count = 0;
  while (count < max_tokens) {
    while (is_separator(*p)) ++p;
    if (*p == '\0') break;
    char* slot = tokens + count * max_len;
    int n = 0;
    while (*p != '\0' && !is_separator(*p) && n < max_len - 1) slot[n++] = *p++;
    slot[n] = '\0';
    ++count;
  }
  return count;
}

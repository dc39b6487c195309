// Lines of a text source, one at a time: a file is read in pieces, so that
// it costs the longest line, not the file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace convert {

// A line longer than this is refused: no table or mesh has one.
constexpr size_t kMaxLineBytes = size_t{16} << 20;

class LineReader {
 public:
  // Lines of text held in memory.
  explicit LineReader(std::string_view text);
  // Lines of the open file fd (not closed here); messages name the reading
  // failure with the system's reason.
  explicit LineReader(int fd);
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next line, without its line feed (a carriage return before it
  // stays); false at the end. The text stays valid until the next call.
  // Throws Failure when the file cannot be read and LineFailure for a line
  // longer than kMaxLineBytes.
  bool next(std::string_view& line);
  // The 1-based number of the line next() gave last.
  int64_t number() const { return number_; }
  // Whether that line ended with a line feed (only the last one may not).
  bool had_feed() const { return feed_; }

 private:
  bool fill();

  int fd_ = -1;
  std::string_view rest_;   // what is left of the text, or of the buffer
  std::vector<char> buffer_;
  bool end_of_file_ = false;
  bool done_ = false;
  bool feed_ = false;
  int64_t number_ = 0;
};

// An input file opened for reading line by line; a folder is refused here,
// where reading it would fail with a less plain reason. Throws Failure with
// the system's reason.
class InputText {
 public:
  explicit InputText(const std::string& path);
  ~InputText();
  InputText(const InputText&) = delete;
  InputText& operator=(const InputText&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace convert

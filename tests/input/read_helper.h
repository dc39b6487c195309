// Reading test files through the reader.
#pragma once

#include <string>

#include "test_support.h"

struct ReadResult {
  int result;
  std::string message;  // code page 932, empty after a successful read
};

// Writes bytes as a file in a fresh folder and reads it with ReadIsovarFile.
// With fresh, the model store is cleared first, as in a new process.
ReadResult read_text(const std::string& bytes, bool fresh = true);

// A failing read case: the file's text and the message it must give, typed
// here in UTF-8 and converted independently of the library's tables.
struct FailCase {
  const char* name;
  std::string file;
  std::string message_utf8;
};

// Runs every case and reports each mismatch by its name.
void expect_failures(const FailCase* cases, size_t count);

template <size_t N>
void expect_failures(const FailCase (&cases)[N]) {
  expect_failures(cases, N);
}

// n lines, each the text of f(i) for i = 1 .. n.
template <typename F>
std::string lines(int n, F f) {
  std::string s;
  for (int i = 1; i <= n; ++i) s += f(i) + "\n";
  return s;
}

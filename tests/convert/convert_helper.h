// Converted models written out and read back with the library's reader.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "line_reader.h"
#include "test_support.h"
#include "writer.h"

// The input file text of a model and a header.
std::string converted(const convert::Model& model, const convert::Header& header = {});

// Reads text with the library's reader into the model store: an empty text
// when it is accepted, else the reader's message (in UTF-8).
std::string read_back(const std::string& text);

// What parse makes of text written to a file and read back line by line
// (through a pipe when piped, which hands it over in small pieces).
template <typename Parse>
auto from_file(const std::string& text, Parse parse, bool piped = false) {
  testing_support::TempDir dir;
  const std::string path = dir.file("source");
  testing_support::write_file(path, text);
  const std::string command = "cat '" + path + "'";
  FILE* pipe = piped ? popen(command.c_str(), "r") : nullptr;
  const int fd = piped ? fileno(pipe) : open(path.c_str(), O_RDONLY);
  struct Closer {
    int fd;
    FILE* pipe;
    ~Closer() { pipe != nullptr ? pclose(pipe) : close(fd); }
  } closer{fd, pipe};
  convert::LineReader lines(fd);
  return parse(lines);
}

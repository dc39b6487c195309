#include "read_helper.h"

#include <gtest/gtest.h>

#include <cstring>

#include "default_objects.h"
#include "default_objects.h"

ReadResult read_text(const std::string& bytes, bool fresh) {
  if (fresh) clear_model_store();
  testing_support::TempDir dir;
  const std::string path = dir.file("model.iso");
  testing_support::write_file(path, bytes);
  char err[256];
  std::memset(err, 0, sizeof err);
  const int result = ReadIsovarFile(path.c_str(), err);
  return {result, result == 0 ? std::string() : std::string(err)};
}

void expect_failures(const FailCase* cases, size_t count) {
  for (size_t c = 0; c < count; ++c) {
    const FailCase& fc = cases[c];
    ReadResult r = read_text(fc.file);
    EXPECT_EQ(r.result, -1) << fc.name;
    EXPECT_EQ(r.message, testing_support::cp932(fc.message_utf8))
        << fc.name << ": got " << testing_support::utf8(r.message);
  }
}

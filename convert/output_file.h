// An output file that replaces its target only once it is complete.
#pragma once

#include <string>

#include "model.h"
#include "writer.h"

namespace convert {

// A failure to write the output; the message names the file.
struct OutputFailure : Failure {
  using Failure::Failure;
};

// Written under a temporary name made exclusively in the target's folder,
// every write checked, then closed and renamed over the target by commit().
// Dropped without commit(), the temporary file is removed. Failures throw
// OutputFailure with the system's reason.
class OutputFile : public TextSink {
 public:
  explicit OutputFile(const std::string& path);
  ~OutputFile() override;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void write(const char* bytes, size_t size) override;
  void commit();

 private:
  [[noreturn]] void fail(const char* doing, int error);

  std::string path_;
  std::string temp_path_;
  int fd_ = -1;
};

}  // namespace convert

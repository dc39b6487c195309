// An output file that replaces its target only once it is complete.
#pragma once

#include <string>

#include "atomic_file.h"
#include "model.h"
#include "writer.h"

namespace convert {

// A failure to write the output; the message names the file.
struct OutputFailure : Failure {
  using Failure::Failure;
};

// Written through the write core (files/atomic_file.h): under a temporary
// name made exclusively in the target's folder, every write checked, then
// renamed over the target by commit(). Dropped without commit(), the
// temporary file is removed. Failures throw OutputFailure naming the file
// and the system's reason.
class OutputFile : public TextSink {
 public:
  explicit OutputFile(const std::string& path);
  ~OutputFile() override;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void write(const char* bytes, size_t size) override;
  void commit();

 private:
  [[noreturn]] void fail(int error);

  std::string path_;
  files::AtomicFile file_;
};

}  // namespace convert

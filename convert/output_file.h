// The output: a file that replaces its target only once it is complete, or
// standard output.
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

// Whether path names standard output: "-", or the file standard output is
// open on (/dev/stdout, or a file the shell redirected it to).
bool is_standard_output(const std::string& path);

// SIGINT, SIGTERM and SIGHUP from now on remove the output's temporary file
// (and the progress line) before the program ends as the signal would end
// it.
void remove_temporary_on_ending_signals();

// A file is written through the write core (files/atomic_file.h): under a
// temporary name made exclusively in the target's folder, every write
// checked, then renamed over the target by commit(); dropped without
// commit(), the temporary file is removed. The temporary files that killed
// runs left beside the target (their writer's lock is free) are removed when
// the output opens. Standard output is written directly.
//
// Failures throw OutputFailure naming the file and the system's reason.
class OutputFile : public TextSink {
 public:
  explicit OutputFile(const std::string& path);
  ~OutputFile() override;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void write(const char* bytes, size_t size) override;
  void commit();

  // The temporary files of interrupted runs removed when the output opened.
  int stale_removed() const { return stale_removed_; }

 private:
  [[noreturn]] void fail(int error);

  std::string path_;
  bool standard_output_;
  files::AtomicFile file_;
  int stale_removed_ = 0;
};

}  // namespace convert

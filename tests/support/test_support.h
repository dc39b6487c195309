// Helpers shared by the tests.
#pragma once

#include <set>
#include <string>

namespace testing_support {

// The code page 932 bytes of a UTF-8 text, converted independently of the
// library's own tables, so a typo in either shows up.
std::string cp932(const std::string& utf8);

// The UTF-8 text of code page 932 bytes.
std::string utf8(const std::string& cp932_bytes);

// A new empty folder under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string read_file(const std::string& path);
// The standard output of a shell command ("" when it cannot be started).
std::string run_command(const std::string& command);
void write_file(const std::string& path, const std::string& bytes);
bool file_exists(const std::string& path);
// The names in a folder (hidden ones too).
std::set<std::string> names_in(const std::string& folder);

// A file under the source tree, e.g. source_path("examples/plate.isovar").
std::string source_path(const std::string& relative);

}  // namespace testing_support

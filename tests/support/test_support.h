// Helpers shared by the tests.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace testing_support {

// The code page 932 bytes of a UTF-8 text, converted independently of the
// library's own tables, so a typo in either shows up.
std::string cp932(const std::string& utf8);

// The UTF-8 text of code page 932 bytes.
std::string utf8(const std::string& cp932_bytes);
// The same for any bytes: iconv's answer, U+FFFD for each byte it refuses
// and on with the next one.
std::string utf8_with_replacements(const std::string& cp932_bytes);

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

// A program run to its end: its exit status (-1 when it did not exit) and
// what it wrote to standard output and error.
struct ProgramResult {
  int status = -1;
  std::string out;
  std::string err;
};
// Runs program with args in folder, standard input from /dev/null and its
// output kept elsewhere; child_setup (limits, environment, another standard
// input) runs in the child just before the program starts.
ProgramResult run_program(const std::string& program, const std::string& folder,
                          const std::vector<std::string>& args, const std::function<void()>& child_setup = {});
void write_file(const std::string& path, const std::string& bytes);
bool file_exists(const std::string& path);
// The names in a folder (hidden ones too).
std::set<std::string> names_in(const std::string& folder);

// A file under the source tree, e.g. source_path("examples/plate.isovar").
std::string source_path(const std::string& relative);

// The numbers of an SVG path's data (or any text), in order.
std::vector<double> path_numbers(const std::string& d);

}  // namespace testing_support

// Writing a file as a whole: every file the programs write goes through here.
//
// The new content goes to a temporary file created exclusively, under an
// unpredictable name, in the target's folder; every write and the close are
// checked, and only a complete file is renamed over the target. On any
// failure the temporary file is removed and the target keeps its old bytes.
// Failures are the system's error numbers (errno values), so callers can
// name the reason with strerror.
//
//   files::AtomicFile out;
//   if (int err = out.open(path, files::Target::kNamedByUser)) return report_open(err);
//   out.write(header, sizeof header);
//   out.write(body);
//   if (int err = out.commit()) return report_write(err);
//
// An existing regular target keeps its permission bits (not its owner), and
// one that may not be written is refused (EACCES) as an in-place write
// would be; a new one gets 0666 less the umask, as any created file. An existing device,
// pipe or socket is not replaced but written directly, every write checked.
// A directory is refused with EISDIR. Not thread-safe; one object writes one
// file at a time.
//
// The writer holds an exclusive flock on its temporary file from its making
// until it is renamed over the target or removed, so a temporary file nobody
// holds is one whose writer died (killed, or the machine stopped): a later
// run removes it (remove_stale_temporaries). A signal handler removes the
// temporary files its own process is writing (remove_own_temporaries).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace files {

enum class Target {
  // A file the user named. A symbolic link is followed to the file it names,
  // which is replaced (or created, when the link dangles).
  kNamedByUser,
  // A file the program names on its own (the display list, the run log),
  // possibly in a folder others can write to. Nothing under the name is
  // followed: a symbolic link there is itself replaced, so it cannot redirect
  // the write. The replacement swaps the new file in and the old one out
  // (falling back to a plain rename), which spares the file system the
  // write-out it starts when a file is renamed over another: these files are
  // rewritten on every plot run and matter only until the next.
  kFixedName,
};

class AtomicFile {
 public:
  AtomicFile();
  ~AtomicFile();  // an uncommitted file is abandoned as by abort()
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Starts a new content for path: 0, or the error number when the
  // temporary file cannot be made (a missing folder gives ENOENT). A file
  // still open from an earlier open() is abandoned first.
  int open(const char* path, Target target);

  // Appends bytes (buffered). The first failure is kept; later writes then
  // do nothing.
  void write(const void* data, std::size_t size);
  void write(std::string_view text) { write(text.data(), text.size()); }

  // The first failure so far, 0 when none.
  int error() const { return error_; }

  // Writes out the buffer, closes the file and renames it over the target:
  // 0, or the first failure's error number, the temporary file removed and
  // the target untouched. The object can then open another file.
  int commit();
  // As commit(), but the file stays open: on success *fd is its descriptor,
  // positioned after the content, for the caller to append to and close.
  int commit_open(int* fd);

  // Closes and removes the temporary file; the target stays as it was.
  void abort();

 private:
  int finish(int* keep_fd);
  void flush();
  void write_out(const char* data, std::size_t size);
  void replace();
  void note(int error) {
    if (error_ == 0) error_ = error;
  }

  int fd_ = -1;
  int held_ = -1;  // the temporary file once fd_ is closed, until renamed: its lock
  int error_ = 0;
  std::string target_;  // the name that gets replaced
  std::string temp_;    // empty when the target is written directly
  bool exchange_ = false;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
};

// Replaces path with size bytes at data: open, write, commit. 0 or the
// error number.
int replace_file(const char* path, const void* data, std::size_t size, Target target);

// "cannot write PATH: REASON", REASON being the system's text for error: how
// the programs report a file they could not write.
std::string write_failure(const std::string& path, int error);

// Where open(path, target) makes its temporary files: "FOLDER/.NAME." (the
// random characters follow). A file the user names is followed through its
// symbolic links as open() follows it.
std::string temporary_prefix(const char* path, Target target);

// Removes the temporary files at prefix (temporary_prefix's) whose writer is
// gone, that is whose lock nobody holds, whatever their age: files of this
// user only, never through a symbolic link. Each folder is read once for all
// the prefixes in it. The number removed.
int remove_stale_temporaries(const std::vector<std::string>& prefixes);

// Removes the temporary files at prefix that this process has open, the
// writes it has in flight, in whichever copy of the write core (the library
// has its own). For a signal handler that ends the process: system calls
// only, nothing allocated; prefix must stay readable meanwhile.
void remove_own_temporaries(const char* prefix);

// Test seam: the nth call (1 for the next) of a step from now on fails with
// error instead of being made; a failed write writes nothing. One failure
// per step can be waiting; error 0 takes it back.
enum class Step { kCreate, kWrite, kClose, kRename };
void inject_failure(Step step, int nth, int error);

}  // namespace files

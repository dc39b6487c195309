// A process's own folder for the files nobody named (a display list, a run
// log, standard input kept for a second reading): "PREFIXXXXXXX", made by
// mkdtemp (mode 0700) in the first usable of a list of base folders.
//
// The process holds an exclusive flock on the folder itself while it lives,
// so a folder nobody holds is a dead process's, whatever its age (and
// systemd-tmpfiles' age-based clean-up keeps away from a locked one): a
// later process of the same kind removes it (remove_stale_folders).
#pragma once

#include <string>
#include <vector>

namespace files {

// Removes the folders named PREFIX... in base whose lock no process holds:
// folders of this user only, never through a symbolic link, and only the
// files in them (a folder holding another folder stays). The number removed.
int remove_stale_folders(const std::string& base, const char* prefix);

class LockedFolder {
 public:
  LockedFolder() = default;
  ~LockedFolder() { remove(); }
  LockedFolder(const LockedFolder&) = delete;
  LockedFolder& operator=(const LockedFolder&) = delete;

  // Makes the folder PREFIXXXXXXX in the first base where that works and
  // locks it: 0, or the error number of the last base tried. A folder made
  // before is removed first. Relative bases are taken from home, a folder
  // with its closing '/'.
  int make(const std::vector<std::string>& bases, const char* prefix, const std::string& home = std::string());

  // Its absolute path, empty before make() succeeded; the folder open and
  // locked, -1 before.
  const std::string& path() const { return path_; }
  int fd() const { return fd_; }

  // Removes the folder with the files in it and lets its lock go.
  void remove();

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace files

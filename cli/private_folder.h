// isovar-plot's private folder, for the files of a run that nobody named (the
// display list, the run log, standard input kept for a second reading):
// "isovar-plot-XXXXXX" (made by mkdtemp, mode 0700) in $TMPDIR, else /tmp.
// The process holds an exclusive flock on the folder while it lives, so a
// folder nobody holds is a dead process's, whatever its age: the next run
// removes it (remove_stale_plot_folders).
#pragma once

#include <string>
#include <vector>

namespace isovar_plot {

// The prefix of the folders' names.
extern const char* const kPlotFolderPrefix;  // "isovar-plot-"

// Where the folder may be made, in order: $TMPDIR when it is set, then /tmp.
std::vector<std::string> plot_folder_bases();

// Removes the folders in base whose lock no process holds: folders of this
// user only, never through a symbolic link, and only the files in them (a
// folder holding another folder stays). The number removed.
int remove_stale_plot_folders(const std::string& base);

class PrivateFolder {
 public:
  PrivateFolder() = default;
  ~PrivateFolder() { remove(); }
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;

  // Makes the folder in the first base where that works and locks it: 0, or
  // the error number of the last base tried. Relative bases are taken from
  // home, the starting folder with its closing '/'.
  int make(const std::vector<std::string>& bases, const std::string& home);

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

}  // namespace isovar_plot

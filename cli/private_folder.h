// isovar-plot's private folder, for the files of a run that nobody named (the
// display list, the run log, standard input kept for a second reading):
// "isovar-plot-XXXXXX" (made by mkdtemp, mode 0700) in $TMPDIR, else /tmp.
// The process holds an exclusive flock on the folder while it lives, so a
// folder nobody holds is a dead process's, whatever its age: the next run
// removes it (remove_stale_plot_folders).
#pragma once

#include <string>
#include <vector>

#include "locked_folder.h"

namespace isovar_plot {

// The prefix of the folders' names.
extern const char* const kPlotFolderPrefix;  // "isovar-plot-"

// Where the folder may be made, in order: $TMPDIR when it is set, then /tmp.
std::vector<std::string> plot_folder_bases();

// Removes the folders in base whose lock no process holds (see
// files::remove_stale_folders). The number removed.
inline int remove_stale_plot_folders(const std::string& base) {
  return files::remove_stale_folders(base, kPlotFolderPrefix);
}

// The process's folder, made in the bases (relative ones taken from home,
// the starting folder with its closing '/'); see files::LockedFolder.
class PrivateFolder : public files::LockedFolder {
 public:
  int make(const std::vector<std::string>& bases, const std::string& home) {
    return files::LockedFolder::make(bases, kPlotFolderPrefix, home);
  }
};

}  // namespace isovar_plot

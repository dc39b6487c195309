// The window's own folder for the files its plot runs write: the display
// list that printing replays and the library's run log. Each window has one,
// so two windows (in one process or in two) never print each other's picture
// or write each other's log.
//
// The folder is "isovar-window-XXXXXX" (made by mkdtemp, mode 0700) in the
// first usable of $XDG_RUNTIME_DIR, $TMPDIR and /tmp. The window holds an
// exclusive flock on the folder itself while it lives (which also keeps
// systemd-tmpfiles' age-based clean-up away from it) and removes the folder
// when it goes. A folder left by a window that died without removing it is
// recognised by the lock nobody holds any more, whatever its age, and removed
// when the next window starts.
#pragma once

#include <string>
#include <vector>

#include "locked_folder.h"

// The prefix of the private folders' names.
extern const char* const kWindowFolderPrefix;  // "isovar-window-"

class WindowFiles {
 public:
  WindowFiles() = default;
  ~WindowFiles() = default;  // removes the folder
  WindowFiles(const WindowFiles&) = delete;
  WindowFiles& operator=(const WindowFiles&) = delete;

  // Where a folder may be made, in order: $XDG_RUNTIME_DIR and $TMPDIR when
  // they are set to absolute paths, then /tmp.
  static std::vector<std::string> defaultBases();

  // Removes the stale folders in every base, then makes the folder in the
  // first base where that works and locks it: 0, or the error number of the
  // last base tried. A folder made before is removed first.
  int make(const std::vector<std::string>& bases);

  // The folder's absolute path; empty before make() succeeded.
  const std::string& folder() const { return folder_.path(); }
  // A file in the folder.
  std::string file(const char* name) const { return folder_.path() + "/" + name; }

  // Removes the folder with the files in it and lets its lock go.
  void remove() { folder_.remove(); }

 private:
  files::LockedFolder folder_;
};

// Removes the private folders in base whose lock no process holds (see
// files::remove_stale_folders). The number removed.
inline int removeStaleWindowFolders(const std::string& base) {
  return files::remove_stale_folders(base, kWindowFolderPrefix);
}

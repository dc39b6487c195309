#include "private_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace isovar_plot {

const char* const kPlotFolderPrefix = "isovar-plot-";

namespace {

int open_folder(const char* path) { return open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC); }

// Removes the files in the open folder fd; anything else in it stays.
void remove_files_in(int fd) {
  DIR* dir = fdopendir(dup(fd));
  if (dir == nullptr) return;
  std::vector<std::string> names;
  while (const dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
      names.emplace_back(entry->d_name);
  }
  closedir(dir);
  for (const std::string& name : names) unlinkat(fd, name.c_str(), 0);
}

// Whether name in base_fd is still the folder open as fd.
bool still_there(int base_fd, const char* name, int fd) {
  struct stat open_st, named_st;
  if (fstat(fd, &open_st) != 0 || open_st.st_nlink == 0) return false;
  if (fstatat(base_fd, name, &named_st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  return open_st.st_dev == named_st.st_dev && open_st.st_ino == named_st.st_ino;
}

// The folder part of path and its last name.
std::pair<std::string, std::string> split(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? std::string("/") : path.substr(0, slash), path.substr(slash + 1)};
}

}  // namespace

std::vector<std::string> plot_folder_bases() {
  std::vector<std::string> bases;
  const char* tmp = std::getenv("TMPDIR");
  if (tmp != nullptr && *tmp != '\0') bases.emplace_back(tmp);
  if (bases.empty() || bases[0] != "/tmp") bases.emplace_back("/tmp");
  return bases;
}

int remove_stale_plot_folders(const std::string& base) {
  const int base_fd = open_folder(base.c_str());
  if (base_fd < 0) return 0;
  std::vector<std::string> candidates;
  if (DIR* dir = fdopendir(dup(base_fd))) {
    const std::size_t prefix = std::strlen(kPlotFolderPrefix);
    while (const dirent* entry = readdir(dir)) {
      if (std::strncmp(entry->d_name, kPlotFolderPrefix, prefix) == 0) candidates.emplace_back(entry->d_name);
    }
    closedir(dir);
  }
  int removed = 0;
  const uid_t user = geteuid();
  for (const std::string& name : candidates) {
    const int fd = openat(base_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    // A lock that cannot be had is a process that lives.
    if (fstat(fd, &st) == 0 && st.st_uid == user && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        still_there(base_fd, name.c_str(), fd)) {
      remove_files_in(fd);
      if (unlinkat(base_fd, name.c_str(), AT_REMOVEDIR) == 0) ++removed;
    }
    close(fd);
  }
  close(base_fd);
  return removed;
}

int PrivateFolder::make(const std::vector<std::string>& bases, const std::string& home) {
  remove();
  int error = ENOENT;
  for (const std::string& base : bases) {
    // A sweep of another process may take a folder between its making and
    // its lock; then another is made.
    for (int attempt = 0; attempt < 4; ++attempt) {
      std::string pattern = base + "/" + kPlotFolderPrefix + "XXXXXX";
      if (mkdtemp(pattern.data()) == nullptr) {
        error = errno;
        break;
      }
      const int fd = open_folder(pattern.c_str());
      if (fd < 0) {
        error = errno;
        rmdir(pattern.c_str());
        break;
      }
      const auto [folder, name] = split(pattern);
      const int base_fd = open_folder(folder.c_str());
      if (base_fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 && still_there(base_fd, name.c_str(), fd)) {
        close(base_fd);
        path_ = pattern[0] == '/' ? pattern : home + pattern;
        fd_ = fd;
        return 0;
      }
      error = base_fd < 0 ? errno : EAGAIN;
      if (base_fd >= 0) close(base_fd);
      close(fd);
    }
  }
  return error;
}

void PrivateFolder::remove() {
  if (fd_ < 0) return;
  const auto [folder, name] = split(path_);
  const int base_fd = open_folder(folder.c_str());
  if (base_fd >= 0) {
    if (still_there(base_fd, name.c_str(), fd_)) {
      remove_files_in(fd_);
      unlinkat(base_fd, name.c_str(), AT_REMOVEDIR);
    }
    close(base_fd);
  }
  close(fd_);
  fd_ = -1;
  path_.clear();
}

}  // namespace isovar_plot

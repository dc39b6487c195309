#include "locked_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace files {

namespace {

int open_folder(const char* path) { return open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC); }

// The names in the open folder fd that begin with prefix (all but "." and
// ".." when prefix is empty).
std::vector<std::string> names_in(int fd, const char* prefix) {
  std::vector<std::string> names;
  const int list_fd = dup(fd);
  if (list_fd < 0) return names;
  DIR* dir = fdopendir(list_fd);
  if (dir == nullptr) {
    close(list_fd);
    return names;
  }
  const std::size_t length = std::strlen(prefix);
  while (const dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0 &&
        std::strncmp(entry->d_name, prefix, length) == 0)
      names.emplace_back(entry->d_name);
  }
  closedir(dir);
  return names;
}

// Whether name in base_fd is still the folder open as fd.
bool still_there(int base_fd, const char* name, int fd) {
  struct stat open_st, named_st;
  if (fstat(fd, &open_st) != 0 || open_st.st_nlink == 0) return false;
  if (fstatat(base_fd, name, &named_st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  return open_st.st_dev == named_st.st_dev && open_st.st_ino == named_st.st_ino;
}

// Removes the folder name of base_fd, open as fd: the files in it, then the
// folder (which stays when anything else is in it). Whether it went.
bool remove_folder(int base_fd, const char* name, int fd) {
  for (const std::string& file : names_in(fd, "")) unlinkat(fd, file.c_str(), 0);
  return unlinkat(base_fd, name, AT_REMOVEDIR) == 0;
}

// The folder part of path and its last name.
std::pair<std::string, std::string> split(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? std::string("/") : path.substr(0, slash), path.substr(slash + 1)};
}

}  // namespace

int remove_stale_folders(const std::string& base, const char* prefix) {
  const int base_fd = open_folder(base.c_str());
  if (base_fd < 0) return 0;
  int removed = 0;
  const uid_t user = geteuid();
  for (const std::string& name : names_in(base_fd, prefix)) {
    const int fd = openat(base_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    // A lock that cannot be had is a process that lives.
    if (fstat(fd, &st) == 0 && st.st_uid == user && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        still_there(base_fd, name.c_str(), fd) && remove_folder(base_fd, name.c_str(), fd))
      ++removed;
    close(fd);
  }
  close(base_fd);
  return removed;
}

int LockedFolder::make(const std::vector<std::string>& bases, const char* prefix, const std::string& home) {
  remove();
  int error = ENOENT;
  for (const std::string& base : bases) {
    // A sweep of another process may take a folder between its making and
    // its lock; then another is made.
    for (int attempt = 0; attempt < 4; ++attempt) {
      std::string pattern = base + "/" + prefix + "XXXXXX";
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

void LockedFolder::remove() {
  if (fd_ < 0) return;
  const auto [folder, name] = split(path_);
  const int base_fd = open_folder(folder.c_str());
  if (base_fd >= 0) {
    if (still_there(base_fd, name.c_str(), fd_)) remove_folder(base_fd, name.c_str(), fd_);
    close(base_fd);
  }
  close(fd_);
  fd_ = -1;
  path_.clear();
}

}  // namespace files

#include "window_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

const char* const kWindowFolderPrefix = "isovar-window-";

namespace {

// Removes the files in the open folder fd; anything else in it stays.
void removeFilesIn(int fd) {
  const int listFd = dup(fd);
  if (listFd < 0) return;
  DIR* dir = fdopendir(listFd);
  if (dir == nullptr) {
    close(listFd);
    return;
  }
  std::vector<std::string> names;
  while (const dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
      names.emplace_back(entry->d_name);
  }
  closedir(dir);
  for (const std::string& name : names) unlinkat(fd, name.c_str(), 0);
}

// Removes the folder name in baseFd (open as fd, whose lock the caller holds).
void removeFolder(int baseFd, const char* name, int fd) {
  removeFilesIn(fd);
  unlinkat(baseFd, name, AT_REMOVEDIR);
}

// Whether name in baseFd is still the folder open as fd.
bool stillThere(int baseFd, const char* name, int fd) {
  struct stat open_st, named_st;
  if (fstat(fd, &open_st) != 0 || open_st.st_nlink == 0) return false;
  if (fstatat(baseFd, name, &named_st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  return open_st.st_dev == named_st.st_dev && open_st.st_ino == named_st.st_ino;
}

int openFolder(const char* path) { return open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC); }

}  // namespace

int removeStaleWindowFolders(const std::string& base) {
  const int baseFd = openFolder(base.c_str());
  if (baseFd < 0) return 0;
  std::vector<std::string> candidates;
  if (const int listFd = dup(baseFd); listFd >= 0) {
    if (DIR* dir = fdopendir(listFd)) {
      const size_t prefix = std::strlen(kWindowFolderPrefix);
      while (const dirent* entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, kWindowFolderPrefix, prefix) == 0) candidates.emplace_back(entry->d_name);
      }
      closedir(dir);
    } else {
      close(listFd);
    }
  }
  int removed = 0;
  const uid_t user = getuid();
  for (const std::string& name : candidates) {
    const int fd = openat(baseFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    // A lock that cannot be had is a window that lives.
    if (fstat(fd, &st) == 0 && st.st_uid == user && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        stillThere(baseFd, name.c_str(), fd)) {
      removeFolder(baseFd, name.c_str(), fd);
      ++removed;
    }
    close(fd);
  }
  close(baseFd);
  return removed;
}

WindowFiles::~WindowFiles() { remove(); }

std::vector<std::string> WindowFiles::defaultBases() {
  std::vector<std::string> bases;
  for (const char* variable : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
    const char* value = std::getenv(variable);
    if (value == nullptr || value[0] != '/') continue;
    std::string base(value);
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    bases.push_back(base);
  }
  bases.emplace_back("/tmp");
  return bases;
}

int WindowFiles::make(const std::vector<std::string>& bases) {
  remove();
  for (size_t i = 0; i < bases.size(); ++i) {
    bool seen = false;
    for (size_t j = 0; j < i; ++j) seen = seen || bases[j] == bases[i];
    if (!seen) removeStaleWindowFolders(bases[i]);
  }
  int error = ENOENT;
  for (const std::string& base : bases) {
    // A sweep of another window may take a folder between its making and its
    // lock; then another is made.
    for (int attempt = 0; attempt < 4; ++attempt) {
      std::string pattern = base + "/" + kWindowFolderPrefix + "XXXXXX";
      if (mkdtemp(pattern.data()) == nullptr) {
        error = errno;
        break;
      }
      const int fd = openFolder(pattern.c_str());
      if (fd < 0) {
        error = errno;
        rmdir(pattern.c_str());
        break;
      }
      const int baseFd = openFolder(base.c_str());
      const char* name = pattern.c_str() + base.size() + 1;
      if (baseFd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 && stillThere(baseFd, name, fd)) {
        close(baseFd);
        folder_ = pattern;
        fd_ = fd;
        return 0;
      }
      error = baseFd < 0 ? errno : EAGAIN;
      if (baseFd >= 0) close(baseFd);
      close(fd);
    }
  }
  return error;
}

void WindowFiles::remove() {
  if (fd_ < 0) return;
  const size_t slash = folder_.rfind('/');
  const std::string base = slash == 0 ? std::string("/") : folder_.substr(0, slash);
  const int baseFd = openFolder(base.c_str());
  if (baseFd >= 0) {
    if (stillThere(baseFd, folder_.c_str() + slash + 1, fd_)) removeFolder(baseFd, folder_.c_str() + slash + 1, fd_);
    close(baseFd);
  }
  close(fd_);
  fd_ = -1;
  folder_.clear();
}

#include "atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

namespace files {

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
constexpr int kMaxLinks = 40;         // as the kernel allows in one path
constexpr std::size_t kRandomChars = 8;
constexpr int kCreateTries = 100;

struct Injected {
  int countdown;
  int error;
};
Injected injected[4];

// True, with errno set, when the test seam fails this call of step.
bool fails(Step step) {
  Injected& i = injected[static_cast<int>(step)];
  if (i.error == 0 || --i.countdown > 0) return false;
  errno = i.error;
  i.error = 0;
  return true;
}

// The folder part of a path with its final slash, "" for a bare name.
std::string folder_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Follows the symbolic links at name to the first name that is none (or
// does not exist yet): 0, or the error number.
int follow_links(std::string& name) {
  for (int hops = 0; hops < kMaxLinks; ++hops) {
    struct stat st;
    if (lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return 0;
    char link[PATH_MAX];
    ssize_t n = readlink(name.c_str(), link, sizeof link);
    if (n < 0) return errno;
    if (static_cast<std::size_t>(n) == sizeof link) return ENAMETOOLONG;
    std::string next(link, static_cast<std::size_t>(n));
    name = next[0] == '/' ? next : folder_of(name) + next;
  }
  return ELOOP;
}

void random_chars(char* out, std::size_t count) {
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[kRandomChars];
  if (getrandom(bytes, count, GRND_NONBLOCK) != static_cast<ssize_t>(count)) {
    // No entropy to be had: the clock still makes the name hard to guess,
    // and creation is exclusive anyway.
    unsigned long long v = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count()) * 6364136223846793005ULL + getpid();
    for (std::size_t i = 0; i < count; ++i, v = v * 6364136223846793005ULL + 1442695040888963407ULL)
      bytes[i] = static_cast<unsigned char>(v >> 56);
  }
  for (std::size_t i = 0; i < count; ++i) out[i] = kChars[bytes[i] % (sizeof kChars - 1)];
}

// "FOLDER/.NAME." of target: where its temporary files go. The name must fit
// the file system's limit even for the longest target name: a shortened name
// serves as well.
std::string prefix_of(const std::string& target) {
  const std::string folder = folder_of(target);
  return folder + "." + target.substr(folder.size(), NAME_MAX - kRandomChars - 2) + ".";
}

// Whether name (in folder dir, or the current folder) is still the file open
// as fd.
bool still_there(int dir, const char* name, int fd) {
  struct stat open_st, named_st;
  if (fstat(fd, &open_st) != 0 || fstatat(dir, name, &named_st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  return open_st.st_dev == named_st.st_dev && open_st.st_ino == named_st.st_ino;
}

// Locks a temporary file just made, while it is still the one under its
// name: a sweep of stale files (remove_stale_temporaries) may have taken it
// between its making and its lock. A file system without locks leaves it
// unlocked.
bool lock_new(int fd, const std::string& temp) {
  int result;
  while ((result = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
  }
  return result != 0 || still_there(AT_FDCWD, temp.c_str(), fd);
}

// Creates ".NAME.XXXXXXXX" beside target exclusively, and locks it: the
// descriptor, or -1 with errno set.
int create_temp(const std::string& target, mode_t mode, std::string& temp) {
  const std::string prefix = prefix_of(target);
  for (int tries = 0; tries < kCreateTries; ++tries) {
    char random[kRandomChars];
    random_chars(random, kRandomChars);
    temp = prefix + std::string(random, kRandomChars);
    if (fails(Step::kCreate)) return -1;
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0 && errno != EEXIST) return fd;
    if (fd >= 0) {
      if (lock_new(fd, temp)) return fd;
      ::close(fd);
    }
  }
  errno = EEXIST;
  return -1;
}

// Whether name is a temporary file's under leaf_prefix (".NAME."): the
// prefix and the random characters.
bool temporary_name(const char* name, const char* leaf_prefix, std::size_t prefix_size) {
  if (std::strncmp(name, leaf_prefix, prefix_size) != 0) return false;
  std::size_t n = 0;
  for (const char* c = name + prefix_size; *c != '\0'; ++c, ++n) {
    if (!((*c >= '0' && *c <= '9') || (*c >= 'A' && *c <= 'Z') || (*c >= 'a' && *c <= 'z'))) return false;
  }
  return n == kRandomChars;
}

// For remove_own_temporaries: reads the folder dir's entries with the system
// call alone, calling each(name) for every one.
template <typename Each>
void each_entry(int dir, Each each) {
  alignas(8) char entries[4096];
  long n;
  while ((n = syscall(SYS_getdents64, dir, entries, sizeof entries)) > 0) {
    for (long at = 0; at < n;) {
      // struct linux_dirent64: inode (8), offset (8), record length (2), type (1), name.
      unsigned short length;
      std::memcpy(&length, entries + at + 16, sizeof length);
      each(static_cast<const char*>(entries + at + 19));
      at += length;
    }
  }
}

// Whether this process has the file (dev, ino) open.
bool open_here(dev_t dev, ino_t ino) {
  auto same = [&](int fd) {
    struct stat st;
    return fstat(fd, &st) == 0 && st.st_dev == dev && st.st_ino == ino;
  };
  const int list = ::open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (list < 0) {
    for (int fd = 0; fd < 4096; ++fd)
      if (same(fd)) return true;
    return false;
  }
  bool found = false;
  each_entry(list, [&](const char* name) {
    int fd = 0;
    for (const char* c = name; *c >= '0' && *c <= '9'; ++c) fd = fd * 10 + (*c - '0');
    if (name[0] >= '0' && name[0] <= '9' && fd != list && same(fd)) found = true;
  });
  ::close(list);
  return found;
}

}  // namespace

AtomicFile::AtomicFile() = default;

AtomicFile::~AtomicFile() { abort(); }

int AtomicFile::open(const char* path, Target target) {
  abort();
  error_ = 0;
  exchange_ = false;
  if (path == nullptr) return error_ = EINVAL;
  if (*path == '\0') return error_ = ENOENT;
  target_ = path;

  struct stat st;
  const bool exists = (target == Target::kNamedByUser ? stat(path, &st) : lstat(path, &st)) == 0;
  if (!exists && errno != ENOENT) return error_ = errno;
  if (exists && S_ISDIR(st.st_mode)) return error_ = EISDIR;
  if (!buffer_) buffer_.reset(new char[kBufferSize]);

  if (exists && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
    // A device, pipe or socket: nothing to replace, the bytes go straight
    // there. A name of the program's own is never followed, and a pipe
    // without a reader fails at once instead of waiting for one.
    const int flags = O_WRONLY | O_CLOEXEC | (target == Target::kFixedName ? O_NOFOLLOW | O_NONBLOCK : 0);
    fd_ = fails(Step::kCreate) ? -1 : ::open(path, flags);
    if (fd_ < 0) return error_ = errno;
    if (flags & O_NONBLOCK) fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    return 0;
  }

  if (target == Target::kNamedByUser) {
    if (int err = follow_links(target_)) return error_ = err;
  }
  exchange_ = target == Target::kFixedName && exists;
  const bool keep_mode = exists && S_ISREG(st.st_mode);
  // Renaming needs only the folder's permission: a file that may not be
  // written stays as it is, as if it were written in place.
  if (keep_mode && faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) return error_ = errno;
  // Created no more open than the file it replaces, then given its exact bits.
  const mode_t mode = keep_mode ? st.st_mode & 0777 : 0666;
  fd_ = create_temp(target_, mode, temp_);
  if (fd_ < 0) {
    temp_.clear();
    return error_ = errno;
  }
  if (keep_mode) fchmod(fd_, mode);  // a file system without modes keeps its own
  return 0;
}

void AtomicFile::write(const void* data, std::size_t size) {
  if (fd_ < 0) note(EBADF);
  if (error_ != 0 || size == 0) return;
  const char* bytes = static_cast<const char*>(data);
  // A large piece with nothing buffered before it goes out as it is: the
  // caller buffered it already (a display list's records, a picture).
  if (used_ == 0 && size >= kBufferSize / 2) {
    write_out(bytes, size);
    return;
  }
  if (used_ + size > kBufferSize) {
    flush();
    if (size >= kBufferSize) {
      write_out(bytes, size);
      return;
    }
  }
  std::memcpy(buffer_.get() + used_, bytes, size);
  used_ += size;
}

void AtomicFile::flush() {
  if (used_ > 0) write_out(buffer_.get(), used_);
  used_ = 0;
}

void AtomicFile::write_out(const char* data, std::size_t size) {
  while (size > 0 && error_ == 0) {
    ssize_t n = fails(Step::kWrite) ? -1 : ::write(fd_, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      note(n < 0 ? errno : EIO);
      return;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

int AtomicFile::commit() { return finish(nullptr); }

int AtomicFile::commit_open(int* fd) { return finish(fd); }

int AtomicFile::finish(int* keep_fd) {
  if (fd_ < 0) {
    note(EBADF);
    return error_;
  }
  flush();
  int fd = fd_;
  fd_ = -1;
  if (keep_fd == nullptr || error_ != 0) {
    // The lock goes with the file's last descriptor: one more keeps it until
    // the temporary name is gone, so no sweep takes the file meanwhile.
    if (!temp_.empty()) held_ = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    // Some file systems report a failed write only here.
    int result = ::close(fd);
    if (fails(Step::kClose)) result = -1;
    if (result != 0) note(errno);
    fd = -1;
  }
  if (error_ == 0 && !temp_.empty()) replace();
  if (error_ != 0) {
    if (fd >= 0) ::close(fd);
    abort();
    return error_;
  }
  temp_.clear();
  if (held_ >= 0) ::close(held_);
  held_ = -1;
  if (keep_fd != nullptr) {
    flock(fd, LOCK_UN);  // the lock was the temporary file's
    *keep_fd = fd;
  }
  return 0;
}

void AtomicFile::replace() {
  const char* from = temp_.c_str();
  const char* to = target_.c_str();
  if (fails(Step::kRename)) {
    note(errno);
    return;
  }
  if (exchange_) {
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE) == 0) {
      // The temporary name now holds the old entry (which a sweep of stale
      // temporary files may have taken meanwhile: it holds no lock).
      if (::unlink(from) == 0 || errno == ENOENT) return;
      const int err = errno;
      // Something other than the file that was there (a folder put in its
      // place meanwhile) goes back; should that fail, both stay as they are.
      if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE) != 0) temp_.clear();
      note(err);
      return;
    }
    // Not supported here, or the old entry went meanwhile: a plain rename.
    if (errno != EINVAL && errno != ENOENT && errno != ENOSYS) {
      note(errno);
      return;
    }
  }
  if (std::rename(from, to) != 0) note(errno);
}

void AtomicFile::abort() {
  // Removed while still locked.
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (held_ >= 0) ::close(held_);
  held_ = -1;
  used_ = 0;
}

int replace_file(const char* path, const void* data, std::size_t size, Target target) {
  AtomicFile out;
  if (int err = out.open(path, target)) return err;
  out.write(data, size);
  return out.commit();
}

std::string write_failure(const std::string& path, int error) {
  return "cannot write " + path + ": " + std::strerror(error);
}

std::string temporary_prefix(const char* path, Target target) {
  std::string name = path;
  if (target == Target::kNamedByUser) follow_links(name);
  return prefix_of(name);
}

int remove_stale_temporaries(const std::vector<std::string>& prefixes) {
  // The names ".NAME." by folder.
  std::map<std::string, std::set<std::string>> folders;
  for (const std::string& prefix : prefixes) {
    const std::string folder = folder_of(prefix);
    folders[folder].insert(prefix.substr(folder.size()));
  }
  int removed = 0;
  const uid_t user = geteuid();
  for (const auto& [folder, leaves] : folders) {
    const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) continue;
    std::vector<std::string> names;
    if (DIR* listing = fdopendir(dup(dir))) {
      while (const dirent* entry = readdir(listing)) {
        for (const std::string& leaf : leaves) {
          if (temporary_name(entry->d_name, leaf.c_str(), leaf.size())) names.emplace_back(entry->d_name);
        }
      }
      closedir(listing);
    }
    for (const std::string& name : names) {
      struct stat st;
      if (fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) || st.st_uid != user)
        continue;
      const int flags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
      int fd = openat(dir, name.c_str(), O_RDONLY | flags);
      if (fd < 0) fd = openat(dir, name.c_str(), O_WRONLY | flags);
      if (fd < 0) continue;
      // A lock that cannot be had is a writer that lives.
      if (flock(fd, LOCK_EX | LOCK_NB) == 0 && still_there(dir, name.c_str(), fd) &&
          unlinkat(dir, name.c_str(), 0) == 0)
        ++removed;
      ::close(fd);
    }
    ::close(dir);
  }
  return removed;
}

void remove_own_temporaries(const char* prefix) {
  // The folder, as a string of its own, and ".NAME.".
  const char* slash = std::strrchr(prefix, '/');
  char folder[PATH_MAX] = ".";
  if (slash != nullptr) {
    const std::size_t size = slash == prefix ? 1 : static_cast<std::size_t>(slash - prefix);
    if (size >= sizeof folder) return;
    std::memcpy(folder, prefix, size);
    folder[size] = '\0';
  }
  const char* leaf = slash != nullptr ? slash + 1 : prefix;
  const std::size_t leaf_size = std::strlen(leaf);
  const int dir = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  each_entry(dir, [&](const char* name) {
    struct stat st;
    if (temporary_name(name, leaf, leaf_size) && fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(st.st_mode) && open_here(st.st_dev, st.st_ino))
      unlinkat(dir, name, 0);
  });
  ::close(dir);
}

void inject_failure(Step step, int nth, int error) { injected[static_cast<int>(step)] = {nth, error}; }

}  // namespace files

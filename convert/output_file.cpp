#include "output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "progress.h"

namespace convert {

namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};
// The write core's temporary names end with this many random characters.
constexpr size_t kRandomChars = 8;

// The temporary file in flight, for the signal handler: set and cleared
// with the ending signals blocked.
char signal_temp[PATH_MAX + 1];
volatile sig_atomic_t signal_temp_set = 0;

void remove_temporary_and_end(int sig) {
  if (signal_temp_set) unlink(signal_temp);
  clear_progress_line_from_signal();
  signal(sig, SIG_DFL);
  raise(sig);  // delivered once the handler returns
}

class EndingSignalsBlocked {
 public:
  EndingSignalsBlocked() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kEndingSignals) sigaddset(&set, sig);
    sigprocmask(SIG_BLOCK, &set, &old_);
  }
  ~EndingSignalsBlocked() { sigprocmask(SIG_SETMASK, &old_, nullptr); }
  EndingSignalsBlocked(const EndingSignalsBlocked&) = delete;
  EndingSignalsBlocked& operator=(const EndingSignalsBlocked&) = delete;

 private:
  sigset_t old_;
};

void set_signal_temp(const std::string& path) {
  EndingSignalsBlocked blocked;
  signal_temp_set = 0;
  if (path.size() < sizeof signal_temp) {
    std::memcpy(signal_temp, path.c_str(), path.size() + 1);
    signal_temp_set = 1;
  }
}

void clear_signal_temp() {
  EndingSignalsBlocked blocked;
  signal_temp_set = 0;
}

bool is_random_char(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

// Removes name in folder when it is a regular file of this user that no
// living writer locks: true when it went.
bool remove_if_abandoned(int folder, const char* name) {
  int fd = openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0 && errno == EACCES) fd = openat(folder, name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat held, named;
  bool removed = false;
  if (fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == geteuid() && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
      fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == held.st_dev &&
      named.st_ino == held.st_ino)
    removed = unlinkat(folder, name, 0) == 0;
  close(fd);  // and with it the lock
  return removed;
}

// Removes the temporary files beside own (the temporary file this run
// writes) that runs writing the same target left when they were killed:
// the names that differ from own in their random characters alone, whose
// writer is gone (their lock is free). The count removed.
int remove_stale_temporaries(const std::string& own) {
  const size_t slash = own.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : own.substr(0, slash + 1);
  const std::string own_name = own.substr(slash == std::string::npos ? 0 : slash + 1);
  if (own_name.size() <= kRandomChars) return 0;
  const std::string prefix = own_name.substr(0, own_name.size() - kRandomChars);
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return 0;
  int removed = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() != own_name.size() || name.compare(0, prefix.size(), prefix) != 0 || name == own_name) continue;
    bool random = true;
    for (size_t k = prefix.size(); k < name.size(); ++k) random = random && is_random_char(name[k]);
    if (random && remove_if_abandoned(dirfd(dir), name.c_str())) ++removed;
  }
  closedir(dir);
  return removed;
}

}  // namespace

bool is_standard_output(const std::string& path) {
  if (path == "-") return true;
  struct stat out, named;
  return fstat(STDOUT_FILENO, &out) == 0 && stat(path.c_str(), &named) == 0 && out.st_dev == named.st_dev &&
         out.st_ino == named.st_ino;
}

void remove_temporary_on_ending_signals() {
  struct sigaction action = {};
  action.sa_handler = remove_temporary_and_end;
  sigemptyset(&action.sa_mask);
  for (int sig : kEndingSignals) sigaddset(&action.sa_mask, sig);
  for (int sig : kEndingSignals) {
    // A signal the caller ignores (nohup) stays ignored.
    struct sigaction old;
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    sigaction(sig, &action, nullptr);
  }
}

OutputFile::OutputFile(const std::string& path) : path_(path), standard_output_(is_standard_output(path)) {
  if (standard_output_) return;
  open_locked();
  if (!file_.temporary_path().empty()) stale_removed_ = remove_stale_temporaries(file_.temporary_path());
}

// Opens the temporary file and locks it before anything else may be done:
// should another run's clean-up remove it in between (it sees no lock), it
// is made again.
void OutputFile::open_locked() {
  EndingSignalsBlocked blocked;
  for (int tries = 0;; ++tries) {
    if (int error = file_.open(path_.c_str(), files::Target::kNamedByUser)) fail(error);
    const std::string& temp = file_.temporary_path();
    if (temp.empty()) return;  // a device or a pipe, written directly
    const int fd = file_.descriptor();
    while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_nlink == 0 && tries < 3) continue;
    set_signal_temp(temp);
    return;
  }
}

// An uncommitted file is abandoned; the handler forgets its name only after,
// so that no signal in between leaves it.
OutputFile::~OutputFile() {
  file_.abort();
  clear_signal_temp();
}

void OutputFile::fail(int error) {
  file_.abort();
  clear_signal_temp();
  const std::string name = path_ == "-" ? "standard output" : path_;
  std::string text = files::write_failure(name, error);
  // A missing folder is the usual cause, and easily mended.
  const size_t slash = path_.rfind('/');
  if (!standard_output_ && error == ENOENT && slash != std::string::npos && slash > 0)
    text += " (make the folder " + path_.substr(0, slash) + " first)";
  throw OutputFailure(text);
}

void OutputFile::write(const char* bytes, size_t size) {
  if (!standard_output_) {
    file_.write(bytes, size);
    if (int error = file_.error()) fail(error);
    return;
  }
  while (size > 0) {
    const ssize_t n = ::write(STDOUT_FILENO, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail(n < 0 ? errno : EIO);
    bytes += n;
    size -= static_cast<size_t>(n);
  }
}

void OutputFile::commit() {
  if (standard_output_) return;
  const int error = file_.commit();
  clear_signal_temp();
  if (error != 0) fail(error);
}

}  // namespace convert

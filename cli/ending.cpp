#include "ending.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "atomic_file.h"

namespace isovar_plot {

namespace {

// What the handlers use, in memory they need not allocate. A list is changed
// only with the ending signals blocked, so a handler never sees it half made.
constexpr int kMaxOutputs = 32;
char output_prefixes[kMaxOutputs][PATH_MAX + NAME_MAX + 2];
volatile sig_atomic_t output_count = 0;

volatile sig_atomic_t folder_fd = -1;
char folder_path[PATH_MAX];

// The temporary folder a vector output is being written in.
volatile sig_atomic_t vector_folder_set = 0;
char vector_folder_path[PATH_MAX];

volatile sig_atomic_t workers[kMaxWorkers];  // 0: an ended worker's place
volatile sig_atomic_t workers_watched = 0;

// Ends the process as sig does when nothing handles it.
void die(int sig) {
  signal(sig, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  raise(sig);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  _exit(128 + sig);  // not reached
}

// Removes every file of the folder open as fd, then the folder at path.
// System calls only.
void remove_folder(int fd, const char* path) {
  if (fd < 0) return;
  const int dir = openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  alignas(8) char entries[4096];
  long n;
  while (dir >= 0 && (n = syscall(SYS_getdents64, dir, entries, sizeof entries)) > 0) {
    for (long at = 0; at < n;) {
      // struct linux_dirent64: inode (8), offset (8), record length (2), type (1), name.
      unsigned short length;
      std::memcpy(&length, entries + at + 16, sizeof length);
      const char* name = entries + at + 19;
      if (!(name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))) unlinkat(fd, name, 0);
      at += length;
    }
  }
  if (dir >= 0) close(dir);
  rmdir(path);
}

void clean_up_and_die(int sig) {
  for (int i = 0; i < output_count; ++i) files::remove_own_temporaries(output_prefixes[i]);
  if (vector_folder_set != 0) {
    const int fd = open(vector_folder_path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    remove_folder(fd, vector_folder_path);
    if (fd >= 0) close(fd);
  }
  remove_folder(folder_fd, folder_path);
  die(sig);
}

void stop_workers_and_die(int sig) {
  const int count = workers_watched;
  for (int w = 0; w < count; ++w)
    if (workers[w] > 0) kill(workers[w], sig);
  // Their clean-up done before the caller hears of the end.
  for (int w = 0; w < count; ++w) {
    if (workers[w] <= 0) continue;
    while (waitpid(workers[w], nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  die(sig);
}

void handle_ending_signals(void (*handler)(int)) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  // One handler at a time.
  for (int sig : kEndingSignals) sigaddset(&action.sa_mask, sig);
  for (int sig : kEndingSignals) sigaction(sig, &action, nullptr);
}

// Changes what the handlers see with the signals blocked.
template <typename Change>
void with_signals_blocked(Change change) {
  sigset_t old;
  block_ending_signals(true, &old);
  change();
  sigprocmask(SIG_SETMASK, &old, nullptr);
}

}  // namespace

void block_ending_signals(bool block, sigset_t* old) {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kEndingSignals) sigaddset(&set, sig);
  sigprocmask(block ? SIG_BLOCK : SIG_UNBLOCK, &set, old);
}

void clean_up_on_ending_signals() { handle_ending_signals(clean_up_and_die); }

void watch_private_folder(int fd, const std::string& path) {
  with_signals_blocked([&] {
    folder_fd = -1;
    if (fd < 0 || path.size() >= sizeof folder_path) return;
    std::memcpy(folder_path, path.c_str(), path.size() + 1);
    folder_fd = fd;
  });
}

void watch_vector_folder(const std::string& path) {
  with_signals_blocked([&] {
    vector_folder_set = 0;
    if (path.empty() || path.size() >= sizeof vector_folder_path) return;
    std::memcpy(vector_folder_path, path.c_str(), path.size() + 1);
    vector_folder_set = 1;
  });
}

void watch_outputs(const std::vector<std::string>& prefixes) {
  with_signals_blocked([&] {
    int count = 0;
    for (const std::string& prefix : prefixes) {
      if (count == kMaxOutputs || prefix.size() >= sizeof output_prefixes[0]) continue;
      std::memcpy(output_prefixes[count++], prefix.c_str(), prefix.size() + 1);
    }
    output_count = count;
  });
}

void stop_workers_on_ending_signals() { handle_ending_signals(stop_workers_and_die); }

void watch_worker(pid_t pid) {
  with_signals_blocked([&] {
    for (int w = 0; w < workers_watched; ++w) {
      if (workers[w] == 0) {
        workers[w] = pid;
        return;
      }
    }
    if (workers_watched < kMaxWorkers) workers[workers_watched++] = pid;
  });
}

void worker_ended(pid_t pid) {
  with_signals_blocked([&] {
    for (int w = 0; w < workers_watched; ++w)
      if (workers[w] == pid) workers[w] = 0;
  });
}

void end_with_parent(pid_t parent) {
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  // A parent gone before the request was made sends nothing.
  if (getppid() != parent) raise(SIGTERM);
}

}  // namespace isovar_plot

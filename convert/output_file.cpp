#include "output_file.h"

#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "progress.h"

namespace convert {

namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Where the output's temporary files go ("FOLDER/.NAME."), for the signal
// handler: set with the ending signals blocked. The handler removes only the
// files this process has open there, so the prefix may outlive the write.
char signal_prefix[PATH_MAX + NAME_MAX + 2];
volatile sig_atomic_t signal_prefix_set = 0;

void remove_temporary_and_end(int sig) {
  if (signal_prefix_set) files::remove_own_temporaries(signal_prefix);
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

void watch_temporaries(const std::string& prefix) {
  EndingSignalsBlocked blocked;
  signal_prefix_set = 0;
  if (prefix.size() < sizeof signal_prefix) {
    std::memcpy(signal_prefix, prefix.c_str(), prefix.size() + 1);
    signal_prefix_set = 1;
  }
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

// The write core locks its temporary file while it writes, so those of the
// same target whose lock is free were left by runs that died.
OutputFile::OutputFile(const std::string& path) : path_(path), standard_output_(is_standard_output(path)) {
  if (standard_output_) return;
  const std::string prefix = files::temporary_prefix(path.c_str(), files::Target::kNamedByUser);
  stale_removed_ = files::remove_stale_temporaries({prefix});
  watch_temporaries(prefix);
  if (int error = file_.open(path_.c_str(), files::Target::kNamedByUser)) fail(error);
}

OutputFile::~OutputFile() = default;  // an uncommitted file is abandoned

void OutputFile::fail(int error) {
  file_.abort();
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
  if (int error = file_.commit()) fail(error);
}

}  // namespace convert

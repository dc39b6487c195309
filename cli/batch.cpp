#include "batch.h"

#include <poll.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "ending.h"
#include "plan.h"
#include "plotter.h"

namespace isovar_plot {

namespace {

enum State : int8_t { kWaiting, kStarted, kDone, kFailed };

// What the workers share with the parent: the next input to take, the count
// finished, and each input's state. Lives in memory shared across fork.
struct Board {
  std::atomic<int> next;
  std::atomic<int> finished;
  std::atomic<int> failed;
  std::atomic<int8_t>* state;  // one per input, after the board; fork keeps the address
};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<int8_t>::is_always_lock_free,
              "the board is shared between processes");

class SharedBoard {
 public:
  explicit SharedBoard(int inputs)
      : size_(sizeof(Board) + static_cast<std::size_t>(inputs) * sizeof(std::atomic<int8_t>)) {
    void* memory = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return;
    board_ = new (memory) Board{};
    board_->state = reinterpret_cast<std::atomic<int8_t>*>(static_cast<char*>(memory) + sizeof(Board));
    for (int i = 0; i < inputs; ++i) new (&board_->state[i]) std::atomic<int8_t>(kWaiting);
  }
  ~SharedBoard() {
    if (board_ != nullptr) munmap(board_, size_);
  }
  SharedBoard(const SharedBoard&) = delete;
  SharedBoard& operator=(const SharedBoard&) = delete;
  Board* get() const { return board_; }

 private:
  std::size_t size_;
  Board* board_ = nullptr;
};

// Takes inputs until none is left.
void work(const std::vector<Options>& runs, Board& board) {
  Plotter plotter;
  const std::string failure = plotter.start();
  block_ending_signals(false);  // blocked by the parent until here
  const int count = static_cast<int>(runs.size());
  for (int i; (i = board.next.fetch_add(1)) < count;) {
    board.state[i] = kStarted;
    int status = kExitFailure;
    if (failure.empty()) {
      status = plotter.plot(runs[i]);
    } else {
      say("isovar-plot: " + failure);
    }
    if (status != kExitOk) board.failed.fetch_add(1);
    board.state[i] = status == kExitOk ? kDone : kFailed;
    board.finished.fetch_add(1);
  }
}

// The folders under o.outdir the runs' outputs go to (--keep-tree), each
// made with its parents; false, said, when one cannot be made.
bool make_output_folders(const Options& o, const std::vector<Options>& runs) {
  const std::string top = o.outdir + (o.outdir.back() == '/' ? "" : "/");
  for (const Options& run : runs) {
    for (int f = 0; f < kOutputFormatCount; ++f) {
      const std::string& path = run.*(kOutputFormats[f].path);
      if (path.empty()) continue;
      // Each folder between DIR and the file's name, from the top down.
      for (std::size_t slash = path.find('/', top.size()); slash != std::string::npos;
           slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
          say("isovar-plot: cannot make the folder " + folder + ": " + std::strerror(errno));
          return false;
        }
      }
      break;  // one format tells the folder
    }
  }
  return true;
}

void show_progress(const Board& board, int count) {
  const int failed = board.failed.load();
  std::string line = "\r\033[Kisovar-plot: " + std::to_string(board.finished.load()) + " of " + std::to_string(count) +
                     " plotted";
  if (failed > 0) line += ", " + std::to_string(failed) + " failed";
  if (write(STDERR_FILENO, line.data(), line.size()) < 0) {
    // A progress line that cannot be shown is no failure.
  }
}

}  // namespace

int worker_count(const Options& o) {
  int workers = o.jobs;
  if (workers <= 0) {
    cpu_set_t cpus;
    workers = sched_getaffinity(0, sizeof cpus, &cpus) == 0 ? CPU_COUNT(&cpus) : 0;
    if (workers <= 0) workers = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
    if (workers <= 0) workers = 1;
  }
  const int inputs = static_cast<int>(o.inputs.size());
  return workers < inputs ? workers : inputs;
}

int plot_batch(const Options& o, const std::vector<Options>& runs) {
  if (mkdir(o.outdir.c_str(), 0777) != 0 && errno != EEXIST) {
    say("isovar-plot: cannot make the folder " + o.outdir + ": " + std::strerror(errno));
    return kExitFailure;
  }
  if (o.keep_tree && !make_output_folders(o, runs)) return kExitFailure;
  const int count = static_cast<int>(runs.size());
  SharedBoard shared(count);
  Board* board = shared.get();
  if (board == nullptr) {
    say(std::string("isovar-plot: cannot share memory with the workers: ") + std::strerror(errno));
    return kExitFailure;
  }
  remove_what_ended_runs_left(runs);
  const bool progress = isatty(STDERR_FILENO) != 0;
  if (progress)
    for (const std::string& line : plan_lines(runs)) say("isovar-plot: " + line);
  set_progress_shown(progress);

  const int workers = worker_count(o);
  std::vector<pid_t> pids;
  if (workers <= 1) {
    // One worker: this process, no fork. The progress line is drawn between inputs.
    clean_up_on_ending_signals();
    Plotter plotter;
    const std::string failure = plotter.start();
    if (!failure.empty()) {
      say("isovar-plot: " + failure);
      return kExitFailure;
    }
    for (int i; (i = board->next.fetch_add(1)) < count;) {
      if (progress) show_progress(*board, count);
      board->state[i] = kStarted;
      const int status = plotter.plot(runs[i]);
      if (status != kExitOk) board->failed.fetch_add(1);
      board->state[i] = status == kExitOk ? kDone : kFailed;
      board->finished.fetch_add(1);
    }
  } else {
    std::fflush(nullptr);
    // Until every worker is known, and each has its handlers and ends with
    // this process, the signals wait.
    block_ending_signals(true);
    stop_workers_on_ending_signals();
    const pid_t parent = getpid();
    for (int w = 0; w < workers && w < kMaxWorkers; ++w) {
      const pid_t pid = fork();
      if (pid == 0) {
        clean_up_on_ending_signals();
        end_with_parent(parent);
        work(runs, *board);
        std::fflush(nullptr);
        _exit(0);
      }
      if (pid < 0) {
        say(std::string("isovar-plot: cannot start a worker process: ") + std::strerror(errno));
        break;
      }
      pids.push_back(pid);
      watch_worker(pid);
    }
    block_ending_signals(false);
    std::size_t live = pids.size();
    while (live > 0) {
      int wstatus = 0;
      const pid_t pid = waitpid(-1, &wstatus, progress ? WNOHANG : 0);
      if (pid > 0) {
        worker_ended(pid);
        --live;
        if (WIFSIGNALED(wstatus))
          say("isovar-plot: a worker process was stopped by signal " + std::to_string(WTERMSIG(wstatus)) + " (" +
              strsignal(WTERMSIG(wstatus)) + ")");
        continue;
      }
      if (pid < 0 && errno != EINTR) break;
      if (progress) {
        show_progress(*board, count);
        poll(nullptr, 0, 100);
      }
    }
  }

  // Inputs a stopped worker left unfinished, or that no worker took.
  int failed = board->failed.load();
  for (int i = 0; i < count; ++i) {
    const int state = board->state[i].load();
    if (state == kStarted || state == kWaiting) {
      say(o.inputs[i] + (state == kStarted ? ": its worker process stopped before it was plotted"
                                           : ": not plotted, no worker process was left"));
      ++failed;
    }
  }
  if (progress) {
    show_progress(*board, count);
    if (write(STDERR_FILENO, "\n", 1) < 0) {
      // As above.
    }
    set_progress_shown(false);
  }
  if (failed > 0) {
    say("isovar-plot: " + std::to_string(failed) + " of " + std::to_string(count) + " inputs failed");
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace isovar_plot

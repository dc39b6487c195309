// isovar-plot ended by signals, and the runs after one that was killed: no
// temporary file of an output, no private folder and no worker stays.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "test_support.h"

using testing_support::names_in;
using testing_support::TempDir;
using testing_support::write_file;

namespace {

const char* const kPlot = ISOVAR_BINARY_DIR "/bin/isovar-plot";
const char* const kGen = ISOVAR_BINARY_DIR "/bin/isovar-gen";

// Starts isovar-plot with args in folder, its private folders in tmp and its
// messages dropped: its process number.
pid_t start(const std::string& folder, const std::string& tmp, const std::vector<std::string>& args) {
  std::vector<std::string> argv_strings{kPlot};
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(folder.c_str()) != 0) _exit(127);
    setenv("TMPDIR", tmp.c_str(), 1);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    std::vector<char*> argv;
    for (std::string& a : argv_strings) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(kPlot, argv.data());
    _exit(127);
  }
  return pid;
}

int wait_for(pid_t pid) {
  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
  return wstatus;
}

// What a run may leave: hidden names (temporary files) in a folder.
std::set<std::string> hidden_in(const std::string& folder) {
  std::set<std::string> hidden;
  for (const std::string& name : names_in(folder))
    if (name[0] == '.') hidden.insert(name);
  return hidden;
}

std::set<std::string> plot_folders_in(const std::string& tmp) {
  std::set<std::string> folders;
  for (const std::string& name : names_in(tmp))
    if (name.rfind("isovar-plot-", 0) == 0) folders.insert(name);
  return folders;
}

// Opens path and takes its lock: the descriptor, -1 when another holds it.
int take_lock(const std::string& path, int flags = O_RDONLY) {
  const int fd = open(path.c_str(), flags | O_CLOEXEC);
  if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// The processes whose parent this process is now.
std::vector<pid_t> children() {
  std::vector<pid_t> pids;
  const std::string list = testing_support::read_file("/proc/self/task/" + std::to_string(getpid()) + "/children");
  for (std::size_t at = 0; at < list.size();) {
    std::size_t end = list.find(' ', at);
    if (end == std::string::npos) end = list.size();
    if (end > at) pids.push_back(static_cast<pid_t>(std::stol(list.substr(at, end - at))));
    at = end + 1;
  }
  return pids;
}

void make_noise(const std::string& path, int n) {
  ASSERT_EQ(testing_support::run_command(std::string(kGen) + " noise " + std::to_string(n) + " '" + path +
                                         "' && echo made"),
            "made\n");
}

// Waits (up to seconds) until a temporary file shows in folder or the run
// ends: whether one showed.
bool wait_for_temporary(pid_t pid, const std::string& folder, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (!hidden_in(folder).empty()) return true;
    if (kill(pid, 0) != 0) return false;
    usleep(1000);
  }
  return false;
}

// SIGTERM at random moments of a large run (its SVG written by the plotter,
// its isolines by the library): the run ends with the signal's status (143
// in a shell) and no temporary file or private folder stays.
TEST(IsovarPlotEnding, SigtermDuringLargeWritesLeavesNoTemporaryFile) {
  TempDir dir, tmp;
  make_noise(dir.file("n.iso"), 1500);
  ASSERT_EQ(mkdir(dir.file("out").c_str(), 0755), 0);
  const std::vector<std::string> args = {"n.iso", "--large", "--svg", "out/n.svg", "--isolines", "out/n.geojson"};
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  int during_writes = 0;
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    const pid_t pid = start(dir.path(), tmp.path(), args);
    ASSERT_GT(pid, 0);
    bool writing = false;
    if (round % 2 == 0) {
      // While a temporary file is being written, a few milliseconds in.
      writing = wait_for_temporary(pid, dir.file("out"), 30);
      if (writing) ++during_writes;
      usleep(std::uniform_int_distribution<useconds_t>(0, 20000)(random));
    } else {
      usleep(std::uniform_int_distribution<useconds_t>(10000, 1500000)(random));
    }
    // While it writes, its private folder is locked. (Only then: a folder
    // is made before it is locked, and a lock taken here in between would
    // send the run to make another.)
    if (writing) {
      for (const std::string& name : plot_folders_in(tmp.path())) {
        const int fd = take_lock(tmp.file(name), O_RDONLY | O_DIRECTORY);
        EXPECT_LT(fd, 0) << name;
        if (fd >= 0) close(fd);
      }
    }
    kill(pid, SIGTERM);
    const int wstatus = wait_for(pid);
    EXPECT_TRUE(WIFSIGNALED(wstatus) && WTERMSIG(wstatus) == SIGTERM) << wstatus;
    EXPECT_EQ(hidden_in(dir.file("out")), std::set<std::string>{});
    EXPECT_EQ(names_in(tmp.path()), std::set<std::string>{});
  }
  EXPECT_GE(during_writes, 1);
}

// A batch parent killed outright: its workers, told by the kernel, end within
// a second and clean up after themselves.
TEST(IsovarPlotEnding, BatchWorkersEndWithTheirParent) {
  TempDir dir, tmp;
  make_noise(dir.file("n.iso"), 400);
  std::vector<std::string> args;
  for (int i = 0; i < 200; ++i) {
    const std::string name = "m" + std::to_string(i) + ".iso";
    ASSERT_EQ(symlink("n.iso", dir.file(name).c_str()), 0);
    args.push_back(name);
  }
  for (const char* a : {"--outdir", "out", "--format", "svg,isolines", "-j", "2"}) args.push_back(a);
  // The orphaned workers come to this process, which can then wait for them.
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  struct Restore {
    ~Restore() { prctl(PR_SET_CHILD_SUBREAPER, 0); }
  } restore;
  ASSERT_EQ(mkdir(dir.file("out").c_str(), 0755), 0);
  const pid_t pid = start(dir.path(), tmp.path(), args);
  ASSERT_GT(pid, 0);
  for (int wait = 0; wait < 500 && names_in(dir.file("out")).size() < 4; ++wait) usleep(10000);
  ASSERT_GE(plot_folders_in(tmp.path()).size(), 1u);
  kill(pid, SIGKILL);
  const int wstatus = wait_for(pid);
  EXPECT_TRUE(WIFSIGNALED(wstatus) && WTERMSIG(wstatus) == SIGKILL);
  int ended = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  for (;;) {
    int status = 0;
    const pid_t worker = waitpid(-1, &status, WNOHANG);
    if (worker > 0) {
      ++ended;
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
      continue;
    }
    if (worker < 0 && errno == ECHILD) break;
    if (std::chrono::steady_clock::now() > end) {
      ADD_FAILURE() << "a worker outlived its parent by a second";
      for (pid_t left : children()) {
        kill(left, SIGKILL);
        wait_for(left);
      }
      return;
    }
    usleep(5000);
  }
  EXPECT_EQ(ended, 2);
  EXPECT_EQ(hidden_in(dir.file("out")), std::set<std::string>{});
  EXPECT_EQ(plot_folders_in(tmp.path()), std::set<std::string>{});
  EXPECT_LT(names_in(dir.file("out")).size(), 400u);
}

// What a run killed outright leaves (its private folder, a temporary file
// beside an output) the next run removes, whatever its age, as it removes
// what any dead run left beside its outputs; what a live process holds, what
// is not beside this run's outputs and other programs' folders stay.
TEST(IsovarPlotEnding, TheNextRunRemovesWhatDeadRunsLeft) {
  TempDir dir, tmp;
  make_noise(dir.file("n.iso"), 800);
  const pid_t pid = start(dir.path(), tmp.path(), {"n.iso", "--large", "--svg", "n.svg", "--isolines", "n.geojson"});
  ASSERT_GT(pid, 0);
  const bool caught = wait_for_temporary(pid, dir.path(), 30);
  kill(pid, SIGKILL);
  wait_for(pid);
  EXPECT_EQ(plot_folders_in(tmp.path()).size(), 1u);
  if (caught) {
    EXPECT_FALSE(hidden_in(dir.path()).empty());
  }

  // Left by others: dead ones, and live ones (this process holds their locks).
  for (const char* name : {"isovar-plot-dead01", "isovar-plot-live01", "isovar-window-dead1"}) {
    ASSERT_EQ(mkdir(tmp.file(name).c_str(), 0700), 0);
    write_file(tmp.file(name) + "/prtInfo.tmp", "display list");
  }
  const int live_folder = take_lock(tmp.file("isovar-plot-live01"), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(live_folder, 0);
  for (const char* name : {".n.svg.Dead0001", ".n.svg.Live0001", ".other.svg.Dead0002", ".n.svg.short"})
    write_file(dir.file(name), "partial");
  const int live_file = take_lock(dir.file(".n.svg.Live0001"));
  ASSERT_GE(live_file, 0);

  const std::set<std::string> others = {".n.svg.Live0001", ".other.svg.Dead0002", ".n.svg.short"};
  make_noise(dir.file("small.iso"), 20);
  ASSERT_EQ(symlink("small.iso", dir.file("n.small.iso").c_str()), 0);
  const pid_t next = start(dir.path(), tmp.path(), {"n.small.iso", "--svg", "n.svg", "--isolines", "n.geojson"});
  EXPECT_EQ(wait_for(next), 0);
  EXPECT_EQ(hidden_in(dir.path()), others);
  EXPECT_EQ(names_in(tmp.path()), (std::set<std::string>{"isovar-plot-live01", "isovar-window-dead1"}));

  // Batch mode, beside its outputs in the output folder.
  ASSERT_EQ(mkdir(dir.file("out").c_str(), 0755), 0);
  write_file(dir.file("out/.small.geojson.Dead0003"), "partial");
  const pid_t batch = start(dir.path(), tmp.path(), {"small.iso", "--outdir", "out", "--format", "isolines"});
  EXPECT_EQ(wait_for(batch), 0);
  EXPECT_EQ(names_in(dir.file("out")), std::set<std::string>{"small.geojson"});
  close(live_folder);
  close(live_file);
}

}  // namespace

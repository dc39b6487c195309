// The window's own folder: made where it can be, locked while the window
// lives, removed when it goes, and removed by the next window when its
// window died without removing it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "test_support.h"
#include "window_files.h"

using testing_support::file_exists;
using testing_support::names_in;
using testing_support::write_file;

namespace {

bool isFolder(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A folder with a window's files in it.
std::string windowFolder(const testing_support::TempDir& base, const std::string& name) {
  const std::string path = base.file(name);
  EXPECT_EQ(mkdir(path.c_str(), 0700), 0);
  write_file(path + "/prtInfo.tmp", "list");
  write_file(path + "/isovar.log", "log");
  return path;
}

// A process that holds the lock of folder until it is killed.
pid_t holdLockInAnotherProcess(const std::string& folder) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    // Only async-signal-safe calls in the child of a threaded process.
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    const char ok = fd >= 0 && flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
    if (write(ready[1], &ok, 1) != 1) _exit(1);
    for (;;) pause();
  }
  close(ready[1]);
  char ok = 'n';
  if (child < 0 || read(ready[0], &ok, 1) != 1 || ok != 'y') ADD_FAILURE() << "the holder did not lock";
  close(ready[0]);
  return child;
}

TEST(WindowFiles, StaleFoldersGoAndFoldersOfLivingWindowsStay) {
  testing_support::TempDir base;
  const std::string dead = windowFolder(base, "isovar-window-dead00");
  const std::string empty = base.file("isovar-window-empty0");
  ASSERT_EQ(mkdir(empty.c_str(), 0700), 0);
  // Held in this process, through another open file, and in another process.
  const std::string heldHere = windowFolder(base, "isovar-window-here00");
  const int hold = open(heldHere.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(flock(hold, LOCK_EX), 0);
  const std::string heldThere = windowFolder(base, "isovar-window-there0");
  const pid_t holder = holdLockInAnotherProcess(heldThere);
  ASSERT_GT(holder, 0);
  // Not the window's: another name, a symbolic link to files, a plain file.
  const std::string foreign = windowFolder(base, "isovar-plot-abcdef");
  const std::string target = windowFolder(base, "target");
  ASSERT_EQ(symlink(target.c_str(), base.file("isovar-window-link00").c_str()), 0);
  write_file(base.file("isovar-window-file00"), "not a folder");
  // A folder holding a folder keeps it, and so stays itself.
  const std::string nested = windowFolder(base, "isovar-window-nest00");
  ASSERT_EQ(mkdir((nested + "/inner").c_str(), 0700), 0);

  WindowFiles window;
  ASSERT_EQ(window.make({base.path()}), 0);
  const std::string made = window.folder();
  EXPECT_EQ(made.rfind(base.path() + "/isovar-window-", 0), 0u) << made;

  struct Expectation {
    std::string path;
    bool stays;
  } expected[] = {
      {dead, false},   {empty, false}, {heldHere, true}, {heldThere, true}, {foreign, true},
      {target, true},  {nested, true}, {made, true},
  };
  for (const Expectation& e : expected) EXPECT_EQ(isFolder(e.path), e.stays) << e.path;
  EXPECT_TRUE(file_exists(target + "/prtInfo.tmp"));
  EXPECT_TRUE(file_exists(base.file("isovar-window-file00")));
  EXPECT_EQ(names_in(nested), std::set<std::string>{"inner"});
  EXPECT_EQ(names_in(heldThere), (std::set<std::string>{"isovar.log", "prtInfo.tmp"}));

  // The holders end: the next window removes their folders, never its own
  // or one of another window that lives.
  close(hold);
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  WindowFiles next;
  ASSERT_EQ(next.make({base.path()}), 0);
  EXPECT_FALSE(isFolder(heldHere));
  EXPECT_FALSE(isFolder(heldThere));
  EXPECT_TRUE(isFolder(made));
  EXPECT_TRUE(isFolder(next.folder()));
}

TEST(WindowFiles, MadeInTheFirstUsableBaseAndRemovedWithItsFiles) {
  testing_support::TempDir base;
  write_file(base.file("a-file"), "");
  WindowFiles window;
  ASSERT_EQ(window.make({base.file("missing"), base.file("a-file"), base.path()}), 0);
  const std::string folder = window.folder();
  EXPECT_EQ(folder.rfind(base.path() + "/isovar-window-", 0), 0u) << folder;
  write_file(window.file("prtInfo.tmp"), "list");
  write_file(window.file(".prtInfo.tmp.AbC123"), "a write cut short");
  window.remove();
  EXPECT_FALSE(isFolder(folder));
  EXPECT_TRUE(window.folder().empty());
  EXPECT_EQ(names_in(base.path()), std::set<std::string>{"a-file"});

  // Nowhere to make it: the system's reason.
  WindowFiles nowhere;
  EXPECT_EQ(nowhere.make({base.file("missing")}), ENOENT);
  EXPECT_TRUE(nowhere.folder().empty());
}

}  // namespace

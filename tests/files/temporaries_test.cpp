// The write core's temporary files: locked while their writer lives, swept
// when it is gone, removed by the process that writes them.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "atomic_file.h"
#include "test_support.h"

using files::AtomicFile;
using files::Target;
using testing_support::names_in;
using testing_support::read_file;
using testing_support::TempDir;
using testing_support::write_file;

namespace {

// The hidden names in folder.
std::set<std::string> hidden_in(const std::string& folder) {
  std::set<std::string> hidden;
  for (const std::string& name : names_in(folder))
    if (name[0] == '.') hidden.insert(name);
  return hidden;
}

// Whether another open file description could lock path now.
bool lockable(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
  close(fd);
  return free;
}

TEST(Temporaries, PrefixIsWhereTheTemporaryFileGoes) {
  TempDir dir;
  const std::string target = dir.file("out.dat");
  EXPECT_EQ(files::temporary_prefix(target.c_str(), Target::kFixedName), dir.file(".out.dat."));
  EXPECT_EQ(files::temporary_prefix("out.dat", Target::kNamedByUser), ".out.dat.");
  ASSERT_EQ(mkdir(dir.file("pictures").c_str(), 0755), 0);
  ASSERT_EQ(symlink("pictures/real.dat", target.c_str()), 0);
  const std::string followed = files::temporary_prefix(target.c_str(), Target::kNamedByUser);
  EXPECT_EQ(followed, dir.file("pictures/.real.dat."));
  EXPECT_EQ(files::temporary_prefix(target.c_str(), Target::kFixedName), dir.file(".out.dat."));

  AtomicFile out;
  ASSERT_EQ(out.open(target.c_str(), Target::kNamedByUser), 0);
  const std::set<std::string> made = hidden_in(dir.file("pictures"));
  ASSERT_EQ(made.size(), 1u);
  EXPECT_EQ(dir.file("pictures/" + *made.begin()).rfind(followed, 0), 0u) << *made.begin();
}

TEST(Temporaries, LockedFromTheirMakingUntilRenamed) {
  TempDir dir;
  const std::string target = dir.file("out.dat");
  for (Target target_kind : {Target::kNamedByUser, Target::kFixedName}) {
    write_file(target, "old");
    AtomicFile out;
    ASSERT_EQ(out.open(target.c_str(), target_kind), 0);
    out.write("new");
    const std::set<std::string> made = hidden_in(dir.path());
    ASSERT_EQ(made.size(), 1u);
    EXPECT_FALSE(lockable(dir.file(*made.begin())));
    ASSERT_EQ(out.commit(), 0);
    EXPECT_EQ(read_file(target), "new");
    EXPECT_TRUE(lockable(target)) << "the lock stays with the committed file";
    EXPECT_EQ(hidden_in(dir.path()), std::set<std::string>{});
  }
  // commit_open lets the lock go too.
  AtomicFile log;
  ASSERT_EQ(log.open(target.c_str(), Target::kFixedName), 0);
  int fd = -1;
  ASSERT_EQ(log.commit_open(&fd), 0);
  EXPECT_TRUE(lockable(target));
  close(fd);
}

// A writer that died (its descriptors closed by the kernel, nothing else
// done) leaves a temporary file that nobody holds: swept, whatever its age.
// A live writer's file, other names and other kinds of entries stay.
TEST(Temporaries, StaleOnesAreSweptLiveOnesStay) {
  TempDir dir;
  const std::string target = dir.file("out.dat");
  const pid_t child = fork();
  if (child == 0) {
    AtomicFile dying;
    if (dying.open(target.c_str(), Target::kNamedByUser) != 0) _exit(1);
    dying.write("partial");
    _exit(0);  // no destructor: as SIGKILL leaves it
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_EQ(status, 0);
  const std::set<std::string> stale = hidden_in(dir.path());
  ASSERT_EQ(stale.size(), 1u);

  AtomicFile live;
  ASSERT_EQ(live.open(target.c_str(), Target::kNamedByUser), 0);
  live.write("whole");
  const std::set<std::string> others = {".out.dat.ABCDEFG",  ".out.dat.ABCDEFGHI", ".out.dat.ABCD-FGH",
                                        ".other.dat.ABCDEFGH", "out.dat.ABCDEFGH"};
  for (const std::string& name : others) write_file(dir.file(name), "not a temporary file");
  ASSERT_EQ(mkdir(dir.file(".out.dat.FOLDER00").c_str(), 0755), 0);
  write_file(dir.file("victim"), "kept");
  ASSERT_EQ(symlink("victim", dir.file(".out.dat.LINK0000").c_str()), 0);

  std::set<std::string> before = names_in(dir.path());
  EXPECT_EQ(files::remove_stale_temporaries({files::temporary_prefix(target.c_str(), Target::kNamedByUser),
                                             dir.file(".missing-folder/.x.")}),
            1);
  std::set<std::string> after = before;
  after.erase(*stale.begin());
  EXPECT_EQ(names_in(dir.path()), after);
  EXPECT_EQ(read_file(dir.file("victim")), "kept");
  ASSERT_EQ(live.commit(), 0);
  EXPECT_EQ(read_file(target), "whole");
}

// The temporary files of this process go; another process's, at the same
// target, stay.
TEST(Temporaries, OwnOnesAreRemovedOnRequest) {
  TempDir dir;
  const std::string target = dir.file("out.dat");
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  const pid_t child = fork();
  if (child == 0) {
    AtomicFile other;
    char c = 0;
    const bool opened = other.open(target.c_str(), Target::kNamedByUser) == 0;
    if (write(ready[1], &c, 1) != 1 || read(done[0], &c, 1) != 1) _exit(2);
    _exit(opened && other.commit() == 0 ? 0 : 1);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  const std::set<std::string> theirs = hidden_in(dir.path());
  ASSERT_EQ(theirs.size(), 1u);

  AtomicFile mine;
  ASSERT_EQ(mine.open(target.c_str(), Target::kNamedByUser), 0);
  mine.write("mine");
  const std::string prefix = files::temporary_prefix(target.c_str(), Target::kNamedByUser);
  files::remove_own_temporaries(prefix.c_str());
  EXPECT_EQ(hidden_in(dir.path()), theirs);
  EXPECT_NE(mine.commit(), 0) << "its temporary file is gone";
  EXPECT_FALSE(testing_support::file_exists(target));

  ASSERT_EQ(write(done[1], &c, 1), 1);
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(testing_support::file_exists(target));
  for (int fd : {ready[0], ready[1], done[0], done[1]}) close(fd);
}

}  // namespace

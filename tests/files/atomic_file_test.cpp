// The write core: whole-file replacement, failures at every step, symbolic
// links, permission bits, and targets that are not plain files.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <string>

#include "atomic_file.h"
#include "test_support.h"

using files::AtomicFile;
using files::Step;
using files::Target;
using testing_support::names_in;
using testing_support::read_file;
using testing_support::TempDir;
using testing_support::write_file;

namespace {

const std::string kOld = "old content, longer than the new one";

mode_t mode_of(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

int replace(const std::string& path, const std::string& bytes, Target target) {
  return files::replace_file(path.c_str(), bytes.data(), bytes.size(), target);
}

class AtomicFileTest : public testing::TestWithParam<Target> {
 protected:
  TempDir dir;
};

INSTANTIATE_TEST_SUITE_P(BothTargets, AtomicFileTest, testing::Values(Target::kNamedByUser, Target::kFixedName),
                         [](const auto& info) { return info.param == Target::kNamedByUser ? "NamedByUser" : "FixedName"; });

TEST_P(AtomicFileTest, ReplacesTheWholeFileUnderATemporaryNameOfItsOwn) {
  const std::string target = dir.file("out.dat");
  write_file(target, kOld);
  AtomicFile a, b;
  ASSERT_EQ(a.open(target.c_str(), GetParam()), 0);
  ASSERT_EQ(b.open(target.c_str(), GetParam()), 0);
  a.write("first");
  b.write("second");
  // Until the commit only hidden temporary names are new, one for each file,
  // and the target is untouched.
  std::set<std::string> names = names_in(dir.path());
  ASSERT_EQ(names.size(), 3u);
  for (const std::string& name : names) {
    if (name == "out.dat") continue;
    EXPECT_EQ(name.rfind(".out.dat.", 0), 0u) << name;
  }
  EXPECT_EQ(read_file(target), kOld);

  EXPECT_EQ(a.commit(), 0);
  EXPECT_EQ(read_file(target), "first");
  EXPECT_EQ(b.commit(), 0);
  EXPECT_EQ(read_file(target), "second");
  EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"out.dat"});

  // Large writes pass the buffer; the object can write another file.
  std::string big(200000, 'x');
  big[123457] = 'y';
  ASSERT_EQ(a.open(dir.file("big.dat").c_str(), GetParam()), 0);
  a.write(big.substr(0, 10));
  a.write(big.substr(10));
  EXPECT_EQ(a.commit(), 0);
  EXPECT_TRUE(read_file(dir.file("big.dat")) == big);
}

TEST_P(AtomicFileTest, EveryFailingStepKeepsTheOldBytesAndRemovesTheTemporaryFile) {
  const std::string target = dir.file("out.dat");
  const std::string chunk(70000, 'n');  // larger than the buffer: one write each
  for (Step step : {Step::kCreate, Step::kWrite, Step::kClose, Step::kRename}) {
    SCOPED_TRACE(static_cast<int>(step));
    write_file(target, kOld);
    files::inject_failure(step, step == Step::kWrite ? 2 : 1, ENOSPC);
    AtomicFile out;
    const int opened = out.open(target.c_str(), GetParam());
    EXPECT_EQ(opened, step == Step::kCreate ? ENOSPC : 0);
    for (int i = 0; i < 3; ++i) out.write(chunk);
    if (step == Step::kWrite) {
      EXPECT_EQ(out.error(), ENOSPC);  // known before the commit
    }
    EXPECT_EQ(out.commit(), ENOSPC);
    EXPECT_TRUE(read_file(target) == kOld);
    EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"out.dat"});
  }
  // No failure left waiting.
  EXPECT_EQ(replace(target, "new", GetParam()), 0);
  EXPECT_EQ(read_file(target), "new");
}

TEST_P(AtomicFileTest, AbandonedFilesLeaveTheTargetAlone) {
  const std::string target = dir.file("out.dat");
  write_file(target, kOld);
  {
    AtomicFile out;
    ASSERT_EQ(out.open(target.c_str(), GetParam()), 0);
    out.write("never");
  }
  AtomicFile out;
  ASSERT_EQ(out.open(target.c_str(), GetParam()), 0);
  out.write("never");
  out.abort();
  EXPECT_EQ(out.commit(), EBADF);
  EXPECT_EQ(read_file(target), kOld);
  EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"out.dat"});
}

TEST_P(AtomicFileTest, PermissionBitsOfAnExistingFileAreKept) {
  const mode_t mask = umask(022);
  const std::string target = dir.file("out.dat");
  EXPECT_EQ(replace(target, "new", GetParam()), 0);
  EXPECT_EQ(mode_of(target) & 0777, 0644u);  // a new file as any created one
  for (mode_t mode : {0600, 0640, 0666, 0751}) {
    ASSERT_EQ(chmod(target.c_str(), mode), 0);
    EXPECT_EQ(replace(target, "again", GetParam()), 0);
    EXPECT_EQ(mode_of(target) & 0777, mode);
  }
  umask(mask);
}

TEST_P(AtomicFileTest, AFileThatMayNotBeWrittenStaysAsItIs) {
  const std::string target = dir.file("locked.dat");
  write_file(target, kOld);
  ASSERT_EQ(chmod(target.c_str(), 0444), 0);
  const Target kind = GetParam();
  auto refused = [&] { return replace(target, "new", kind) == EACCES; };
  if (geteuid() != 0) {
    EXPECT_TRUE(refused());
  } else {
    // Root may write anything: the attempt is made as another user.
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    const pid_t pid = fork();
    if (pid == 0) _exit(setgid(65534) == 0 && setuid(65534) == 0 && refused() ? 0 : 1);
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_EQ(status, 0);
  }
  EXPECT_EQ(read_file(target), kOld);
}

TEST_P(AtomicFileTest, FoldersAndMissingFoldersAreRefused) {
  ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0);
  AtomicFile out;
  EXPECT_EQ(out.open(dir.file("sub").c_str(), GetParam()), EISDIR);
  EXPECT_EQ(out.commit(), EISDIR);
  EXPECT_EQ(replace(dir.file("none/out.dat"), "x", GetParam()), ENOENT);
  EXPECT_EQ(replace("", "x", GetParam()), ENOENT);
  EXPECT_EQ(files::replace_file(nullptr, "x", 1, GetParam()), EINVAL);
  // A name as long as the file system allows still gets a temporary name.
  const std::string longest = dir.file(std::string(NAME_MAX, 'n'));
  EXPECT_EQ(replace(longest, "long", GetParam()), 0);
  EXPECT_EQ(read_file(longest), "long");
}

TEST_P(AtomicFileTest, PipesAreWrittenDirectly) {
  const std::string fifo = dir.file("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_EQ(replace(fifo, "through", GetParam()), 0);
  char got[16] = {};
  EXPECT_EQ(read(reader, got, sizeof got), 7);
  EXPECT_STREQ(got, "through");
  close(reader);
  EXPECT_TRUE(S_ISFIFO(mode_of(fifo)));
  if (GetParam() == Target::kFixedName) {
    // No reader: a fixed name fails at once rather than wait for one.
    EXPECT_EQ(replace(fifo, "x", GetParam()), ENXIO);
  }
}

TEST(AtomicFileLinks, AFileTheUserNamedIsWrittenThroughItsLinks) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.file("real").c_str(), 0755), 0);
  write_file(dir.file("real/plot.bmp"), kOld);
  ASSERT_EQ(chmod(dir.file("real/plot.bmp").c_str(), 0640), 0);
  // A chain: an absolute link to a relative one.
  ASSERT_EQ(symlink("real/plot.bmp", dir.file("rel").c_str()), 0);
  ASSERT_EQ(symlink(dir.file("rel").c_str(), dir.file("abs").c_str()), 0);
  EXPECT_EQ(replace(dir.file("abs"), "new", Target::kNamedByUser), 0);
  EXPECT_EQ(read_file(dir.file("real/plot.bmp")), "new");
  EXPECT_EQ(mode_of(dir.file("real/plot.bmp")) & 0777, 0640u);
  EXPECT_TRUE(S_ISLNK(mode_of(dir.file("abs"))));
  EXPECT_TRUE(S_ISLNK(mode_of(dir.file("rel"))));
  EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"abs", "real", "rel"}));

  // A dangling link makes the file it names; a loop is refused.
  ASSERT_EQ(symlink("real/later.bmp", dir.file("dangling").c_str()), 0);
  EXPECT_EQ(replace(dir.file("dangling"), "made", Target::kNamedByUser), 0);
  EXPECT_EQ(read_file(dir.file("real/later.bmp")), "made");
  ASSERT_EQ(symlink("loop", dir.file("loop").c_str()), 0);
  EXPECT_EQ(replace(dir.file("loop"), "x", Target::kNamedByUser), ELOOP);
}

TEST(AtomicFileLinks, ALinkPlantedUnderAFixedNameIsReplacedNotFollowed) {
  TempDir dir;
  write_file(dir.file("victim"), kOld);
  ASSERT_EQ(symlink(dir.file("victim").c_str(), dir.file("prtInfo.tmp").c_str()), 0);
  ASSERT_EQ(symlink(dir.file("nowhere").c_str(), dir.file("isovar.log").c_str()), 0);
  EXPECT_EQ(replace(dir.file("prtInfo.tmp"), "list", Target::kFixedName), 0);
  EXPECT_EQ(replace(dir.file("isovar.log"), "log", Target::kFixedName), 0);
  EXPECT_EQ(read_file(dir.file("victim")), kOld);
  EXPECT_TRUE(S_ISREG(mode_of(dir.file("prtInfo.tmp"))));
  EXPECT_EQ(read_file(dir.file("prtInfo.tmp")), "list");
  EXPECT_EQ(read_file(dir.file("isovar.log")), "log");
  EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"isovar.log", "prtInfo.tmp", "victim"}));
}

TEST(AtomicFileOpen, CommitOpenKeepsTheNewFileOpenForAppending) {
  TempDir dir;
  const std::string target = dir.file("isovar.log");
  write_file(target, kOld);
  AtomicFile log;
  ASSERT_EQ(log.open(target.c_str(), Target::kFixedName), 0);
  log.write("head\n");
  int fd = -1;
  ASSERT_EQ(log.commit_open(&fd), 0);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(read_file(target), "head\n");
  EXPECT_EQ(write(fd, "tail\n", 5), 5);
  close(fd);
  EXPECT_EQ(read_file(target), "head\ntail\n");

  // A failure closes it and keeps the old file.
  files::inject_failure(Step::kRename, 1, EIO);
  ASSERT_EQ(log.open(target.c_str(), Target::kFixedName), 0);
  log.write("lost\n");
  fd = -1;
  EXPECT_EQ(log.commit_open(&fd), EIO);
  EXPECT_EQ(fd, -1);
  EXPECT_EQ(read_file(target), "head\ntail\n");
}

}  // namespace

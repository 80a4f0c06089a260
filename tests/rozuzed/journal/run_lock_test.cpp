#include "rozuzed/journal/run_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "helper_process.h"
#include "rozuzed/model/sort_error.h"
#include "rozuzed/testing/subprocess.h"
#include "rozuzed/testing/temporary_folder.h"

namespace rozuzed {
namespace {

std::size_t openDescriptors() {
  std::size_t count = 0;
  for (auto it = std::filesystem::directory_iterator("/proc/self/fd");
       it != std::filesystem::directory_iterator(); ++it) {
    ++count;
  }
  return count;
}

// The helper program holding the lock in a process of its own, until its
// input ends.
class LockHolder : public testing::HelperProcess {
 public:
  explicit LockHolder(const std::string& lockPath) : HelperProcess("run_lock_holder", {lockPath}) {}
  // The first line the holder wrote: "locked" or "busy".
  std::string answer() { return readLine(); }
};

std::string lockFailure(const FileURL& url) {
  try {
    auto lock = RunLock::acquire(url);
    return lock ? "locked" : "busy";
  } catch (const SortError& error) {
    return error.errorDescription();
  }
}

class RunLockTest : public ::testing::Test {
 protected:
  testing::TemporaryFolder folder;
  FileURL url = FileURL::fromPath(folder / "a/b/run.lock");
};

TEST_F(RunLockTest, TakesTheLockCreatingMissingFolders) {
  auto lock = RunLock::acquire(url);
  ASSERT_TRUE(lock);
  struct stat info {};
  ASSERT_EQ(stat(url.path().c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_EQ(info.st_size, 0);
}

TEST_F(RunLockTest, ASecondHolderInThisProcessIsTurnedAwayWithoutLeaks) {
  const std::size_t unlocked = openDescriptors();
  auto lock = RunLock::acquire(url);
  ASSERT_TRUE(lock);
  std::size_t descriptors = openDescriptors();
  EXPECT_FALSE(RunLock::acquire(url));
  EXPECT_EQ(openDescriptors(), descriptors);

  lock->release();
  lock->release();
  EXPECT_EQ(openDescriptors(), unlocked);
  EXPECT_TRUE(std::filesystem::exists(url.path()));
  auto next = RunLock::acquire(url);
  EXPECT_TRUE(next);
  next.reset();
  EXPECT_TRUE(RunLock::acquire(url));
  EXPECT_EQ(openDescriptors(), unlocked);
}

TEST_F(RunLockTest, AnExistingLockFileKeepsItsBytes) {
  std::filesystem::create_directories(folder / "a/b");
  testing::writeFile(url.path(), "left by someone");
  auto lock = RunLock::acquire(url);
  ASSERT_TRUE(lock);
  lock.reset();
  EXPECT_EQ(testing::readFile(url.path()), "left by someone");
}

TEST_F(RunLockTest, ReleaseFromSeveralThreadsClosesOnce) {
  auto lock = RunLock::acquire(url);
  ASSERT_TRUE(lock);
  std::size_t descriptors = openDescriptors();
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) threads.emplace_back([&] { lock->release(); });
  for (auto& thread : threads) thread.join();
  const std::size_t released = openDescriptors();
  EXPECT_LT(released, descriptors);
  lock.reset();
  EXPECT_EQ(openDescriptors(), released);
}

TEST_F(RunLockTest, AnotherProcessHoldingTheLockTurnsUsAway) {
  LockHolder holder(url.path());
  ASSERT_TRUE(holder.started()) << testing::builtProgram("run_lock_holder");
  ASSERT_EQ(holder.answer(), "locked");
  EXPECT_EQ(lockFailure(url), "busy");
  EXPECT_EQ(holder.finish(), 0);
  EXPECT_EQ(lockFailure(url), "locked");

  // And the other way round.
  auto lock = RunLock::acquire(url);
  ASSERT_TRUE(lock);
  LockHolder refused(url.path());
  EXPECT_EQ(refused.answer(), "busy");
  EXPECT_EQ(refused.finish(), 1);
}

TEST_F(RunLockTest, AHolderKilledOutrightNoLongerBlocks) {
  LockHolder holder(url.path());
  ASSERT_EQ(holder.answer(), "locked");
  EXPECT_EQ(lockFailure(url), "busy");
  holder.kill();
  EXPECT_EQ(lockFailure(url), "locked");
}

TEST_F(RunLockTest, OtherFailuresAreJournalUnavailable) {
  testing::writeFile(folder / "file", "");
  EXPECT_EQ(lockFailure(FileURL::fromPath(folder / "file/x/run.lock")),
            "Journal unavailable: could not create the lock directory: Not a directory");

  std::filesystem::create_directories(folder / "dir.lock");
  EXPECT_EQ(lockFailure(FileURL::fromPath(folder / "dir.lock")),
            "Journal unavailable: could not open the run lock at " + (folder / "dir.lock") +
                " (errno " + std::to_string(EISDIR) + ")");

  // A link in place of the lock file is never followed.
  std::filesystem::create_symlink(folder / "target", folder / "link.lock");
  EXPECT_EQ(lockFailure(FileURL::fromPath(folder / "link.lock")),
            "Journal unavailable: could not open the run lock at " + (folder / "link.lock") +
                " (errno " + std::to_string(ELOOP) + ")");
  EXPECT_FALSE(std::filesystem::exists(folder / "target"));
}

// Whoever removes or replaces the lock's folder while it is held, the next
// taker makes a new lock file there, which no one holds.
TEST_F(RunLockTest, TheLockStaysExclusiveWhenItsFolderIsReplaced) {
  auto lock = RunLock::acquire(url);
  ASSERT_TRUE(lock);
  std::filesystem::rename(folder / "a", folder / "old");
  EXPECT_EQ(lockFailure(url), "busy");
  LockHolder elsewhere(url.path());
  EXPECT_EQ(elsewhere.answer(), "busy");
  EXPECT_EQ(elsewhere.finish(), 1);
  std::filesystem::remove_all(folder / "old");
  EXPECT_EQ(lockFailure(url), "busy");

  lock.reset();
  EXPECT_EQ(lockFailure(url), "locked");
}

TEST_F(RunLockTest, APlaceThatCannotHoldTheLockIsPassedOver) {
  testing::writeFile(folder / "file", "");
  const FileURL unusable = FileURL::fromPath(folder / "file/RozuZed/run.lock");
  const FileURL second = FileURL::fromPath(folder / "second/run.lock");
  const FileURL third = FileURL::fromPath(folder / "third/run.lock");

  auto lock = RunLock::acquire({unusable, second, third});
  ASSERT_TRUE(lock);
  EXPECT_EQ(lock->location(), second);
  // Busy where it can be held: never taken at a later place instead.
  EXPECT_FALSE(RunLock::acquire({unusable, second, third}));
  EXPECT_FALSE(RunLock::acquire({second, third}));
  lock.reset();
  EXPECT_FALSE(std::filesystem::exists(folder / "third"));

  try {
    RunLock::acquire({unusable, FileURL::fromPath(folder / "file/other/run.lock")});
    ADD_FAILURE() << "no place could hold the lock";
  } catch (const SortError& error) {
    EXPECT_EQ(error.errorDescription(),
              "Journal unavailable: could not create the lock directory: Not a directory");
  }
}

TEST_F(RunLockTest, TheFallbacksAreTheRuntimeFolderThenAPrivateTemporaryFolder) {
  const std::string user = "ombrix-" + std::to_string(getuid());
  std::filesystem::create_directories(folder / "tmp");
  {
    testing::ScopedEnvironment runtime("XDG_RUNTIME_DIR", folder / "runtime");
    testing::ScopedEnvironment temporary("TMPDIR", folder / "tmp");
    EXPECT_EQ(RunLock::fallbackURLs(),
              (std::vector<FileURL>{FileURL::fromPath(folder / "runtime/ombrix.lock"),
                                    FileURL::fromPath(folder / ("tmp/" + user + "/run.lock"))}));
  }
  testing::ScopedEnvironment runtime("XDG_RUNTIME_DIR", std::nullopt);
  testing::ScopedEnvironment temporary("TMPDIR", folder / "tmp");
  const std::vector<FileURL> places = RunLock::fallbackURLs();
  ASSERT_EQ(places,
            std::vector<FileURL>{FileURL::fromPath(folder / ("tmp/" + user + "/run.lock"))});

  auto lock = RunLock::acquire(places);
  ASSERT_TRUE(lock);
  struct stat info {};
  ASSERT_EQ(lstat((folder / ("tmp/" + user)).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0700u);
  lock.reset();

  // A folder of that name that is not the user's own could have its lock
  // file swapped by its owner.
  std::filesystem::remove_all(folder / ("tmp/" + user));
  std::filesystem::create_directories(folder / "elsewhere");
  std::filesystem::create_directory_symlink(folder / "elsewhere", folder / ("tmp/" + user));
  EXPECT_EQ(lockFailure(places.front()), "Journal unavailable: " + (folder / ("tmp/" + user)) +
                                             " is not a folder of this user's own");
  EXPECT_FALSE(std::filesystem::exists(folder / "elsewhere/run.lock"));
  if (getuid() == 0) {
    std::filesystem::remove(folder / ("tmp/" + user));
    std::filesystem::create_directory(folder / ("tmp/" + user));
    ASSERT_EQ(chown((folder / ("tmp/" + user)).c_str(), 4321, 4321), 0);
    EXPECT_EQ(lockFailure(places.front()), "Journal unavailable: " + (folder / ("tmp/" + user)) +
                                               " is not a folder of this user's own");
  }
}

TEST_F(RunLockTest, TheLockFileLiesBesideTheJournal) {
  EXPECT_EQ(RunLock::url(FileURL::fromPath("/x/RozuZed/rozuzed.sqlite")).path(),
            "/x/RozuZed/run.lock");
  testing::ScopedEnvironment data("XDG_DATA_HOME", folder / "data");
  EXPECT_EQ(RunLock::defaultURL().path(), folder / "data/RozuZed/run.lock");
}

}  // namespace
}  // namespace rozuzed

#include "rozuzed/journal/process_identity.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <map>

#include <gtest/gtest.h>

#include "rozuzed/testing/equality_table.h"

extern char** environ;

namespace rozuzed {
namespace {

using Liveness = ProcessIdentity::Liveness;

// A child process that lives until it is killed.
class SleepingChild {
 public:
  SleepingChild() {
    char program[] = "/bin/sleep";
    char seconds[] = "600";
    char* argv[] = {program, seconds, nullptr};
    if (posix_spawn(&pid_, program, nullptr, nullptr, argv, environ) != 0) pid_ = -1;
  }
  ~SleepingChild() { stop(); }
  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

TEST(ProcessIdentityTest, CurrentIsStableAndNamesThisProcess) {
  ProcessIdentity first = ProcessIdentity::current();
  ProcessIdentity second = ProcessIdentity::current();
  EXPECT_EQ(first, second);
  EXPECT_EQ(first.hash(), second.hash());
  EXPECT_EQ(first.processID, getpid());
  EXPECT_EQ(first.liveness(), Liveness::thisProcess);
  EXPECT_FALSE(first.isFinishedForever());
}

TEST(ProcessIdentityTest, BootSessionIsTheKernelsBootId) {
  std::string boot = ProcessIdentity::bootSessionUUID();
  ASSERT_EQ(boot.size(), 36u) << boot;
  EXPECT_EQ(boot.find('\n'), std::string::npos);
  EXPECT_EQ(boot, ProcessIdentity::bootSessionUUID());
}

TEST(ProcessIdentityTest, StartTimeComesFromTheProcessTable) {
  EXPECT_TRUE(ProcessIdentity::startTime(getpid()));
  for (int32_t pid : {0, -1, 0x7fffffff}) EXPECT_FALSE(ProcessIdentity::startTime(pid)) << pid;
}

TEST(ProcessIdentityTest, StartTicksAreCountedFromTheLastParenthesis) {
  const std::string tail = " S 1 1 1 0 -1 4194304 99 0 0 0 0 0 0 0 20 0 1 0 40133 3133440 380 0";
  EXPECT_EQ(ProcessIdentity::startTicksFromStat("8492 (cat)" + tail), 40133u);
  EXPECT_EQ(ProcessIdentity::startTicksFromStat("8492 (a) b (c) d)" + tail), 40133u);
  EXPECT_EQ(ProcessIdentity::startTicksFromStat("8492 ( )" + tail), 40133u);
  EXPECT_FALSE(ProcessIdentity::startTicksFromStat("8492 (cat) Z" + tail.substr(2)));
  EXPECT_FALSE(ProcessIdentity::startTicksFromStat("8492 (cat) X" + tail.substr(2)));
  EXPECT_FALSE(ProcessIdentity::startTicksFromStat("8492 cat" + tail));
  EXPECT_FALSE(ProcessIdentity::startTicksFromStat("8492 (cat) S 1 1"));
  EXPECT_FALSE(ProcessIdentity::startTicksFromStat(
      "8492 (cat) S 1 1 1 0 -1 4194304 99 0 0 0 0 0 0 0 20 0 1 0 -5 3133440"));
  EXPECT_FALSE(ProcessIdentity::startTicksFromStat(""));
}

TEST(ProcessIdentityTest, LivenessDecisionTable) {
  const ProcessIdentity caller{"boot-A", 100, 50.0};
  // The process table of the test: pid → start time.
  const std::map<int32_t, double> table{{100, 50.0}, {200, 70.0}, {400, 0.0}};
  auto startTimeOf = [&](int32_t pid) -> std::optional<double> {
    auto found = table.find(pid);
    if (found == table.end()) return std::nullopt;
    return found->second;
  };
  struct Case {
    ProcessIdentity recorded;
    Liveness expected;
  };
  const Case cases[] = {
      {{"boot-A", 100, 50.0}, Liveness::thisProcess},
      {{"boot-A", 100, 50.0009}, Liveness::thisProcess},
      // An earlier process that had this identifier.
      {{"boot-A", 100, 50.002}, Liveness::dead},
      {{"boot-A", 100, 49.0}, Liveness::dead},
      {{"boot-A", 200, 70.0}, Liveness::anotherProcessAlive},
      {{"boot-A", 200, 69.9995}, Liveness::anotherProcessAlive},
      {{"boot-A", 200, 70.002}, Liveness::dead},
      // A difference of exactly the tolerance is no match.
      {{"boot-A", 400, 0.001}, Liveness::dead},
      {{"boot-A", 400, 0.0009}, Liveness::anotherProcessAlive},
      {{"boot-A", 300, 70.0}, Liveness::dead},
      {{"boot-A", 200, std::nan("")}, Liveness::dead},
      {{"boot-B", 100, 50.0}, Liveness::differentBootSession},
      {{"", 200, 70.0}, Liveness::differentBootSession},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.recorded.liveness(caller, startTimeOf), c.expected)
        << c.recorded.bootSessionID << " " << c.recorded.processID << " "
        << c.recorded.processStartedAt;
  }

  // An unreadable boot id is "" on both sides: the same session, and the
  // decision goes on to the process.
  const ProcessIdentity blindCaller{"", 100, 50.0};
  EXPECT_EQ((ProcessIdentity{"", 200, 70.0}.liveness(blindCaller, startTimeOf)),
            Liveness::anotherProcessAlive);
  // When this process's own start time could not be read, the caller's is
  // the present time: a record made earlier by this very process no longer
  // matches it, and an unreadable table makes it dead.
  const ProcessIdentity clockCaller{"boot-A", 100, 1.7e9};
  EXPECT_EQ((ProcessIdentity{"boot-A", 100, 1.7e9 - 5}.liveness(
                clockCaller, [](int32_t) { return std::optional<double>(); })),
            Liveness::dead);
}

TEST(ProcessIdentityTest, LiveAndEndedProcessesOfThisMachine) {
  SleepingChild child;
  ASSERT_GT(child.pid(), 0);
  auto started = ProcessIdentity::startTime(child.pid());
  ASSERT_TRUE(started);
  ProcessIdentity owner{ProcessIdentity::bootSessionUUID(), child.pid(), *started};
  EXPECT_EQ(owner.liveness(), Liveness::anotherProcessAlive);
  EXPECT_FALSE(owner.isFinishedForever());

  ProcessIdentity earlierHolder = owner;
  earlierHolder.processStartedAt -= 0.002;
  EXPECT_EQ(earlierHolder.liveness(), Liveness::dead);

  ProcessIdentity otherBoot = owner;
  otherBoot.bootSessionID = "00000000-0000-0000-0000-000000000000";
  EXPECT_EQ(otherBoot.liveness(), Liveness::differentBootSession);
  EXPECT_TRUE(otherBoot.isFinishedForever());

  child.stop();
  EXPECT_EQ(owner.liveness(), Liveness::dead);
  EXPECT_TRUE(owner.isFinishedForever());
}

TEST(ProcessIdentityTest, AProcessThatEndedButIsNotCollectedYetIsDead) {
  char program[] = "/bin/true";
  char* argv[] = {program, nullptr};
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, program, nullptr, nullptr, argv, environ), 0);
  // Wait for the exit without collecting the child, which stays a zombie.
  siginfo_t info{};
  ASSERT_EQ(waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT), 0);
  EXPECT_FALSE(ProcessIdentity::startTime(pid));
  waitpid(pid, nullptr, 0);
}

TEST(ProcessIdentityTest, EqualityAndHashAreExactWhereLivenessIsTolerant) {
  const ProcessIdentity base{"boot", 7, 10.0};
  const ProcessIdentity close{"boot", 7, 10.0005};
  EXPECT_EQ(base.liveness(close, [](int32_t) { return std::optional<double>(); }),
            Liveness::thisProcess);
  testing::expectDistinctValuesAndHashes<ProcessIdentity>({
      {"base", base},
      {"boot", {"boot2", 7, 10.0}},
      {"process", {"boot", 8, 10.0}},
      {"start time within the tolerance", close},
  });
  testing::expectEqualWithEqualHashes(ProcessIdentity{"boot", 7, 0.0},
                                      ProcessIdentity{"boot", 7, -0.0});
}

}  // namespace
}  // namespace rozuzed

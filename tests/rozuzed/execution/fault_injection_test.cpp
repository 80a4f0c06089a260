#include "rozuzed/execution/fault_injection.h"

#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "rozuzed/filesystem/live_file_system.h"

namespace rozuzed {
namespace {

using Environment = std::map<std::string, std::string>;

FaultInjector::Configuration parse(const Environment& environment) {
  return FaultInjector::Configuration::parse([&](const char* name) -> std::optional<std::string> {
    auto it = environment.find(name);
    if (it == environment.end()) return std::nullopt;
    return it->second;
  });
}

// The injector reads the environment once per process, so every case that
// arms it runs in a fresh child process: the death-test child re-runs this
// binary, and the variables are set inside the child only.
class FaultInjectorDeathTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }

  static void setEnvironment(const Environment& environment) {
    for (const char* name : {"ROZUZED_FAULT", "ROZUZED_FAULT_NTH", "ROZUZED_FAULT_SIGNAL",
                             "ROZUZED_FAULT_RANDOM_SEED", "ROZUZED_FAULT_DELAY_MS"}) {
      unsetenv(name);
    }
    for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
  }
};

// Sleeps until a signal ends the process; whatever comes, it comes without a
// deadline here, so a loaded machine changes nothing.
[[noreturn]] void waitForTheKill() {
  for (;;) ::pause();
}

std::size_t threadCount() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    ++count;
  }
  return count;
}

// The state letter of a thread of this process ('S' while it sleeps), or
// '?' once it has gone.
char taskState(pid_t id) {
  std::ifstream stat("/proc/self/task/" + std::to_string(id) + "/stat");
  std::string line;
  std::getline(stat, line);
  const auto close = line.rfind(')');
  if (close == std::string::npos || close + 2 >= line.size()) return '?';
  return line[close + 2];
}

TEST(FaultPointTest, TextIsTheCaseNameInDeclarationOrder) {
  std::vector<std::string> names;
  for (auto point : allFaultPoints) {
    names.push_back(toText(point));
    EXPECT_EQ(faultPointFromText(toText(point)), point);
  }
  EXPECT_EQ(names,
            (std::vector<std::string>{
                "beforeIntent", "afterIntentBeforeOperation", "midCopy", "midCopyPiece",
                "afterCopyBeforeRename", "afterRenameBeforeTrash", "afterOperationBeforeCommit",
                "beforeUndoIntent", "afterUndoIntentBeforeOperation",
                "afterUndoOperationBeforeCommit", "beforeFinishRun",
                "afterRecoveryOperationBeforeCommit", "afterRecoveryMarkUndoneBeforeCommit"}));
  for (const char* text : {"midcopy", "MidCopy", " midCopy", "midCopy ", "", "nothing"}) {
    EXPECT_FALSE(faultPointFromText(text)) << text;
  }
}

TEST(FaultInjectorConfigurationTest, ReadsEachVariableWithItsDefault) {
  using Configuration = FaultInjector::Configuration;
  struct Case {
    const char* what;
    Environment environment;
    Configuration expected;
  };
  const auto point = FaultPoint::afterOperationBeforeCommit;
  const std::vector<Case> cases = {
      {"nothing set", {}, {std::nullopt, 1, SIGKILL, std::nullopt}},
      {"point", {{"ROZUZED_FAULT", "afterOperationBeforeCommit"}}, {point, 1, SIGKILL, {}}},
      {"point in the wrong case", {{"ROZUZED_FAULT", "midcopy"}}, {}},
      {"unknown point", {{"ROZUZED_FAULT", "everywhere"}}, {}},
      {"nth", {{"ROZUZED_FAULT_NTH", "3"}}, {std::nullopt, 3, SIGKILL, {}}},
      {"nth with plus sign", {{"ROZUZED_FAULT_NTH", "+4"}}, {std::nullopt, 4, SIGKILL, {}}},
      {"nth zero", {{"ROZUZED_FAULT_NTH", "0"}}, {std::nullopt, 0, SIGKILL, {}}},
      {"nth negative", {{"ROZUZED_FAULT_NTH", "-2"}}, {std::nullopt, -2, SIGKILL, {}}},
      {"nth not a number", {{"ROZUZED_FAULT_NTH", "3x"}}, {}},
      {"nth with blank", {{"ROZUZED_FAULT_NTH", " 3"}}, {}},
      {"nth empty", {{"ROZUZED_FAULT_NTH", ""}}, {}},
      {"nth out of range", {{"ROZUZED_FAULT_NTH", "9223372036854775808"}}, {}},
      {"nth lowest",
       {{"ROZUZED_FAULT_NTH", "-9223372036854775808"}},
       {std::nullopt, INT64_MIN, SIGKILL, {}}},
      {"TERM", {{"ROZUZED_FAULT_SIGNAL", "TERM"}}, {std::nullopt, 1, SIGTERM, {}}},
      {"term", {{"ROZUZED_FAULT_SIGNAL", "term"}}, {}},
      {"15", {{"ROZUZED_FAULT_SIGNAL", "15"}}, {}},
      {"SIGTERM", {{"ROZUZED_FAULT_SIGNAL", "SIGTERM"}}, {}},
      {"KILL", {{"ROZUZED_FAULT_SIGNAL", "KILL"}}, {}},
      {"seed 0", {{"ROZUZED_FAULT_RANDOM_SEED", "0"}}, {std::nullopt, 1, SIGKILL, 190}},
      {"seed 1", {{"ROZUZED_FAULT_RANDOM_SEED", "1"}}, {std::nullopt, 1, SIGKILL, 337}},
      {"seed 42", {{"ROZUZED_FAULT_RANDOM_SEED", "42"}}, {std::nullopt, 1, SIGKILL, 353}},
      {"seed +42", {{"ROZUZED_FAULT_RANDOM_SEED", "+42"}}, {std::nullopt, 1, SIGKILL, 353}},
      {"seed negative", {{"ROZUZED_FAULT_RANDOM_SEED", "-1"}}, {}},
      {"seed too large", {{"ROZUZED_FAULT_RANDOM_SEED", "18446744073709551616"}}, {}},
      {"seed words", {{"ROZUZED_FAULT_RANDOM_SEED", "seed"}}, {}},
      {"seed fraction", {{"ROZUZED_FAULT_RANDOM_SEED", "1.5"}}, {}},
      {"point and seed",
       {{"ROZUZED_FAULT", "beforeIntent"}, {"ROZUZED_FAULT_RANDOM_SEED", "0"}},
       {FaultPoint::beforeIntent, 1, SIGKILL, 190}},
  };
  for (const auto& c : cases) EXPECT_EQ(parse(c.environment), c.expected) << c.what;

  auto largest = parse({{"ROZUZED_FAULT_RANDOM_SEED", "18446744073709551615"}}).randomTarget;
  ASSERT_TRUE(largest);
  EXPECT_EQ(*largest, FaultInjector::randomTarget(UINT64_MAX));
}

TEST(FaultInjectorConfigurationTest, RandomTargetsStayInRange) {
  std::set<int64_t> seen;
  for (uint64_t seed = 0; seed < 5000; ++seed) {
    int64_t target = FaultInjector::randomTarget(seed);
    ASSERT_GE(target, 1);
    ASSERT_LE(target, 400);
    seen.insert(target);
  }
  // A sweep over seeds reaches nearly every place, which is what it is for.
  EXPECT_GT(seen.size(), 390u);
}

TEST(FaultInjectorCounterTest, CountsPerPointAndInTotal) {
  FaultInjector::Counter counter;
  EXPECT_EQ(counter.next(FaultPoint::beforeIntent), (std::pair<int64_t, int64_t>{1, 1}));
  EXPECT_EQ(counter.next(FaultPoint::beforeIntent), (std::pair<int64_t, int64_t>{2, 2}));
  EXPECT_EQ(counter.next(FaultPoint::beforeFinishRun), (std::pair<int64_t, int64_t>{1, 3}));
  EXPECT_EQ(counter.next(FaultPoint::beforeIntent), (std::pair<int64_t, int64_t>{3, 4}));
}

TEST(FaultInjectorCounterTest, EveryArrivalGetsItsOwnTotalAcrossThreads) {
  FaultInjector::Counter counter;
  constexpr int threads = 8;
  constexpr int perThread = 2000;
  std::vector<std::vector<int64_t>> totals(threads);
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      for (int i = 0; i < perThread; ++i) {
        totals[t].push_back(counter.next(allFaultPoints[t % allFaultPoints.size()]).second);
      }
    });
  }
  for (auto& worker : workers) worker.join();
  std::set<int64_t> all;
  for (const auto& list : totals) all.insert(list.begin(), list.end());
  EXPECT_EQ(all.size(), static_cast<std::size_t>(threads * perThread));
  EXPECT_EQ(*all.rbegin(), threads * perThread);
}

TEST_F(FaultInjectorDeathTest, UnsetVariablesLeaveEveryHookInert) {
  EXPECT_EXIT(
      {
        setEnvironment({});
        if (FaultInjector::isArmed()) _exit(3);
        for (int round = 0; round < 500; ++round) {
          for (auto point : allFaultPoints) FaultInjector::reach(point);
        }
        const std::size_t threads = threadCount();
        FaultInjector::armDelayedKill(FaultPoint::midCopy);
        // A kill thread, once started, is there until it has killed.
        if (threadCount() != threads) _exit(4);
        if (LiveFileSystem::copyPieceSeam()) _exit(5);
        _exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(FaultInjectorDeathTest, PointModeKillsAtTheFirstArrivalByDefault) {
  EXPECT_EXIT(
      {
        setEnvironment({{"ROZUZED_FAULT", "beforeIntent"}});
        FaultInjector::reach(FaultPoint::afterIntentBeforeOperation);
        FaultInjector::reach(FaultPoint::beforeIntent);
        _exit(0);
      },
      ::testing::KilledBySignal(SIGKILL), "^ROZUZED_FAULT fired at beforeIntent arrival 1\n$");
}

TEST_F(FaultInjectorDeathTest, PointModeCountsOnlyItsOwnPoint) {
  EXPECT_EXIT(
      {
        setEnvironment(
            {{"ROZUZED_FAULT", "afterOperationBeforeCommit"}, {"ROZUZED_FAULT_NTH", "3"}});
        for (int file = 1; file <= 5; ++file) {
          FaultInjector::reach(FaultPoint::beforeIntent);
          FaultInjector::reach(FaultPoint::afterOperationBeforeCommit);
          if (file == 3) _exit(0);
        }
        _exit(0);
      },
      ::testing::KilledBySignal(SIGKILL),
      "^ROZUZED_FAULT fired at afterOperationBeforeCommit arrival 3\n$");
}

TEST_F(FaultInjectorDeathTest, AnUnreachableNthNeverKills) {
  for (const char* nth : {"0", "-1", "9"}) {
    EXPECT_EXIT(
        {
          setEnvironment({{"ROZUZED_FAULT", "beforeFinishRun"}, {"ROZUZED_FAULT_NTH", nth}});
          if (!FaultInjector::isArmed()) _exit(3);
          for (int i = 0; i < 8; ++i) FaultInjector::reach(FaultPoint::beforeFinishRun);
          _exit(0);
        },
        ::testing::ExitedWithCode(0), "")
        << nth;
  }
}

TEST_F(FaultInjectorDeathTest, OnlyTermSelectsSigterm) {
  EXPECT_EXIT(
      {
        setEnvironment({{"ROZUZED_FAULT", "beforeFinishRun"}, {"ROZUZED_FAULT_SIGNAL", "TERM"}});
        FaultInjector::reach(FaultPoint::beforeFinishRun);
      },
      ::testing::KilledBySignal(SIGTERM), "fired at beforeFinishRun arrival 1");
  EXPECT_EXIT(
      {
        setEnvironment({{"ROZUZED_FAULT", "beforeFinishRun"}, {"ROZUZED_FAULT_SIGNAL", "term"}});
        FaultInjector::reach(FaultPoint::beforeFinishRun);
      },
      ::testing::KilledBySignal(SIGKILL), "fired at beforeFinishRun arrival 1");
}

// The dying thread is watched from another: once the caught signal has been
// handled, it must sleep rather than return, and sleep again after a second
// one wakes it.
TEST_F(FaultInjectorDeathTest, ACaughtSignalStillNeverReturns) {
  EXPECT_EXIT(
      {
        setEnvironment({{"ROZUZED_FAULT", "beforeIntent"}, {"ROZUZED_FAULT_SIGNAL", "TERM"}});
        static std::atomic<int> caught{0};
        signal(SIGTERM, [](int) { ++caught; });
        // Only the dying thread takes the signal.
        sigset_t term;
        sigemptyset(&term);
        sigaddset(&term, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &term, nullptr);
        std::atomic<pid_t> id{0};
        std::atomic<bool> returned{false};
        std::thread dying([&] {
          id = ::gettid();
          pthread_sigmask(SIG_UNBLOCK, &term, nullptr);
          FaultInjector::reach(FaultPoint::beforeIntent);
          returned = true;
        });
        auto sleepsAfter = [&](int signals) {
          for (;;) {
            if (returned) return false;
            if (caught >= signals && taskState(id) == 'S' && !returned) return true;
            std::this_thread::yield();
          }
        };
        if (!sleepsAfter(1)) _exit(1);
        pthread_kill(dying.native_handle(), SIGTERM);
        if (!sleepsAfter(2)) _exit(2);
        _exit(7);
      },
      ::testing::ExitedWithCode(7), "fired at beforeIntent arrival 1");
}

TEST_F(FaultInjectorDeathTest, RandomModeCountsOverAllPointsAndAloneDecides) {
  EXPECT_EXIT(
      {
        setEnvironment({{"ROZUZED_FAULT_RANDOM_SEED", "0"}, {"ROZUZED_FAULT", "beforeIntent"}});
        FaultInjector::armDelayedKill(FaultPoint::midCopy);
        for (int arrival = 1; arrival <= 400; ++arrival) {
          // Point mode would fire here at once; random mode waits for 190.
          FaultInjector::reach(arrival == 190 ? FaultPoint::beforeFinishRun
                                              : FaultPoint::beforeIntent);
        }
        _exit(0);
      },
      ::testing::KilledBySignal(SIGKILL), "^ROZUZED_FAULT fired at beforeFinishRun arrival 190\n$");
}

TEST_F(FaultInjectorDeathTest, MidCopyIsADelayedKill) {
  EXPECT_EXIT(
      {
        setEnvironment({{"ROZUZED_FAULT", "midCopy"}});
        FaultInjector::reach(FaultPoint::afterCopyBeforeRename);
        FaultInjector::armDelayedKill(FaultPoint::afterCopyBeforeRename);
        FaultInjector::armDelayedKill(FaultPoint::midCopy);
        waitForTheKill();
      },
      ::testing::KilledBySignal(SIGKILL), "^ROZUZED_FAULT fired mid-operation at midCopy\n$");
}

// The file system calls the seam after each piece of a copy; the injector's
// seam counts the pieces of every copy together.
TEST_F(FaultInjectorDeathTest, MidCopyPieceKillsAfterTheNthPieceCopied) {
  EXPECT_EXIT(
      {
        setEnvironment({{"ROZUZED_FAULT", "midCopyPiece"}, {"ROZUZED_FAULT_NTH", "3"}});
        if (!FaultInjector::isArmed()) _exit(3);
        const std::function<void()> pieceCopied = LiveFileSystem::copyPieceSeam();
        if (!pieceCopied) _exit(4);
        pieceCopied();
        pieceCopied();
        FaultInjector::reach(FaultPoint::afterCopyBeforeRename);
        pieceCopied();
        _exit(0);
      },
      ::testing::KilledBySignal(SIGKILL), "^ROZUZED_FAULT fired at midCopyPiece arrival 3\n$");
}

TEST_F(FaultInjectorDeathTest, OnlyPointModeWithMidCopyPieceWatchesCopies) {
  for (const Environment& environment :
       {Environment{{"ROZUZED_FAULT", "midCopy"}},
        Environment{{"ROZUZED_FAULT", "midCopyPiece"}, {"ROZUZED_FAULT_RANDOM_SEED", "0"}}}) {
    EXPECT_EXIT(
        {
          setEnvironment(environment);
          if (!FaultInjector::isArmed()) _exit(3);
          _exit(LiveFileSystem::copyPieceSeam() ? 4 : 0);
        },
        ::testing::ExitedWithCode(0), "")
        << environment.begin()->second;
  }
}

TEST_F(FaultInjectorDeathTest, OnlyTheDelayIsReadAgainAfterTheFirstHook) {
  EXPECT_EXIT(
      {
        // A day: were it kept, the test would end in its time limit.
        setEnvironment({{"ROZUZED_FAULT", "midCopy"}, {"ROZUZED_FAULT_DELAY_MS", "86400000"}});
        if (!FaultInjector::isArmed()) _exit(3);
        unsetenv("ROZUZED_FAULT");
        setenv("ROZUZED_FAULT_SIGNAL", "TERM", 1);
        setenv("ROZUZED_FAULT_DELAY_MS", "0", 1);
        FaultInjector::armDelayedKill(FaultPoint::midCopy);
        waitForTheKill();
      },
      ::testing::KilledBySignal(SIGKILL), "fired mid-operation at midCopy");
}

}  // namespace
}  // namespace rozuzed

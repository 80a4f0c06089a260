#include "rozuzed/support/parallel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace rozuzed {
namespace {

TEST(ParallelTest, ThreadsForStaysWithinOneAndTheCores) {
  const std::size_t cores = std::max<std::size_t>(1, std::thread::hardware_concurrency());
  EXPECT_EQ(threadsFor(0, 100), 1u);
  EXPECT_EQ(threadsFor(100, 100), 1u);
  EXPECT_EQ(threadsFor(101, 100), std::min<std::size_t>(2, cores));
  EXPECT_LE(threadsFor(1'000'000, 1), std::min<std::size_t>(4, cores));
}

// Each result is made once and taken once, in the order of the indices,
// whatever order the threads finish in; no two makes share a thread number
// at once, and no more results wait than two per thread.
TEST(ParallelTest, ResultsArriveInOrderWithBoundedLookahead) {
  struct Case {
    std::size_t count;
    std::size_t threads;
  };
  for (const Case& c : {Case{0, 4}, Case{1, 4}, Case{7, 1}, Case{5, 8}, Case{1000, 3},
                        Case{1000, 8}}) {
    SCOPED_TRACE("count " + std::to_string(c.count) + ", threads " + std::to_string(c.threads));
    std::vector<std::atomic<int>> made(c.count);
    std::vector<std::atomic<bool>> busy(std::max<std::size_t>(c.threads, 1));
    std::atomic<std::size_t> madeSoFar{0};
    std::atomic<bool> overlapped{false};
    std::atomic<bool> tooFarAhead{false};
    std::vector<std::size_t> taken;
    std::atomic<std::size_t> takenSoFar{0};
    makeInOrder<std::size_t>(
        c.count, c.threads,
        [&](std::size_t index, std::size_t thread) {
          if (thread >= busy.size() || busy[thread].exchange(true)) overlapped = true;
          // Uneven work, so later indices often finish first.
          if (index % 7 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
          ++made[index];
          if (++madeSoFar > takenSoFar + 2 * std::max<std::size_t>(c.threads, 1) + 1) {
            tooFarAhead = true;
          }
          busy[thread] = false;
          return index;
        },
        [&](std::size_t result) {
          taken.push_back(result);
          ++takenSoFar;
        });
    ASSERT_EQ(taken.size(), c.count);
    for (std::size_t i = 0; i < c.count; ++i) {
      EXPECT_EQ(taken[i], i);
      EXPECT_EQ(made[i], 1);
    }
    EXPECT_FALSE(overlapped);
    EXPECT_FALSE(tooFarAhead);
  }
}

TEST(ParallelTest, RunsCoverEveryItemOnceTheLastOneShort) {
  std::vector<std::pair<std::size_t, std::size_t>> runs;
  makeInRuns<std::pair<std::size_t, std::size_t>>(
      10, 4, 2, [](std::size_t begin, std::size_t end, std::size_t) { return std::pair(begin, end); },
      [&](std::pair<std::size_t, std::size_t> run) { runs.push_back(run); });
  EXPECT_EQ(runs, (std::vector<std::pair<std::size_t, std::size_t>>{{0, 4}, {4, 8}, {8, 10}}));
}

// A failed make reaches the caller in its turn: every result before it is
// taken, none after it.
TEST(ParallelTest, AFailedMakeIsThrownInItsTurn) {
  for (std::size_t threads : {1u, 4u}) {
    std::vector<std::size_t> taken;
    EXPECT_THROW(makeInOrder<std::size_t>(
                     200, threads,
                     [](std::size_t index, std::size_t) {
                       if (index == 57) throw std::runtime_error("cannot make 57");
                       return index;
                     },
                     [&](std::size_t result) { taken.push_back(result); }),
                 std::runtime_error);
    ASSERT_EQ(taken.size(), 57u) << threads << " threads";
    EXPECT_EQ(taken.back(), 56u);
  }
}

// A failed take stops the threads and reaches the caller; results may hold
// what cannot be copied.
TEST(ParallelTest, AFailedTakeStopsTheWork) {
  std::atomic<std::size_t> made{0};
  EXPECT_THROW(makeInOrder<std::unique_ptr<std::size_t>>(
                   100'000, 4,
                   [&](std::size_t index, std::size_t) {
                     ++made;
                     return std::make_unique<std::size_t>(index);
                   },
                   [](std::unique_ptr<std::size_t> result) {
                     if (*result == 10) throw std::runtime_error("cannot take 10");
                   }),
               std::runtime_error);
  EXPECT_LT(made.load(), 100u);
}

}  // namespace
}  // namespace rozuzed

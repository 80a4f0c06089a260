#include "rozuzed/execution/execution_records.h"

#include <gtest/gtest.h>

#include "rozuzed/execution/executor.h"

namespace rozuzed {
namespace {

TEST(ExecutionProgressTest, FractionCompleted) {
  struct Case {
    int64_t completed;
    int64_t total;
    double fraction;
  };
  for (const auto& c : std::vector<Case>{
           {0, 0, 1.0}, {3, 4, 0.75}, {0, 7, 0.0}, {7, 7, 1.0}, {5, 4, 1.25}, {1, 3, 1.0 / 3.0}}) {
    EXPECT_DOUBLE_EQ((ExecutionProgress{c.completed, c.total, std::nullopt}.fractionCompleted()),
                     c.fraction)
        << c.completed << "/" << c.total;
  }
}

TEST(ExecutionProgressTest, EqualityTakesEveryField) {
  auto file = FileURL::fromPath("/d/a.txt");
  ExecutionProgress bare{1, 3, std::nullopt};
  EXPECT_EQ(bare, (ExecutionProgress{1, 3, std::nullopt}));
  EXPECT_EQ(std::hash<ExecutionProgress>{}(bare),
            std::hash<ExecutionProgress>{}(ExecutionProgress{1, 3, std::nullopt}));
  EXPECT_NE(bare, (ExecutionProgress{1, 3, file}));
  EXPECT_NE(bare, (ExecutionProgress{2, 3, std::nullopt}));
  EXPECT_NE(bare, (ExecutionProgress{1, 4, std::nullopt}));
  EXPECT_EQ((ExecutionProgress{1, 3, file}), (ExecutionProgress{1, 3, file}));
}

TEST(ExecutionReportTest, SuccessIgnoresCompletedAndBatchIsTheRun) {
  ExecutionReport report{.runID = Uuid::random(), .completed = {}, .skipped = {}, .failures = {}};
  EXPECT_TRUE(report.isCompleteSuccess());
  EXPECT_EQ(report.batchID(), report.runID);

  report.completed.push_back(JournalEntry{});
  EXPECT_TRUE(report.isCompleteSuccess());

  report.skipped.push_back(
      SkippedFile{FileURL::fromPath("/d/a"), SkipReason::vanishedSincePlanning()});
  EXPECT_FALSE(report.isCompleteSuccess());

  report.skipped.clear();
  report.failures.push_back(
      ExecutionFailure{PlannedMove{}, SortError::refusedToOverwrite(FileURL::fromPath("/d/b"))});
  EXPECT_FALSE(report.isCompleteSuccess());
}

TEST(ExecutorOptionsTest, DefaultsAndEquality) {
  Executor::Options defaults;
  Executor::Options spelledOut{.revalidateSources = true,
                               .continueOnError = true,
                               .collisionRetries = 5,
                               .safety = SafetyPolicy(),
                               .batchSize = 32};
  EXPECT_EQ(defaults, spelledOut);
  EXPECT_EQ(std::hash<Executor::Options>{}(defaults), std::hash<Executor::Options>{}(spelledOut));
  EXPECT_EQ(defaults.safety.inFlightWindow, 60);
  EXPECT_TRUE(defaults.safety.skipHiddenFiles);
  EXPECT_EQ(defaults.safety.inFlightExtensions,
            (std::set<std::string>{"download", "crdownload", "part", "partial", "opdownload", "tmp",
                                   "!ut"}));

  for (auto change : std::vector<std::function<void(Executor::Options&)>>{
           [](auto& o) { o.revalidateSources = false; }, [](auto& o) { o.continueOnError = false; },
           [](auto& o) { o.collisionRetries = 4; },
           [](auto& o) { o.safety.skipHiddenFiles = false; }, [](auto& o) { o.batchSize = 1; }}) {
    Executor::Options other;
    change(other);
    EXPECT_NE(other, defaults);
  }
}

}  // namespace
}  // namespace rozuzed

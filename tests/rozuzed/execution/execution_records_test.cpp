#include "rozuzed/execution/execution_records.h"

#include <gtest/gtest.h>

#include "rozuzed/execution/executor.h"
#include "rozuzed/testing/equality_table.h"

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

TEST(ExecutionProgressTest, EqualityAndHashTakeEveryField) {
  auto file = FileURL::fromPath("/d/a.txt");
  testing::expectDistinctValuesAndHashes<ExecutionProgress>({
      {"base", {1, 3, file}},
      {"completedCount", {2, 3, file}},
      {"totalCount", {1, 4, file}},
      {"currentFile", {1, 3, FileURL::fromPath("/d/b.txt")}},
      {"no currentFile", {1, 3, std::nullopt}},
  });
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
  testing::expectEqualWithEqualHashes(defaults, spelledOut);
  EXPECT_EQ(defaults.safety.inFlightWindow, 60);
  EXPECT_TRUE(defaults.safety.skipHiddenFiles);
  EXPECT_EQ(defaults.safety.inFlightExtensions,
            (std::set<std::string>{"download", "crdownload", "part", "partial", "opdownload", "tmp",
                                   "!ut"}));

  auto with = [&](auto change) { return testing::changed(defaults, change); };
  testing::expectDistinctValuesAndHashes<Executor::Options>({
      {"defaults", defaults},
      {"revalidateSources", with([](auto& o) { o.revalidateSources = false; })},
      {"continueOnError", with([](auto& o) { o.continueOnError = false; })},
      {"collisionRetries", with([](auto& o) { o.collisionRetries = 4; })},
      {"safety", with([](auto& o) { o.safety.skipHiddenFiles = false; })},
      {"batchSize", with([](auto& o) { o.batchSize = 1; })},
  });
}

}  // namespace
}  // namespace rozuzed

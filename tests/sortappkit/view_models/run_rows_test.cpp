#include <gtest/gtest.h>

#include "rozuzed/testing/equality_table.h"
#include "sortappkit/view_models/attention_row.h"
#include "sortappkit/view_models/recovery_summary.h"
#include "sortappkit/view_models/run_result.h"
#include "sortappkit/view_models/run_summary.h"
#include "sortappkit/view_models/undo_result.h"

namespace sortappkit {
namespace {

using rozuzed::BatchSummary;
using rozuzed::FileURL;
using rozuzed::JournalEntry;
using rozuzed::SortError;
using rozuzed::UndoSkipReason;
using rozuzed::Uuid;

const FileURL kFolder = FileURL::fromPath("/Users/ann/Downloads/", true);

JournalEntry entry(const std::string& source, const std::string& destination) {
  JournalEntry e;
  e.sourceURL = FileURL::fromPath(source);
  e.destinationURL = FileURL::fromPath(destination);
  return e;
}

TEST(RunSummaryTest, CountsAndStateOfOneRun) {
  struct Case {
    int64_t moved;
    int64_t undone;
    bool fullyUndone;
    int64_t outstanding;
    bool canUndo;
  };
  for (const Case& c : {Case{0, 0, false, 0, false}, Case{3, 3, true, 0, false},
                        Case{5, 2, false, 3, true}, Case{1, 2, false, -1, false}}) {
    SCOPED_TRACE(c.moved);
    RunSummary row(Uuid::random(), 10, std::nullopt, c.moved, c.undone);
    EXPECT_EQ(row.isFullyUndone(), c.fullyUndone);
    EXPECT_EQ(row.outstandingCount(), c.outstanding);
    EXPECT_EQ(row.canUndo(), c.canUndo);
    EXPECT_EQ(row.needsAttentionCount, 0);
    EXPECT_FALSE(row.wasRecovered);
    EXPECT_FALSE(row.folderName());
  }

  BatchSummary batch;
  batch.id = Uuid::random();
  batch.performedAt = 42;
  batch.sourceDirectory = FileURL::fromPath("/Volumes/Data/Inbox/", true);
  batch.moveCount = 4;
  batch.undoneCount = 1;
  batch.needsAttentionCount = 2;
  for (auto state : {rozuzed::RunState::running, rozuzed::RunState::finished,
                     rozuzed::RunState::recovered, rozuzed::RunState::legacy}) {
    batch.state = state;
    EXPECT_EQ(RunSummary(batch).wasRecovered, state == rozuzed::RunState::recovered);
    // A run still moving files, in another copy of the program, is never
    // offered for undo.
    EXPECT_EQ(RunSummary(batch).canUndo(), state != rozuzed::RunState::running);
  }
  batch.state = rozuzed::RunState::finished;
  const RunSummary row(batch);
  EXPECT_EQ(row.id, batch.id);
  EXPECT_EQ(row.performedAt, 42);
  EXPECT_EQ(row.folderPath, "/Volumes/Data/Inbox");
  EXPECT_EQ(row.folderName(), "Inbox");
  EXPECT_EQ(row.movedCount, 4);
  EXPECT_EQ(row.undoneCount, 1);
  EXPECT_EQ(row.needsAttentionCount, 2);
  BatchSummary undoKind = batch;
  undoKind.kind = rozuzed::RunKind::undo;
  EXPECT_EQ(RunSummary(undoKind), RunSummary(batch));
}

TEST(RunResultTest, KeepsTheReportsOrderAndNamesDestinationsRelativeToTheFolder) {
  rozuzed::ExecutionReport report;
  report.runID = Uuid::random();
  report.completed = {
      entry("/Users/ann/Downloads/z.jpg", "/Users/ann/Downloads/Images/z.jpg"),
      entry("/Users/ann/Downloads/a.jpg", "/Users/ann/Downloads/Images/a (2).jpg"),
      entry("/Users/ann/Downloads/r.pdf", "/Users/ann/Downloads/Documents/PDF/r.pdf"),
      entry("/Users/ann/Downloads/s.mp3", "/Users/ann/Music/s.mp3"),
      entry("/Users/ann/Downloads/Sub/t.txt", "/Users/ann/Downloads/t.txt"),
  };
  report.skipped = {{FileURL::fromPath("/Users/ann/Downloads/z.txt"),
                     rozuzed::SkipReason::vanishedSincePlanning()},
                    {FileURL::fromPath("/Users/ann/Downloads/b.txt"),
                     rozuzed::SkipReason::changedSincePlanning()}};
  rozuzed::PlannedMove failedMove;
  failedMove.source = FileURL::fromPath("/Users/ann/Downloads/c.jpg");
  report.failures = {{failedMove, SortError::refusedToOverwrite(FileURL::fromPath("/x/c.jpg"))}};

  const RunResult result(report, kFolder);
  EXPECT_EQ(result.id, report.runID);
  EXPECT_EQ(result.folder, kFolder);
  ASSERT_EQ(result.moved.size(), 5u);
  std::vector<std::pair<std::string, std::string>> moved;
  for (const auto& row : result.moved) moved.emplace_back(row.name, row.destinationName);
  EXPECT_EQ(moved,
            (std::vector<std::pair<std::string, std::string>>{{"z.jpg", "Images"},
                                                              {"a.jpg", "Images"},
                                                              {"r.pdf", "Documents/PDF"},
                                                              {"s.mp3", "/Users/ann/Music"},
                                                              {"t.txt", "/Users/ann/Downloads"}}));
  EXPECT_EQ(result.moved[1].toURL.lastPathComponent(), "a (2).jpg");
  EXPECT_EQ(result.moved[1].id, report.completed[1].id);

  ASSERT_EQ(result.leftAlone.size(), 2u);
  EXPECT_EQ(result.leftAlone[0].name, "z.txt") << "not sorted";
  EXPECT_EQ(result.leftAlone[0].reasonLabel, "gone since planning");
  EXPECT_EQ(result.leftAlone[1].id, "/Users/ann/Downloads/b.txt");

  ASSERT_EQ(result.failed.size(), 1u);
  EXPECT_EQ(result.failed[0].id, failedMove.id);
  EXPECT_EQ(result.failed[0].name, "c.jpg");
  EXPECT_EQ(result.failed[0].message, "Refusing to overwrite /x/c.jpg");
  EXPECT_FALSE(result.isCompleteSuccess());
  EXPECT_TRUE(result.canUndo());
}

TEST(RunResultTest, SuccessAndUndoDependOnTheLists) {
  rozuzed::ExecutionReport empty;
  EXPECT_TRUE(RunResult(empty, kFolder).isCompleteSuccess());
  EXPECT_FALSE(RunResult(empty, kFolder).canUndo());

  rozuzed::ExecutionReport onlySkipped;
  onlySkipped.skipped = {
      {FileURL::fromPath("/Users/ann/Downloads/a"), rozuzed::SkipReason::vanishedSincePlanning()}};
  EXPECT_FALSE(RunResult(onlySkipped, kFolder).isCompleteSuccess());
  EXPECT_FALSE(RunResult(onlySkipped, kFolder).canUndo());
}

TEST(UndoResultTest, WordsEveryReasonAndComparesNamesOnly) {
  const FileURL destination = FileURL::fromPath("/d/Images/a (2).jpg");
  const FileURL source = FileURL::fromPath("/d/a.jpg");
  const std::pair<UndoSkipReason, std::string> wordings[] = {
      {UndoSkipReason::fileMissingAtRecordedLocation(destination), "it is no longer at a (2).jpg"},
      {UndoSkipReason::fingerprintMismatch({1, 2}, {3, 4}), "it has been edited since it moved"},
      {UndoSkipReason::originalPathNowOccupied(source), "something else is at a.jpg now"},
      {UndoSkipReason::restoreFailed(SortError::sourceMissing(destination)),
       "/d/Images/a (2).jpg no longer exists"},
      {UndoSkipReason::alreadyUndone(), "already undone"},
      {UndoSkipReason::notCommitted(), "it was never recorded as moved"},
  };
  for (const auto& [reason, text] : wordings) EXPECT_EQ(UndoResult::describe(reason), text);

  rozuzed::UndoReport report;
  report.runID = Uuid::random();
  report.reversedRunID = Uuid::random();
  report.restored = {entry("/d/b.jpg", "/d/Images/b.jpg")};
  report.skipped = {{entry("/d/a.jpg", "/d/Images/a (2).jpg"), UndoSkipReason::alreadyUndone()},
                    {entry("/d/c.jpg", "/d/Images/c.jpg"), UndoSkipReason::notCommitted()}};
  report.leftovers = {FileURL::fromPath("/d/Images/b.jpg")};
  const UndoResult result(report);
  EXPECT_EQ(result.batchID, report.reversedRunID);
  EXPECT_EQ(result.restoredCount, 1);
  ASSERT_EQ(result.skipped.size(), 2u);
  EXPECT_EQ(result.skipped[0].name, "a (2).jpg");
  EXPECT_EQ(result.skipped[0].reason, "already undone");
  EXPECT_FALSE(result.isCompleteSuccess());

  auto with = [&](auto change) { return rozuzed::testing::changed(result, change); };
  rozuzed::testing::expectDistinctValuesAndHashes<UndoResult>({
      {"result", result},
      {"batchID", with([](UndoResult& r) { r.batchID = Uuid{}; })},
      {"restoredCount", with([](UndoResult& r) { r.restoredCount = 2; })},
      {"a skipped name", with([](UndoResult& r) { r.skipped[0].name = "b.jpg"; })},
      {"skipped reordered", with([](UndoResult& r) { std::swap(r.skipped[0], r.skipped[1]); })},
      {"a skip fewer", with([](UndoResult& r) { r.skipped.pop_back(); })},
  });
  rozuzed::testing::expectEqualWithEqualHashes(
      result, with([](UndoResult& r) { r.skipped[0].reason = "something else"; }));

  report.skipped.clear();
  EXPECT_TRUE(UndoResult(report).isCompleteSuccess()) << "leftovers do not count";
}

TEST(RecoverySummaryTest, CountsTheReportAndListsWhatNeedsAttention) {
  JournalEntry unclear = entry("/d/a.jpg", "/d/Images/a.jpg");
  unclear.attentionReason = "Both copies exist.";
  JournalEntry unexplained = entry("/d/b.jpg", "/d/Images/b.jpg");
  JournalEntry blank = entry("/d/c.jpg", "/d/Images/c.jpg");
  blank.attentionReason = "";

  rozuzed::RecoveryReport report;
  report.runID = Uuid::random();
  report.runKind = rozuzed::RunKind::undo;
  report.interruptedAt = 99;
  report.abandoned = {entry("/d/x", "/d/y")};
  // Beyond the abandoned entries: files no batch of the run reached.
  report.untouchedCount = 7;
  report.needsAttention = {unclear, unexplained, blank};
  const RecoverySummary summary(report);
  EXPECT_EQ(summary.id, report.runID);
  EXPECT_EQ(summary.interruptedAt, 99);
  EXPECT_TRUE(summary.wasUndo);
  EXPECT_EQ(summary.movedCount, 0);
  EXPECT_EQ(summary.untouchedCount, 7);
  EXPECT_FALSE(summary.canUndo());
  ASSERT_EQ(summary.needsAttention.size(), 3u);

  const AttentionRow& first = summary.needsAttention[0];
  EXPECT_EQ(first.id, unclear.id);
  EXPECT_EQ(first.name, "a.jpg");
  EXPECT_EQ(first.sourcePath, "/d/a.jpg");
  EXPECT_EQ(first.destinationPath, "/d/Images/a.jpg");
  EXPECT_EQ(first.reason, "Both copies exist.");
  EXPECT_EQ(summary.needsAttention[1].reason, "Could not be classified.");
  EXPECT_EQ(summary.needsAttention[2].reason, "");

  report.runKind = rozuzed::RunKind::apply;
  report.committed = {entry("/d/m", "/d/n")};
  EXPECT_FALSE(RecoverySummary(report).wasUndo);
  EXPECT_TRUE(RecoverySummary(report).canUndo());
}

}  // namespace
}  // namespace sortappkit

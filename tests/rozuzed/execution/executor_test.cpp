#include "rozuzed/execution/executor.h"

#include <map>
#include <set>
#include <stdexcept>
#include <stop_token>

#include <gtest/gtest.h>

#include "rozuzed/filesystem/content_hashing.h"
#include "rozuzed/testing/fixed_date_provider.h"
#include "rozuzed/testing/in_memory_file_system.h"
#include "rozuzed/testing/journaled_moves.h"
#include "rozuzed/testing/recording_access.h"
#include "rozuzed/testing/recording_journal_store.h"

namespace rozuzed {
namespace {

using testing::FixedDateProvider;
using testing::InMemoryFileSystem;
using testing::JournalCall;
using testing::RecordingAccess;
using testing::RecordingJournalStore;
using Op = InMemoryFileSystem::Operation;
using testing::kNow;
using testing::kOld;

class ExecutorTest : public ::testing::Test {
 protected:
  // "/" holds the scanned folder "/src"; "/ext" is a second volume.
  InMemoryFileSystem fs{{"/ext"}};
  RecordingJournalStore journal;
  RecordingAccess access;
  FixedDateProvider dates{kNow, 0.5};
  std::vector<ExecutionProgress> progress;
  std::stop_source stop;

  // A file "/src/<name>" that a rule sends to `folder`.
  PlannedMove addMove(const std::string& name, const std::string& folder = "/src/Documents",
                      std::optional<MoveStrategy> planned = std::nullopt) {
    std::string contents = "contents of " + name;
    fs.addFile("/src/" + name, {.contents = contents, .modificationDate = kOld});
    auto destination = FileURL::fromPath(folder, true);
    MoveStrategy strategy =
        planned.value_or(folder.starts_with("/ext") ? MoveStrategy::crossVolumeCopyVerifyTrash
                                                    : MoveStrategy::sameVolumeMove);
    return PlannedMove{.planSequence = static_cast<int64_t>(nextSequence++),
                       .source = FileURL::fromPath("/src/" + name),
                       .destinationDirectory = destination,
                       .destinationURL = destination.appendingPathComponent(name),
                       .matchedRuleID = "rule-" + name,
                       .matchedRuleName = "Rule",
                       .fingerprint = {static_cast<int64_t>(contents.size()), kOld},
                       .strategy = strategy};
  }

  SortPlan makePlan(std::vector<PlannedMove> moves) {
    return SortPlan{.createdAt = kNow - 100,
                    .sourceDirectory = FileURL::fromPath("/src", true),
                    .ruleSetHash = "hash",
                    .moves = std::move(moves)};
  }

  ExecutionReport apply(const SortPlan& plan, const Executor::Options& options = {}) {
    Executor executor(fs, journal, access, dates);
    return executor.apply(
        plan, options, [&](const ExecutionProgress& p) { progress.push_back(p); },
        stop.get_token());
  }

  std::vector<std::pair<JournalCall::Kind, std::pair<size_t, size_t>>> journalShape() const {
    std::vector<std::pair<JournalCall::Kind, std::pair<size_t, size_t>>> out;
    for (const auto& call : journal.calls()) {
      out.push_back({call.kind, {call.completed.size(), call.intents.size()}});
    }
    return out;
  }

  std::optional<JournalEntry> storedEntry(const Uuid& runID, const FileURL& source) {
    for (const auto& entry : journal.store().entries(runID)) {
      if (entry.sourceURL == source) return entry;
    }
    return std::nullopt;
  }

  size_t nextSequence = 0;
};

TEST_F(ExecutorTest, APlanWithoutMovesIsBegunAndFinished) {
  auto plan = makePlan({});
  auto report = apply(plan);

  EXPECT_EQ(report.runID, plan.id);
  EXPECT_TRUE(report.isCompleteSuccess());
  EXPECT_TRUE(report.completed.empty());
  using K = JournalCall::Kind;
  EXPECT_EQ(journalShape(),
            (decltype(journalShape()){{K::beginRun, {0, 0}}, {K::finishRun, {0, 0}}}));
  auto run = journal.store().run(plan.id);
  ASSERT_TRUE(run);
  EXPECT_EQ(run->state, RunState::finished);
  EXPECT_EQ(progress, (std::vector<ExecutionProgress>{{0, 0, std::nullopt}}));
}

TEST_F(ExecutorTest, TheRunHeaderDescribesThePlanAndThisProcess) {
  auto plan = makePlan({addMove("a.txt"), addMove("b.txt")});
  apply(plan);

  const auto& begun = journal.calls().front();
  ASSERT_EQ(begun.kind, JournalCall::Kind::beginRun);
  const RunRecord& run = *begun.run;
  EXPECT_EQ(run.id, plan.id);
  EXPECT_EQ(run.planID, plan.id);
  EXPECT_EQ(run.kind, RunKind::apply);
  EXPECT_EQ(run.state, RunState::running);
  EXPECT_FALSE(run.reversesRunID);
  EXPECT_EQ(run.sourceDirectory, plan.sourceDirectory);
  EXPECT_EQ(run.startedAt, kNow);
  EXPECT_FALSE(run.finishedAt);
  EXPECT_EQ(run.owner.processID, ProcessIdentity::current().processID);
  EXPECT_EQ(run.appliedPlan, AppliedPlan::from(plan));

  auto stored = journal.store().run(plan.id);
  EXPECT_EQ(stored->state, RunState::finished);
  EXPECT_GT(*stored->finishedAt, kNow);
}

// A file's facts are read once before its move and once after; making a
// folder and reading its volume is work of the run, not of each file, and
// no name is looked for in a folder the run made itself.
TEST_F(ExecutorTest, EachFileIsReadOnceBeforeAndOnceAfterItsMoveAndEachFolderOncePerRun) {
  const std::vector<std::string> folders = {"/src/Documents", "/src/Notes/Old", "/src/Kept"};
  std::vector<PlannedMove> moves;
  for (int i = 0; i < 42; ++i) {
    moves.push_back(addMove("f" + std::to_string(i) + ".txt", folders[i % 3]));
  }
  for (bool revalidate : {true, false}) {
    SCOPED_TRACE(revalidate ? "revalidated" : "not revalidated");
    fs = InMemoryFileSystem{{"/ext"}};
    fs.addFolder("/src/Kept");
    for (const auto& move : moves) {
      fs.addFile(move.source.path(), {.contents = "contents of " + move.source.lastPathComponent(),
                                      .modificationDate = kOld});
    }
    auto report = apply(makePlan(moves), {.revalidateSources = revalidate});
    ASSERT_EQ(report.completed.size(), moves.size());

    std::map<std::string, int> reads, lookups;
    for (const auto& call : fs.calls(Op::metadata)) ++reads[call.url.path()];
    for (const auto& call : fs.calls(Op::fileExists)) ++lookups[call.url.path()];
    for (const auto& move : moves) {
      EXPECT_EQ(reads[move.source.path()], 1) << move.source.path();
      EXPECT_EQ(reads[move.destinationURL.path()], 1) << move.destinationURL.path();
      const bool kept = move.destinationDirectory.path() == "/src/Kept";
      EXPECT_EQ(lookups[move.destinationURL.path()], kept ? 1 : 0) << move.destinationURL.path();
    }
    EXPECT_EQ(reads.size(), 2 * moves.size());
    std::multiset<std::string> volumes, made;
    for (const auto& call : fs.calls(Op::volumeID)) volumes.insert(call.url.path());
    for (const auto& call : fs.calls(Op::createDirectory)) made.insert(call.url.path());
    const std::multiset<std::string> once(folders.begin(), folders.end());
    EXPECT_EQ(volumes, once) << "a source's volume is in its facts";
    EXPECT_EQ(made, once);
    EXPECT_TRUE(fs.calls(Op::contentHash).empty());
  }
}

TEST_F(ExecutorTest, SameVolumeMovesAreJournaledThirtyTwoAtATime) {
  std::vector<PlannedMove> moves;
  for (int i = 0; i < 70; ++i) moves.push_back(addMove("f" + std::to_string(i) + ".txt"));
  auto plan = makePlan(moves);
  auto report = apply(plan);

  using K = JournalCall::Kind;
  EXPECT_EQ(journalShape(), (decltype(journalShape()){{K::beginRun, {0, 32}},
                                                      {K::commit, {32, 32}},
                                                      {K::commit, {32, 6}},
                                                      {K::finishRun, {6, 0}}}));
  EXPECT_EQ(report.completed.size(), 70u);
  for (size_t i = 0; i < moves.size(); ++i) {
    EXPECT_EQ(report.completed[i].sourceURL, moves[i].source);
    // Each intent's id sorts after the one before, so the journal's index of
    // ids grows at its end rather than at a page of it for every entry.
    if (i > 0) {
      EXPECT_LT(report.completed[i - 1].id.text(), report.completed[i].id.text());
    }
    EXPECT_FALSE(fs.exists(moves[i].source.path()));
    EXPECT_TRUE(fs.exists(moves[i].destinationURL.path()));
  }
  auto stored = journal.store().entries(plan.id);
  ASSERT_EQ(stored.size(), 70u);
  for (const auto& entry : stored) EXPECT_EQ(entry.state, EntryState::committed);
}

TEST_F(ExecutorTest, CrossVolumeMovesGetABatchOfTheirOwn) {
  struct Case {
    std::vector<MoveStrategy> planned;
    int64_t batchSize;
    std::vector<size_t> sizes;
  };
  const auto S = MoveStrategy::sameVolumeMove;
  const auto C = MoveStrategy::crossVolumeCopyVerifyTrash;
  const std::vector<Case> cases = {
      {{S, C, S, S}, 32, {1, 1, 2}},         {{C, C}, 32, {1, 1}}, {{S, S, S, S, S}, 2, {2, 2, 1}},
      {{S, S, C, S, S, S}, 2, {2, 1, 2, 1}}, {{S, S}, 1, {1, 1}},  {{}, 32, {}},
  };
  for (const auto& c : cases) {
    std::vector<PlannedMove> moves;
    for (auto strategy : c.planned) moves.push_back(PlannedMove{.strategy = strategy});
    std::vector<size_t> sizes;
    for (const auto& batch : Executor::batches(moves, c.batchSize)) sizes.push_back(batch.size());
    EXPECT_EQ(sizes, c.sizes);
  }
}

TEST_F(ExecutorTest, EachBatchsIntentsTravelWithThePreviousOutcomes) {
  auto plan = makePlan(
      {addMove("a.txt"), addMove("b.bin", "/ext/Documents"), addMove("c.txt"), addMove("d.txt")});
  auto report = apply(plan);
  EXPECT_TRUE(report.isCompleteSuccess());

  using K = JournalCall::Kind;
  EXPECT_EQ(journalShape(), (decltype(journalShape()){{K::beginRun, {0, 1}},
                                                      {K::commit, {1, 1}},
                                                      {K::commit, {1, 2}},
                                                      {K::finishRun, {2, 0}}}));
}

TEST_F(ExecutorTest, ABatchSizeBelowOneCountsAsOne) {
  auto plan = makePlan({addMove("a.txt"), addMove("b.txt")});
  apply(plan, {.batchSize = 0});
  using K = JournalCall::Kind;
  EXPECT_EQ(journalShape(),
            (decltype(journalShape()){
                {K::beginRun, {0, 1}}, {K::commit, {1, 1}}, {K::finishRun, {1, 0}}}));
}

TEST_F(ExecutorTest, AnIntentIsDurableBeforeItsFileIsTouched) {
  auto plan = makePlan({addMove("a.txt"), addMove("b.txt"), addMove("c.bin", "/ext/Documents")});
  int checked = 0;
  fs.beforeCall = [&](const InMemoryFileSystem::Call& call) {
    if (call.operation != Op::moveItem && call.operation != Op::copyItem) return;
    if (!call.url.path().starts_with("/src/")) return;
    auto entry = storedEntry(plan.id, call.url);
    ASSERT_TRUE(entry) << call.url.path();
    EXPECT_EQ(entry->state, EntryState::pending);
    ++checked;
  };
  apply(plan);
  EXPECT_EQ(checked, 3);
}

TEST_F(ExecutorTest, CommittedEntriesRecordTheOutcome) {
  auto move = addMove("a.txt");
  auto plan = makePlan({move});
  auto report = apply(plan);

  ASSERT_EQ(report.completed.size(), 1u);
  const auto& entry = report.completed[0];
  EXPECT_EQ(entry.runID, plan.id);
  EXPECT_EQ(entry.planSequence, move.planSequence);
  EXPECT_EQ(entry.state, EntryState::committed);
  EXPECT_EQ(entry.strategy, MoveStrategy::sameVolumeMove);
  EXPECT_EQ(entry.sourceURL, move.source);
  EXPECT_EQ(entry.destinationURL, move.destinationURL);
  EXPECT_FALSE(entry.tempURL);
  EXPECT_FALSE(entry.trashedSourceURL);
  EXPECT_EQ(entry.fingerprintBefore, move.fingerprint);
  EXPECT_FALSE(entry.sourceHash);
  EXPECT_EQ(entry.fingerprintAfter, move.fingerprint);
  EXPECT_EQ(entry.matchedRuleID, "rule-a.txt");
  EXPECT_FALSE(entry.reversesEntryID);
  EXPECT_FALSE(entry.undoneAt);
  EXPECT_EQ(entry.completedBy, CompletionSource::run);
  EXPECT_GT(*entry.committedAt, entry.intentAt);
  EXPECT_FALSE(entry.attentionReason);
  EXPECT_EQ(journal.store().entries(plan.id), std::vector<JournalEntry>{entry});
  EXPECT_EQ(access.urls, std::vector<FileURL>{move.source});
}

TEST_F(ExecutorTest, TheNameIsChosenAgainAtIntentTime) {
  auto move = addMove("a.txt");
  // The planned name was free at planning; it is not any more.
  fs.addFile("/src/Documents/a.txt", {.contents = "someone else's"});
  auto report = apply(makePlan({move}));
  ASSERT_EQ(report.completed.size(), 1u);
  EXPECT_EQ(report.completed[0].destinationURL.path(), "/src/Documents/a 2.txt");
  EXPECT_EQ(fs.contents("/src/Documents/a.txt"), "someone else's");
  EXPECT_EQ(fs.contents("/src/Documents/a 2.txt"), "contents of a.txt");
}

TEST_F(ExecutorTest, TheStrategyIsDecidedAgainAtIntentTime) {
  // Planned as a rename, but the destination is on another volume now, and
  // the other way round.
  auto crossing = addMove("a.bin", "/ext/Documents", MoveStrategy::sameVolumeMove);
  auto staying = addMove("b.txt", "/src/Documents", MoveStrategy::crossVolumeCopyVerifyTrash);
  auto plan = makePlan({crossing, staying});
  auto report = apply(plan);
  ASSERT_TRUE(report.isCompleteSuccess());
  ASSERT_EQ(report.completed.size(), 2u);

  const auto& crossed = report.completed[0];
  EXPECT_EQ(crossed.strategy, MoveStrategy::crossVolumeCopyVerifyTrash);
  ASSERT_TRUE(crossed.tempURL);
  EXPECT_EQ(crossed.tempURL->deletingLastPathComponent().path(), "/ext/Documents");
  std::string staging = crossed.tempURL->lastPathComponent();
  EXPECT_EQ(staging.size(), 48u);
  EXPECT_TRUE(staging.starts_with(".ombrix-tmp-"));
  auto uuid = Uuid::parse(staging.substr(12));
  ASSERT_TRUE(uuid);
  EXPECT_EQ(uuid->text(), staging.substr(12));
  EXPECT_EQ(crossed.sourceHash, ContentHashing::sha256(std::string("contents of a.bin")));
  EXPECT_EQ(fs.contents("/ext/Documents/a.bin"), "contents of a.bin");
  EXPECT_FALSE(fs.exists("/src/a.bin"));

  EXPECT_EQ(report.completed[1].strategy, MoveStrategy::sameVolumeMove);
  EXPECT_FALSE(report.completed[1].tempURL);
  EXPECT_FALSE(report.completed[1].sourceHash);
}

TEST_F(ExecutorTest, RevalidationSkipsWhatChangedSincePlanning) {
  struct Case {
    const char* what;
    std::function<void(InMemoryFileSystem&)> change;
    std::optional<SkipReason::Case> withChecks;
    // What happens with revalidateSources false: moved, or failed.
    bool movesWithoutChecks;
  };
  const std::string path = "/src/a.txt";
  const std::vector<Case> cases = {
      {"unchanged", [](auto&) {}, std::nullopt, true},
      {"deleted", [&](auto& f) { f.remove(path); }, SkipReason::Case::vanishedSincePlanning, false},
      {"grown", [&](auto& f) { f.setContents(path, "contents of a.txt, longer"); },
       SkipReason::Case::changedSincePlanning, true},
      {"touched less than 1 ms later",
       [&](auto& f) { f.setModificationDate(path, kOld + 0.0009765625); }, std::nullopt, true},
      {"touched more than 1 ms later",
       [&](auto& f) { f.setModificationDate(path, kOld + 0.001953125); },
       SkipReason::Case::changedSincePlanning, true},
  };
  for (bool checks : {true, false}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (checks ? " with checks" : " without checks"));
      fs = InMemoryFileSystem{{"/ext"}};
      journal.clearCalls();
      auto move = addMove("a.txt");
      c.change(fs);
      auto report = apply(makePlan({move}), {.revalidateSources = checks});

      bool skipped = checks && c.withChecks.has_value();
      if (skipped) {
        ASSERT_EQ(report.skipped.size(), 1u);
        EXPECT_EQ(report.skipped[0].url, move.source);
        EXPECT_EQ(report.skipped[0].reason.reasonCase(), *c.withChecks);
        EXPECT_TRUE(report.completed.empty());
        EXPECT_TRUE(report.failures.empty());
        EXPECT_TRUE(journal.calls(JournalCall::Kind::beginRun)[0].intents.empty());
      } else if (checks || c.movesWithoutChecks) {
        EXPECT_TRUE(report.skipped.empty());
        EXPECT_EQ(report.completed.size(), 1u);
      } else {
        EXPECT_TRUE(report.skipped.empty());
        ASSERT_EQ(report.failures.size(), 1u);
        EXPECT_EQ(report.failures[0].error.errorCase(), SortError::Case::sourceUnreadable);
      }
    }
  }
}

TEST_F(ExecutorTest, RevalidationAppliesTheSafetyGateNow) {
  auto move = addMove("a.txt");
  // Written to within the in-flight window of the time the gate judges by,
  // with a fingerprint that still matches the plan.
  fs.setModificationDate("/src/a.txt", kNow - 5);
  move.fingerprint.modificationDate = kNow - 5;
  auto report = apply(makePlan({move}));
  ASSERT_EQ(report.skipped.size(), 1u);
  EXPECT_EQ(report.skipped[0].reason.reasonCase(), SkipReason::Case::recentlyModified);

  journal.clearCalls();
  progress.clear();
  report = apply(makePlan({move}), {.revalidateSources = false});
  EXPECT_EQ(report.completed.size(), 1u);
}

TEST_F(ExecutorTest, AFullySkippedBatchStillMakesItsJournalWrite) {
  auto a = addMove("a.txt");
  auto b = addMove("b.txt");
  auto c = addMove("c.txt");
  fs.remove("/src/a.txt");
  fs.remove("/src/b.txt");
  auto report = apply(makePlan({a, b, c}), {.batchSize = 2});
  EXPECT_EQ(report.skipped.size(), 2u);
  using K = JournalCall::Kind;
  EXPECT_EQ(journalShape(),
            (decltype(journalShape()){
                {K::beginRun, {0, 0}}, {K::commit, {0, 1}}, {K::finishRun, {1, 0}}}));
}

TEST_F(ExecutorTest, ProgressCountsOperationsNotSkips) {
  auto a = addMove("a.txt");
  auto b = addMove("b.txt");
  auto c = addMove("c.txt");
  fs.remove("/src/b.txt");
  apply(makePlan({a, b, c}));
  EXPECT_EQ(progress, (std::vector<ExecutionProgress>{
                          {0, 3, a.source}, {1, 3, c.source}, {3, 3, std::nullopt}}));
}

TEST_F(ExecutorTest, AFailedIntentBecomesAFailureWithoutAnEntry) {
  auto a = addMove("a.txt", "/src/Blocked/Documents");
  auto b = addMove("b.txt");
  fs.addFile("/src/Blocked", {.contents = "a file where a folder should be"});
  auto plan = makePlan({a, b});
  auto report = apply(plan);

  ASSERT_EQ(report.failures.size(), 1u);
  EXPECT_EQ(report.failures[0].move, a);
  EXPECT_EQ(report.failures[0].error.errorCase(), SortError::Case::destinationNotCreatable);
  ASSERT_EQ(report.completed.size(), 1u);
  EXPECT_EQ(report.completed[0].sourceURL, b.source);
  EXPECT_FALSE(storedEntry(plan.id, a.source));
  EXPECT_TRUE(fs.exists("/src/a.txt"));
}

TEST_F(ExecutorTest, AFailedOperationIsAbandonedAndTheOthersGoOn) {
  auto a = addMove("a.txt");
  auto b = addMove("b.txt");
  auto c = addMove("c.txt");
  fs.beforeCall = [&](const InMemoryFileSystem::Call& call) {
    if (call.operation == Op::moveItem && call.url == b.source) {
      throw SortError::moveFailed(call.url, *call.destination, "Permission denied");
    }
  };
  auto plan = makePlan({a, b, c});
  auto report = apply(plan);

  ASSERT_EQ(report.failures.size(), 1u);
  EXPECT_EQ(report.failures[0].move, b);
  EXPECT_EQ(report.failures[0].error,
            SortError::moveFailed(b.source, b.destinationURL, "Permission denied"));
  EXPECT_EQ(report.completed.size(), 2u);
  auto entry = storedEntry(plan.id, b.source);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->state, EntryState::abandoned);
  EXPECT_EQ(entry->attentionReason, report.failures[0].error.errorDescription());
  EXPECT_FALSE(entry->committedAt);
  EXPECT_FALSE(entry->completedBy);
  EXPECT_FALSE(entry->fingerprintAfter);
  EXPECT_EQ(journal.store().run(plan.id)->state, RunState::finished);
}

TEST_F(ExecutorTest, ATakenNameIsRetriedUnderTheNextFreeName) {
  auto a = addMove("a.txt");
  int refusals = 0;
  fs.beforeCall = [&](const InMemoryFileSystem::Call& call) {
    if (call.operation == Op::moveItem && refusals == 0) {
      ++refusals;
      fs.addFile(call.destination->path(), {.contents = "raced in"});
    }
  };
  auto plan = makePlan({a});
  auto report = apply(plan);

  ASSERT_EQ(report.completed.size(), 1u);
  EXPECT_EQ(report.completed[0].destinationURL.path(), "/src/Documents/a 2.txt");
  auto amended = journal.calls(JournalCall::Kind::amendIntent);
  ASSERT_EQ(amended.size(), 1u);
  EXPECT_EQ(amended[0].completed[0].destinationURL.path(), "/src/Documents/a 2.txt");
  EXPECT_EQ(amended[0].completed[0].state, EntryState::pending);
  EXPECT_EQ(fs.contents("/src/Documents/a.txt"), "raced in");
  EXPECT_EQ(fs.contents("/src/Documents/a 2.txt"), "contents of a.txt");
  EXPECT_EQ(access.urls.size(), 1u);
}

TEST_F(ExecutorTest, CollisionRetriesBoundTheAttempts) {
  struct Case {
    int64_t retries;
    size_t attempts;
  };
  for (const auto& c : std::vector<Case>{{5, 6}, {2, 3}, {0, 1}, {-4, 1}}) {
    SCOPED_TRACE(c.retries);
    fs = InMemoryFileSystem{{"/ext"}};
    journal.clearCalls();
    auto a = addMove("a.txt");
    fs.beforeCall = [&](const InMemoryFileSystem::Call& call) {
      if (call.operation == Op::moveItem) fs.addFile(call.destination->path(), {});
    };
    auto plan = makePlan({a});
    auto report = apply(plan, {.collisionRetries = c.retries});

    auto moves = fs.calls(Op::moveItem);
    ASSERT_EQ(moves.size(), c.attempts);
    EXPECT_EQ(journal.calls(JournalCall::Kind::amendIntent).size(), c.attempts - 1);
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(report.failures[0].error, SortError::refusedToOverwrite(*moves.back().destination));
    auto entry = storedEntry(plan.id, a.source);
    EXPECT_EQ(entry->state, EntryState::abandoned);
    EXPECT_EQ(entry->destinationURL, *moves.back().destination);
    EXPECT_EQ(fs.contents("/src/a.txt"), "contents of a.txt");
  }
}

TEST_F(ExecutorTest, StoppingOnErrorEndsTheBatchAtOnceAndLeavesTheRestPending) {
  auto a = addMove("a.txt");
  auto b = addMove("b.txt");
  auto c = addMove("c.txt");
  auto d = addMove("d.txt");
  fs.beforeCall = [&](const InMemoryFileSystem::Call& call) {
    if (call.operation == Op::moveItem && call.url == b.source) {
      throw SortError::moveFailed(call.url, *call.destination, "Permission denied");
    }
  };
  auto plan = makePlan({a, b, c, d});
  auto report = apply(plan, {.continueOnError = false, .batchSize = 3});

  EXPECT_EQ(report.completed.size(), 1u);
  EXPECT_EQ(report.failures.size(), 1u);
  EXPECT_EQ(storedEntry(plan.id, c.source)->state, EntryState::pending);
  EXPECT_FALSE(storedEntry(plan.id, d.source));
  EXPECT_TRUE(fs.exists("/src/c.txt"));
  EXPECT_TRUE(fs.exists("/src/d.txt"));
  EXPECT_EQ(journal.store().run(plan.id)->state, RunState::finished);
  EXPECT_EQ(progress.back(), (ExecutionProgress{4, 4, std::nullopt}));
}

TEST_F(ExecutorTest, StoppingOnErrorAfterAFailedIntentFinishesItsBatch) {
  auto a = addMove("a.txt", "/src/Blocked/Documents");
  auto b = addMove("b.txt");
  auto c = addMove("c.txt");
  fs.addFile("/src/Blocked", {});
  auto plan = makePlan({a, b, c});
  auto report = apply(plan, {.continueOnError = false, .batchSize = 2});

  EXPECT_EQ(report.failures.size(), 1u);
  ASSERT_EQ(report.completed.size(), 1u);
  EXPECT_EQ(report.completed[0].sourceURL, b.source);
  EXPECT_FALSE(storedEntry(plan.id, c.source));
  EXPECT_TRUE(fs.exists("/src/c.txt"));
}

TEST_F(ExecutorTest, CancellationIsPolledBeforeEachBatchAndOperation) {
  auto a = addMove("a.txt");
  auto b = addMove("b.txt");
  auto c = addMove("c.txt");
  auto plan = makePlan({a, b, c});
  Executor executor(fs, journal, access, dates);
  auto report = executor.apply(
      plan, {},
      [&](const ExecutionProgress& p) {
        progress.push_back(p);
        if (p.currentFile == b.source) stop.request_stop();
      },
      stop.get_token());

  EXPECT_EQ(report.completed.size(), 2u);
  EXPECT_EQ(storedEntry(plan.id, c.source)->state, EntryState::pending);
  EXPECT_EQ(journal.store().run(plan.id)->state, RunState::finished);
  EXPECT_EQ(progress.back(), (ExecutionProgress{3, 3, std::nullopt}));
}

TEST_F(ExecutorTest, CancelledBeforeTheFirstBatchTheRunIsStillRecorded) {
  auto plan = makePlan({addMove("a.txt")});
  stop.request_stop();
  auto report = apply(plan);
  EXPECT_TRUE(report.completed.empty());
  using K = JournalCall::Kind;
  EXPECT_EQ(journalShape(),
            (decltype(journalShape()){{K::beginRun, {0, 0}}, {K::finishRun, {0, 0}}}));
  EXPECT_TRUE(fs.exists("/src/a.txt"));
  EXPECT_EQ(progress, (std::vector<ExecutionProgress>{{1, 1, std::nullopt}}));
}

TEST_F(ExecutorTest, APlanIsAppliedOnlyOnce) {
  auto plan = makePlan({addMove("a.txt")});
  apply(plan);
  auto entriesBefore = journal.store().entries(plan.id);
  auto runBefore = journal.store().run(plan.id);
  journal.clearCalls();
  fs.addFile("/src/a.txt", {.contents = "contents of a.txt", .modificationDate = kOld});
  fs.clearCalls();

  try {
    apply(plan);
    FAIL() << "a second apply of one plan went through";
  } catch (const SortError& error) {
    EXPECT_EQ(error.errorCase(), SortError::Case::journalUnavailable);
    EXPECT_EQ(error.errorDescription(), "Journal unavailable: plan " + plan.id.text() +
                                            " was already applied; scan the folder again");
  }
  EXPECT_TRUE(journal.calls().empty());
  EXPECT_TRUE(fs.calls(Op::moveItem).empty());
  EXPECT_EQ(journal.store().entries(plan.id), entriesBefore);
  EXPECT_EQ(journal.store().run(plan.id), runBefore);
}

TEST_F(ExecutorTest, AJournalFailureEndsTheApplyAndLeavesTheRunRunning) {
  auto a = addMove("a.txt");
  auto b = addMove("b.txt");
  auto plan = makePlan({a, b});
  journal.beforeWrite = [](const JournalCall& call) {
    if (call.kind == JournalCall::Kind::commit)
      throw SortError::journalUnavailable("disk I/O error");
  };
  EXPECT_THROW(apply(plan, {.batchSize = 1}), SortError);

  EXPECT_EQ(journal.store().run(plan.id)->state, RunState::running);
  // The first file moved; its outcome never reached the journal.
  EXPECT_EQ(storedEntry(plan.id, a.source)->state, EntryState::pending);
  EXPECT_FALSE(storedEntry(plan.id, b.source));
  EXPECT_TRUE(fs.exists("/src/b.txt"));
  EXPECT_EQ(progress, (std::vector<ExecutionProgress>{{0, 2, a.source}}));
}

TEST_F(ExecutorTest, AFailedBeginTouchesNoFile) {
  auto plan = makePlan({addMove("a.txt")});
  journal.beforeWrite = [](const JournalCall&) {
    throw SortError::journalUnavailable("database is locked");
  };
  EXPECT_THROW(apply(plan), SortError);
  EXPECT_FALSE(journal.store().run(plan.id));
  EXPECT_TRUE(fs.calls(Op::moveItem).empty());
  EXPECT_TRUE(progress.empty());
}

TEST_F(ExecutorTest, AnErrorThatIsNotTheEnginesEndsTheApply) {
  auto a = addMove("a.txt");
  auto b = addMove("b.txt");
  auto plan = makePlan({a, b});
  access.failOn = b.source;
  EXPECT_THROW(apply(plan), std::runtime_error);
  EXPECT_EQ(journal.store().run(plan.id)->state, RunState::running);
  EXPECT_EQ(storedEntry(plan.id, b.source)->state, EntryState::pending);
  EXPECT_TRUE(fs.exists("/src/b.txt"));
}

// Cross-volume transfers, judged by what they leave on the (simulated) disk.
class CrossVolumeTransferTest : public ExecutorTest {
 protected:
  void SetUp() override { reset(); }

  // A fresh disk, journal and move, for the next case of a table.
  void reset() {
    fs = InMemoryFileSystem{{"/ext"}};
    journal.clearCalls();
    move = addMove("a.bin", "/ext/Documents");
    plan = makePlan({move});
  }

  // What must hold after any failed transfer: the source untouched and no
  // copy or staging file left outside the Trash.
  void expectNothingLeftBehind() {
    EXPECT_EQ(fs.contents("/src/a.bin"), "contents of a.bin");
    for (const auto& path : fs.allPaths()) {
      if (path.starts_with("/ext/Documents/")) {
        EXPECT_EQ(fs.contents(path), "squatter") << path;
      }
    }
  }

  FileURL stagingOf(const SortPlan& p) { return *storedEntry(p.id, move.source)->tempURL; }

  PlannedMove move;
  SortPlan plan;
};

TEST_F(CrossVolumeTransferTest, CopiesVerifiesFlushesRenamesThenTrashesTheSource) {
  auto report = apply(plan);
  ASSERT_TRUE(report.isCompleteSuccess());
  ASSERT_EQ(report.completed.size(), 1u);
  const auto& entry = report.completed[0];
  FileURL staging = *entry.tempURL;
  FileURL folder = FileURL::fromPath("/ext/Documents");

  std::vector<std::tuple<Op, std::string, std::string>> expected = {
      {Op::copyItem, "/src/a.bin", staging.path()},
      {Op::identity, staging.path(), ""},
      {Op::synchronize, staging.path(), ""},
      {Op::identity, staging.path(), ""},
      {Op::contentHash, staging.path(), ""},
      {Op::moveItem, staging.path(), "/ext/Documents/a.bin"},
      // The copy as it was put there: only that may be taken back.
      {Op::identity, "/ext/Documents/a.bin", ""},
      {Op::synchronize, "/ext/Documents", ""},
      // The run made "/ext/Documents": its name is made durable too.
      {Op::synchronize, "/ext", ""},
      {Op::trashItem, "/src/a.bin", ""},
  };
  std::vector<std::tuple<Op, std::string, std::string>> seen;
  bool started = false;
  for (const auto& call : fs.calls()) {
    if (call.operation == Op::copyItem) started = true;
    if (!started) continue;
    seen.emplace_back(call.operation, call.url.path(),
                      call.destination ? call.destination->path() : "");
    if (call.operation == Op::trashItem) break;
  }
  EXPECT_EQ(seen, expected);

  EXPECT_EQ(fs.contents("/ext/Documents/a.bin"), "contents of a.bin");
  EXPECT_FALSE(fs.exists("/src/a.bin"));
  EXPECT_FALSE(fs.exists(staging.path()));
  ASSERT_EQ(fs.trashed().size(), 1u);
  EXPECT_EQ(entry.trashedSourceURL, fs.trashed()[0]);
  EXPECT_EQ(fs.contents(fs.trashed()[0].path()), "contents of a.bin");
  EXPECT_EQ(entry.fingerprintAfter->size, move.fingerprint.size);
  EXPECT_EQ(storedEntry(plan.id, move.source), entry);
}

// A folder the run made holds the only copy outside the Trash once the
// source is there: its own name must survive a power cut by then.
TEST_F(CrossVolumeTransferTest, FoldersTheRunMadeAreDurableBeforeASourceGoesToTheTrash) {
  fs.addFolder("/ext/Old");
  auto a = addMove("a2.bin", "/ext/New/Deeper");
  auto c = addMove("c2.bin", "/ext/New/Deeper");
  auto b = addMove("b2.bin", "/ext/Old");
  auto report = apply(makePlan({a, c, b}));
  ASSERT_TRUE(report.isCompleteSuccess());

  std::vector<std::string> order;
  for (const auto& call : fs.calls()) {
    const std::string path = call.url.path();
    if (call.operation == Op::synchronize && path.find("/.ombrix-tmp-") == std::string::npos) {
      order.push_back("sync " + path);
    }
    if (call.operation == Op::trashItem) order.push_back("trash " + path);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"sync /ext/New/Deeper", "sync /ext", "sync /ext/New",
                                             "trash /src/a2.bin", "sync /ext/New/Deeper",
                                             "trash /src/c2.bin",  //
                                             "sync /ext/Old", "trash /src/b2.bin"}));
}

TEST_F(CrossVolumeTransferTest, ATrashWithoutALocationLeavesTheTrashedSourceAbsent) {
  fs.reportsTrashLocation = false;
  auto report = apply(plan);
  ASSERT_EQ(report.completed.size(), 1u);
  EXPECT_FALSE(report.completed[0].trashedSourceURL);
  EXPECT_FALSE(fs.exists("/src/a.bin"));
}

TEST_F(CrossVolumeTransferTest, EveryFailureLeavesTheSourceAndOnlyTrashBehind) {
  const std::string content = "contents of a.bin";
  const auto sourceHash = ContentHashing::sha256(content).sha256;
  struct Case {
    const char* what;
    // Installs the fault; gets the staging URL (known once the intent is made).
    std::function<void(InMemoryFileSystem&, const std::function<FileURL()>& staging)> fault;
    std::function<SortError(const FileURL& staging)> error;
  };
  const FileURL source = FileURL::fromPath("/src/a.bin");
  const FileURL destination = FileURL::fromPath("/ext/Documents/a.bin");
  const std::vector<Case> cases = {
      {"copy one byte short",
       [&](auto& f, auto staging) {
         f.afterCall = [&f, staging, content](const InMemoryFileSystem::Call& call) {
           if (call.operation == Op::copyItem) f.setContents(staging().path(), content.substr(1));
         };
       },
       [&](const FileURL& staging) {
         return SortError::copyVerificationFailed(
             source, staging,
             VerificationFailure::sizeMismatch(static_cast<int64_t>(content.size()),
                                               static_cast<int64_t>(content.size() - 1)));
       }},
      {"copy of the right size with other bytes",
       [&](auto& f, auto staging) {
         f.afterCall = [&f, staging](const InMemoryFileSystem::Call& call) {
           if (call.operation == Op::copyItem) f.setContents(staging().path(), "CONTENTS OF A.BIN");
         };
       },
       [&](const FileURL& staging) {
         return SortError::copyVerificationFailed(
             source, staging,
             VerificationFailure::hashMismatch(
                 sourceHash, ContentHashing::sha256(std::string("CONTENTS OF A.BIN")).sha256));
       }},
      {"source changed after its intent",
       [&](auto& f, auto) {
         f.beforeCall = [&f](const InMemoryFileSystem::Call& call) {
           if (call.operation == Op::copyItem) f.setContents("/src/a.bin", "CONTENTS OF A.BIN");
         };
       },
       [&](const FileURL& staging) {
         return SortError::copyVerificationFailed(
             source, staging,
             VerificationFailure::hashMismatch(
                 sourceHash, ContentHashing::sha256(std::string("CONTENTS OF A.BIN")).sha256));
       }},
      {"copy fails part-way",
       [&](auto& f, auto) {
         // The file system takes back what a failed copy wrote.
         f.beforeCall = [](const InMemoryFileSystem::Call& call) {
           if (call.operation == Op::copyItem) {
             throw SortError::copyFailed(call.url, *call.destination, "No space left on device");
           }
         };
       },
       [&](const FileURL& staging) {
         return SortError::copyFailed(source, staging, "No space left on device");
       }},
      {"staging file cannot be flushed",
       [&](auto& f, auto staging) {
         f.beforeCall = [staging](const InMemoryFileSystem::Call& call) {
           if (call.operation == Op::synchronize && call.url == staging()) {
             throw SortError::copyFailed(call.url, call.url, "Input/output error");
           }
         };
       },
       [&](const FileURL& staging) {
         return SortError::copyFailed(source, staging, "Input/output error");
       }},
      {"name taken before the rename",
       [&](auto& f, auto) {
         f.beforeCall = [&f](const InMemoryFileSystem::Call& call) {
           if (call.operation == Op::moveItem)
             f.addFile(call.destination->path(), {.contents = "squatter"});
         };
       },
       [&](const FileURL&) { return SortError::refusedToOverwrite(destination); }},
      {"folder cannot be flushed after the rename",
       [&](auto& f, auto) {
         f.beforeCall = [](const InMemoryFileSystem::Call& call) {
           if (call.operation == Op::synchronize && call.url.path() == "/ext/Documents") {
             throw SortError::copyFailed(call.url, call.url, "Input/output error");
           }
         };
       },
       [&](const FileURL&) {
         return SortError::copyFailed(source, destination, "Input/output error");
       }},
      {"folder made for the copy cannot be made durable",
       [&](auto& f, auto) {
         f.beforeCall = [](const InMemoryFileSystem::Call& call) {
           if (call.operation == Op::synchronize && call.url.path() == "/ext") {
             throw SortError::copyFailed(call.url, call.url, "Input/output error");
           }
         };
       },
       [&](const FileURL&) {
         return SortError::copyFailed(source, destination, "Input/output error");
       }},
      {"Trash refuses the source",
       [&](auto& f, auto) {
         f.beforeCall = [](const InMemoryFileSystem::Call& call) {
           if (call.operation == Op::trashItem && call.url.path() == "/src/a.bin") {
             throw SortError::trashFailed(call.url, "Permission denied");
           }
         };
       },
       [&](const FileURL&) {
         return SortError::trashFailed(source,
                                       "Permission denied \u2014 it was left where it was, and its "
                                       "copy at /ext/Documents/a.bin was removed");
       }},
  };

  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    reset();
    auto currentPlan = plan;
    c.fault(fs, [&] { return stagingOf(currentPlan); });

    auto report = apply(plan, {.collisionRetries = 0});
    ASSERT_EQ(report.failures.size(), 1u);
    FileURL staging = stagingOf(plan);
    EXPECT_EQ(report.failures[0].error, c.error(staging));
    EXPECT_EQ(report.failures[0].error.errorDescription(), c.error(staging).errorDescription());
    auto entry = storedEntry(plan.id, move.source);
    EXPECT_EQ(entry->state, EntryState::abandoned);
    EXPECT_EQ(entry->attentionReason, c.error(staging).errorDescription());
    fs.beforeCall = nullptr;
    fs.afterCall = nullptr;
    if (std::string(c.what) != "source changed after its intent") expectNothingLeftBehind();
    EXPECT_FALSE(fs.exists(staging.path()));
    // Nothing to clear away after a failed copy: no trip to the Trash.
    // A staging file never given the file's name is our own: it is
    // removed, not sent to the Trash.
    for (const auto& trashed : fs.trashed()) {
      EXPECT_FALSE(trashed.lastPathComponent().starts_with(kStagingPrefix)) << trashed.path();
    }
  }
}

// Another program changes the source once the copy has read it, and before
// it goes to the Trash: the user's newest bytes must not end up in the Trash
// while the destination holds the old ones.
TEST_F(CrossVolumeTransferTest, ASourceChangedAfterItWasCopiedStaysWhereItIs) {
  struct Case {
    const char* what;
    std::function<void(InMemoryFileSystem&)> change;
    // What the source path holds afterwards.
    std::string contents;
  };
  const std::vector<Case> cases = {
      {"a line appended", [](auto& f) { f.setContents("/src/a.bin", "contents of a.bin\nmore"); },
       "contents of a.bin\nmore"},
      {"rewritten with its size and time kept", [](auto& f) { f.touchWithoutTrace("/src/a.bin"); },
       "contents of a.bin"},
      {"replaced by a file of the same bytes",
       [](auto& f) {
         f.addFile("/src/a.bin", {.contents = "contents of a.bin", .modificationDate = kOld});
       },
       "contents of a.bin"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    reset();
    fs.afterCall = [&](const InMemoryFileSystem::Call& call) {
      if (call.operation == Op::copyItem) c.change(fs);
    };

    auto report = apply(plan);

    ASSERT_EQ(report.failures.size(), 1u);
    const SortError expected = SortError::sourceChangedDuringMove(move.source);
    EXPECT_EQ(report.failures[0].error, expected);
    EXPECT_EQ(expected.errorDescription(),
              "a.bin changed while it was being moved; it was left where it was");
    auto entry = storedEntry(plan.id, move.source);
    EXPECT_EQ(entry->state, EntryState::abandoned);
    EXPECT_EQ(entry->attentionReason, expected.errorDescription());
    EXPECT_EQ(fs.contents("/src/a.bin"), c.contents);
    // The copy, ours and stale now, is what went to the Trash.
    EXPECT_FALSE(fs.exists("/ext/Documents/a.bin"));
    ASSERT_EQ(fs.trashed().size(), 1u);
    EXPECT_EQ(fs.trashed()[0].path(), "/ext/.Trash/files/a.bin");
    EXPECT_EQ(fs.contents("/ext/.Trash/files/a.bin"), "contents of a.bin");
  }
}

TEST_F(CrossVolumeTransferTest, ARetryAfterARefusedRenameUsesAFreshStagingFile) {
  std::optional<FileURL> firstStaging;
  fs.beforeCall = [&](const InMemoryFileSystem::Call& call) {
    if (call.operation == Op::moveItem && !firstStaging) {
      firstStaging = call.url;
      fs.addFile(call.destination->path(), {.contents = "squatter"});
    }
    // The first staging file can be neither removed nor trashed: it stays.
    if (firstStaging && call.url == *firstStaging) {
      if (call.operation == Op::removeOwnFile) {
        throw SortError::copyFailed(call.url, call.url, "Permission denied");
      }
      if (call.operation == Op::trashItem) {
        throw SortError::trashFailed(call.url, "Permission denied");
      }
    }
  };
  auto report = apply(plan);

  ASSERT_TRUE(report.isCompleteSuccess());
  const auto& entry = report.completed[0];
  EXPECT_EQ(entry.destinationURL.path(), "/ext/Documents/a 2.bin");
  ASSERT_TRUE(firstStaging);
  EXPECT_NE(*entry.tempURL, *firstStaging);
  auto amended = journal.calls(JournalCall::Kind::amendIntent);
  ASSERT_EQ(amended.size(), 1u);
  EXPECT_EQ(amended[0].completed[0].tempURL, entry.tempURL);
  EXPECT_EQ(amended[0].completed[0].destinationURL, entry.destinationURL);
  EXPECT_EQ(fs.contents("/ext/Documents/a 2.bin"), "contents of a.bin");
  EXPECT_EQ(fs.contents("/ext/Documents/a.bin"), "squatter");
  EXPECT_TRUE(fs.exists(firstStaging->path()));
}

// Written to by someone else once it was made, the staging file is no
// longer provably ours alone: it goes to the Trash rather than away.
TEST_F(CrossVolumeTransferTest, AStagingFileChangedAfterItWasMadeGoesToTheTrash) {
  fs.beforeCall = [&](const InMemoryFileSystem::Call& call) {
    if (call.operation == Op::contentHash && call.url != move.source) {
      fs.setContents(call.url.path(), "CONTENTS OF A.BIN");
    }
  };
  auto report = apply(plan);
  ASSERT_EQ(report.failures.size(), 1u);
  EXPECT_EQ(report.failures[0].error.errorCase(), SortError::Case::copyVerificationFailed);
  FileURL staging = stagingOf(plan);
  EXPECT_FALSE(fs.exists(staging.path()));
  ASSERT_EQ(fs.trashed().size(), 1u);
  EXPECT_EQ(fs.trashed()[0].lastPathComponent(), staging.lastPathComponent());
  EXPECT_EQ(fs.contents(fs.trashed()[0].path()), "CONTENTS OF A.BIN");
  EXPECT_EQ(fs.contents("/src/a.bin"), "contents of a.bin");
}

TEST_F(CrossVolumeTransferTest, AFailedCopyThatFoundTheStagingPathTakenLeavesItAlone) {
  fs.beforeCall = [&](const InMemoryFileSystem::Call& call) {
    if (call.operation == Op::copyItem) {
      fs.addFile(call.destination->path(), {.contents = "not ours"});
    }
  };
  auto report = apply(plan, {.collisionRetries = 0});
  ASSERT_EQ(report.failures.size(), 1u);
  FileURL staging = stagingOf(plan);
  EXPECT_EQ(report.failures[0].error, SortError::refusedToOverwrite(staging));
  EXPECT_EQ(fs.contents(staging.path()), "not ours");
  EXPECT_TRUE(fs.calls(Op::trashItem).empty());
}

}  // namespace
}  // namespace rozuzed

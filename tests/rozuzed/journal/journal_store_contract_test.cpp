// One suite run against both stores, so that the database and the fallback
// in memory cannot drift apart.
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "rozuzed/journal/in_memory_journal_store.h"
#include "rozuzed/journal/sqlite_journal_store.h"
#include "rozuzed/testing/temporary_folder.h"

namespace rozuzed {
namespace {

struct InMemoryStore {
  InMemoryJournalStore store;
  JournalStore& journal() { return store; }
  PlanStore& plans() { return store; }
};

// A real database file in a folder of its own.
struct SqliteStore {
  testing::TemporaryFolder folder;
  SQLiteJournalStore store{FileURL::fromPath(folder / "journal/rozuzed.sqlite")};
  JournalStore& journal() { return store; }
  PlanStore& plans() { return store; }
};

const FileURL kFolder = FileURL::fromPath("/home/u/Downloads", true);

RunRecord applyRun(Date startedAt) {
  return RunRecord{
      .kind = RunKind::apply,
      .state = RunState::running,
      .sourceDirectory = kFolder,
      .startedAt = startedAt,
      .owner = {"boot", 4242, 17.25},
  };
}

JournalEntry entryOf(const RunRecord& run, int64_t planSequence,
                     EntryState state = EntryState::pending) {
  JournalEntry entry{
      .runID = run.id,
      .planSequence = planSequence,
      .state = state,
      .sourceURL = FileURL::fromPath("/home/u/Downloads/f" + std::to_string(planSequence)),
      .destinationURL = FileURL::fromPath("/home/u/Documents/f" + std::to_string(planSequence)),
      .fingerprintBefore = {planSequence, 1000.0 + static_cast<double>(planSequence)},
      .matchedRuleID = "documents",
      .intentAt = 2000.0 + static_cast<double>(planSequence),
  };
  if (state == EntryState::committed) {
    entry.committedAt = 3000;
    entry.completedBy = CompletionSource::run;
  }
  if (state == EntryState::abandoned || state == EntryState::needsAttention) {
    entry.attentionReason = "reason " + std::to_string(planSequence);
  }
  return entry;
}

template <class Store>
class JournalStoreContractTest : public ::testing::Test {
 protected:
  Store backing;
  JournalStore& journal = backing.journal();
  PlanStore& plans = backing.plans();
};

using Stores = ::testing::Types<InMemoryStore, SqliteStore>;
class StoreNames {
 public:
  template <class T>
  static std::string GetName(int) {
    return std::is_same_v<T, InMemoryStore> ? "InMemory" : "Sqlite";
  }
};
TYPED_TEST_SUITE(JournalStoreContractTest, Stores, StoreNames);

TYPED_TEST(JournalStoreContractTest, RecordsReadBackEqualToWhatWasWritten) {
  SortPlan plan{.createdAt = 10, .sourceDirectory = kFolder, .ruleSetHash = "hash"};
  plan.moves.push_back(PlannedMove{.planSequence = 4,
                                   .source = FileURL::fromPath("/home/u/Downloads/a b.pdf"),
                                   .destinationDirectory = FileURL::fromPath("/docs", true),
                                   .destinationURL = FileURL::fromPath("/docs/a b.pdf"),
                                   .matchedRuleID = "r"});
  RunRecord run = applyRun(1700000000.123456789);
  run.id = plan.id;
  run.planID = plan.id;
  run.finishedAt = 1700000001.5;
  run.appliedPlan = AppliedPlan::from(plan);
  RunRecord undo{
      .kind = RunKind::undo, .reversesRunID = run.id, .startedAt = 0.1, .owner = {"", -7, -0.5}};

  JournalEntry full = entryOf(run, 1, EntryState::committed);
  full.strategy = MoveStrategy::crossVolumeCopyVerifyTrash;
  full.tempURL = FileURL::fromPath("/docs/.ombrix-tmp-1");
  full.trashedSourceURL = FileURL::fromPath("/home/u/.local/share/Trash/files/f1");
  full.sourceHash = ContentHash{std::string(64, 'a')};
  full.fingerprintAfter = FileFingerprint{-3, 1e-7};
  full.reversesEntryID = Uuid::random();
  full.undoneAt = 4000.000001;
  full.completedBy = CompletionSource::recovery;
  full.attentionReason = "kept\nas \"is\"";
  JournalEntry bare = entryOf(run, 2);

  this->journal.beginRun(run, {full, bare});
  this->journal.beginRun(undo, {});

  EXPECT_EQ(this->journal.run(run.id), run);
  EXPECT_EQ(this->journal.run(undo.id), undo);
  EXPECT_FALSE(this->journal.run(Uuid::random()));
  RunRecord withoutSnapshot = run;
  withoutSnapshot.appliedPlan.reset();
  EXPECT_EQ(this->journal.runWithoutSnapshot(run.id), withoutSnapshot);
  EXPECT_EQ(this->journal.runWithoutSnapshot(undo.id), undo);
  EXPECT_FALSE(this->journal.runWithoutSnapshot(Uuid::random()));
  EXPECT_EQ(this->journal.entries(run.id), (std::vector<JournalEntry>{full, bare}));
}

TYPED_TEST(JournalStoreContractTest, WritesReplaceWholeRecordsById) {
  RunRecord run = applyRun(5);
  JournalEntry first = entryOf(run, 0);
  this->journal.beginRun(run, {first, entryOf(run, 1)});

  RunRecord replaced = run;
  replaced.sourceDirectory.reset();
  replaced.owner.processID = 1;
  JournalEntry committed = entryOf(run, 0, EntryState::committed);
  committed.id = first.id;
  committed.fingerprintAfter = FileFingerprint{1, 2};
  this->journal.beginRun(replaced, {committed});
  EXPECT_EQ(this->journal.run(run.id), replaced);
  EXPECT_EQ(this->journal.entries(run.id).front(), committed);

  // Every writing operation replaces an entry whole.
  JournalEntry abandoned = entryOf(run, 0, EntryState::abandoned);
  abandoned.id = first.id;
  this->journal.commit({abandoned}, {});
  EXPECT_EQ(this->journal.entries(run.id).front(), abandoned);
  JournalEntry amended = first;
  amended.destinationURL = FileURL::fromPath("/home/u/Documents/f0 2");
  this->journal.amendIntent(amended);
  EXPECT_EQ(this->journal.entries(run.id).front(), amended);
  this->journal.finishRun(run.id, RunState::finished, 9, {committed});
  EXPECT_EQ(this->journal.entries(run.id).front(), committed);
  this->journal.applyRecovery(run.id, {abandoned}, 10);
  EXPECT_EQ(this->journal.entries(run.id).front(), abandoned);
  EXPECT_EQ(this->journal.entries(run.id).size(), 2u);

  // An entry that was never written is added.
  JournalEntry fresh = entryOf(run, 7);
  this->journal.amendIntent(fresh);
  EXPECT_EQ(this->journal.entries(run.id).back(), fresh);
}

TYPED_TEST(JournalStoreContractTest, CommitWritesCompletedThenIntents) {
  RunRecord run = applyRun(5);
  JournalEntry intent = entryOf(run, 0);
  this->journal.beginRun(run, {intent});
  this->journal.commit({}, {});

  JournalEntry done = entryOf(run, 0, EntryState::committed);
  done.id = intent.id;
  JournalEntry next = entryOf(run, 1);
  JournalEntry both = entryOf(run, 2, EntryState::committed);
  JournalEntry bothAsIntent = entryOf(run, 2);
  bothAsIntent.id = both.id;
  this->journal.commit({done, both}, {next, bothAsIntent});
  EXPECT_EQ(this->journal.entries(run.id), (std::vector<JournalEntry>{done, next, bothAsIntent}));
}

TYPED_TEST(JournalStoreContractTest, FinishRunSetsStateAndReplacesTheFinishTime) {
  RunRecord run = applyRun(5);
  run.finishedAt = 6;
  this->journal.beginRun(run, {});
  JournalEntry last = entryOf(run, 0, EntryState::committed);
  this->journal.finishRun(run.id, RunState::finished, 8, {last});
  auto finished = this->journal.run(run.id);
  ASSERT_TRUE(finished);
  EXPECT_EQ(finished->state, RunState::finished);
  EXPECT_EQ(finished->finishedAt, 8);
  EXPECT_EQ(this->journal.entries(run.id), std::vector<JournalEntry>{last});

  // No run with this id: the entries are written, no run appears.
  Uuid missing = Uuid::random();
  JournalEntry orphan = entryOf(run, 1);
  orphan.runID = missing;
  this->journal.finishRun(missing, RunState::finished, 8, {orphan});
  EXPECT_FALSE(this->journal.run(missing));
  EXPECT_EQ(this->journal.entries(missing), std::vector<JournalEntry>{orphan});
}

TYPED_TEST(JournalStoreContractTest, ApplyRecoveryKeepsAnEarlierFinishTime) {
  RunRecord open = applyRun(1);
  RunRecord closed = applyRun(2);
  closed.finishedAt = 3;
  this->journal.beginRun(open, {});
  this->journal.beginRun(closed, {});

  this->journal.applyRecovery(open.id, {}, 50);
  this->journal.applyRecovery(closed.id, {entryOf(closed, 0, EntryState::abandoned)}, 50);
  EXPECT_EQ(this->journal.run(open.id)->state, RunState::recovered);
  EXPECT_EQ(this->journal.run(open.id)->finishedAt, 50);
  EXPECT_EQ(this->journal.run(closed.id)->state, RunState::recovered);
  EXPECT_EQ(this->journal.run(closed.id)->finishedAt, 3);
  EXPECT_EQ(this->journal.entries(closed.id).size(), 1u);

  Uuid missing = Uuid::random();
  JournalEntry orphan = entryOf(open, 0);
  orphan.runID = missing;
  this->journal.applyRecovery(missing, {orphan}, 50);
  EXPECT_FALSE(this->journal.run(missing));
  EXPECT_EQ(this->journal.entries(missing).size(), 1u);
}

TYPED_TEST(JournalStoreContractTest, MarkUndoneAndClearAttentionChangeOneFieldOnly) {
  RunRecord run = applyRun(1);
  JournalEntry a = entryOf(run, 0, EntryState::committed);
  JournalEntry b = entryOf(run, 1, EntryState::committed);
  b.undoneAt = 1;
  JournalEntry c = entryOf(run, 2, EntryState::needsAttention);
  this->journal.beginRun(run, {a, b, c});

  this->journal.markUndone({}, 99);
  this->journal.clearAttention({});
  this->journal.markUndone({a.id, a.id, b.id, Uuid::random()}, 99);
  this->journal.clearAttention({c.id, c.id, Uuid::random()});

  a.undoneAt = 99;
  b.undoneAt = 99;
  c.attentionReason.reset();
  EXPECT_EQ(this->journal.entries(run.id), (std::vector<JournalEntry>{a, b, c}));
  EXPECT_EQ(this->journal.entriesNeedingAttention(), std::vector<JournalEntry>{c});

  // More ids than SQLite takes in one statement.
  std::vector<Uuid> many(40'000);
  for (Uuid& id : many) id = Uuid::random();
  many.push_back(c.id);
  this->journal.markUndone(many, 100);
  this->journal.clearAttention(many);
  c.undoneAt = 100;
  EXPECT_EQ(this->journal.entries(run.id).back(), c);

  // An undo that is itself undone puts its entries back in force.
  this->journal.clearUndone({});
  this->journal.clearUndone({a.id, a.id, Uuid::random()});
  a.undoneAt.reset();
  EXPECT_EQ(this->journal.entries(run.id), (std::vector<JournalEntry>{a, b, c}));
  EXPECT_TRUE(this->journal.entries(run.id).front().isUndoable());
}

TYPED_TEST(JournalStoreContractTest, ARunsCreatedFoldersAreKeptOnceInTheOrderRecorded) {
  RunRecord run = applyRun(1);
  RunRecord other = applyRun(2);
  const FileURL documents = FileURL::fromPath("/home/u/Downloads/Documents", true);
  const FileURL inner = FileURL::fromPath("/home/u/Downloads/Documents/2024", true);
  const FileURL images = FileURL::fromPath("/home/u/Downloads/Images", true);
  JournalEntry entry = entryOf(run, 0);
  entry.inodeAfter = FileInode{0xFFFF'FFFF'FFFF'FFFFull, 1};

  this->journal.beginRun(run, {}, {documents, inner});
  this->journal.commit({}, {entry}, {run.id, {images, documents}});
  this->journal.commit({}, {}, {other.id, {images}});
  this->journal.commit({}, {}, {run.id, {}});

  EXPECT_EQ(this->journal.createdFolders(run.id), (std::vector<FileURL>{documents, inner, images}));
  EXPECT_EQ(this->journal.createdFolders(other.id), std::vector<FileURL>{images});
  EXPECT_TRUE(this->journal.createdFolders(Uuid::random()).empty());
  EXPECT_EQ(this->journal.entries(run.id), std::vector<JournalEntry>{entry});
}

TYPED_TEST(JournalStoreContractTest, ListsComeInTheirOrder) {
  RunRecord late = applyRun(30);
  RunRecord early = applyRun(10);
  RunRecord done = applyRun(20);
  done.state = RunState::finished;
  this->journal.beginRun(late, {entryOf(late, 5), entryOf(late, -1), entryOf(late, 2)});
  this->journal.beginRun(early, {});
  this->journal.beginRun(done, {});

  EXPECT_EQ(this->journal.runs(RunState::running), (std::vector<RunRecord>{early, late}));
  EXPECT_EQ(this->journal.runs(RunState::finished), std::vector<RunRecord>{done});
  EXPECT_TRUE(this->journal.runs(RunState::legacy).empty());

  std::vector<int64_t> sequences;
  for (const auto& e : this->journal.entries(late.id)) sequences.push_back(e.planSequence);
  EXPECT_EQ(sequences, (std::vector<int64_t>{-1, 2, 5}));
  EXPECT_TRUE(this->journal.entries(Uuid::random()).empty());

  JournalEntry older = entryOf(early, 0, EntryState::needsAttention);
  older.intentAt = 100;
  JournalEntry newer = entryOf(done, 0, EntryState::needsAttention);
  newer.intentAt = 200;
  this->journal.commit({older, entryOf(early, 1, EntryState::abandoned)}, {newer});
  EXPECT_EQ(this->journal.entriesNeedingAttention(), (std::vector<JournalEntry>{newer, older}));
}

TYPED_TEST(JournalStoreContractTest, RecentBatchesSummarizeApplyRunsNewestFirst) {
  RunRecord first = applyRun(10);
  RunRecord second = applyRun(20);
  second.state = RunState::recovered;
  RunRecord empty = applyRun(30);
  RunRecord undo = applyRun(40);
  undo.kind = RunKind::undo;

  JournalEntry undone = entryOf(first, 0, EntryState::committed);
  undone.undoneAt = 11;
  JournalEntry abandonedButUndone = entryOf(first, 3, EntryState::abandoned);
  abandonedButUndone.undoneAt = 12;
  this->journal.beginRun(first, {undone, entryOf(first, 1, EntryState::committed),
                                 entryOf(first, 2, EntryState::needsAttention), abandonedButUndone,
                                 entryOf(first, 4)});
  this->journal.beginRun(second, {entryOf(second, 0, EntryState::abandoned)});
  this->journal.beginRun(empty, {});
  this->journal.beginRun(undo, {entryOf(undo, 0, EntryState::committed)});

  auto batches = this->journal.recentBatches(50);
  ASSERT_EQ(batches.size(), 3u);
  EXPECT_EQ(batches[0], (BatchSummary{.id = empty.id,
                                      .kind = RunKind::apply,
                                      .state = RunState::running,
                                      .performedAt = 30,
                                      .sourceDirectory = kFolder}));
  EXPECT_EQ(batches[1], (BatchSummary{.id = second.id,
                                      .kind = RunKind::apply,
                                      .state = RunState::recovered,
                                      .performedAt = 20,
                                      .sourceDirectory = kFolder}));
  EXPECT_EQ(batches[2], (BatchSummary{.id = first.id,
                                      .kind = RunKind::apply,
                                      .state = RunState::running,
                                      .performedAt = 10,
                                      .sourceDirectory = kFolder,
                                      .moveCount = 2,
                                      .undoneCount = 2,
                                      .needsAttentionCount = 1}));
  EXPECT_EQ(this->journal.recentBatches(1).size(), 1u);
  EXPECT_EQ(this->journal.recentBatches(1).front().id, empty.id);
  EXPECT_TRUE(this->journal.recentBatches(0).empty());
  EXPECT_TRUE(this->journal.recentBatches(-1).empty());
}

TYPED_TEST(JournalStoreContractTest, RunsWithEqualStartTimesAreAllListed) {
  RunRecord a = applyRun(10);
  RunRecord b = applyRun(10);
  this->journal.beginRun(a, {});
  this->journal.beginRun(b, {});
  EXPECT_EQ(this->journal.recentBatches(5).size(), 2u);
  EXPECT_EQ(this->journal.runs(RunState::running).size(), 2u);
}

TYPED_TEST(JournalStoreContractTest, PlansAreKeptByIdNewestFirst) {
  SortPlan older{.createdAt = 1, .sourceDirectory = kFolder, .ruleSetHash = "x"};
  SortPlan newer{.createdAt = 2, .sourceDirectory = FileURL::fromPath("/other", true)};
  newer.skipped.push_back(SkippedFile{FileURL::fromPath("/other/.hidden"), SkipReason::isHidden()});
  this->plans.save(older);
  this->plans.save(newer);
  EXPECT_EQ(this->plans.plan(older.id), older);
  EXPECT_FALSE(this->plans.plan(Uuid::random()));
  EXPECT_EQ(this->plans.recentPlans(10), (std::vector<SortPlan>{newer, older}));
  EXPECT_EQ(this->plans.recentPlans(1), std::vector<SortPlan>{newer});
  EXPECT_TRUE(this->plans.recentPlans(0).empty());
  EXPECT_TRUE(this->plans.recentPlans(-1).empty());

  older.ruleSetHash = "y";
  older.createdAt = 3;
  this->plans.save(older);
  EXPECT_EQ(this->plans.plan(older.id), older);
  EXPECT_EQ(this->plans.recentPlans(10), (std::vector<SortPlan>{older, newer}));
}

TYPED_TEST(JournalStoreContractTest, SavingPrunesPlansNoRunNamesBeyondTheNewestFew) {
  static_assert(PlanStore::kUnreferencedPlansKept == 5, "the times below assume five");
  auto save = [&](Date createdAt) {
    SortPlan plan{.createdAt = createdAt, .sourceDirectory = kFolder};
    this->plans.save(plan);
    return plan.id;
  };
  auto savedTimes = [&] {
    std::vector<Date> times;
    for (const SortPlan& plan : this->plans.recentPlans(100)) times.push_back(plan.createdAt);
    return times;
  };
  // The two oldest plans are named by runs: one applied, one under way.
  RunRecord applied = applyRun(100);
  applied.planID = save(1);
  applied.state = RunState::finished;
  RunRecord running = applyRun(101);
  running.planID = save(2);
  this->journal.beginRun(applied, {});
  this->journal.beginRun(running, {});

  for (Date t = 10; t <= 16; ++t) save(t);
  EXPECT_EQ(savedTimes(), (std::vector<Date>{16, 15, 14, 13, 12, 2, 1}));

  // The plan just saved stays, even when it is older than the rest.
  save(0);
  EXPECT_EQ(savedTimes(), (std::vector<Date>{16, 15, 14, 13, 12, 2, 1, 0}));
  save(20);
  EXPECT_EQ(savedTimes(), (std::vector<Date>{20, 16, 15, 14, 13, 2, 1}));
}

TYPED_TEST(JournalStoreContractTest, CallsFromSeveralThreadsAreSerialized) {
  RunRecord run = applyRun(1);
  this->journal.beginRun(run, {});
  constexpr int kThreads = 4;
  constexpr int kWrites = 10;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kWrites; ++i) {
        this->journal.commit({}, {entryOf(run, t * kWrites + i)});
        this->journal.recentBatches(5);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(this->journal.entries(run.id).size(), static_cast<std::size_t>(kThreads * kWrites));
}

TEST(InMemoryJournalStoreTest, ABatchWithoutAFolderTakesTheSavedPlans) {
  InMemoryJournalStore store;
  SortPlan plan{.sourceDirectory = kFolder};
  store.save(plan);
  RunRecord fromPlan{.planID = plan.id, .startedAt = 3};
  RunRecord unsaved{.planID = Uuid::random(), .startedAt = 2};
  RunRecord none{.startedAt = 1};
  for (const auto& run : {fromPlan, unsaved, none}) store.beginRun(run, {});
  auto batches = store.recentBatches(10);
  ASSERT_EQ(batches.size(), 3u);
  EXPECT_EQ(batches[0].sourceDirectory, kFolder);
  EXPECT_FALSE(batches[1].sourceDirectory);
  EXPECT_FALSE(batches[2].sourceDirectory);
}

TEST(InMemoryJournalStoreTest, PlansComeBackWithoutAnyVersionCheck) {
  InMemoryJournalStore store;
  SortPlan future{.version = 9};
  store.save(future);
  EXPECT_EQ(store.plan(future.id), future);
}

TEST(InMemoryJournalStoreTest, SharedIsOneInstance) {
  EXPECT_EQ(InMemoryJournalStore::shared().get(), InMemoryJournalStore::shared().get());
  EXPECT_NE(InMemoryJournalStore::shared(), nullptr);
}

}  // namespace
}  // namespace rozuzed

#include "rozuzed/recovery/recovery_runner.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>

#include <gtest/gtest.h>

#include "rozuzed/filesystem/content_hashing.h"
#include "rozuzed/filesystem/live_file_system.h"
#include "rozuzed/filesystem/trash.h"
#include "rozuzed/testing/fixed_date_provider.h"
#include "rozuzed/testing/in_memory_file_system.h"
#include "rozuzed/testing/intercepting_file_system.h"
#include "rozuzed/testing/journaled_moves.h"
#include "rozuzed/testing/recording_journal_store.h"
#include "rozuzed/testing/subprocess.h"
#include "rozuzed/testing/temporary_folder.h"

namespace rozuzed {
namespace {

using testing::FixedDateProvider;
using testing::InMemoryFileSystem;
using testing::JournalCall;
using testing::RecordingJournalStore;
using testing::renameIntent;
using testing::reversalOf;
using testing::TemporaryFolder;
using testing::transferIntent;
using Op = InMemoryFileSystem::Operation;
using K = JournalCall::Kind;
using testing::contentsOf;
using testing::kNow;
using testing::kOld;
using testing::url;

// An owner that can never be working any more: it ran in another boot.
const ProcessIdentity kGone{"a boot long past", 4242, 17.5};

class RecoveryRunnerTest : public ::testing::Test {
 protected:
  InMemoryFileSystem fs{{"/ext"}};
  RecordingJournalStore journal;
  FixedDateProvider dates{kNow, 0};
  TemporaryFolder scratch;
  std::unique_ptr<RunLock> lock =
      RunLock::acquire(scratch.url().appendingPathComponent("run.lock"));

  RecoveryOutcome reconcile() {
    RecoveryRunner runner(fs, journal, dates);
    return runner.reconcile(*lock);
  }

  // A run left running, written straight to the store so that only the
  // reconciliation's own journal calls are recorded.
  RunRecord addRun(std::vector<JournalEntry>& entries, RunKind kind = RunKind::apply,
                   ProcessIdentity owner = kGone, Date startedAt = kOld,
                   std::optional<Uuid> reverses = std::nullopt) {
    RunRecord run{.kind = kind,
                  .state = RunState::running,
                  .reversesRunID = reverses,
                  .startedAt = startedAt,
                  .owner = std::move(owner)};
    for (auto& entry : entries) entry.runID = run.id;
    journal.store().beginRun(run, entries);
    return run;
  }

  void put(const FileURL& at, const std::string& contents, Date modified = kOld) {
    fs.addFile(at.path(), {.contents = contents, .modificationDate = modified});
  }

  JournalEntry stored(const JournalEntry& entry) {
    for (const auto& candidate : journal.store().entries(entry.runID)) {
      if (candidate.id == entry.id) return candidate;
    }
    ADD_FAILURE() << "no entry " << entry.id.text();
    return {};
  }
};

TEST_F(RecoveryRunnerTest, NothingRunningMeansNothingToRecoverAndNothingWritten) {
  std::vector<JournalEntry> entries{renameIntent("a.txt")};
  RunRecord finished = addRun(entries);
  journal.store().finishRun(finished.id, RunState::finished, kOld, {});

  auto outcome = reconcile();
  EXPECT_EQ(outcome.outcomeCase(), RecoveryOutcome::Case::nothingToRecover);
  EXPECT_FALSE(outcome.blocksNewWork());
  EXPECT_TRUE(journal.calls().empty());
  EXPECT_TRUE(fs.calls().empty());
}

TEST_F(RecoveryRunnerTest, ALiveRunBlocksEveryReconciliation) {
  std::vector<JournalEntry> dead{transferIntent("a.txt")};
  std::vector<JournalEntry> live{renameIntent("b.txt")};
  RunRecord interrupted = addRun(dead, RunKind::apply, kGone, kOld);
  RunRecord working = addRun(live, RunKind::undo, ProcessIdentity::current(), kOld + 1);
  put(dead[0].sourceURL, contentsOf("a.txt"));
  put(*dead[0].tempURL, "partial");

  auto outcome = reconcile();
  ASSERT_EQ(outcome.outcomeCase(), RecoveryOutcome::Case::anotherProcessIsRunning);
  EXPECT_TRUE(outcome.blocksNewWork());
  EXPECT_EQ(outcome.run(), working);
  EXPECT_TRUE(journal.calls().empty());
  EXPECT_TRUE(fs.trashed().empty());
  EXPECT_EQ(journal.store().run(interrupted.id)->state, RunState::running);
}

// A caller that runs one operation at a time under the run lock knows that
// a run of its own process still marked running was cut short; another live
// process's run still stops everything.
TEST_F(RecoveryRunnerTest, ARunThisProcessLeftOpenIsSettledOnlyWhenTheCallerKnowsItWasCutShort) {
  using OwnRuns = RecoveryRunner::OwnRuns;
  const ProcessIdentity another = testing::parentProcessIdentity();
  ASSERT_EQ(another.liveness(), ProcessIdentity::Liveness::anotherProcessAlive);
  struct Case {
    const char* what;
    ProcessIdentity owner;
    OwnRuns ownRuns;
    bool settled;
  };
  const std::vector<Case> cases = {
      {"own run, may be at work", ProcessIdentity::current(), OwnRuns::mayBeAtWork, false},
      {"own run, cut short", ProcessIdentity::current(), OwnRuns::wereCutShort, true},
      {"another live process's run", another, OwnRuns::wereCutShort, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    InMemoryFileSystem disk;
    InMemoryJournalStore store;
    JournalEntry entry = renameIntent("a.txt");
    RunRecord run{.state = RunState::running, .startedAt = kOld, .owner = c.owner};
    entry.runID = run.id;
    store.beginRun(run, {entry});
    disk.addFile(entry.destinationURL.path(),
                 {.contents = contentsOf("a.txt"), .modificationDate = kOld});

    RecoveryOutcome outcome = RecoveryRunner(disk, store, dates).reconcile(*lock, c.ownRuns);

    if (!c.settled) {
      EXPECT_TRUE(outcome.blocksNewWork());
      EXPECT_EQ(outcome.run(), run);
      EXPECT_EQ(store.run(run.id)->state, RunState::running);
      continue;
    }
    ASSERT_EQ(outcome.outcomeCase(), RecoveryOutcome::Case::recovered);
    EXPECT_EQ(store.run(run.id)->state, RunState::recovered);
    EXPECT_EQ(store.entries(run.id).at(0).state, EntryState::committed);
  }
}

// One pending entry, and what lies at its paths when the run is found.
TEST_F(RecoveryRunnerTest, EachPendingEntryIsSettledFromWhatLiesAtItsPaths) {
  const std::string a = contentsOf("a.txt");
  const std::string sameSizeOther = "contents of a.txX";
  ASSERT_EQ(a.size(), sameSizeOther.size());
  enum Where { source = 1, staging = 2, destination = 4 };
  struct Case {
    std::string name;
    bool crossVolume;
    int present;  // which paths hold the file as recorded
    std::function<void(InMemoryFileSystem&, const JournalEntry&)> alsoChange;
    EntryState expected;
    std::optional<std::string> reason;
    std::vector<std::string> trashed;  // paths moved to the Trash, in order
    std::string refuseTrashOf = "";
    // Staging files removed as this engine's own copies of an original
    // still in place, never trashed.
    std::vector<std::string> removed = {};
    bool refuseRemoval = false;
  };
  const auto nothing = [](InMemoryFileSystem&, const JournalEntry&) {};
  const std::string copyRemoved =
      "Could not move the original at /src/a.txt to the Trash: Could not move /src/a.txt to the "
      "Trash: Permission denied \u2014 it was left where it was, and its copy at "
      "/ext/Documents/a.txt was removed";
  const std::vector<Case> cases = {
      {"renamed", false, destination, nothing, EntryState::committed, std::nullopt, {}},
      {"never renamed", false, source, nothing, EntryState::abandoned, std::nullopt, {}},
      {"at both places after a rename",
       false,
       source | destination,
       nothing,
       EntryState::needsAttention,
       "A file matching this one is at both the source and the destination. A rename cannot "
       "produce that, so something else made a copy.",
       {}},
      {"gone, another file of its size at the destination",
       false,
       0,
       [&](InMemoryFileSystem& fs, const JournalEntry& e) {
         fs.addFile(e.destinationURL.path(), {.contents = a, .modificationDate = kOld + 0.002});
       },
       EntryState::needsAttention,
       "The file is gone from the source and a different file now occupies the destination.",
       {}},
      {"gone everywhere",
       false,
       0,
       nothing,
       EntryState::needsAttention,
       "The file is at neither the source nor the destination.",
       {}},
      {"copied and placed, source still there",
       true,
       source | destination,
       nothing,
       EntryState::committed,
       std::nullopt,
       {"/src/a.txt"}},
      // The original stays, so the run's verified copy goes: never two.
      {"copied and placed, the Trash refuses the source",
       true,
       source | destination,
       nothing,
       EntryState::abandoned,
       copyRemoved,
       {},
       "/src/a.txt",
       {"/ext/Documents/a.txt"}},
      {"copied and placed, a staging file remains, the Trash refuses the source",
       true,
       source | staging | destination,
       nothing,
       EntryState::abandoned,
       copyRemoved,
       {},
       "/src/a.txt",
       {"/ext/Documents/.ombrix-tmp-2B1F0C6E-3C1A-4C55-9A33-0E5B8C1D2F40", "/ext/Documents/a.txt"}},
      {"copied and placed, neither the Trash takes the source nor the copy can go",
       true,
       source | destination,
       nothing,
       EntryState::needsAttention,
       "Could not move the original at /src/a.txt to the Trash: Could not move /src/a.txt to the "
       "Trash: Permission denied",
       {},
       "/src/a.txt",
       {},
       true},
      {"copied, not yet placed",
       true,
       source | staging,
       nothing,
       EntryState::abandoned,
       std::nullopt,
       {},
       "",
       {"/ext/Documents/.ombrix-tmp-2B1F0C6E-3C1A-4C55-9A33-0E5B8C1D2F40"}},
      {"partial copy",
       true,
       source,
       [](InMemoryFileSystem& fs, const JournalEntry& e) {
         fs.addFile(e.tempURL->path(), {.contents = "conte"});
       },
       EntryState::abandoned,
       std::nullopt,
       {},
       "",
       {"/ext/Documents/.ombrix-tmp-2B1F0C6E-3C1A-4C55-9A33-0E5B8C1D2F40"}},
      {"partial copy that cannot be removed",
       true,
       source,
       [](InMemoryFileSystem& fs, const JournalEntry& e) {
         fs.addFile(e.tempURL->path(), {.contents = "conte"});
       },
       EntryState::needsAttention,
       "Could not remove the staging file at " +
           std::string("/ext/Documents/.ombrix-tmp-2B1F0C6E-3C1A-4C55-9A33-0E5B8C1D2F40") +
           ": Could not copy .ombrix-tmp-2B1F0C6E-3C1A-4C55-9A33-0E5B8C1D2F40 to " +
           std::string("/ext/Documents/.ombrix-tmp-2B1F0C6E-3C1A-4C55-9A33-0E5B8C1D2F40") +
           ": Permission denied",
       {},
       "",
       {},
       true},
      {"placed while a staging file remains",
       true,
       source | staging | destination,
       nothing,
       EntryState::committed,
       std::nullopt,
       {"/src/a.txt"},
       "",
       {"/ext/Documents/.ombrix-tmp-2B1F0C6E-3C1A-4C55-9A33-0E5B8C1D2F40"}},
      {"placed, the original already in the Trash, a staging file remains",
       true,
       staging | destination,
       nothing,
       EntryState::committed,
       std::nullopt,
       {"/ext/Documents/.ombrix-tmp-2B1F0C6E-3C1A-4C55-9A33-0E5B8C1D2F40"}},
      {"the Trash refuses the staging file",
       true,
       staging | destination,
       nothing,
       EntryState::needsAttention,
       "Could not move the staging file at "
       "/ext/Documents/.ombrix-tmp-2B1F0C6E-3C1A-4C55-9A33-0E5B8C1D2F40 to the Trash: Could not "
       "move /ext/Documents/.ombrix-tmp-2B1F0C6E-3C1A-4C55-9A33-0E5B8C1D2F40 to the Trash: "
       "Permission denied",
       {},
       "/ext/Documents/.ombrix-tmp-2B1F0C6E-3C1A-4C55-9A33-0E5B8C1D2F40"},
      {"another file of its size and date at the destination",
       true,
       source,
       [&](InMemoryFileSystem& fs, const JournalEntry& e) {
         fs.addFile(e.destinationURL.path(), {.contents = sameSizeOther, .modificationDate = kOld});
       },
       EntryState::abandoned,
       std::nullopt,
       {}},
      {"source gone, only a staging copy",
       true,
       staging,
       nothing,
       EntryState::needsAttention,
       "The source is gone and nothing arrived at the destination.",
       {}},
      {"source edited since the intent",
       true,
       destination,
       [&](InMemoryFileSystem& fs, const JournalEntry& e) {
         fs.addFile(e.sourceURL.path(), {.contents = sameSizeOther, .modificationDate = kOld});
       },
       EntryState::needsAttention,
       "The source path now holds a different file than the one this move was for.",
       {}},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs = InMemoryFileSystem(std::vector<std::string>{"/ext"});
    journal.clearCalls();
    std::vector<JournalEntry> entries{c.crossVolume ? transferIntent("a.txt")
                                                    : renameIntent("a.txt")};
    const JournalEntry& e = entries[0];
    RunRecord run = addRun(entries);
    if (c.present & source) put(e.sourceURL, a);
    if (c.present & staging) put(*e.tempURL, a);
    if (c.present & destination) put(e.destinationURL, a);
    c.alsoChange(fs, e);
    fs.beforeCall = [&](const InMemoryFileSystem::Call& call) {
      if (call.operation == Op::trashItem && call.url.path() == c.refuseTrashOf) {
        throw SortError::trashFailed(call.url, "Permission denied");
      }
      if (call.operation == Op::removeOwnFile && c.refuseRemoval) {
        throw SortError::copyFailed(call.url, call.url, "Permission denied");
      }
    };
    const auto before = fs.allPaths();

    auto outcome = reconcile();

    ASSERT_EQ(outcome.outcomeCase(), RecoveryOutcome::Case::recovered);
    ASSERT_EQ(outcome.reports().size(), 1u);
    const RecoveryReport& report = outcome.reports()[0];
    EXPECT_EQ(report.runID, run.id);
    JournalEntry settled = stored(e);
    EXPECT_EQ(settled.state, c.expected);
    EXPECT_EQ(settled.attentionReason, c.reason);
    std::vector<std::string> trashed;
    for (const auto& call : fs.calls(Op::trashItem)) {
      if (call.url.path() != c.refuseTrashOf) trashed.push_back(call.url.path());
    }
    EXPECT_EQ(trashed, c.trashed);
    for (const auto& path : c.trashed) EXPECT_FALSE(fs.exists(path)) << path;
    std::vector<std::string> removed;
    for (const auto& call : fs.calls(Op::removeOwnFile)) {
      if (!c.refuseRemoval) removed.push_back(call.url.path());
    }
    EXPECT_EQ(removed, c.removed);

    // Nothing but the clean-ups changed the disk.
    auto after = fs.allPaths();
    for (const auto& path : before) {
      bool cleanedUp = std::find(c.trashed.begin(), c.trashed.end(), path) != c.trashed.end() ||
                       std::find(c.removed.begin(), c.removed.end(), path) != c.removed.end();
      EXPECT_EQ(std::find(after.begin(), after.end(), path) != after.end(), !cleanedUp) << path;
    }

    const std::vector<JournalEntry>* list = c.expected == EntryState::committed ? &report.committed
                                            : c.expected == EntryState::abandoned
                                                ? &report.abandoned
                                                : &report.needsAttention;
    EXPECT_EQ(*list, std::vector<JournalEntry>{settled});
    EXPECT_EQ(report.committed.size() + report.abandoned.size() + report.needsAttention.size(), 1u);

    // Only the state and what goes with it change.
    JournalEntry expected = e;
    expected.state = c.expected;
    expected.attentionReason = c.reason;
    if (c.expected == EntryState::committed) {
      expected.committedAt = kNow;
      expected.completedBy = CompletionSource::recovery;
      expected.fingerprintAfter = FileFingerprint{static_cast<int64_t>(a.size()), kOld};
      auto file = fs.identityOf(e.destinationURL.path());
      ASSERT_TRUE(file);
      expected.inodeAfter = FileInode{file->device, file->inode};
    }
    EXPECT_EQ(settled, expected);
  }
}

// Judged by its bytes, then no longer that file when it is to go: written
// to, it stays where it is, with the copy beside it, for the user to look
// at; and should no Trash take it then, the copy stays all the same, since
// it may be the one left.
TEST_F(RecoveryRunnerTest, AnOriginalNoLongerAsJudgedKeepsItsCopy) {
  const std::string prefix = "Could not move the original at /src/a.txt to the Trash: ";
  struct Case {
    std::string name;
    std::function<void(const std::string& source)> change;
    std::optional<std::string> refusal;  // the Trash's, when it takes nothing
    std::string reason;
  };
  const auto writtenTo = [&](const std::string& source) { fs.touchWithoutTrace(source); };
  const std::vector<Case> cases = {
      {"written to", writtenTo, std::nullopt,
       prefix + "a.txt changed while it was being moved; it was left where it was"},
      {"written to, no Trash takes it", writtenTo, "Permission denied",
       prefix + "Could not move /src/a.txt to the Trash: Permission denied"},
      {"gone, no Trash takes it", [&](const std::string& source) { fs.remove(source); },
       "No such file", prefix + "Could not move /src/a.txt to the Trash: No such file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs = InMemoryFileSystem(std::vector<std::string>{"/ext"});
    std::vector<JournalEntry> entries{transferIntent("a.txt")};
    addRun(entries);
    const JournalEntry& e = entries[0];
    put(e.sourceURL, contentsOf("a.txt"));
    put(e.destinationURL, contentsOf("a.txt"));
    fs.beforeCall = [&](const InMemoryFileSystem::Call& call) {
      if (call.operation == Op::trashItem && call.url == e.sourceURL) {
        c.change(e.sourceURL.path());
        if (c.refusal) throw SortError::trashFailed(call.url, *c.refusal);
      }
    };

    reconcile();

    JournalEntry settled = stored(e);
    EXPECT_EQ(settled.state, EntryState::needsAttention);
    EXPECT_EQ(settled.attentionReason, c.reason);
    if (fs.exists("/src/a.txt")) {
      EXPECT_EQ(fs.contents("/src/a.txt"), contentsOf("a.txt"));
    }
    EXPECT_EQ(fs.contents("/ext/Documents/a.txt"), contentsOf("a.txt"));
    EXPECT_TRUE(fs.trashed().empty());
    EXPECT_TRUE(fs.calls(Op::removeOwnFile).empty());
  }
}

TEST_F(RecoveryRunnerTest, OnlyPendingEntriesAreSettledAndTheRunIsMarkedRecovered) {
  JournalEntry committed = renameIntent("a.txt", 0);
  committed.state = EntryState::committed;
  committed.committedAt = kOld;
  committed.completedBy = CompletionSource::run;
  JournalEntry abandoned = renameIntent("b.txt", 1);
  abandoned.state = EntryState::abandoned;
  abandoned.attentionReason = "Could not move b.txt";
  JournalEntry attention = renameIntent("c.txt", 2);
  attention.state = EntryState::needsAttention;
  attention.attentionReason = "Earlier";
  JournalEntry pending = renameIntent("d.txt", 3);
  std::vector<JournalEntry> entries{committed, abandoned, attention, pending};
  RunRecord run = addRun(entries);
  put(entries[3].sourceURL, contentsOf("d.txt"));

  auto outcome = reconcile();

  ASSERT_EQ(outcome.reports().size(), 1u);
  const RecoveryReport& report = outcome.reports()[0];
  EXPECT_EQ(report.runKind, RunKind::apply);
  EXPECT_EQ(report.interruptedAt, kOld);
  EXPECT_EQ(report.committed, std::vector<JournalEntry>{entries[0]});
  EXPECT_EQ(report.needsAttention, std::vector<JournalEntry>{entries[2]});
  ASSERT_EQ(report.abandoned.size(), 1u);
  EXPECT_EQ(report.abandoned[0].id, entries[3].id);
  EXPECT_TRUE(report.canUndo());
  EXPECT_FALSE(report.isClean());

  auto writes = journal.calls();
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].kind, K::applyRecovery);
  EXPECT_EQ(writes[0].completed, report.abandoned);
  EXPECT_EQ(stored(entries[1]), entries[1]);
  auto header = journal.store().run(run.id);
  EXPECT_EQ(header->state, RunState::recovered);
  EXPECT_EQ(header->finishedAt, kNow);
  EXPECT_TRUE(journal.store().runs(RunState::running).empty());

  // A run found running once is never found again.
  journal.clearCalls();
  EXPECT_EQ(reconcile().outcomeCase(), RecoveryOutcome::Case::nothingToRecover);
  EXPECT_TRUE(journal.calls().empty());
}

TEST_F(RecoveryRunnerTest, TheUntouchedCountHoldsEveryPlannedFileStillAtItsSource) {
  // The snapshot plans seven files; the run journaled intents for only the
  // first five before it died.
  JournalEntry committed = renameIntent("a.txt", 0);
  committed.state = EntryState::committed;
  committed.committedAt = kOld;
  committed.completedBy = CompletionSource::run;
  JournalEntry failed = renameIntent("b.txt", 1);
  failed.state = EntryState::abandoned;
  failed.attentionReason = "Could not move b.txt";
  JournalEntry attention = renameIntent("c.txt", 2);
  attention.state = EntryState::needsAttention;
  JournalEntry pendingInPlace = renameIntent("d.txt", 3);
  JournalEntry pendingMoved = renameIntent("e.txt", 4);
  std::vector<JournalEntry> entries{committed, failed, attention, pendingInPlace, pendingMoved};
  RunRecord run{
      .kind = RunKind::apply,
      .state = RunState::running,
      .startedAt = kOld,
      .owner = kGone,
      .appliedPlan = AppliedPlan{.planID = Uuid::random(), .sourceDirectory = url("/src")}};
  int64_t sequence = 0;
  // "A.TXT" differs from "a.txt" only in case: a file of its own.
  for (const char* name :
       {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt", "f.txt", "g.txt", "A.TXT"}) {
    run.appliedPlan->moves.push_back({.id = Uuid::random(),
                                      .planSequence = sequence++,
                                      .source = url(std::string("/src/") + name),
                                      .destination = url(std::string("/src/Documents/") + name),
                                      .ruleID = "rule"});
  }
  for (auto& entry : entries) entry.runID = run.id;
  journal.store().beginRun(run, entries);
  for (const char* name : {"b.txt", "c.txt", "d.txt", "f.txt", "A.TXT"}) {
    put(url(std::string("/src/") + name), contentsOf(name));
  }
  put(url("/src/Documents/a.txt"), contentsOf("a.txt"));
  put(url("/src/Documents/e.txt"), contentsOf("e.txt"));
  // g.txt was deleted by someone before the run reached it.

  auto outcome = reconcile();

  ASSERT_EQ(outcome.reports().size(), 1u);
  const RecoveryReport& report = outcome.reports()[0];
  EXPECT_EQ(report.committed.size(), 2u);
  EXPECT_EQ(report.abandoned.size(), 1u);
  EXPECT_EQ(report.needsAttention.size(), 1u);
  // b.txt (failed earlier), d.txt (abandoned now), f.txt and A.TXT (never
  // reached): still where they were. c.txt needs attention, g.txt is gone.
  EXPECT_EQ(report.untouchedCount, 4);

  // An undo run was to move what the run it reverses still holds in force.
  const Uuid applyID = Uuid::random();
  std::vector<JournalEntry> sorted;
  for (const char* name : {"p.txt", "q.txt", "r.txt", "s.txt", "t.txt"}) {
    JournalEntry entry = renameIntent(name, static_cast<int64_t>(sorted.size()));
    entry.runID = applyID;
    entry.state = EntryState::committed;
    entry.committedAt = kOld;
    entry.completedBy = CompletionSource::run;
    sorted.push_back(entry);
  }
  sorted[4].undoneAt = kOld;  // t.txt went back in an earlier undo
  journal.store().beginRun(
      RunRecord{.id = applyID, .state = RunState::finished, .startedAt = kOld - 100}, sorted);
  // The undo reached p.txt, put back before it died, and q.txt, not yet.
  std::vector<JournalEntry> undo;
  for (const JournalEntry& entry : {sorted[0], sorted[1]}) undo.push_back(reversalOf(entry));
  undo[0].state = EntryState::committed;
  undo[0].committedAt = kOld;
  undo[0].completedBy = CompletionSource::run;
  addRun(undo, RunKind::undo, kGone, kOld, applyID);
  put(sorted[0].sourceURL, contentsOf("p.txt"));
  put(sorted[1].destinationURL, contentsOf("q.txt"));
  put(sorted[2].destinationURL, contentsOf("r.txt"));
  put(sorted[4].sourceURL, contentsOf("t.txt"));
  // s.txt was deleted from where the sort had put it.

  auto again = reconcile();
  ASSERT_EQ(again.reports().size(), 1u);
  EXPECT_EQ(again.reports()[0].abandoned.size(), 1u);
  // q.txt, abandoned now, and r.txt, never reached.
  EXPECT_EQ(again.reports()[0].untouchedCount, 2);
}

TEST_F(RecoveryRunnerTest, ARunWithNothingPendingStillLeavesTheRunningState) {
  JournalEntry done = renameIntent("a.txt");
  done.state = EntryState::committed;
  done.committedAt = kOld;
  done.completedBy = CompletionSource::run;
  std::vector<JournalEntry> entries{done};
  std::vector<JournalEntry> none;
  RunRecord first = addRun(entries, RunKind::apply, kGone, kOld);
  RunRecord second = addRun(none, RunKind::apply, kGone, kOld - 10);

  auto outcome = reconcile();

  ASSERT_EQ(outcome.reports().size(), 2u);
  EXPECT_EQ(outcome.reports()[0].runID, second.id);
  EXPECT_EQ(outcome.reports()[1].runID, first.id);
  EXPECT_EQ(outcome.reports()[1].committed, entries);
  EXPECT_TRUE(outcome.reports()[0].committed.empty());
  EXPECT_FALSE(outcome.reports()[0].canUndo());
  EXPECT_TRUE(outcome.reports()[0].isClean());
  for (const auto& call : journal.calls()) {
    EXPECT_EQ(call.kind, K::applyRecovery);
    EXPECT_TRUE(call.completed.empty());
  }
  EXPECT_EQ(journal.store().run(first.id)->state, RunState::recovered);
  EXPECT_EQ(journal.store().run(second.id)->state, RunState::recovered);
}

TEST_F(RecoveryRunnerTest, AnInterruptedUndoMarksTheEntriesItPutBack) {
  Uuid applyID = Uuid::random();
  std::vector<JournalEntry> reversed{renameIntent("a.txt", 0), renameIntent("b.txt", 1),
                                     renameIntent("c.txt", 2), renameIntent("d.txt", 3)};
  for (auto& e : reversed) {
    e.runID = applyID;
    e.state = EntryState::committed;
    e.committedAt = kOld;
    e.completedBy = CompletionSource::run;
  }
  journal.store().beginRun(
      RunRecord{.id = applyID, .state = RunState::finished, .startedAt = kOld - 100}, reversed);

  // Each undo entry moves a file from the apply's destination back.
  std::vector<JournalEntry> undo;
  for (const auto& e : reversed) undo.push_back(reversalOf(e));
  // d was put back and committed before the interruption.
  undo[3].state = EntryState::committed;
  undo[3].committedAt = kOld;
  undo[3].completedBy = CompletionSource::run;
  addRun(undo, RunKind::undo, kGone, kOld, applyID);
  put(undo[0].destinationURL, contentsOf("a.txt"));  // back
  put(undo[1].destinationURL, contentsOf("b.txt"));  // back
  put(undo[2].sourceURL, contentsOf("c.txt"));       // not yet

  auto outcome = reconcile();

  ASSERT_EQ(outcome.reports().size(), 1u);
  EXPECT_EQ(outcome.reports()[0].runKind, RunKind::undo);
  auto marks = journal.calls(K::markUndone);
  ASSERT_EQ(marks.size(), 1u);
  EXPECT_EQ(marks[0].ids, (std::vector<Uuid>{reversed[0].id, reversed[1].id}));
  // Marked before the run is written: a crash between the two leaves the
  // run to settle again, never restored files listed as still moved.
  std::vector<K> writes;
  for (const auto& call : journal.calls()) writes.push_back(call.kind);
  EXPECT_EQ(writes, (std::vector<K>{K::markUndone, K::applyRecovery}));
  EXPECT_TRUE(stored(reversed[2]).isUndoable());
}

// An undo killed once its file was back, before it removed the folders the
// sort had made: settling it removes those that are empty, as the undo
// would have, and leaves the one the user has put a file in since.
TEST_F(RecoveryRunnerTest, AnUndoCutShortOnceItsFilesWereBackLeavesNoEmptyFolderOfTheSort) {
  Uuid applyID = Uuid::random();
  JournalEntry sorted = renameIntent("a.txt");
  sorted.runID = applyID;
  sorted.state = EntryState::committed;
  sorted.committedAt = kOld;
  sorted.completedBy = CompletionSource::run;
  journal.store().beginRun(
      RunRecord{.id = applyID, .state = RunState::finished, .startedAt = kOld - 100}, {sorted},
      {FileURL::fromPath("/src/Documents", true), FileURL::fromPath("/src/Images", true)});
  std::vector<JournalEntry> back{reversalOf(sorted)};
  addRun(back, RunKind::undo, kGone, kOld, applyID);
  put(sorted.sourceURL, contentsOf("a.txt"));
  fs.addFolder("/src/Documents");
  fs.addFile("/src/Images/mine.jpg");

  reconcile();

  EXPECT_EQ(stored(back[0]).state, EntryState::committed);
  EXPECT_FALSE(fs.exists("/src/Documents"));
  EXPECT_TRUE(fs.exists("/src/Images/mine.jpg"));
}

// The undo of an undo, killed once its file was back where the sort had put
// it: settling it puts the sort's entry back in force, so that the sort's
// own undo returns that file too.
TEST_F(RecoveryRunnerTest, AnInterruptedUndoOfAnUndoPutsTheSortsEntryBackInForce) {
  Uuid applyID = Uuid::random();
  JournalEntry sorted = renameIntent("a.txt");
  sorted.runID = applyID;
  sorted.state = EntryState::committed;
  sorted.committedAt = kOld;
  sorted.completedBy = CompletionSource::run;
  sorted.undoneAt = kOld + 1;
  journal.store().beginRun(
      RunRecord{.id = applyID, .state = RunState::finished, .startedAt = kOld - 100}, {sorted});
  Uuid firstUndoID = Uuid::random();
  JournalEntry back = sorted;
  back.id = Uuid::random();
  back.runID = firstUndoID;
  back.undoneAt.reset();
  back.sourceURL = sorted.destinationURL;
  back.destinationURL = sorted.sourceURL;
  back.reversesEntryID = sorted.id;
  journal.store().beginRun(RunRecord{.id = firstUndoID,
                                     .kind = RunKind::undo,
                                     .state = RunState::recovered,
                                     .reversesRunID = applyID,
                                     .startedAt = kOld - 50},
                           {back});

  std::vector<JournalEntry> again{reversalOf(back)};
  addRun(again, RunKind::undo, kGone, kOld, firstUndoID);
  put(sorted.destinationURL, contentsOf("a.txt"));  // where the sort had put it

  reconcile();

  EXPECT_EQ(stored(again[0]).state, EntryState::committed);
  EXPECT_TRUE(stored(back).undoneAt);
  EXPECT_TRUE(stored(sorted).isUndoable());
  std::vector<K> writes;
  for (const auto& call : journal.calls()) writes.push_back(call.kind);
  EXPECT_EQ(writes, (std::vector<K>{K::markUndone, K::clearUndone, K::applyRecovery}));
}

// An undo that took a file back out of the Trash and died before the copy
// at the apply's destination went to the Trash.
TEST_F(RecoveryRunnerTest, AReturnFromTheTrashIsFinishedByTrashingTheCopyLeftBehind) {
  struct Case {
    std::string name;
    std::string atDestination;  // "" for nothing
    bool refuse = false;
    EntryState expected;
    bool copyTrashed;
    // What the Trash holds under the name the file had there; "" for nothing.
    std::string inTrash = "";
  };
  const std::string a = contentsOf("a.txt");
  // Same size and time as the file: only its bytes differ.
  const std::string lookAlike(a.size(), '?');
  const std::vector<Case> cases = {
      {"the copy is still there", a, false, EntryState::committed, true},
      {"the copy is already gone", "", false, EntryState::committed, false},
      {"another file took its place", "someone else's", false, EntryState::committed, false},
      {"the Trash refuses the copy", a, true, EntryState::needsAttention, false},
      {"a later item took its name in the Trash", a, false, EntryState::committed, true,
       "another item"},
      {"a look-alike took its name in the Trash", a, false, EntryState::committed, true, lookAlike},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs = InMemoryFileSystem(std::vector<std::string>{"/ext"});
    journal.clearCalls();
    Uuid applyID = Uuid::random();
    JournalEntry e = transferIntent("a.txt");
    e.runID = applyID;
    e.state = EntryState::committed;
    e.trashedSourceURL = url("/.Trash/files/a.txt");
    e.fingerprintAfter = e.fingerprintBefore;
    e.committedAt = kOld;
    e.completedBy = CompletionSource::run;
    journal.store().beginRun(
        RunRecord{.id = applyID, .state = RunState::finished, .startedAt = kOld - 100}, {e});

    JournalEntry u = renameIntent("a.txt");
    u.sourceURL = *e.trashedSourceURL;
    u.destinationURL = e.sourceURL;
    u.reversesEntryID = e.id;
    std::vector<JournalEntry> undo{u};
    addRun(undo, RunKind::undo, kGone, kOld, applyID);
    put(e.sourceURL, a);
    if (!c.atDestination.empty()) put(e.destinationURL, c.atDestination);
    if (!c.inTrash.empty()) put(u.sourceURL, c.inTrash);
    fs.beforeCall = [&](const InMemoryFileSystem::Call& call) {
      if (c.refuse && call.operation == Op::trashItem) {
        throw SortError::trashFailed(call.url, "Permission denied");
      }
    };

    reconcile();

    JournalEntry settled = stored(undo[0]);
    EXPECT_EQ(settled.state, c.expected);
    EXPECT_EQ(fs.exists("/ext/.Trash/files/a.txt"), c.copyTrashed);
    EXPECT_EQ(fs.exists(e.destinationURL.path()), !c.atDestination.empty() && !c.copyTrashed);
    EXPECT_EQ(fs.contents(e.sourceURL.path()), a);
    if (!c.inTrash.empty()) {
      EXPECT_EQ(fs.contents(u.sourceURL.path()), c.inTrash) << "the later item stays";
    }
    EXPECT_EQ(stored(e).undoneAt.has_value(), c.expected == EntryState::committed);
    // The file left the Trash, so the Trash's record of it goes.
    auto forgotten = fs.calls(Op::forgetTrashedItem);
    ASSERT_EQ(forgotten.size(), 1u);
    EXPECT_EQ(forgotten[0].url, u.sourceURL);
    EXPECT_EQ(forgotten[0].destination, u.destinationURL);
    if (c.refuse) {
      EXPECT_EQ(settled.attentionReason,
                "Could not move the copy at /ext/Documents/a.txt to the Trash: Could not move "
                "/ext/Documents/a.txt to the Trash: Permission denied");
    }
  }
}

TEST_F(RecoveryRunnerTest, ARunWhoseJournalWriteFailedIsSettledAlikeNextTime) {
  std::vector<JournalEntry> entries{transferIntent("a.txt", 0), transferIntent("b.txt", 1)};
  RunRecord run = addRun(entries);
  put(entries[0].sourceURL, contentsOf("a.txt"));
  put(entries[0].destinationURL, contentsOf("a.txt"));
  put(entries[1].sourceURL, contentsOf("b.txt"));
  put(*entries[1].tempURL, "cont");
  journal.beforeWrite = [](const JournalCall&) {
    throw SortError::journalUnavailable("database is locked");
  };
  EXPECT_THROW(reconcile(), SortError);
  EXPECT_EQ(journal.store().run(run.id)->state, RunState::running);
  EXPECT_FALSE(fs.exists("/src/a.txt"));

  journal.beforeWrite = nullptr;
  auto outcome = reconcile();

  ASSERT_EQ(outcome.reports().size(), 1u);
  EXPECT_EQ(stored(entries[0]).state, EntryState::committed);
  EXPECT_EQ(stored(entries[1]).state, EntryState::abandoned);
  EXPECT_EQ(fs.contents("/src/b.txt"), contentsOf("b.txt"));
  EXPECT_EQ(fs.contents("/ext/Documents/a.txt"), contentsOf("a.txt"));
}

// The same decisions on real files: what the disk reports for sizes, times
// and contents.
TEST(RecoveryRunnerLiveTest, SettlesAnInterruptedRunOnRealFiles) {
  TemporaryFolder scratch;
  testing::ScopedEnvironment data{"XDG_DATA_HOME", scratch / "data"};
  std::string user = scratch / "user";
  std::string sorted = user + "/Documents";
  std::filesystem::create_directories(sorted);
  const Date mtime = 1'650'000'000.123456;

  auto entry = [&](const std::string& name, MoveStrategy strategy, int64_t sequence) {
    std::string contents = contentsOf(name);
    JournalEntry e{.planSequence = sequence,
                   .strategy = strategy,
                   .sourceURL = url(user + "/" + name),
                   .destinationURL = url(sorted + "/" + name),
                   .fingerprintBefore = {static_cast<int64_t>(contents.size()), mtime},
                   .matchedRuleID = "rule",
                   .intentAt = kOld};
    if (strategy == MoveStrategy::crossVolumeCopyVerifyTrash) {
      e.tempURL = url(sorted + "/.ombrix-tmp-" + Uuid::random().text());
      e.sourceHash = ContentHashing::sha256(contents);
    }
    return e;
  };
  std::vector<JournalEntry> entries{
      entry("renamed.txt", MoveStrategy::sameVolumeMove, 0),
      entry("halfcopied.txt", MoveStrategy::crossVolumeCopyVerifyTrash, 1),
      entry("placed.txt", MoveStrategy::crossVolumeCopyVerifyTrash, 2)};
  testing::writeFile(sorted + "/renamed.txt", contentsOf("renamed.txt"), mtime);
  testing::writeFile(user + "/halfcopied.txt", contentsOf("halfcopied.txt"), mtime);
  testing::writeFile(entries[1].tempURL->path(), "conte");
  testing::writeFile(user + "/placed.txt", contentsOf("placed.txt"), mtime);
  testing::writeFile(sorted + "/placed.txt", contentsOf("placed.txt"));  // a copy's own time
  // What a kill between reserving a name in the Trash and writing its
  // record leaves: an empty record, and no item of that name.
  const std::string trash = scratch / "data/Trash";
  std::filesystem::create_directories(trash + "/info");
  std::filesystem::create_directories(trash + "/files");
  testing::writeFile(trash + "/info/placed.txt.trashinfo", "");
  testing::writeFile(trash + "/info/halfcopied.txt.trashinfo", "");
  // Not left by a kill: an empty record whose item is there.
  testing::writeFile(trash + "/info/renamed.txt.trashinfo", "");
  testing::writeFile(trash + "/files/renamed.txt", "older");

  InMemoryJournalStore journal;
  RunRecord run{.state = RunState::running, .startedAt = kOld, .owner = kGone};
  for (auto& e : entries) e.runID = run.id;
  journal.beginRun(run, entries);
  LiveFileSystem fileSystem;
  auto lock = RunLock::acquire(scratch.url().appendingPathComponent("run.lock"));
  RecoveryRunner(fileSystem, journal).reconcile(*lock);

  auto settled = journal.entries(run.id);
  ASSERT_EQ(settled.size(), 3u);
  EXPECT_EQ(settled[0].state, EntryState::committed);
  EXPECT_TRUE(settled[0].fingerprintAfter->matches(entries[0].fingerprintBefore));
  EXPECT_EQ(settled[1].state, EntryState::abandoned);
  EXPECT_EQ(settled[2].state, EntryState::committed);
  EXPECT_EQ(testing::readFile(user + "/halfcopied.txt"), contentsOf("halfcopied.txt"));
  EXPECT_EQ(testing::readFile(sorted + "/placed.txt"), contentsOf("placed.txt"));
  EXPECT_FALSE(testing::pathExists(user + "/placed.txt"));
  // Nothing but the user's own files is left beside them; the rest is in
  // the Trash, each with its record.
  std::vector<std::string> left;
  for (const auto& item : std::filesystem::directory_iterator(sorted)) {
    left.push_back(item.path().filename());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"placed.txt", "renamed.txt"}));
  // The original that was copied in full goes to the Trash under its own
  // name, which the unwritten record no longer holds, with a record of its
  // own; the half copy of the original still in place is only removed.
  EXPECT_EQ(testing::readFile(trash + "/files/placed.txt"), contentsOf("placed.txt"));
  const std::string record = testing::readFile(trash + "/info/placed.txt.trashinfo").value_or("");
  EXPECT_TRUE(record.starts_with("[Trash Info]\nPath=")) << record;
  EXPECT_NE(record.find("/placed.txt\n"), std::string::npos) << record;
  EXPECT_FALSE(testing::pathExists(trash + "/files/" + entries[1].tempURL->lastPathComponent()));
  EXPECT_FALSE(testing::pathExists(trash + "/info/halfcopied.txt.trashinfo"));
  EXPECT_TRUE(testing::pathExists(trash + "/info/renamed.txt.trashinfo"));
  std::vector<std::string> inTrash;
  for (const auto& item : std::filesystem::directory_iterator(trash + "/files")) {
    inTrash.push_back(item.path().filename());
  }
  std::sort(inTrash.begin(), inTrash.end());
  EXPECT_EQ(inTrash, (std::vector<std::string>{"placed.txt", "renamed.txt"}));
}

// Killed with the copy in place and the original not yet in the Trash,
// which now takes nothing: the original stays, and the copy goes without a
// trace, so a later sort does not make a second one beside it.
TEST(RecoveryRunnerLiveTest, AnOriginalNoTrashTakesKeepsItsPlaceAndTheCopyGoes) {
  TemporaryFolder scratch;
  testing::ScopedEnvironment data{"XDG_DATA_HOME", scratch / "data"};
  const std::string user = scratch / "user";
  const std::string sorted = user + "/Documents";
  std::filesystem::create_directories(sorted);
  const Date mtime = 1'650'000'000.25;
  const std::string a = contentsOf("a.pdf");
  testing::writeFile(user + "/a.pdf", a, mtime);
  testing::writeFile(sorted + "/a.pdf", a);
  JournalEntry e{.strategy = MoveStrategy::crossVolumeCopyVerifyTrash,
                 .sourceURL = url(user + "/a.pdf"),
                 .destinationURL = url(sorted + "/a.pdf"),
                 .tempURL = url(sorted + "/.ombrix-tmp-" + Uuid::random().text()),
                 .fingerprintBefore = {static_cast<int64_t>(a.size()), mtime},
                 .sourceHash = ContentHashing::sha256(a),
                 .matchedRuleID = "rule",
                 .intentAt = kOld};
  InMemoryJournalStore journal;
  RunRecord run{.state = RunState::running, .startedAt = kOld, .owner = kGone};
  e.runID = run.id;
  journal.beginRun(run, {e});
  testing::InterceptingFileSystem noTrash;
  noTrash.beforeTrash = [](const FileURL& item) {
    throw SortError::trashFailed(item, "No space left on device");
  };
  auto lock = RunLock::acquire(scratch.url().appendingPathComponent("run.lock"));

  RecoveryRunner(noTrash, journal).reconcile(*lock);

  JournalEntry settled = journal.entries(run.id).at(0);
  EXPECT_EQ(settled.state, EntryState::abandoned);
  EXPECT_EQ(settled.attentionReason, "Could not move the original at " + user +
                                         "/a.pdf to the Trash: Could not move " + user +
                                         "/a.pdf to the Trash: No space left on device \u2014 it "
                                         "was left where it was, and its copy at " +
                                         sorted + "/a.pdf was removed");
  EXPECT_EQ(testing::readFile(user + "/a.pdf"), a);
  EXPECT_TRUE(std::filesystem::is_empty(sorted));
}

// An undo that died once its file was out of the Trash but before it
// dropped the file's Trash record: recovery drops that record, and only it.
TEST(RecoveryRunnerLiveTest, FinishesAReturnFromTheTrashOnRealFiles) {
  TemporaryFolder scratch;
  testing::ScopedEnvironment data{"XDG_DATA_HOME", scratch / "data"};
  const std::string user = scratch / "user";
  std::filesystem::create_directories(user + "/elsewhere");
  std::filesystem::create_directories(scratch / "sorted");
  const Date mtime = 1'650'000'000.5;
  const std::string a = contentsOf("a.txt");
  testing::writeFile(user + "/a.txt", a, mtime);
  testing::writeFile(scratch / "sorted/a.txt", a, mtime);
  FileURL trashed = Trash::trashItem(url(user + "/a.txt"));
  const std::string trash = scratch / "data/Trash";
  ASSERT_EQ(::rename(trashed.path().c_str(), (user + "/a.txt").c_str()), 0);
  // Another a.txt of the user's, in the Trash under another name.
  testing::writeFile(user + "/elsewhere/a.txt", "another", mtime);
  FileURL other = Trash::trashItem(url(user + "/elsewhere/a.txt"));
  ASSERT_NE(other, trashed);

  InMemoryJournalStore journal;
  JournalEntry e{.state = EntryState::committed,
                 .strategy = MoveStrategy::crossVolumeCopyVerifyTrash,
                 .sourceURL = url(user + "/a.txt"),
                 .destinationURL = url(scratch / "sorted/a.txt"),
                 .trashedSourceURL = trashed,
                 .fingerprintBefore = {static_cast<int64_t>(a.size()), mtime},
                 .sourceHash = ContentHashing::sha256(a),
                 .fingerprintAfter = FileFingerprint{static_cast<int64_t>(a.size()), mtime},
                 .matchedRuleID = "rule",
                 .intentAt = kOld,
                 .committedAt = kOld,
                 .completedBy = CompletionSource::run};
  RunRecord applied{.state = RunState::finished, .startedAt = kOld};
  e.runID = applied.id;
  journal.beginRun(applied, {e});
  JournalEntry u{.strategy = MoveStrategy::sameVolumeMove,
                 .sourceURL = trashed,
                 .destinationURL = e.sourceURL,
                 .fingerprintBefore = e.fingerprintBefore,
                 .matchedRuleID = "rule",
                 .reversesEntryID = e.id,
                 .intentAt = kOld};
  RunRecord undo{.kind = RunKind::undo,
                 .state = RunState::running,
                 .reversesRunID = applied.id,
                 .startedAt = kOld,
                 .owner = kGone};
  u.runID = undo.id;
  journal.beginRun(undo, {u});

  LiveFileSystem fileSystem;
  auto lock = RunLock::acquire(scratch.url().appendingPathComponent("run.lock"));
  RecoveryRunner(fileSystem, journal).reconcile(*lock);

  EXPECT_EQ(journal.entries(undo.id).at(0).state, EntryState::committed);
  EXPECT_EQ(testing::readFile(user + "/a.txt"), a);
  // What the Trash holds: the other a.txt and the copy the run left behind,
  // each with its record; no record of the file that left.
  std::multiset<std::string> recorded;
  for (const auto& record : std::filesystem::directory_iterator(trash + "/info")) {
    std::string text = testing::readFile(record.path()).value_or("");
    auto start = text.find("Path=") + 5;
    recorded.insert(text.substr(start, text.find('\n', start) - start));
  }
  const std::string real = std::filesystem::canonical(scratch.path()).string();
  EXPECT_EQ(recorded,
            (std::multiset<std::string>{real + "/user/elsewhere/a.txt", real + "/sorted/a.txt"}));
  EXPECT_EQ(testing::readFile(other.path()), "another");
  EXPECT_FALSE(testing::pathExists(scratch / "sorted/a.txt"));
}

}  // namespace
}  // namespace rozuzed

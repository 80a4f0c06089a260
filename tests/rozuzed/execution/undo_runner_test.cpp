#include "rozuzed/execution/undo_runner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <stop_token>

#include <gtest/gtest.h>

#include "rozuzed/filesystem/content_hashing.h"
#include "rozuzed/filesystem/live_file_system.h"
#include "rozuzed/journal/sqlite_journal_store.h"
#include "rozuzed/testing/equality_table.h"
#include "rozuzed/testing/fixed_date_provider.h"
#include "rozuzed/testing/in_memory_file_system.h"
#include "rozuzed/testing/intercepting_file_system.h"
#include "rozuzed/testing/journaled_moves.h"
#include "rozuzed/testing/recording_access.h"
#include "rozuzed/testing/recording_journal_store.h"
#include "rozuzed/testing/temporary_folder.h"

namespace rozuzed {
namespace {

using testing::FixedDateProvider;
using testing::InMemoryFileSystem;
using testing::JournalCall;
using testing::RecordingAccess;
using testing::RecordingJournalStore;
using Op = InMemoryFileSystem::Operation;
using K = JournalCall::Kind;
using testing::contentsOf;
using testing::kNow;
using testing::kOld;
using testing::url;

// Where the Trash of the reversed run left a cross-volume source.
// `replaced`: another file of the same name, size and time took its place.
enum class TrashedSource { inTrash, edited, replaced, removed, neverLocated };

// "/" holds the user's folder "/src"; "/ext" is a second volume. Each test
// records an apply run as the executor would have left it, with the files
// where it put them, then undoes it.
class UndoRunnerTest : public ::testing::Test {
 protected:
  InMemoryFileSystem fs{{"/ext"}};
  RecordingJournalStore journal;
  RecordingAccess access;
  FixedDateProvider dates{kNow, 0.5};
  std::vector<ExecutionProgress> progress;
  std::stop_source stop;
  Uuid applyID = Uuid::random();
  std::vector<JournalEntry> applied;
  // The folders the apply run is recorded to have made, parents first.
  std::vector<FileURL> madeFolders;

  // "/src/<name>" renamed into "/src/Documents".
  JournalEntry moved(const std::string& name) {
    fs.addFile("/src/Documents/" + name, {.contents = contentsOf(name), .modificationDate = kOld});
    return record(committed(testing::renameIntent(name, static_cast<int64_t>(applied.size()))));
  }

  // "/src/<name>" copied to "/ext/Documents", its source sent to the Trash.
  JournalEntry transferred(const std::string& name,
                           TrashedSource trashed = TrashedSource::inTrash) {
    std::string contents = contentsOf(name);
    fs.addFile("/ext/Documents/" + name, {.contents = contents, .modificationDate = kOld});
    std::string inTrash = "/.Trash/files/" + name;
    if (trashed != TrashedSource::removed && trashed != TrashedSource::neverLocated) {
      std::string inTrashContents =
          trashed == TrashedSource::replaced ? std::string(contents.size(), '?') : contents;
      fs.addFile(inTrash, {.contents = inTrashContents, .modificationDate = kOld});
    }
    if (trashed == TrashedSource::edited) fs.setModificationDate(inTrash, kOld + 60);
    JournalEntry entry = committed(testing::transferIntent(
        name, static_cast<int64_t>(applied.size()), ".ombrix-tmp-" + Uuid::random().text()));
    if (trashed != TrashedSource::neverLocated) entry.trashedSourceURL = url(inTrash);
    return record(entry);
  }

  // The intent as the apply run left it once its move was done.
  JournalEntry committed(JournalEntry intent) const {
    intent.runID = applyID;
    intent.state = EntryState::committed;
    intent.fingerprintAfter = intent.fingerprintBefore;
    intent.committedAt = kOld;
    intent.completedBy = CompletionSource::run;
    return intent;
  }

  // A fresh disk and a fresh apply run, for the next case of a table.
  void reset() {
    fs = InMemoryFileSystem(std::vector<std::string>{"/ext"});
    journal.clearCalls();
    applyID = Uuid::random();
    applied.clear();
    progress.clear();
  }

  JournalEntry record(JournalEntry entry) {
    applied.push_back(entry);
    return entry;
  }

  // Writes the apply run straight to the store, so only the undo's own
  // journal calls are recorded.
  void seed() {
    journal.store().beginRun(RunRecord{.id = applyID,
                                       .kind = RunKind::apply,
                                       .state = RunState::running,
                                       .planID = applyID,
                                       .sourceDirectory = FileURL::fromPath("/src", true),
                                       .startedAt = kOld},
                             applied, madeFolders);
    journal.store().finishRun(applyID, RunState::finished, kOld, {});
  }

  UndoReport undo(const Uuid& id, const Executor::Options& options = {}) {
    UndoRunner runner(fs, journal, access, dates);
    return runner.undo(
        id, options, [&](const ExecutionProgress& p) { progress.push_back(p); }, stop.get_token());
  }
  UndoReport undo(const Executor::Options& options = {}) {
    seed();
    return undo(applyID, options);
  }

  JournalEntry stored(const Uuid& id) {
    for (const auto& entry : journal.store().entries(applyID)) {
      if (entry.id == id) return entry;
    }
    ADD_FAILURE() << "no entry " << id.text();
    return {};
  }

  // The undo run's entries, as the journal holds them at the end.
  std::vector<JournalEntry> undoEntries(const UndoReport& report) {
    return journal.store().entries(report.runID);
  }

  std::vector<std::pair<K, std::pair<size_t, size_t>>> journalShape() const {
    std::vector<std::pair<K, std::pair<size_t, size_t>>> out;
    for (const auto& call : journal.calls()) {
      size_t first = call.kind == K::markUndone ? call.ids.size() : call.completed.size();
      out.push_back({call.kind, {first, call.intents.size()}});
    }
    return out;
  }
};

TEST_F(UndoRunnerTest, RefusesARunWithNothingToUndoBeforeWritingAnything) {
  JournalEntry pending = moved("a.txt");
  pending.state = EntryState::pending;
  pending.committedAt = std::nullopt;
  pending.completedBy = std::nullopt;
  JournalEntry undone = moved("b.txt");
  undone.undoneAt = kOld;
  JournalEntry abandoned = pending;
  abandoned.id = Uuid::random();
  abandoned.state = EntryState::abandoned;
  applied = {pending, undone, abandoned};
  seed();

  Uuid unknown = Uuid::random();
  struct Case {
    Uuid id;
    SortError expected;
  };
  for (const Case& c : {Case{unknown, SortError::batchNotFound(unknown)},
                        Case{applyID, SortError::batchAlreadyUndone(applyID)}}) {
    fs.clearCalls();
    try {
      undo(c.id);
      ADD_FAILURE() << "undo of " << c.id.text() << " did not fail";
    } catch (const SortError& error) {
      EXPECT_EQ(error, c.expected);
    }
    EXPECT_TRUE(journal.calls().empty());
    EXPECT_TRUE(fs.calls(Op::moveItem).empty());
  }
}

TEST_F(UndoRunnerTest, ASameVolumeMoveGoesBackByOneMove) {
  // It came from a folder that is gone since.
  moved("a.txt");
  applied[0].sourceURL = url("/src/Inbox/a.txt");
  JournalEntry e = applied[0];
  auto report = undo();

  ASSERT_EQ(report.restored.size(), 1u);
  EXPECT_EQ(report.restored[0], e);
  EXPECT_TRUE(report.isCompleteSuccess());
  EXPECT_EQ(report.reversedRunID, applyID);
  EXPECT_EQ(report.batchID(), applyID);
  EXPECT_EQ(fs.contents("/src/Inbox/a.txt"), contentsOf("a.txt"));
  EXPECT_FALSE(fs.exists("/src/Documents/a.txt"));
  EXPECT_TRUE(fs.trashed().empty());

  auto entries = undoEntries(report);
  ASSERT_EQ(entries.size(), 1u);
  const JournalEntry& u = entries[0];
  EXPECT_EQ(u.runID, report.runID);
  EXPECT_EQ(u.planSequence, e.planSequence);
  EXPECT_EQ(u.state, EntryState::committed);
  EXPECT_EQ(u.completedBy, CompletionSource::run);
  EXPECT_TRUE(u.committedAt);
  EXPECT_EQ(u.strategy, MoveStrategy::sameVolumeMove);
  EXPECT_EQ(u.sourceURL, e.destinationURL);
  EXPECT_EQ(u.destinationURL, e.sourceURL);
  EXPECT_FALSE(u.tempURL);
  EXPECT_FALSE(u.sourceHash);
  EXPECT_FALSE(u.fingerprintAfter);
  EXPECT_FALSE(u.trashedSourceURL);
  EXPECT_EQ(u.fingerprintBefore, *e.fingerprintAfter);
  EXPECT_EQ(u.reversesEntryID, e.id);
  EXPECT_EQ(u.matchedRuleID, e.matchedRuleID);
  EXPECT_FALSE(u.attentionReason);

  EXPECT_TRUE(stored(e.id).undoneAt);
  EXPECT_FALSE(stored(e.id).isUndoable());
  auto run = journal.store().run(report.runID);
  ASSERT_TRUE(run);
  EXPECT_EQ(run->kind, RunKind::undo);
  EXPECT_EQ(run->state, RunState::finished);
  EXPECT_EQ(run->reversesRunID, applyID);
  EXPECT_FALSE(run->planID);
  EXPECT_EQ(run->sourceDirectory, FileURL::fromPath("/src", true));
  EXPECT_EQ(run->startedAt, kNow);
  EXPECT_EQ(run->owner.processID, ProcessIdentity::current().processID);
  EXPECT_EQ(access.urls, std::vector<FileURL>{e.destinationURL});
}

TEST_F(UndoRunnerTest, ATrashedSourceThatStillMatchesComesBackFromTheTrash) {
  JournalEntry e = transferred("a.txt");
  auto report = undo();

  ASSERT_EQ(report.restored.size(), 1u);
  EXPECT_TRUE(report.isCompleteSuccess());
  EXPECT_EQ(fs.contents("/src/a.txt"), contentsOf("a.txt"));
  EXPECT_EQ(fs.modificationDate("/src/a.txt"), kOld);
  EXPECT_FALSE(fs.exists("/.Trash/files/a.txt"));
  // The copy the run made goes to the Trash, and only once the return is
  // durable, in "/src" and, since the undo made "/src" anew, in "/".
  EXPECT_FALSE(fs.exists("/ext/Documents/a.txt"));
  EXPECT_TRUE(fs.exists("/ext/.Trash/files/a.txt"));
  EXPECT_TRUE(fs.calls(Op::copyItem).empty());
  // Read are the trashed file, to tell it from a look-alike, and the copy,
  // to tell it from an edit.
  ASSERT_EQ(fs.calls(Op::contentHash).size(), 2u);
  EXPECT_EQ(fs.calls(Op::contentHash)[0].url, url("/.Trash/files/a.txt"));
  EXPECT_EQ(fs.calls(Op::contentHash)[1].url, url("/ext/Documents/a.txt"));
  std::vector<std::string> order;
  for (const auto& call : fs.calls()) {
    if (call.operation == Op::moveItem) order.push_back("move");
    if (call.operation == Op::synchronize) order.push_back("sync " + call.url.path());
    if (call.operation == Op::trashItem) order.push_back("trash " + call.url.path());
  }
  EXPECT_EQ(order, (std::vector<std::string>{"move", "sync /src", "sync /",
                                             "trash /ext/Documents/a.txt"}));

  auto u = undoEntries(report).at(0);
  EXPECT_EQ(u.strategy, MoveStrategy::sameVolumeMove);
  EXPECT_EQ(u.sourceURL, url("/.Trash/files/a.txt"));
  EXPECT_EQ(u.destinationURL, e.sourceURL);
  EXPECT_FALSE(u.tempURL);
  EXPECT_FALSE(u.sourceHash);
  EXPECT_EQ(u.fingerprintBefore, e.fingerprintBefore);
  EXPECT_EQ(u.state, EntryState::committed);
}

TEST_F(UndoRunnerTest, ACopyTheTrashRefusesAfterAReturnIsALeftover) {
  JournalEntry e = transferred("a.txt");
  fs.beforeCall = [](const InMemoryFileSystem::Call& call) {
    if (call.operation == Op::trashItem)
      throw SortError::trashFailed(call.url, "Permission denied");
  };
  auto report = undo();

  ASSERT_EQ(report.restored.size(), 1u);
  EXPECT_EQ(report.leftovers, std::vector<FileURL>{e.destinationURL});
  EXPECT_TRUE(report.skipped.empty());
  EXPECT_FALSE(report.isCompleteSuccess());
  EXPECT_EQ(fs.contents("/src/a.txt"), contentsOf("a.txt"));
  EXPECT_TRUE(fs.exists("/ext/Documents/a.txt"));
  EXPECT_EQ(undoEntries(report).at(0).state, EntryState::committed);
  EXPECT_TRUE(stored(e.id).undoneAt);
}

TEST_F(UndoRunnerTest, ATrashedSourceNoLongerAsItWasGoesBackByAVerifiedCopy) {
  for (TrashedSource trashed : {TrashedSource::edited, TrashedSource::replaced,
                                TrashedSource::removed, TrashedSource::neverLocated}) {
    SCOPED_TRACE(static_cast<int>(trashed));
    reset();
    JournalEntry e = transferred("a.txt", trashed);
    auto report = undo();

    ASSERT_EQ(report.restored.size(), 1u);
    EXPECT_TRUE(report.isCompleteSuccess());
    EXPECT_EQ(fs.contents("/src/a.txt"), contentsOf("a.txt"));
    EXPECT_FALSE(fs.exists("/ext/Documents/a.txt"));
    EXPECT_EQ(fs.trashed().back(), url("/ext/.Trash/files/a.txt"));

    auto u = undoEntries(report).at(0);
    EXPECT_EQ(u.strategy, MoveStrategy::crossVolumeCopyVerifyTrash);
    EXPECT_EQ(u.sourceURL, e.destinationURL);
    EXPECT_EQ(u.destinationURL, e.sourceURL);
    ASSERT_TRUE(u.tempURL);
    EXPECT_EQ(u.tempURL->deletingLastPathComponent(), FileURL::fromPath("/src", true));
    std::string staging = u.tempURL->lastPathComponent();
    EXPECT_TRUE(staging.starts_with(".ombrix-tmp-"));
    EXPECT_TRUE(Uuid::parse(staging.substr(12)));
    EXPECT_EQ(Uuid::parse(staging.substr(12))->text(), staging.substr(12));
    EXPECT_EQ(u.sourceHash, e.sourceHash);
    EXPECT_EQ(u.fingerprintBefore, *e.fingerprintAfter);
    EXPECT_FALSE(fs.exists(u.tempURL->path()));

    // The copy is durable, and so is its name, and the name of the folder
    // the undo made for it, before the run's copy goes to the Trash.
    std::vector<std::string> order;
    for (const auto& call : fs.calls()) {
      if (call.operation == Op::copyItem) order.push_back("copy");
      if (call.operation == Op::moveItem) order.push_back("rename");
      if (call.operation == Op::synchronize) order.push_back("sync " + call.url.path());
      if (call.operation == Op::trashItem) order.push_back("trash " + call.url.path());
    }
    EXPECT_EQ(order,
              (std::vector<std::string>{"copy", "sync " + u.tempURL->path(), "rename", "sync /src",
                                        "sync /", "trash /ext/Documents/a.txt"}));
  }
}

TEST_F(UndoRunnerTest, AReverseCopyThatFailsLeavesTheFileWhereTheRunPutIt) {
  struct Case {
    std::string name;
    // Breaks one step of the transfer.
    std::function<void(InMemoryFileSystem&, const InMemoryFileSystem::Call&)> breakIt;
    std::function<bool(const SortError&)> isExpected;
    // Whether the transfer got as far as putting the file back in place.
    bool placed = false;
  };
  const std::vector<Case> cases = {
      {"copy dies half-way",
       [](InMemoryFileSystem&, const InMemoryFileSystem::Call& call) {
         if (call.operation != Op::copyItem) return;
         throw SortError::copyFailed(call.url, *call.destination, "No space left on device");
       },
       [](const SortError& error) { return error.errorCase() == SortError::Case::copyFailed; }},
      {"copy differs",
       [](InMemoryFileSystem& fs, const InMemoryFileSystem::Call& call) {
         // The copy comes out wrong: it differs from the moment it is made.
         if (call.operation == Op::identity &&
             call.url.lastPathComponent().starts_with(".ombrix-tmp-")) {
           fs.setContents(call.url.path(), "contents of a.txX");
         }
       },
       [](const SortError& error) {
         return error.errorCase() == SortError::Case::copyVerificationFailed &&
                error.reason() == VerificationFailure::hashMismatch(
                                      ContentHashing::sha256(contentsOf("a.txt")).sha256,
                                      ContentHashing::sha256("contents of a.txX").sha256);
       }},
      {"name taken just before the rename",
       [](InMemoryFileSystem& fs, const InMemoryFileSystem::Call& call) {
         if (call.operation == Op::moveItem)
           fs.addFile("/src/a.txt", {.contents = "someone else's"});
       },
       [](const SortError& error) {
         return error == SortError::refusedToOverwrite(url("/src/a.txt"));
       }},
      {"the Trash refuses the run's copy",
       [](InMemoryFileSystem&, const InMemoryFileSystem::Call& call) {
         if (call.operation == Op::trashItem && call.url == url("/ext/Documents/a.txt")) {
           throw SortError::trashFailed(call.url, "Permission denied");
         }
       },
       [](const SortError& error) { return error.errorCase() == SortError::Case::trashFailed; },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    JournalEntry e = transferred("a.txt", TrashedSource::removed);
    fs.beforeCall = [&](const InMemoryFileSystem::Call& call) { c.breakIt(fs, call); };
    auto report = undo();
    fs.beforeCall = nullptr;

    EXPECT_TRUE(report.restored.empty());
    ASSERT_EQ(report.skipped.size(), 1u);
    EXPECT_EQ(report.skipped[0].entry, e);
    ASSERT_EQ(report.skipped[0].reason.reasonCase(), UndoSkipReason::Case::restoreFailed);
    const SortError& error = *report.skipped[0].reason.error();
    EXPECT_TRUE(c.isExpected(error)) << error.errorDescription();

    // One copy outside the Trash, at the run's destination; no staging
    // file, not even in the Trash: it is ours, and removed.
    EXPECT_EQ(fs.contents("/ext/Documents/a.txt"), contentsOf("a.txt"));
    auto u = undoEntries(report).at(0);
    EXPECT_FALSE(fs.exists(u.tempURL->path()));
    for (const auto& trashed : fs.trashed()) {
      EXPECT_FALSE(trashed.lastPathComponent().starts_with(".ombrix-tmp-")) << trashed.path();
    }
    // The restored copy is ours too, and goes the same way.
    if (c.placed) {
      EXPECT_FALSE(fs.exists("/src/a.txt"));
      EXPECT_FALSE(fs.exists("/.Trash/files/a.txt"));
    }
    EXPECT_EQ(u.state, EntryState::abandoned);
    EXPECT_EQ(u.attentionReason, error.errorDescription());
    EXPECT_FALSE(u.committedAt);
    EXPECT_FALSE(u.completedBy);
    EXPECT_TRUE(stored(e.id).isUndoable());
  }
}

// The run's copy was edited where it lies, keeping its size, and its time
// set back: the original in the Trash stays there and the edit stays put.
TEST_F(UndoRunnerTest, ACopyEditedWithoutATraceIsNotTradedForItsOriginal) {
  JournalEntry e = transferred("a.txt");
  fs.setContents("/ext/Documents/a.txt", "CONTENTS OF A.TXT");
  fs.setModificationDate("/ext/Documents/a.txt", kOld);
  auto report = undo();

  EXPECT_TRUE(report.restored.empty());
  ASSERT_EQ(report.skipped.size(), 1u);
  EXPECT_EQ(report.skipped[0].reason,
            UndoSkipReason::fingerprintMismatch(*e.fingerprintAfter, *e.fingerprintAfter));
  EXPECT_EQ(fs.contents("/ext/Documents/a.txt"), "CONTENTS OF A.TXT");
  EXPECT_EQ(fs.contents("/.Trash/files/a.txt"), contentsOf("a.txt"));
  EXPECT_FALSE(fs.exists("/src/a.txt"));
  EXPECT_TRUE(fs.trashed().empty());
  EXPECT_TRUE(fs.calls(Op::moveItem).empty());
  EXPECT_TRUE(stored(e.id).isUndoable());
}

// The run's copy is edited while the undo works: it stays where it is, with
// its edit, and what the undo put back goes to the Trash again.
TEST_F(UndoRunnerTest, ACopyEditedDuringItsUndoStaysAndWhatCameBackGoes) {
  struct Case {
    std::string name;
    TrashedSource trashed;
    // Stages the edit at the right step.
    std::function<void(InMemoryFileSystem&, const InMemoryFileSystem::Call&)> edit;
  };
  const std::vector<Case> cases = {
      {"once its original is back from the Trash", TrashedSource::inTrash,
       [](InMemoryFileSystem& fs, const InMemoryFileSystem::Call& call) {
         if (call.operation == Op::trashItem && call.url == url("/ext/Documents/a.txt")) {
           fs.setContents("/ext/Documents/a.txt", "contents of a.txt, edited");
         }
       }},
      {"once it was copied back", TrashedSource::removed,
       [](InMemoryFileSystem& fs, const InMemoryFileSystem::Call& call) {
         if (call.operation == Op::moveItem) fs.touchWithoutTrace("/ext/Documents/a.txt");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    JournalEntry e = transferred("a.txt", c.trashed);
    const std::string edited =
        c.trashed == TrashedSource::inTrash ? "contents of a.txt, edited" : contentsOf("a.txt");
    fs.beforeCall = [&](const InMemoryFileSystem::Call& call) { c.edit(fs, call); };
    auto report = undo();
    fs.beforeCall = nullptr;

    EXPECT_TRUE(report.restored.empty());
    ASSERT_EQ(report.skipped.size(), 1u);
    const SortError expected = SortError::sourceChangedDuringMove(e.destinationURL);
    EXPECT_EQ(report.skipped[0].reason, UndoSkipReason::restoreFailed(expected));
    EXPECT_EQ(fs.contents("/ext/Documents/a.txt"), edited);
    EXPECT_FALSE(fs.exists("/src/a.txt"));
    EXPECT_EQ(fs.contents(fs.trashed().back().path()), contentsOf("a.txt"));
    EXPECT_EQ(fs.trashed().back().path(), "/.Trash/files/a.txt");
    auto u = undoEntries(report).at(0);
    EXPECT_EQ(u.state, EntryState::abandoned);
    EXPECT_EQ(u.attentionReason,
              "a.txt changed while it was being moved; it was left where it was");
    EXPECT_TRUE(stored(e.id).isUndoable());
  }
}

TEST_F(UndoRunnerTest, AReturnFromTheTrashDropsThatItemsTrashRecord) {
  JournalEntry e = transferred("a.txt");
  undo();
  auto forgotten = fs.calls(Op::forgetTrashedItem);
  ASSERT_EQ(forgotten.size(), 1u);
  EXPECT_EQ(forgotten[0].url, *e.trashedSourceURL);
  EXPECT_EQ(forgotten[0].destination, e.sourceURL);
}

TEST_F(UndoRunnerTest, EachAttemptStagesUnderAFreshName) {
  transferred("a.txt", TrashedSource::removed);
  int copies = 0;
  fs.beforeCall = [&](const InMemoryFileSystem::Call& call) {
    if (call.operation == Op::copyItem && copies++ == 0) {
      throw SortError::copyFailed(call.url, *call.destination, "Input/output error");
    }
  };
  auto first = undo();
  auto second = undo(applyID);

  EXPECT_EQ(first.skipped.size(), 1u);
  EXPECT_EQ(second.restored.size(), 1u);
  EXPECT_NE(undoEntries(first).at(0).tempURL, undoEntries(second).at(0).tempURL);
  EXPECT_EQ(fs.contents("/src/a.txt"), contentsOf("a.txt"));
}

TEST_F(UndoRunnerTest, EntriesThatCannotGoBackAreSkippedWithTheirReason) {
  struct Case {
    std::string name;
    std::function<void(InMemoryFileSystem&)> change;
    // Builds the reason from the entry; absent: the entry is restored.
    std::function<std::optional<UndoSkipReason>(const JournalEntry&)> reason;
    bool withoutFingerprintAfter = false;
  };
  const FileFingerprint before{static_cast<int64_t>(contentsOf("a.txt").size()), kOld};
  const std::vector<Case> cases = {
      {"removed from its destination",
       [](InMemoryFileSystem& fs) { fs.remove("/src/Documents/a.txt"); },
       [](const JournalEntry& e) {
         return UndoSkipReason::fileMissingAtRecordedLocation(e.destinationURL);
       }},
      {"edited to another size",
       [](InMemoryFileSystem& fs) {
         fs.setContents("/src/Documents/a.txt", "longer contents of a.txt");
       },
       [&](const JournalEntry&) {
         return UndoSkipReason::fingerprintMismatch(before, {24, kOld});
       }},
      {"touched more than a millisecond later",
       [](InMemoryFileSystem& fs) {
         fs.setModificationDate("/src/Documents/a.txt", kOld + 0.0011);
       },
       [&](const JournalEntry&) {
         return UndoSkipReason::fingerprintMismatch(before, {before.size, kOld + 0.0011});
       }},
      {"touched exactly a millisecond later",
       [](InMemoryFileSystem& fs) { fs.setModificationDate("/src/Documents/a.txt", kOld + 0.001); },
       [](const JournalEntry&) { return std::nullopt; }},
      {"edited, but nothing was recorded after the move",
       [](InMemoryFileSystem& fs) { fs.setContents("/src/Documents/a.txt", "anything at all"); },
       [](const JournalEntry&) { return std::nullopt; }, true},
      {"its old place taken again",
       [](InMemoryFileSystem& fs) { fs.addFile("/src/a.txt", {.contents = "new"}); },
       [](const JournalEntry& e) { return UndoSkipReason::originalPathNowOccupied(e.sourceURL); }},
      {"its old place taken by a dangling link",
       [](InMemoryFileSystem& fs) { fs.addSymbolicLink("/src/a.txt", "/nowhere"); },
       [](const JournalEntry& e) {
         return UndoSkipReason::restoreFailed(SortError::refusedToOverwrite(e.sourceURL));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    JournalEntry e = moved("a.txt");
    if (c.withoutFingerprintAfter) {
      applied[0].fingerprintAfter = std::nullopt;
      e.fingerprintAfter = std::nullopt;
    }
    c.change(fs);
    auto report = undo();

    auto expected = c.reason(e);
    if (!expected) {
      EXPECT_EQ(report.restored.size(), 1u);
      EXPECT_TRUE(report.skipped.empty());
      continue;
    }
    EXPECT_TRUE(report.restored.empty());
    ASSERT_EQ(report.skipped.size(), 1u);
    EXPECT_EQ(report.skipped[0].entry, e);
    EXPECT_EQ(report.skipped[0].reason, *expected);
    EXPECT_TRUE(stored(e.id).isUndoable());
    // Even with nothing to put back the undo run is begun and finished.
    auto run = journal.store().run(report.runID);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->state, RunState::finished);
  }
}

TEST_F(UndoRunnerTest, AFailedRestoreDoesNotStopTheOthers) {
  JournalEntry a = moved("a.txt");
  JournalEntry b = moved("b.txt");
  JournalEntry c = moved("c.txt");
  // Something takes b's old place between the check and the move.
  fs.beforeCall = [&](const InMemoryFileSystem::Call& call) {
    if (call.operation == Op::moveItem && call.destination == b.sourceURL) {
      fs.addFile("/src/b.txt", {.contents = "new"});
    }
  };
  auto report = undo();

  EXPECT_EQ(report.restored, (std::vector<JournalEntry>{c, a}));
  ASSERT_EQ(report.skipped.size(), 1u);
  EXPECT_EQ(report.skipped[0].reason,
            UndoSkipReason::restoreFailed(SortError::refusedToOverwrite(b.sourceURL)));
  EXPECT_EQ(fs.contents("/src/b.txt"), "new");
  EXPECT_EQ(fs.contents("/src/Documents/b.txt"), contentsOf("b.txt"));
  EXPECT_TRUE(stored(b.id).isUndoable());
  EXPECT_FALSE(stored(a.id).isUndoable());
}

TEST_F(UndoRunnerTest, TheMoveMadeLastIsUndoneFirstInBatches) {
  struct Case {
    int entries;
    int64_t batchSize;
    std::vector<std::pair<K, std::pair<size_t, size_t>>> shape;
  };
  const std::vector<Case> cases = {
      {70,
       32,
       {{K::beginRun, {0, 32}},
        {K::markUndone, {32, 0}},
        {K::commit, {32, 32}},
        {K::markUndone, {32, 0}},
        {K::commit, {32, 6}},
        {K::markUndone, {6, 0}},
        {K::finishRun, {6, 0}}}},
      {2,
       0,
       {{K::beginRun, {0, 1}},
        {K::markUndone, {1, 0}},
        {K::commit, {1, 1}},
        {K::markUndone, {1, 0}},
        {K::finishRun, {1, 0}}}},
      {2,
       -5,
       {{K::beginRun, {0, 1}},
        {K::markUndone, {1, 0}},
        {K::commit, {1, 1}},
        {K::markUndone, {1, 0}},
        {K::finishRun, {1, 0}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.batchSize);
    reset();
    for (int i = 0; i < c.entries; ++i) moved("f" + std::to_string(i) + ".txt");
    auto report = undo({.batchSize = c.batchSize});

    EXPECT_EQ(journalShape(), c.shape);
    ASSERT_EQ(report.restored.size(), applied.size());
    for (size_t i = 0; i < applied.size(); ++i) {
      EXPECT_EQ(report.restored[i].planSequence, c.entries - 1 - static_cast<int64_t>(i));
    }
    // The undo entries of each batch are marked only for files that are back.
    for (const auto& call : journal.calls(K::markUndone)) {
      for (const Uuid& id : call.ids) EXPECT_TRUE(stored(id).undoneAt);
    }
    for (const auto& entry : journal.store().entries(applyID)) EXPECT_FALSE(entry.isUndoable());
  }
}

TEST_F(UndoRunnerTest, ABatchWhoseEveryEntryIsSkippedIsStillJournaled) {
  moved("a.txt");
  moved("b.txt");
  moved("c.txt");
  fs.remove("/src/Documents/c.txt");
  fs.remove("/src/Documents/b.txt");
  auto report = undo({.batchSize = 2});

  EXPECT_EQ(journalShape(),
            (std::vector<std::pair<K, std::pair<size_t, size_t>>>{{K::beginRun, {0, 0}},
                                                                  {K::markUndone, {0, 0}},
                                                                  {K::commit, {0, 1}},
                                                                  {K::markUndone, {1, 0}},
                                                                  {K::finishRun, {1, 0}}}));
  EXPECT_EQ(report.restored.size(), 1u);
  EXPECT_EQ(report.skipped.size(), 2u);
}

TEST_F(UndoRunnerTest, ProgressCountsTheRestoresAttempted) {
  JournalEntry a = moved("a.txt");
  moved("b.txt");
  JournalEntry c = moved("c.txt");
  fs.remove("/src/Documents/b.txt");
  undo();

  EXPECT_EQ(progress,
            (std::vector<ExecutionProgress>{
                {0, 3, c.destinationURL}, {1, 3, a.destinationURL}, {3, 3, std::nullopt}}));
}

TEST_F(UndoRunnerTest, CancelledBeforeTheFirstBatchWritesNothing) {
  moved("a.txt");
  stop.request_stop();
  auto report = undo();

  EXPECT_TRUE(journal.calls().empty());
  EXPECT_TRUE(report.restored.empty());
  EXPECT_TRUE(report.skipped.empty());
  EXPECT_TRUE(fs.exists("/src/Documents/a.txt"));
  EXPECT_EQ(progress, (std::vector<ExecutionProgress>{{1, 1, std::nullopt}}));
}

TEST_F(UndoRunnerTest, CancelledBetweenTwoRestoresFinishesTheRun) {
  JournalEntry a = moved("a.txt");
  JournalEntry b = moved("b.txt");
  seed();
  UndoRunner runner(fs, journal, access, dates);
  auto report = runner.undo(
      applyID, {},
      [&](const ExecutionProgress& p) {
        if (p.completedCount == 0) stop.request_stop();
      },
      stop.get_token());

  EXPECT_EQ(report.restored, std::vector<JournalEntry>{b});
  EXPECT_EQ(journal.store().run(report.runID)->state, RunState::finished);
  auto entries = undoEntries(report);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].state, EntryState::pending);
  EXPECT_EQ(entries[0].reversesEntryID, a.id);
  EXPECT_TRUE(stored(a.id).isUndoable());
  EXPECT_TRUE(fs.exists("/src/Documents/a.txt"));
}

TEST_F(UndoRunnerTest, AFailureOfTheFolderAccessEndsTheUndoAtOnce) {
  moved("a.txt");
  JournalEntry b = moved("b.txt");
  access.failOn = b.destinationURL;
  seed();
  EXPECT_THROW(undo(applyID), std::runtime_error);

  // The run stays running with its intents pending, for recovery to settle.
  auto runs = journal.store().runs(RunState::running);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].kind, RunKind::undo);
  for (const auto& entry : journal.store().entries(runs[0].id)) {
    EXPECT_EQ(entry.state, EntryState::pending);
  }
  EXPECT_TRUE(fs.exists("/src/Documents/a.txt"));
}

TEST_F(UndoRunnerTest, AJournalFailureEndsTheUndoBeforeAnyFileIsTouched) {
  moved("a.txt");
  journal.beforeWrite = [](const JournalCall& call) {
    if (call.kind == K::beginRun) throw SortError::journalUnavailable("disk I/O error");
  };
  EXPECT_THROW(undo(), SortError);
  EXPECT_TRUE(fs.calls(Op::moveItem).empty());
  EXPECT_TRUE(fs.exists("/src/Documents/a.txt"));
}

TEST_F(UndoRunnerTest, AnUndoRunCanItselfBeUndone) {
  JournalEntry same = moved("a.txt");
  JournalEntry fromTrash = transferred("b.txt");
  JournalEntry copiedBack = transferred("c.txt", TrashedSource::removed);
  auto first = undo();
  ASSERT_EQ(first.restored.size(), 3u);
  ASSERT_EQ(fs.contents("/src/b.txt"), contentsOf("b.txt"));

  auto second = undo(first.runID);

  EXPECT_EQ(second.restored.size(), 3u);
  EXPECT_TRUE(second.isCompleteSuccess());
  // Every file is where the first run had put it, and nowhere else outside
  // the Trash: the file that had come back from the Trash included.
  for (const JournalEntry* e : {&same, &fromTrash, &copiedBack}) {
    EXPECT_EQ(fs.contents(e->destinationURL.path()),
              contentsOf(e->destinationURL.lastPathComponent()));
    EXPECT_FALSE(fs.exists(e->sourceURL.path()));
  }
  for (const auto& path : fs.allPaths()) {
    if (path.find(".Trash") == std::string::npos) {
      EXPECT_EQ(path.find(".ombrix-tmp-"), std::string::npos) << path;
    }
  }
  for (const auto& entry : journal.store().entries(first.runID)) EXPECT_TRUE(entry.undoneAt);
  // The first run's moves are in force again, so its own undo can take
  // every file back; the history no longer counts them as undone.
  for (const JournalEntry* e : {&same, &fromTrash, &copiedBack}) {
    EXPECT_TRUE(stored(e->id).isUndoable());
  }
  EXPECT_EQ(journal.store().recentBatches(1).at(0).undoneCount, 0);

  // Undone once more, the line flips again all the way down.
  auto third = undo(second.runID);
  EXPECT_EQ(third.restored.size(), 3u);
  for (const JournalEntry* e : {&same, &fromTrash, &copiedBack}) {
    EXPECT_EQ(fs.contents(e->sourceURL.path()), contentsOf(e->sourceURL.lastPathComponent()));
    EXPECT_FALSE(stored(e->id).isUndoable());
  }
  for (const auto& entry : journal.store().entries(first.runID)) EXPECT_TRUE(entry.isUndoable());
}

// An undo cut short, then undone itself, then the run undone from the
// history: every file comes back, and the report says only what is true.
TEST_F(UndoRunnerTest, AfterAPartialUndoIsUndoneTheRunsUndoReturnsEveryFile) {
  JournalEntry a = moved("a.txt");
  JournalEntry b = moved("b.txt");
  JournalEntry c = moved("c.txt");
  seed();
  // Cut short once the last move, c's, is on its way back.
  std::stop_source cut;
  auto first = UndoRunner(fs, journal, access, dates)
                   .undo(
                       applyID, {},
                       [&](const ExecutionProgress& p) {
                         if (p.currentFile) cut.request_stop();
                       },
                       cut.get_token());
  ASSERT_EQ(first.restored.size(), 1u);
  ASSERT_EQ(first.restored[0].id, c.id);

  auto undoneUndo = undo(first.runID);
  ASSERT_EQ(undoneUndo.restored.size(), 1u);
  EXPECT_EQ(fs.contents("/src/Documents/c.txt"), contentsOf("c.txt"));

  auto last = undo(applyID);
  EXPECT_TRUE(last.isCompleteSuccess());
  EXPECT_EQ(last.restored.size(), 3u);
  for (const JournalEntry* e : {&a, &b, &c}) {
    EXPECT_EQ(fs.contents(e->sourceURL.path()), contentsOf(e->sourceURL.lastPathComponent()));
    EXPECT_FALSE(fs.exists(e->destinationURL.path()));
  }
  EXPECT_EQ(journal.store().recentBatches(1).at(0).undoneCount, 3);
}

// Undo leaves the folder as it was before the run: the folders the run made
// go once they are empty, the inner ones first; a folder that was there
// before, or that holds anything now, stays.
TEST_F(UndoRunnerTest, TheFoldersTheRunMadeGoOnceEmptyAndNoOthers) {
  moved("a.txt");
  fs.addFile("/src/Documents/2024/b.txt",
             {.contents = contentsOf("b.txt"), .modificationDate = kOld});
  FileFingerprint b{static_cast<int64_t>(contentsOf("b.txt").size()), kOld};
  record(JournalEntry{.runID = applyID,
                      .planSequence = 1,
                      .state = EntryState::committed,
                      .sourceURL = url("/src/b.txt"),
                      .destinationURL = url("/src/Documents/2024/b.txt"),
                      .fingerprintBefore = b,
                      .fingerprintAfter = b,
                      .matchedRuleID = "rule-b",
                      .intentAt = kOld,
                      .committedAt = kOld,
                      .completedBy = CompletionSource::run});
  fs.addFolder("/src/Images");        // made, and empty again
  fs.addFile("/src/Audio/mine.mp3");  // made, and used since
  fs.addFolder("/src/Videos");        // there before the run
  for (const char* made : {"/src/Documents", "/src/Documents/2024", "/src/Images", "/src/Audio"}) {
    madeFolders.push_back(FileURL::fromPath(made, true));
  }

  auto report = undo();

  EXPECT_EQ(report.restored.size(), 2u);
  EXPECT_TRUE(report.isCompleteSuccess());
  for (const char* gone : {"/src/Documents", "/src/Documents/2024", "/src/Images"}) {
    EXPECT_FALSE(fs.exists(gone)) << gone;
  }
  EXPECT_TRUE(fs.exists("/src/Audio/mine.mp3"));
  EXPECT_TRUE(fs.exists("/src/Videos"));
  EXPECT_EQ(fs.contents("/src/a.txt"), contentsOf("a.txt"));
  EXPECT_EQ(fs.contents("/src/b.txt"), contentsOf("b.txt"));
}

TEST(UndoSkipReasonTest, EqualityAndHashingFollowCaseAndPayload) {
  const FileFingerprint f{3, kOld};
  testing::expectDistinctValuesAndHashes<UndoSkipReason>({
      {"missing", UndoSkipReason::fileMissingAtRecordedLocation(url("/a"))},
      {"missing elsewhere", UndoSkipReason::fileMissingAtRecordedLocation(url("/b"))},
      {"occupied", UndoSkipReason::originalPathNowOccupied(url("/a"))},
      {"edited", UndoSkipReason::fingerprintMismatch(f, {4, kOld})},
      {"edited, other time", UndoSkipReason::fingerprintMismatch(f, {3, kOld + 0.0001})},
      {"edited, other expectation", UndoSkipReason::fingerprintMismatch({5, kOld}, {4, kOld})},
      {"already undone", UndoSkipReason::alreadyUndone()},
      {"not committed", UndoSkipReason::notCommitted()},
      {"failed", UndoSkipReason::restoreFailed(SortError::trashFailed(url("/a"), "x"))},
      {"failed otherwise", UndoSkipReason::restoreFailed(SortError::trashFailed(url("/a"), "y"))},
  });
}

// Undo on the real disk, across two real volumes, after a real apply: the
// freedesktop Trash on both sides, copies that keep their times, fsync.
class UndoRunnerLiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::secondVolumeBeside(scratch.path())) {
      GTEST_SKIP() << "no /dev/shm on a volume of its own here";
    }
    other = std::make_unique<testing::TemporaryFolder>("/dev/shm");
    std::filesystem::create_directories(scratch / "data");
    std::filesystem::create_directories(scratch / "in");
    testing::writeFile(scratch / ("in/" + name), bytes, kWhen);
  }

  void TearDown() override {
    // What the undo sent to the other volume's Trash.
    std::string trash = "/dev/shm/.Trash-" + std::to_string(::getuid());
    std::error_code ignored;
    std::filesystem::remove(trash + "/files/" + name, ignored);
    std::filesystem::remove(trash + "/info/" + name + ".trashinfo", ignored);
  }

  // Applies the move of the one file to the other volume.
  Uuid apply() {
    FileURL source = FileURL::fromPath(scratch / ("in/" + name));
    FileURL folder = FileURL::fromPath(*other / "Documents", true);
    SortPlan plan{.createdAt = kWhen,
                  .sourceDirectory = FileURL::fromPath(scratch / "in", true),
                  .ruleSetHash = "hash",
                  .moves = {PlannedMove{.planSequence = 0,
                                        .source = source,
                                        .destinationDirectory = folder,
                                        .destinationURL = folder.appendingPathComponent(name),
                                        .matchedRuleID = "rule",
                                        .fingerprint = fileSystem.metadata(source).fingerprint(),
                                        .strategy = MoveStrategy::crossVolumeCopyVerifyTrash}}};
    auto report = Executor(fileSystem, journal).apply(plan);
    EXPECT_EQ(report.completed.size(), 1u);
    return plan.id;
  }

  testing::TemporaryFolder scratch;
  testing::ScopedEnvironment data{"XDG_DATA_HOME", scratch / "data"};
  std::unique_ptr<testing::TemporaryFolder> other;
  LiveFileSystem fileSystem;
  SQLiteJournalStore journal{FileURL::fromPath(scratch / "data/journal.sqlite")};
  const std::string name = "undo-" + Uuid::random().text() + ".pdf";
  const std::string bytes = std::string(2 * 1024 * 1024 + 5, 'u');
  static constexpr Date kWhen = 1'600'000'000.5;
};

TEST_F(UndoRunnerLiveTest, TheTrashedOriginalComesBackWithoutItsTrashRecord) {
  Uuid runID = apply();
  std::string trash = scratch / "data/Trash";
  ASSERT_TRUE(testing::pathExists(trash + "/files/" + name));
  ASSERT_TRUE(testing::pathExists(trash + "/info/" + name + ".trashinfo"));

  auto report = UndoRunner(fileSystem, journal).undo(runID);

  ASSERT_EQ(report.restored.size(), 1u);
  EXPECT_TRUE(report.isCompleteSuccess());
  EXPECT_EQ(testing::readFile(scratch / ("in/" + name)), bytes);
  EXPECT_TRUE(fileSystem.metadata(FileURL::fromPath(scratch / ("in/" + name)))
                  .fingerprint()
                  .matches({static_cast<int64_t>(bytes.size()), kWhen}));
  EXPECT_FALSE(testing::pathExists(trash + "/files/" + name));
  EXPECT_FALSE(testing::pathExists(trash + "/info/" + name + ".trashinfo"));
  EXPECT_FALSE(testing::pathExists(*other / ("Documents/" + name)));
  EXPECT_EQ(journal.entries(report.runID).at(0).strategy, MoveStrategy::sameVolumeMove);
}

TEST_F(UndoRunnerLiveTest, AnOriginalGoneFromTheTrashComesBackByAVerifiedCopy) {
  Uuid runID = apply();
  std::string trash = scratch / "data/Trash";
  std::filesystem::remove(trash + "/files/" + name);
  std::filesystem::remove(trash + "/info/" + name + ".trashinfo");

  auto report = UndoRunner(fileSystem, journal).undo(runID);

  ASSERT_EQ(report.restored.size(), 1u) << report.skipped.at(0).reason.error()->errorDescription();
  EXPECT_EQ(testing::readFile(scratch / ("in/" + name)), bytes);
  EXPECT_TRUE(fileSystem.metadata(FileURL::fromPath(scratch / ("in/" + name)))
                  .fingerprint()
                  .matches({static_cast<int64_t>(bytes.size()), kWhen}));
  EXPECT_FALSE(testing::pathExists(*other / ("Documents/" + name)));
  auto u = journal.entries(report.runID).at(0);
  EXPECT_EQ(u.strategy, MoveStrategy::crossVolumeCopyVerifyTrash);
  EXPECT_EQ(u.state, EntryState::committed);
  // Nothing but the file itself is back in the folder: no staging file.
  std::vector<std::string> left;
  for (const auto& item : std::filesystem::directory_iterator(scratch / "in")) {
    left.push_back(item.path().filename());
  }
  EXPECT_EQ(left, std::vector<std::string>{name});
}

// The run's copy rewritten where it lies, at the same size, its time set
// back: only its bytes tell, and its original stays in the Trash.
TEST_F(UndoRunnerLiveTest, ACopyEditedWithoutATraceKeepsItsOriginalInTheTrash) {
  Uuid runID = apply();
  const std::string copy = *other / ("Documents/" + name);
  {
    std::fstream file(copy, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(1000);
    file << "EDIT";
  }
  const timespec times[2] = {{0, UTIME_OMIT}, {1'600'000'000, 500'000'000}};
  ASSERT_EQ(::utimensat(AT_FDCWD, copy.c_str(), times, 0), 0);

  auto report = UndoRunner(fileSystem, journal).undo(runID);

  EXPECT_TRUE(report.restored.empty());
  ASSERT_EQ(report.skipped.size(), 1u);
  EXPECT_EQ(report.skipped[0].reason.reasonCase(), UndoSkipReason::Case::fingerprintMismatch);
  std::string edited = bytes;
  edited.replace(1000, 4, "EDIT");
  EXPECT_EQ(testing::readFile(copy), edited);
  EXPECT_FALSE(testing::pathExists(scratch / ("in/" + name)));
  std::string trash = scratch / "data/Trash";
  EXPECT_EQ(testing::readFile(trash + "/files/" + name), bytes);
  EXPECT_TRUE(testing::pathExists(trash + "/info/" + name + ".trashinfo"));
}

// Another program appends to the run's copy while the undo works: the copy
// keeps its new line where it is, and what the undo brought back goes to
// the Trash again.
TEST_F(UndoRunnerLiveTest, ACopyEditedWhileItGoesBackStaysWhereItIs) {
  for (bool originalInTrash : {true, false}) {
    SCOPED_TRACE(originalInTrash ? "back from the Trash" : "copied back");
    testing::writeFile(scratch / ("in/" + name), bytes, kWhen);
    Uuid runID = apply();
    std::string trash = scratch / "data/Trash";
    if (!originalInTrash) {
      std::filesystem::remove(trash + "/files/" + name);
      std::filesystem::remove(trash + "/info/" + name + ".trashinfo");
    }
    const FileURL copy = FileURL::fromPath(*other / ("Documents/" + name));
    auto append = [&](const FileURL& item) {
      if (item == copy) std::ofstream(copy.path(), std::ios::app) << "one more line\n";
    };
    testing::InterceptingFileSystem editing;
    if (originalInTrash) {
      editing.beforeTrash = append;
    } else {
      editing.afterCopy = [&](const FileURL& source, const FileURL&) { append(source); };
    }

    auto report = UndoRunner(editing, journal).undo(runID);

    EXPECT_TRUE(report.restored.empty());
    ASSERT_EQ(report.skipped.size(), 1u);
    EXPECT_EQ(report.skipped[0].reason,
              UndoSkipReason::restoreFailed(SortError::sourceChangedDuringMove(copy)));
    EXPECT_EQ(testing::readFile(copy.path()), bytes + "one more line\n");
    EXPECT_FALSE(testing::pathExists(scratch / ("in/" + name)));
    EXPECT_EQ(testing::readFile(trash + "/files/" + name), bytes);
    EXPECT_TRUE(testing::pathExists(trash + "/info/" + name + ".trashinfo"));

    std::filesystem::remove(copy.path());
    std::filesystem::remove(trash + "/files/" + name);
    std::filesystem::remove(trash + "/info/" + name + ".trashinfo");
  }
}

// A rename keeps the file itself: a different file put in the moved one's
// place, of the same size and modification time, is not taken for it,
// whether the sort moved the file there or an undo moved it back.
TEST(UndoRunnerSameVolumeLiveTest, ALookAlikeInTheMovedFilesPlaceStaysWhereItIs) {
  for (const bool undoOfAnUndo : {false, true}) {
    SCOPED_TRACE(undoOfAnUndo ? "an undo's move back" : "the sort's move");
    testing::TemporaryFolder scratch;
    testing::ScopedEnvironment data{"XDG_DATA_HOME", scratch / "data"};
    const Date when = 1'600'000'000.25;
    std::filesystem::create_directories(scratch / "in");
    std::filesystem::create_directories(scratch / "elsewhere");
    testing::writeFile(scratch / "in/a.txt", "original", when);
    LiveFileSystem fileSystem;
    SQLiteJournalStore journal{FileURL::fromPath(scratch / "data/journal.sqlite")};
    FileURL source = FileURL::fromPath(scratch / "in/a.txt");
    FileURL folder = FileURL::fromPath(scratch / "in/Documents", true);
    SortPlan plan{.createdAt = when,
                  .sourceDirectory = FileURL::fromPath(scratch / "in", true),
                  .ruleSetHash = "hash",
                  .moves = {PlannedMove{.planSequence = 0,
                                        .source = source,
                                        .destinationDirectory = folder,
                                        .destinationURL = folder.appendingPathComponent("a.txt"),
                                        .matchedRuleID = "rule",
                                        .fingerprint = fileSystem.metadata(source).fingerprint(),
                                        .strategy = MoveStrategy::sameVolumeMove}}};
    ASSERT_EQ(Executor(fileSystem, journal).apply(plan).completed.size(), 1u);
    Uuid toUndo = plan.id;
    std::string movedTo = scratch / "in/Documents/a.txt";
    if (undoOfAnUndo) {
      toUndo = UndoRunner(fileSystem, journal).undo(plan.id).runID;
      movedTo = scratch / "in/a.txt";
    }
    std::filesystem::rename(movedTo, scratch / "elsewhere/a.txt");
    testing::writeFile(movedTo, "imposter", when);

    auto report = UndoRunner(fileSystem, journal).undo(toUndo);

    EXPECT_TRUE(report.restored.empty());
    ASSERT_EQ(report.skipped.size(), 1u);
    EXPECT_EQ(report.skipped[0].reason.reasonCase(), UndoSkipReason::Case::fingerprintMismatch);
    EXPECT_EQ(testing::readFile(movedTo), "imposter");
    EXPECT_EQ(testing::readFile(scratch / "elsewhere/a.txt"), "original");
    EXPECT_FALSE(
        testing::pathExists(undoOfAnUndo ? scratch / "in/Documents/a.txt" : scratch / "in/a.txt"));
    EXPECT_TRUE(journal.entries(toUndo).at(0).isUndoable());
  }
}

}  // namespace
}  // namespace rozuzed

#include "sortappkit/sort_engine.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "rozuzed/journal/in_memory_journal_store.h"
#include "rozuzed/model/sort_error.h"
#include "rozuzed/rules/rule_engine.h"
#include "rozuzed/testing/recording_access.h"
#include "rozuzed/testing/recording_journal_store.h"
#include "rozuzed/testing/subprocess.h"
#include "sortappkit/app_error.h"
#include "sortappkit/engine_fixture.h"
#include "sortappkit/fake_bookmarks.h"
#include "sortappkit/folder_access/scoped_access.h"
#include "sortappkit/lock_holder.h"

namespace sortappkit {
namespace {

using rozuzed::ExecutionReport;
using rozuzed::FileURL;
using rozuzed::LoadedRuleSet;
using rozuzed::SortPlan;
using rozuzed::Uuid;
using rozuzed::testing::RecordingAccess;
using rozuzed::testing::ScopedEnvironment;
using rozuzed::testing::TemporaryFolder;
using testing::EngineFixture;
using testing::LockHolder;

class SortEngineTest : public ::testing::Test, public EngineFixture {
 protected:
  LoadedRuleSet rules() {
    return awaitEngine<LoadedRuleSet>([&](auto done) { engine->defaultRules(done); });
  }

  SortPlan plan(std::shared_ptr<rozuzed::SecurityScopedAccess> access =
                    std::make_shared<rozuzed::UnscopedAccess>()) {
    return awaitEngine<SortPlan>(
        [&](auto done) { engine->plan(folderURL(), rules(), 1, access, done); });
  }

  ExecutionReport apply(const SortPlan& plan) {
    return awaitEngine<ExecutionReport>([&](auto done) {
      engine->apply(plan, std::make_shared<rozuzed::UnscopedAccess>(), nullptr, done);
    });
  }

  rozuzed::UndoReport undo(const Uuid& id) {
    return awaitEngine<rozuzed::UndoReport>([&](auto done) {
      engine->undo(id, std::make_shared<rozuzed::UnscopedAccess>(), nullptr, done);
    });
  }

  std::vector<rozuzed::BatchSummary> history() {
    return awaitEngine<std::vector<rozuzed::BatchSummary>>(
        [&](auto done) { engine->recentBatches(done); });
  }

  SortPlan planForApplying(const Uuid& id, std::unordered_set<Uuid> keeping) {
    return awaitEngine<SortPlan>(
        [&](auto done) { engine->planForApplying(id, std::move(keeping), done); });
  }
};

template <class Body>
void expectAnotherProcess(const char* label, Body body) {
  SCOPED_TRACE(label);
  try {
    body();
    ADD_FAILURE() << "expected anotherProcessIsRunning";
  } catch (const AppError& error) {
    EXPECT_EQ(error, AppError::anotherProcessIsRunning());
  }
}

TEST_F(SortEngineTest, TheLockSitsBesideTheJournalOrInAPlaceOfItsOwn) {
  EXPECT_EQ(engine->lockURL().path(), lockPath());

  auto memory = std::make_shared<rozuzed::InMemoryJournalStore>();
  EXPECT_EQ(SortEngine(memory, FileURL::fromPath(root / "given.lock")).lockURL().path(),
            root / "given.lock");

  rozuzed::testing::writeFile(root / "not-a-folder", "");
  ScopedEnvironment unusable("XDG_DATA_HOME", root / "not-a-folder/data");
  EXPECT_EQ(SortEngine(memory, std::nullopt).lockURL().path(), root / "runtime/ombrix.lock");
}

// The journal's folder is a file: the journal falls back to memory, and the
// lock to a place of its own.
TEST_F(SortEngineTest, AJournalFolderThatCannotBeUsedStillLetsTheInMemoryJournalSort) {
  std::filesystem::remove_all(root / "data/RozuZed");
  rozuzed::testing::writeFile(root / "data/RozuZed", "");
  engine =
      std::make_shared<SortEngine>(std::make_shared<rozuzed::InMemoryJournalStore>(), std::nullopt);
  addFile("a.jpg");

  auto reconciled =
      awaitEngine<rozuzed::RecoveryOutcome>([&](auto done) { engine->reconcile(done); });
  EXPECT_EQ(reconciled.outcomeCase(), rozuzed::RecoveryOutcome::Case::nothingToRecover);
  const SortPlan saved = plan();
  EXPECT_EQ(apply(saved).completed.size(), 1u);
  EXPECT_TRUE(exists("Images/a.jpg"));
  EXPECT_EQ(undo(saved.id).restored.size(), 1u);
  EXPECT_TRUE(exists("a.jpg"));

  // The lock where it fell back to is as exclusive as beside the journal.
  LockHolder other(root / "runtime/ombrix.lock");
  ASSERT_TRUE(other.locked());
  expectAnotherProcess("plan", [&] { plan(); });
}

// A journal kept in this process's memory holds no other process's runs, so
// a busy lock at launch has nothing to keep from being settled.
TEST_F(SortEngineTest, AnInMemoryJournalHasNothingToReconcileWithoutALock) {
  engine =
      std::make_shared<SortEngine>(std::make_shared<rozuzed::InMemoryJournalStore>(), std::nullopt);
  addFile("a.jpg");
  LockHolder other(lockPath());
  ASSERT_TRUE(other.locked());
  auto reconciled =
      awaitEngine<rozuzed::RecoveryOutcome>([&](auto done) { engine->reconcile(done); });
  EXPECT_EQ(reconciled.outcomeCase(), rozuzed::RecoveryOutcome::Case::nothingToRecover);
  expectAnotherProcess("plan", [&] { plan(); });
}

TEST_F(SortEngineTest, ASortWhoseFolderIsGoneFailsAndJournalsNothing) {
  const std::vector<std::pair<const char*, std::function<void()>>> cases = {
      {"renamed", [&] { std::filesystem::rename(folder(), root / "Renamed"); }},
      {"removed", [&] { std::filesystem::remove_all(folder()); }},
  };
  for (const auto& [label, change] : cases) {
    SCOPED_TRACE(label);
    std::filesystem::remove_all(root / "Renamed");
    addFile("a.jpg");
    const SortPlan saved = plan();
    change();
    try {
      apply(saved);
      ADD_FAILURE() << "expected sourceMissing";
    } catch (const rozuzed::SortError& error) {
      EXPECT_EQ(error.errorDescription(), folder() + " no longer exists");
    }
    EXPECT_TRUE(history().empty());
  }
}

// Staged from the progress callback, which the executor calls between its
// moves on the engine's thread.
TEST_F(SortEngineTest, AJournalRemovedDuringASortFailsTheRun) {
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) addFile(name);
  const SortPlan saved = plan();
  bool removed = false;
  try {
    awaitEngine<ExecutionReport>([&](auto done) {
      engine->apply(
          saved, std::make_shared<rozuzed::UnscopedAccess>(),
          [&](const rozuzed::ExecutionProgress&) {
            if (!removed) removed = std::filesystem::remove(databasePath());
          },
          done);
    });
    ADD_FAILURE() << "the run read as a success";
  } catch (const rozuzed::SortError& error) {
    EXPECT_EQ(error.errorDescription(), "Journal unavailable: " + databasePath() +
                                            " was moved or deleted while it was in use");
  }
  EXPECT_TRUE(removed);
}

TEST_F(SortEngineTest, APlanIsSavedAndReloadedRestrictedToTheKeptMoves) {
  addFile("b.txt");
  addFile("a.jpg");
  addFile("c.nothing-matches");
  const SortPlan saved = plan();
  ASSERT_EQ(saved.moves.size(), 2u);
  ASSERT_EQ(saved.skipped.size(), 1u);

  std::unordered_set<Uuid> all;
  for (const auto& move : saved.moves) all.insert(move.id);
  EXPECT_EQ(planForApplying(saved.id, all), saved);

  SortPlan none = planForApplying(saved.id, {Uuid::random()});
  EXPECT_TRUE(none.moves.empty()) << "ids of no move are ignored";
  EXPECT_EQ(none.skipped, saved.skipped);
  EXPECT_EQ(none.id, saved.id);
  EXPECT_EQ(none.createdAt, saved.createdAt);
  EXPECT_EQ(none.ruleSetHash, saved.ruleSetHash);

  SortPlan one = planForApplying(saved.id, {saved.moves[1].id});
  ASSERT_EQ(one.moves.size(), 1u);
  EXPECT_EQ(one.moves[0], saved.moves[1]);

  const Uuid unknown = Uuid::random();
  try {
    planForApplying(unknown, all);
    FAIL() << "expected planNotFound";
  } catch (const rozuzed::SortError& error) {
    EXPECT_EQ(error, rozuzed::SortError::planNotFound(unknown));
    EXPECT_EQ(error.errorDescription(), "No plan with id " + unknown.text());
  }
}

TEST_F(SortEngineTest, AppliesAndUndoesOnDisk) {
  addFile("a.jpg", "image");
  addFile("notes.txt", "text");
  const SortPlan saved = plan();
  const ExecutionReport report = apply(saved);
  EXPECT_EQ(report.batchID(), saved.id);
  EXPECT_EQ(report.completed.size(), 2u);
  EXPECT_TRUE(exists("Images/a.jpg"));
  EXPECT_TRUE(exists("Documents/notes.txt"));

  auto batches = history();
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_EQ(batches[0].id, saved.id);
  EXPECT_EQ(batches[0].moveCount, 2);

  const rozuzed::UndoReport undone = undo(saved.id);
  EXPECT_EQ(undone.reversedRunID, saved.id);
  EXPECT_EQ(undone.restored.size(), 2u);
  EXPECT_TRUE(exists("a.jpg"));
  EXPECT_TRUE(exists("notes.txt"));
}

// A sort's plan covers a whole folder: it must be gone before the completion
// makes the result's rows, or both sit in memory together. The access each
// operation is given stands for everything its work holds.
TEST_F(SortEngineTest, WhatAnOperationWasGivenIsLetGoBeforeItsCompletionRuns) {
  addFile("a.jpg", "image");
  auto access = std::make_shared<rozuzed::UnscopedAccess>();
  auto heldByOthers = [&access] { return access.use_count() - 1; };

  long duringPlan = -1;
  const SortPlan saved = awaitEngine<SortPlan>([&](auto done) {
    engine->plan(folderURL(), rules(), 1, access, [&, done](Outcome<SortPlan> outcome) {
      duringPlan = heldByOthers();
      done(std::move(outcome));
    });
  });
  long duringApply = -1;
  awaitEngine<ExecutionReport>([&](auto done) {
    engine->apply(saved, access, nullptr, nullptr, [&, done](Outcome<ExecutionReport> outcome) {
      duringApply = heldByOthers();
      done(std::move(outcome));
    });
  });
  long duringUndo = -1;
  awaitEngine<rozuzed::UndoReport>([&](auto done) {
    engine->undo(saved.id, access, nullptr, nullptr,
                 [&, done](Outcome<rozuzed::UndoReport> outcome) {
                   duringUndo = heldByOthers();
                   done(std::move(outcome));
                 });
  });
  EXPECT_EQ(duringPlan, 0);
  EXPECT_EQ(duringApply, 0);
  EXPECT_EQ(duringUndo, 0);
  EXPECT_TRUE(exists("a.jpg"));
}

TEST_F(SortEngineTest, AnInvalidRuleSetFailsBeforeTheLockAndTheFolder) {
  addFile("a.jpg");
  LockHolder other(lockPath());
  ASSERT_TRUE(other.locked());
  auto access = std::make_shared<RecordingAccess>();
  const LoadedRuleSet bad = testing::invalidRules();
  try {
    awaitEngine<SortPlan>([&](auto done) { engine->plan(folderURL(), bad, 1, access, done); });
    FAIL() << "expected ruleSetInvalid";
  } catch (const rozuzed::SortError& error) {
    EXPECT_EQ(error.errorCase(), rozuzed::SortError::Case::ruleSetInvalid);
  }
  EXPECT_TRUE(access->threads.empty()) << "the folder was entered";
}

TEST_F(SortEngineTest, ABusyLockRefusesFileWorkButNotReads) {
  addFile("a.jpg");
  const SortPlan saved = plan();
  const ExecutionReport first = apply(saved);
  addFile("b.jpg");
  const SortPlan second = plan();

  LockHolder other(lockPath());
  ASSERT_TRUE(other.locked());
  auto access = std::make_shared<RecordingAccess>();
  expectAnotherProcess("plan", [&] { plan(access); });
  EXPECT_TRUE(access->threads.empty());
  expectAnotherProcess("apply", [&] { apply(second); });
  expectAnotherProcess("undo", [&] { undo(first.batchID()); });
  expectAnotherProcess("reconcile", [&] {
    awaitEngine<rozuzed::RecoveryOutcome>([&](auto done) { engine->reconcile(done); });
  });
  EXPECT_TRUE(exists("b.jpg")) << "nothing moved";
  EXPECT_TRUE(exists("Images/a.jpg")) << "nothing put back";

  EXPECT_EQ(history().size(), 1u) << "nothing journaled";
  EXPECT_EQ(planForApplying(second.id, {}).id, second.id);
  EXPECT_TRUE(awaitEngine<std::vector<rozuzed::JournalEntry>>([&](auto done) {
                engine->entriesNeedingAttention(done);
              }).empty());
  EXPECT_NO_THROW(rules());
}

TEST_F(SortEngineTest, AnotherProcessCanTakeTheLockAfterEveryOperation) {
  addFile("a.jpg");
  auto refused = std::make_shared<testing::FakeBookmarks>();
  refused->refuseAccess = true;
  auto lost =
      std::make_shared<ScopedAccess>(std::make_shared<GrantedFolder>(folderURL(), "", refused));

  const std::vector<std::pair<const char*, std::function<void()>>> operations = {
      {"reconcile",
       [&] { awaitEngine<rozuzed::RecoveryOutcome>([&](auto done) { engine->reconcile(done); }); }},
      {"refused plan", [&] { EXPECT_THROW(plan(lost), AppError); }},
      {"apply", [&] { apply(plan()); }},
      {"undo", [&] { undo(history().at(0).id); }},
      {"failed undo", [&] { EXPECT_THROW(undo(history().at(0).id), rozuzed::SortError); }},
      {"failed apply of a plan already applied",
       [&] { EXPECT_THROW(apply(planForApplying(history().at(0).id, {})), rozuzed::SortError); }},
  };
  for (const auto& [label, operation] : operations) {
    SCOPED_TRACE(label);
    operation();
    EXPECT_TRUE(LockHolder::canTake(lockPath()));
  }
}

TEST_F(SortEngineTest, AccessRefusedWhilePlanningSavesNothing) {
  addFile("a.jpg");
  auto platform = std::make_shared<testing::FakeBookmarks>();
  platform->refuseAccess = true;
  auto granted = std::make_shared<GrantedFolder>(folderURL(), "", platform);
  try {
    plan(std::make_shared<ScopedAccess>(granted));
    FAIL() << "expected folderAccessLost";
  } catch (const AppError& error) {
    EXPECT_EQ(error, AppError::folderAccessLost(folderURL()));
  }
  EXPECT_TRUE(store->recentPlans(10).empty());
}

TEST_F(SortEngineTest, OperationsRequestedTogetherRunOneAfterAnotherOffTheCallersThread) {
  for (int i = 0; i < 20; ++i) addFile("file" + std::to_string(i) + ".jpg");
  const LoadedRuleSet loaded = rules();
  auto access = std::make_shared<RecordingAccess>();
  std::mutex mutex;
  std::vector<int> finished;
  std::promise<void> bothDone;
  for (int i = 0; i < 2; ++i) {
    engine->plan(folderURL(), loaded, 1, access, [&, i](Outcome<SortPlan> outcome) {
      EXPECT_TRUE(outcome.succeeded());
      std::lock_guard guard(mutex);
      finished.push_back(i);
      if (finished.size() == 2) bothDone.set_value();
    });
  }
  bothDone.get_future().wait();
  EXPECT_EQ(finished, (std::vector<int>{0, 1}));
  EXPECT_FALSE(access->overlapped);
  ASSERT_EQ(access->threads.size(), 2u);
  EXPECT_EQ(access->threads[0], access->threads[1]) << "one worker runs them both";
  EXPECT_NE(access->threads[0], std::this_thread::get_id());
}

TEST_F(SortEngineTest, ApplyFirstSettlesARunKilledWithItsCopyInPlace) {
  // The rule sends PDFs below HOME; on another volume they are copied.
  if (!rozuzed::testing::pathExists("/dev/shm") ||
      rozuzed::testing::sameVolume("/dev/shm", folder())) {
    GTEST_SKIP() << "no /dev/shm on a volume of its own here";
  }
  TemporaryFolder home("/dev/shm");
  ScopedEnvironment elsewhere("HOME", home.path());
  rozuzed::testing::writeFile(root / "rules.json", R"({"version": 1, "rules": [{
      "id": "pdf", "name": "PDF", "enabled": true, "priority": 1,
      "match": {"type": "extension", "values": ["pdf"]},
      "destination": {"root": "home", "path": "Papers"}}]})");
  addFile("a.pdf", "the only a");
  addFile("b.pdf", "the only b");

  auto killed = rozuzed::testing::runProcess(
      {rozuzed::testing::builtProgram("ombrix-driver"), "--rules", root / "rules.json", "apply",
       folder()},
      {{"ROZUZED_FAULT", "afterRenameBeforeTrash"}, {"ROZUZED_FAULT_NTH", "1"}});
  ASSERT_EQ(killed.signal, SIGKILL) << killed.standardError;
  ASSERT_TRUE(exists("a.pdf") && exists("b.pdf"));
  ASSERT_TRUE(rozuzed::testing::pathExists(home / "Papers/a.pdf")) << "the copy is in place";

  // Planned while the killed run still holds a.pdf at both places.
  engine = makeEngine();
  const LoadedRuleSet loaded = rozuzed::RuleSetLoader::load(FileURL::fromPath(root / "rules.json"));
  const SortPlan planned = awaitEngine<SortPlan>([&](auto done) {
    engine->plan(folderURL(), loaded, 1, std::make_shared<rozuzed::UnscopedAccess>(), done);
  });
  ASSERT_EQ(planned.moves.size(), 2u);

  std::optional<rozuzed::RecoveryOutcome> settled;
  const ExecutionReport report = awaitEngine<ExecutionReport>([&](auto done) {
    engine->apply(
        planned, std::make_shared<rozuzed::UnscopedAccess>(), nullptr,
        [&settled](const rozuzed::RecoveryOutcome& outcome) { settled = outcome; }, done);
  });

  ASSERT_TRUE(settled) << "the caller hears what was settled";
  ASSERT_EQ(settled->outcomeCase(), rozuzed::RecoveryOutcome::Case::recovered);
  ASSERT_EQ(settled->reports().size(), 1u);
  const rozuzed::RecoveryReport& killedRun = settled->reports()[0];
  ASSERT_EQ(killedRun.committed.size(), 1u);
  EXPECT_EQ(killedRun.committed[0].sourceURL.path(), folder() + "/a.pdf");
  ASSERT_EQ(report.completed.size(), 1u);
  EXPECT_EQ(report.completed[0].sourceURL.path(), folder() + "/b.pdf");
  ASSERT_EQ(report.skipped.size(), 1u) << "a.pdf had already gone";

  std::set<std::string> papers;
  for (const auto& item : std::filesystem::directory_iterator(home / "Papers")) {
    papers.insert(item.path().filename().string());
  }
  EXPECT_EQ(papers, (std::set<std::string>{"a.pdf", "b.pdf"})) << "no \"a 2.pdf\"";
  EXPECT_FALSE(exists("a.pdf"));
  EXPECT_EQ(rozuzed::testing::readFile(home / "Papers/a.pdf"), "the only a");

  std::multiset<std::string> claimed;
  for (const auto& batch : history()) {
    for (const auto& entry : store->entries(batch.id)) {
      if (entry.state == rozuzed::EntryState::committed) {
        claimed.insert(rozuzed::pathKey(entry.sourceURL));
        claimed.insert(rozuzed::pathKey(entry.destinationURL));
      }
    }
  }
  EXPECT_EQ(claimed.size(), 4u);
  EXPECT_EQ(std::set<std::string>(claimed.begin(), claimed.end()).size(), claimed.size())
      << "two committed entries claim one file";
}

TEST_F(SortEngineTest, ARunStillOpenInALiveProcessRefusesApplyAndUndo) {
  addFile("a.jpg");
  const ExecutionReport first = apply(plan());
  addFile("b.jpg");
  const SortPlan second = plan();
  rozuzed::RunRecord open;
  open.owner = rozuzed::testing::parentProcessIdentity();
  ASSERT_EQ(open.owner.liveness(), rozuzed::ProcessIdentity::Liveness::anotherProcessAlive);
  open.startedAt = rozuzed::currentDate();
  store->beginRun(open, {});

  bool heard = false;
  auto hear = [&heard](const rozuzed::RecoveryOutcome&) { heard = true; };
  auto unscoped = std::make_shared<rozuzed::UnscopedAccess>();
  expectAnotherProcess("apply", [&] {
    awaitEngine<ExecutionReport>(
        [&](auto done) { engine->apply(second, unscoped, nullptr, hear, done); });
  });
  expectAnotherProcess("undo", [&] {
    awaitEngine<rozuzed::UndoReport>(
        [&](auto done) { engine->undo(first.batchID(), unscoped, nullptr, hear, done); });
  });
  EXPECT_FALSE(heard);
  EXPECT_TRUE(exists("b.jpg")) << "nothing moved";
  EXPECT_TRUE(exists("Images/a.jpg")) << "nothing put back";
  EXPECT_EQ(store->runs(rozuzed::RunState::running).size(), 1u);
}

// An apply or undo of this very process that failed on a journal write
// leaves its run open; the next one settles it instead of taking it for the
// work of another copy of the program.
TEST_F(SortEngineTest, ARunThisProcessLeftOpenIsSettledByTheNextApplyOrUndo) {
  using rozuzed::testing::JournalCall;
  auto journal = std::make_shared<rozuzed::testing::RecordingJournalStore>();
  engine = std::make_shared<SortEngine>(journal, std::nullopt);
  auto failFinishing = [](const JournalCall& call) {
    if (call.kind == JournalCall::Kind::finishRun) {
      throw rozuzed::SortError::journalUnavailable("disk I/O error");
    }
  };
  auto unscoped = std::make_shared<rozuzed::UnscopedAccess>();
  std::optional<rozuzed::RecoveryOutcome> settled;
  auto hear = [&settled](const rozuzed::RecoveryOutcome& outcome) { settled = outcome; };
  auto expectSettled = [&](const Uuid& runID, std::size_t committed) {
    ASSERT_TRUE(settled);
    ASSERT_EQ(settled->outcomeCase(), rozuzed::RecoveryOutcome::Case::recovered);
    ASSERT_EQ(settled->reports().size(), 1u);
    EXPECT_EQ(settled->reports()[0].runID, runID);
    EXPECT_EQ(settled->reports()[0].committed.size(), committed);
    EXPECT_EQ(journal->run(runID)->state, rozuzed::RunState::recovered);
    settled.reset();
  };

  addFile("a.jpg");
  addFile("b.txt");
  journal->beforeWrite = failFinishing;
  const SortPlan first = plan();
  EXPECT_THROW(apply(first), rozuzed::SortError);
  ASSERT_EQ(journal->runs(rozuzed::RunState::running).size(), 1u);
  journal->beforeWrite = nullptr;

  const rozuzed::UndoReport undone = awaitEngine<rozuzed::UndoReport>(
      [&](auto done) { engine->undo(first.id, unscoped, nullptr, hear, done); });
  expectSettled(first.id, 2);
  EXPECT_EQ(undone.restored.size(), 2u);
  EXPECT_TRUE(exists("a.jpg") && exists("b.txt"));

  journal->beforeWrite = failFinishing;
  const SortPlan second = plan();
  EXPECT_THROW(apply(second), rozuzed::SortError);
  journal->beforeWrite = nullptr;
  addFile("c.pdf");
  const SortPlan third = plan();
  const ExecutionReport report = awaitEngine<ExecutionReport>(
      [&](auto done) { engine->apply(third, unscoped, nullptr, hear, done); });
  expectSettled(second.id, 2);
  ASSERT_EQ(report.completed.size(), 1u);
  EXPECT_EQ(report.completed[0].sourceURL.path(), folder() + "/c.pdf");
  EXPECT_TRUE(exists("Images/a.jpg") && exists("Documents/b.txt") && exists("Documents/c.pdf"));
  EXPECT_TRUE(journal->runs(rozuzed::RunState::running).empty());
}

TEST_F(SortEngineTest, HistoryHoldsFiftyRunsByDefault) {
  auto memory = std::make_shared<rozuzed::InMemoryJournalStore>();
  for (int i = 0; i < 51; ++i) {
    rozuzed::RunRecord run;
    run.state = rozuzed::RunState::finished;
    run.startedAt = i;
    memory->beginRun(run, {});
  }
  SortEngine inMemory(memory, FileURL::fromPath(root / "memory.lock"));
  auto batches = awaitEngine<std::vector<rozuzed::BatchSummary>>(
      [&](auto done) { inMemory.recentBatches(done); });
  EXPECT_EQ(batches.size(), 50u);
}

}  // namespace
}  // namespace sortappkit

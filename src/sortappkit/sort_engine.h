// The one way from the application to the sorting engine.
#pragma once

#include <concepts>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <stop_token>
#include <unordered_set>
#include <vector>

#include "rozuzed/execution/execution_records.h"
#include "rozuzed/execution/executor.h"
#include "rozuzed/execution/undo_runner.h"
#include "rozuzed/filesystem/file_system.h"
#include "rozuzed/journal/journal_store.h"
#include "rozuzed/journal/sqlite_journal_store.h"
#include "rozuzed/model/batch_summary.h"
#include "rozuzed/model/journal_entry.h"
#include "rozuzed/model/sort_plan.h"
#include "rozuzed/planning/directory_roots.h"
#include "rozuzed/recovery/recovery_runner.h"
#include "rozuzed/rules/rule_set_loader.h"
#include "rozuzed/support/date_provider.h"
#include "rozuzed/support/file_url.h"
#include "rozuzed/support/security_scoped_access.h"
#include "rozuzed/support/uuid.h"
#include "sortappkit/outcome.h"
#include "sortappkit/serial_queue.h"

namespace sortappkit {

// Holds the engine's long-lived collaborators and runs every operation one
// at a time, in the order requested, on a worker thread of its own, never on
// the caller's. Each operation builds its rule engine, planner, executor,
// undo runner or recovery runner anew and keeps nothing afterwards.
//
// Planning holds the cross-process run lock around the scan only (the rules
// are validated before, the plan saved after); apply, undo and
// reconciliation hold it throughout. A busy lock fails the operation at once
// with AppError::anotherProcessIsRunning, before any file is touched or
// anything written; a lock that cannot be used at all fails with the
// journalUnavailable of RunLock. The lock is released before the operation's
// completion runs, however it ended.
//
// Apply and undo first settle, inside the same lock, the runs that processes
// now gone left running, exactly as `reconcile` does, and only then go on:
// a file such a run already moved is never planned or put back a second
// time. A run still open in another live process refuses them with
// AppError::anotherProcessIsRunning, since its files cannot be accounted for
// yet. A run this process left open is no such run: operations here run one
// at a time, so it was cut short when its apply or undo failed, and it is
// settled like a dead process's run.
//
// Completions, progress and settling callbacks run on the worker thread: the
// caller hands them on to its own thread. Engine failures arrive unchanged.
class SortEngine {
 public:
  template <class T>
  using Completion = std::function<void(Outcome<T>)>;
  using ProgressCallback = rozuzed::Executor::ProgressCallback;
  // Hears what the settling before an apply or undo found: `recovered` or
  // `nothingToRecover`. Called once, before any progress, and only when the
  // settling succeeded; the operation may still fail afterwards.
  using SettledCallback = std::function<void(const rozuzed::RecoveryOutcome&)>;
  // Where `defaultRules` reads the rule set that ships with the application.
  using RuleSource = std::function<rozuzed::LoadedRuleSet()>;

  static constexpr int64_t defaultHistoryLimit = 50;

  // `store` is both the journal and the plan store. Without `lockURL` the
  // lock is "run.lock" beside the default journal database, or where
  // RunLock::fallbackURLs says when that cannot be named or cannot hold it,
  // so a journal folder that cannot be used does not stop sorting. Never
  // fails.
  template <class Store>
  requires std::derived_from<Store, rozuzed::JournalStore> &&
      std::derived_from<Store, rozuzed::PlanStore>
      SortEngine(std::shared_ptr<Store> store, std::optional<rozuzed::FileURL> lockURL,
                 std::shared_ptr<rozuzed::FileSystem> fileSystem = liveFileSystem(),
                 std::shared_ptr<const rozuzed::DateProvider> dates = systemDates(),
                 rozuzed::DirectoryRoots roots = rozuzed::DirectoryRoots::current(),
                 RuleSource bundledRules = rozuzed::RuleSetLoader::bundledDefault)
      : SortEngine(store, store, std::move(lockURL), std::move(fileSystem), std::move(dates),
                   std::move(roots), std::move(bundledRules)) {}

  // Operations already requested run to their end first.
  ~SortEngine();
  SortEngine(const SortEngine&) = delete;
  SortEngine& operator=(const SortEngine&) = delete;

  // Opens the journal database at its default location; its failure is
  // thrown unchanged. Runs on the calling thread.
  static std::shared_ptr<rozuzed::SQLiteJournalStore> defaultStore();

  // Where the lock is taken when it can be: the first of the places tried.
  const rozuzed::FileURL& lockURL() const { return lockPlaces_.front(); }

  // Settles the runs a dead process left running. A journal kept in this
  // process's memory holds no other process's runs: while no run of its own
  // is open there is nothing to settle, and the lock is not taken.
  void reconcile(Completion<rozuzed::RecoveryOutcome> done);
  void entriesNeedingAttention(Completion<std::vector<rozuzed::JournalEntry>> done);
  void clearAttention(std::vector<rozuzed::Uuid> entryIDs, Completion<void> done);
  // Validates `rules`, scans `folder` inside `access`, saves the plan and
  // gives it. Nothing is saved when any step fails.
  void plan(rozuzed::FileURL folder, rozuzed::LoadedRuleSet rules, int64_t depth,
            std::shared_ptr<rozuzed::SecurityScopedAccess> access,
            Completion<rozuzed::SortPlan> done);
  // A plan with the text it was saved as, when the store held it whole;
  // otherwise the text is empty.
  struct CodedPlan {
    rozuzed::SortPlan plan;
    std::string text;
  };
  // As plan, giving the saved text beside the plan.
  void codedPlan(rozuzed::FileURL folder, rozuzed::LoadedRuleSet rules, int64_t depth,
                 std::shared_ptr<rozuzed::SecurityScopedAccess> access, Completion<CodedPlan> done);
  // The rule set that ships with the application, read anew.
  void defaultRules(Completion<rozuzed::LoadedRuleSet> done);
  // The saved plan with only the moves in `keeping`, in their saved order;
  // ids of no move are ignored. Fails with planNotFound.
  void planForApplying(rozuzed::Uuid id, std::unordered_set<rozuzed::Uuid> keeping,
                       Completion<rozuzed::SortPlan> done);
  // Settles interrupted runs, then carries out `plan`. Without `settled`,
  // what the settling found reaches only the journal. Fails with
  // sourceMissing, moving nothing, when the plan's folder is gone. A stop requested
  // through `stop` ends the run before its next file, journaled as finished
  // with what it moved; requested before the run began, nothing is begun
  // and the report is empty.
  void apply(rozuzed::SortPlan plan, std::shared_ptr<rozuzed::SecurityScopedAccess> access,
             ProgressCallback progress, SettledCallback settled,
             Completion<rozuzed::ExecutionReport> done, std::stop_token stop = {});
  void apply(rozuzed::SortPlan plan, std::shared_ptr<rozuzed::SecurityScopedAccess> access,
             ProgressCallback progress, Completion<rozuzed::ExecutionReport> done) {
    apply(std::move(plan), std::move(access), std::move(progress), nullptr, std::move(done));
  }
  // Settles interrupted runs, then puts back the files of the apply run
  // `batchID`; `stop` as for apply.
  void undo(rozuzed::Uuid batchID, std::shared_ptr<rozuzed::SecurityScopedAccess> access,
            ProgressCallback progress, SettledCallback settled,
            Completion<rozuzed::UndoReport> done, std::stop_token stop = {});
  void undo(rozuzed::Uuid batchID, std::shared_ptr<rozuzed::SecurityScopedAccess> access,
            ProgressCallback progress, Completion<rozuzed::UndoReport> done) {
    undo(batchID, std::move(access), std::move(progress), nullptr, std::move(done));
  }
  void recentBatches(int64_t limit, Completion<std::vector<rozuzed::BatchSummary>> done);
  void recentBatches(Completion<std::vector<rozuzed::BatchSummary>> done) {
    recentBatches(defaultHistoryLimit, std::move(done));
  }
  void entries(rozuzed::Uuid runID, Completion<std::vector<rozuzed::JournalEntry>> done);

  static std::shared_ptr<rozuzed::FileSystem> liveFileSystem();
  static std::shared_ptr<const rozuzed::DateProvider> systemDates();

 private:
  SortEngine(std::shared_ptr<rozuzed::JournalStore> journal,
             std::shared_ptr<rozuzed::PlanStore> plans, std::optional<rozuzed::FileURL> lockURL,
             std::shared_ptr<rozuzed::FileSystem> fileSystem,
             std::shared_ptr<const rozuzed::DateProvider> dates, rozuzed::DirectoryRoots roots,
             RuleSource bundledRules);

  template <class T, class Work>
  void enqueue(Completion<T> done, Work work);

  template <class Body>
  auto withLock(Body&& body) -> decltype(body(std::declval<const rozuzed::RunLock&>()));

  CodedPlan planAndSave(const rozuzed::FileURL& folder, const rozuzed::LoadedRuleSet& rules,
                        int64_t depth, rozuzed::SecurityScopedAccess& access);

  rozuzed::RecoveryOutcome reconcileHolding(const rozuzed::RunLock& lock) const;
  // Before file work, under `lock`: settles what dead processes left and
  // tells `settled`; refuses when a live process still has a run open.
  void settleInterrupted(const rozuzed::RunLock& lock, const SettledCallback& settled) const;

  const std::shared_ptr<rozuzed::FileSystem> fileSystem_;
  const std::shared_ptr<rozuzed::JournalStore> journal_;
  const std::shared_ptr<rozuzed::PlanStore> plans_;
  const std::shared_ptr<const rozuzed::DateProvider> dates_;
  const rozuzed::DirectoryRoots roots_;
  const std::vector<rozuzed::FileURL> lockPlaces_;
  const bool journalInMemory_;
  const RuleSource bundledRules_;
  // Last, so it is destroyed first: its remaining tasks still see the rest.
  SerialQueue queue_;
};

// Waits on the calling thread for one operation started by `start`, which is
// given the completion, and returns its value or throws its failure. For
// command-line tools and tests; never for the application's main thread.
template <class T, class Start>
T awaitEngine(Start&& start) {
  auto promise = std::make_shared<std::promise<Outcome<T>>>();
  auto future = promise->get_future();
  start([promise](Outcome<T> outcome) { promise->set_value(std::move(outcome)); });
  Outcome<T> outcome = future.get();
  if constexpr (std::is_void_v<T>) {
    outcome.value();
  } else {
    return std::move(outcome.value());
  }
}

}  // namespace sortappkit

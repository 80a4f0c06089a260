#include "sortappkit/sort_engine.h"

#include <thread>

#include "rozuzed/filesystem/live_file_system.h"
#include "rozuzed/journal/in_memory_journal_store.h"
#include "rozuzed/journal/run_lock.h"
#include "rozuzed/model/sort_error.h"
#include "rozuzed/planning/planner.h"
#include "rozuzed/planning/safety_gate.h"
#include "rozuzed/rules/rule_engine.h"
#include "sortappkit/app_error.h"

namespace sortappkit {

using rozuzed::FileURL;
using rozuzed::RunLock;
using rozuzed::SortPlan;
using rozuzed::Uuid;

namespace {

std::vector<FileURL> settleLockPlaces(std::optional<FileURL> given) {
  if (given) return {*given};
  std::vector<FileURL> places;
  try {
    places.push_back(RunLock::defaultURL());
  } catch (...) {
    // Without a place for the journal there is still a place for the lock.
  }
  for (FileURL& fallback : RunLock::fallbackURLs()) places.push_back(std::move(fallback));
  return places;
}

}  // namespace

SortEngine::SortEngine(std::shared_ptr<rozuzed::JournalStore> journal,
                       std::shared_ptr<rozuzed::PlanStore> plans, std::optional<FileURL> lockURL,
                       std::shared_ptr<rozuzed::FileSystem> fileSystem,
                       std::shared_ptr<const rozuzed::DateProvider> dates,
                       rozuzed::DirectoryRoots roots, RuleSource bundledRules)
    : fileSystem_(std::move(fileSystem)),
      journal_(std::move(journal)),
      plans_(std::move(plans)),
      dates_(std::move(dates)),
      roots_(std::move(roots)),
      lockPlaces_(settleLockPlaces(std::move(lockURL))),
      journalInMemory_(dynamic_cast<rozuzed::InMemoryJournalStore*>(journal_.get()) != nullptr),
      bundledRules_(std::move(bundledRules)) {}

SortEngine::~SortEngine() = default;

std::shared_ptr<rozuzed::SQLiteJournalStore> SortEngine::defaultStore() {
  return std::make_shared<rozuzed::SQLiteJournalStore>(rozuzed::SQLiteJournalStore::defaultURL());
}

std::shared_ptr<rozuzed::FileSystem> SortEngine::liveFileSystem() {
  return std::make_shared<rozuzed::LiveFileSystem>();
}

std::shared_ptr<const rozuzed::DateProvider> SortEngine::systemDates() {
  return std::make_shared<rozuzed::SystemDateProvider>();
}

template <class T, class Work>
void SortEngine::enqueue(Completion<T> done, Work work) {
  queue_.async([done = std::move(done), work = std::move(work)]() mutable {
    std::optional<Outcome<T>> outcome;
    {
      // What the work was given goes with it, before the completion turns
      // the result into rows: a sort's plan covers a whole folder.
      Work running = std::move(work);
      try {
        if constexpr (std::is_void_v<T>) {
          running();
          outcome = Outcome<T>::success();
        } else {
          outcome = Outcome<T>::success(running());
        }
      } catch (...) {
        outcome = Outcome<T>::failure(std::current_exception());
      }
    }
    // The work's locks and runners are gone by now.
    if (done) done(std::move(*outcome));
  });
}

template <class Body>
auto SortEngine::withLock(Body&& body) -> decltype(body(std::declval<const RunLock&>())) {
  std::unique_ptr<RunLock> lock = RunLock::acquire(lockPlaces_);
  if (!lock) throw AppError::anotherProcessIsRunning();
  // The lock is released when `lock` goes, on every way out of the body.
  return body(*lock);
}

rozuzed::RecoveryOutcome SortEngine::reconcileHolding(const RunLock& lock) const {
  // Called only from the worker, holding the lock: no run of this process
  // can be at work meanwhile.
  return rozuzed::RecoveryRunner(*fileSystem_, *journal_, *dates_)
      .reconcile(lock, rozuzed::RecoveryRunner::OwnRuns::wereCutShort);
}

void SortEngine::settleInterrupted(const RunLock& lock, const SettledCallback& settled) const {
  const rozuzed::RecoveryOutcome outcome = reconcileHolding(lock);
  // A run open in a live process may have moved files it has not recorded
  // yet: going on could move one a second time, under a new name.
  if (outcome.blocksNewWork()) throw AppError::anotherProcessIsRunning();
  if (settled) settled(outcome);
}

void SortEngine::reconcile(Completion<rozuzed::RecoveryOutcome> done) {
  enqueue<rozuzed::RecoveryOutcome>(std::move(done), [this] {
    if (journalInMemory_ && journal_->runs(rozuzed::RunState::running).empty()) {
      return rozuzed::RecoveryOutcome::nothingToRecover();
    }
    return withLock([this](const RunLock& lock) { return reconcileHolding(lock); });
  });
}

void SortEngine::entriesNeedingAttention(Completion<std::vector<rozuzed::JournalEntry>> done) {
  enqueue<std::vector<rozuzed::JournalEntry>>(
      std::move(done), [this] { return journal_->entriesNeedingAttention(); });
}

void SortEngine::clearAttention(std::vector<Uuid> entryIDs, Completion<void> done) {
  enqueue<void>(std::move(done),
                [this, ids = std::move(entryIDs)] { journal_->clearAttention(ids); });
}

void SortEngine::plan(FileURL folder, rozuzed::LoadedRuleSet rules, int64_t depth,
                      std::shared_ptr<rozuzed::SecurityScopedAccess> access,
                      Completion<SortPlan> done) {
  enqueue<SortPlan>(std::move(done), [this, folder = std::move(folder), rules = std::move(rules),
                                      depth, access = std::move(access)] {
    return planAndSave(folder, rules, depth, *access).plan;
  });
}

void SortEngine::codedPlan(FileURL folder, rozuzed::LoadedRuleSet rules, int64_t depth,
                           std::shared_ptr<rozuzed::SecurityScopedAccess> access,
                           Completion<CodedPlan> done) {
  enqueue<CodedPlan>(std::move(done), [this, folder = std::move(folder), rules = std::move(rules),
                                       depth, access = std::move(access)] {
    return planAndSave(folder, rules, depth, *access);
  });
}

SortEngine::CodedPlan SortEngine::planAndSave(const FileURL& folder,
                                              const rozuzed::LoadedRuleSet& rules, int64_t depth,
                                              rozuzed::SecurityScopedAccess& access) {
  const rozuzed::RuleEngine ruleEngine(rules, dates_);
  rozuzed::Planner::Configuration configuration;
  configuration.maxDepth = depth;
  configuration.safety = rozuzed::SafetyPolicy();
  configuration.roots = roots_;
  const rozuzed::Planner planner(*fileSystem_, ruleEngine, *dates_, configuration);

  // The last saved plan left a log as large as itself; it is moved into
  // the journal's file while the folder is scanned, so the save finds
  // nothing to copy.
  std::jthread copying([this] { plans_->checkpoint(); });
  std::optional<SortPlan> plan;
  withLock(
      [&](const RunLock&) { access.withAccess(folder, [&] { plan = planner.plan(folder); }); });
  copying.join();
  std::string text = plans_->save(plan.value());
  return {std::move(*plan), std::move(text)};
}

void SortEngine::defaultRules(Completion<rozuzed::LoadedRuleSet> done) {
  enqueue<rozuzed::LoadedRuleSet>(std::move(done), [this] { return bundledRules_(); });
}

void SortEngine::planForApplying(Uuid id, std::unordered_set<Uuid> keeping,
                                 Completion<SortPlan> done) {
  enqueue<SortPlan>(std::move(done), [this, id, keeping = std::move(keeping)] {
    std::optional<SortPlan> saved = plans_->plan(id);
    if (!saved) throw rozuzed::SortError::planNotFound(id);
    std::erase_if(saved->moves, [&keeping](const rozuzed::PlannedMove& move) {
      return keeping.count(move.id) == 0;
    });
    // Read back into a list grown by doubling: up to half of it would stay
    // empty beside the whole sort.
    saved->moves.shrink_to_fit();
    return std::move(*saved);
  });
}

void SortEngine::apply(SortPlan plan, std::shared_ptr<rozuzed::SecurityScopedAccess> access,
                       ProgressCallback progress, SettledCallback settled,
                       Completion<rozuzed::ExecutionReport> done, std::stop_token stop) {
  enqueue<rozuzed::ExecutionReport>(
      std::move(done), [this, plan = std::move(plan), access = std::move(access),
                        progress = std::move(progress), settled = std::move(settled), stop] {
        // Stopped before it began, the run is not begun: the journal would
        // otherwise list a run that moved nothing.
        if (stop.stop_requested()) {
          return rozuzed::ExecutionReport{
              .runID = plan.id, .completed = {}, .skipped = {}, .failures = {}};
        }
        return withLock([&](const RunLock& lock) {
          settleInterrupted(lock, settled);
          // A folder renamed or removed since its review would leave every
          // move "no longer exists" in a run that reads as a success.
          if (!fileSystem_->fileExists(plan.sourceDirectory)) {
            throw rozuzed::SortError::sourceMissing(plan.sourceDirectory);
          }
          rozuzed::Executor executor(*fileSystem_, *journal_, *access, *dates_);
          return executor.apply(plan, rozuzed::Executor::Options(), progress, stop);
        });
      });
}

void SortEngine::undo(Uuid batchID, std::shared_ptr<rozuzed::SecurityScopedAccess> access,
                      ProgressCallback progress, SettledCallback settled,
                      Completion<rozuzed::UndoReport> done, std::stop_token stop) {
  enqueue<rozuzed::UndoReport>(
      std::move(done), [this, batchID, access = std::move(access), progress = std::move(progress),
                        settled = std::move(settled), stop] {
        return withLock([&](const RunLock& lock) {
          settleInterrupted(lock, settled);
          rozuzed::UndoRunner runner(*fileSystem_, *journal_, *access, *dates_);
          return runner.undo(batchID, rozuzed::Executor::Options(), progress, stop);
        });
      });
}

void SortEngine::recentBatches(int64_t limit, Completion<std::vector<rozuzed::BatchSummary>> done) {
  enqueue<std::vector<rozuzed::BatchSummary>>(
      std::move(done), [this, limit] { return journal_->recentBatches(limit); });
}

void SortEngine::entries(Uuid runID, Completion<std::vector<rozuzed::JournalEntry>> done) {
  enqueue<std::vector<rozuzed::JournalEntry>>(std::move(done),
                                              [this, runID] { return journal_->entries(runID); });
}

}  // namespace sortappkit

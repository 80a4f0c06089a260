// A journal store for tests: an InMemoryJournalStore that logs every write
// and can fail one on demand.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "rozuzed/journal/in_memory_journal_store.h"

namespace rozuzed::testing {

// One write call with its arguments, as the engine passed them.
struct JournalCall {
  enum class Kind {
    beginRun,
    commit,
    finishRun,
    amendIntent,
    applyRecovery,
    markUndone,
    clearUndone,
  };

  Kind kind;
  // beginRun and applyRecovery: the run (applyRecovery: only its id is set).
  std::optional<RunRecord> run;
  // commit: the completed entries; finishRun and applyRecovery: the entries
  // written; amendIntent: the one entry.
  std::vector<JournalEntry> completed;
  // beginRun and commit: the intents.
  std::vector<JournalEntry> intents;
  std::optional<RunState> state;
  std::optional<Date> at;
  // markUndone and clearUndone: the ids.
  std::vector<Uuid> ids;
  // beginRun and commit: the folders recorded as made by the run.
  std::vector<FileURL> folders;
};

// Forwards everything to the in-memory store. `beforeWrite` runs with each
// write call after it is logged and before it reaches the store: throwing
// there fails the call with nothing written. Not thread-safe.
class RecordingJournalStore final : public JournalStore, public PlanStore {
 public:
  InMemoryJournalStore& store() { return store_; }
  const std::vector<JournalCall>& calls() const { return calls_; }
  std::vector<JournalCall> calls(JournalCall::Kind kind) const;
  void clearCalls() { calls_.clear(); }

  std::function<void(const JournalCall&)> beforeWrite;

  void beginRun(const RunRecord& run, const std::vector<JournalEntry>& intents,
                const std::vector<FileURL>& createdFolders = {}) override;
  void commit(const std::vector<JournalEntry>& completed,
              const std::vector<JournalEntry>& thenWriteIntents,
              const CreatedFolders& createdFolders = {}) override;
  void finishRun(const Uuid& runID, RunState state, Date at,
                 const std::vector<JournalEntry>& completed) override;
  void amendIntent(const JournalEntry& entry) override;
  void applyRecovery(const Uuid& runID, const std::vector<JournalEntry>& entries, Date at) override;
  void markUndone(const std::vector<Uuid>& entryIDs, Date at) override;
  void clearUndone(const std::vector<Uuid>& entryIDs) override;
  std::optional<RunRecord> run(const Uuid& id) override { return store_.run(id); }
  std::vector<RunRecord> runs(RunState state) override { return store_.runs(state); }
  std::vector<JournalEntry> entries(const Uuid& runID) override { return store_.entries(runID); }
  std::vector<FileURL> createdFolders(const Uuid& runID) override {
    return store_.createdFolders(runID);
  }
  std::vector<BatchSummary> recentBatches(int64_t limit) override {
    return store_.recentBatches(limit);
  }
  std::vector<JournalEntry> entriesNeedingAttention() override {
    return store_.entriesNeedingAttention();
  }
  void clearAttention(const std::vector<Uuid>& entryIDs) override {
    store_.clearAttention(entryIDs);
  }

  std::string save(const SortPlan& plan) override { return store_.save(plan); }
  std::optional<SortPlan> plan(const Uuid& id) override { return store_.plan(id); }
  std::vector<SortPlan> recentPlans(int64_t limit) override { return store_.recentPlans(limit); }

 private:
  void log(JournalCall call);

  InMemoryJournalStore store_;
  std::vector<JournalCall> calls_;
};

}  // namespace rozuzed::testing

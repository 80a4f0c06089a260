// Both store interfaces held in memory for the life of the process: the
// fallback when the journal database cannot be opened.
#pragma once

#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "rozuzed/journal/journal_store.h"

namespace rozuzed {

// Records are held whole, as values: times, URLs, snapshots and plans come
// back exactly as written, with no coding step in between. One mutex guards
// every operation; none ever fails.
class InMemoryJournalStore final : public JournalStore, public PlanStore {
 public:
  InMemoryJournalStore() = default;

  // The one process-wide instance, made the first time it is asked for.
  static const std::shared_ptr<InMemoryJournalStore>& shared();

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
  std::optional<RunRecord> run(const Uuid& id) override;
  std::vector<RunRecord> runs(RunState state) override;
  std::vector<JournalEntry> entries(const Uuid& runID) override;
  std::vector<FileURL> createdFolders(const Uuid& runID) override;
  // A run without a source folder takes the one of the saved plan its
  // planID names, when there is one.
  std::vector<BatchSummary> recentBatches(int64_t limit) override;
  std::vector<JournalEntry> entriesNeedingAttention() override;
  void clearAttention(const std::vector<Uuid>& entryIDs) override;

  // Also prunes saved plans, as PlanStore::save says. Keeps plans uncoded,
  // so it gives no text.
  std::string save(const SortPlan& plan) override;
  std::optional<SortPlan> plan(const Uuid& id) override;
  std::vector<SortPlan> recentPlans(int64_t limit) override;

 private:
  void put(const JournalEntry& entry) { entries_.insert_or_assign(entry.id, entry); }
  void recordFolders(const Uuid& runID, const std::vector<FileURL>& folders);

  std::mutex lock_;
  std::unordered_map<Uuid, RunRecord> runs_;
  std::unordered_map<Uuid, JournalEntry> entries_;
  std::unordered_map<Uuid, SortPlan> plans_;
  // By run, in the order recorded.
  std::unordered_map<Uuid, std::vector<FileURL>> createdFolders_;
};

}  // namespace rozuzed

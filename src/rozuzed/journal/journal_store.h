// The two interfaces through which the engine reaches its durable record:
// the journal of runs and their moves, and the plans saved after a scan.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "rozuzed/model/batch_summary.h"
#include "rozuzed/model/journal_entry.h"
#include "rozuzed/model/run_record.h"
#include "rozuzed/model/sort_plan.h"
#include "rozuzed/support/dates.h"
#include "rozuzed/support/file_url.h"
#include "rozuzed/support/uuid.h"

namespace rozuzed {

// Folders that a run made itself for its moves, so that its undo can take
// them away again once they are empty.
struct CreatedFolders {
  Uuid runID;
  std::vector<FileURL> folders;
};

// Runs and their journal entries. Every write replaces whole records by id
// (or adds them) and is all or nothing; the only single-field changes are a
// run's state and finish time, an entry's undo time and attention reason.
// A run's created folders are only ever added to.
// Nothing is ever deleted, and no reference between records is enforced:
// updates by an id that is not stored pass it over. Results are copies.
// Every operation may be called from any thread; implementations serialize
// them. Failures are SortError values.
class JournalStore {
 public:
  virtual ~JournalStore() = default;

  // Stores the run and the intents together, with the folders the run made
  // for them; the intents may be empty.
  virtual void beginRun(const RunRecord& run, const std::vector<JournalEntry>& intents,
                        const std::vector<FileURL>& createdFolders = {}) = 0;
  // Writes `completed`, then `thenWriteIntents`, and records the created
  // folders. All three empty do nothing and cannot fail.
  virtual void commit(const std::vector<JournalEntry>& completed,
                      const std::vector<JournalEntry>& thenWriteIntents,
                      const CreatedFolders& createdFolders = {}) = 0;
  // Writes `completed`, then sets the run's state and finish time (an
  // earlier finish time is replaced).
  virtual void finishRun(const Uuid& runID, RunState state, Date at,
                         const std::vector<JournalEntry>& completed) = 0;
  // Replaces (or adds) one entry.
  virtual void amendIntent(const JournalEntry& entry) = 0;
  // Writes `entries`, then marks the run recovered; its finish time becomes
  // `at` only when it has none.
  virtual void applyRecovery(const Uuid& runID, const std::vector<JournalEntry>& entries,
                             Date at) = 0;
  // Sets the undo time of every listed entry. An empty list does nothing and
  // cannot fail.
  virtual void markUndone(const std::vector<Uuid>& entryIDs, Date at) = 0;
  // Removes the undo time of every listed entry: the undo that set it was
  // itself undone, so the entry's file is where the entry left it again.
  // An empty list does nothing and cannot fail.
  virtual void clearUndone(const std::vector<Uuid>& entryIDs) = 0;

  virtual std::optional<RunRecord> run(const Uuid& id) = 0;
  // As `run`, without the applied plan: a whole folder's snapshot is more
  // than a caller that needs only the run's own fields should have to read.
  virtual std::optional<RunRecord> runWithoutSnapshot(const Uuid& id) {
    std::optional<RunRecord> found = run(id);
    if (found) found->appliedPlan.reset();
    return found;
  }
  // Oldest start first.
  virtual std::vector<RunRecord> runs(RunState state) = 0;
  // The entries whose runID is `runID`, lowest planSequence first.
  virtual std::vector<JournalEntry> entries(const Uuid& runID) = 0;
  // The folders recorded as made by the run, each once, in the order they
  // were recorded (a parent before the folders made inside it).
  virtual std::vector<FileURL> createdFolders(const Uuid& runID) = 0;
  // One summary per apply run (undo runs are never listed), newest start
  // first, at most `limit`.
  virtual std::vector<BatchSummary> recentBatches(int64_t limit) = 0;
  // Every needsAttention entry of every run, newest intent first.
  virtual std::vector<JournalEntry> entriesNeedingAttention() = 0;
  // Removes the attention reason of every listed entry; the state stays
  // needsAttention. An empty list does nothing and cannot fail.
  virtual void clearAttention(const std::vector<Uuid>& entryIDs) = 0;
};

// Plans saved after a scan, so that the reviewed plan can be applied later.
// Same rules of replacement, copying and threading as JournalStore, except
// that saving prunes the plans nobody can still need.
class PlanStore {
 public:
  // How many saved plans that no run names survive a save.
  static constexpr int64_t kUnreferencedPlansKept = 5;

  virtual ~PlanStore() = default;

  // Keeps the plan under its id, replacing one with the same id. Then
  // removes every other plan that no run names as its planID, except the
  // kUnreferencedPlansKept newest (by createdAt) of those, so rescanning
  // all day does not fill the disk. The plan just saved and every plan a
  // run names are always kept. Gives the text the plan was stored as, byte
  // for byte what PlanCoding::encode gives, when the store codes plans and
  // held the text whole; otherwise an empty text, and whoever wants the text
  // codes the plan itself.
  virtual std::string save(const SortPlan& plan) = 0;
  virtual std::optional<SortPlan> plan(const Uuid& id) = 0;
  // Newest createdAt first, at most `limit`.
  virtual std::vector<SortPlan> recentPlans(int64_t limit) = 0;

  // Moves what earlier saves left in the store's log into its main file.
  // Every save is durable without it; it only keeps the log short. A save
  // first moves whatever is left, so the work is best done earlier, while
  // nobody waits on it (a scan runs). Never fails: what cannot be moved now
  // is moved later.
  virtual void checkpoint() {}
};

}  // namespace rozuzed

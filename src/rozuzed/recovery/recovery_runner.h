// Settles, at launch, the runs that a process left running when it died.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "rozuzed/filesystem/file_identity.h"
#include "rozuzed/filesystem/file_system.h"
#include "rozuzed/journal/journal_store.h"
#include "rozuzed/journal/run_lock.h"
#include "rozuzed/model/journal_entry.h"
#include "rozuzed/model/run_record.h"
#include "rozuzed/recovery/recovery_decision.h"
#include "rozuzed/support/date_provider.h"
#include "rozuzed/support/file_url.h"
#include "rozuzed/support/uuid.h"

namespace rozuzed {

// The reconciliation of one interrupted run. Each list follows the run's
// entries (lowest planSequence first); an entry is in at most one list, and
// entries abandoned before the interruption are in none. No equality.
struct RecoveryReport {
  Uuid runID;
  RunKind runKind = RunKind::apply;
  // The run's start: the journal holds no time of the interruption itself.
  Date interruptedAt = 0;
  // Settled as committed now, or committed before the interruption.
  std::vector<JournalEntry> committed;
  // Settled as abandoned now.
  std::vector<JournalEntry> abandoned;
  // Settled as needing attention now, or found so.
  std::vector<JournalEntry> needsAttention;
  // The files the run was to move that are still where they were, the ones
  // no batch reached included: for an apply run with its snapshot, every
  // planned move neither committed nor needing attention whose source is
  // still there; for an undo run, every entry it reverses that is still in
  // force, neither put back nor needing attention, whose file is still at
  // the destination; otherwise the entries abandoned now.
  int64_t untouchedCount = 0;

  bool canUndo() const { return !committed.empty(); }
  bool isClean() const { return needsAttention.empty(); }
};

// What one reconciliation came to. No equality.
class RecoveryOutcome {
 public:
  enum class Case { anotherProcessIsRunning, recovered, nothingToRecover };

  // A running run has a live owner; nothing was reconciled.
  static RecoveryOutcome anotherProcessIsRunning(RunRecord run);
  // At least one interrupted run was settled; oldest run first.
  static RecoveryOutcome recovered(std::vector<RecoveryReport> reports);
  static RecoveryOutcome nothingToRecover() { return RecoveryOutcome(Case::nothingToRecover); }

  Case outcomeCase() const { return case_; }
  // Present for anotherProcessIsRunning.
  const std::optional<RunRecord>& run() const { return run_; }
  // Empty unless recovered.
  const std::vector<RecoveryReport>& reports() const { return reports_; }

  // True only for anotherProcessIsRunning.
  bool blocksNewWork() const { return case_ == Case::anotherProcessIsRunning; }

 private:
  explicit RecoveryOutcome(Case c) : case_(c) {}

  Case case_;
  std::optional<RunRecord> run_;
  std::vector<RecoveryReport> reports_;
};

// Looks at each pending entry's source, staging and destination paths,
// asks the decision table what happened, performs the clean-up it asks for
// (leftovers go to the Trash; nothing is deleted), and writes the settled
// entries with the run marked recovered in one journal write per run (for
// an undo run, after the entries it put back are marked undone). A
// file that cannot be accounted for is marked for the user's attention and
// left exactly where it is. A failed clean-up never stops the
// reconciliation: its entry needs attention instead.
//
// Built anew for each reconciliation; keeps nothing between calls. The
// collaborators must outlive it. Synchronous; takes no lock of its own.
class RecoveryRunner {
 public:
  // What a run that this very process left running means.
  enum class OwnRuns {
    // It may still be at work, as a run of another live process may.
    mayBeAtWork,
    // None is at work: the caller runs one operation at a time and holds
    // the run lock, so such a run was cut short (its apply or undo threw)
    // and is settled like the run of a process that is gone.
    wereCutShort,
  };

  RecoveryRunner(FileSystem& fileSystem, JournalStore& journal);
  RecoveryRunner(FileSystem& fileSystem, JournalStore& journal, const DateProvider& dates);

  // To be called while holding the run lock; `holding` is only the proof of
  // that and is not used. When any running run is live, nothing at all is
  // reconciled. Throws what the journal throws: runs settled before the
  // failing one stay settled, and the failing one stays running for the
  // next call, which comes to the same states.
  RecoveryOutcome reconcile(const RunLock& holding, OwnRuns ownRuns = OwnRuns::mayBeAtWork);

  // What lies at the entry's source, staging and destination paths.
  ObservedState observe(const JournalEntry& entry);

 private:
  // The result of one clean-up: absent on success, else the failure text.
  using ActionOutcome = std::optional<std::string>;

  RecoveryReport reconcile(const RunRecord& run);
  int64_t countUntouched(const RunRecord& run, const RecoveryReport& report);
  // The identities of what observe judged at the source and staging paths,
  // each taken before its bytes were read; absent where nothing was.
  struct Seen {
    std::optional<FileIdentity> source;
    std::optional<FileIdentity> temp;
    std::optional<FileIdentity> destination;
  };

  // As observe, filling in `seen`.
  ObservedState observe(const JournalEntry& entry, Seen* seen);
  // `seen`, when given, receives the identity of what was judged, taken
  // before its bytes were read.
  PathState classify(const std::optional<FileURL>& url, const JournalEntry& entry,
                     std::optional<FileIdentity>* seen = nullptr);
  // What lies at the Trash path an undo entry took its file out of, judged
  // against `origin`, the entry of the undone run that put the file there.
  PathState trashSourceState(const JournalEntry& entry, const JournalEntry& origin);
  // `seen`: the identities as observed; the source goes to the Trash, and
  // a staging file away, only while each is still that file.
  // `originalKept` is set, with the reason, when the original could not go
  // and the copy went instead: the entry is then abandoned.
  ActionOutcome carryOut(RecoveryAction action, const ObservedState& observed,
                         const JournalEntry& entry, const Seen& seen,
                         std::optional<std::string>* originalKept);
  // Finishes a move whose copy is in place by sending its original to the
  // Trash. When no Trash takes the original and it is still the file judged,
  // the copy at the destination, as judged, is removed instead and
  // `originalKept` set.
  ActionOutcome trashOriginal(const JournalEntry& entry, const Seen& seen,
                              std::optional<std::string>* originalKept);
  // The staging file of `entry`, as `observed`, goes: removed when the
  // original is in place as it was, since the staging file is then only a
  // copy of it that this engine made (a kill may have cut it short);
  // otherwise to the Trash, since it may be the one whole copy left.
  ActionOutcome clearStaging(const ObservedState& observed, const JournalEntry& entry,
                             const Seen& seen);
  // `expected`, when given: the item goes only while it is still that file.
  // `refused`, when given, tells whether a failure was the Trash's refusal.
  ActionOutcome trash(const std::optional<FileURL>& url, const std::string& what,
                      const std::optional<FileIdentity>& expected = std::nullopt,
                      bool* refused = nullptr);
  // After an undo entry that took its file back out of the Trash is settled
  // as committed: the Trash's record of the file goes, and the copy the
  // undone run left at its destination, when it is still that copy, goes to
  // the Trash as the undo would have sent it.
  ActionOutcome finishTrashReturn(const JournalEntry& entry,
                                  const std::unordered_map<Uuid, JournalEntry>& reversed);

  FileSystem* fileSystem_;
  JournalStore* journal_;
  const DateProvider* dates_;
};

}  // namespace rozuzed

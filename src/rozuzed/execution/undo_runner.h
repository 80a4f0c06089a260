// Puts back the files of one past run, under a journaled undo run of its
// own, and reports what came back, what was left alone and why.
#pragma once

#include <cstddef>
#include <optional>
#include <stop_token>
#include <unordered_map>
#include <variant>
#include <vector>

#include "rozuzed/execution/destination_folders.h"
#include "rozuzed/execution/execution_records.h"
#include "rozuzed/execution/executor.h"
#include "rozuzed/filesystem/file_identity.h"
#include "rozuzed/filesystem/file_system.h"
#include "rozuzed/journal/journal_store.h"
#include "rozuzed/model/file_metadata.h"
#include "rozuzed/model/journal_entry.h"
#include "rozuzed/model/run_record.h"
#include "rozuzed/model/sort_error.h"
#include "rozuzed/support/date_provider.h"
#include "rozuzed/support/file_url.h"
#include "rozuzed/support/security_scoped_access.h"
#include "rozuzed/support/uuid.h"

namespace rozuzed {

// Why one entry of the undone run was not put back. An immutable value of
// six cases in a fixed order; equality and hashing by case and payload
// (fingerprints exactly, errors by SortError's own equality).
class UndoSkipReason {
 public:
  enum class Case {
    fileMissingAtRecordedLocation,
    fingerprintMismatch,
    originalPathNowOccupied,
    alreadyUndone,
    notCommitted,
    restoreFailed,
  };

  // Nothing readable at `destination`, where the run left the file.
  static UndoSkipReason fileMissingAtRecordedLocation(FileURL destination);
  // The file there is not the one the run left there.
  static UndoSkipReason fingerprintMismatch(FileFingerprint expected, FileFingerprint found);
  // Something now lies where the file would go back to.
  static UndoSkipReason originalPathNowOccupied(FileURL source);
  static UndoSkipReason alreadyUndone() { return UndoSkipReason(Case::alreadyUndone); }
  static UndoSkipReason notCommitted() { return UndoSkipReason(Case::notCommitted); }
  static UndoSkipReason restoreFailed(SortError error);

  Case reasonCase() const { return case_; }
  // The payloads; each is meaningful only for the cases that carry it:
  // `url()` for fileMissingAtRecordedLocation and originalPathNowOccupied,
  // `expected()`/`found()` for fingerprintMismatch, `error()` (present) for
  // restoreFailed.
  const FileURL& url() const { return url_; }
  const FileFingerprint& expected() const { return expected_; }
  const FileFingerprint& found() const { return found_; }
  const std::optional<SortError>& error() const { return error_; }

  bool operator==(const UndoSkipReason&) const = default;
  std::size_t hash() const;

 private:
  explicit UndoSkipReason(Case c) : case_(c) {}

  Case case_;
  FileURL url_;
  FileFingerprint expected_;
  FileFingerprint found_;
  std::optional<SortError> error_;
};

// One entry that was not put back, as it was read before the undo began.
struct UndoSkip {
  JournalEntry entry;
  UndoSkipReason reason;
};

// The result of one undo. No equality.
struct UndoReport {
  // The undo run made for this undo.
  Uuid runID;
  // The run that was undone.
  Uuid reversedRunID;
  // Entries of the undone run whose files are back, as read before the undo
  // (no undo time yet), in the order they were restored.
  std::vector<JournalEntry> restored;
  // In the order the reasons arose.
  std::vector<UndoSkip> skipped;
  // Files left at the undone run's destinations after their trashed sources
  // came back from the Trash, because the Trash refused them.
  std::vector<FileURL> leftovers;

  const Uuid& batchID() const { return reversedRunID; }
  // Nothing skipped and nothing left over; `restored` is not looked at.
  bool isCompleteSuccess() const { return skipped.empty() && leftovers.empty(); }
};

// When `entry`, of an undo run, took its file back out of the Trash: the
// entry it reversed, found in `reversed` (the entries of the run the undo
// run reversed, by id). That entry had moved the file across volumes and
// left its copy at its destination, on another volume. Null otherwise.
const JournalEntry* trashReturnOrigin(const JournalEntry& entry,
                                      const std::unordered_map<Uuid, JournalEntry>& reversed);

// The entries of the runs below an undone run: when the run is itself an
// undo, the run it reversed, and so on down to the apply run at the bottom.
// An entry whose undo is undone is in force again, so undoing an entry
// flips, all the way down its line, whether each entry below it is undone.
class ReversalChain {
 public:
  // What the journal is to record once files are back.
  struct Marks {
    std::vector<Uuid> undone;
    std::vector<Uuid> inForceAgain;
  };

  ReversalChain() = default;
  // `run`: the run being undone, as read (absent when the journal has none).
  // Reads the entries of every run below it.
  ReversalChain(JournalStore& journal, const std::optional<RunRecord>& run);

  // The entries below the undone run, by id.
  const std::unordered_map<Uuid, JournalEntry>& below() const { return below_; }

  // Adds to `marks` what follows from the file of `restored`, an entry of
  // the undone run, being back where it was before that entry: it is
  // undone, the entry it reversed is in force again, the one that one
  // reversed is undone again, and so on.
  void restored(const JournalEntry& restored, Marks& marks) const;

  // Writes `marks` (nothing for empty lists) and empties them.
  static void record(JournalStore& journal, Marks& marks, Date at);

 private:
  std::unordered_map<Uuid, JournalEntry> below_;
};

// Once a run is undone: removes, the inner ones first, the folders the run
// made that are empty now, so the folder is as it was before the run. A
// folder that holds anything, or that the run did not make, stays. Never
// throws: what cannot be read or removed stays as it is.
void removeEmptyFoldersMadeBy(const Uuid& runID, JournalStore& journal, FileSystem& fileSystem);

// Reverses one run, the move made last first. The undo is itself a journal
// run of kind undo: every file about to go back is first durable as a
// pending intent, and a batch's files are touched only after that. A file
// goes back by one of three ways: a move back along its own volume, a
// return of the trashed original from the Trash (the copy the run made then
// goes to the Trash, and only when its bytes still hash to what was moved),
// or a verified copy back across volumes (made durable before the run's
// copy goes to the Trash). The run's copy goes to the Trash only while it is
// still the very file that was read; one edited meanwhile stays, and what
// came back goes to the Trash instead. Nothing is ever deleted.
//
// Built anew for each undo; keeps nothing between calls. The collaborators
// must outlive it. The caller holds the run lock, so one undo, apply or
// reconciliation runs at a time.
class UndoRunner {
 public:
  using ProgressCallback = Executor::ProgressCallback;

  UndoRunner(FileSystem& fileSystem, JournalStore& journal);
  UndoRunner(FileSystem& fileSystem, JournalStore& journal, SecurityScopedAccess& access);
  UndoRunner(FileSystem& fileSystem, JournalStore& journal, SecurityScopedAccess& access,
             const DateProvider& dates);

  // Undoes the run `batchID`. Of `options` only `batchSize` is read (below 1
  // counts as 1). `progress` is called before each restore and once at the
  // end, on this thread. `cancellation` is polled before each batch and each
  // restore; a cancelled undo is still finished (and writes nothing when
  // cancelled before its first batch).
  //
  // Throws batchNotFound when the journal has no entry of `batchID`, and
  // batchAlreadyUndone when none of them can be undone, both before writing
  // anything. A SortError while restoring one file becomes a skip and an
  // abandoned undo entry; a journal failure, or a failure of another kind
  // (from the access object), ends the undo with that failure, leaving the
  // undo run running for recovery to settle.
  UndoReport undo(const Uuid& batchID, const Executor::Options& options = Executor::Options(),
                  const ProgressCallback& progress = nullptr, std::stop_token cancellation = {});

 private:
  std::optional<UndoSkipReason> verify(const JournalEntry& entry);
  bool trashLooksRight(const FileURL& url, const JournalEntry& entry);
  // Whether the file of `entry`, moved across volumes, comes back out of
  // the Trash: its trashed original is still there as it was.
  bool comesBackFromTheTrash(const JournalEntry& entry);
  // Before a return from the Trash: the copy at the run's destination must
  // still hold the bytes that were moved, or it was edited and stays.
  // Gives the copy's identity as it was hashed, or the reason to skip.
  std::variant<FileIdentity, UndoSkipReason> copyLeftBehind(const JournalEntry& entry);
  JournalEntry makeUndoIntent(const JournalEntry& reversing, const Uuid& runID, bool fromTrash);
  // Gives the file left at the run's destination when it could not go to
  // the Trash after a return from the Trash. `copy`: for a return from the
  // Trash, the identity of the copy left behind as copyLeftBehind read it.
  std::optional<FileURL> restore(const JournalEntry& entry, const JournalEntry& intent,
                                 const std::optional<FileIdentity>& copy);

  // Where the file of `entry` goes back to.
  FileURL wayBackTarget(const JournalEntry& entry) const;

  FileSystem* fileSystem_;
  JournalStore* journal_;
  SecurityScopedAccess* access_;
  const DateProvider* dates_;
  // The runs below the one being undone. Filled at the start of each undo.
  ReversalChain chain_;
  // The folders files go back to in the undo under way.
  DestinationFolders folders_;
};

}  // namespace rozuzed

template <>
struct std::hash<rozuzed::UndoSkipReason> {
  std::size_t operator()(const rozuzed::UndoSkipReason& reason) const noexcept {
    return reason.hash();
  }
};

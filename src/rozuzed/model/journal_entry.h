// The journal's record of one file move of one run: the unit of the
// write-ahead journal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "rozuzed/model/file_metadata.h"
#include "rozuzed/model/sort_plan.h"
#include "rozuzed/support/dates.h"
#include "rozuzed/support/file_url.h"
#include "rozuzed/support/uuid.h"

namespace rozuzed {

// How far an entry got. `committed`, `abandoned` and `needsAttention` are
// final. Stored as its case name.
enum class EntryState { pending, committed, abandoned, needsAttention };

std::string toText(EntryState state);
// Exact, case-sensitive; absent for any other text.
std::optional<EntryState> entryStateFromText(const std::string& text);

// Who committed an entry: the runner that made the intent, or recovery.
enum class CompletionSource { run, recovery };

std::string toText(CompletionSource source);
// Exact, case-sensitive; absent for any other text.
std::optional<CompletionSource> completionSourceFromText(const std::string& text);

// Which file lies at a path, as a rename keeps it and another file put in
// its place, however alike, does not: its device and inode.
struct FileInode {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FileInode&) const = default;
};

// A plain value. Every writer keeps these rules: `committedAt` and
// `completedBy` are present exactly on committed entries; `fingerprintAfter`,
// `inodeAfter`, `trashedSourceURL` and `undoneAt` only on committed ones; `tempURL` only
// for crossVolumeCopyVerifyTrash; `reversesEntryID` exactly on entries of
// undo runs; `attentionReason` never on pending or committed ones.
// Equality is member-wise and exact: times and fingerprints without any
// tolerance, an absent value equal only to an absent one.
struct JournalEntry {
  // A new random id for every entry built without one.
  Uuid id = Uuid::random();
  Uuid runID;
  // The planned move's position in the full plan; undo entries carry the
  // one of the entry they reverse.
  int64_t planSequence = 0;
  EntryState state = EntryState::pending;
  MoveStrategy strategy = MoveStrategy::sameVolumeMove;
  FileURL sourceURL;
  // The full new path, final name included.
  FileURL destinationURL;
  // The staging file of a cross-volume move, beside the destination.
  std::optional<FileURL> tempURL;
  // Where the Trash put the source of a finished cross-volume move.
  std::optional<FileURL> trashedSourceURL;
  FileFingerprint fingerprintBefore;
  std::optional<ContentHash> sourceHash;
  std::optional<FileFingerprint> fingerprintAfter;
  // The file at the destination just after the move, taken with
  // `fingerprintAfter`; absent on entries journaled before it was kept.
  std::optional<FileInode> inodeAfter;
  std::string matchedRuleID;
  std::optional<Uuid> reversesEntryID;
  std::optional<Date> undoneAt;
  Date intentAt = 0;
  std::optional<Date> committedAt;
  std::optional<CompletionSource> completedBy;
  std::optional<std::string> attentionReason;

  // Committed and not yet undone.
  bool isUndoable() const { return state == EntryState::committed && !undoneAt; }

  bool operator==(const JournalEntry&) const = default;
  std::size_t hash() const;
};

}  // namespace rozuzed

template <>
struct std::hash<rozuzed::JournalEntry> {
  std::size_t operator()(const rozuzed::JournalEntry& entry) const noexcept { return entry.hash(); }
};

#include "rozuzed/execution/undo_runner.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <unordered_set>
#include <utility>

#include "rozuzed/execution/cross_volume_move.h"
#include "rozuzed/execution/fault_injection.h"
#include "rozuzed/journal/process_identity.h"
#include "rozuzed/model/run_record.h"
#include "rozuzed/support/hashing.h"

namespace rozuzed {
namespace {

SecurityScopedAccess& unscopedAccess() {
  static UnscopedAccess access;
  return access;
}

const DateProvider& systemDates() {
  static const SystemDateProvider dates;
  return dates;
}

struct Intent {
  JournalEntry entry;
  // The entry it reverses, where it lies among those to undo.
  std::size_t reversed;
  // For a return from the Trash: the copy left behind, as it was hashed.
  std::optional<FileIdentity> copy;
};

}  // namespace

const JournalEntry* trashReturnOrigin(const JournalEntry& entry,
                                      const std::unordered_map<Uuid, JournalEntry>& reversed) {
  if (!entry.reversesEntryID || entry.strategy != MoveStrategy::sameVolumeMove) return nullptr;
  auto it = reversed.find(*entry.reversesEntryID);
  if (it == reversed.end()) return nullptr;
  const JournalEntry& origin = it->second;
  if (origin.strategy != MoveStrategy::crossVolumeCopyVerifyTrash) return nullptr;
  // A move back comes from the origin's destination; a return from the
  // Trash comes from anywhere else.
  return entry.sourceURL == origin.destinationURL ? nullptr : &origin;
}

ReversalChain::ReversalChain(JournalStore& journal, const std::optional<RunRecord>& run) {
  std::optional<RunRecord> level = run;
  std::unordered_set<Uuid> seen;
  while (level && level->kind == RunKind::undo && level->reversesRunID &&
         seen.insert(level->id).second) {
    const Uuid next = *level->reversesRunID;
    for (JournalEntry& entry : journal.entries(next)) {
      Uuid id = entry.id;
      below_.emplace(id, std::move(entry));
    }
    level = journal.runWithoutSnapshot(next);
  }
}

void ReversalChain::restored(const JournalEntry& restored, Marks& marks) const {
  marks.undone.push_back(restored.id);
  bool undone = false;
  std::optional<Uuid> next = restored.reversesEntryID;
  // Each step goes one run further down; a line can be no longer than the
  // entries there are, whatever the journal holds.
  for (std::size_t steps = 0; next && steps <= below_.size(); ++steps) {
    (undone ? marks.undone : marks.inForceAgain).push_back(*next);
    auto found = below_.find(*next);
    if (found == below_.end()) break;
    next = found->second.reversesEntryID;
    undone = !undone;
  }
}

void ReversalChain::record(JournalStore& journal, Marks& marks, Date at) {
  journal.markUndone(marks.undone, at);
  if (!marks.inForceAgain.empty()) journal.clearUndone(marks.inForceAgain);
  marks = Marks();
}

void removeEmptyFoldersMadeBy(const Uuid& runID, JournalStore& journal, FileSystem& fileSystem) {
  std::vector<FileURL> made;
  try {
    made = journal.createdFolders(runID);
  } catch (const SortError&) {
    // The files are back and journaled; empty folders are all that stay.
    return;
  }
  // A folder made inside another is recorded after it, so the inner one
  // goes first and leaves the outer one empty.
  for (auto folder = made.rbegin(); folder != made.rend(); ++folder) {
    try {
      fileSystem.removeEmptyFolder(*folder);
    } catch (const SortError&) {
      // It holds something, or is gone already: either way it stays as it is.
    }
  }
}

UndoSkipReason UndoSkipReason::fileMissingAtRecordedLocation(FileURL destination) {
  UndoSkipReason reason(Case::fileMissingAtRecordedLocation);
  reason.url_ = std::move(destination);
  return reason;
}

UndoSkipReason UndoSkipReason::fingerprintMismatch(FileFingerprint expected,
                                                   FileFingerprint found) {
  UndoSkipReason reason(Case::fingerprintMismatch);
  reason.expected_ = expected;
  reason.found_ = found;
  return reason;
}

UndoSkipReason UndoSkipReason::originalPathNowOccupied(FileURL source) {
  UndoSkipReason reason(Case::originalPathNowOccupied);
  reason.url_ = std::move(source);
  return reason;
}

UndoSkipReason UndoSkipReason::restoreFailed(SortError error) {
  UndoSkipReason reason(Case::restoreFailed);
  reason.error_ = std::move(error);
  return reason;
}

std::size_t UndoSkipReason::hash() const {
  std::size_t seed = static_cast<std::size_t>(case_);
  switch (case_) {
    case Case::fileMissingAtRecordedLocation:
    case Case::originalPathNowOccupied:
      hashCombine(seed, std::hash<FileURL>{}(url_));
      break;
    case Case::fingerprintMismatch:
      hashCombine(seed, std::hash<FileFingerprint>{}(expected_));
      hashCombine(seed, std::hash<FileFingerprint>{}(found_));
      break;
    case Case::restoreFailed:
      hashCombine(seed, error_->hash());
      break;
    case Case::alreadyUndone:
    case Case::notCommitted:
      break;
  }
  return seed;
}

UndoRunner::UndoRunner(FileSystem& fileSystem, JournalStore& journal)
    : UndoRunner(fileSystem, journal, unscopedAccess(), systemDates()) {}

UndoRunner::UndoRunner(FileSystem& fileSystem, JournalStore& journal, SecurityScopedAccess& access)
    : UndoRunner(fileSystem, journal, access, systemDates()) {}

UndoRunner::UndoRunner(FileSystem& fileSystem, JournalStore& journal, SecurityScopedAccess& access,
                       const DateProvider& dates)
    : fileSystem_(&fileSystem),
      journal_(&journal),
      access_(&access),
      dates_(&dates),
      folders_(fileSystem) {}

UndoReport UndoRunner::undo(const Uuid& batchID, const Executor::Options& options,
                            const ProgressCallback& progress, std::stop_token cancellation) {
  // Filtered where it lies: a second list of a whole folder's entries
  // would double what an undo holds.
  std::vector<JournalEntry> undoable = journal_->entries(batchID);
  if (undoable.empty()) throw SortError::batchNotFound(batchID);
  std::erase_if(undoable, [](const JournalEntry& entry) { return !entry.isUndoable(); });
  if (undoable.empty()) throw SortError::batchAlreadyUndone(batchID);

  // The applied plan's snapshot plays no part in putting files back.
  std::optional<RunRecord> reversedRun = journal_->runWithoutSnapshot(batchID);
  chain_ = ReversalChain(*journal_, reversedRun);
  folders_ = DestinationFolders(*fileSystem_);

  RunRecord run{.id = Uuid::random(),
                .kind = RunKind::undo,
                .state = RunState::running,
                .planID = std::nullopt,
                .reversesRunID = batchID,
                .sourceDirectory = reversedRun ? reversedRun->sourceDirectory : std::nullopt,
                .startedAt = dates_->now(),
                .finishedAt = std::nullopt,
                .owner = ProcessIdentity::current(),
                .appliedPlan = std::nullopt};

  UndoReport report{.runID = run.id, .reversedRunID = batchID};
  // Which of `undoable` came back: they stay where they lie until the end,
  // and become the report's list there, so a whole folder's entries are
  // never held twice.
  std::vector<bool> back(undoable.size(), false);
  std::vector<JournalEntry> outcomes;
  // For the entries whose files are back, not yet recorded.
  ReversalChain::Marks marks;
  bool begun = false;
  int64_t counter = 0;

  // The move made last is undone first.
  std::stable_sort(undoable.begin(), undoable.end(),
                   [](const auto& a, const auto& b) { return a.planSequence > b.planSequence; });
  const auto total = static_cast<int64_t>(undoable.size());
  const auto size = static_cast<std::size_t>(std::max<int64_t>(1, options.batchSize));

  // The reversed entries' undo times are written before the outcomes that
  // report their restores: should the process die between the two writes,
  // the undo run is still running and recovery settles its intents, whereas
  // the other order could leave restored files listed as undoable forever.
  auto store = [&](const std::vector<JournalEntry>& intents) {
    if (begun) {
      ReversalChain::record(*journal_, marks, dates_->now());
      journal_->commit(outcomes, intents);
    } else {
      journal_->beginRun(run, intents);
      begun = true;
    }
    outcomes.clear();
  };

  for (std::size_t start = 0; start < undoable.size(); start += size) {
    if (cancellation.stop_requested()) break;
    const std::size_t end = std::min(undoable.size(), start + size);

    std::vector<Intent> intents;
    for (std::size_t i = start; i < end; ++i) {
      JournalEntry& entry = undoable[i];
      if (auto reason = verify(entry)) {
        report.skipped.push_back(UndoSkip{std::move(entry), std::move(*reason)});
        continue;
      }
      const bool fromTrash = comesBackFromTheTrash(entry);
      std::optional<FileIdentity> copy;
      if (fromTrash) {
        auto checked = copyLeftBehind(entry);
        if (auto* reason = std::get_if<UndoSkipReason>(&checked)) {
          report.skipped.push_back(UndoSkip{std::move(entry), std::move(*reason)});
          continue;
        }
        copy = std::get<FileIdentity>(checked);
      }
      intents.push_back(Intent{makeUndoIntent(entry, run.id, fromTrash), i, copy});
    }
    std::vector<JournalEntry> intentEntries;
    for (const auto& intent : intents) intentEntries.push_back(intent.entry);

    FaultInjector::reach(FaultPoint::beforeUndoIntent);
    store(intentEntries);
    FaultInjector::reach(FaultPoint::afterUndoIntentBeforeOperation);

    for (const auto& intent : intents) {
      if (cancellation.stop_requested()) break;
      JournalEntry& entry = undoable[intent.reversed];
      if (progress) progress(ExecutionProgress{counter, total, entry.destinationURL});
      ++counter;

      std::optional<FileURL> leftover;
      try {
        access_->withAccess(intent.entry.sourceURL,
                            [&] { leftover = restore(entry, intent.entry, intent.copy); });
      } catch (const SortError& error) {
        JournalEntry failed = intent.entry;
        failed.state = EntryState::abandoned;
        failed.attentionReason = error.errorDescription();
        outcomes.push_back(std::move(failed));
        report.skipped.push_back(UndoSkip{std::move(entry), UndoSkipReason::restoreFailed(error)});
        continue;
      }
      if (leftover) report.leftovers.push_back(*leftover);
      FaultInjector::reach(FaultPoint::afterUndoOperationBeforeCommit);
      JournalEntry done = intent.entry;
      done.state = EntryState::committed;
      done.committedAt = dates_->now();
      done.completedBy = CompletionSource::run;
      // So that an undo of this undo takes back only the file put back now.
      done.inodeAfter = inodeAt(*fileSystem_, done.destinationURL);
      outcomes.push_back(std::move(done));
      chain_.restored(entry, marks);
      back[intent.reversed] = true;
    }
  }
  std::size_t kept = 0;
  for (std::size_t i = 0; i < undoable.size(); ++i) {
    if (!back[i]) continue;
    if (kept != i) undoable[kept] = std::move(undoable[i]);
    ++kept;
  }
  undoable.erase(undoable.begin() + static_cast<std::ptrdiff_t>(kept), undoable.end());
  report.restored = std::move(undoable);

  FaultInjector::reach(FaultPoint::beforeFinishRun);
  if (begun) {
    ReversalChain::record(*journal_, marks, dates_->now());
    journal_->finishRun(run.id, RunState::finished, dates_->now(), outcomes);
  }
  removeEmptyFoldersMadeBy(batchID, *journal_, *fileSystem_);
  if (progress) progress(ExecutionProgress{total, total, std::nullopt});
  return report;
}

std::optional<UndoSkipReason> UndoRunner::verify(const JournalEntry& entry) {
  if (entry.state != EntryState::committed) return UndoSkipReason::notCommitted();
  if (entry.undoneAt) return UndoSkipReason::alreadyUndone();
  std::optional<FileMetadata> metadata;
  try {
    metadata = fileSystem_->facts(entry.destinationURL);
  } catch (const SortError&) {
    return UndoSkipReason::fileMissingAtRecordedLocation(entry.destinationURL);
  }
  if (entry.fingerprintAfter && !entry.fingerprintAfter->matches(metadata->fingerprint())) {
    return UndoSkipReason::fingerprintMismatch(*entry.fingerprintAfter, metadata->fingerprint());
  }
  // A rename keeps the file's inode, so another file put in its place has
  // one of its own, however alike in size and time. (A copy across volumes
  // is judged by its bytes instead: an undo of this run's undo may have
  // copied it there anew.)
  if (entry.strategy == MoveStrategy::sameVolumeMove && entry.inodeAfter) {
    std::optional<FileInode> now = inodeAt(*fileSystem_, entry.destinationURL);
    if (!now) return UndoSkipReason::fileMissingAtRecordedLocation(entry.destinationURL);
    if (*now != *entry.inodeAfter) {
      return UndoSkipReason::fingerprintMismatch(
          entry.fingerprintAfter.value_or(metadata->fingerprint()), metadata->fingerprint());
    }
  }
  FileURL target = wayBackTarget(entry);
  if (fileSystem_->fileExists(target)) return UndoSkipReason::originalPathNowOccupied(target);
  return std::nullopt;
}

bool UndoRunner::trashLooksRight(const FileURL& url, const JournalEntry& entry) {
  try {
    if (!fileSystem_->facts(url).fingerprint().matches(entry.fingerprintBefore)) return false;
    // The Trash gives a name out again once its item has gone, so another
    // file of the same name, size and time can lie where this one lay; only
    // its bytes tell the two apart.
    return !entry.sourceHash || fileSystem_->contentHash(url) == *entry.sourceHash;
  } catch (const SortError&) {
    return false;
  }
}

bool UndoRunner::comesBackFromTheTrash(const JournalEntry& entry) {
  return entry.strategy == MoveStrategy::crossVolumeCopyVerifyTrash && entry.trashedSourceURL &&
         trashLooksRight(*entry.trashedSourceURL, entry);
}

std::variant<FileIdentity, UndoSkipReason> UndoRunner::copyLeftBehind(const JournalEntry& entry) {
  try {
    // Taken before the bytes are read, so that a write during or after the
    // hashing keeps the copy out of the Trash later on.
    FileIdentity identity = fileSystem_->identity(entry.destinationURL);
    // Size and time can be kept through an edit; only the bytes tell.
    if (entry.sourceHash && fileSystem_->contentHash(entry.destinationURL) != *entry.sourceHash) {
      FileFingerprint expected = entry.fingerprintAfter.value_or(entry.fingerprintBefore);
      return UndoSkipReason::fingerprintMismatch(
          expected, fileSystem_->facts(entry.destinationURL).fingerprint());
    }
    return identity;
  } catch (const SortError&) {
    return UndoSkipReason::fileMissingAtRecordedLocation(entry.destinationURL);
  }
}

JournalEntry UndoRunner::makeUndoIntent(const JournalEntry& reversing, const Uuid& runID,
                                        bool fromTrash) {
  const JournalEntry& e = reversing;
  const JournalEntry* origin = trashReturnOrigin(e, chain_.below());
  MoveStrategy strategy = fromTrash ? MoveStrategy::sameVolumeMove : e.strategy;
  // Undoing a return from the Trash sends the file back to where it lay
  // before it, on another volume, rather than into the Trash's folder.
  if (origin) strategy = MoveStrategy::crossVolumeCopyVerifyTrash;
  const bool crosses = strategy == MoveStrategy::crossVolumeCopyVerifyTrash;
  const FileURL target = wayBackTarget(e);

  std::optional<ContentHash> sourceHash;
  if (crosses) sourceHash = origin ? origin->sourceHash : e.sourceHash;
  return JournalEntry{
      .id = Uuid::timeOrdered(),
      .runID = runID,
      .planSequence = e.planSequence,
      .state = EntryState::pending,
      .strategy = strategy,
      .sourceURL = fromTrash ? *e.trashedSourceURL : e.destinationURL,
      .destinationURL = target,
      .tempURL =
          crosses ? std::optional(newStagingURL(target.deletingLastPathComponent())) : std::nullopt,
      .trashedSourceURL = std::nullopt,
      .fingerprintBefore =
          fromTrash ? e.fingerprintBefore : e.fingerprintAfter.value_or(e.fingerprintBefore),
      .sourceHash = sourceHash,
      .fingerprintAfter = std::nullopt,
      .matchedRuleID = e.matchedRuleID,
      .reversesEntryID = e.id,
      .undoneAt = std::nullopt,
      .intentAt = dates_->now(),
      .committedAt = std::nullopt,
      .completedBy = std::nullopt,
      .attentionReason = std::nullopt};
}

std::optional<FileURL> UndoRunner::restore(const JournalEntry& entry, const JournalEntry& intent,
                                           const std::optional<FileIdentity>& copy) {
  const FileURL folder = intent.destinationURL.deletingLastPathComponent();
  const std::shared_ptr<FileSystem::HeldFolder> held = folders_.held(folder);
  CrossVolumeMove transfer(*fileSystem_, held);

  if (intent.strategy == MoveStrategy::crossVolumeCopyVerifyTrash) {
    if (!intent.tempURL) {
      throw SortError::journalUnavailable("undo intent is missing its staging path");
    }
    const FileURL& staging = *intent.tempURL;
    // Hashed now, from the file about to be copied: the verification is of
    // the copy, and the file was already checked against its fingerprint.
    ContentHash expected = fileSystem_->contentHash(intent.sourceURL);
    FileIdentity copied = transfer.copyToStaging(intent.sourceURL, staging);
    transfer.verifyStaging(intent.sourceURL, staging, std::nullopt, expected);
    transfer.placeStaging(intent.sourceURL, staging, intent.destinationURL);
    transfer.makeFoldersDurable(intent.sourceURL, intent.destinationURL, folders_);
    // Leaves one copy outside the Trash, as the apply transfer does: when
    // the file at the run's destination was edited since it was copied, or
    // the Trash refuses it, it stays there and the restored copy goes.
    transfer.trashSource(intent.sourceURL, copied, intent.destinationURL);
    return std::nullopt;
  }

  // Into the folder as it was checked, never where its path may lead now.
  fileSystem_->moveInto(intent.sourceURL, *held, intent.destinationURL.lastPathComponent());
  if (intent.sourceURL == entry.destinationURL) return std::nullopt;

  // Back from the Trash, so its record there goes too. The copy the run
  // made at its destination goes to the Trash in turn, but only once the
  // return is durable, so that a power cut can never leave the file in the
  // Trash alone, and only while it is the copy whose bytes were checked.
  fileSystem_->forgetTrashedItem(intent.sourceURL, intent.destinationURL);
  if (!copy) return entry.destinationURL;
  try {
    fileSystem_->synchronize(folder);
    folders_.makeDurable(folder);
  } catch (const SortError&) {
    return entry.destinationURL;
  }
  try {
    fileSystem_->trashItemIfUnchanged(entry.destinationURL, *copy);
  } catch (const SortError& error) {
    switch (error.errorCase()) {
      case SortError::Case::sourceChangedDuringMove:
        // Edited while its original came back: the edit stays where it is
        // and the original returns to the Trash, as before the undo.
        transfer.trashQuietly(intent.destinationURL);
        throw;
      case SortError::Case::moveFailed:
        // The edited copy is held in the Trash; the original stays back.
        throw;
      default:
        return entry.destinationURL;
    }
  }
  return std::nullopt;
}

FileURL UndoRunner::wayBackTarget(const JournalEntry& entry) const {
  const JournalEntry* origin = trashReturnOrigin(entry, chain_.below());
  return origin ? origin->destinationURL : entry.sourceURL;
}

}  // namespace rozuzed

// Carries out a reviewed plan on the disk under the write-ahead journal.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stop_token>
#include <vector>

#include "rozuzed/execution/cross_volume_move.h"
#include "rozuzed/execution/destination_folders.h"
#include "rozuzed/execution/execution_records.h"
#include "rozuzed/filesystem/file_system.h"
#include "rozuzed/journal/journal_store.h"
#include "rozuzed/model/journal_entry.h"
#include "rozuzed/model/sort_plan.h"
#include "rozuzed/planning/collision_resolver.h"
#include "rozuzed/planning/safety_gate.h"
#include "rozuzed/support/date_provider.h"
#include "rozuzed/support/security_scoped_access.h"

namespace rozuzed {

// Applies one plan in batches. Every intent is durable in the journal before
// its file is touched; each batch's outcomes are written together with the
// next batch's intents, the last ones with the end of the run. A file that
// fails becomes a failure in the report and an abandoned entry, and the
// others go on (by default). A run cut short by a crash or by an error that
// ends `apply` stays running in the journal for recovery to settle.
//
// Built anew for each apply; keeps nothing between calls. The collaborators
// must outlive it. Only one apply or undo may run at a time in the process
// (the caller holds the run lock), since the cross-volume transfer hands the
// source's Trash location back through one process-wide value.
class Executor {
 public:
  // The settings of an apply; the undo runner reads only `batchSize`.
  struct Options {
    // Re-read every source just before its intent and skip it when it
    // vanished, changed since planning or fails the safety gate now.
    bool revalidateSources = true;
    // false: stop after the first failure (at once for a failed operation,
    // after the batch's operations for a failed intent).
    bool continueOnError = true;
    // Further attempts under a new name when the destination name was taken
    // meanwhile; a negative value counts as 0.
    int64_t collisionRetries = 5;
    SafetyPolicy safety;
    // The most same-volume moves journaled together; below 1 counts as 1.
    int64_t batchSize = 32;

    bool operator==(const Options&) const = default;
    std::size_t hash() const;
  };

  using ProgressCallback = std::function<void(const ExecutionProgress&)>;

  Executor(FileSystem& fileSystem, JournalStore& journal);
  Executor(FileSystem& fileSystem, JournalStore& journal, SecurityScopedAccess& access);
  Executor(FileSystem& fileSystem, JournalStore& journal, SecurityScopedAccess& access,
           const DateProvider& dates);

  // Carries out `plan` as a run whose id is the plan's id, with the default
  // options unless others are given. Reports progress
  // before each operation and once at the end, synchronously on this
  // thread. `cancellation` is polled before each batch and each operation;
  // a cancelled run is still finished. Throws journalUnavailable, before
  // anything is written, when the journal already holds a run with the
  // plan's id: a run header is never replaced. Throws what the journal
  // throws, and any error of a file step that is not a SortError; the run
  // then stays as the journal last stored it.
  ExecutionReport apply(const SortPlan& plan);
  ExecutionReport apply(const SortPlan& plan, const Options& options,
                        const ProgressCallback& progress = nullptr,
                        std::stop_token cancellation = {});

  // The plan's moves in batches, in plan order: same-volume moves up to
  // `size` together, each cross-volume move (as planned) on its own. The
  // batches are views of `moves`, which must outlive them.
  static std::vector<std::span<const PlannedMove>> batches(const std::vector<PlannedMove>& moves,
                                                           int64_t size);

 private:
  // What revalidation found of a source: the reason to leave it, or its
  // facts for the intent, so that they are read once.
  struct Revalidation {
    std::optional<SkipReason> skip;
    std::optional<FileMetadata> facts;
  };

  // Without a gate nothing is checked and nothing read.
  Revalidation revalidate(const PlannedMove& move, const std::optional<SafetyGate>& gate);
  // `source`: the source's facts as revalidation read them, when it did.
  JournalEntry makeIntent(const PlannedMove& move, const Uuid& runID, CollisionResolver& resolver,
                          std::optional<FileMetadata> source);
  MoveStrategy currentStrategy(const PlannedMove& move, const FileMetadata& source);
  JournalEntry perform(JournalEntry& current, const PlannedMove& move, CollisionResolver& resolver,
                       const Options& options);
  JournalEntry run(const JournalEntry& entry);
  void crossVolume(const JournalEntry& entry, const FileURL& temp, const ContentHash& expectedHash);

  // The Trash location of the source that the latest transfer trashed.
  static Box<std::optional<FileURL>>& trashedSourceBox();

  FileSystem* fileSystem_;
  JournalStore* journal_;
  SecurityScopedAccess* access_;
  const DateProvider* dates_;
  // The destination folders of the run under way.
  DestinationFolders folders_;
};

}  // namespace rozuzed

template <>
struct std::hash<rozuzed::Executor::Options> {
  std::size_t operator()(const rozuzed::Executor::Options& options) const noexcept {
    return options.hash();
  }
};

#include "rozuzed/execution/executor.h"

#include <algorithm>
#include <utility>

#include "rozuzed/execution/fault_injection.h"
#include "rozuzed/journal/process_identity.h"
#include "rozuzed/model/applied_plan.h"
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
  const PlannedMove* move;
};

}  // namespace

std::size_t Executor::Options::hash() const {
  std::size_t seed = std::hash<bool>{}(revalidateSources);
  hashCombine(seed, std::hash<bool>{}(continueOnError));
  hashCombine(seed, std::hash<int64_t>{}(collisionRetries));
  hashCombine(seed, safety.hash());
  hashCombine(seed, std::hash<int64_t>{}(batchSize));
  return seed;
}

Executor::Executor(FileSystem& fileSystem, JournalStore& journal)
    : Executor(fileSystem, journal, unscopedAccess(), systemDates()) {}

Executor::Executor(FileSystem& fileSystem, JournalStore& journal, SecurityScopedAccess& access)
    : Executor(fileSystem, journal, access, systemDates()) {}

Executor::Executor(FileSystem& fileSystem, JournalStore& journal, SecurityScopedAccess& access,
                   const DateProvider& dates)
    : fileSystem_(&fileSystem),
      journal_(&journal),
      access_(&access),
      dates_(&dates),
      folders_(fileSystem) {}

ExecutionReport Executor::apply(const SortPlan& plan) {
  return apply(plan, Options());
}

ExecutionReport Executor::apply(const SortPlan& plan, const Options& options,
                                const ProgressCallback& progress, std::stop_token cancellation) {
  // The journal keeps one header per id and a plan's run takes the plan's
  // id, so a second apply of the same plan would overwrite the first run's
  // header and orphan its entries from undo and recovery.
  if (journal_->run(plan.id)) {
    throw SortError::journalUnavailable("plan " + plan.id.text() +
                                        " was already applied; scan the folder again");
  }

  CollisionResolver resolver(*fileSystem_);
  folders_ = DestinationFolders(*fileSystem_);
  RunRecord run{.id = plan.id,
                .kind = RunKind::apply,
                .state = RunState::running,
                .planID = plan.id,
                .reversesRunID = std::nullopt,
                .sourceDirectory = plan.sourceDirectory,
                .startedAt = dates_->now(),
                .finishedAt = std::nullopt,
                .owner = ProcessIdentity::current(),
                .appliedPlan = AppliedPlan::from(plan)};
  ExecutionReport report{.runID = plan.id, .completed = {}, .skipped = {}, .failures = {}};
  // Grown by doubling, the list of a whole folder's moves would hold up to
  // half as much again, empty, while the run ends.
  report.completed.reserve(plan.moves.size());
  std::vector<JournalEntry> pendingResults;
  bool begun = false;
  int64_t counter = 0;
  const auto total = static_cast<int64_t>(plan.moves.size());

  for (const auto& batch : batches(plan.moves, std::max<int64_t>(1, options.batchSize))) {
    if (cancellation.stop_requested()) break;

    std::vector<Intent> intents;
    // One instant for the batch: building a gate is work of the run, not
    // of each file, and a batch takes moments.
    std::optional<SafetyGate> gate;
    if (options.revalidateSources) gate.emplace(options.safety, dates_->now());
    for (const auto& move : batch) {
      Revalidation checked = revalidate(move, gate);
      if (checked.skip) {
        report.skipped.push_back(SkippedFile{move.source, *checked.skip});
        continue;
      }
      try {
        intents.push_back(
            Intent{makeIntent(move, run.id, resolver, std::move(checked.facts)), &move});
      } catch (const SortError& error) {
        report.failures.push_back(ExecutionFailure{move, error});
      }
    }
    std::vector<JournalEntry> intentEntries;
    for (const auto& intent : intents) intentEntries.push_back(intent.entry);

    FaultInjector::reach(FaultPoint::beforeIntent);
    // Recorded with the intents of the first moves into them, before any
    // file goes in, so the undo of the run knows to take them away.
    std::vector<FileURL> made = folders_.takeMadeSinceLastAsked();
    if (!begun) {
      journal_->beginRun(run, intentEntries, made);
      begun = true;
      // Journaled with the run; holding it on would keep a second copy of
      // the moves for the whole run.
      run.appliedPlan.reset();
    } else {
      journal_->commit(pendingResults, intentEntries, {run.id, std::move(made)});
    }
    pendingResults.clear();
    FaultInjector::reach(FaultPoint::afterIntentBeforeOperation);

    for (const auto& intent : intents) {
      if (cancellation.stop_requested()) break;
      if (progress) progress(ExecutionProgress{counter, total, intent.entry.sourceURL});
      ++counter;

      JournalEntry attempted = intent.entry;
      try {
        JournalEntry done;
        access_->withAccess(intent.entry.sourceURL,
                            [&] { done = perform(attempted, *intent.move, resolver, options); });
        pendingResults.push_back(done);
        report.completed.push_back(std::move(done));
      } catch (const SortError& error) {
        // `attempted` carries the last destination the journal was told of,
        // so the abandoned entry names the place last tried.
        JournalEntry failed = std::move(attempted);
        failed.state = EntryState::abandoned;
        failed.attentionReason = error.errorDescription();
        pendingResults.push_back(std::move(failed));
        report.failures.push_back(ExecutionFailure{*intent.move, error});
        if (!options.continueOnError) break;
      }
    }
    if (!options.continueOnError && !report.failures.empty()) break;
  }

  FaultInjector::reach(FaultPoint::beforeFinishRun);
  if (!begun) journal_->beginRun(run, {});
  journal_->finishRun(run.id, RunState::finished, dates_->now(), pendingResults);
  if (progress) progress(ExecutionProgress{total, total, std::nullopt});
  return report;
}

std::vector<std::span<const PlannedMove>> Executor::batches(const std::vector<PlannedMove>& moves,
                                                            int64_t size) {
  std::vector<std::span<const PlannedMove>> out;
  std::size_t start = 0;
  auto close = [&](std::size_t end) {
    if (end > start) out.emplace_back(moves.data() + start, end - start);
    start = end;
  };
  for (std::size_t i = 0; i < moves.size(); ++i) {
    if (moves[i].strategy == MoveStrategy::crossVolumeCopyVerifyTrash) {
      close(i);
      close(i + 1);
    } else if (static_cast<int64_t>(i + 1 - start) == size) {
      close(i + 1);
    }
  }
  close(moves.size());
  return out;
}

Executor::Revalidation Executor::revalidate(const PlannedMove& move,
                                            const std::optional<SafetyGate>& gate) {
  if (!gate) return {};
  Revalidation out;
  try {
    out.facts = fileSystem_->facts(move.source);
  } catch (const SortError&) {
    out.skip = SkipReason::vanishedSincePlanning();
    return out;
  }
  if (!move.fingerprint.matches(out.facts->fingerprint())) {
    out.skip = SkipReason::changedSincePlanning();
    return out;
  }
  out.skip = gate->skipReason(*out.facts);
  return out;
}

JournalEntry Executor::makeIntent(const PlannedMove& move, const Uuid& runID,
                                  CollisionResolver& resolver, std::optional<FileMetadata> source) {
  folders_.prepare(move.destinationDirectory);
  if (!source) source = fileSystem_->facts(move.source);
  MoveStrategy strategy = currentStrategy(move, *source);
  // In a folder this run made, only names this run gave out can be taken;
  // should another program have put one there since, the move refuses to
  // replace it and is tried again under a name looked for on the disk.
  const std::string name = move.source.lastPathComponent();
  auto resolution = folders_.madeByThisRun(move.destinationDirectory)
                        ? resolver.resolveInMissingFolder(name, move.destinationDirectory)
                        : resolver.resolve(name, move.destinationDirectory);
  std::optional<FileURL> tempURL;
  std::optional<ContentHash> sourceHash;
  if (strategy == MoveStrategy::crossVolumeCopyVerifyTrash) {
    tempURL = newStagingURL(move.destinationDirectory);
    sourceHash = fileSystem_->contentHash(move.source);
  }
  // Ordered by time, so a batch's intents join the end of the journal's
  // index of ids instead of a page of it each.
  return JournalEntry{.id = Uuid::timeOrdered(),
                      .runID = runID,
                      .planSequence = move.planSequence,
                      .state = EntryState::pending,
                      .strategy = strategy,
                      .sourceURL = move.source,
                      .destinationURL = resolution.url,
                      .tempURL = tempURL,
                      .trashedSourceURL = std::nullopt,
                      .fingerprintBefore = source->fingerprint(),
                      .sourceHash = sourceHash,
                      .fingerprintAfter = std::nullopt,
                      .matchedRuleID = move.matchedRuleID,
                      .reversesEntryID = std::nullopt,
                      .undoneAt = std::nullopt,
                      .intentAt = dates_->now(),
                      .committedAt = std::nullopt,
                      .completedBy = std::nullopt,
                      .attentionReason = std::nullopt};
}

MoveStrategy Executor::currentStrategy(const PlannedMove& move, const FileMetadata& source) {
  return source.volumeID == folders_.volume(move.destinationDirectory)
             ? MoveStrategy::sameVolumeMove
             : MoveStrategy::crossVolumeCopyVerifyTrash;
}

// `current` is updated with each new destination, so the caller sees the
// version of the intent the journal holds when the move fails.
JournalEntry Executor::perform(JournalEntry& current, const PlannedMove& move,
                               CollisionResolver& resolver, const Options& options) {
  const int64_t retries = std::max<int64_t>(0, options.collisionRetries);
  for (int64_t attempt = 0;; ++attempt) {
    try {
      return run(current);
    } catch (const SortError& error) {
      if (error.errorCase() != SortError::Case::refusedToOverwrite || attempt >= retries) throw;
    }
    auto resolution = resolver.resolve(move.source.lastPathComponent(), move.destinationDirectory);
    current.destinationURL = resolution.url;
    // A fresh staging name too: should an earlier staging file have stayed
    // behind, it must not make the next attempt fail as well.
    if (current.tempURL) current.tempURL = newStagingURL(move.destinationDirectory);
    journal_->amendIntent(current);
  }
}

JournalEntry Executor::run(const JournalEntry& entry) {
  JournalEntry out = entry;
  if (entry.strategy == MoveStrategy::crossVolumeCopyVerifyTrash) {
    if (!entry.tempURL || !entry.sourceHash) {
      throw SortError::journalUnavailable("cross-volume intent is missing its staging path");
    }
    crossVolume(entry, *entry.tempURL, *entry.sourceHash);
    out.trashedSourceURL = trashedSourceBox().value();
  } else {
    fileSystem_->moveInto(entry.sourceURL,
                          *folders_.held(entry.destinationURL.deletingLastPathComponent()),
                          entry.destinationURL.lastPathComponent());
  }
  FaultInjector::reach(FaultPoint::afterOperationBeforeCommit);
  out.state = EntryState::committed;
  out.committedAt = dates_->now();
  out.completedBy = CompletionSource::run;
  // Read where the file went in: one look through the folder held for it.
  recordArrival(out, *fileSystem_,
                *folders_.held(entry.destinationURL.deletingLastPathComponent()));
  return out;
}

void Executor::crossVolume(const JournalEntry& entry, const FileURL& temp,
                           const ContentHash& expectedHash) {
  trashedSourceBox().setValue(std::nullopt);
  CrossVolumeMove transfer(*fileSystem_,
                           folders_.held(entry.destinationURL.deletingLastPathComponent()));
  FaultInjector::armDelayedKill(FaultPoint::midCopy);
  FileIdentity copied = transfer.copyToStaging(entry.sourceURL, temp);
  FaultInjector::reach(FaultPoint::afterCopyBeforeRename);
  // The size and digest recorded with the intent, so a source changed after
  // its intent was written fails here even when the copy is faithful.
  transfer.verifyStaging(entry.sourceURL, temp, entry.fingerprintBefore.size, expectedHash);
  transfer.placeStaging(entry.sourceURL, temp, entry.destinationURL);
  transfer.makeFoldersDurable(entry.sourceURL, entry.destinationURL, folders_);
  FaultInjector::reach(FaultPoint::afterRenameBeforeTrash);
  // A source edited once the copy had read it keeps its newest bytes where
  // they are; the copy, now stale, goes instead.
  trashedSourceBox().setValue(transfer.trashSource(entry.sourceURL, copied, entry.destinationURL));
}

Box<std::optional<FileURL>>& Executor::trashedSourceBox() {
  static Box<std::optional<FileURL>> box(std::nullopt);
  return box;
}

}  // namespace rozuzed

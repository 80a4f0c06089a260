#include "rozuzed/recovery/recovery_runner.h"

#include <algorithm>
#include <exception>
#include <string>
#include <unordered_set>
#include <utility>

#include "rozuzed/execution/cross_volume_move.h"
#include "rozuzed/execution/fault_injection.h"
#include "rozuzed/execution/undo_runner.h"

namespace rozuzed {
namespace {

const DateProvider& systemDates() {
  static const SystemDateProvider dates;
  return dates;
}

}  // namespace

RecoveryOutcome RecoveryOutcome::anotherProcessIsRunning(RunRecord run) {
  RecoveryOutcome outcome(Case::anotherProcessIsRunning);
  outcome.run_ = std::move(run);
  return outcome;
}

RecoveryOutcome RecoveryOutcome::recovered(std::vector<RecoveryReport> reports) {
  RecoveryOutcome outcome(Case::recovered);
  outcome.reports_ = std::move(reports);
  return outcome;
}

RecoveryRunner::RecoveryRunner(FileSystem& fileSystem, JournalStore& journal)
    : RecoveryRunner(fileSystem, journal, systemDates()) {}

RecoveryRunner::RecoveryRunner(FileSystem& fileSystem, JournalStore& journal,
                               const DateProvider& dates)
    : fileSystem_(&fileSystem), journal_(&journal), dates_(&dates) {}

RecoveryOutcome RecoveryRunner::reconcile(const RunLock&, OwnRuns ownRuns) {
  std::vector<RunRecord> running = journal_->runs(RunState::running);
  if (running.empty()) return RecoveryOutcome::nothingToRecover();
  auto cutShort = [ownRuns](const RunRecord& run) {
    return ownRuns == OwnRuns::wereCutShort &&
           run.owner.liveness() == ProcessIdentity::Liveness::thisProcess;
  };
  auto live = std::find_if(running.begin(), running.end(),
                           [&](const RunRecord& run) { return run.isLive() && !cutShort(run); });
  if (live != running.end()) return RecoveryOutcome::anotherProcessIsRunning(*live);

  std::vector<RecoveryReport> reports;
  for (const RunRecord& run : running) {
    if (run.wasInterrupted() || cutShort(run)) reports.push_back(reconcile(run));
  }
  if (reports.empty()) return RecoveryOutcome::nothingToRecover();
  return RecoveryOutcome::recovered(std::move(reports));
}

RecoveryReport RecoveryRunner::reconcile(const RunRecord& run) {
  std::vector<JournalEntry> entries = journal_->entries(run.id);
  RecoveryReport report{.runID = run.id, .runKind = run.kind, .interruptedAt = run.startedAt};

  // An undo entry that took its file out of the Trash is finished only when
  // the copy at the undone run's destination is in the Trash too.
  std::unordered_map<Uuid, JournalEntry> reversed;
  const bool anyPending = std::any_of(entries.begin(), entries.end(), [](const auto& entry) {
    return entry.state == EntryState::pending;
  });
  // When that run was itself an undo, a file an entry settled now put back
  // puts the entry below the one it reversed back in force, and so on down.
  ReversalChain chain;
  if (run.kind == RunKind::undo && run.reversesRunID && anyPending) {
    for (JournalEntry& entry : journal_->entries(*run.reversesRunID)) {
      Uuid id = entry.id;
      reversed.emplace(id, std::move(entry));
    }
    chain = ReversalChain(*journal_, journal_->run(*run.reversesRunID));
  }

  std::vector<JournalEntry> settled;
  for (const JournalEntry& entry : entries) {
    switch (entry.state) {
      case EntryState::pending:
        break;
      case EntryState::committed:
        report.committed.push_back(entry);
        continue;
      case EntryState::needsAttention:
        report.needsAttention.push_back(entry);
        continue;
      case EntryState::abandoned:
        continue;
    }

    // A kill while the run moved something into the Trash can leave the
    // record that reserved its name there unwritten; it would keep that
    // name taken for good.
    for (const auto& path :
         {std::optional(entry.sourceURL), entry.tempURL, std::optional(entry.destinationURL)}) {
      if (path) fileSystem_->forgetUnwrittenTrashRecords(*path);
    }
    Seen seen;
    ObservedState observed = observe(entry, &seen);
    if (const JournalEntry* origin = trashReturnOrigin(entry, reversed)) {
      observed.source = trashSourceState(entry, *origin);
      // Its file came out of the Trash: no copy of the run's is to go.
      seen.destination.reset();
    }
    RecoveryDecision decision = RecoveryTable::decide(observed, entry.strategy);
    std::optional<std::string> originalKept;
    ActionOutcome failure = carryOut(decision.action, observed, entry, seen, &originalKept);
    if (!failure && !originalKept && decision.resulting == EntryState::committed) {
      failure = finishTrashReturn(entry, reversed);
    }
    JournalEntry copy = entry;
    if (originalKept) {
      copy.state = EntryState::abandoned;
      copy.attentionReason = std::move(originalKept);
    } else if (failure) {
      copy.state = EntryState::needsAttention;
      copy.attentionReason = std::move(failure);
    } else {
      copy.state = decision.resulting;
      copy.attentionReason = decision.reason;
    }
    if (copy.state == EntryState::committed) {
      copy.committedAt = dates_->now();
      copy.completedBy = CompletionSource::recovery;
      recordArrival(copy, *fileSystem_);
    }
    switch (copy.state) {
      case EntryState::committed:
        report.committed.push_back(copy);
        break;
      case EntryState::abandoned:
        report.abandoned.push_back(copy);
        break;
      default:
        report.needsAttention.push_back(copy);
        break;
    }
    settled.push_back(std::move(copy));
    FaultInjector::reach(FaultPoint::afterRecoveryOperationBeforeCommit);
  }

  // Counted before anything is written, so a journal that fails here
  // leaves the run to be settled again.
  report.untouchedCount = countUntouched(run, report);

  // The entries an undo put back are marked undone first: should the
  // process die between the two writes, the run is still running and the
  // next reconciliation comes to the same states, whereas the other order
  // would leave files that are back listed as still moved.
  if (run.kind == RunKind::undo) {
    ReversalChain::Marks marks;
    for (const JournalEntry& entry : settled) {
      if (entry.state != EntryState::committed || !entry.reversesEntryID) continue;
      if (auto found = reversed.find(*entry.reversesEntryID); found != reversed.end()) {
        chain.restored(found->second, marks);
      } else {
        marks.undone.push_back(*entry.reversesEntryID);
      }
    }
    ReversalChain::record(*journal_, marks, dates_->now());
    FaultInjector::reach(FaultPoint::afterRecoveryMarkUndoneBeforeCommit);
  }
  journal_->applyRecovery(run.id, settled, dates_->now());
  // An undo cut short once its files were back leaves the folders the undone
  // run made empty; they go as the undo would have removed them.
  if (run.kind == RunKind::undo && run.reversesRunID) {
    removeEmptyFoldersMadeBy(*run.reversesRunID, *journal_, *fileSystem_);
  }
  return report;
}

int64_t RecoveryRunner::countUntouched(const RunRecord& run, const RecoveryReport& report) {
  // Intents are journaled a batch at a time, so the run's own entries know
  // only the batches it reached. What it was to move is in the snapshot of
  // an apply run, and in the entries an undo run reverses that are still
  // in force.
  if (run.kind == RunKind::undo && run.reversesRunID) {
    std::unordered_set<Uuid> accounted;
    for (const auto* list : {&report.committed, &report.needsAttention}) {
      for (const JournalEntry& entry : *list) {
        if (entry.reversesEntryID) accounted.insert(*entry.reversesEntryID);
      }
    }
    int64_t untouched = 0;
    for (const JournalEntry& reversed : journal_->entries(*run.reversesRunID)) {
      if (reversed.isUndoable() && accounted.count(reversed.id) == 0 &&
          fileSystem_->fileExists(reversed.destinationURL)) {
        ++untouched;
      }
    }
    return untouched;
  }
  if (!run.appliedPlan) return static_cast<int64_t>(report.abandoned.size());
  // By exact path: two files whose names differ only in case are two moves.
  std::unordered_set<std::string> accounted;
  for (const auto* list : {&report.committed, &report.needsAttention}) {
    for (const JournalEntry& entry : *list) accounted.insert(entry.sourceURL.path());
  }
  int64_t untouched = 0;
  for (const AppliedPlan::Move& move : run.appliedPlan->moves) {
    if (accounted.count(move.source.path()) == 0 && fileSystem_->fileExists(move.source))
      ++untouched;
  }
  return untouched;
}

ObservedState RecoveryRunner::observe(const JournalEntry& entry) {
  return observe(entry, nullptr);
}

ObservedState RecoveryRunner::observe(const JournalEntry& entry, Seen* seen) {
  PathState source = classify(entry.sourceURL, entry, seen ? &seen->source : nullptr);
  PathState temp = entry.tempURL ? classify(entry.tempURL, entry, seen ? &seen->temp : nullptr)
                                 : PathState::absent;
  PathState destination =
      classify(entry.destinationURL, entry, seen ? &seen->destination : nullptr);
  return ObservedState{.source = source, .temp = temp, .destination = destination};
}

PathState RecoveryRunner::classify(const std::optional<FileURL>& url, const JournalEntry& entry,
                                   std::optional<FileIdentity>* seen) {
  if (!url) return PathState::absent;
  std::optional<FileMetadata> metadata;
  try {
    metadata = fileSystem_->facts(*url);
    if (seen) *seen = fileSystem_->identity(*url);
  } catch (const SortError&) {
    return PathState::absent;
  }
  if (metadata->size != entry.fingerprintBefore.size) return PathState::foreign;
  if (entry.sourceHash) {
    try {
      return fileSystem_->contentHash(*url) == *entry.sourceHash ? PathState::matching
                                                                 : PathState::foreign;
    } catch (const SortError&) {
      return PathState::foreign;
    }
  }
  return metadata->fingerprint().matches(entry.fingerprintBefore) ? PathState::matching
                                                                  : PathState::foreign;
}

PathState RecoveryRunner::trashSourceState(const JournalEntry& entry, const JournalEntry& origin) {
  // Judged by the bytes the file left with, so that a look-alike is not
  // taken for it.
  JournalEntry identity = entry;
  identity.sourceHash = origin.sourceHash;
  PathState state = classify(entry.sourceURL, identity);
  // The Trash gives a name out again once its item has gone: another file
  // there now is a later item of the Trash, and says this one has left.
  return state == PathState::foreign ? PathState::absent : state;
}

RecoveryRunner::ActionOutcome RecoveryRunner::carryOut(RecoveryAction action,
                                                       const ObservedState& observed,
                                                       const JournalEntry& entry, const Seen& seen,
                                                       std::optional<std::string>* originalKept) {
  switch (action) {
    case RecoveryAction::none:
      return std::nullopt;
    case RecoveryAction::trashTemp:
      return clearStaging(observed, entry, seen);
    case RecoveryAction::trashSourceThenCommit:
      return trashOriginal(entry, seen, originalKept);
    case RecoveryAction::trashTempThenTrashSourceThenCommit:
      if (auto failure = clearStaging(observed, entry, seen)) return failure;
      return trashOriginal(entry, seen, originalKept);
  }
  return std::nullopt;
}

RecoveryRunner::ActionOutcome RecoveryRunner::trashOriginal(
    const JournalEntry& entry, const Seen& seen, std::optional<std::string>* originalKept) {
  // The original is judged by its bytes, and goes only while it is still
  // the file that was judged.
  bool refused = false;
  ActionOutcome failure = trash(entry.sourceURL, "the original", seen.source, &refused);
  if (!failure || !refused || !seen.source || !seen.destination) return failure;
  // No Trash takes the original, so the copy at the destination, the run's
  // own by its bytes, goes instead, as the run itself would have done: two
  // copies would double the file for every later sort. Only while the
  // original is still in place as judged: otherwise the copy may be the
  // one left.
  try {
    if (!(fileSystem_->identity(entry.sourceURL) == *seen.source)) return failure;
    removeSettingAside(entry.destinationURL, entry.tempURL, [&](const std::string& aside) {
      fileSystem_->removeOwnFile(entry.destinationURL, *seen.destination, aside);
    });
  } catch (const SortError&) {
    return failure;
  }
  *originalKept = *failure + " \u2014 it was left where it was, and its copy at " +
                  entry.destinationURL.path() + " was removed";
  return std::nullopt;
}

RecoveryRunner::ActionOutcome RecoveryRunner::clearStaging(const ObservedState& observed,
                                                           const JournalEntry& entry,
                                                           const Seen& seen) {
  if (observed.source != PathState::matching || !entry.tempURL || !seen.temp) {
    return trash(entry.tempURL, "the staging file");
  }
  try {
    removeSettingAside(*entry.tempURL, std::nullopt, [&](const std::string& aside) {
      fileSystem_->removeOwnFile(*entry.tempURL, *seen.temp, aside);
    });
    return std::nullopt;
  } catch (const std::exception& error) {
    return "Could not remove the staging file at " + entry.tempURL->path() + ": " + error.what();
  }
}

RecoveryRunner::ActionOutcome RecoveryRunner::trash(const std::optional<FileURL>& url,
                                                    const std::string& what,
                                                    const std::optional<FileIdentity>& expected,
                                                    bool* refused) {
  if (!url || !fileSystem_->fileExists(*url)) return std::nullopt;
  try {
    if (expected) {
      fileSystem_->trashItemIfUnchanged(*url, *expected);
    } else {
      fileSystem_->trashItem(*url);
    }
    return std::nullopt;
  } catch (const SortError& error) {
    if (refused) *refused = error.errorCase() == SortError::Case::trashFailed;
    return "Could not move " + what + " at " + url->path() + " to the Trash: " + error.what();
  } catch (const std::exception& error) {
    return "Could not move " + what + " at " + url->path() + " to the Trash: " + error.what();
  }
}

RecoveryRunner::ActionOutcome RecoveryRunner::finishTrashReturn(
    const JournalEntry& entry, const std::unordered_map<Uuid, JournalEntry>& reversed) {
  const JournalEntry* origin = trashReturnOrigin(entry, reversed);
  if (!origin) return std::nullopt;
  fileSystem_->forgetTrashedItem(entry.sourceURL, entry.destinationURL);
  // Judged as the file the run left there, so that a file put in its place
  // since is left alone.
  JournalEntry copyLeftBehind = *origin;
  copyLeftBehind.fingerprintBefore = origin->fingerprintAfter.value_or(origin->fingerprintBefore);
  std::optional<FileIdentity> seen;
  if (classify(origin->destinationURL, copyLeftBehind, &seen) != PathState::matching) {
    return std::nullopt;
  }
  return trash(origin->destinationURL, "the copy", seen);
}

}  // namespace rozuzed

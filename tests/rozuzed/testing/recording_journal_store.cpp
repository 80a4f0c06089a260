#include "rozuzed/testing/recording_journal_store.h"

#include <algorithm>

namespace rozuzed::testing {

std::vector<JournalCall> RecordingJournalStore::calls(JournalCall::Kind kind) const {
  std::vector<JournalCall> out;
  std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(out),
               [&](const JournalCall& call) { return call.kind == kind; });
  return out;
}

void RecordingJournalStore::log(JournalCall call) {
  calls_.push_back(call);
  if (beforeWrite) beforeWrite(call);
}

void RecordingJournalStore::beginRun(const RunRecord& run, const std::vector<JournalEntry>& intents,
                                     const std::vector<FileURL>& createdFolders) {
  log({.kind = JournalCall::Kind::beginRun,
       .run = run,
       .intents = intents,
       .folders = createdFolders});
  store_.beginRun(run, intents, createdFolders);
}

void RecordingJournalStore::commit(const std::vector<JournalEntry>& completed,
                                   const std::vector<JournalEntry>& thenWriteIntents,
                                   const CreatedFolders& createdFolders) {
  log({.kind = JournalCall::Kind::commit,
       .completed = completed,
       .intents = thenWriteIntents,
       .folders = createdFolders.folders});
  store_.commit(completed, thenWriteIntents, createdFolders);
}

void RecordingJournalStore::finishRun(const Uuid& runID, RunState state, Date at,
                                      const std::vector<JournalEntry>& completed) {
  log({.kind = JournalCall::Kind::finishRun,
       .run = RunRecord{.id = runID},
       .completed = completed,
       .state = state,
       .at = at});
  store_.finishRun(runID, state, at, completed);
}

void RecordingJournalStore::amendIntent(const JournalEntry& entry) {
  log({.kind = JournalCall::Kind::amendIntent, .completed = {entry}});
  store_.amendIntent(entry);
}

void RecordingJournalStore::applyRecovery(const Uuid& runID,
                                          const std::vector<JournalEntry>& entries, Date at) {
  log({.kind = JournalCall::Kind::applyRecovery,
       .run = RunRecord{.id = runID},
       .completed = entries,
       .at = at});
  store_.applyRecovery(runID, entries, at);
}

void RecordingJournalStore::markUndone(const std::vector<Uuid>& entryIDs, Date at) {
  log({.kind = JournalCall::Kind::markUndone, .at = at, .ids = entryIDs});
  store_.markUndone(entryIDs, at);
}

void RecordingJournalStore::clearUndone(const std::vector<Uuid>& entryIDs) {
  log({.kind = JournalCall::Kind::clearUndone, .ids = entryIDs});
  store_.clearUndone(entryIDs);
}

}  // namespace rozuzed::testing

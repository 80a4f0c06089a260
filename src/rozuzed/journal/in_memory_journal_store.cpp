#include "rozuzed/journal/in_memory_journal_store.h"

#include <algorithm>
#include <compare>
#include <unordered_set>

namespace rozuzed {
namespace {

// A total order even over NaN times, which a plain `<` would make an
// invalid comparator.
template <class Record, class Key>
void sortBy(std::vector<Record>& records, Key key, bool descending) {
  std::stable_sort(records.begin(), records.end(), [&](const Record& a, const Record& b) {
    return descending ? std::weak_order(key(b), key(a)) < 0 : std::weak_order(key(a), key(b)) < 0;
  });
}

std::size_t clampedLimit(int64_t limit, std::size_t available) {
  if (limit <= 0) return 0;
  return std::min(available, static_cast<std::size_t>(limit));
}

}  // namespace

const std::shared_ptr<InMemoryJournalStore>& InMemoryJournalStore::shared() {
  static const auto instance = std::make_shared<InMemoryJournalStore>();
  return instance;
}

void InMemoryJournalStore::recordFolders(const Uuid& runID, const std::vector<FileURL>& folders) {
  if (folders.empty()) return;
  std::vector<FileURL>& recorded = createdFolders_[runID];
  for (const FileURL& folder : folders) {
    if (std::find(recorded.begin(), recorded.end(), folder) == recorded.end()) {
      recorded.push_back(folder);
    }
  }
}

void InMemoryJournalStore::beginRun(const RunRecord& run, const std::vector<JournalEntry>& intents,
                                    const std::vector<FileURL>& createdFolders) {
  std::lock_guard<std::mutex> hold(lock_);
  runs_.insert_or_assign(run.id, run);
  for (const JournalEntry& intent : intents) put(intent);
  recordFolders(run.id, createdFolders);
}

void InMemoryJournalStore::commit(const std::vector<JournalEntry>& completed,
                                  const std::vector<JournalEntry>& thenWriteIntents,
                                  const CreatedFolders& createdFolders) {
  std::lock_guard<std::mutex> hold(lock_);
  for (const JournalEntry& entry : completed) put(entry);
  for (const JournalEntry& entry : thenWriteIntents) put(entry);
  recordFolders(createdFolders.runID, createdFolders.folders);
}

void InMemoryJournalStore::finishRun(const Uuid& runID, RunState state, Date at,
                                     const std::vector<JournalEntry>& completed) {
  std::lock_guard<std::mutex> hold(lock_);
  for (const JournalEntry& entry : completed) put(entry);
  if (auto found = runs_.find(runID); found != runs_.end()) {
    found->second.state = state;
    found->second.finishedAt = at;
  }
}

void InMemoryJournalStore::amendIntent(const JournalEntry& entry) {
  std::lock_guard<std::mutex> hold(lock_);
  put(entry);
}

void InMemoryJournalStore::applyRecovery(const Uuid& runID,
                                         const std::vector<JournalEntry>& entries, Date at) {
  std::lock_guard<std::mutex> hold(lock_);
  for (const JournalEntry& entry : entries) put(entry);
  if (auto found = runs_.find(runID); found != runs_.end()) {
    found->second.state = RunState::recovered;
    if (!found->second.finishedAt) found->second.finishedAt = at;
  }
}

void InMemoryJournalStore::markUndone(const std::vector<Uuid>& entryIDs, Date at) {
  std::lock_guard<std::mutex> hold(lock_);
  for (const Uuid& id : entryIDs) {
    if (auto found = entries_.find(id); found != entries_.end()) found->second.undoneAt = at;
  }
}

void InMemoryJournalStore::clearUndone(const std::vector<Uuid>& entryIDs) {
  std::lock_guard<std::mutex> hold(lock_);
  for (const Uuid& id : entryIDs) {
    if (auto found = entries_.find(id); found != entries_.end()) found->second.undoneAt.reset();
  }
}

std::optional<RunRecord> InMemoryJournalStore::run(const Uuid& id) {
  std::lock_guard<std::mutex> hold(lock_);
  if (auto found = runs_.find(id); found != runs_.end()) return found->second;
  return std::nullopt;
}

std::vector<RunRecord> InMemoryJournalStore::runs(RunState state) {
  std::lock_guard<std::mutex> hold(lock_);
  std::vector<RunRecord> matches;
  for (const auto& [id, run] : runs_) {
    if (run.state == state) matches.push_back(run);
  }
  sortBy(
      matches, [](const RunRecord& r) { return r.startedAt; }, false);
  return matches;
}

std::vector<JournalEntry> InMemoryJournalStore::entries(const Uuid& runID) {
  std::lock_guard<std::mutex> hold(lock_);
  std::vector<JournalEntry> matches;
  for (const auto& [id, entry] : entries_) {
    if (entry.runID == runID) matches.push_back(entry);
  }
  sortBy(
      matches, [](const JournalEntry& e) { return e.planSequence; }, false);
  return matches;
}

std::vector<FileURL> InMemoryJournalStore::createdFolders(const Uuid& runID) {
  std::lock_guard<std::mutex> hold(lock_);
  auto found = createdFolders_.find(runID);
  return found == createdFolders_.end() ? std::vector<FileURL>() : found->second;
}

std::vector<BatchSummary> InMemoryJournalStore::recentBatches(int64_t limit) {
  std::lock_guard<std::mutex> hold(lock_);
  std::vector<const RunRecord*> applies;
  for (const auto& [id, run] : runs_) {
    if (run.kind == RunKind::apply) applies.push_back(&run);
  }
  sortBy(
      applies, [](const RunRecord* r) { return r->startedAt; }, true);
  applies.resize(clampedLimit(limit, applies.size()));

  std::vector<BatchSummary> summaries;
  summaries.reserve(applies.size());
  for (const RunRecord* run : applies) {
    BatchSummary summary{
        .id = run->id,
        .kind = run->kind,
        .state = run->state,
        .performedAt = run->startedAt,
        .sourceDirectory = run->sourceDirectory,
    };
    if (!summary.sourceDirectory && run->planID) {
      if (auto plan = plans_.find(*run->planID); plan != plans_.end()) {
        summary.sourceDirectory = plan->second.sourceDirectory;
      }
    }
    for (const auto& [id, entry] : entries_) {
      if (entry.runID != run->id) continue;
      if (entry.state == EntryState::committed) ++summary.moveCount;
      if (entry.undoneAt) ++summary.undoneCount;
      if (entry.state == EntryState::needsAttention) ++summary.needsAttentionCount;
    }
    summaries.push_back(std::move(summary));
  }
  return summaries;
}

std::vector<JournalEntry> InMemoryJournalStore::entriesNeedingAttention() {
  std::lock_guard<std::mutex> hold(lock_);
  std::vector<JournalEntry> matches;
  for (const auto& [id, entry] : entries_) {
    if (entry.state == EntryState::needsAttention) matches.push_back(entry);
  }
  sortBy(
      matches, [](const JournalEntry& e) { return e.intentAt; }, true);
  return matches;
}

void InMemoryJournalStore::clearAttention(const std::vector<Uuid>& entryIDs) {
  std::lock_guard<std::mutex> hold(lock_);
  for (const Uuid& id : entryIDs) {
    if (auto found = entries_.find(id); found != entries_.end()) {
      found->second.attentionReason.reset();
    }
  }
}

std::string InMemoryJournalStore::save(const SortPlan& plan) {
  std::lock_guard<std::mutex> hold(lock_);
  plans_.insert_or_assign(plan.id, plan);

  std::unordered_set<Uuid> referenced;
  for (const auto& [id, run] : runs_) {
    if (run.planID) referenced.insert(*run.planID);
  }
  std::vector<const SortPlan*> unreferenced;
  for (const auto& [id, saved] : plans_) {
    if (referenced.count(id) == 0) unreferenced.push_back(&saved);
  }
  const auto newest = static_cast<std::size_t>(kUnreferencedPlansKept);
  if (unreferenced.size() <= newest) return {};
  std::sort(unreferenced.begin(), unreferenced.end(), [](const SortPlan* a, const SortPlan* b) {
    if (auto order = std::weak_order(b->createdAt, a->createdAt); order != 0) return order < 0;
    return b->id < a->id;
  });
  std::vector<Uuid> pruned;
  for (std::size_t i = newest; i < unreferenced.size(); ++i) {
    if (unreferenced[i]->id != plan.id) pruned.push_back(unreferenced[i]->id);
  }
  for (const Uuid& id : pruned) plans_.erase(id);
  return {};
}

std::optional<SortPlan> InMemoryJournalStore::plan(const Uuid& id) {
  std::lock_guard<std::mutex> hold(lock_);
  if (auto found = plans_.find(id); found != plans_.end()) return found->second;
  return std::nullopt;
}

std::vector<SortPlan> InMemoryJournalStore::recentPlans(int64_t limit) {
  std::lock_guard<std::mutex> hold(lock_);
  std::vector<const SortPlan*> all;
  for (const auto& [id, plan] : plans_) all.push_back(&plan);
  sortBy(
      all, [](const SortPlan* p) { return p->createdAt; }, true);
  all.resize(clampedLimit(limit, all.size()));
  std::vector<SortPlan> plans;
  plans.reserve(all.size());
  for (const SortPlan* plan : all) plans.push_back(*plan);
  return plans;
}

}  // namespace rozuzed

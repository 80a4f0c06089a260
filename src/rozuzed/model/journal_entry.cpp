#include "rozuzed/model/journal_entry.h"

#include <functional>

namespace rozuzed {
namespace {

void combine(std::size_t& seed, std::size_t value) {
  seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

// Equal doubles must hash alike, and 0.0 == -0.0.
std::size_t hashDouble(double value) {
  return std::hash<double>{}(value == 0 ? 0.0 : value);
}

template <class T, class Hash>
void combineOptional(std::size_t& seed, const std::optional<T>& value, Hash hash) {
  combine(seed, value.has_value());
  if (value) combine(seed, hash(*value));
}

std::size_t hashFingerprint(const FileFingerprint& f) {
  std::size_t seed = std::hash<int64_t>{}(f.size);
  combine(seed, hashDouble(f.modificationDate));
  return seed;
}

}  // namespace

std::string toText(EntryState state) {
  switch (state) {
    case EntryState::pending:
      return "pending";
    case EntryState::committed:
      return "committed";
    case EntryState::abandoned:
      return "abandoned";
    case EntryState::needsAttention:
      return "needsAttention";
  }
  return "pending";
}

std::optional<EntryState> entryStateFromText(const std::string& text) {
  for (auto state : {EntryState::pending, EntryState::committed, EntryState::abandoned,
                     EntryState::needsAttention}) {
    if (toText(state) == text) return state;
  }
  return std::nullopt;
}

std::string toText(CompletionSource source) {
  switch (source) {
    case CompletionSource::run:
      return "run";
    case CompletionSource::recovery:
      return "recovery";
  }
  return "run";
}

std::optional<CompletionSource> completionSourceFromText(const std::string& text) {
  for (auto source : {CompletionSource::run, CompletionSource::recovery}) {
    if (toText(source) == text) return source;
  }
  return std::nullopt;
}

std::size_t JournalEntry::hash() const {
  auto url = std::hash<FileURL>{};
  auto uuid = std::hash<Uuid>{};
  auto text = std::hash<std::string>{};
  std::size_t seed = uuid(id);
  combine(seed, uuid(runID));
  combine(seed, std::hash<int64_t>{}(planSequence));
  combine(seed, static_cast<std::size_t>(state));
  combine(seed, static_cast<std::size_t>(strategy));
  combine(seed, url(sourceURL));
  combine(seed, url(destinationURL));
  combineOptional(seed, tempURL, url);
  combineOptional(seed, trashedSourceURL, url);
  combine(seed, hashFingerprint(fingerprintBefore));
  combineOptional(seed, sourceHash, std::hash<ContentHash>{});
  combineOptional(seed, fingerprintAfter, hashFingerprint);
  combine(seed, text(matchedRuleID));
  combineOptional(seed, reversesEntryID, uuid);
  combineOptional(seed, undoneAt, hashDouble);
  combine(seed, hashDouble(intentAt));
  combineOptional(seed, committedAt, hashDouble);
  combineOptional(seed, completedBy,
                  [](CompletionSource s) { return static_cast<std::size_t>(s); });
  combineOptional(seed, attentionReason, text);
  return seed;
}

}  // namespace rozuzed

#include "rozuzed/model/journal_entry.h"

#include <functional>

#include "rozuzed/support/hashing.h"

namespace rozuzed {
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
  auto fingerprint = std::hash<FileFingerprint>{};
  std::size_t seed = uuid(id);
  hashCombine(seed, uuid(runID));
  hashCombine(seed, std::hash<int64_t>{}(planSequence));
  hashCombine(seed, static_cast<std::size_t>(state));
  hashCombine(seed, static_cast<std::size_t>(strategy));
  hashCombine(seed, url(sourceURL));
  hashCombine(seed, url(destinationURL));
  hashCombineOptional(seed, tempURL, url);
  hashCombineOptional(seed, trashedSourceURL, url);
  hashCombine(seed, fingerprint(fingerprintBefore));
  hashCombineOptional(seed, sourceHash, std::hash<ContentHash>{});
  hashCombineOptional(seed, fingerprintAfter, fingerprint);
  hashCombineOptional(seed, inodeAfter, [](const FileInode& file) {
    std::size_t inodeSeed = std::hash<uint64_t>{}(file.device);
    hashCombine(inodeSeed, std::hash<uint64_t>{}(file.inode));
    return inodeSeed;
  });
  hashCombine(seed, text(matchedRuleID));
  hashCombineOptional(seed, reversesEntryID, uuid);
  hashCombineOptional(seed, undoneAt, hashDouble);
  hashCombine(seed, hashDouble(intentAt));
  hashCombineOptional(seed, committedAt, hashDouble);
  hashCombineOptional(seed, completedBy,
                      [](CompletionSource s) { return static_cast<std::size_t>(s); });
  hashCombineOptional(seed, attentionReason, text);
  return seed;
}

}  // namespace rozuzed

// What the executor, undo and recovery tests share: the times of their
// scenes and the journal entries of moves within them. In the scenes of the
// in-memory file system, "/" holds the user's folder "/src" and "/ext" is a
// second volume.
#pragma once

#include <cstdint>
#include <string>

#include "rozuzed/filesystem/content_hashing.h"
#include "rozuzed/model/journal_entry.h"
#include "rozuzed/support/file_url.h"

namespace rozuzed::testing {

// The present of the clock the engine is given.
inline constexpr Date kNow = 1'700'000'000;
// Long before it: when the scene's files were last changed and its old runs
// ran.
inline constexpr Date kOld = 1024;

inline FileURL url(const std::string& path) {
  return FileURL::fromPath(path);
}

// The bytes of the scene's file `name`, different for every name.
inline std::string contentsOf(const std::string& name) {
  return "contents of " + name;
}

// The intent to rename "/src/<name>" into "/src/Documents", written at kOld
// for a file last changed then; no file is made.
inline JournalEntry renameIntent(const std::string& name, int64_t sequence = 0) {
  return JournalEntry{.planSequence = sequence,
                      .strategy = MoveStrategy::sameVolumeMove,
                      .sourceURL = url("/src/" + name),
                      .destinationURL = url("/src/Documents/" + name),
                      .fingerprintBefore = {static_cast<int64_t>(contentsOf(name).size()), kOld},
                      .matchedRuleID = "rule",
                      .intentAt = kOld};
}

// The intent to carry "/src/<name>" to "/ext/Documents" through the staging
// file `staging` there.
inline JournalEntry transferIntent(
    const std::string& name, int64_t sequence = 0,
    const std::string& staging = ".ombrix-tmp-2B1F0C6E-3C1A-4C55-9A33-0E5B8C1D2F40") {
  JournalEntry entry = renameIntent(name, sequence);
  entry.strategy = MoveStrategy::crossVolumeCopyVerifyTrash;
  entry.destinationURL = url("/ext/Documents/" + name);
  entry.tempURL = url("/ext/Documents/" + staging);
  entry.sourceHash = ContentHashing::sha256(contentsOf(name));
  return entry;
}

// The pending intent of an undo that puts `entry` back where it came from.
inline JournalEntry reversalOf(const JournalEntry& entry) {
  JournalEntry back = entry;
  back.id = Uuid::random();
  back.state = EntryState::pending;
  back.committedAt.reset();
  back.completedBy.reset();
  back.sourceURL = entry.destinationURL;
  back.destinationURL = entry.sourceURL;
  back.reversesEntryID = entry.id;
  return back;
}

}  // namespace rozuzed::testing

// What goes into and comes out of an apply run besides the plan: progress
// values handed to the caller while it runs, and the report at its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "rozuzed/filesystem/file_system.h"
#include "rozuzed/model/journal_entry.h"
#include "rozuzed/model/sort_error.h"
#include "rozuzed/model/sort_plan.h"
#include "rozuzed/support/file_url.h"
#include "rozuzed/support/uuid.h"

namespace rozuzed {

// One progress report of an apply or an undo. Equality is member-wise.
struct ExecutionProgress {
  // Operations begun before the one now beginning; equal to `totalCount` in
  // the final report.
  int64_t completedCount = 0;
  int64_t totalCount = 0;
  // The file whose operation is beginning; absent in the final report.
  std::optional<FileURL> currentFile;

  // 1.0 when `totalCount` is 0, else the plain quotient; not clamped.
  double fractionCompleted() const;

  bool operator==(const ExecutionProgress&) const = default;
  std::size_t hash() const;
};

// Which file lies at `item` (a link itself, not followed); absent when it
// cannot be read.
std::optional<FileInode> inodeAt(FileSystem& fileSystem, const FileURL& item);

// Fills in what a committed entry keeps of the file now at its destination:
// its fingerprint and which file it is, each absent when it cannot be read.
// Undo later puts back only that very file.
void recordArrival(JournalEntry& entry, FileSystem& fileSystem);
// The same, read through `folder`, the destination's folder as it was held
// when the file went in.
void recordArrival(JournalEntry& entry, FileSystem& fileSystem,
                   const FileSystem::HeldFolder& folder);

// One move that failed, as planned, with the error that made it fail.
struct ExecutionFailure {
  PlannedMove move;
  SortError error;
};

// The result of one apply run. No equality.
struct ExecutionReport {
  // The apply run's id, which is the id of the plan it carried out.
  Uuid runID;
  // Committed entries, in the order the moves were carried out.
  std::vector<JournalEntry> completed;
  // Moves left alone when checked again just before their intent, in plan
  // order; the plan's own skipped items are not repeated.
  std::vector<SkippedFile> skipped;
  // In the order the failures happened.
  std::vector<ExecutionFailure> failures;

  // The id under which the history lists the run and undo reverses it.
  const Uuid& batchID() const { return runID; }
  // Nothing skipped and nothing failed; a run with nothing to do counts.
  bool isCompleteSuccess() const { return skipped.empty() && failures.empty(); }
};

}  // namespace rozuzed

template <>
struct std::hash<rozuzed::ExecutionProgress> {
  std::size_t operator()(const rozuzed::ExecutionProgress& progress) const noexcept {
    return progress.hash();
  }
};

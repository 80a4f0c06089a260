// One row of the history: one apply run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "rozuzed/model/batch_summary.h"
#include "rozuzed/support/dates.h"
#include "rozuzed/support/uuid.h"

namespace sortappkit {

struct RunSummary {
  // The run kind is not used: the history lists apply runs only.
  explicit RunSummary(const rozuzed::BatchSummary& batch);
  RunSummary(rozuzed::Uuid id, rozuzed::Date performedAt, std::optional<std::string> folderPath,
             int64_t movedCount, int64_t undoneCount);

  // At least one move, and all of them undone.
  bool isFullyUndone() const { return movedCount > 0 && undoneCount == movedCount; }
  // Not clamped.
  int64_t outstandingCount() const { return movedCount - undoneCount; }
  // A run still under way, in another process most often, is never
  // offered: its files are still moving and its counts still growing.
  bool canUndo() const { return outstandingCount() > 0 && !isRunning; }
  // The last component of `folderPath`.
  std::optional<std::string> folderName() const;

  bool operator==(const RunSummary&) const = default;

  rozuzed::Uuid id;
  rozuzed::Date performedAt;
  std::optional<std::string> folderPath;
  int64_t movedCount;
  int64_t undoneCount;
  int64_t needsAttentionCount = 0;
  bool wasRecovered = false;
  // The journal still holds the run as running.
  bool isRunning = false;
};

}  // namespace sortappkit

#include "sortappkit/view_models/run_summary.h"

#include "rozuzed/support/file_url.h"

namespace sortappkit {

RunSummary::RunSummary(const rozuzed::BatchSummary& batch)
    : RunSummary(
          batch.id, batch.performedAt,
          batch.sourceDirectory ? std::optional(batch.sourceDirectory->path()) : std::nullopt,
          batch.moveCount, batch.undoneCount) {
  needsAttentionCount = batch.needsAttentionCount;
  wasRecovered = batch.state == rozuzed::RunState::recovered;
  isRunning = batch.state == rozuzed::RunState::running;
}

RunSummary::RunSummary(rozuzed::Uuid id, rozuzed::Date performedAt,
                       std::optional<std::string> folderPath, int64_t movedCount,
                       int64_t undoneCount)
    : id(id),
      performedAt(performedAt),
      folderPath(std::move(folderPath)),
      movedCount(movedCount),
      undoneCount(undoneCount) {}

std::optional<std::string> RunSummary::folderName() const {
  if (!folderPath) return std::nullopt;
  return rozuzed::FileURL::fromPath(*folderPath).lastPathComponent();
}

}  // namespace sortappkit

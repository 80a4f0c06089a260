#include "sortappkit/view_models/recovery_summary.h"

namespace sortappkit {

RecoverySummary::RecoverySummary(const rozuzed::RecoveryReport& report)
    : id(report.runID),
      interruptedAt(report.interruptedAt),
      wasUndo(report.runKind == rozuzed::RunKind::undo),
      movedCount(static_cast<int64_t>(report.committed.size())),
      untouchedCount(report.untouchedCount) {
  needsAttention.reserve(report.needsAttention.size());
  for (const auto& entry : report.needsAttention) needsAttention.emplace_back(entry);
}

}  // namespace sortappkit

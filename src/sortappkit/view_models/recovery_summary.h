// The notice about one run that was interrupted and reconciled at launch.
#pragma once

#include <cstdint>
#include <vector>

#include "rozuzed/recovery/recovery_runner.h"
#include "rozuzed/support/dates.h"
#include "rozuzed/support/uuid.h"
#include "sortappkit/view_models/attention_row.h"

namespace sortappkit {

struct RecoverySummary {
  explicit RecoverySummary(const rozuzed::RecoveryReport& report);

  // Files can be put back only when recovery found some moved.
  bool canUndo() const { return movedCount > 0; }

  bool operator==(const RecoverySummary&) const = default;

  rozuzed::Uuid id;             // the interrupted run's id
  rozuzed::Date interruptedAt;  // the interrupted run's start
  bool wasUndo;
  int64_t movedCount;
  int64_t untouchedCount;
  std::vector<AttentionRow> needsAttention;
};

}  // namespace sortappkit

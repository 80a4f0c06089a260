// The history's view of one apply run: when, where, in which state, and how
// many of its moves were committed, undone and still need attention.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "rozuzed/model/run_record.h"
#include "rozuzed/support/dates.h"
#include "rozuzed/support/file_url.h"
#include "rozuzed/support/uuid.h"

namespace rozuzed {

// A plain value built anew on every history query; equality is
// member-wise. Its `id` is the run's id, which undo takes as its batch id.
struct BatchSummary {
  Uuid id;
  RunKind kind = RunKind::apply;
  RunState state = RunState::finished;
  // The run's start.
  Date performedAt = 0;
  std::optional<FileURL> sourceDirectory;
  // Entries in state committed.
  int64_t moveCount = 0;
  // Entries with an undo time, whatever their state.
  int64_t undoneCount = 0;
  // Entries in state needsAttention.
  int64_t needsAttentionCount = 0;

  // At least one move, and every one of them undone.
  bool isFullyUndone() const { return moveCount > 0 && undoneCount == moveCount; }

  bool operator==(const BatchSummary&) const = default;
  std::size_t hash() const;
};

}  // namespace rozuzed

template <>
struct std::hash<rozuzed::BatchSummary> {
  std::size_t operator()(const rozuzed::BatchSummary& summary) const noexcept {
    return summary.hash();
  }
};

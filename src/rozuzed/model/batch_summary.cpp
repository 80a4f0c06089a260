#include "rozuzed/model/batch_summary.h"

#include <functional>

namespace rozuzed {
namespace {

void combine(std::size_t& seed, std::size_t value) {
  seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

}  // namespace

std::size_t BatchSummary::hash() const {
  std::size_t seed = std::hash<Uuid>{}(id);
  combine(seed, static_cast<std::size_t>(kind));
  combine(seed, static_cast<std::size_t>(state));
  combine(seed, std::hash<double>{}(performedAt == 0 ? 0.0 : performedAt));
  combine(seed, sourceDirectory.has_value());
  if (sourceDirectory) combine(seed, std::hash<FileURL>{}(*sourceDirectory));
  combine(seed, std::hash<int64_t>{}(moveCount));
  combine(seed, std::hash<int64_t>{}(undoneCount));
  combine(seed, std::hash<int64_t>{}(needsAttentionCount));
  return seed;
}

}  // namespace rozuzed

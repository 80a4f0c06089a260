#include "rozuzed/model/batch_summary.h"

#include <functional>

#include "rozuzed/support/hashing.h"

namespace rozuzed {
std::size_t BatchSummary::hash() const {
  std::size_t seed = std::hash<Uuid>{}(id);
  hashCombine(seed, static_cast<std::size_t>(kind));
  hashCombine(seed, static_cast<std::size_t>(state));
  hashCombine(seed, hashDouble(performedAt));
  hashCombineOptional(seed, sourceDirectory, std::hash<FileURL>{});
  hashCombine(seed, std::hash<int64_t>{}(moveCount));
  hashCombine(seed, std::hash<int64_t>{}(undoneCount));
  hashCombine(seed, std::hash<int64_t>{}(needsAttentionCount));
  return seed;
}

}  // namespace rozuzed

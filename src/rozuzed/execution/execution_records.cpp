#include "rozuzed/execution/execution_records.h"

#include <functional>

#include "rozuzed/support/hashing.h"

namespace rozuzed {

double ExecutionProgress::fractionCompleted() const {
  if (totalCount == 0) return 1.0;
  return static_cast<double>(completedCount) / static_cast<double>(totalCount);
}

std::size_t ExecutionProgress::hash() const {
  std::size_t seed = std::hash<int64_t>{}(completedCount);
  hashCombine(seed, std::hash<int64_t>{}(totalCount));
  hashCombineOptional(seed, currentFile, std::hash<FileURL>{});
  return seed;
}

}  // namespace rozuzed

#include "rozuzed/execution/execution_records.h"

#include <functional>

namespace rozuzed {

double ExecutionProgress::fractionCompleted() const {
  if (totalCount == 0) return 1.0;
  return static_cast<double>(completedCount) / static_cast<double>(totalCount);
}

std::size_t ExecutionProgress::hash() const {
  std::size_t h = std::hash<int64_t>{}(completedCount);
  h = h * 31 + std::hash<int64_t>{}(totalCount);
  h = h * 31 + (currentFile ? std::hash<FileURL>{}(*currentFile) : 0x9e3779b9);
  return h;
}

}  // namespace rozuzed

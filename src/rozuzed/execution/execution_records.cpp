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

std::optional<FileInode> inodeAt(FileSystem& fileSystem, const FileURL& item) {
  try {
    FileIdentity file = fileSystem.identity(item);
    return FileInode{file.device, file.inode};
  } catch (const SortError&) {
    return std::nullopt;
  }
}

void recordArrival(JournalEntry& entry, FileSystem& fileSystem) {
  try {
    entry.fingerprintAfter = fileSystem.facts(entry.destinationURL).fingerprint();
  } catch (const SortError&) {
    entry.fingerprintAfter = std::nullopt;
  }
  entry.inodeAfter = inodeAt(fileSystem, entry.destinationURL);
}

void recordArrival(JournalEntry& entry, FileSystem& fileSystem,
                   const FileSystem::HeldFolder& folder) {
  FileSystem::Arrival arrival =
      fileSystem.arrivalIn(folder, entry.destinationURL.lastPathComponent());
  entry.fingerprintAfter = arrival.fingerprint;
  entry.inodeAfter = std::nullopt;
  if (arrival.identity)
    entry.inodeAfter = FileInode{arrival.identity->device, arrival.identity->inode};
}

}  // namespace rozuzed

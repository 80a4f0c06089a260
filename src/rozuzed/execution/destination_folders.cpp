#include "rozuzed/execution/destination_folders.h"

#include <algorithm>
#include <utility>

#include "rozuzed/filesystem/mount_table.h"

namespace rozuzed {

void DestinationFolders::prepare(const FileURL& folder) {
  if (folders_.contains(folder.path())) return;
  // Files put into a Trash's folder by hand have no record there: the file
  // manager could not restore them, nor would anyone look for them there.
  if (fileSystem_->isInTrash(folder)) throw SortError::destinationInTrash(folder);
  // The levels missing now are the ones this run makes.
  std::vector<FileURL> missing;
  for (FileURL level = folder; !fileSystem_->fileExists(level);
       level = level.deletingLastPathComponent()) {
    missing.push_back(level);
    if (level.path() == "/") break;
  }
  fileSystem_->createDirectory(folder);
  madeNotDurable_.insert(madeNotDurable_.end(), missing.begin(), missing.end());
  madeNotTaken_.insert(madeNotTaken_.end(), missing.rbegin(), missing.rend());
  // A link swapped in since the check above shows only in what was held.
  auto held = fileSystem_->holdFolder(folder);
  if (fileSystem_->isHeldInTrash(*held)) throw SortError::destinationInTrash(folder);
  folders_.emplace(folder.path(),
                   Folder{.madeByThisRun = !missing.empty(), .held = std::move(held)});
}

std::shared_ptr<FileSystem::HeldFolder> DestinationFolders::held(const FileURL& folder) {
  prepare(folder);
  return folders_.at(folder.path()).held;
}

const VolumeID& DestinationFolders::volume(const FileURL& folder) {
  std::optional<VolumeID>& known = folders_[folder.path()].volume;
  if (!known) known = fileSystem_->volumeID(folder);
  return *known;
}

bool DestinationFolders::madeByThisRun(const FileURL& folder) const {
  auto it = folders_.find(folder.path());
  return it != folders_.end() && it->second.madeByThisRun;
}

std::vector<FileURL> DestinationFolders::takeMadeSinceLastAsked() {
  return std::exchange(madeNotTaken_, {});
}

void DestinationFolders::makeDurable(const FileURL& folder) {
  const std::string& path = folder.path();
  std::vector<FileURL> due;
  std::erase_if(madeNotDurable_, [&](const FileURL& made) {
    if (!isAtOrBelow(path, made.path())) return false;
    due.push_back(made);
    return true;
  });
  std::sort(due.begin(), due.end(),
            [](const FileURL& a, const FileURL& b) { return a.path().size() < b.path().size(); });
  for (std::size_t i = 0; i < due.size(); ++i) {
    try {
      fileSystem_->synchronize(due[i].deletingLastPathComponent());
    } catch (const SortError&) {
      madeNotDurable_.insert(madeNotDurable_.end(), due.begin() + static_cast<std::ptrdiff_t>(i),
                             due.end());
      throw;
    }
  }
}

}  // namespace rozuzed

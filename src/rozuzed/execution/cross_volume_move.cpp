#include "rozuzed/execution/cross_volume_move.h"

#include "rozuzed/support/uuid.h"

namespace rozuzed {
namespace {

// The platform's words for a failure, whichever case carried them.
std::string underlyingText(const SortError& error) {
  return error.underlying().empty() ? error.errorDescription() : error.underlying();
}

}  // namespace

FileURL newStagingURL(const FileURL& folder) {
  return folder.appendingPathComponent(std::string(kStagingPrefix) + Uuid::random().text());
}

void removeSettingAside(const FileURL& item, const std::optional<FileURL>& staging,
                        const std::function<void(const std::string& aside)>& remove) {
  const FileURL folder = item.deletingLastPathComponent();
  if (staging && staging->deletingLastPathComponent() == folder &&
      staging->lastPathComponent() != item.lastPathComponent()) {
    try {
      return remove(staging->lastPathComponent());
    } catch (const SortError& error) {
      if (error.errorCase() != SortError::Case::refusedToOverwrite) throw;
    }
  }
  remove(newStagingURL(folder).lastPathComponent());
}

FileIdentity CrossVolumeMove::copyToStaging(const FileURL& source, const FileURL& staging) {
  // A copy that fails leaves nothing behind, so there is nothing to clear
  // away here; and after refusedToOverwrite what is there is not ours.
  const std::string name = staging.lastPathComponent();
  FileIdentity copied = fileSystem_->copyInto(source, *folder_, name);
  staged_.reset();
  try {
    staged_.emplace(staging, fileSystem_->identityIn(*folder_, name));
  } catch (const SortError&) {
    // Not to be removed without knowing it is ours; it goes to the Trash.
  }
  try {
    fileSystem_->synchronizeIn(*folder_, name);
  } catch (const SortError& error) {
    discardStaging(staging);
    throw SortError::copyFailed(source, staging, underlyingText(error));
  }
  return copied;
}

void CrossVolumeMove::verifyStaging(const FileURL& source, const FileURL& staging,
                                    std::optional<int64_t> expectedSize,
                                    const ContentHash& expectedHash) {
  try {
    const std::string name = staging.lastPathComponent();
    if (expectedSize) {
      const int64_t size = fileSystem_->identityIn(*folder_, name).size;
      if (size != *expectedSize) {
        throw SortError::copyVerificationFailed(
            source, staging, VerificationFailure::sizeMismatch(*expectedSize, size));
      }
    }
    ContentHash found = fileSystem_->contentHashIn(*folder_, name);
    if (found != expectedHash) {
      throw SortError::copyVerificationFailed(
          source, staging, VerificationFailure::hashMismatch(expectedHash.sha256, found.sha256));
    }
  } catch (const SortError&) {
    discardStaging(staging);
    throw;
  }
}

void CrossVolumeMove::placeStaging(const FileURL& source, const FileURL& staging,
                                   const FileURL& destination) {
  const std::string name = destination.lastPathComponent();
  try {
    // The file system checks this too, as the last guard; the error then
    // names the staging file, which the user never saw.
    if (!fileSystem_->stillNames(*folder_)) throw folderNoLongerNamed(source, destination);
    fileSystem_->renameWithin(*folder_, staging.lastPathComponent(), name);
  } catch (const SortError&) {
    discardStaging(staging);
    throw;
  }
  placed_.reset();
  try {
    placed_.emplace(destination, fileSystem_->identityIn(*folder_, name));
  } catch (const SortError&) {
    // Not to be removed without knowing it is ours; it goes to the Trash.
  }
  try {
    fileSystem_->synchronizeHeld(*folder_);
  } catch (const SortError& error) {
    // Without a durable name the copy could vanish in a power cut after the
    // source is gone; give up the move while the source is still in place.
    discardPlaced(destination);
    throw SortError::copyFailed(source, destination, underlyingText(error));
  }
}

void CrossVolumeMove::makeFoldersDurable(const FileURL& source, const FileURL& destination,
                                         DestinationFolders& folders) {
  try {
    folders.makeDurable(destination.deletingLastPathComponent());
  } catch (const SortError& error) {
    discardPlaced(destination);
    throw SortError::copyFailed(source, destination, underlyingText(error));
  }
}

std::optional<FileURL> CrossVolumeMove::trashSource(const FileURL& source,
                                                    const FileIdentity& copied,
                                                    const FileURL& destination) {
  try {
    return fileSystem_->trashItemIfUnchanged(source, copied);
  } catch (const SortError& error) {
    switch (error.errorCase()) {
      case SortError::Case::moveFailed:
        // The source went to the Trash as it changed and could not come
        // back, so the copy is the one version left outside the Trash.
        throw;
      case SortError::Case::trashFailed: {
        // Gone from its place (another program moved or deleted it after
        // the copy), the original leaves the copy as the one version there
        // is: it stays.
        if (!stillInPlace(source, copied)) {
          throw SortError::trashFailed(
              error.location(), error.underlying() + " \u2014 it is no longer at " + source.path() +
                                    ", and its copy at " + destination.path() + " was kept");
        }
        // The source cannot leave its place, so the copy must: two copies
        // would double the file for every later sort, and undo knows of
        // neither.
        std::string fate = " \u2014 it was left where it was, and ";
        switch (discardPlaced(destination)) {
          case Fate::removed:
            fate += "its copy at " + destination.path() + " was removed";
            break;
          case Fate::trashed:
            fate += "its copy at " + destination.path() + " went to the Trash";
            break;
          case Fate::stayed:
            fate += "a copy of it is also at " + destination.path();
            break;
        }
        throw SortError::trashFailed(error.location(), error.underlying() + fate);
      }
      default:
        trashPlaced(destination);
        throw;
    }
  }
}

bool CrossVolumeMove::stillInPlace(const FileURL& source, const FileIdentity& copied) {
  try {
    return fileSystem_->identity(source) == copied;
  } catch (const SortError&) {
    return false;
  }
}

void CrossVolumeMove::discardStaging(const FileURL& staging) {
  if (staged_ && staged_->first == staging) {
    try {
      removeSettingAside(staging, std::nullopt, [&](const std::string& aside) {
        fileSystem_->removeOwnFileIn(*folder_, staging.lastPathComponent(), staged_->second, aside);
      });
      staged_.reset();
      return;
    } catch (const SortError&) {
    }
  }
  trashQuietly(staging);
}

bool CrossVolumeMove::removePlaced(const FileURL& destination) {
  if (!placed_ || placed_->first != destination) return false;
  try {
    removeSettingAside(destination, staged_ ? std::optional(staged_->first) : std::nullopt,
                       [&](const std::string& aside) {
                         fileSystem_->removeOwnFileIn(*folder_, destination.lastPathComponent(),
                                                      placed_->second, aside);
                       });
    placed_.reset();
    return true;
  } catch (const SortError&) {
    return false;
  }
}

CrossVolumeMove::Fate CrossVolumeMove::discardPlaced(const FileURL& destination) {
  if (removePlaced(destination)) return Fate::removed;
  try {
    fileSystem_->trashItem(destination);
    return Fate::trashed;
  } catch (const SortError&) {
    return Fate::stayed;
  }
}

void CrossVolumeMove::trashPlaced(const FileURL& destination) {
  try {
    fileSystem_->trashItem(destination);
  } catch (const SortError&) {
    removePlaced(destination);
  }
}

void CrossVolumeMove::trashQuietly(const FileURL& item) {
  try {
    fileSystem_->trashItem(item);
  } catch (const SortError&) {
  }
}

}  // namespace rozuzed

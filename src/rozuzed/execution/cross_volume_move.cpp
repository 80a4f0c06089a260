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

CrossVolumeMove::Outcome CrossVolumeMove::run(const FileURL& source, const FileURL& destination,
                                              const FileFingerprint& expecting) {
  ContentHash hash = fileSystem_->contentHash(source);
  FileIdentity copied = copyToStaging(source, destination);
  try {
    FileMetadata copy = [&] {
      try {
        return fileSystem_->facts(destination);
      } catch (const SortError&) {
        throw SortError::copyVerificationFailed(source, destination,
                                                VerificationFailure::destinationMissing());
      }
    }();
    if (copy.size != expecting.size) {
      throw SortError::copyVerificationFailed(
          source, destination, VerificationFailure::sizeMismatch(expecting.size, copy.size));
    }
    ContentHash found = fileSystem_->contentHash(destination);
    if (found != hash) {
      throw SortError::copyVerificationFailed(
          source, destination, VerificationFailure::hashMismatch(hash.sha256, found.sha256));
    }
    fileSystem_->synchronize(destination.deletingLastPathComponent());
  } catch (const SortError&) {
    trashQuietly(destination);
    throw;
  }
  return Outcome{trashSource(source, copied, destination), hash};
}

FileIdentity CrossVolumeMove::copyToStaging(const FileURL& source, const FileURL& staging) {
  // A copy that fails leaves nothing behind, so there is nothing to clear
  // away here; and after refusedToOverwrite what is there is not ours.
  FileIdentity copied = fileSystem_->copyItem(source, staging);
  staged_.reset();
  try {
    staged_.emplace(staging, fileSystem_->identity(staging));
  } catch (const SortError&) {
    // Not to be removed without knowing it is ours; it goes to the Trash.
  }
  try {
    fileSystem_->synchronize(staging);
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
    if (expectedSize) {
      FileMetadata copy = fileSystem_->facts(staging);
      if (copy.size != *expectedSize) {
        throw SortError::copyVerificationFailed(
            source, staging, VerificationFailure::sizeMismatch(*expectedSize, copy.size));
      }
    }
    ContentHash found = fileSystem_->contentHash(staging);
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
  try {
    fileSystem_->moveItem(staging, destination);
  } catch (const SortError&) {
    discardStaging(staging);
    throw;
  }
  try {
    fileSystem_->synchronize(destination.deletingLastPathComponent());
  } catch (const SortError& error) {
    // Without a durable name the copy could vanish in a power cut after the
    // source is gone; give up the move while the source is still in place.
    trashQuietly(destination);
    throw SortError::copyFailed(source, destination, underlyingText(error));
  }
}

void CrossVolumeMove::makeFoldersDurable(const FileURL& source, const FileURL& destination,
                                         DestinationFolders& folders) {
  try {
    folders.makeDurable(destination.deletingLastPathComponent());
  } catch (const SortError& error) {
    trashQuietly(destination);
    throw SortError::copyFailed(source, destination, underlyingText(error));
  }
}

std::optional<FileURL> CrossVolumeMove::trashSource(const FileURL& source,
                                                    const FileIdentity& copied,
                                                    const FileURL& destination) {
  try {
    return fileSystem_->trashItemIfUnchanged(source, copied);
  } catch (const SortError& error) {
    // moveFailed: the source went to the Trash as it changed and could not
    // come back, so the copy is the one version left outside the Trash.
    if (error.errorCase() != SortError::Case::moveFailed) trashQuietly(destination);
    throw;
  }
}

void CrossVolumeMove::discardStaging(const FileURL& staging) {
  if (staged_ && staged_->first == staging) {
    try {
      fileSystem_->removeOwnFile(staging, staged_->second);
      staged_.reset();
      return;
    } catch (const SortError&) {
    }
  }
  trashQuietly(staging);
}

void CrossVolumeMove::trashQuietly(const FileURL& item) {
  try {
    fileSystem_->trashItem(item);
  } catch (const SortError&) {
  }
}

}  // namespace rozuzed

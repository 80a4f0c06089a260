// Moving a file to another volume without ever deleting it: copy to a
// hidden staging file beside the destination, make the copy durable, verify
// it, rename it into place, make that durable, and only then send the source
// to the Trash. The steps are public so the apply executor (with its journal
// and fault points between them) and undo's reverse copy compose them alike.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "rozuzed/execution/destination_folders.h"
#include "rozuzed/filesystem/file_identity.h"
#include "rozuzed/filesystem/file_system.h"
#include "rozuzed/model/file_metadata.h"
#include "rozuzed/support/file_url.h"

namespace rozuzed {

// Staging files are named this prefix followed by an upper-case hyphenated
// UUID: 48 characters, hidden by the leading dot.
inline constexpr std::string_view kStagingPrefix = ".ombrix-tmp-";

// A staging URL in `folder` under a new random UUID, so no two calls share
// one and a leftover from an earlier attempt is never in the way.
FileURL newStagingURL(const FileURL& folder);

// Removes `item`, a file the engine made itself, through `remove`, which is
// given the name to set it aside under first (see FileSystem::removeOwnFile):
// the name of `staging`, the staging file journaled for it, when that lies in
// the same folder and is free, since recovery knows it; else a new staging
// name. Throws what `remove` throws.
void removeSettingAside(const FileURL& item, const std::optional<FileURL>& staging,
                        const std::function<void(const std::string& aside)>& remove);

// A value several threads may read and write; each read and each write
// takes the lock. Changing it in place is a read then a write, not one
// locked step.
template <typename T>
class Box {
 public:
  explicit Box(T value) : storage_(std::move(value)) {}

  T value() const {
    std::lock_guard<std::mutex> guard(lock_);
    return storage_;
  }
  void setValue(T value) {
    std::lock_guard<std::mutex> guard(lock_);
    storage_ = std::move(value);
  }

 private:
  mutable std::mutex lock_;
  T storage_;
};

// Works through one FileSystem, which must outlive it. At every moment
// between its steps at least one complete copy of the file exists outside
// the Trash, and once it ends exactly one does. A copy it gives up on, made
// by its own copy and verified or never given the file's name, is removed
// while it is still that copy; anything else it gives up on goes to the
// Trash, never deleted. A source goes to the Trash only while it is still
// the very file that was copied. One object per transfer; not thread-safe.
class CrossVolumeMove {
 public:
  // Works in `folder`, the destination's folder as it was held when checked:
  // the staging file and the destination lie in it, and are made, checked,
  // renamed and removed through it, so a file never goes where the folder's
  // path may have come to lead meanwhile.
  CrossVolumeMove(FileSystem& fileSystem, std::shared_ptr<FileSystem::HeldFolder> folder)
      : fileSystem_(&fileSystem), folder_(std::move(folder)) {}

  // Copies `source` to the new name `staging`, makes the copy durable and
  // returns the source's identity as the copy opened it. A copy that fails
  // part-way leaves nothing at `staging` (the file system removes what it
  // wrote; a staging path that was already occupied is refused untouched
  // with refusedToOverwrite). A failed flush removes the copy and throws
  // copyFailed(source, staging). Throws the copy's own error otherwise.
  FileIdentity copyToStaging(const FileURL& source, const FileURL& staging);

  // Checks the copy at `staging`: its size against `expectedSize` when given,
  // then its digest against `expectedHash`. On any failure the staging file
  // is removed and the error is thrown: the read error unchanged, or
  // copyVerificationFailed(source, staging, sizeMismatch / hashMismatch).
  void verifyStaging(const FileURL& source, const FileURL& staging,
                     std::optional<int64_t> expectedSize, const ContentHash& expectedHash);

  // Renames `staging` to `destination` (never replacing anything) and makes
  // the new name durable in its folder. A failed rename removes the staging
  // file and throws the rename's error (refusedToOverwrite when the name was
  // taken; folderNoLongerNamed when the folder's path no longer leads to the
  // folder held). A failed flush gives up the copy now at `destination` and
  // throws copyFailed(source, destination).
  void placeStaging(const FileURL& source, const FileURL& staging, const FileURL& destination);

  // Once the copy is in place at `destination`, and before its source may
  // go to the Trash: makes durable the folders `folders` made on the way to
  // it, so that a power cut cannot take the copy's folder away. A failure
  // gives up the copy at `destination` and throws copyFailed(source,
  // destination).
  void makeFoldersDurable(const FileURL& source, const FileURL& destination,
                          DestinationFolders& folders);

  // Sends `source` to the Trash once its copy is in place at `destination`,
  // but only while it is still the file `copied` describes (as copyToStaging
  // gave it), and returns its Trash location. When it was edited or replaced
  // since, it stays where it is, the copy at `destination`, ours and now
  // stale, goes to the Trash (removed should no Trash take it), and
  // sourceChangedDuringMove is thrown. When no Trash takes it, it stays
  // where it is and the copy is removed: trashFailed is thrown, its text
  // saying what became of the copy; but when it is no longer at `source`
  // as it was copied (moved or deleted meanwhile), the copy is the one left
  // and stays, and the text says so. Should the source change in the very
  // instant of its move and be unable to go back, the copy stays and the
  // file system's moveFailed is thrown.
  std::optional<FileURL> trashSource(const FileURL& source, const FileIdentity& copied,
                                     const FileURL& destination);

  // Sends `item` to the Trash when anything is there, ignoring a failure:
  // for clean-up on a path whose error is already being reported.
  void trashQuietly(const FileURL& item);

 private:
  // True while `source` is still the file `copied` describes.
  bool stillInPlace(const FileURL& source, const FileIdentity& copied);
  // Gives up the staging file at `staging`: removed while it is still the
  // copy copyToStaging made there, else sent to the Trash (a failure of
  // either is ignored), since nothing but our own copy is ever removed.
  void discardStaging(const FileURL& staging);
  // Removes the copy placeStaging put at `destination` while it is still
  // that copy; false when it is not or cannot be removed.
  bool removePlaced(const FileURL& destination);
  // Gives up the copy at `destination`: removed while it is still ours,
  // else sent to the Trash. Tells what became of it.
  enum class Fate { removed, trashed, stayed };
  Fate discardPlaced(const FileURL& destination);
  // As discardPlaced, trying the Trash first: for a copy left stale by an
  // edit of its source, which the user may still want.
  void trashPlaced(const FileURL& destination);

  FileSystem* fileSystem_;
  std::shared_ptr<FileSystem::HeldFolder> folder_;
  // The staging file copyToStaging made, as it was made.
  std::optional<std::pair<FileURL, FileIdentity>> staged_;
  // The copy placeStaging put at its destination, as it was put there.
  std::optional<std::pair<FileURL, FileIdentity>> placed_;
};

}  // namespace rozuzed

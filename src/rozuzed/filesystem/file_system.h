// The engine's one way to the disk.
#pragma once

#include <optional>
#include <vector>

#include "rozuzed/model/file_metadata.h"
#include "rozuzed/model/sort_error.h"
#include "rozuzed/support/file_url.h"

namespace rozuzed {

// Every operation is synchronous and throws only SortError. Nothing guards
// against other processes changing the disk between two calls; moves and
// copies never replace an existing item, which is the last guard.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The direct children of `folder`, hidden ones included, unsorted, each as
  // `folder` with the child's name appended. Throws sourceUnreadable with
  // `folder` when it cannot be listed.
  virtual std::vector<FileURL> contentsOfDirectory(const FileURL& folder) = 0;

  // A fresh snapshot of the item itself (a symbolic link is described, not
  // followed). Throws sourceUnreadable with `item` when it is missing or
  // cannot be read; the snapshot of a link never fails.
  virtual FileMetadata metadata(const FileURL& item) = 0;

  // True when anything exists at the path, links followed (so a dangling
  // link is absent). Never throws.
  virtual bool fileExists(const FileURL& url) = 0;

  // The volume holding the item. Throws sourceUnreadable with `item`.
  virtual VolumeID volumeID(const FileURL& item) = 0;

  // The digest of the file's bytes. Throws hashUnreadable.
  virtual ContentHash contentHash(const FileURL& file) = 0;

  // Creates `folder` and any missing parents; an existing folder is success.
  // Throws destinationNotCreatable with `folder`.
  virtual void createDirectory(const FileURL& folder) = 0;

  // Throws refusedToOverwrite when the name `destination` is taken, whether
  // seen before the move or only at its moment (a dangling link, a race),
  // and touches nothing then; moveFailed when the move itself fails.
  virtual void moveItem(const FileURL& source, const FileURL& destination) = 0;

  // As moveItem, for a copy (a folder with everything in it); copyFailed.
  // A failed copy may leave a partial copy at `destination`.
  virtual void copyItem(const FileURL& source, const FileURL& destination) = 0;

  // Moves the item into the Trash and returns its new location, or absent
  // when none can be reported. Throws trashFailed with `item`.
  virtual std::optional<FileURL> trashItem(const FileURL& item) = 0;

  // Makes the item durable before returning: a file's contents, or a
  // folder's entries (names just created in it or moved into it), reach the
  // disk, so a power cut cannot undo them. Throws copyFailed with `item` as
  // both locations when that cannot be assured. The default does nothing,
  // for file systems that keep nothing on a disk.
  virtual void synchronize(const FileURL& item) { (void)item; }
};

}  // namespace rozuzed

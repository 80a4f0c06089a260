// The folders one apply or undo run moves files into.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "rozuzed/filesystem/file_system.h"
#include "rozuzed/model/file_metadata.h"
#include "rozuzed/support/file_url.h"

namespace rozuzed {

// Makes each destination folder once per run and reads its volume once, so
// that neither is repeated for every file. Remembers which folders the run
// made itself: once a file's source is in the Trash, a folder made for its
// copy may hold the only copy outside it, so that folder's own name must be
// durable in its parent by then, not only the names inside it.
//
// Owned by one run and used from one thread; the file system must outlive
// it. Files go into each folder as it was held when checked, never into a
// Trash. A folder removed, moved or replaced by someone else during the run
// is not made again: the moves into it fail, and their files stay where
// they are.
class DestinationFolders {
 public:
  explicit DestinationFolders(FileSystem& fileSystem) : fileSystem_(&fileSystem) {}

  // Makes `folder` and its missing parents the first time the run needs it,
  // and holds it; later calls do nothing. Throws destinationInTrash, before
  // anything is made when its path shows it, when the folder is in a Trash;
  // destinationNotCreatable or sourceUnreadable when it cannot be made or
  // held; and then tries again at the next call.
  void prepare(const FileURL& folder);

  // `folder`, prepared, as it was held when it was checked. Throws as
  // prepare.
  std::shared_ptr<FileSystem::HeldFolder> held(const FileURL& folder);

  // The volume of `folder`, read at the first call. Throws sourceUnreadable.
  const VolumeID& volume(const FileURL& folder);

  // Whether `folder`, prepared, was missing until this run made it: nothing
  // the run did not put there can have been in it then.
  bool madeByThisRun(const FileURL& folder) const;

  // The folders this run made (each level of a path it had to make,
  // outermost first) since the last call, for the journal to remember.
  std::vector<FileURL> takeMadeSinceLastAsked();

  // Makes durable, each in its parent and outermost first, the folders that
  // this run made on the way to `folder` and that are not durable yet.
  // Throws copyFailed, and then tries again at the next call.
  void makeDurable(const FileURL& folder);

 private:
  FileSystem* fileSystem_;
  struct Folder {
    bool madeByThisRun = false;
    std::optional<VolumeID> volume;
    std::shared_ptr<FileSystem::HeldFolder> held;
  };

  // By path: the folders prepared.
  std::unordered_map<std::string, Folder> folders_;
  // Made by this run and not yet durable in their parents.
  std::vector<FileURL> madeNotDurable_;
  // Made by this run and not yet handed to takeMadeSinceLastAsked.
  std::vector<FileURL> madeNotTaken_;
};

}  // namespace rozuzed

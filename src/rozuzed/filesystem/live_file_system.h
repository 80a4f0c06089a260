// The file system the engine runs against: the real disk, through Linux
// calls.
#pragma once

#include <cstddef>
#include <functional>

#include "rozuzed/filesystem/file_system.h"

namespace rozuzed {

// Holds nothing and takes no locks; every operation may run on any thread.
// Snapshots are read from the disk on every call, never cached.
//
// Beyond FileSystem's promises:
// - a move is one rename, never a copy and delete: across mounts it fails
//   with moveFailed. Where the file system cannot rename without replacing,
//   a file moves by a hard link and an unlink, and a folder is refused with
//   moveFailed;
// - a copy keeps the bytes (a kernel copy, a reflink where the file system
//   offers one), the mode, the modification time, the user.* extended
//   attributes and the POSIX ACLs; an attribute the destination refuses is
//   left behind without failing the copy. Every file a copy writes is
//   flushed to the disk before copyItem returns;
// - a volume is the mount point that holds the item's real path together
//   with the item's device;
// - an item is in the Trash also when a folder above it is one of the
//   Trash's folders by device and inode, reached through a link or a bind
//   mount;
// - content types: "public.folder" for a folder, "com.apple.package" for a
//   package folder, the registry's type for a regular file's extension or
//   else "public.data", none for anything else;
// - a snapshot of an item whose name is not valid UTF-8 fails with
//   sourceUnreadable, so such items are left alone;
// - a move or a copy never removes anything else: a Trash record goes only
//   through forgetTrashedItem.
class LiveFileSystem final : public FileSystem {
 public:
  std::vector<FileURL> contentsOfDirectory(const FileURL& folder) override;
  FileMetadata metadata(const FileURL& item) override;
  FileMetadata facts(const FileURL& item) override;
  // Holds the folder open, and describes a child of it through that.
  std::unique_ptr<FolderFacts> factsWithin(const FileURL& folder) override;
  bool takesFactsConcurrently() const override { return true; }
  std::vector<std::string> downloadSources(const FileURL& item) override;
  bool fileExists(const FileURL& url) override;
  VolumeID volumeID(const FileURL& item) override;
  ContentHash contentHash(const FileURL& file) override;
  void createDirectory(const FileURL& folder) override;
  void moveItem(const FileURL& source, const FileURL& destination) override;
  FileIdentity copyItem(const FileURL& source, const FileURL& destination) override;
  FileIdentity identity(const FileURL& item) override;
  std::optional<FileURL> trashItem(const FileURL& item) override;
  std::optional<FileURL> trashItemIfUnchanged(const FileURL& item,
                                              const FileIdentity& expected) override;
  void forgetTrashedItem(const FileURL& trashedLocation, const FileURL& originalLocation) override;
  void forgetUnwrittenTrashRecords(const FileURL& item) override;
  void removeEmptyFolder(const FileURL& folder) override;
  bool isInTrash(const FileURL& item) override;
  // Finds the Trash's folders once, among the mounts, for every question.
  std::unique_ptr<TrashCheck> trashCheck() override;
  void synchronize(const FileURL& item) override;
  void removeOwnFile(const FileURL& item, const FileIdentity& made,
                     const std::string& aside) override;
  // Held by an open descriptor, its device and inode.
  std::shared_ptr<HeldFolder> holdFolder(const FileURL& folder) override;
  bool stillNames(const HeldFolder& folder) override;
  bool isHeldInTrash(const HeldFolder& folder) override;
  void moveInto(const FileURL& source, const HeldFolder& folder, const std::string& name) override;
  FileIdentity copyInto(const FileURL& source, const HeldFolder& folder,
                        const std::string& name) override;
  void renameWithin(const HeldFolder& folder, const std::string& from,
                    const std::string& to) override;
  FileIdentity identityIn(const HeldFolder& folder, const std::string& name) override;
  Arrival arrivalIn(const HeldFolder& folder, const std::string& name) override;
  ContentHash contentHashIn(const HeldFolder& folder, const std::string& name) override;
  void synchronizeHeld(const HeldFolder& folder) override;
  void synchronizeIn(const HeldFolder& folder, const std::string& name) override;
  void removeOwnFileIn(const HeldFolder& folder, const std::string& name, const FileIdentity& made,
                       const std::string& aside) override;

  // Empty but in tests: answers in place of fsetxattr(fd, name, value, size,
  // 0) as a copy sets an attribute on what it wrote, the way the kernel does
  // (0, or -1 with errno set), so a test can stage a destination that
  // refuses one.
  static std::function<int(int fd, const char* name, const void* value, std::size_t size)>&
  setAttributeSeam();

  // Empty but in tests: called when a file the engine made has been found
  // to be that file and is about to be removed, so a test can put another
  // file under its name at that very moment.
  static std::function<void()>& ownFileCheckedSeam();

  // Empty but in crash tests: called after each piece of at most
  // copyPieceSize bytes that a copy writes, so a test can stop a copy partway
  // at a known place. While it is set, copies go in such pieces.
  static constexpr std::size_t copyPieceSize = 1 << 20;
  static std::function<void()>& copyPieceSeam();

 private:
  // An open folder whose children are described through it.
  struct Folder;
  // A folder held by this file system; null for one held by another.
  struct Held;
  static const Held* held(const HeldFolder& folder);
  // `folder`, when given, holds `item`, which is then found by its name in it.
  FileMetadata snapshot(const FileURL& item, bool withDownloadSources, Folder* folder = nullptr);
};

}  // namespace rozuzed

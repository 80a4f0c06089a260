// The engine's one way to the disk.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "rozuzed/filesystem/file_identity.h"
#include "rozuzed/model/file_metadata.h"
#include "rozuzed/model/sort_error.h"
#include "rozuzed/support/file_url.h"

namespace rozuzed {

// The failure of a move into a folder whose path came to name another
// folder while the move was under way; the file stayed where it was.
inline SortError folderNoLongerNamed(const FileURL& source, const FileURL& destination) {
  return SortError::moveFailed(
      source, destination,
      "its folder was moved or replaced meanwhile, so the file was left where it was");
}

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

  // The snapshot `metadata` takes, less the download sources (`whereFroms`
  // empty): they cost reads of their own, and most checks of a file never
  // look at them. Throws as `metadata`. The default is `metadata` itself.
  virtual FileMetadata facts(const FileURL& item) { return metadata(item); }

  // Takes the facts of children of one folder, one after another. Made by
  // `factsWithin`.
  class FolderFacts {
   public:
    virtual ~FolderFacts() = default;
    // What `facts` gives for `child`, a child of the folder as
    // contentsOfDirectory spells it; throws as `facts`.
    virtual FileMetadata facts(const FileURL& child) = 0;
  };

  // For the facts of many children of `folder` in a row. A file system may
  // hold the folder while the result lives and find each child by its name
  // in it, rather than walk the folder's whole path again for each one; the
  // children are then those of the folder as it was when this was called,
  // should it be moved meanwhile. Never throws. The default asks `facts`.
  virtual std::unique_ptr<FolderFacts> factsWithin(const FileURL& folder) {
    (void)folder;
    struct ByPath final : FolderFacts {
      explicit ByPath(FileSystem& fileSystem) : fileSystem(fileSystem) {}
      FileMetadata facts(const FileURL& child) override { return fileSystem.facts(child); }
      FileSystem& fileSystem;
    };
    return std::make_unique<ByPath>(*this);
  }

  // Whether several threads may take facts at once, each through a
  // FolderFacts of its own (and `facts` itself): a long listing is then
  // described on several cores. The default is no.
  virtual bool takesFactsConcurrently() const { return false; }

  // The download sources a snapshot of the item would hold; empty when
  // there are none or the item cannot be read. Never throws.
  virtual std::vector<std::string> downloadSources(const FileURL& item) {
    try {
      return metadata(item).whereFroms;
    } catch (const SortError&) {
      return {};
    }
  }

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
  // Returns the identity of the source as the copy opened it. A failed copy
  // leaves nothing at `destination`: what it wrote there is its own, made
  // new by this call, and is removed, never sent to the Trash.
  virtual FileIdentity copyItem(const FileURL& source, const FileURL& destination) = 0;

  // The identity of the item itself (a link is not followed). Throws
  // sourceUnreadable with `item`.
  virtual FileIdentity identity(const FileURL& item) = 0;

  // Moves the item into the Trash and returns its new location, or absent
  // when none can be reported. Throws trashFailed with `item`.
  virtual std::optional<FileURL> trashItem(const FileURL& item) = 0;

  // As trashItem, but only while the item is still the file `expected`
  // describes, checked as close to the move as the system allows. Otherwise
  // it stays where it is and sourceChangedDuringMove with `item` is thrown.
  // Should it change in the very instant of the move and its place be taken
  // before it can go back, it stays in the Trash and moveFailed names its
  // Trash location as the source and `item` as the destination.
  virtual std::optional<FileURL> trashItemIfUnchanged(const FileURL& item,
                                                      const FileIdentity& expected) = 0;

  // After the engine took an item it had sent to the Trash back out of it:
  // drops the Trash's record of that item, which lay at `trashedLocation`
  // (a location trashItem gave) and came from `originalLocation`. Nothing
  // is removed unless the record is that item's own and the item has left.
  // Never throws.
  virtual void forgetTrashedItem(const FileURL& trashedLocation,
                                 const FileURL& originalLocation) = 0;

  // Drops the Trash's records that a move of `item` into the Trash left
  // empty when it was cut short between reserving the item's name and
  // writing the record: records named as the item would be named there,
  // empty, with nothing of that name among the Trash's files. Such a record
  // describes nothing, yet keeps its name taken for good. Anything else is
  // left alone; never throws.
  virtual void forgetUnwrittenTrashRecords(const FileURL& item) = 0;

  // Removes the folder only while it is empty: a remove-directory call,
  // which can never take anything with it. Throws destinationNotCreatable
  // with `folder` when it is not removed (it holds something, is gone, or
  // is not a folder).
  virtual void removeEmptyFolder(const FileURL& folder) = 0;

  // True when the item is one of the Trash's folders or lies inside one:
  // the home Trash, or a volume's shared or per-user Trash. Never throws.
  virtual bool isInTrash(const FileURL& item) = 0;

  // Answers isInTrash for one item after another, the Trash's folders taken
  // as they were at the first question: for a scan, which asks of its
  // folder and of each folder it plans into. Made by `trashCheck`.
  class TrashCheck {
   public:
    virtual ~TrashCheck() = default;
    // Never throws.
    virtual bool contains(const FileURL& item) = 0;
  };

  // The default asks isInTrash each time.
  virtual std::unique_ptr<TrashCheck> trashCheck() {
    struct EachTime final : TrashCheck {
      explicit EachTime(FileSystem& fileSystem) : fileSystem(fileSystem) {}
      bool contains(const FileURL& item) override { return fileSystem.isInTrash(item); }
      FileSystem& fileSystem;
    };
    return std::make_unique<EachTime>(*this);
  }

  // Makes the item durable before returning: a file's contents, or a
  // folder's entries (names just created in it or moved into it), reach the
  // disk, so a power cut cannot undo them. Throws copyFailed with `item` as
  // both locations when that cannot be assured. The default does nothing,
  // for file systems that keep nothing on a disk.
  virtual void synchronize(const FileURL& item) { (void)item; }

  // A folder held as it was when it was checked: what is made in it through
  // the calls below lands in that folder, even should its path come to name
  // another (a link swapped in, the folder renamed). The base holds it by
  // its path alone, for file systems that keep nothing on a disk.
  class HeldFolder {
   public:
    explicit HeldFolder(FileURL url) : url_(std::move(url)) {}
    virtual ~HeldFolder() = default;
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;

    // The folder's path as it was held.
    const FileURL& url() const { return url_; }
    FileURL child(const std::string& name) const { return url_.appendingPathComponent(name); }

   private:
    FileURL url_;
  };

  // Holds the existing folder `folder` names now, links followed. Throws
  // sourceUnreadable with `folder`.
  virtual std::shared_ptr<HeldFolder> holdFolder(const FileURL& folder) {
    return std::make_shared<HeldFolder>(folder);
  }

  // Whether the path the folder was held by names that folder still. The
  // base, holding by path, always says yes. Never throws.
  virtual bool stillNames(const HeldFolder& folder) {
    (void)folder;
    return true;
  }

  // True when the held folder is one of the Trash's folders or lies inside
  // one. Never throws.
  virtual bool isHeldInTrash(const HeldFolder& folder) { return isInTrash(folder.url()); }

  // As moveItem, copyItem, identity, contentHash, synchronize and
  // removeOwnFile, for the item `name` in the held folder.
  // A move or a rename into it first makes sure its path still names it,
  // and throws folderNoLongerNamed touching nothing when it does not; the
  // same when the path stopped naming it as the item went in, once the item
  // is back where it came from.
  virtual void moveInto(const FileURL& source, const HeldFolder& folder, const std::string& name) {
    moveItem(source, folder.child(name));
  }
  virtual FileIdentity copyInto(const FileURL& source, const HeldFolder& folder,
                                const std::string& name) {
    return copyItem(source, folder.child(name));
  }
  // Renames `from` to `to`, both in the held folder, never replacing.
  virtual void renameWithin(const HeldFolder& folder, const std::string& from,
                            const std::string& to) {
    moveItem(folder.child(from), folder.child(to));
  }
  virtual FileIdentity identityIn(const HeldFolder& folder, const std::string& name) {
    return identity(folder.child(name));
  }
  // A final link is not followed: it cannot be hashed.
  // What is kept of the item `name` just put into the held folder: its
  // fingerprint as `facts` gives it and which file it is, each absent when
  // it cannot be read. Never throws. The default asks `facts` and
  // `identityIn`.
  struct Arrival {
    std::optional<FileFingerprint> fingerprint;
    std::optional<FileIdentity> identity;
  };
  virtual Arrival arrivalIn(const HeldFolder& folder, const std::string& name) {
    Arrival out;
    try {
      out.fingerprint = facts(folder.child(name)).fingerprint();
    } catch (const SortError&) {
    }
    try {
      out.identity = identityIn(folder, name);
    } catch (const SortError&) {
    }
    return out;
  }
  virtual ContentHash contentHashIn(const HeldFolder& folder, const std::string& name) {
    return contentHash(folder.child(name));
  }
  virtual void synchronizeHeld(const HeldFolder& folder) { synchronize(folder.url()); }
  virtual void synchronizeIn(const HeldFolder& folder, const std::string& name) {
    synchronize(folder.child(name));
  }
  virtual void removeOwnFileIn(const HeldFolder& folder, const std::string& name,
                               const FileIdentity& made, const std::string& aside) {
    removeOwnFile(folder.child(name), made, aside);
  }

  // Removes the regular file at `item` that the engine made itself and now
  // gives up (a staging copy, or a placed copy whose original stays), only
  // while it is still the file `made` describes, as identity() gave it. It
  // first goes, never replacing, to the name `aside` in its folder, a hidden
  // name nobody else uses (one recovery knows as a staging file), and is
  // judged again there, so that a file another program put under its name
  // after the first look is never what goes: that one is put back and
  // sourceChangedDuringMove thrown. Throws sourceChangedDuringMove with
  // `item`, touching nothing, when anything else is there at first;
  // refusedToOverwrite with `item`, touching nothing, when `aside` is taken;
  // copyFailed with `item` as both locations when it cannot be removed. The
  // default sends it to the Trash instead.
  virtual void removeOwnFile(const FileURL& item, const FileIdentity& made,
                             const std::string& aside) {
    (void)aside;
    trashItemIfUnchanged(item, made);
  }
};

}  // namespace rozuzed

// A FileSystem held in memory, for tests where the behaviour under test is
// the engine's rather than the disk's. Several volumes (mount points), a
// Trash per volume, symbolic links, a log of every call and hooks that can
// fail a call or change the tree just before or after it. Every item has an
// inode of its own (kept by a move, new for a copy) and a change count that
// stands in for the status-change time, so identities behave as on a disk.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "rozuzed/filesystem/file_system.h"

namespace rozuzed::testing {

// Not thread-safe: one test drives it from one thread. The set-up and
// inspection helpers neither log nor run hooks.
class InMemoryFileSystem final : public FileSystem {
 public:
  enum class Operation {
    contentsOfDirectory,
    metadata,
    fileExists,
    volumeID,
    contentHash,
    createDirectory,
    moveItem,
    copyItem,
    // Both ways to the Trash, checked or not.
    trashItem,
    synchronize,
    identity,
    forgetTrashedItem,
    isInTrash,
    removeOwnFile,
    removeEmptyFolder,
  };

  // One call through the interface: its operation, its first URL and, for
  // moves and copies, the destination; for forgetTrashedItem the original
  // location.
  struct Call {
    Operation operation;
    FileURL url;
    std::optional<FileURL> destination;
  };

  struct FileSpec {
    std::string contents;
    Date modificationDate = 1000;
    Date creationDate = 1000;
    std::optional<std::string> contentType;
    std::vector<std::string> whereFroms;
  };

  // `mountPoints` name the volumes; "/" is always one of them.
  explicit InMemoryFileSystem(std::vector<std::string> mountPoints = {});

  // Set-up. Missing parent folders are made. Adding over an existing item
  // replaces it.
  void addFolder(const std::string& path);
  void addFile(const std::string& path, FileSpec spec);
  // A default argument of a nested type with member initializers is refused
  // by GCC inside the enclosing class, hence the overload.
  void addFile(const std::string& path) { addFile(path, FileSpec()); }
  void addSymbolicLink(const std::string& path, const std::string& target);
  void setContents(const std::string& path, const std::string& contents);
  void setModificationDate(const std::string& path, Date date);
  // Removes the item and everything below it.
  void remove(const std::string& path);
  // As a write that keeps the size and sets the modification time back:
  // only the change count moves.
  void touchWithoutTrace(const std::string& path);

  // Inspection.
  bool exists(const std::string& path) const;
  std::optional<std::string> contents(const std::string& path) const;
  std::optional<Date> modificationDate(const std::string& path) const;
  // Every path held, folders included, in sorted order.
  std::vector<std::string> allPaths() const;
  // The locations that trashItem gave out, in order.
  const std::vector<FileURL>& trashed() const { return trashed_; }
  // The identity identity() would give, without logging; absent when
  // nothing is there.
  std::optional<FileIdentity> identityOf(const std::string& path) const;
  const std::vector<Call>& calls() const { return calls_; }
  std::vector<Call> calls(Operation operation) const;
  void clearCalls() { calls_.clear(); }

  // Run with every call, after it is logged: `beforeCall` before anything is
  // done (throwing fails the call, changing the tree races it), `afterCall`
  // only after success.
  std::function<void(const Call&)> beforeCall;
  std::function<void(const Call&)> afterCall;
  // When false, trashItem still trashes but reports no location.
  bool reportsTrashLocation = true;

  std::vector<FileURL> contentsOfDirectory(const FileURL& folder) override;
  FileMetadata metadata(const FileURL& item) override;
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
  // At or below "<mount>/.Trash" of any volume.
  bool isInTrash(const FileURL& item) override;
  void synchronize(const FileURL& item) override;
  // The name `aside` is not used: nothing races a file held in memory.
  void removeOwnFile(const FileURL& item, const FileIdentity& made,
                     const std::string& aside) override;
  // Its Trash keeps no records, so there is nothing to drop.
  void forgetUnwrittenTrashRecords(const FileURL&) override {}
  void removeEmptyFolder(const FileURL& folder) override;

 private:
  enum class Kind { file, folder, link };
  struct Node {
    Kind kind = Kind::file;
    std::string contents;
    Date modificationDate = 1000;
    Date creationDate = 1000;
    std::optional<std::string> contentType;
    std::vector<std::string> whereFroms;
    std::string linkTarget;
    uint64_t inode = freshInode();
    uint64_t changes = 0;
  };

  static uint64_t freshInode();
  std::optional<FileURL> moveToTrash(const FileURL& item);

  void record(Operation operation, const FileURL& url,
              const std::optional<FileURL>& destination = std::nullopt);
  void finished(Operation operation, const FileURL& url,
                const std::optional<FileURL>& destination = std::nullopt);
  const Node* find(const std::string& path) const;
  // Follows links to the item they name; null when nothing is there.
  const Node* resolve(const std::string& path, std::string* resolvedPath = nullptr) const;
  void makeParents(const std::string& path);
  std::string mountPoint(const std::string& path) const;
  // Moves or copies the item at `from` and everything below it to `to`.
  void transplant(const std::string& from, const std::string& to, bool keepSource);

  std::vector<std::string> mountPoints_;
  std::map<std::string, Node> nodes_;
  std::vector<Call> calls_;
  std::vector<FileURL> trashed_;
};

}  // namespace rozuzed::testing

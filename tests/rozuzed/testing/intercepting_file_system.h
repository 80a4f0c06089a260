// The live file system with places where a test can step in, the way a
// faulty disk or another program would: before a move, after a copy, just
// before an item is sent to the Trash, and just before a move into a held
// folder.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "rozuzed/filesystem/live_file_system.h"

namespace rozuzed::testing {

// Passes every call to a LiveFileSystem. `beforeMove` runs with the source
// and the destination before a move; `afterCopy` runs after a successful
// copy with the source and the copy; `beforeTrash` runs with the item before
// either way to the Trash is taken.
class InterceptingFileSystem final : public FileSystem {
 public:
  std::vector<FileURL> contentsOfDirectory(const FileURL& f) override {
    return live.contentsOfDirectory(f);
  }
  FileMetadata metadata(const FileURL& i) override { return live.metadata(i); }
  bool fileExists(const FileURL& u) override { return live.fileExists(u); }
  VolumeID volumeID(const FileURL& i) override { return live.volumeID(i); }
  ContentHash contentHash(const FileURL& f) override { return live.contentHash(f); }
  void createDirectory(const FileURL& f) override { live.createDirectory(f); }
  void moveItem(const FileURL& s, const FileURL& d) override {
    if (beforeMove) beforeMove(s, d);
    live.moveItem(s, d);
  }
  FileIdentity copyItem(const FileURL& s, const FileURL& d) override {
    FileIdentity opened = live.copyItem(s, d);
    if (afterCopy) afterCopy(s, d);
    return opened;
  }
  FileIdentity identity(const FileURL& i) override { return live.identity(i); }
  std::optional<FileURL> trashItem(const FileURL& i) override {
    if (beforeTrash) beforeTrash(i);
    return live.trashItem(i);
  }
  std::optional<FileURL> trashItemIfUnchanged(const FileURL& i, const FileIdentity& e) override {
    if (beforeTrash) beforeTrash(i);
    return live.trashItemIfUnchanged(i, e);
  }
  void forgetTrashedItem(const FileURL& t, const FileURL& o) override {
    live.forgetTrashedItem(t, o);
  }
  void forgetUnwrittenTrashRecords(const FileURL& i) override {
    live.forgetUnwrittenTrashRecords(i);
  }
  void removeEmptyFolder(const FileURL& f) override { live.removeEmptyFolder(f); }
  bool isInTrash(const FileURL& i) override { return live.isInTrash(i); }
  void synchronize(const FileURL& i) override { live.synchronize(i); }
  void removeOwnFile(const FileURL& i, const FileIdentity& m, const std::string& a) override {
    live.removeOwnFile(i, m, a);
  }
  std::shared_ptr<HeldFolder> holdFolder(const FileURL& f) override { return live.holdFolder(f); }
  bool stillNames(const HeldFolder& f) override { return live.stillNames(f); }
  bool isHeldInTrash(const HeldFolder& f) override { return live.isHeldInTrash(f); }
  void moveInto(const FileURL& s, const HeldFolder& f, const std::string& n) override {
    if (beforeMoveInto) beforeMoveInto(s, f.child(n));
    live.moveInto(s, f, n);
  }
  FileIdentity copyInto(const FileURL& s, const HeldFolder& f, const std::string& n) override {
    FileIdentity opened = live.copyInto(s, f, n);
    if (afterCopy) afterCopy(s, f.child(n));
    return opened;
  }
  void renameWithin(const HeldFolder& f, const std::string& from, const std::string& to) override {
    live.renameWithin(f, from, to);
  }
  Arrival arrivalIn(const HeldFolder& f, const std::string& n) override {
    return live.arrivalIn(f, n);
  }
  FileIdentity identityIn(const HeldFolder& f, const std::string& n) override {
    return live.identityIn(f, n);
  }
  ContentHash contentHashIn(const HeldFolder& f, const std::string& n) override {
    return live.contentHashIn(f, n);
  }
  void synchronizeHeld(const HeldFolder& f) override { live.synchronizeHeld(f); }
  void synchronizeIn(const HeldFolder& f, const std::string& n) override {
    live.synchronizeIn(f, n);
  }
  void removeOwnFileIn(const HeldFolder& f, const std::string& n, const FileIdentity& m,
                       const std::string& a) override {
    live.removeOwnFileIn(f, n, m, a);
  }

  LiveFileSystem live;
  std::function<void(const FileURL& source, const FileURL& destination)> beforeMove;
  std::function<void(const FileURL& source, const FileURL& copy)> afterCopy;
  std::function<void(const FileURL& item)> beforeTrash;
  // Runs before a move into a held folder, with the source and the path it
  // is to take, the way another program could step in just then.
  std::function<void(const FileURL& source, const FileURL& destination)> beforeMoveInto;
};

}  // namespace rozuzed::testing

// Which file an item is, and how its bytes stood, at one moment.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct statx;

namespace rozuzed {

// Two identities are equal only for the same file (device and inode) whose
// size, modification time and status-change time have not moved in
// between. Any write to a file moves its status-change time, also one whose
// modification time is set back afterwards, so an equal identity means the
// bytes read at the first moment are the bytes there at the second.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  // Nanoseconds since 1970.
  int64_t modificationTime = 0;
  int64_t statusChangeTime = 0;

  bool operator==(const FileIdentity&) const = default;

  // The same file with the same size and modification time; the
  // status-change time is left out, since moving a file moves it.
  bool sameFileAndContents(const FileIdentity& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           modificationTime == other.modificationTime;
  }
};

// Of the item the statx `info` describes (made with at least
// STATX_BASIC_STATS).
FileIdentity identityOfStatx(const struct ::statx& info);

// The live layer's readings, from statx. Absent on failure; errno tells why.
// Of the file `fd` is open on.
std::optional<FileIdentity> identityOfDescriptor(int fd);
// Of the item at `path` itself: a final link is not followed.
std::optional<FileIdentity> identityOfPath(const std::string& path);
// Of the item `name` in the open folder `folder` itself.
std::optional<FileIdentity> identityInFolder(int folder, const std::string& name);

}  // namespace rozuzed

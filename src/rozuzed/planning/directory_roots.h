// The base folders that rule destinations are relative to.
#pragma once

#include <cstddef>

#include "rozuzed/model/destination.h"
#include "rozuzed/support/file_url.h"

namespace rozuzed {

// The user's home folder and the five standard folders below it. A plain
// value: nothing is read from disk, created or tested for existence.
struct DirectoryRoots {
  // Stores the six URLs unchanged.
  DirectoryRoots(FileURL home, FileURL documents, FileURL pictures, FileURL downloads,
                 FileURL movies, FileURL music);
  // Documents, Pictures, Downloads, Movies and Music below `home`, each a
  // folder URL.
  explicit DirectoryRoots(const FileURL& home);

  // The roots of the current user's home folder, looked up afresh on every
  // call: $HOME, else the user database, else "/".
  static DirectoryRoots current();

  // The base folder of `root`, as stored (not standardized); for
  // sourceFolder, `sourceFolder` unchanged.
  FileURL url(DestinationRoot root, const FileURL& sourceFolder) const;

  bool operator==(const DirectoryRoots&) const = default;
  std::size_t hash() const;

  FileURL home;
  FileURL documents;
  FileURL pictures;
  FileURL downloads;
  FileURL movies;
  FileURL music;
};

}  // namespace rozuzed

template <>
struct std::hash<rozuzed::DirectoryRoots> {
  std::size_t operator()(const rozuzed::DirectoryRoots& roots) const noexcept {
    return roots.hash();
  }
};

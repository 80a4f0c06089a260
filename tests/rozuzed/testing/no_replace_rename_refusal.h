// Stages a file system that refuses to rename without replacing.
#pragma once

#include <cerrno>
#include <string>

#include "rozuzed/filesystem/no_replace_move.h"

namespace rozuzed::testing {

// While it lives, every renameat2 with RENAME_NOREPLACE of the live file
// system and the Trash answers EINVAL, as it does on NFS, CIFS and some FUSE
// file systems; `calls` counts them. Process-wide, like the seam it sets.
class ScopedNoReplaceRenameRefusal {
 public:
  ScopedNoReplaceRenameRefusal() {
    NoReplaceMove::renameSeam() = [this](const std::string&, const std::string&) {
      ++calls;
      errno = EINVAL;
      return -1;
    };
  }
  ~ScopedNoReplaceRenameRefusal() { NoReplaceMove::renameSeam() = nullptr; }
  ScopedNoReplaceRenameRefusal(const ScopedNoReplaceRenameRefusal&) = delete;
  ScopedNoReplaceRenameRefusal& operator=(const ScopedNoReplaceRenameRefusal&) = delete;

  int calls = 0;
};

}  // namespace rozuzed::testing

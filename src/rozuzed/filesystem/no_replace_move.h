// Moving an item to a name that must be free, on every kind of file system
// Linux mounts.
#pragma once

#include <functional>
#include <string>

namespace rozuzed {

struct NoReplaceMove {
  // Not an errno: `from` is a folder on a file system that cannot move one
  // without the risk of replacing an item at `to`, so it stayed.
  static constexpr int folderRefused = -1;

  // Moves the item `from` itself (a final link is moved, not followed) to
  // `to` without ever replacing anything there: one renameat2 with
  // RENAME_NOREPLACE, or where the file system refuses that flag (NFS, CIFS
  // and some FUSE file systems answer EINVAL) a hard link made at `to`, which
  // never replaces either, and then `from` unlinked. Returns 0 when the item
  // moved; otherwise both names are as they were and the result is
  // folderRefused or the errno of the failure, EEXIST when `to` is taken.
  static int move(const std::string& from, const std::string& to);

  // As move, with `from` relative to the open folder `fromFolder` and `to`
  // to `toFolder` (either may be AT_FDCWD).
  static int moveAt(int fromFolder, const std::string& from, int toFolder, const std::string& to);

  // The text of a failure that `move` returned.
  static std::string failureText(int error);

  // Empty but in tests: answers in place of renameat2 with RENAME_NOREPLACE
  // the way the kernel does (0, or -1 with errno set), so a test can stage a
  // file system that refuses the flag.
  static std::function<int(const std::string& from, const std::string& to)>& renameSeam();
};

}  // namespace rozuzed

#include "rozuzed/filesystem/no_replace_move.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "rozuzed/filesystem/mount_table.h"
#include "rozuzed/support/text.h"

namespace rozuzed {
namespace {

// EINVAL also means a folder moved into itself, on every file system; that
// answer stands.
bool movesIntoItself(const std::string& folder, const std::string& to) {
  auto source = realLocation(folder);
  auto target = realLocation(to);
  return source && target && isAtOrBelow(*target, *source);
}

bool sameItem(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int linkThenUnlink(int fromFolder, const char* from, int toFolder, const char* to) {
  if (::linkat(fromFolder, from, toFolder, to, 0) != 0) return errno;
  struct stat linked {};
  struct stat source {};
  if (::fstatat(toFolder, to, &linked, AT_SYMLINK_NOFOLLOW) != 0) return errno;
  // Another item took the old name in the meantime: the moved one is at
  // `to` already, and the newcomer is not this move's to remove.
  if (::fstatat(fromFolder, from, &source, AT_SYMLINK_NOFOLLOW) != 0 || !sameItem(source, linked)) {
    return 0;
  }
  if (::unlinkat(fromFolder, from, 0) == 0) return 0;
  int error = errno;
  // The item stays at its old name (its folder may not let it go), so the
  // new name this call made is taken back.
  struct stat now {};
  if (::fstatat(toFolder, to, &now, AT_SYMLINK_NOFOLLOW) == 0 && sameItem(now, linked)) {
    ::unlinkat(toFolder, to, 0);
  }
  return error;
}

}  // namespace

int NoReplaceMove::move(const std::string& from, const std::string& to) {
  return moveAt(AT_FDCWD, from, AT_FDCWD, to);
}

int NoReplaceMove::moveAt(int fromFolder, const std::string& from, int toFolder,
                          const std::string& to) {
  const auto& seam = renameSeam();
  int result = seam ? seam(from, to)
                    : ::renameat2(fromFolder, from.c_str(), toFolder, to.c_str(), RENAME_NOREPLACE);
  if (result == 0) return 0;
  int error = errno;
  if (error != EINVAL) return error;
  struct stat item {};
  if (::fstatat(fromFolder, from.c_str(), &item, AT_SYMLINK_NOFOLLOW) != 0) return errno;
  if (S_ISDIR(item.st_mode)) {
    // Only paths tell whether a folder would move into itself.
    const bool byPath = fromFolder == AT_FDCWD && toFolder == AT_FDCWD;
    return byPath && movesIntoItself(from, to) ? EINVAL : folderRefused;
  }
  return linkThenUnlink(fromFolder, from.c_str(), toFolder, to.c_str());
}

std::string NoReplaceMove::failureText(int error) {
  if (error == folderRefused) {
    return "This file system cannot move a folder without the risk of replacing another item";
  }
  return errnoDescription(error);
}

std::function<int(const std::string&, const std::string&)>& NoReplaceMove::renameSeam() {
  static std::function<int(const std::string&, const std::string&)> seam;
  return seam;
}

}  // namespace rozuzed

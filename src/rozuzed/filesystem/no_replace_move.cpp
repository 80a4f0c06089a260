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

int linkThenUnlink(const std::string& from, const std::string& to) {
  if (::linkat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 0) != 0) return errno;
  struct stat linked {};
  struct stat source {};
  if (::lstat(to.c_str(), &linked) != 0) return errno;
  // Another item took the old name in the meantime: the moved one is at
  // `to` already, and the newcomer is not this move's to remove.
  if (::lstat(from.c_str(), &source) != 0 || !sameItem(source, linked)) return 0;
  if (::unlink(from.c_str()) == 0) return 0;
  int error = errno;
  // The item stays at its old name (its folder may not let it go), so the
  // new name this call made is taken back.
  struct stat now {};
  if (::lstat(to.c_str(), &now) == 0 && sameItem(now, linked)) ::unlink(to.c_str());
  return error;
}

}  // namespace

int NoReplaceMove::move(const std::string& from, const std::string& to) {
  const auto& seam = renameSeam();
  int result = seam ? seam(from, to)
                    : ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
  if (result == 0) return 0;
  int error = errno;
  if (error != EINVAL) return error;
  struct stat item {};
  if (::lstat(from.c_str(), &item) != 0) return errno;
  if (S_ISDIR(item.st_mode)) return movesIntoItself(from, to) ? EINVAL : folderRefused;
  return linkThenUnlink(from, to);
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

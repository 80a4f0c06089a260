#include "rozuzed/filesystem/file_identity.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace rozuzed {
namespace {

int64_t nanoseconds(const statx_timestamp& time) {
  return static_cast<int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

std::optional<FileIdentity> identityOf(int directory, const char* path, int flags) {
  struct statx info {};
  if (::statx(directory, path, flags | AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS, &info) != 0) {
    return std::nullopt;
  }
  return identityOfStatx(info);
}

}  // namespace

FileIdentity identityOfStatx(const struct statx& info) {
  return FileIdentity{.device = makedev(info.stx_dev_major, info.stx_dev_minor),
                      .inode = info.stx_ino,
                      .size = static_cast<int64_t>(info.stx_size),
                      .modificationTime = nanoseconds(info.stx_mtime),
                      .statusChangeTime = nanoseconds(info.stx_ctime)};
}

std::optional<FileIdentity> identityOfDescriptor(int fd) {
  return identityOf(fd, "", AT_EMPTY_PATH);
}

std::optional<FileIdentity> identityOfPath(const std::string& path) {
  return identityOf(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW);
}

std::optional<FileIdentity> identityInFolder(int folder, const std::string& name) {
  return identityOf(folder, name.c_str(), AT_SYMLINK_NOFOLLOW);
}

}  // namespace rozuzed

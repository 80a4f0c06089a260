#include "rozuzed/filesystem/live_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "rozuzed/filesystem/bundle_extensions.h"
#include "rozuzed/filesystem/content_hashing.h"
#include "rozuzed/filesystem/content_type_registry.h"
#include "rozuzed/filesystem/download_source.h"
#include "rozuzed/filesystem/mount_table.h"
#include "rozuzed/filesystem/no_replace_move.h"
#include "rozuzed/filesystem/trash.h"
#include "rozuzed/support/text.h"
#include "rozuzed/support/unicode.h"

namespace rozuzed {
namespace {

// Linux has no type of its own for a package folder; this is the one given
// to them where they come from.
constexpr const char* kPackageType = "com.apple.package";
constexpr const char* kFolderType = "public.folder";
constexpr const char* kUnknownDataType = "public.data";

struct DirectoryCloser {
  void operator()(DIR* directory) const { ::closedir(directory); }
};
using Directory = std::unique_ptr<DIR, DirectoryCloser>;

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  // Holds `fd` instead, closing the one held before.
  void reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes now, reporting the error that a deferred write may surface here.
  int close() {
    int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

Date dateOf(const statx_timestamp& time) {
  return static_cast<Date>(time.tv_sec) + static_cast<Date>(time.tv_nsec) / 1e9;
}

// The fingerprint of the snapshot of the item `info` describes: a link's is
// the default one, and only a regular file has a size.
FileFingerprint fingerprintOfStatx(const struct statx& info) {
  if (S_ISLNK(info.stx_mode)) return FileFingerprint{};
  return {S_ISREG(info.stx_mode) ? static_cast<int64_t>(info.stx_size) : 0, dateOf(info.stx_mtime)};
}

uint64_t deviceOf(const struct statx& info) {
  return makedev(info.stx_dev_major, info.stx_dev_minor);
}

// The volume of the item the statx the caller already made describes: no
// path resolution per file when the kernel names the mount.
std::optional<VolumeID> volumeOfStatx(const struct statx& info, const std::string& path) {
  if (info.stx_mask & STATX_MNT_ID) {
    if (auto mountPoint = MountTable::shared().mountPointOfMount(info.stx_mnt_id)) {
      return VolumeID{std::move(*mountPoint), deviceOf(info)};
    }
  }
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return std::nullopt;
  std::string real(resolved);
  std::free(resolved);
  return VolumeID{MountTable::shared().mountPoint(real), deviceOf(info)};
}

int makeDirectories(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0) return S_ISDIR(status.st_mode) ? 0 : EEXIST;
  if (errno != ENOENT) return errno;
  std::string parent = FileURL::fromPath(path).deletingLastPathComponent().path();
  if (parent != path) {
    if (int error = makeDirectories(parent)) return error;
  }
  if (::mkdir(path.c_str(), 0777) == 0) return 0;
  int error = errno;
  // Someone else may have made it in the meantime.
  if (error == EEXIST && ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) return 0;
  return error;
}

// Copies `length` bytes (to the end of `from` when absent) from `offset` of
// `from` to the same offset of `to`. Returns 0 or an errno.
int copyRange(int from, int to, off_t offset, std::optional<off_t> length) {
  const std::function<void()>& pieceCopied = LiveFileSystem::copyPieceSeam();
  const off_t kernelPiece = pieceCopied ? LiveFileSystem::copyPieceSize : 1 << 30;
  bool kernelCopy = true;
  std::vector<char> buffer;
  off_t end = length ? offset + *length : 0;
  while (!length || offset < end) {
    const std::size_t wanted =
        length ? static_cast<std::size_t>(std::min<off_t>(end - offset, kernelPiece))
               : static_cast<std::size_t>(kernelPiece);
    if (kernelCopy) {
      off_t in = offset;
      off_t out = offset;
      ssize_t count = ::copy_file_range(from, &in, to, &out, wanted, 0);
      if (count > 0) {
        offset += count;
        if (pieceCopied) pieceCopied();
        continue;
      }
      if (count < 0 && errno == EINTR) continue;
      if (count < 0 && errno != EXDEV && errno != EINVAL && errno != ENOSYS &&
          errno != EOPNOTSUPP && errno != EBADF) {
        return errno;
      }
      // The plain copy carries on from where the kernel's stopped. It also
      // confirms the end: some file systems end a kernel copy early.
      kernelCopy = false;
      buffer.resize(LiveFileSystem::copyPieceSize);
      continue;
    }
    ssize_t count = ::pread(from, buffer.data(), std::min(buffer.size(), wanted), offset);
    if (count < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    // The file shrank under the copy; verification tells the difference.
    if (count == 0) return 0;
    for (ssize_t done = 0; done < count;) {
      ssize_t written =
          ::pwrite(to, buffer.data() + done, static_cast<std::size_t>(count - done), offset + done);
      if (written < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      done += written;
    }
    offset += count;
    if (pieceCopied) pieceCopied();
  }
  return 0;
}

// Copies the data of `from` and leaves its holes unwritten, so a sparse file
// takes no more room on the copy's volume than on its own. Where the file
// system cannot name its holes, every byte is copied.
int copyBytes(int from, int to) {
  off_t offset = 0;
  for (;;) {
    off_t data = ::lseek(from, offset, SEEK_DATA);
    if (data < 0) {
      if (errno == ENXIO) break;
      if (errno == EINVAL || errno == EOPNOTSUPP) return copyRange(from, to, offset, std::nullopt);
      return errno;
    }
    off_t hole = ::lseek(from, data, SEEK_HOLE);
    if (hole < 0) return errno;
    if (int error = copyRange(from, to, data, hole - data)) return error;
    offset = hole;
  }
  // A hole at the end has no data to mark it: the size does.
  struct stat status {};
  if (::fstat(from, &status) != 0) return errno;
  if (status.st_size > offset && ::ftruncate(to, status.st_size) != 0) return errno;
  return 0;
}

constexpr std::string_view kAccessACL = "system.posix_acl_access";
constexpr std::string_view kDefaultACL = "system.posix_acl_default";

// The attributes a copy carries: the user's own, and the POSIX ACLs, which
// Linux keeps as attributes. The rest belong to the system (security
// labels, file capabilities) or to root alone, and are not a copy's to set.
bool isCarried(std::string_view name) {
  return name.starts_with("user.") || name == kAccessACL || name == kDefaultACL;
}

// The names of the file's extended attributes, each ended by a NUL; empty
// when it has none or its file system keeps none.
std::vector<char> attributeNames(int fd) {
  std::vector<char> names(1024);
  for (;;) {
    ssize_t size = ::flistxattr(fd, names.data(), names.size());
    if (size >= 0) {
      names.resize(static_cast<std::size_t>(size));
      return names;
    }
    if (errno != ERANGE) return {};
    size = ::flistxattr(fd, nullptr, 0);
    if (size < 0) return {};
    names.resize(static_cast<std::size_t>(size) + 1);
  }
}

// Absent when the attribute went in the meantime or cannot be read.
std::optional<std::vector<char>> attributeValue(int fd, const char* name) {
  std::vector<char> value(256);
  for (;;) {
    ssize_t size = ::fgetxattr(fd, name, value.data(), value.size());
    if (size >= 0) {
      value.resize(static_cast<std::size_t>(size));
      return value;
    }
    if (errno != ERANGE) return std::nullopt;
    size = ::fgetxattr(fd, name, nullptr, 0);
    if (size < 0) return std::nullopt;
    value.resize(static_cast<std::size_t>(size) + 1);
  }
}

// Gives the copy `to` the carried attributes of `from`. A destination that
// refuses one (a file system without them, a value too large for it) loses
// that one, and the copy goes on: the bytes are the file. An ACL the copy
// took from its new folder's default and the original lacks goes, so the
// copy grants no more than the original did.
void copyAttributes(int from, int to) {
  const std::vector<char> names = attributeNames(from);
  bool hasAccessACL = false;
  bool hasDefaultACL = false;
  for (std::size_t at = 0; at < names.size();) {
    const char* name = names.data() + at;
    std::string_view view(name);
    at += view.size() + 1;
    if (!isCarried(view)) continue;
    hasAccessACL = hasAccessACL || view == kAccessACL;
    hasDefaultACL = hasDefaultACL || view == kDefaultACL;
    auto value = attributeValue(from, name);
    if (!value) continue;
    if (const auto& seam = LiveFileSystem::setAttributeSeam()) {
      seam(to, name, value->data(), value->size());
    } else {
      ::fsetxattr(to, name, value->data(), value->size(), 0);
    }
  }
  if (!hasAccessACL) ::fremovexattr(to, kAccessACL.data());
  if (!hasDefaultACL) ::fremovexattr(to, kDefaultACL.data());
}

// What one copy made, so that a copy that fails can take back exactly that:
// each item by its name in the folder it was made in, with the device and
// inode it was made with.
class MadeItems {
 public:
  // Keeps open the folder `fd`, which this copy made, for as long as what
  // was made in it may have to go. Returns `fd`.
  int keep(int fd) {
    folders_.push_back(std::make_unique<FileDescriptor>(fd));
    return fd;
  }
  // Notes the folder or link just made as `name` in `folder`.
  void add(int folder, const std::string& name, bool isFolder) {
    struct stat status {};
    if (::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
      items_.push_back({folder, name, status.st_dev, status.st_ino, isFolder});
    }
  }
  // Notes the file just made as `name` in `folder`, as its open descriptor
  // describes it.
  void addFile(int folder, const std::string& name, int fd) {
    struct stat status {};
    if (::fstat(fd, &status) == 0) items_.push_back({folder, name, status.st_dev, status.st_ino});
  }

  // Removes what was made, the deepest first. An item that is no longer
  // the one made, and a folder someone else put something in, stay.
  void removeAll() {
    for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
      struct stat status {};
      if (::fstatat(it->folder, it->name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
      if (status.st_dev != it->device || status.st_ino != it->inode) continue;
      ::unlinkat(it->folder, it->name.c_str(), it->isFolder ? AT_REMOVEDIR : 0);
    }
    items_.clear();
  }

 private:
  struct Item {
    int folder;
    std::string name;
    dev_t device;
    ino_t inode;
    bool isFolder = false;
  };

  std::vector<Item> items_;
  std::vector<std::unique_ptr<FileDescriptor>> folders_;
};

// `opened`, when given, receives the source's identity as it was opened.
int copyFile(const std::string& source, int folder, const std::string& name, MadeItems& made,
             FileIdentity* opened) {
  FileDescriptor from(::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (from.get() < 0) return errno;
  struct stat status {};
  if (::fstat(from.get(), &status) != 0) return errno;
  if (!S_ISREG(status.st_mode)) return ENOTSUP;
  if (opened) {
    auto identity = identityOfDescriptor(from.get());
    if (!identity) return errno;
    *opened = *identity;
  }
  // Private until complete; the source's mode is given at the end.
  FileDescriptor to(
      ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (to.get() < 0) return errno;
  made.addFile(folder, name, to.get());
  if (int error = copyBytes(from.get(), to.get())) return error;
  copyAttributes(from.get(), to.get());
  const timespec times[2] = {status.st_atim, status.st_mtim};
  if (::fchmod(to.get(), status.st_mode & 07777) != 0) return errno;
  if (::futimens(to.get(), times) != 0) return errno;
  if (::fsync(to.get()) != 0) return errno;
  if (to.close() != 0) return errno;
  return 0;
}

int copyLink(const std::string& source, int folder, const std::string& name, MadeItems& made) {
  std::string target(256, '\0');
  for (;;) {
    ssize_t length = ::readlink(source.c_str(), target.data(), target.size());
    if (length < 0) return errno;
    if (static_cast<std::size_t>(length) < target.size()) {
      target.resize(static_cast<std::size_t>(length));
      break;
    }
    target.resize(target.size() * 2);
  }
  if (::symlinkat(target.c_str(), folder, name.c_str()) != 0) return errno;
  made.add(folder, name, false);
  return 0;
}

// Copies the item at `source` to the new name `name` in the open `folder`.
int copyTree(const std::string& source, int folder, const std::string& name, MadeItems& made,
             FileIdentity* opened = nullptr) {
  struct stat status {};
  if (::lstat(source.c_str(), &status) != 0) return errno;
  if (S_ISREG(status.st_mode)) return copyFile(source, folder, name, made, opened);
  if (opened) {
    auto identity = identityOfPath(source);
    if (!identity) return errno;
    *opened = *identity;
  }
  if (S_ISLNK(status.st_mode)) return copyLink(source, folder, name, made);
  if (!S_ISDIR(status.st_mode)) return ENOTSUP;

  if (::mkdirat(folder, name.c_str(), 0700) != 0) return errno;
  made.add(folder, name, true);
  const int copy = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (copy < 0) return errno;
  made.keep(copy);
  Directory directory(::opendir(source.c_str()));
  if (!directory) return errno;
  for (;;) {
    errno = 0;
    dirent* entry = ::readdir(directory.get());
    if (!entry) {
      if (errno != 0) return errno;
      break;
    }
    std::string child = entry->d_name;
    if (child == "." || child == "..") continue;
    if (int error = copyTree(source + "/" + child, copy, child, made)) return error;
  }
  // Last: a default ACL set earlier would have shaped the children as they
  // were made, and making them changed the folder's times.
  copyAttributes(::dirfd(directory.get()), copy);
  const timespec times[2] = {status.st_atim, status.st_mtim};
  if (::fchmod(copy, status.st_mode & 07777) != 0) return errno;
  if (::futimens(copy, times) != 0) return errno;
  // So the names made in it survive a power cut.
  ::fsync(copy);
  return 0;
}

// Copies `source` to the new name `name` in the open `folder`; `destination`
// names that place in errors.
FileIdentity copyItemInto(const FileURL& source, int folder, const std::string& name,
                          const FileURL& destination) {
  MadeItems made;
  FileIdentity opened;
  if (int error = copyTree(source.path(), folder, name, made, &opened)) {
    // A part-way copy is nobody's but this call's: it goes, it is not
    // trashed, so a full volume is not filled up further by every attempt.
    made.removeAll();
    // Everything below the destination is created fresh, so only the
    // destination itself can have been taken since the check.
    if (error == EEXIST) throw SortError::refusedToOverwrite(destination);
    throw SortError::copyFailed(source, destination, errnoDescription(error));
  }
  return opened;
}

// `name` in the open `folder` (or a path, with AT_FDCWD): the regular file
// `made` describes, removed; `item` names it in errors. It is first renamed,
// never replacing, to the free name `aside` in the same folder, and judged
// again there: another program may put a file of its own under `name` at any
// moment after the first look, and only a name nobody else uses keeps what
// is removed the file that was judged.
void removeOwnFileAt(int folder, const std::string& name, const std::string& aside,
                     const FileURL& item, const FileIdentity& made) {
  const bool byPath = folder == AT_FDCWD;
  const std::size_t slash = byPath ? name.rfind('/') : std::string::npos;
  const std::string own = slash == std::string::npos ? name : name.substr(slash + 1);
  FileDescriptor parent(
      byPath ? ::open(slash == std::string::npos ? "." : name.substr(0, slash + 1).c_str(),
                      O_PATH | O_DIRECTORY | O_CLOEXEC)
             : -1);
  if (byPath) {
    if (parent.get() < 0) throw SortError::copyFailed(item, item, errnoDescription(errno));
    folder = parent.get();
  }
  const auto isMade = [&](const std::string& at, bool renamed) {
    struct stat status {};
    if (::fstatat(folder, at.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return false;
    auto now = identityInFolder(folder, at);
    // A rename changes the status-change time, nothing else.
    return S_ISREG(status.st_mode) && now &&
           (renamed ? now->sameFileAndContents(made) : *now == made);
  };
  struct stat status {};
  if (::fstatat(folder, own.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    throw SortError::copyFailed(item, item, errnoDescription(errno));
  }
  if (!isMade(own, false)) throw SortError::sourceChangedDuringMove(item);
  if (auto& seam = LiveFileSystem::ownFileCheckedSeam()) seam();
  if (int error = NoReplaceMove::moveAt(folder, own, folder, aside)) {
    if (error == EEXIST) throw SortError::refusedToOverwrite(item);
    throw SortError::copyFailed(item, item, NoReplaceMove::failureText(error));
  }
  if (!isMade(aside, true)) {
    // Not ours: it goes back under its name, unless a file has taken that
    // meanwhile too; then it stays, whole, under the hidden name.
    if (int error = NoReplaceMove::moveAt(folder, aside, folder, own)) {
      throw SortError::moveFailed(
          item, item.deletingLastPathComponent().appendingPathComponent(aside),
          "a file put in place of " + item.path() +
              " could not go back there: " + NoReplaceMove::failureText(error));
    }
    throw SortError::sourceChangedDuringMove(item);
  }
  if (::unlinkat(folder, aside.c_str(), 0) != 0) {
    throw SortError::copyFailed(item, item, errnoDescription(errno));
  }
}

void synchronizeAt(int folder, const std::string& name, const FileURL& item) {
  FileDescriptor file(::openat(folder, name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (file.get() < 0 || ::fsync(file.get()) != 0) {
    throw SortError::copyFailed(item, item, errnoDescription(errno));
  }
}

using Identity = std::pair<dev_t, ino_t>;

// The Trash's folders, known by device and inode so that one reached by
// another path, through a link or a bind mount, is known for what it is:
// the home Trash and each mount's shared and own Trash, with their files/
// and info/ folders, which a bind mount could show on their own.
std::vector<Identity> trashFolders() {
  std::vector<std::string> trashes = {Trash::homeTrashPath()};
  const std::string uid = std::to_string(::getuid());
  std::string mountinfo;
  if (FILE* file = std::fopen("/proc/self/mountinfo", "re")) {
    char buffer[4096];
    while (std::size_t count = std::fread(buffer, 1, sizeof buffer, file)) {
      mountinfo.append(buffer, count);
    }
    std::fclose(file);
  }
  for (std::size_t start = 0; start < mountinfo.size();) {
    std::size_t end = mountinfo.find('\n', start);
    if (end == std::string::npos) end = mountinfo.size();
    const std::string_view line(mountinfo.data() + start, end - start);
    start = end + 1;
    // Looking inside an automount point would mount it, or wait on a
    // server that is away.
    const std::size_t type = line.find(" - ");
    if (type == std::string_view::npos || line.substr(type + 3).starts_with("autofs ")) continue;
    const std::vector<std::string> mountPoint = MountTable::parse(line);
    if (mountPoint.empty()) continue;
    const std::string top = mountPoint[0] == "/" ? "" : mountPoint[0];
    // Only what the Trash would use counts: a mount's top may be open to
    // every user (/tmp, /dev/shm), and a link or another user's folder
    // there must not make any folder it leads to a Trash's.
    struct stat status {};
    const auto ownFolder = [&](const std::string& path) {
      return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
             status.st_uid == ::getuid();
    };
    if (::lstat((top + "/.Trash").c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
        (status.st_mode & S_ISVTX) != 0) {
      trashes.push_back(top + "/.Trash");
      if (ownFolder(top + "/.Trash/" + uid)) trashes.push_back(top + "/.Trash/" + uid);
    }
    if (ownFolder(top + "/.Trash-" + uid)) trashes.push_back(top + "/.Trash-" + uid);
  }
  std::vector<Identity> found;
  for (const std::string& trash : trashes) {
    for (const char* part : {"", "/files", "/info"}) {
      struct stat status {};
      if (::stat((trash + part).c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        found.emplace_back(status.st_dev, status.st_ino);
      }
    }
  }
  return found;
}

// Whether the open folder `fd`, or a folder above it, is one of `trashes`.
bool liesInTrashFolder(int fd, const std::vector<Identity>& trashes) {
  if (trashes.empty()) return false;
  FileDescriptor current(::dup(fd));
  struct stat status {};
  if (current.get() < 0 || ::fstat(current.get(), &status) != 0) return false;
  for (;;) {
    if (std::find(trashes.begin(), trashes.end(), Identity(status.st_dev, status.st_ino)) !=
        trashes.end()) {
      return true;
    }
    const int parent = ::openat(current.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
    current.reset(parent);
    struct stat above {};
    if (parent < 0 || ::fstat(parent, &above) != 0) return false;
    // The root is its own parent.
    if (above.st_dev == status.st_dev && above.st_ino == status.st_ino) return false;
    status = above;
  }
}

}  // namespace

std::vector<FileURL> LiveFileSystem::contentsOfDirectory(const FileURL& folder) {
  Directory directory(::opendir(folder.path().c_str()));
  if (!directory) throw SortError::sourceUnreadable(folder, errnoDescription(errno));
  std::vector<FileURL> children;
  for (;;) {
    errno = 0;
    dirent* entry = ::readdir(directory.get());
    if (!entry) {
      if (errno != 0) throw SortError::sourceUnreadable(folder, errnoDescription(errno));
      break;
    }
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool isFolder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat status {};
      isFolder =
          ::fstatat(::dirfd(directory.get()), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISDIR(status.st_mode);
    }
    children.push_back(folder.appendingPathComponent(name, isFolder));
  }
  return children;
}

FileMetadata LiveFileSystem::metadata(const FileURL& item) {
  return snapshot(item, true);
}

FileMetadata LiveFileSystem::facts(const FileURL& item) {
  return snapshot(item, false);
}

std::vector<std::string> LiveFileSystem::downloadSources(const FileURL& item) {
  return WhereFroms::read(item);
}

struct LiveFileSystem::Folder {
  int fd = -1;
  // The mount the last child described lay on, and its mount point: the
  // children of a folder nearly all share one.
  std::optional<uint64_t> mountID;
  std::string mountPoint;
};

std::unique_ptr<FileSystem::FolderFacts> LiveFileSystem::factsWithin(const FileURL& folder) {
  class Within final : public FolderFacts {
   public:
    Within(LiveFileSystem& fileSystem, const FileURL& folder)
        : fileSystem_(fileSystem),
          path_(folder.path()),
          // The folder as a path walk finds it, links on the way followed.
          // Without it, every child is looked up by its path.
          descriptor_(::open(path_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)) {
      folder_.fd = descriptor_.get();
    }
    FileMetadata facts(const FileURL& child) override {
      return fileSystem_.snapshot(child, false, isChild(child) ? &folder_ : nullptr);
    }

   private:
    // Whether the folder holds `child` under the last component of its path.
    bool isChild(const FileURL& child) const {
      const std::string& path = child.path();
      std::size_t slash = path.rfind('/');
      if (slash == std::string::npos || slash + 1 == path.size()) return false;
      return slash == 0 ? path_ == "/" : std::string_view(path).substr(0, slash) == path_;
    }

    LiveFileSystem& fileSystem_;
    std::string path_;
    FileDescriptor descriptor_;
    Folder folder_;
  };
  return std::make_unique<Within>(*this, folder);
}

FileMetadata LiveFileSystem::snapshot(const FileURL& item, bool withDownloadSources,
                                      Folder* folder) {
  std::string name = item.lastPathComponent();
  // Such a name could not be shown, matched or written to the plan faithfully.
  if (!isValidUtf8(name)) throw SortError::sourceUnreadable(item, errnoDescription(EILSEQ));

  // Found in its folder by name, the item is the one its path names but for
  // the walk down to the folder; a path too long for the kernel still fails
  // alike, as it will when the item is moved.
  const bool byName = folder && folder->fd >= 0 && item.path().size() < PATH_MAX;
  struct statx info {};
  if (::statx(byName ? folder->fd : AT_FDCWD, byName ? name.c_str() : item.path().c_str(),
              AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT,
              STATX_BASIC_STATS | STATX_BTIME | STATX_MNT_ID, &info) != 0) {
    throw SortError::sourceUnreadable(item, errnoDescription(errno));
  }

  if (S_ISLNK(info.stx_mode)) {
    VolumeID volume;
    try {
      volume = volumeID(item.deletingLastPathComponent());
    } catch (const SortError&) {
    }
    return FileMetadata(item, {.isSymbolicLink = true, .volumeID = volume});
  }

  const bool isDirectory = S_ISDIR(info.stx_mode);
  const bool isRegularFile = S_ISREG(info.stx_mode);
  const bool isHidden = !name.empty() && name.front() == '.';
  // As FileURL::pathExtension, without taking the last component again.
  const std::size_t dot = name.rfind('.');
  std::string extension =
      dot == std::string::npos || dot == 0 ? std::string() : lowercased(name.substr(dot + 1));
  const bool isPackage = isDirectory && BundleExtensions::isKnownBundle(extension);
  std::optional<std::string> contentType;
  if (isDirectory) {
    contentType = isPackage ? kPackageType : kFolderType;
  } else if (isRegularFile) {
    contentType =
        ContentTypeRegistry::shared().identifierForExtension(extension).value_or(kUnknownDataType);
  }
  std::optional<VolumeID> volume;
  if (folder && (info.stx_mask & STATX_MNT_ID)) {
    if (folder->mountID != info.stx_mnt_id) {
      if (auto mountPoint = MountTable::shared().mountPointOfMount(info.stx_mnt_id)) {
        folder->mountID = info.stx_mnt_id;
        folder->mountPoint = std::move(*mountPoint);
      }
    }
    if (folder->mountID == info.stx_mnt_id) volume = VolumeID{folder->mountPoint, deviceOf(info)};
  }
  if (!volume) volume = volumeOfStatx(info, item.path());
  const FileFingerprint fingerprint = fingerprintOfStatx(info);
  return FileMetadata(
      item,
      {.name = std::move(name),
       .pathExtension = std::move(extension),
       .size = fingerprint.size,
       .creationDate = (info.stx_mask & STATX_BTIME) ? dateOf(info.stx_btime) : kDistantPast,
       .modificationDate = fingerprint.modificationDate,
       .contentTypeIdentifier = std::move(contentType),
       .isDirectory = isDirectory,
       .isRegularFile = isRegularFile,
       .isPackage = isPackage,
       .isHidden = isHidden,
       .whereFroms = withDownloadSources ? WhereFroms::read(item) : std::vector<std::string>(),
       .volumeID = std::move(volume).value_or(VolumeID{})});
}

bool LiveFileSystem::fileExists(const FileURL& url) {
  struct stat status {};
  return ::stat(url.path().c_str(), &status) == 0;
}

VolumeID LiveFileSystem::volumeID(const FileURL& item) {
  struct statx info {};
  if (::statx(AT_FDCWD, item.path().c_str(), AT_STATX_SYNC_AS_STAT, STATX_MNT_ID, &info) == 0) {
    if (auto volume = volumeOfStatx(info, item.path())) return *volume;
  }
  int error = errno;
  // A dangling link still lies on a volume: the one of its folder.
  struct stat status {};
  if (::lstat(item.path().c_str(), &status) == 0) {
    if (auto location = realLocation(item.path())) {
      return VolumeID{MountTable::shared().mountPoint(*location), status.st_dev};
    }
  }
  throw SortError::sourceUnreadable(item, errnoDescription(error));
}

ContentHash LiveFileSystem::contentHash(const FileURL& file) {
  return ContentHashing::sha256(file);
}

void LiveFileSystem::createDirectory(const FileURL& folder) {
  if (int error = makeDirectories(folder.path())) {
    throw SortError::destinationNotCreatable(folder, errnoDescription(error));
  }
}

void LiveFileSystem::moveItem(const FileURL& source, const FileURL& destination) {
  if (fileExists(destination)) throw SortError::refusedToOverwrite(destination);
  // A move that refuses an occupied name: the check above cannot see a
  // dangling link, nor a name taken after it was made.
  if (int error = NoReplaceMove::move(source.path(), destination.path())) {
    if (error == EEXIST) throw SortError::refusedToOverwrite(destination);
    throw SortError::moveFailed(source, destination, NoReplaceMove::failureText(error));
  }
}

FileIdentity LiveFileSystem::copyItem(const FileURL& source, const FileURL& destination) {
  if (fileExists(destination)) throw SortError::refusedToOverwrite(destination);
  FileDescriptor folder(::open(destination.deletingLastPathComponent().path().c_str(),
                               O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() < 0) throw SortError::copyFailed(source, destination, errnoDescription(errno));
  return copyItemInto(source, folder.get(), destination.lastPathComponent(), destination);
}

FileIdentity LiveFileSystem::identity(const FileURL& item) {
  auto identity = identityOfPath(item.path());
  if (!identity) throw SortError::sourceUnreadable(item, errnoDescription(errno));
  return *identity;
}

std::optional<FileURL> LiveFileSystem::trashItem(const FileURL& item) {
  return Trash::trashItem(item);
}

std::optional<FileURL> LiveFileSystem::trashItemIfUnchanged(const FileURL& item,
                                                            const FileIdentity& expected) {
  return Trash::trashItemIfUnchanged(item, expected);
}

void LiveFileSystem::forgetTrashedItem(const FileURL& trashedLocation,
                                       const FileURL& originalLocation) {
  Trash::forgetTrashedItem(trashedLocation, originalLocation);
}

void LiveFileSystem::forgetUnwrittenTrashRecords(const FileURL& item) {
  Trash::forgetUnwrittenRecords(item);
}

void LiveFileSystem::removeEmptyFolder(const FileURL& folder) {
  if (::rmdir(folder.path().c_str()) != 0) {
    throw SortError::destinationNotCreatable(folder, errnoDescription(errno));
  }
}

bool LiveFileSystem::isInTrash(const FileURL& item) {
  return trashCheck()->contains(item);
}

std::unique_ptr<FileSystem::TrashCheck> LiveFileSystem::trashCheck() {
  class Check final : public TrashCheck {
   public:
    bool contains(const FileURL& item) override {
      if (Trash::contains(item)) return true;
      // What does not exist yet would lie where its nearest existing folder is.
      FileURL folder = item;
      for (;;) {
        FileDescriptor held(::open(folder.path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (held.get() >= 0) {
          // Reading the mounts and looking for a Trash on each takes some
          // forty calls: not one more time for each folder.
          if (!trashes_) trashes_ = trashFolders();
          return liesInTrashFolder(held.get(), *trashes_);
        }
        FileURL parent = folder.deletingLastPathComponent();
        if (parent.path() == folder.path()) return false;
        folder = std::move(parent);
      }
    }

   private:
    std::optional<std::vector<Identity>> trashes_;
  };
  return std::make_unique<Check>();
}

void LiveFileSystem::synchronize(const FileURL& item) {
  synchronizeAt(AT_FDCWD, item.path(), item);
}

void LiveFileSystem::removeOwnFile(const FileURL& item, const FileIdentity& made,
                                   const std::string& aside) {
  removeOwnFileAt(AT_FDCWD, item.path(), aside, item, made);
}

struct LiveFileSystem::Held final : HeldFolder {
  Held(FileURL url, int fd, const struct stat& status)
      : HeldFolder(std::move(url)), fd(fd), device(status.st_dev), inode(status.st_ino) {}
  FileDescriptor fd;
  dev_t device;
  ino_t inode;
};

std::shared_ptr<FileSystem::HeldFolder> LiveFileSystem::holdFolder(const FileURL& folder) {
  // Readable, so that it can be flushed; a folder that only lets names in
  // is still held, and flushed by its path.
  int fd = ::open(folder.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 && errno == EACCES)
    fd = ::open(folder.path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw SortError::sourceUnreadable(folder, errnoDescription(errno));
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    int error = errno;
    ::close(fd);
    throw SortError::sourceUnreadable(folder, errnoDescription(error));
  }
  return std::make_shared<Held>(folder, fd, status);
}

const LiveFileSystem::Held* LiveFileSystem::held(const HeldFolder& folder) {
  return dynamic_cast<const Held*>(&folder);
}

bool LiveFileSystem::stillNames(const HeldFolder& folder) {
  const Held* live = held(folder);
  if (!live) return true;
  struct stat status {};
  return ::stat(folder.url().path().c_str(), &status) == 0 && status.st_dev == live->device &&
         status.st_ino == live->inode;
}

bool LiveFileSystem::isHeldInTrash(const HeldFolder& folder) {
  const Held* live = held(folder);
  if (!live) return isInTrash(folder.url());
  return Trash::contains(folder.url()) || liesInTrashFolder(live->fd.get(), trashFolders());
}

void LiveFileSystem::moveInto(const FileURL& source, const HeldFolder& folder,
                              const std::string& name) {
  const Held* live = held(folder);
  if (!live) return moveItem(source, folder.child(name));
  const FileURL destination = folder.child(name);
  if (!stillNames(folder)) throw folderNoLongerNamed(source, destination);
  // A taken name, a dangling link's included, is refused by the move itself.
  if (int error = NoReplaceMove::moveAt(AT_FDCWD, source.path(), live->fd.get(), name)) {
    if (error == EEXIST) throw SortError::refusedToOverwrite(destination);
    throw SortError::moveFailed(source, destination, NoReplaceMove::failureText(error));
  }
  if (stillNames(folder)) return;
  // Taken back, so the file is where the journal last knew it to be.
  if (int error = NoReplaceMove::moveAt(live->fd.get(), name, AT_FDCWD, source.path())) {
    throw SortError::moveFailed(source, destination,
                                "its folder was moved or replaced as the file went in, and the "
                                "file could not be taken back out: " +
                                    NoReplaceMove::failureText(error));
  }
  throw folderNoLongerNamed(source, destination);
}

FileIdentity LiveFileSystem::copyInto(const FileURL& source, const HeldFolder& folder,
                                      const std::string& name) {
  const Held* live = held(folder);
  const FileURL destination = folder.child(name);
  if (!live) return copyItem(source, destination);
  struct stat status {};
  if (::fstatat(live->fd.get(), name.c_str(), &status, 0) == 0) {
    throw SortError::refusedToOverwrite(destination);
  }
  return copyItemInto(source, live->fd.get(), name, destination);
}

void LiveFileSystem::renameWithin(const HeldFolder& folder, const std::string& from,
                                  const std::string& to) {
  const Held* live = held(folder);
  const FileURL source = folder.child(from);
  const FileURL destination = folder.child(to);
  if (!live) return moveItem(source, destination);
  if (!stillNames(folder)) throw folderNoLongerNamed(source, destination);
  struct stat status {};
  if (::fstatat(live->fd.get(), to.c_str(), &status, 0) == 0) {
    throw SortError::refusedToOverwrite(destination);
  }
  if (int error = NoReplaceMove::moveAt(live->fd.get(), from, live->fd.get(), to)) {
    if (error == EEXIST) throw SortError::refusedToOverwrite(destination);
    throw SortError::moveFailed(source, destination, NoReplaceMove::failureText(error));
  }
  if (stillNames(folder)) return;
  if (int error = NoReplaceMove::moveAt(live->fd.get(), to, live->fd.get(), from)) {
    throw SortError::moveFailed(source, destination,
                                "its folder was moved or replaced as the file went in, and the "
                                "file could not be taken back out: " +
                                    NoReplaceMove::failureText(error));
  }
  throw folderNoLongerNamed(source, destination);
}

FileIdentity LiveFileSystem::identityIn(const HeldFolder& folder, const std::string& name) {
  const Held* live = held(folder);
  if (!live) return identity(folder.child(name));
  auto identity = identityInFolder(live->fd.get(), name);
  if (!identity) throw SortError::sourceUnreadable(folder.child(name), errnoDescription(errno));
  return *identity;
}

FileSystem::Arrival LiveFileSystem::arrivalIn(const HeldFolder& folder, const std::string& name) {
  const Held* live = held(folder);
  if (!live) return FileSystem::arrivalIn(folder, name);
  // One look serves both.
  struct statx info {};
  if (::statx(live->fd.get(), name.c_str(), AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT,
              STATX_BASIC_STATS, &info) != 0) {
    return {};
  }
  return {.fingerprint = fingerprintOfStatx(info), .identity = identityOfStatx(info)};
}

ContentHash LiveFileSystem::contentHashIn(const HeldFolder& folder, const std::string& name) {
  const Held* live = held(folder);
  if (!live) return contentHash(folder.child(name));
  return ContentHashing::sha256(live->fd.get(), name, folder.child(name));
}

void LiveFileSystem::synchronizeHeld(const HeldFolder& folder) {
  const Held* live = held(folder);
  if (live && ::fsync(live->fd.get()) == 0) return;
  // Held without read access, the folder is flushed through its path; any
  // other failure is the flush's own, and a second try could hide it.
  if (live && errno != EBADF) {
    throw SortError::copyFailed(folder.url(), folder.url(), errnoDescription(errno));
  }
  synchronizeAt(AT_FDCWD, folder.url().path(), folder.url());
}

void LiveFileSystem::synchronizeIn(const HeldFolder& folder, const std::string& name) {
  const Held* live = held(folder);
  synchronizeAt(live ? live->fd.get() : AT_FDCWD, live ? name : folder.child(name).path(),
                folder.child(name));
}

void LiveFileSystem::removeOwnFileIn(const HeldFolder& folder, const std::string& name,
                                     const FileIdentity& made, const std::string& aside) {
  const Held* live = held(folder);
  removeOwnFileAt(live ? live->fd.get() : AT_FDCWD, live ? name : folder.child(name).path(), aside,
                  folder.child(name), made);
}

std::function<int(int, const char*, const void*, std::size_t)>& LiveFileSystem::setAttributeSeam() {
  static std::function<int(int, const char*, const void*, std::size_t)> seam;
  return seam;
}

std::function<void()>& LiveFileSystem::ownFileCheckedSeam() {
  static std::function<void()> seam;
  return seam;
}

std::function<void()>& LiveFileSystem::copyPieceSeam() {
  static std::function<void()> seam;
  return seam;
}

}  // namespace rozuzed

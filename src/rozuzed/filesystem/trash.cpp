#include "rozuzed/filesystem/trash.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <optional>
#include <vector>

#include "rozuzed/filesystem/mount_table.h"
#include "rozuzed/filesystem/no_replace_move.h"
#include "rozuzed/model/sort_error.h"
#include "rozuzed/support/text.h"

namespace rozuzed {
namespace {

// Room for ".trashinfo" within Linux's 255-byte limit for a name.
constexpr std::size_t kMaxEntryName = 255 - 10;
constexpr int kMaxNameAttempts = 100000;

struct Failure {
  int error;
};

// The item was not the file it had to be; it is at its place.
struct Changed {};

// The item changed as it moved and could not go back: it is at `location`.
struct StuckInTrash {
  std::string location;
  int error;
};

std::string homeFolder() {
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir) {
    return found->pw_dir;
  }
  return "/";
}

std::string parentOf(const std::string& path) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return path.substr(0, slash);
}

// The top folder of the volume that holds `realPath`, which may not exist
// yet: the mount point, or below it the highest folder on the device of
// the folder that holds the item, as a btrfs subvolume's top folder is. An
// item can be renamed only within one device, so that is where its trash
// must lie.
std::string topdirOf(const std::string& realPath) {
  if (const auto& seam = Trash::mountPointSeam()) {
    if (auto topdir = seam(realPath)) return *topdir;
  }
  const std::string mountPoint = MountTable::shared().mountPoint(realPath);
  if (realPath == mountPoint) return mountPoint;
  std::string topdir = parentOf(realPath);
  struct stat status {};
  while (::lstat(topdir.c_str(), &status) != 0) {
    if (topdir == mountPoint) return mountPoint;
    topdir = parentOf(topdir);
  }
  const dev_t device = status.st_dev;
  while (topdir != mountPoint && isAtOrBelow(topdir, mountPoint)) {
    const std::string parent = parentOf(topdir);
    if (::lstat(parent.c_str(), &status) != 0 || status.st_dev != device) break;
    topdir = parent;
  }
  return topdir;
}

std::string nameOf(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string joined(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

// The resolved form of a path that may not exist yet: its nearest existing
// ancestor resolved, the missing rest appended.
std::string resolvedAllowingMissing(const std::string& path) {
  std::string existing = path;
  std::string rest;
  for (;;) {
    if (char* resolved = ::realpath(existing.c_str(), nullptr)) {
      std::string result(resolved);
      std::free(resolved);
      return rest.empty() ? result : joined(result, rest);
    }
    if (existing == "/") return path;
    rest = rest.empty() ? nameOf(existing) : nameOf(existing) + "/" + rest;
    existing = parentOf(existing);
  }
}

void makeFolder(const std::string& path, mode_t mode) {
  if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST) throw Failure{errno};
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) throw Failure{errno};
  if (!S_ISDIR(status.st_mode)) throw Failure{ENOTDIR};
}

void makeFolders(const std::string& path, mode_t mode) {
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) return;
  if (path != "/") makeFolders(parentOf(path), mode);
  makeFolder(path, mode);
}

// A per-user trash folder on a shared mount must be a real folder of ours:
// anyone else could have put a link or a folder of their own there.
bool isOwnFolder(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
         status.st_uid == ::getuid();
}

std::optional<std::string> topdirTrash(const std::string& topdir) {
  const std::string uid = std::to_string(::getuid());
  const std::string shared = joined(topdir, ".Trash");
  struct stat status {};
  if (::lstat(shared.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
      (status.st_mode & S_ISVTX) != 0) {
    std::string own = joined(shared, uid);
    ::mkdir(own.c_str(), 0700);
    if (isOwnFolder(own)) return own;
  }
  std::string own = joined(topdir, ".Trash-" + uid);
  ::mkdir(own.c_str(), 0700);
  if (isOwnFolder(own)) return own;
  return std::nullopt;
}

std::size_t utf8Boundary(const std::string& text, std::size_t limit) {
  if (limit >= text.size()) return text.size();
  while (limit > 0 && (static_cast<unsigned char>(text[limit]) & 0xC0) == 0x80) --limit;
  return limit;
}

// The name for the `attempt`th try: the item's own name first, then
// "stem.2.ext", "stem.3.ext", ...; shortened to fit beside ".trashinfo".
std::string entryName(const std::string& name, int attempt) {
  std::string stem = name;
  std::string extension;
  auto dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) {
    stem = name.substr(0, dot);
    extension = name.substr(dot);
  }
  std::string suffix = attempt == 1 ? "" : "." + std::to_string(attempt);
  if (attempt == 1 && name.size() <= kMaxEntryName) return name;
  if (suffix.size() + extension.size() >= kMaxEntryName / 2) {
    stem = name;
    extension.clear();
  }
  std::size_t room = kMaxEntryName - suffix.size() - extension.size();
  return stem.substr(0, utf8Boundary(stem, room)) + suffix + extension;
}

std::string localDeletionDate() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

bool writeAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t count = ::write(fd, text.data() + done, text.size() - done);
    if (count < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(count);
  }
  return true;
}

// When `trash` is one of the trash folders moveIntoTrash puts items in: the
// folder its records' relative paths start from ("" for the home trash,
// whose records are absolute).
std::optional<std::string> recordBase(const std::string& trash) {
  const std::string real = resolvedAllowingMissing(trash);
  if (real == resolvedAllowingMissing(Trash::homeTrashPath())) return std::string();
  const std::string uid = std::to_string(::getuid());
  std::string topdir;
  if (nameOf(real) == ".Trash-" + uid) {
    topdir = parentOf(real);
  } else if (nameOf(real) == uid && nameOf(parentOf(real)) == ".Trash") {
    topdir = parentOf(parentOf(real));
  } else {
    return std::nullopt;
  }
  if (topdirOf(real) != topdir) return std::nullopt;
  return topdir;
}

// The Path= value of a .trashinfo record, decoded; absent when the record
// cannot be read or has none.
std::optional<std::string> recordedPath(const std::string& record) {
  int fd = ::open(record.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string text;
  struct stat status {};
  // A record is a few lines; anything else is not one of ours.
  constexpr off_t kMaxRecord = 64 * 1024;
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size <= kMaxRecord) {
    text.resize(static_cast<std::size_t>(status.st_size));
    ssize_t count = ::read(fd, text.data(), text.size());
    text.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
  }
  ::close(fd);
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (text.compare(start, 5, "Path=") == 0) {
      return percentDecode(text.substr(start + 5, end - start - 5));
    }
    start = end + 1;
  }
  return std::nullopt;
}

// Makes sure the item about to move is still the expected file.
void checkBeforeMove(const std::string& path, const FileIdentity& expected) {
  auto now = identityOfPath(path);
  if (!now) throw Failure{errno};
  if (!(*now == expected)) throw Changed{};
}

std::string moveIntoTrash(const std::string& itemPath, const FileIdentity* expected) {
  struct stat item {};
  if (::lstat(itemPath.c_str(), &item) != 0) throw Failure{errno};
  const std::string name = nameOf(itemPath);
  if (name.empty() || name == "." || name == "..") throw Failure{EINVAL};
  auto real = realLocation(itemPath);
  if (!real) throw Failure{errno};

  const std::string topdir = topdirOf(*real);
  if (*real == topdir) throw Failure{EBUSY};
  const std::string homeTrash = Trash::homeTrashPath();
  std::string trash;
  std::string recordedPath;
  if (topdirOf(resolvedAllowingMissing(homeTrash)) == topdir) {
    makeFolders(homeTrash, 0700);
    trash = homeTrash;
    recordedPath = *real;
  } else {
    auto found = topdirTrash(topdir);
    // No trash on the item's own mount: moving it to the home trash would be
    // a copy across devices, which a trash must never do.
    if (!found) throw Failure{EXDEV};
    trash = *found;
    // Relative to the top folder, so the record stays right wherever the
    // removable medium is mounted next.
    recordedPath = topdir == "/" ? real->substr(1) : real->substr(topdir.size() + 1);
  }
  const std::string files = joined(trash, "files");
  const std::string info = joined(trash, "info");
  makeFolder(files, 0700);
  makeFolder(info, 0700);

  const std::string record = "[Trash Info]\nPath=" + percentEncodePath(recordedPath) +
                             "\nDeletionDate=" + localDeletionDate() + "\n";
  for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
    const std::string entry = entryName(name, attempt);
    const std::string infoPath = joined(info, entry + ".trashinfo");
    int fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      throw Failure{errno};
    }
    bool written = writeAll(fd, record);
    int writeError = errno;
    if (::close(fd) != 0 && written) {
      written = false;
      writeError = errno;
    }
    if (!written) {
      ::unlink(infoPath.c_str());
      throw Failure{writeError};
    }
    const std::string target = joined(files, entry);
    if (expected) {
      try {
        checkBeforeMove(*real, *expected);
      } catch (...) {
        ::unlink(infoPath.c_str());
        throw;
      }
    }
    if (Trash::beforeMoveSeam()) Trash::beforeMoveSeam()(*real);
    int moveError = NoReplaceMove::move(*real, target);
    if (moveError == 0) {
      if (!expected) return target;
      // A write or a swap in the instant since the check: the file in the
      // trash is not the one that was checked, so it goes back.
      auto moved = identityOfPath(target);
      if (moved && moved->sameFileAndContents(*expected)) return target;
      if (int backError = NoReplaceMove::move(target, *real)) throw StuckInTrash{target, backError};
      ::unlink(infoPath.c_str());
      throw Changed{};
    }
    ::unlink(infoPath.c_str());
    // A leftover in files/ without its record: that name is taken, try the
    // next one.
    if (moveError != EEXIST) throw Failure{moveError};
  }
  throw Failure{EEXIST};
}

}  // namespace

std::string Trash::homeTrashPath() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  std::string base =
      dataHome && dataHome[0] == '/' ? std::string(dataHome) : joined(homeFolder(), ".local/share");
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return joined(base, "Trash");
}

namespace {

FileURL sendToTrash(const FileURL& item, const FileIdentity* expected) {
  try {
    std::string location = moveIntoTrash(item.path(), expected);
    struct stat status {};
    bool isFolder = ::lstat(location.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
    return FileURL::fromPath(location, isFolder);
  } catch (const Failure& failure) {
    throw SortError::trashFailed(item, NoReplaceMove::failureText(failure.error));
  } catch (const Changed&) {
    throw SortError::sourceChangedDuringMove(item);
  } catch (const StuckInTrash& stuck) {
    throw SortError::moveFailed(FileURL::fromPath(stuck.location), item,
                                NoReplaceMove::failureText(stuck.error));
  }
}

}  // namespace

FileURL Trash::trashItem(const FileURL& item) {
  return sendToTrash(item, nullptr);
}

FileURL Trash::trashItemIfUnchanged(const FileURL& item, const FileIdentity& expected) {
  return sendToTrash(item, &expected);
}

void Trash::forgetTrashedItem(const FileURL& trashedLocation, const FileURL& originalLocation) {
  const std::string& path = trashedLocation.path();
  const std::string files = parentOf(path);
  if (nameOf(files) != "files") return;
  const std::string trash = parentOf(files);
  auto base = recordBase(trash);
  if (!base) return;
  // The record of an item still in the trash, or of a later item that took
  // the name, is not this one's to drop.
  struct stat status {};
  if (::lstat(path.c_str(), &status) == 0 || errno != ENOENT) return;
  const std::string record = joined(joined(trash, "info"), nameOf(path) + ".trashinfo");
  auto recorded = recordedPath(record);
  if (!recorded || recorded->empty()) return;
  std::string from = recorded->front() == '/' ? *recorded : joined(*base, *recorded);
  auto original = realLocation(originalLocation.path());
  if (from != original.value_or(resolvedAllowingMissing(originalLocation.path()))) return;
  ::unlink(record.c_str());
}

void Trash::forgetUnwrittenRecords(const FileURL& item) {
  const std::string name = nameOf(item.path());
  if (name.empty() || name == "." || name == "..") return;
  const std::string topdir = topdirOf(resolvedAllowingMissing(item.path()));
  const std::string homeTrash = homeTrashPath();
  std::vector<std::string> trashes;
  if (topdirOf(resolvedAllowingMissing(homeTrash)) == topdir) {
    trashes.push_back(homeTrash);
  } else {
    const std::string uid = std::to_string(::getuid());
    for (const std::string& own :
         {joined(joined(topdir, ".Trash"), uid), joined(topdir, ".Trash-" + uid)}) {
      if (isOwnFolder(own)) trashes.push_back(own);
    }
  }
  struct stat status {};
  for (const std::string& trash : trashes) {
    const std::string files = joined(trash, "files");
    const std::string info = joined(trash, "info");
    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
      const std::string entry = entryName(name, attempt);
      const std::string record = joined(info, entry + ".trashinfo");
      const bool hasRecord = ::lstat(record.c_str(), &status) == 0;
      const bool unwritten = hasRecord && S_ISREG(status.st_mode) && status.st_size == 0;
      const bool hasItem = ::lstat(joined(files, entry).c_str(), &status) == 0 || errno != ENOENT;
      // A move into the trash takes the first name without a record, so a
      // record it left unwritten lies before the first name nothing holds.
      if (!hasRecord && !hasItem) break;
      if (unwritten && !hasItem) ::unlink(record.c_str());
    }
  }
}

bool Trash::contains(const FileURL& item) {
  const std::string real = resolvedAllowingMissing(item.path());
  if (isAtOrBelow(real, resolvedAllowingMissing(homeTrashPath()))) return true;
  const std::string topdir = topdirOf(real);
  if (real == topdir || !isAtOrBelow(real, topdir)) return false;
  const std::string rest = topdir == "/" ? real.substr(1) : real.substr(topdir.size() + 1);
  const std::string first = rest.substr(0, rest.find('/'));
  if (first == ".Trash") return true;
  const std::string prefix = ".Trash-";
  return first.size() > prefix.size() && first.compare(0, prefix.size(), prefix) == 0 &&
         first.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
}

std::function<std::optional<std::string>(const std::string&)>& Trash::mountPointSeam() {
  static std::function<std::optional<std::string>(const std::string&)> seam;
  return seam;
}

std::function<void(const std::string&)>& Trash::beforeMoveSeam() {
  static std::function<void(const std::string&)> seam;
  return seam;
}

}  // namespace rozuzed

#include "rozuzed/journal/run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>

#include "rozuzed/filesystem/content_hashing.h"
#include "rozuzed/journal/sqlite_journal_store.h"
#include "rozuzed/model/sort_error.h"
#include "rozuzed/support/text.h"

namespace rozuzed {
namespace {

constexpr const char* kPrivateFolderPrefix = "ombrix-";

std::string privateFolderName() {
  return kPrivateFolderPrefix + std::to_string(::getuid());
}

// The private folder under the temporary folder must be the user's alone:
// another user who made it first could swap the lock file under us.
void makePrivateFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    throw SortError::journalUnavailable("could not create the lock directory: " +
                                        errnoDescription(errno));
  }
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    throw SortError::journalUnavailable("could not create the lock directory: " +
                                        errnoDescription(errno));
  }
  if (!S_ISDIR(status.st_mode) || status.st_uid != ::getuid()) {
    throw SortError::journalUnavailable(path + " is not a folder of this user's own");
  }
}

// Opens the lock file at `url`, making what it needs first.
int openLockFile(const FileURL& url) {
  const FileURL folder = url.deletingLastPathComponent();
  if (folder.lastPathComponent() == privateFolderName()) {
    makePrivateFolder(folder.path());
  } else {
    std::error_code error;
    std::filesystem::create_directories(folder.path(), error);
    if (error) {
      throw SortError::journalUnavailable("could not create the lock directory: " +
                                          error.message());
    }
  }
  int descriptor = ::open(url.path().c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (descriptor < 0) {
    int number = errno;
    throw SortError::journalUnavailable("could not open the run lock at " + url.path() +
                                        " (errno " + std::to_string(number) + ")");
  }
  return descriptor;
}

enum class Named { held, busy, unavailable };

// Binds the abstract name of `primary` to a new socket in `socketOut`.
Named takeName(const FileURL& primary, int& socketOut) {
  socketOut = -1;
  int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socket < 0) return Named::unavailable;
  // A hash keeps any path within the address's room.
  const std::string name =
      "ombrix-run-lock-" + ContentHashing::sha256(primary.path()).sha256.substr(0, 32);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path + 1, name.data(), name.size());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  if (::bind(socket, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
    socketOut = socket;
    return Named::held;
  }
  const int number = errno;
  ::close(socket);
  return number == EADDRINUSE ? Named::busy : Named::unavailable;
}

}  // namespace

std::unique_ptr<RunLock> RunLock::acquire(const FileURL& url) {
  return acquire(std::vector<FileURL>{url});
}

std::unique_ptr<RunLock> RunLock::acquire(const std::vector<FileURL>& places) {
  std::optional<SortError> firstFailure;
  for (const FileURL& place : places) {
    int descriptor = -1;
    try {
      descriptor = openLockFile(place);
    } catch (const SortError& failure) {
      if (!firstFailure) firstFailure = failure;
      continue;
    }
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
      const int number = errno;
      ::close(descriptor);
      if (number == EWOULDBLOCK) return nullptr;
      if (!firstFailure) {
        firstFailure = SortError::journalUnavailable("could not lock " + place.path() + " (errno " +
                                                     std::to_string(number) + ")");
      }
      continue;
    }
    int name = -1;
    // Where the system refuses such sockets the file lock stands alone.
    if (takeName(places.front(), name) == Named::busy) {
      ::close(descriptor);
      return nullptr;
    }
    return std::unique_ptr<RunLock>(new RunLock(place, descriptor, name));
  }
  throw *firstFailure;
}

FileURL RunLock::defaultURL() {
  return url(SQLiteJournalStore::defaultURL());
}

FileURL RunLock::url(const FileURL& besideStore) {
  return besideStore.deletingLastPathComponent().appendingPathComponent("run.lock");
}

std::vector<FileURL> RunLock::fallbackURLs() {
  std::vector<FileURL> places;
  // Relative values are to be ignored, as the base-directory rules say.
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') {
    places.push_back(FileURL::fromPath(runtime, true).appendingPathComponent("ombrix.lock"));
  }
  std::error_code error;
  std::string temporary = std::filesystem::temp_directory_path(error).string();
  if (error || temporary.empty() || temporary.front() != '/') temporary = "/tmp";
  places.push_back(FileURL::fromPath(temporary, true)
                       .appendingPathComponent(privateFolderName(), true)
                       .appendingPathComponent("run.lock"));
  return places;
}

void RunLock::release() noexcept {
  std::lock_guard<std::mutex> hold(mutex_);
  if (!isOpen_) return;
  if (name_ >= 0) ::close(name_);
  ::flock(descriptor_, LOCK_UN);
  ::close(descriptor_);
  isOpen_ = false;
}

}  // namespace rozuzed

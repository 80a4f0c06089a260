#include "rozuzed/journal/run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "rozuzed/journal/sqlite_journal_store.h"
#include "rozuzed/model/sort_error.h"

namespace rozuzed {

std::unique_ptr<RunLock> RunLock::acquire(const FileURL& url) {
  std::error_code error;
  std::filesystem::create_directories(url.deletingLastPathComponent().path(), error);
  if (error) {
    throw SortError::journalUnavailable("could not create the lock directory: " + error.message());
  }
  int descriptor = ::open(url.path().c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (descriptor < 0) {
    int number = errno;
    throw SortError::journalUnavailable("could not open the run lock at " + url.path() +
                                        " (errno " + std::to_string(number) + ")");
  }
  if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0) {
    return std::unique_ptr<RunLock>(new RunLock(url, descriptor));
  }
  int number = errno;
  ::close(descriptor);
  if (number == EWOULDBLOCK) return nullptr;
  throw SortError::journalUnavailable("could not lock " + url.path() + " (errno " +
                                      std::to_string(number) + ")");
}

FileURL RunLock::defaultURL() {
  return url(SQLiteJournalStore::defaultURL());
}

FileURL RunLock::url(const FileURL& besideStore) {
  return besideStore.deletingLastPathComponent().appendingPathComponent("run.lock");
}

void RunLock::release() noexcept {
  std::lock_guard<std::mutex> hold(mutex_);
  if (!isOpen_) return;
  ::flock(descriptor_, LOCK_UN);
  ::close(descriptor_);
  isOpen_ = false;
}

}  // namespace rozuzed

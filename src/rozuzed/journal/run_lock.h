// The cross-process run lock: an exclusive, non-blocking flock on one lock
// file, held around every operation that plans, applies, undoes or
// reconciles, so two processes never work on the user's files at once.
#pragma once

#include <memory>
#include <mutex>

#include "rozuzed/support/file_url.h"

namespace rozuzed {

// One hold of the lock. The lock belongs to the open descriptor, so it ends
// with `release()`, with the holder's destruction, or when the process ends
// however it ends. The lock file is created when missing (mode 0644) and is
// never written, truncated or deleted.
class RunLock final {
 public:
  // Takes the lock on `url`, creating its folder as needed. Absent when
  // another holder, in this process or another, has it now (never waits).
  // Throws journalUnavailable for every other failure.
  static std::unique_ptr<RunLock> acquire(const FileURL& url);

  // "run.lock" beside the default journal database. Throws what
  // SQLiteJournalStore::defaultURL() throws.
  static FileURL defaultURL();
  // "run.lock" in the folder of `store`.
  static FileURL url(const FileURL& besideStore);

  // Unlocks and closes, once; later calls do nothing. Any thread; never
  // throws.
  void release() noexcept;

  ~RunLock() { release(); }
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

 private:
  RunLock(FileURL url, int descriptor) : url_(std::move(url)), descriptor_(descriptor) {}

  const FileURL url_;
  const int descriptor_;
  std::mutex mutex_;
  bool isOpen_ = true;
};

}  // namespace rozuzed

// The cross-process run lock: an exclusive, non-blocking flock on one lock
// file, held around every operation that plans, applies, undoes or
// reconciles, so two processes never work on the user's files at once.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "rozuzed/support/file_url.h"

namespace rozuzed {

// One hold of the lock. The lock belongs to open descriptors, so it ends
// with `release()`, with the holder's destruction, or when the process ends
// however it ends. The lock file is created when missing (mode 0644) and is
// never written, truncated or deleted.
//
// Besides the file, a hold keeps a name in the abstract socket namespace
// made from the first place's path. The file alone would not keep the lock
// exclusive once its folder is removed or replaced: the next taker would
// make a new file there and lock that. The name cannot be removed or
// swapped, and it goes with the process.
class RunLock final {
 public:
  // Takes the lock on `url`, creating its folder as needed. Absent when
  // another holder, in this process or another, has it now (never waits).
  // Throws journalUnavailable for every other failure.
  static std::unique_ptr<RunLock> acquire(const FileURL& url);

  // As above, at the first of `places` where the lock file can be made and
  // locked: a place that cannot hold it is passed over for the next. Absent
  // when the lock is busy at the first place that can hold it. When none
  // can, throws the failure of the first place. `places` is not empty.
  static std::unique_ptr<RunLock> acquire(const std::vector<FileURL>& places);

  // "run.lock" beside the default journal database. Throws what
  // SQLiteJournalStore::defaultURL() throws.
  static FileURL defaultURL();
  // "run.lock" in the folder of `store`.
  static FileURL url(const FileURL& besideStore);
  // Where the lock goes when the journal's folder cannot hold it, in order:
  // "ombrix.lock" in $XDG_RUNTIME_DIR when that is set, then "run.lock" in
  // a folder of the user's own under the system's temporary folder, which
  // is made 0700 and refused when it is not a folder owned by the user.
  static std::vector<FileURL> fallbackURLs();

  // The lock file this hold locked.
  const FileURL& location() const { return url_; }

  // Unlocks and closes, once; later calls do nothing. Any thread; never
  // throws.
  void release() noexcept;

  ~RunLock() { release(); }
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

 private:
  RunLock(FileURL url, int descriptor, int name)
      : url_(std::move(url)), descriptor_(descriptor), name_(name) {}

  const FileURL url_;
  const int descriptor_;
  // The socket holding the abstract name; -1 where sockets are refused.
  const int name_;
  std::mutex mutex_;
  bool isOpen_ = true;
};

}  // namespace rozuzed

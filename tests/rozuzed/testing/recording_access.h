// Folder access for tests: runs every body and remembers what it was asked.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "rozuzed/support/security_scoped_access.h"

namespace rozuzed::testing {

// Records each folder asked for and the thread that asked, and can refuse one
// folder. Safe to call from several threads; read the records once the work
// that calls it is done.
class RecordingAccess final : public SecurityScopedAccess {
 public:
  // Throws std::runtime_error("access lost") without running `body` when
  // `url` is `failOn`.
  void withAccess(const FileURL& url, const std::function<void()>& body) override;

  std::optional<FileURL> failOn;
  // One element per call, in the order of the calls.
  std::vector<FileURL> urls;
  std::vector<std::thread::id> threads;
  // A body began while another was still running.
  std::atomic<bool> overlapped{false};

 private:
  std::mutex mutex_;
  std::atomic<int> inside_{0};
};

}  // namespace rozuzed::testing

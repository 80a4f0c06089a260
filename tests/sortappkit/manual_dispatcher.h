// A main thread for tests: posted tasks wait in a queue until the test runs
// them, one at a time, so every step in between can be looked at.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "sortappkit/main_thread_dispatcher.h"

namespace sortappkit::testing {

class ManualDispatcher final : public MainThreadDispatcher {
 public:
  // Generous: only a hung engine operation ever waits this long.
  static constexpr std::chrono::seconds patience{60};

  void post(std::function<void()> task) override {
    {
      std::lock_guard guard(mutex_);
      tasks_.push_back(std::move(task));
    }
    arrived_.notify_all();
  }

  // Waits for the next task and runs it on the calling thread; false when
  // none came in time.
  bool runOne() {
    std::function<void()> task;
    {
      std::unique_lock guard(mutex_);
      if (!arrived_.wait_for(guard, patience, [this] { return !tasks_.empty(); })) return false;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
    return true;
  }

  // Runs tasks as they come until `condition` holds; false when it did not
  // in time.
  bool runUntil(const std::function<bool()>& condition) {
    while (!condition()) {
      if (!runOne()) return false;
    }
    return true;
  }

  std::size_t pending() const {
    std::lock_guard guard(mutex_);
    return tasks_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::function<void()>> tasks_;
};

}  // namespace sortappkit::testing

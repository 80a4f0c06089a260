#include "sortappkit/serial_queue.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace sortappkit {

struct SerialQueue::State {
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<std::function<void()>> tasks;
  bool stopping = false;
};

SerialQueue::SerialQueue() : state_(std::make_shared<State>()) {
  // The worker shares the state, so it can finish its tasks even when the
  // queue is destroyed by one of them.
  worker_ = std::thread([state = state_] {
    std::unique_lock guard(state->mutex);
    for (;;) {
      state->wake.wait(guard, [&] { return state->stopping || !state->tasks.empty(); });
      if (state->tasks.empty()) return;
      auto task = std::move(state->tasks.front());
      state->tasks.pop_front();
      guard.unlock();
      try {
        task();
      } catch (...) {
        // A task reports its own failures; nothing may escape the worker.
      }
      task = nullptr;
      guard.lock();
    }
  });
}

SerialQueue::~SerialQueue() {
  {
    std::lock_guard guard(state_->mutex);
    state_->stopping = true;
  }
  state_->wake.notify_one();
  if (isCurrent()) {
    worker_.detach();
  } else {
    worker_.join();
  }
}

void SerialQueue::async(std::function<void()> task) {
  {
    std::lock_guard guard(state_->mutex);
    state_->tasks.push_back(std::move(task));
  }
  state_->wake.notify_one();
}

}  // namespace sortappkit

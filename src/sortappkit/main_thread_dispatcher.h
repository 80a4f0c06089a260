// The way back to the thread that owns the application model.
#pragma once

#include <functional>

namespace sortappkit {

// The window hands in Qt's queued invocation on the main thread; tests hand
// in a queue they drain themselves.
class MainThreadDispatcher {
 public:
  virtual ~MainThreadDispatcher() = default;
  // Runs `task` later on the main thread, after every task posted before it.
  // Callable from any thread; never runs `task` inside `post`.
  virtual void post(std::function<void()> task) = 0;
};

}  // namespace sortappkit

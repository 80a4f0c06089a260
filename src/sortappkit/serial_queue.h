// One worker thread that runs the tasks given to it one at a time, in the
// order they were given.
#pragma once

#include <functional>
#include <memory>
#include <thread>

namespace sortappkit {

// Tasks never overlap and never run on the thread that enqueued them. A task
// that throws is ended there; the queue goes on with the next. Destroying
// the queue lets every task already enqueued run to its end first.
class SerialQueue {
 public:
  SerialQueue();
  ~SerialQueue();
  SerialQueue(const SerialQueue&) = delete;
  SerialQueue& operator=(const SerialQueue&) = delete;

  // Callable from any thread, the worker's own included.
  void async(std::function<void()> task);

  // True on the worker thread.
  bool isCurrent() const { return std::this_thread::get_id() == worker_.get_id(); }

 private:
  struct State;
  std::shared_ptr<State> state_;
  std::thread worker_;
};

}  // namespace sortappkit

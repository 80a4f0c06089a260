// Long loops spread over the machine's cores, their results taken in order.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace rozuzed {

// How many threads a loop over `items` items should use when each thread
// is to have about `perThread` of them: at least one, at most one per core
// and never more than four. More gain little, as the disk and the memory
// bus set the pace, and each thread that allocates keeps a heap of its own
// for the life of the process.
inline std::size_t threadsFor(std::size_t items, std::size_t perThread) {
  constexpr std::size_t kMostThreads = 4;
  const std::size_t cores = std::max<std::size_t>(1, std::thread::hardware_concurrency());
  const std::size_t wanted = perThread == 0 ? items : (items + perThread - 1) / perThread;
  return std::clamp<std::size_t>(wanted, 1, std::min(cores, kMostThreads));
}

// Makes the results 0 to count-1 with `make(index, thread)` on up to
// `threads` threads of its own and hands each to `take(result)` on the
// calling thread, in the order of the indices, as soon as it and every
// result before it are made. At most two results per thread wait to be
// taken, so the memory held stays bounded however large `count` is.
// `thread` lies in [0, threads) and no two calls with the same `thread`
// overlap, so state kept per thread needs no lock.
//
// What `make` throws reaches the caller in place of its result, once every
// result before it has been taken; the results after it are not taken.
// What `take` throws stops the work and reaches the caller. With a single
// thread, or when no thread can be started, everything runs on the calling
// thread.
template <class Result, class Make, class Take>
void makeInOrder(std::size_t count, std::size_t threads, Make&& make, Take&& take) {
  auto inline_ = [&](std::size_t from) {
    for (std::size_t index = from; index < count; ++index) take(make(index, std::size_t{0}));
  };
  if (threads <= 1 || count <= 1) return inline_(0);

  struct Slot {
    std::optional<Result> result;
    std::exception_ptr failure;
    bool ready = false;
  };
  const std::size_t window = 2 * threads;
  std::vector<Slot> slots(window);
  std::mutex mutex;
  std::condition_variable made;
  std::condition_variable taken;
  std::size_t next = 0;
  std::size_t handedOn = 0;
  bool stopped = false;
  // Who sleeps, so that a result or a take wakes only a thread that waits
  // on it: one wake per hand-off at most, not a wake of every thread.
  std::size_t workersWaiting = 0;
  bool takerWaiting = false;

  auto work = [&](std::size_t thread) {
    for (;;) {
      std::size_t index;
      {
        std::unique_lock<std::mutex> lock(mutex);
        // A result may only be made once the one that last used its slot
        // has been taken.
        while (!(stopped || next >= count || next < handedOn + window)) {
          ++workersWaiting;
          taken.wait(lock);
          --workersWaiting;
        }
        if (stopped || next >= count) return;
        index = next++;
      }
      Slot slot;
      try {
        slot.result.emplace(make(index, thread));
      } catch (...) {
        slot.failure = std::current_exception();
      }
      slot.ready = true;
      bool awaited;
      {
        std::lock_guard<std::mutex> lock(mutex);
        slots[index % window] = std::move(slot);
        awaited = takerWaiting && index == handedOn;
      }
      if (awaited) made.notify_one();
    }
  };

  std::vector<std::thread> workers;
  // Declared after the workers, so it runs first when the call ends, however
  // it ends: the workers stop claiming results and are then joined.
  struct Stop {
    std::vector<std::thread>& workers;
    std::mutex& mutex;
    std::condition_variable& taken;
    bool& stopped;
    ~Stop() {
      {
        std::lock_guard<std::mutex> lock(mutex);
        stopped = true;
      }
      taken.notify_all();
      for (std::thread& worker : workers) worker.join();
    }
  } stop{workers, mutex, taken, stopped};

  workers.reserve(threads);
  for (std::size_t thread = 0; thread < threads; ++thread) {
    try {
      workers.emplace_back(work, thread);
    } catch (const std::system_error&) {
      break;
    }
  }
  if (workers.empty()) return inline_(0);

  while (handedOn < count) {
    Slot slot;
    bool wanted;
    {
      std::unique_lock<std::mutex> lock(mutex);
      while (!slots[handedOn % window].ready) {
        takerWaiting = true;
        made.wait(lock);
        takerWaiting = false;
      }
      slot = std::move(slots[handedOn % window]);
      slots[handedOn % window] = Slot();
      ++handedOn;
      wanted = workersWaiting > 0;
    }
    // A take frees one slot, which one worker claims.
    if (wanted) taken.notify_one();
    if (slot.failure) std::rethrow_exception(slot.failure);
    take(std::move(*slot.result));
  }
}

// makeInOrder over `count` items taken `run` at a time: the result for
// the items [begin, end) is `make(begin, end, thread)`.
template <class Result, class Make, class Take>
void makeInRuns(std::size_t count, std::size_t run, std::size_t threads, Make&& make, Take&& take) {
  makeInOrder<Result>((count + run - 1) / run, threads,
                      [&](std::size_t index, std::size_t thread) {
                        const std::size_t begin = index * run;
                        return make(begin, std::min(count, begin + run), thread);
                      },
                      std::forward<Take>(take));
}

}  // namespace rozuzed

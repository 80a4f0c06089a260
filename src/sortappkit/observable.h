// A value that tells its observers when it changes.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <type_traits>
#include <utility>

namespace sortappkit {

// An assignment announces a change only when the new value differs from the
// old one, unless the property was made to announce every assignment (for
// values without a meaningful equality). Observers run synchronously on the
// assigning thread, after the value has changed, in the order they were
// added. Not thread-safe: the owner confines it to one thread.
template <class T>
class Observable {
 public:
  using Observer = std::function<void(const T&)>;

  explicit Observable(T initial = T(), bool announcesEveryAssignment = false)
      : value_(std::move(initial)), announcesEveryAssignment_(announcesEveryAssignment) {}
  Observable(const Observable&) = delete;
  Observable& operator=(const Observable&) = delete;

  const T& get() const { return value_; }

  void set(T value) {
    if (!announcesEveryAssignment_ && value == value_) return;
    value_ = std::move(value);
    announce();
  }

  // Changes the value in place and announces when it differs afterwards.
  // A change that returns a bool says itself whether it changed the value:
  // it is made on the value without a copy, and announced when it says so.
  template <class Change>
  void modify(Change&& change) {
    if constexpr (std::is_same_v<std::invoke_result_t<Change&, T&>, bool>) {
      if (change(value_) || announcesEveryAssignment_) announce();
    } else {
      T next = value_;
      change(next);
      set(std::move(next));
    }
  }

  // Watching changes nothing, so a read-only property can be observed too.
  // Returns a token for `unobserve`.
  int64_t observe(Observer observer) const {
    observers_.emplace(nextToken_, std::move(observer));
    return nextToken_++;
  }
  void unobserve(int64_t token) const { observers_.erase(token); }

 private:
  void announce() {
    // A copy, so an observer may add or remove observers.
    auto observers = observers_;
    for (auto& [token, observer] : observers) observer(value_);
  }

  T value_;
  bool announcesEveryAssignment_;
  mutable std::map<int64_t, Observer> observers_;
  mutable int64_t nextToken_ = 0;
};

}  // namespace sortappkit

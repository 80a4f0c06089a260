// Keeps a screen's subscriptions to the application model for as long as
// the screen lives.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "sortappkit/observable.h"

namespace ombrix {

// Each `watch` registers an observer; all of them are removed when this
// object is destroyed, so a screen that goes away is never called again. The
// observed properties must outlive it (the model outlives every screen).
class Observations {
 public:
  Observations() = default;
  Observations(const Observations&) = delete;
  Observations& operator=(const Observations&) = delete;
  ~Observations() {
    for (auto& forget : forgetters_) forget();
  }

  template <class T, class Observer>
  void watch(const sortappkit::Observable<T>& property, Observer observer) {
    const int64_t token = property.observe(std::move(observer));
    forgetters_.push_back([&property, token] { property.unobserve(token); });
  }

 private:
  std::vector<std::function<void()>> forgetters_;
};

}  // namespace ombrix

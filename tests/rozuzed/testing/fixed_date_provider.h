// A clock that tests set by hand.
#pragma once

#include "rozuzed/support/date_provider.h"

namespace rozuzed::testing {

// Gives `current` and then moves it on by `step` at every reading, so each
// time the engine records can be told apart when `step` is not 0. Not
// thread-safe.
class FixedDateProvider final : public DateProvider {
 public:
  explicit FixedDateProvider(Date start = 1'700'000'000, Date step = 0)
      : current_(start), step_(step) {}

  Date now() const override {
    Date reading = current_;
    current_ += step_;
    return reading;
  }

  void set(Date date) { current_ = date; }
  void advance(Date seconds) { current_ += seconds; }

 private:
  mutable Date current_;
  Date step_;
};

}  // namespace rozuzed::testing

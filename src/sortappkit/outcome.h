// The result of one piece of work that ran elsewhere: its value, or the
// exception it ended with.
#pragma once

#include <exception>
#include <optional>
#include <utility>

namespace sortappkit {

template <class T>
class Outcome {
 public:
  static Outcome success(T value) { return Outcome(std::move(value), nullptr); }
  static Outcome failure(std::exception_ptr error) { return Outcome(std::nullopt, error); }

  bool succeeded() const { return !error_; }
  // The value; rethrows the failure.
  const T& value() const {
    if (error_) std::rethrow_exception(error_);
    return *value_;
  }
  T& value() {
    if (error_) std::rethrow_exception(error_);
    return *value_;
  }
  std::exception_ptr error() const { return error_; }

 private:
  Outcome(std::optional<T> value, std::exception_ptr error)
      : value_(std::move(value)), error_(error) {}

  std::optional<T> value_;
  std::exception_ptr error_;
};

template <>
class Outcome<void> {
 public:
  static Outcome success() { return Outcome(nullptr); }
  static Outcome failure(std::exception_ptr error) { return Outcome(error); }

  bool succeeded() const { return !error_; }
  // Rethrows the failure.
  void value() const {
    if (error_) std::rethrow_exception(error_);
  }
  std::exception_ptr error() const { return error_; }

 private:
  explicit Outcome(std::exception_ptr error) : error_(error) {}

  std::exception_ptr error_;
};

}  // namespace sortappkit

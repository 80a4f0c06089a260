// The clock. Every part of the engine that needs the present time reads it
// from the DateProvider it was built with, so tests can fix the time.
#pragma once

#include "rozuzed/support/dates.h"

namespace rozuzed {

class DateProvider {
 public:
  virtual ~DateProvider() = default;
  // The present time; read anew on every call.
  virtual Date now() const = 0;
};

// The system clock. Holds nothing; safe to share between threads.
class SystemDateProvider final : public DateProvider {
 public:
  Date now() const override;
};

}  // namespace rozuzed

#include "rozuzed/support/dates.h"

#include <chrono>

namespace rozuzed {

Date currentDate() {
  auto now = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration<double>(now).count();
}

}  // namespace rozuzed

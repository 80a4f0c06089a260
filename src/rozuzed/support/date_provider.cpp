#include "rozuzed/support/date_provider.h"

namespace rozuzed {

Date SystemDateProvider::now() const {
  return currentDate();
}

}  // namespace rozuzed

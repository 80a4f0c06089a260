#include "rozuzed/support/security_scoped_access.h"

namespace rozuzed {

void UnscopedAccess::withAccess(const FileURL&, const std::function<void()>& body) {
  body();
}

}  // namespace rozuzed

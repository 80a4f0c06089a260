#include "sortappkit/folder_access/scoped_access.h"

#include "sortappkit/app_error.h"

namespace sortappkit {

void ScopedAccess::withAccess(const rozuzed::FileURL&, const std::function<void()>& body) {
  if (!folder_->isActive() && !folder_->startAccessing()) {
    throw AppError::folderAccessLost(folder_->url());
  }
  body();
}

}  // namespace sortappkit

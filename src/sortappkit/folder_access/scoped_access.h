// The application's way of keeping the granted folder accessible while the
// engine works in it.
#pragma once

#include <functional>
#include <memory>

#include "rozuzed/support/security_scoped_access.h"
#include "sortappkit/folder_access/granted_folder.h"

namespace sortappkit {

// Runs each body with the folder given at construction accessible, whatever
// URL the engine names. Access it starts is not stopped afterwards: the folder
// stays accessible until its owner releases it.
class ScopedAccess final : public rozuzed::SecurityScopedAccess {
 public:
  explicit ScopedAccess(std::shared_ptr<GrantedFolder> folder) : folder_(std::move(folder)) {}

  // Throws AppError::folderAccessLost with the folder's URL, without running
  // the body, when access to an inactive folder cannot be started again.
  void withAccess(const rozuzed::FileURL& url, const std::function<void()>& body) override;

 private:
  std::shared_ptr<GrantedFolder> folder_;
};

}  // namespace sortappkit

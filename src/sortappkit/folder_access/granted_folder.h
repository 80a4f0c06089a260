// One folder the user granted, with its bookmark and a count of the accesses
// started on it and not yet stopped.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "rozuzed/support/file_url.h"
#include "sortappkit/folder_access/security_scoped_bookmarks.h"

namespace sortappkit {

// Shared by reference between the model and every ScopedAccess made for it;
// thread-safe. The access count is never negative, and access to `url` has
// been started exactly `accessCount` times more than it has been stopped.
// Dropping a folder does not stop its access: releasing is the owner's duty.
class GrantedFolder {
 public:
  struct Resolution {
    std::shared_ptr<GrantedFolder> folder;
    bool isStale = false;
  };

  // Starts no access.
  GrantedFolder(
      rozuzed::FileURL url, std::string bookmark,
      std::shared_ptr<SecurityScopedBookmarks> platform = SecurityScopedBookmarks::live());
  GrantedFolder(const GrantedFolder&) = delete;
  GrantedFolder& operator=(const GrantedFolder&) = delete;

  // The bookmark of the folder at `url`. Throws AppError::bookmarkNotCreated.
  static std::string makeBookmark(
      const rozuzed::FileURL& url,
      const std::shared_ptr<SecurityScopedBookmarks>& platform = SecurityScopedBookmarks::live());

  // The folder a bookmark grants, with no access started. A stale bookmark is
  // replaced by a fresh one when that can be made, else kept; the caller
  // stores the folder's bookmark when `isStale`. Throws
  // AppError::bookmarkUnreadable.
  static Resolution resolve(
      const std::string& bookmark,
      const std::shared_ptr<SecurityScopedBookmarks>& platform = SecurityScopedBookmarks::live());

  const rozuzed::FileURL& url() const { return url_; }
  const std::string& bookmark() const { return bookmark_; }
  std::string displayName() const { return url_.lastPathComponent(); }

  bool isActive() const;

  // Starts access once; true when the platform granted it.
  bool startAccessing();
  // Stops one counted access; nothing at count 0.
  void stopAccessing();
  // Stops every counted access.
  void releaseAll();

 private:
  const rozuzed::FileURL url_;
  const std::string bookmark_;
  const std::shared_ptr<SecurityScopedBookmarks> platform_;
  mutable std::mutex lock_;
  int accessCount_ = 0;
};

}  // namespace sortappkit

#include "sortappkit/folder_access/granted_folder.h"

#include "sortappkit/app_error.h"

namespace sortappkit {

using rozuzed::FileURL;

GrantedFolder::GrantedFolder(FileURL url, std::string bookmark,
                             std::shared_ptr<SecurityScopedBookmarks> platform)
    : url_(std::move(url)), bookmark_(std::move(bookmark)), platform_(std::move(platform)) {}

std::string GrantedFolder::makeBookmark(const FileURL& url,
                                        const std::shared_ptr<SecurityScopedBookmarks>& platform) {
  try {
    return platform->bookmarkData(url);
  } catch (const BookmarkFailure& failure) {
    throw AppError::bookmarkNotCreated(url, failure.what());
  }
}

GrantedFolder::Resolution GrantedFolder::resolve(
    const std::string& bookmark, const std::shared_ptr<SecurityScopedBookmarks>& platform) {
  SecurityScopedBookmarks::Resolved resolved;
  try {
    resolved = platform->resolve(bookmark);
  } catch (const BookmarkFailure& failure) {
    throw AppError::bookmarkUnreadable(failure.what());
  }
  std::string data = bookmark;
  if (resolved.isStale) {
    try {
      data = platform->bookmarkData(resolved.url);
    } catch (const BookmarkFailure&) {
      // The old bookmark still leads here for now; the next launch tries again.
    }
  }
  return {std::make_shared<GrantedFolder>(resolved.url, std::move(data), platform),
          resolved.isStale};
}

bool GrantedFolder::isActive() const {
  std::lock_guard guard(lock_);
  return accessCount_ > 0;
}

bool GrantedFolder::startAccessing() {
  std::lock_guard guard(lock_);
  if (!platform_->startAccessing(url_)) return false;
  ++accessCount_;
  return true;
}

void GrantedFolder::stopAccessing() {
  std::lock_guard guard(lock_);
  if (accessCount_ == 0) return;
  platform_->stopAccessing(url_);
  --accessCount_;
}

void GrantedFolder::releaseAll() {
  std::lock_guard guard(lock_);
  while (accessCount_ > 0) {
    platform_->stopAccessing(url_);
    --accessCount_;
  }
}

}  // namespace sortappkit

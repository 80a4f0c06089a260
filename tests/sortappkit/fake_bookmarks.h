// A platform of bookmarks for tests: the live blob format, with access that
// can be refused and calls that are counted.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "sortappkit/folder_access/security_scoped_bookmarks.h"

namespace sortappkit::testing {

class FakeBookmarks final : public SecurityScopedBookmarks {
 public:
  std::string bookmarkData(const rozuzed::FileURL& url) const override {
    if (refuseBookmarks) throw BookmarkFailure("bookmarks refused");
    return live_->bookmarkData(url);
  }
  Resolved resolve(const std::string& bookmark) const override {
    Resolved resolved = live_->resolve(bookmark);
    if (refuseBookmarksAfterResolving) refuseBookmarks = true;
    return resolved;
  }
  bool startAccessing(const rozuzed::FileURL&) override {
    ++starts;
    return !refuseAccess;
  }
  void stopAccessing(const rozuzed::FileURL&) override { ++stops; }

  std::atomic<bool> refuseAccess{false};
  mutable std::atomic<bool> refuseBookmarks{false};
  std::atomic<bool> refuseBookmarksAfterResolving{false};
  std::atomic<int> starts{0};
  std::atomic<int> stops{0};

 private:
  std::shared_ptr<SecurityScopedBookmarks> live_ = SecurityScopedBookmarks::live();
};

}  // namespace sortappkit::testing

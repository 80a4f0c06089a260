// Stands in for the platform's security-scoped bookmarks and access: a
// bookmark is a versioned blob of our own naming a folder by its absolute path
// and its device and inode numbers.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "rozuzed/support/file_url.h"

namespace sortappkit {

// A refusal of the platform, carrying the platform's own description.
class BookmarkFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class SecurityScopedBookmarks {
 public:
  struct Resolved {
    rozuzed::FileURL url;  // the folder, with its directory mark
    bool isStale = false;  // the folder at the path is no longer the one bookmarked
  };

  virtual ~SecurityScopedBookmarks() = default;

  // The bookmark of the folder at `url`. Throws BookmarkFailure when the item
  // cannot be examined or is not a folder.
  virtual std::string bookmarkData(const rozuzed::FileURL& url) const = 0;

  // The folder a bookmark names. Throws BookmarkFailure when the bytes are not
  // a bookmark of a version we read, or when nothing is at its path any more.
  virtual Resolved resolve(const std::string& bookmark) const = 0;

  // True when the folder can be used (listed, read and written) now.
  virtual bool startAccessing(const rozuzed::FileURL& url) = 0;
  // Ends one access begun by startAccessing.
  virtual void stopAccessing(const rozuzed::FileURL& url) = 0;

  // The live implementation; stateless and shared by every caller.
  static std::shared_ptr<SecurityScopedBookmarks> live();
};

}  // namespace sortappkit

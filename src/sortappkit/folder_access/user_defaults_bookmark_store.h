// Stands in for the platform's user defaults: QSettings with organisation and
// application "Ombrix".
#pragma once

#include <optional>
#include <string>

#include "sortappkit/folder_access/bookmark_store.h"

namespace sortappkit {

// Holds no state of its own: every operation opens the settings anew, so
// values written by another instance are seen at once.
class UserDefaultsBookmarkStore final : public BookmarkStore {
 public:
  // A suite names settings of their own under the same organisation; absent
  // or empty means the application's standard settings.
  explicit UserDefaultsBookmarkStore(std::optional<std::string> suiteName = std::nullopt)
      : suiteName_(std::move(suiteName)) {}

  // Absent when the key is missing or holds something other than bytes.
  std::optional<std::string> data(const std::string& key) const override;
  void save(const std::string& bytes, const std::string& key) override;
  void remove(const std::string& key) override;

 private:
  std::optional<std::string> suiteName_;
};

}  // namespace sortappkit

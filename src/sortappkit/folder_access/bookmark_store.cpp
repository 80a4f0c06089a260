#include "sortappkit/folder_access/bookmark_store.h"

namespace sortappkit {

std::optional<std::string> InMemoryBookmarkStore::data(const std::string& key) const {
  std::lock_guard guard(lock_);
  auto found = values_.find(key);
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

void InMemoryBookmarkStore::save(const std::string& bytes, const std::string& key) {
  std::lock_guard guard(lock_);
  values_[key] = bytes;
}

void InMemoryBookmarkStore::remove(const std::string& key) {
  std::lock_guard guard(lock_);
  values_.erase(key);
}

}  // namespace sortappkit

// Where the bookmark of the remembered folder is kept between launches.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace sortappkit {

// Bookmarks are bytes, held in std::string. No operation fails: a missing key
// reads as absent.
class BookmarkStore {
 public:
  virtual ~BookmarkStore() = default;
  virtual std::optional<std::string> data(const std::string& key) const = 0;
  // Replaces whatever was stored under `key`.
  virtual void save(const std::string& bytes, const std::string& key) = 0;
  virtual void remove(const std::string& key) = 0;
};

// Forgets everything with the process. Thread-safe.
class InMemoryBookmarkStore final : public BookmarkStore {
 public:
  explicit InMemoryBookmarkStore(std::map<std::string, std::string> seeded = {})
      : values_(std::move(seeded)) {}

  std::optional<std::string> data(const std::string& key) const override;
  void save(const std::string& bytes, const std::string& key) override;
  void remove(const std::string& key) override;

 private:
  mutable std::mutex lock_;
  std::map<std::string, std::string> values_;
};

}  // namespace sortappkit

#include "rozuzed/planning/collision_resolver.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "rozuzed/model/sort_error.h"
#include "rozuzed/support/unicode.h"

namespace rozuzed {
namespace {

// Byte offsets at which `text` may be cut without splitting a user-perceived
// character, ascending, 0 and the full length included. Text that is not
// UTF-8 has no characters to keep whole, so every byte is a boundary.
std::vector<std::size_t> characterBoundaries(const std::string& text) {
  std::vector<std::size_t> boundaries;
  if (isValidUtf8(text)) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> breaks(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    UText* utext = nullptr;
    if (U_SUCCESS(status)) {
      utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    }
    if (U_SUCCESS(status)) breaks->setText(utext, status);
    if (U_SUCCESS(status)) {
      for (int32_t p = breaks->first(); p != icu::BreakIterator::DONE; p = breaks->next()) {
        boundaries.push_back(static_cast<std::size_t>(p));
      }
    }
    // The iterator uses the text until it is destroyed.
    breaks.reset();
    if (utext != nullptr) utext_close(utext);
    if (U_SUCCESS(status)) return boundaries;
    boundaries.clear();
  }
  for (std::size_t i = 0; i <= text.size(); ++i) boundaries.push_back(i);
  return boundaries;
}

// A name that lower-cases byte by byte and stays one component.
bool isPlainAsciiName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return c != '/' && static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

std::size_t CollisionResolver::nameLength(const std::string& name) {
  return decomposedUtf16Length(name);
}

std::optional<std::string> CollisionResolver::name(const std::string& base, int64_t suffix,
                                                   const std::string& ext) {
  std::string tail = " " + std::to_string(suffix);
  if (!ext.empty()) tail += "." + ext;
  std::size_t tailLength = nameLength(tail);
  if (tailLength >= maximumNameLength || tail.size() >= maximumNameBytes) return std::nullopt;
  std::size_t budget = maximumNameLength - tailLength;
  std::size_t byteBudget = maximumNameBytes - tail.size();
  auto fits = [&](std::size_t bytes) {
    return bytes <= byteBudget && nameLength(base.substr(0, bytes)) <= budget;
  };

  std::size_t kept = base.size();
  if (!fits(kept)) {
    // Both measures grow with every character kept, so the longest prefix
    // that fits is found by bisection over the character boundaries.
    std::vector<std::size_t> boundaries = characterBoundaries(base);
    auto firstTooLong = std::partition_point(boundaries.begin(), boundaries.end(), fits);
    kept = firstTooLong == boundaries.begin() ? 0 : *(firstTooLong - 1);
  }
  if (kept == 0) return std::nullopt;
  return base.substr(0, kept) + tail;
}

CollisionResolver::Resolution CollisionResolver::resolve(const std::string& wanted,
                                                         const FileURL& folder) {
  return resolve(wanted, folder, true);
}

CollisionResolver::Resolution CollisionResolver::resolveInMissingFolder(const std::string& wanted,
                                                                        const FileURL& folder) {
  return resolve(wanted, folder, false);
}

CollisionResolver::Resolution CollisionResolver::resolve(const std::string& wanted,
                                                         const FileURL& folder, bool folderExists) {
  // Split only when a numbered name is needed: most files keep their own.
  std::optional<std::pair<std::string, std::string>> baseAndExtension;
  std::string& key = key_;
  for (int64_t attempt = 1; attempt <= maximumAttempts; ++attempt) {
    std::string numbered;
    if (attempt > 1) {
      if (!baseAndExtension) {
        baseAndExtension.emplace(wanted, "");
        auto dot = wanted.rfind('.');
        // A leading dot marks a hidden name, not an extension.
        if (dot != std::string::npos && dot != 0 && dot + 1 < wanted.size()) {
          baseAndExtension.emplace(wanted.substr(0, dot), wanted.substr(dot + 1));
        }
      }
      auto fitted = name(baseAndExtension->first, attempt, baseAndExtension->second);
      if (!fitted) break;
      numbered = std::move(*fitted);
    }
    const std::string& candidate = attempt == 1 ? wanted : numbered;
    FileURL url = folder.appendingPathComponent(candidate);
    keyInFolder(folder, candidate, url, key);
    const std::size_t hash = Claims::hashOf(key);
    const Claims::Place place = claimed_.find(key, hash);
    if (place.found) continue;
    if (folderExists && fileSystem_->fileExists(url)) continue;
    claimed_.insert(key, hash, place);
    return {std::move(url), attempt == 1 ? std::nullopt : std::optional<int64_t>(attempt)};
  }
  throw SortError::collisionUnresolvable(folder.appendingPathComponent(wanted), maximumAttempts);
}

void CollisionResolver::keyInFolder(const FileURL& folder, const std::string& name,
                                    const FileURL& url, std::string& key) {
  if (!isPlainAsciiName(name)) {
    key = pathKey(url);
    return;
  }
  // A plan sends file after file to the same few folders. "/" is neither a
  // cased letter nor ignored by casing, so the folder's part of the key is
  // lower-cased alike with or without the name after it.
  auto found = folderKeys_.find(folder.path());
  if (found == folderKeys_.end()) found = folderKeys_.emplace(folder.path(), pathKey(folder)).first;
  const std::string& prefix = found->second;
  key.assign(prefix);
  if (prefix != "/") key += '/';
  for (char c : name) key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

CollisionResolver::Claims::Place CollisionResolver::Claims::find(std::string_view key,
                                                                 std::size_t hash) const {
  if (slots_.empty()) return {};
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.key == nullptr) return {i, false};
    if (slot.hash == hash && std::string_view(slot.key, slot.length) == key) return {i, true};
  }
}

const char* CollisionResolver::Claims::store(std::string_view key) {
  if (blocks_.empty() || key.size() > blockSize_ - blockUsed_) {
    // A key longer than a block gets a block of its own size.
    const std::size_t size = std::max(kBlockSize, key.size());
    std::unique_ptr<char[]> block(new char[size]);
    blocks_.push_back(std::move(block));
    blockSize_ = size;
    blockUsed_ = 0;
  }
  char* copy = blocks_.back().get() + blockUsed_;
  std::copy(key.begin(), key.end(), copy);
  blockUsed_ += key.size();
  return copy;
}

void CollisionResolver::Claims::insert(std::string_view key, std::size_t hash, Place place) {
  if (2 * (count_ + 1) > slots_.size()) {
    std::vector<Slot> old =
        std::exchange(slots_, std::vector<Slot>(std::max<std::size_t>(64, 2 * slots_.size())));
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.key == nullptr) continue;
      std::size_t i = slot.hash & mask;
      while (slots_[i].key != nullptr) i = (i + 1) & mask;
      slots_[i] = slot;
    }
    place = find(key, hash);
  }
  slots_[place.index] = {hash, store(key), key.size()};
  ++count_;
}

}  // namespace rozuzed

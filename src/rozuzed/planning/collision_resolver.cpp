#include "rozuzed/planning/collision_resolver.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

#include <algorithm>
#include <memory>
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
  std::string base = wanted;
  std::string ext;
  auto dot = wanted.rfind('.');
  // A leading dot marks a hidden name, not an extension.
  if (dot != std::string::npos && dot != 0 && dot + 1 < wanted.size()) {
    base = wanted.substr(0, dot);
    ext = wanted.substr(dot + 1);
  }

  for (int64_t attempt = 1; attempt <= maximumAttempts; ++attempt) {
    std::string candidate = wanted;
    if (attempt > 1) {
      auto numbered = name(base, attempt, ext);
      if (!numbered) break;
      candidate = std::move(*numbered);
    }
    FileURL url = folder.appendingPathComponent(candidate);
    std::string key = pathKey(url);
    if (claimed_.count(key) > 0) continue;
    if (fileSystem_->fileExists(url)) continue;
    claimed_.insert(std::move(key));
    return {std::move(url), attempt == 1 ? std::nullopt : std::optional<int64_t>(attempt)};
  }
  throw SortError::collisionUnresolvable(folder.appendingPathComponent(wanted), maximumAttempts);
}

}  // namespace rozuzed

#include "rozuzed/planning/safety_gate.h"

#include <algorithm>
#include <functional>

#include "rozuzed/support/hashing.h"
#include "rozuzed/support/unicode.h"

namespace rozuzed {
namespace {

bool isAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

std::size_t SafetyPolicy::hash() const {
  std::size_t seed = hashDouble(inFlightWindow);
  for (const auto& extension : inFlightExtensions) {
    hashCombine(seed, std::hash<std::string>{}(extension));
  }
  hashCombine(seed, skipHiddenFiles);
  return seed;
}

SafetyGate::SafetyGate(SafetyPolicy policy, Date now) : policy_(std::move(policy)), now_(now) {
  for (const auto& extension : policy_.inFlightExtensions) {
    composedExtensions_.insert(nfc(extension));
  }
}

bool SafetyGate::isInFlight(const std::string& extension) const {
  if (policy_.inFlightExtensions.count(extension) > 0) return true;
  // Canonically equivalent spellings are the same extension; ASCII has only one.
  return !isAscii(extension) && composedExtensions_.count(nfc(extension)) > 0;
}

std::optional<SkipReason> SafetyGate::skipReason(const FileMetadata& m) const {
  if (m.isSymbolicLink) return SkipReason::isSymbolicLink();
  if (m.isAliasFile) return SkipReason::isAliasFile();
  if (m.isPackage) return SkipReason::isPackage(m.contentTypeIdentifier);
  if (m.isDirectory) {
    if (m.pathExtension.empty()) return SkipReason::isDirectory();
    return SkipReason::possibleBundle(m.pathExtension);
  }
  if (!m.isRegularFile) return SkipReason::notARegularFile();
  if (m.ubiquitousDownloadingStatus == UbiquitousStatus::notDownloaded) {
    return SkipReason::iCloudNotDownloaded(UbiquitousStatus::notDownloaded);
  }
  if (policy_.skipHiddenFiles && m.isHidden) return SkipReason::isHidden();
  if (isInFlight(m.pathExtension)) return SkipReason::inFlightExtension(m.pathExtension);
  double age = now_ - m.modificationDate;
  if (age < policy_.inFlightWindow) return SkipReason::recentlyModified(std::max(0.0, age));
  return std::nullopt;
}

}  // namespace rozuzed

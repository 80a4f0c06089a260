#include "rozuzed/model/skip_reason.h"

#include <array>
#include <cstdio>
#include <functional>

#include "rozuzed/support/hashing.h"
#include "rozuzed/support/unicode.h"

namespace rozuzed {
namespace {

constexpr std::array<const char*, SkipReason::caseCount> kCaseNames = {
    "noMatchingRule",       "isPackage",           "isDirectory",        "possibleBundle",
    "notARegularFile",      "iCloudNotDownloaded", "isSymbolicLink",     "isAliasFile",
    "recentlyModified",     "inFlightExtension",   "isHidden",           "managedDestinationFolder",
    "alreadyAtDestination", "metadataUnreadable",  "contentsUnreadable", "vanishedSincePlanning",
    "changedSincePlanning",
};

std::string wholeSeconds(double seconds) {
  int length = std::snprintf(nullptr, 0, "%.0f", seconds);
  std::string text(static_cast<std::size_t>(length), '\0');
  std::snprintf(text.data(), text.size() + 1, "%.0f", seconds);
  return text;
}

}  // namespace

std::string caseName(SkipReason::Case reasonCase) {
  return kCaseNames[static_cast<std::size_t>(reasonCase)];
}

SkipReason SkipReason::isPackage(std::optional<std::string> typeIdentifier) {
  SkipReason r(Case::isPackage);
  r.typeIdentifier_ = std::move(typeIdentifier);
  return r;
}

SkipReason SkipReason::possibleBundle(std::string extension) {
  SkipReason r(Case::possibleBundle);
  r.text_ = std::move(extension);
  return r;
}

SkipReason SkipReason::iCloudNotDownloaded(UbiquitousStatus status) {
  SkipReason r(Case::iCloudNotDownloaded);
  r.status_ = status;
  return r;
}

SkipReason SkipReason::recentlyModified(double secondsAgo) {
  SkipReason r(Case::recentlyModified);
  r.secondsAgo_ = secondsAgo;
  return r;
}

SkipReason SkipReason::inFlightExtension(std::string extension) {
  SkipReason r(Case::inFlightExtension);
  r.text_ = std::move(extension);
  return r;
}

SkipReason SkipReason::metadataUnreadable(std::string message) {
  SkipReason r(Case::metadataUnreadable);
  r.text_ = std::move(message);
  return r;
}

SkipReason SkipReason::contentsUnreadable(std::string message) {
  SkipReason r(Case::contentsUnreadable);
  r.text_ = std::move(message);
  return r;
}

std::string SkipReason::label() const {
  switch (case_) {
    case Case::noMatchingRule:
      return "no matching rule";
    case Case::isPackage:
      return "bundle";
    case Case::isDirectory:
      return "folder";
    case Case::possibleBundle:
      return "folder with an extension";
    case Case::notARegularFile:
      return "not a regular file";
    case Case::iCloudNotDownloaded:
      return "iCloud placeholder";
    case Case::isSymbolicLink:
      return "symlink";
    case Case::isAliasFile:
      return "alias";
    case Case::recentlyModified:
      return "recently modified";
    case Case::inFlightExtension:
      return "download in progress";
    case Case::isHidden:
      return "hidden";
    case Case::managedDestinationFolder:
      return "managed folder";
    case Case::alreadyAtDestination:
      return "already in place";
    case Case::metadataUnreadable:
      return "unreadable";
    case Case::contentsUnreadable:
      return "folder unreadable";
    case Case::vanishedSincePlanning:
      return "gone since planning";
    case Case::changedSincePlanning:
      break;
  }
  return "changed since planning";
}

std::string SkipReason::explanation() const {
  switch (case_) {
    case Case::noMatchingRule:
      return "no rule matched";
    case Case::isPackage:
      // The generic folder type says nothing the short form does not.
      if (typeIdentifier_ && *typeIdentifier_ != "public.folder") {
        return "bundle (" + *typeIdentifier_ + ") \u2014 treated as one opaque item";
      }
      return "bundle \u2014 treated as one opaque item";
    case Case::isDirectory:
      return "folder \u2014 not descended into";
    case Case::possibleBundle:
      return "." + text_ +
             " folder \u2014 may be a bundle type this computer has not registered, so it is left "
             "whole";
    case Case::notARegularFile:
      return "not an ordinary file (pipe, socket or device) \u2014 never moved or read";
    case Case::iCloudNotDownloaded:
      return "iCloud placeholder (" + toText(status_) + ") \u2014 not materialised locally";
    case Case::isSymbolicLink:
      return "symbolic link \u2014 never resolved or moved";
    case Case::isAliasFile:
      return "Finder alias \u2014 never resolved or moved";
    case Case::recentlyModified:
      return "modified " + wholeSeconds(secondsAgo_) + "s ago \u2014 may still be being written";
    case Case::inFlightExtension:
      return "." + text_ + " \u2014 download in progress";
    case Case::isHidden:
      return "hidden file";
    case Case::managedDestinationFolder:
      return "a folder this rule set manages \u2014 not descended into";
    case Case::alreadyAtDestination:
      return "already in its destination folder";
    case Case::metadataUnreadable:
      return "could not read metadata: " + text_;
    case Case::contentsUnreadable:
      return "could not list this folder: " + text_;
    case Case::vanishedSincePlanning:
      return "no longer exists \u2014 the plan is out of date";
    case Case::changedSincePlanning:
      break;
  }
  return "changed after the plan was made \u2014 refusing to move it";
}

bool SkipReason::operator==(const SkipReason& other) const {
  if (case_ != other.case_) return false;
  switch (case_) {
    case Case::isPackage:
      if (typeIdentifier_.has_value() != other.typeIdentifier_.has_value()) return false;
      return !typeIdentifier_ || canonicallyEqual(*typeIdentifier_, *other.typeIdentifier_);
    case Case::possibleBundle:
    case Case::inFlightExtension:
    case Case::metadataUnreadable:
    case Case::contentsUnreadable:
      return canonicallyEqual(text_, other.text_);
    case Case::iCloudNotDownloaded:
      return status_ == other.status_;
    case Case::recentlyModified:
      return secondsAgo_ == other.secondsAgo_;
    default:
      return true;
  }
}

std::size_t SkipReason::hash() const {
  std::size_t seed = static_cast<std::size_t>(case_);
  switch (case_) {
    case Case::isPackage:
      hashCombineOptional(seed, typeIdentifier_, canonicalHash);
      break;
    case Case::possibleBundle:
    case Case::inFlightExtension:
    case Case::metadataUnreadable:
    case Case::contentsUnreadable:
      hashCombine(seed, canonicalHash(text_));
      break;
    case Case::iCloudNotDownloaded:
      hashCombine(seed, static_cast<std::size_t>(status_));
      break;
    case Case::recentlyModified:
      hashCombine(seed, hashDouble(secondsAgo_));
      break;
    default:
      break;
  }
  return seed;
}

void SkipReason::write(JsonWriter& writer) const {
  writer.beginObject().key(caseName(case_)).beginObject();
  switch (case_) {
    case Case::isPackage:
      if (typeIdentifier_) writer.key("typeIdentifier").string(*typeIdentifier_);
      break;
    case Case::possibleBundle:
      writer.key("extension").string(text_);
      break;
    case Case::iCloudNotDownloaded:
      writer.key("_0").string(toText(status_));
      break;
    case Case::recentlyModified:
      writer.key("secondsAgo").number(secondsAgo_);
      break;
    case Case::inFlightExtension:
    case Case::metadataUnreadable:
    case Case::contentsUnreadable:
      writer.key("_0").string(text_);
      break;
    default:
      break;
  }
  writer.endObject().endObject();
}

SkipReason SkipReason::fromJson(const Json& value) {
  requireObject(value, "reason");
  const Json* inner = nullptr;
  Case found = Case::noMatchingRule;
  int counted = 0;
  for (int i = 0; i < caseCount; ++i) {
    auto it = value.find(kCaseNames[static_cast<std::size_t>(i)]);
    if (it == value.end()) continue;
    ++counted;
    inner = &*it;
    found = static_cast<Case>(i);
  }
  if (counted != 1) throw JsonDecodingError("Invalid number of keys found, expected one.");
  requireObject(*inner, caseName(found));
  switch (found) {
    case Case::isPackage:
      return isPackage(readOptionalString(*inner, "typeIdentifier"));
    case Case::possibleBundle:
      return possibleBundle(readString(*inner, "extension"));
    case Case::iCloudNotDownloaded: {
      auto status = ubiquitousStatusFromText(readString(*inner, "_0"));
      if (!status) throw JsonDecodingError("_0", "not a download status");
      return iCloudNotDownloaded(*status);
    }
    case Case::recentlyModified:
      return recentlyModified(readDouble(*inner, "secondsAgo"));
    case Case::inFlightExtension:
      return inFlightExtension(readString(*inner, "_0"));
    case Case::metadataUnreadable:
      return metadataUnreadable(readString(*inner, "_0"));
    case Case::contentsUnreadable:
      return contentsUnreadable(readString(*inner, "_0"));
    default:
      return SkipReason(found);
  }
}

}  // namespace rozuzed

// Why one directory entry is left where it is.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "rozuzed/model/file_metadata.h"
#include "rozuzed/support/json.h"

namespace rozuzed {

// An immutable value: one of seventeen cases, some carrying a value. The
// label depends on the case alone; the explanation also shows the values.
// Texts compare by canonical equivalence, `secondsAgo` exactly.
class SkipReason {
 public:
  // Declaration order is part of the hash; the names are the JSON keys.
  enum class Case {
    noMatchingRule,
    isPackage,
    isDirectory,
    possibleBundle,
    notARegularFile,
    iCloudNotDownloaded,
    isSymbolicLink,
    isAliasFile,
    recentlyModified,
    inFlightExtension,
    isHidden,
    managedDestinationFolder,
    alreadyAtDestination,
    metadataUnreadable,
    contentsUnreadable,
    vanishedSincePlanning,
    changedSincePlanning,
  };
  static constexpr int caseCount = 17;

  static SkipReason noMatchingRule() { return SkipReason(Case::noMatchingRule); }
  static SkipReason isPackage(std::optional<std::string> typeIdentifier);
  static SkipReason isDirectory() { return SkipReason(Case::isDirectory); }
  static SkipReason possibleBundle(std::string extension);
  static SkipReason notARegularFile() { return SkipReason(Case::notARegularFile); }
  static SkipReason iCloudNotDownloaded(UbiquitousStatus status);
  static SkipReason isSymbolicLink() { return SkipReason(Case::isSymbolicLink); }
  static SkipReason isAliasFile() { return SkipReason(Case::isAliasFile); }
  static SkipReason recentlyModified(double secondsAgo);
  static SkipReason inFlightExtension(std::string extension);
  static SkipReason isHidden() { return SkipReason(Case::isHidden); }
  static SkipReason managedDestinationFolder() {
    return SkipReason(Case::managedDestinationFolder);
  }
  static SkipReason alreadyAtDestination() { return SkipReason(Case::alreadyAtDestination); }
  static SkipReason metadataUnreadable(std::string message);
  static SkipReason contentsUnreadable(std::string message);
  static SkipReason vanishedSincePlanning() { return SkipReason(Case::vanishedSincePlanning); }
  static SkipReason changedSincePlanning() { return SkipReason(Case::changedSincePlanning); }

  Case reasonCase() const { return case_; }

  // The values; each is meaningful only for the cases that carry it.
  // `typeIdentifier`: isPackage. `text`: the extension of possibleBundle and
  // inFlightExtension, the message of metadataUnreadable and
  // contentsUnreadable. `status`: iCloudNotDownloaded. `secondsAgo`:
  // recentlyModified.
  const std::optional<std::string>& typeIdentifier() const { return typeIdentifier_; }
  const std::string& text() const { return text_; }
  UbiquitousStatus status() const { return status_; }
  double secondsAgo() const { return secondsAgo_; }

  std::string label() const;
  std::string explanation() const;

  bool operator==(const SkipReason& other) const;
  std::size_t hash() const;

  // One member named after the case, whose value is an object holding the
  // case's values. Writing throws JsonEncodingError for a `secondsAgo` that
  // is not finite.
  void write(JsonWriter& writer) const;
  // Members that name no case are ignored; exactly one must. Throws
  // JsonDecodingError.
  static SkipReason fromJson(const Json& value);

 private:
  explicit SkipReason(Case c) : case_(c) {}

  Case case_;
  std::optional<std::string> typeIdentifier_;
  std::string text_;
  UbiquitousStatus status_ = UbiquitousStatus::notDownloaded;
  double secondsAgo_ = 0;
};

// The case name, as in the JSON form.
std::string caseName(SkipReason::Case reasonCase);

}  // namespace rozuzed

template <>
struct std::hash<rozuzed::SkipReason> {
  std::size_t operator()(const rozuzed::SkipReason& reason) const noexcept { return reason.hash(); }
};

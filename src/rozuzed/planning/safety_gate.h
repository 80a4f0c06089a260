// Whether one directory entry may be moved as an ordinary file.
#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>

#include "rozuzed/model/file_metadata.h"
#include "rozuzed/model/skip_reason.h"
#include "rozuzed/support/dates.h"

namespace rozuzed {

// What the gate protects. Extensions are compared with a snapshot's
// lower-cased extension without folding case, so only lower-case members
// can match.
struct SafetyPolicy {
  // A regular file modified less than this many seconds before the gate's
  // time is left alone.
  double inFlightWindow = 60;
  // Extensions, without the dot, of files still being downloaded or written.
  std::set<std::string> inFlightExtensions = {"download",   "crdownload", "part", "partial",
                                              "opdownload", "tmp",        "!ut"};
  bool skipHiddenFiles = true;

  bool operator==(const SafetyPolicy&) const = default;
  std::size_t hash() const;
};

// Judges snapshots against a policy at one fixed instant, so every entry of
// a scan is measured against the same time. Reads nothing from disk, never
// fails, holds no state that changes; safe to use from any thread.
class SafetyGate {
 public:
  SafetyGate(SafetyPolicy policy, Date now);

  const SafetyPolicy& policy() const { return policy_; }
  Date now() const { return now_; }

  // Absent when the entry may be moved. The tests run in a fixed order and
  // the first that holds answers: link, alias, package, folder (with or
  // without an extension), not a regular file, cloud placeholder, hidden,
  // in-flight extension, age.
  std::optional<SkipReason> skipReason(const FileMetadata& m) const;

 private:
  bool isInFlight(const std::string& extension) const;

  SafetyPolicy policy_;
  Date now_;
  // The members in canonical composition, for extensions outside ASCII.
  std::set<std::string> composedExtensions_;
};

}  // namespace rozuzed

template <>
struct std::hash<rozuzed::SafetyPolicy> {
  std::size_t operator()(const rozuzed::SafetyPolicy& policy) const noexcept {
    return policy.hash();
  }
};

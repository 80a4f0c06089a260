// Reads a rule file into a rule set, with the SHA-256 of its exact bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "rozuzed/model/sort_rule.h"
#include "rozuzed/support/file_url.h"

namespace rozuzed {

// A decoded rule file, not yet validated. Built only by the loader.
struct LoadedRuleSet {
  RuleSet ruleSet;
  // SHA-256 of the bytes that were decoded, 64 lower-case hex digits.
  std::string sourceHash;
  // The file the bytes came from; absent when the caller had none.
  std::optional<FileURL> sourceURL;

  bool operator==(const LoadedRuleSet&) const = default;
};

// Stateless; every call reads afresh and caches nothing. Failures are
// SortError values and leave no partial result.
struct RuleSetLoader {
  // The whole file at `contentsOf`. A file that cannot be read (a folder, a
  // FIFO or device, which are refused without waiting on them) fails as
  // ruleFileUnreadable with the location; otherwise as load(data:).
  static LoadedRuleSet load(const FileURL& contentsOf);

  // The version is probed first: no JSON object with an integer "version"
  // fails as ruleFileUnreadable ("missing or invalid \"version\": ..."), and
  // a version other than RuleSet::currentVersion as ruleSetUnsupportedVersion
  // without reading further. Then the rule set: the match reader's own
  // SortError passes unchanged, any other malformed value is
  // ruleFileUnreadable. Failures name `sourceURL`, or "<data>" in the
  // current folder when it is absent.
  static LoadedRuleSet load(std::string_view data, const std::optional<FileURL>& sourceURL);

  // The default rule file "rules.default.json" from the engine's resources.
  // When it is not found: ruleFileUnreadable naming "rules.default.json" in
  // the current folder.
  static LoadedRuleSet bundledDefault();
};

}  // namespace rozuzed

// One rule of a rule file and the rule set that holds them, with the rule
// file's JSON form and the order in which rules are tried.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "rozuzed/model/destination.h"
#include "rozuzed/model/match_criteria.h"
#include "rozuzed/support/json.h"

namespace rozuzed {

// One rule: files its condition takes go to its destination. Any values are
// representable, empty or repeated ids included; the validator judges them.
struct SortRule {
  std::string id;
  std::string name;
  bool isEnabled = true;
  // Lower values are tried first; negative values are allowed.
  int64_t priority = 100;
  MatchCriteria match;
  Destination destination;

  // All six fields; texts by canonical equivalence.
  bool operator==(const SortRule& other) const;

  // Keys "id", "name", "enabled", "priority", "match", "destination", each
  // always written. Reading takes them in that order and stops at the first
  // failure; "enabled" and "priority" may be missing or null (true, 100).
  Json toJson() const;
  static SortRule fromJson(const Json& object);
};

// The whole content of one rule file: its format version and its rules in
// file order. Like SortRule, it holds anything; nothing is checked here.
struct RuleSet {
  // The only rule-file version this build reads.
  static constexpr int64_t currentVersion = 1;

  int64_t version = currentVersion;
  std::vector<SortRule> rules;

  // Every rule, enabled or not, by ascending priority and, for equal
  // priorities, by position in `rules`.
  std::vector<SortRule> evaluationOrder() const;

  bool operator==(const RuleSet& other) const;

  // {"version": integer, "rules": [rule...]}, both required. Only the form
  // of "version" is checked here; the loader checks its value first.
  // Throws the match reader's SortError unchanged, JsonDecodingError for
  // anything else; a failed read yields nothing.
  Json toJson() const;
  static RuleSet fromJson(const Json& document);
};

}  // namespace rozuzed

template <>
struct std::hash<rozuzed::SortRule> {
  std::size_t operator()(const rozuzed::SortRule& rule) const noexcept;
};

template <>
struct std::hash<rozuzed::RuleSet> {
  std::size_t operator()(const rozuzed::RuleSet& ruleSet) const noexcept;
};

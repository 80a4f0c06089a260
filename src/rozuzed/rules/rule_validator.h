// Finds what is wrong or suspicious in a rule set.
#pragma once

#include <vector>

#include "rozuzed/model/sort_error.h"
#include "rozuzed/model/sort_rule.h"

namespace rozuzed {

// Pure and stateless; never throws and never changes the rule set.
struct RuleValidator {
  // Every finding, errors and warnings, rule by rule in file order (disabled
  // rules included); within a rule: id, name, destination, then the
  // condition tree depth first.
  static std::vector<RuleDiagnostic> validate(const RuleSet& ruleSet);
};

}  // namespace rozuzed

#include "rozuzed/rules/rule_validator.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <set>
#include <string_view>

#include "rozuzed/filesystem/content_type_registry.h"
#include "rozuzed/support/text.h"
#include "rozuzed/support/unicode.h"

namespace rozuzed {
namespace {

using Severity = RuleDiagnostic::Severity;

// Blank means only space separators (Unicode Zs) and tabs; a line break is
// not white space here, so a text holding one is not blank.
bool isBlank(const std::string& text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  auto length = static_cast<int32_t>(text.size());
  int32_t i = 0;
  while (i < length) {
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c != '\t' && (c < 0 || u_charType(c) != U_SPACE_SEPARATOR)) return false;
  }
  return true;
}

bool hasParentComponent(std::string_view path) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t slash = path.find('/', start);
    if (slash == std::string_view::npos) slash = path.size();
    if (path.substr(start, slash - start) == "..") return true;
    start = slash + 1;
  }
  return false;
}

class RuleChecker {
 public:
  RuleChecker(const std::string& ruleID, std::vector<RuleDiagnostic>& out)
      : ruleID_(ruleID), out_(out) {}

  void check(const Destination& destination) {
    const std::string& path = destination.path();
    bool startsWithSlash = !path.empty() && path.front() == '/';
    if (destination.kind() == Destination::Kind::absolute) {
      if (!startsWithSlash) {
        error("Absolute destination " + quotedForm(path) + " is not an absolute path.");
      }
      return;
    }
    if (isBlank(path)) error("Destination path is empty.");
    if (startsWithSlash) {
      error("Relative destination " + quotedForm(path) +
            " starts with a slash; use \"absolute\" instead.");
    }
    if (hasParentComponent(path)) {
      error("Destination path contains \"..\", which would escape its root.");
    }
  }

  // Depth first in tree order; the tree's depth is bounded when it is made,
  // so the recursion is too.
  void check(const MatchCriteria& criteria) {
    using Kind = MatchCriteria::Kind;
    switch (criteria.kind()) {
      case Kind::fileExtension:
        if (criteria.extensions().empty()) error("Extension list is empty.");
        for (const std::string& value : criteria.extensions()) {
          if (value.find_first_of(".*") != std::string::npos) {
            warning("Extension " + quotedForm(value) +
                    " looks like a pattern; extensions are matched literally.");
          }
        }
        break;
      case Kind::conformsToType:
        if (!ContentTypeRegistry::shared().isKnown(criteria.typeIdentifier())) {
          warning("Unknown type identifier " + quotedForm(criteria.typeIdentifier()) +
                  "; this rule may never match.");
        }
        break;
      case Kind::nameMatches:
        break;
      case Kind::olderThan:
      case Kind::newerThan:
        if (criteria.days() < 0) error("Age in days must not be negative.");
        break;
      case Kind::largerThan:
      case Kind::smallerThan:
        if (criteria.bytes() < 0) error("Size in bytes must not be negative.");
        break;
      case Kind::downloadedFrom:
        if (isBlank(criteria.hostSuffix())) error("Download source host is empty.");
        break;
      case Kind::all:
        if (criteria.members().empty()) {
          error("Empty \"all\" matches every file; that is almost never intended.");
        }
        for (const MatchCriteria& member : criteria.members()) check(member);
        break;
      case Kind::any:
        if (criteria.members().empty()) warning("Empty \"any\" never matches; this rule is dead.");
        for (const MatchCriteria& member : criteria.members()) check(member);
        break;
      case Kind::not_:
        check(criteria.inner());
        break;
    }
  }

 private:
  void error(std::string message) {
    out_.push_back({.severity = Severity::error, .ruleID = ruleID_, .message = std::move(message)});
  }
  void warning(std::string message) {
    out_.push_back(
        {.severity = Severity::warning, .ruleID = ruleID_, .message = std::move(message)});
  }

  const std::string& ruleID_;
  std::vector<RuleDiagnostic>& out_;
};

}  // namespace

std::vector<RuleDiagnostic> RuleValidator::validate(const RuleSet& ruleSet) {
  std::vector<RuleDiagnostic> diagnostics;
  if (ruleSet.rules.empty()) {
    diagnostics.push_back({.severity = Severity::warning,
                           .message = "Rule set contains no rules; nothing will ever move."});
  }
  // Ids are told apart as texts, so canonically equivalent spellings are
  // one id.
  std::set<std::string> seenIDs;
  for (const SortRule& rule : ruleSet.rules) {
    RuleChecker checker(rule.id, diagnostics);
    if (isBlank(rule.id)) {
      diagnostics.push_back({.severity = Severity::error, .message = "A rule has an empty id."});
    } else if (!seenIDs.insert(nfc(rule.id)).second) {
      diagnostics.push_back(
          {.severity = Severity::error, .ruleID = rule.id, .message = "Duplicate rule id."});
    }
    if (isBlank(rule.name)) {
      diagnostics.push_back(
          {.severity = Severity::error, .ruleID = rule.id, .message = "Rule has an empty name."});
    }
    checker.check(rule.destination);
    checker.check(rule.match);
  }
  return diagnostics;
}

}  // namespace rozuzed

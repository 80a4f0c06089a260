// A validated rule set made ready for matching files.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "rozuzed/model/destination.h"
#include "rozuzed/model/file_metadata.h"
#include "rozuzed/model/match_criteria.h"
#include "rozuzed/model/sort_rule.h"
#include "rozuzed/rules/rule_set_loader.h"
#include "rozuzed/support/date_provider.h"

namespace rozuzed {

// The rule that takes a file and where the file goes.
struct RuleMatch {
  std::string ruleID;
  std::string ruleName;
  Destination destination;

  bool operator==(const RuleMatch& other) const;
};

// Built for one scan and read-only afterwards: any thread may use it. It
// reads nothing from disk; a file is judged by its snapshot and the clock
// alone, and by its download sources where a caller hands them in.
class RuleEngine {
 public:
  // Reads a file's download sources.
  using DownloadSources = std::function<std::vector<std::string>()>;

  // Validates the set and throws SortError::ruleSetInvalid with every error
  // diagnostic, in validation order, when there is any (a disabled rule's
  // included); warnings are dropped. Keeps the enabled rules in evaluation
  // order.
  explicit RuleEngine(const RuleSet& ruleSet, std::string hash = "",
                      std::shared_ptr<const DateProvider> dates = defaultDates());
  // The loaded set with its source hash.
  explicit RuleEngine(const LoadedRuleSet& loaded,
                      std::shared_ptr<const DateProvider> dates = defaultDates());

  // The first enabled rule, in evaluation order, whose condition holds for
  // `file`; later rules are not evaluated. Absent when none holds.
  std::optional<RuleMatch> match(const FileMetadata& file) const;
  // As above for a snapshot taken without its download sources: `sources`
  // is asked for them once, and only when the evaluation of this file first
  // reaches a downloadedFrom condition, so most files never pay for them.
  std::optional<RuleMatch> match(const FileMetadata& file, const DownloadSources& sources) const;

  // The destination of every enabled rule in evaluation order, repeats kept.
  std::vector<Destination> allDestinations() const;

  const std::string& ruleSetHash() const { return ruleSetHash_; }

  // Whether `criteria` holds for `file`. A fact the condition needs and the
  // file lacks (no content type, no download source with a host) makes it
  // false. Never throws.
  bool evaluate(const MatchCriteria& criteria, const FileMetadata& file) const;

 private:
  // What a rule's condition needs looked up once rather than per file: for
  // each conformsTo, the registry's number of its type; for each
  // downloadedFrom, its host suffix as hosts are compared; for all, any and
  // not, the same for each member, in the members' order.
  struct Prepared {
    std::optional<std::size_t> type;
    std::string hostSuffix;
    std::vector<Prepared> members;
  };
  static Prepared prepare(const MatchCriteria& criteria);

  // One file as it is judged: its snapshot, the number of its type, and its
  // download sources, read when first needed.
  struct Subject {
    const FileMetadata& file;
    std::optional<std::size_t> type;
    const DownloadSources* reader;
    std::optional<std::vector<std::string>> sources;

    const std::vector<std::string>& downloadSources();
  };
  std::optional<RuleMatch> firstMatch(Subject& subject) const;
  // evaluate() with the prepared facts.
  bool holds(const MatchCriteria& criteria, const Prepared& prepared, Subject& subject) const;

  static std::shared_ptr<const DateProvider> defaultDates();

  // Seconds since the file's last modification; negative for a date in the
  // future. Reads the clock on every call.
  double age(const FileMetadata& file) const;
  // One of `sources` names the host `suffix` or one of its subdomains,
  // judged on the host of each strictly parsed source URL. `suffix` is
  // lower-cased and composed as hostSuffix() gives it.
  static bool matchesDownloadSource(const std::vector<std::string>& sources,
                                    const std::string& suffix);
  static std::string hostSuffix(const MatchCriteria& downloadedFrom);

  std::vector<SortRule> orderedRules_;
  // One for each of orderedRules_, in the same order.
  std::vector<Prepared> prepared_;
  std::shared_ptr<const DateProvider> dates_;
  std::string ruleSetHash_;
};

}  // namespace rozuzed

// A validated rule set made ready for matching files.
#pragma once

#include <atomic>
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

class MatchSession;

// Which name patterns one file's evaluation ran within a session, and what
// each answered: a session judges by it whether the evaluation still holds.
struct MatchTrace {
  struct Run {
    std::size_t pattern;
    RegexPattern::Outcome outcome;
  };
  std::vector<Run> runs;
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
  // As above within a scan's session: a name pattern that has run out of
  // time in the session is not run again and counts as no match. `trace`
  // is cleared, then lists the patterns this evaluation ran, for
  // `session.settle`.
  std::optional<RuleMatch> match(const FileMetadata& file, const DownloadSources& sources,
                                 const MatchSession& session, MatchTrace& trace) const;

  // The destination of every enabled rule in evaluation order, repeats kept.
  std::vector<Destination> allDestinations() const;

  const std::string& ruleSetHash() const { return ruleSetHash_; }

  // Whether `criteria` holds for `file`. A fact the condition needs and the
  // file lacks (no content type, no download source with a host) makes it
  // false. Never throws.
  bool evaluate(const MatchCriteria& criteria, const FileMetadata& file) const;

 private:
  friend class MatchSession;

  // What a rule's condition needs looked up once rather than per file: for
  // each conformsTo, the registry's number of its type; for each
  // downloadedFrom, its host suffix as hosts are compared; for each
  // nameMatches, its number among the engine's patterns; for all, any and
  // not, the same for each member, in the members' order.
  struct Prepared {
    std::optional<std::size_t> type;
    std::string hostSuffix;
    std::size_t pattern = 0;
    std::vector<Prepared> members;
  };
  Prepared prepare(const MatchCriteria& criteria, std::size_t rule);

  // One file as it is judged: its snapshot, the number of its type, its
  // download sources, read when first needed, and the session it is judged
  // in, if any, with the trace of its pattern runs.
  struct Subject {
    const FileMetadata& file;
    std::optional<std::size_t> type;
    const DownloadSources* reader;
    std::optional<std::vector<std::string>> sources;
    const MatchSession* session = nullptr;
    MatchTrace* trace = nullptr;

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
  // For each name pattern of the enabled rules, the index of its rule in
  // orderedRules_.
  std::vector<std::size_t> patternRules_;
  std::shared_ptr<const DateProvider> dates_;
  std::string ruleSetHash_;
};

// What one scan learns of its rule engine's patterns as it goes: which
// name patterns ran out of time. A pattern that times out on a name once is
// not run again for the rest of the scan, so a runaway pattern costs its
// time limit once rather than once per file.
//
// Files may be evaluated on several threads, ahead of the order in which
// the scan takes them; the scan settles each evaluation in its own order,
// on one thread. A pattern counts as timed out from the file after the one
// it timed out on, in that order, so the outcome is that of evaluating the
// files one after another whatever the threads did. evaluations may run on
// any thread while settle runs.
class MatchSession {
 public:
  // The engine must outlive the session.
  explicit MatchSession(const RuleEngine& engine);

  // Takes one file's evaluation, each file once and in the scan's order.
  // False when the evaluation relied on a pattern that has since timed out
  // on an earlier file: evaluate the file again (on this thread; that
  // evaluation settles). Otherwise true, and the patterns that timed out on
  // this file are not run again.
  bool settle(const MatchTrace& trace);

  // The rules, in evaluation order, with a pattern that timed out.
  std::vector<const SortRule*> timedOutRules() const;

 private:
  friend class RuleEngine;

  bool hasTimedOut(std::size_t pattern) const {
    return timedOut_[pattern].load(std::memory_order_relaxed);
  }

  const RuleEngine& engine_;
  std::unique_ptr<std::atomic<bool>[]> timedOut_;
};

}  // namespace rozuzed

#include "rozuzed/rules/rule_engine.h"

#include "rozuzed/filesystem/content_type_registry.h"
#include "rozuzed/model/sort_error.h"
#include "rozuzed/rules/rule_validator.h"
#include "rozuzed/rules/url_host.h"
#include "rozuzed/support/unicode.h"

namespace rozuzed {
namespace {

constexpr double kSecondsPerDay = 86400;

}  // namespace

bool RuleMatch::operator==(const RuleMatch& other) const {
  return canonicallyEqual(ruleID, other.ruleID) && canonicallyEqual(ruleName, other.ruleName) &&
         destination == other.destination;
}

std::shared_ptr<const DateProvider> RuleEngine::defaultDates() {
  return std::make_shared<SystemDateProvider>();
}

RuleEngine::RuleEngine(const RuleSet& ruleSet, std::string hash,
                       std::shared_ptr<const DateProvider> dates)
    : dates_(dates ? std::move(dates) : defaultDates()), ruleSetHash_(std::move(hash)) {
  std::vector<RuleDiagnostic> errors;
  for (RuleDiagnostic& diagnostic : RuleValidator::validate(ruleSet)) {
    if (diagnostic.severity == RuleDiagnostic::Severity::error) {
      errors.push_back(std::move(diagnostic));
    }
  }
  if (!errors.empty()) throw SortError::ruleSetInvalid(std::move(errors));
  for (SortRule& rule : ruleSet.evaluationOrder()) {
    if (rule.isEnabled) orderedRules_.push_back(std::move(rule));
  }
  prepared_.reserve(orderedRules_.size());
  for (std::size_t i = 0; i < orderedRules_.size(); ++i) {
    prepared_.push_back(prepare(orderedRules_[i].match, i));
  }
}

RuleEngine::Prepared RuleEngine::prepare(const MatchCriteria& criteria, std::size_t rule) {
  Prepared prepared;
  switch (criteria.kind()) {
    case MatchCriteria::Kind::nameMatches:
      prepared.pattern = patternRules_.size();
      patternRules_.push_back(rule);
      break;
    case MatchCriteria::Kind::conformsToType:
      prepared.type = ContentTypeRegistry::shared().number(criteria.typeIdentifier());
      break;
    case MatchCriteria::Kind::downloadedFrom:
      prepared.hostSuffix = hostSuffix(criteria);
      break;
    case MatchCriteria::Kind::all:
    case MatchCriteria::Kind::any:
      for (const MatchCriteria& member : criteria.members()) {
        prepared.members.push_back(prepare(member, rule));
      }
      break;
    case MatchCriteria::Kind::not_:
      prepared.members.push_back(prepare(criteria.inner(), rule));
      break;
    default:
      break;
  }
  return prepared;
}

RuleEngine::RuleEngine(const LoadedRuleSet& loaded, std::shared_ptr<const DateProvider> dates)
    : RuleEngine(loaded.ruleSet, loaded.sourceHash, std::move(dates)) {}

const std::vector<std::string>& RuleEngine::Subject::downloadSources() {
  if (reader == nullptr) return file.whereFroms;
  if (!sources) sources = (*reader)();
  return *sources;
}

std::optional<RuleMatch> RuleEngine::match(const FileMetadata& file) const {
  Subject subject{.file = file, .type = std::nullopt, .reader = nullptr, .sources = std::nullopt};
  return firstMatch(subject);
}

std::optional<RuleMatch> RuleEngine::match(const FileMetadata& file,
                                           const DownloadSources& sources) const {
  Subject subject{.file = file, .type = std::nullopt, .reader = &sources, .sources = std::nullopt};
  return firstMatch(subject);
}

std::optional<RuleMatch> RuleEngine::match(const FileMetadata& file, const DownloadSources& sources,
                                           const MatchSession& session, MatchTrace& trace) const {
  trace.runs.clear();
  Subject subject{.file = file,
                  .type = std::nullopt,
                  .reader = &sources,
                  .sources = std::nullopt,
                  .session = &session,
                  .trace = &trace};
  return firstMatch(subject);
}

std::optional<RuleMatch> RuleEngine::firstMatch(Subject& subject) const {
  if (subject.file.contentTypeIdentifier) {
    subject.type = ContentTypeRegistry::shared().number(*subject.file.contentTypeIdentifier);
  }
  for (std::size_t i = 0; i < orderedRules_.size(); ++i) {
    const SortRule& rule = orderedRules_[i];
    if (holds(rule.match, prepared_[i], subject)) {
      return RuleMatch{.ruleID = rule.id, .ruleName = rule.name, .destination = rule.destination};
    }
  }
  return std::nullopt;
}

bool RuleEngine::holds(const MatchCriteria& criteria, const Prepared& prepared,
                       Subject& subject) const {
  using Kind = MatchCriteria::Kind;
  switch (criteria.kind()) {
    case Kind::conformsToType:
      return subject.type && prepared.type &&
             ContentTypeRegistry::shared().conforms(*subject.type, *prepared.type);
    case Kind::downloadedFrom:
      return matchesDownloadSource(subject.downloadSources(), prepared.hostSuffix);
    case Kind::nameMatches: {
      if (subject.session == nullptr) return evaluate(criteria, subject.file);
      if (subject.session->hasTimedOut(prepared.pattern)) return false;
      RegexPattern::Outcome outcome = criteria.pattern().search(subject.file.name);
      subject.trace->runs.push_back({prepared.pattern, outcome});
      return outcome == RegexPattern::Outcome::found;
    }
    case Kind::all:
      for (std::size_t i = 0; i < prepared.members.size(); ++i) {
        if (!holds(criteria.members()[i], prepared.members[i], subject)) return false;
      }
      return true;
    case Kind::any:
      for (std::size_t i = 0; i < prepared.members.size(); ++i) {
        if (holds(criteria.members()[i], prepared.members[i], subject)) return true;
      }
      return false;
    case Kind::not_:
      return !holds(criteria.inner(), prepared.members.front(), subject);
    default:
      return evaluate(criteria, subject.file);
  }
}

std::vector<Destination> RuleEngine::allDestinations() const {
  std::vector<Destination> destinations;
  destinations.reserve(orderedRules_.size());
  for (const SortRule& rule : orderedRules_) destinations.push_back(rule.destination);
  return destinations;
}

bool RuleEngine::evaluate(const MatchCriteria& criteria, const FileMetadata& file) const {
  using Kind = MatchCriteria::Kind;
  switch (criteria.kind()) {
    case Kind::fileExtension:
      for (const std::string& value : criteria.extensions()) {
        if (canonicallyEqual(value, file.pathExtension)) return true;
      }
      return false;
    case Kind::conformsToType:
      return file.contentTypeIdentifier &&
             ContentTypeRegistry::shared().conforms(*file.contentTypeIdentifier,
                                                    criteria.typeIdentifier());
    case Kind::nameMatches:
      return criteria.pattern().matches(file.name);
    case Kind::olderThan:
      return criteria.days() * kSecondsPerDay < age(file);
    case Kind::newerThan:
      return age(file) <= criteria.days() * kSecondsPerDay;
    case Kind::largerThan:
      return file.size > criteria.bytes();
    case Kind::smallerThan:
      return file.size < criteria.bytes();
    case Kind::downloadedFrom:
      return matchesDownloadSource(file.whereFroms, hostSuffix(criteria));
    // Recursion is bounded: no condition nests deeper than
    // MatchCriteria::maxDepth.
    case Kind::all:
      for (const MatchCriteria& member : criteria.members()) {
        if (!evaluate(member, file)) return false;
      }
      return true;
    case Kind::any:
      for (const MatchCriteria& member : criteria.members()) {
        if (evaluate(member, file)) return true;
      }
      return false;
    case Kind::not_:
      return !evaluate(criteria.inner(), file);
  }
  return false;
}

double RuleEngine::age(const FileMetadata& file) const {
  return dates_->now() - file.modificationDate;
}

std::string RuleEngine::hostSuffix(const MatchCriteria& downloadedFrom) {
  return nfc(lowercased(downloadedFrom.hostSuffix()));
}

bool RuleEngine::matchesDownloadSource(const std::vector<std::string>& sources,
                                       const std::string& suffix) {
  // A plain substring or suffix test would let "evil-example.com" pass for
  // "example.com": only the host itself or a name below it after a dot
  // counts.
  for (const std::string& source : sources) {
    auto host = urlHost(source);
    if (!host) continue;
    std::string name = nfc(lowercased(*host));
    if (name == suffix) return true;
    if (name.size() > suffix.size() && name.ends_with(suffix) &&
        name[name.size() - suffix.size() - 1] == '.') {
      return true;
    }
  }
  return false;
}

MatchSession::MatchSession(const RuleEngine& engine)
    : engine_(engine),
      timedOut_(std::make_unique<std::atomic<bool>[]>(engine.patternRules_.size())) {}

bool MatchSession::settle(const MatchTrace& trace) {
  // A pattern that did not find counts the same whether it ran or not; only
  // a find or a time-out on a pattern that has timed out since is stale.
  for (const MatchTrace::Run& run : trace.runs) {
    if (run.outcome != RegexPattern::Outcome::notFound && hasTimedOut(run.pattern)) return false;
  }
  for (const MatchTrace::Run& run : trace.runs) {
    if (run.outcome == RegexPattern::Outcome::timedOut) {
      timedOut_[run.pattern].store(true, std::memory_order_relaxed);
    }
  }
  return true;
}

std::vector<const SortRule*> MatchSession::timedOutRules() const {
  std::vector<const SortRule*> rules;
  for (std::size_t pattern = 0; pattern < engine_.patternRules_.size(); ++pattern) {
    if (!hasTimedOut(pattern)) continue;
    const SortRule* rule = &engine_.orderedRules_[engine_.patternRules_[pattern]];
    if (rules.empty() || rules.back() != rule) rules.push_back(rule);
  }
  return rules;
}

}  // namespace rozuzed

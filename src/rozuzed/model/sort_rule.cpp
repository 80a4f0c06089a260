#include "rozuzed/model/sort_rule.h"

#include <algorithm>
#include <numeric>

#include "rozuzed/support/hashing.h"
#include "rozuzed/support/unicode.h"

namespace rozuzed {
bool SortRule::operator==(const SortRule& other) const {
  return canonicallyEqual(id, other.id) && canonicallyEqual(name, other.name) &&
         isEnabled == other.isEnabled && priority == other.priority && match == other.match &&
         destination == other.destination;
}

Json SortRule::toJson() const {
  Json object = Json::object();
  object["id"] = id;
  object["name"] = name;
  object["enabled"] = isEnabled;
  object["priority"] = priority;
  object["match"] = match.toJson();
  object["destination"] = destination.toJson();
  return object;
}

SortRule SortRule::fromJson(const Json& object) {
  if (!object.is_object()) throw JsonDecodingError("expected a rule object");
  std::string id = readString(object, "id");
  std::string name = readString(object, "name");
  bool isEnabled = readOptionalBool(object, "enabled").value_or(true);
  int64_t priority = readOptionalInt64(object, "priority").value_or(100);
  const Json& matchObject = readObject(object, "match");
  MatchCriteria match = withinJson("match", [&] { return MatchCriteria::fromJson(matchObject); });
  const Json& destinationObject = readObject(object, "destination");
  Destination destination =
      withinJson("destination", [&] { return Destination::fromJson(destinationObject); });
  return SortRule{.id = std::move(id),
                  .name = std::move(name),
                  .isEnabled = isEnabled,
                  .priority = priority,
                  .match = std::move(match),
                  .destination = std::move(destination)};
}

std::vector<SortRule> RuleSet::evaluationOrder() const {
  std::vector<std::size_t> positions(rules.size());
  std::iota(positions.begin(), positions.end(), 0);
  std::sort(positions.begin(), positions.end(), [this](std::size_t a, std::size_t b) {
    if (rules[a].priority != rules[b].priority) return rules[a].priority < rules[b].priority;
    return a < b;
  });
  std::vector<SortRule> ordered;
  ordered.reserve(rules.size());
  for (std::size_t position : positions) ordered.push_back(rules[position]);
  return ordered;
}

bool RuleSet::operator==(const RuleSet& other) const {
  return version == other.version && rules == other.rules;
}

Json RuleSet::toJson() const {
  Json document = Json::object();
  document["version"] = version;
  Json list = Json::array();
  for (const SortRule& rule : rules) list.push_back(rule.toJson());
  document["rules"] = std::move(list);
  return document;
}

RuleSet RuleSet::fromJson(const Json& document) {
  RuleSet ruleSet;
  ruleSet.version = readInt64(document, "version");
  const Json& list = readArray(document, "rules");
  ruleSet.rules.reserve(list.size());
  for (std::size_t i = 0; i < list.size(); ++i) {
    ruleSet.rules.push_back(withinJson("rules[" + std::to_string(i) + "]",
                                       [&] { return SortRule::fromJson(list[i]); }));
  }
  return ruleSet;
}

}  // namespace rozuzed

std::size_t std::hash<rozuzed::SortRule>::operator()(const rozuzed::SortRule& rule) const noexcept {
  std::size_t seed = rozuzed::canonicalHash(rule.id);
  rozuzed::hashCombine(seed, rozuzed::canonicalHash(rule.name));
  rozuzed::hashCombine(seed, rule.isEnabled ? 1 : 0);
  rozuzed::hashCombine(seed, std::hash<int64_t>{}(rule.priority));
  rozuzed::hashCombine(seed, std::hash<rozuzed::MatchCriteria>{}(rule.match));
  rozuzed::hashCombine(seed, std::hash<rozuzed::Destination>{}(rule.destination));
  return seed;
}

std::size_t std::hash<rozuzed::RuleSet>::operator()(
    const rozuzed::RuleSet& ruleSet) const noexcept {
  std::size_t seed = std::hash<int64_t>{}(ruleSet.version);
  for (const auto& rule : ruleSet.rules) {
    rozuzed::hashCombine(seed, std::hash<rozuzed::SortRule>{}(rule));
  }
  return seed;
}

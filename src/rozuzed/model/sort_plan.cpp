#include "rozuzed/model/sort_plan.h"

#include <functional>

#include "rozuzed/model/plan_coding.h"
#include "rozuzed/model/sort_error.h"
#include "rozuzed/support/hashing.h"

namespace rozuzed {
std::string toText(MoveStrategy strategy) {
  return strategy == MoveStrategy::sameVolumeMove ? "sameVolumeMove" : "crossVolumeCopyVerifyTrash";
}

std::optional<MoveStrategy> moveStrategyFromText(const std::string& text) {
  if (text == "sameVolumeMove") return MoveStrategy::sameVolumeMove;
  if (text == "crossVolumeCopyVerifyTrash") return MoveStrategy::crossVolumeCopyVerifyTrash;
  return std::nullopt;
}

std::size_t PlannedMove::hash() const {
  std::size_t seed = std::hash<Uuid>{}(id);
  hashCombine(seed, std::hash<int64_t>{}(planSequence));
  hashCombine(seed, std::hash<FileURL>{}(source));
  hashCombine(seed, std::hash<FileURL>{}(destinationDirectory));
  hashCombine(seed, std::hash<FileURL>{}(destinationURL));
  hashCombine(seed, collisionSuffix.has_value());
  if (collisionSuffix) hashCombine(seed, std::hash<int64_t>{}(*collisionSuffix));
  hashCombine(seed, std::hash<std::string>{}(matchedRuleID));
  hashCombine(seed, std::hash<std::string>{}(matchedRuleName));
  hashCombine(seed, std::hash<int64_t>{}(fingerprint.size));
  hashCombine(seed, hashDouble(fingerprint.modificationDate));
  hashCombine(seed, static_cast<std::size_t>(strategy));
  return seed;
}

Json PlannedMove::toJson() const {
  Json value = Json::object();
  value["id"] = PlanCoding::uuid(id);
  value["planSequence"] = planSequence;
  value["source"] = PlanCoding::url(source);
  value["destinationDirectory"] = PlanCoding::url(destinationDirectory);
  value["destinationURL"] = PlanCoding::url(destinationURL);
  if (collisionSuffix) value["collisionSuffix"] = *collisionSuffix;
  value["matchedRuleID"] = matchedRuleID;
  value["matchedRuleName"] = matchedRuleName;
  Json print = Json::object();
  print["size"] = fingerprint.size;
  print["modificationDate"] = PlanCoding::date(fingerprint.modificationDate);
  value["fingerprint"] = std::move(print);
  value["strategy"] = toText(strategy);
  return value;
}

PlannedMove PlannedMove::fromJson(const Json& value) {
  requireObject(value, "move");
  PlannedMove move;
  move.id = readUuid(value, "id");
  move.planSequence = readOptionalInt64(value, "planSequence").value_or(0);
  move.source = readUrl(value, "source");
  move.destinationDirectory = readUrl(value, "destinationDirectory");
  move.destinationURL = readUrl(value, "destinationURL");
  move.collisionSuffix = readOptionalInt64(value, "collisionSuffix");
  move.matchedRuleID = readString(value, "matchedRuleID");
  move.matchedRuleName = readString(value, "matchedRuleName");
  move.fingerprint = FileFingerprint::fromJson(requireKey(value, "fingerprint"));
  auto strategy = moveStrategyFromText(readString(value, "strategy"));
  if (!strategy) throw JsonDecodingError("strategy: not a move strategy");
  move.strategy = *strategy;
  return move;
}

std::size_t SkippedFile::hash() const {
  std::size_t seed = std::hash<FileURL>{}(url);
  hashCombine(seed, reason.hash());
  return seed;
}

Json SkippedFile::toJson() const {
  Json value = Json::object();
  value["url"] = PlanCoding::url(url);
  value["reason"] = reason.toJson();
  return value;
}

SkippedFile SkippedFile::fromJson(const Json& value) {
  requireObject(value, "skipped item");
  FileURL url = readUrl(value, "url");
  return {std::move(url), SkipReason::fromJson(requireKey(value, "reason"))};
}

std::size_t SortPlan::hash() const {
  std::size_t seed = std::hash<int64_t>{}(version);
  hashCombine(seed, std::hash<Uuid>{}(id));
  hashCombine(seed, hashDouble(createdAt));
  hashCombine(seed, std::hash<FileURL>{}(sourceDirectory));
  hashCombine(seed, std::hash<std::string>{}(ruleSetHash));
  hashCombine(seed, moves.size());
  for (const auto& move : moves) hashCombine(seed, move.hash());
  hashCombine(seed, skipped.size());
  for (const auto& item : skipped) hashCombine(seed, item.hash());
  return seed;
}

Json SortPlan::toJson() const {
  Json value = Json::object();
  value["version"] = version;
  value["id"] = PlanCoding::uuid(id);
  value["createdAt"] = PlanCoding::date(createdAt);
  value["sourceDirectory"] = PlanCoding::url(sourceDirectory);
  value["ruleSetHash"] = ruleSetHash;
  Json movesJson = Json::array();
  for (const auto& move : moves) movesJson.push_back(move.toJson());
  value["moves"] = std::move(movesJson);
  Json skippedJson = Json::array();
  for (const auto& item : skipped) skippedJson.push_back(item.toJson());
  value["skipped"] = std::move(skippedJson);
  return value;
}

SortPlan SortPlan::fromJson(const Json& value) {
  requireObject(value, "plan");
  int64_t storedVersion = readOptionalInt64(value, "version").value_or(1);
  if (storedVersion > currentVersion) {
    throw SortError::journalUnavailable("stored plan is version " + std::to_string(storedVersion) +
                                        "; this build understands " +
                                        std::to_string(currentVersion));
  }
  SortPlan plan;
  plan.version = storedVersion;
  plan.id = readUuid(value, "id");
  plan.createdAt = readDate(value, "createdAt");
  plan.sourceDirectory = readUrl(value, "sourceDirectory");
  plan.ruleSetHash = readString(value, "ruleSetHash");
  const Json& movesJson = readArray(value, "moves");
  plan.moves.reserve(movesJson.size());
  for (const auto& move : movesJson) plan.moves.push_back(PlannedMove::fromJson(move));
  const Json& skippedJson = readArray(value, "skipped");
  plan.skipped.reserve(skippedJson.size());
  for (const auto& item : skippedJson) plan.skipped.push_back(SkippedFile::fromJson(item));
  return plan;
}

}  // namespace rozuzed

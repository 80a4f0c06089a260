#include "rozuzed/model/applied_plan.h"

#include <functional>
#include <optional>

#include "rozuzed/model/plan_coding.h"
#include "rozuzed/model/sort_error.h"
#include "rozuzed/support/hashing.h"

namespace rozuzed {
namespace {

// The one key read before anything else, so that a snapshot written by a
// later build is refused before its other keys are trusted.
struct VersionProbe {
  int64_t version;

  static VersionProbe fromJson(const Json& value) {
    return {readInt64(requireObject(value, "applied plan"), "version")};
  }
};

}  // namespace

Json AppliedPlan::Move::toJson() const {
  Json value = Json::object();
  value["id"] = PlanCoding::uuid(id);
  value["planSequence"] = planSequence;
  value["source"] = PlanCoding::url(source);
  value["destination"] = PlanCoding::url(destination);
  value["ruleID"] = ruleID;
  return value;
}

AppliedPlan::Move AppliedPlan::Move::fromJson(const Json& value) {
  requireObject(value, "moves");
  return Move{
      .id = readUuid(value, "id"),
      .planSequence = readInt64(value, "planSequence"),
      .source = readUrl(value, "source"),
      .destination = readUrl(value, "destination"),
      .ruleID = readString(value, "ruleID"),
  };
}

AppliedPlan AppliedPlan::from(const SortPlan& plan) {
  AppliedPlan snapshot{
      .version = currentVersion,
      .planID = plan.id,
      .sourceDirectory = plan.sourceDirectory,
      .ruleSetHash = plan.ruleSetHash,
  };
  snapshot.moves.reserve(plan.moves.size());
  for (std::size_t i = 0; i < plan.moves.size(); ++i) {
    const PlannedMove& move = plan.moves[i];
    snapshot.moves.push_back(Move{
        .id = move.id,
        .planSequence = static_cast<int64_t>(i),
        .source = move.source,
        .destination = move.destinationURL,
        .ruleID = move.matchedRuleID,
    });
  }
  return snapshot;
}

Json AppliedPlan::toJson() const {
  Json value = Json::object();
  value["version"] = version;
  value["planID"] = PlanCoding::uuid(planID);
  value["sourceDirectory"] = PlanCoding::url(sourceDirectory);
  value["ruleSetHash"] = ruleSetHash;
  Json list = Json::array();
  for (const Move& move : moves) list.push_back(move.toJson());
  value["moves"] = std::move(list);
  return value;
}

AppliedPlan AppliedPlan::fromJson(const Json& value) {
  requireObject(value, "applied plan");
  AppliedPlan plan{
      .version = readInt64(value, "version"),
      .planID = readUuid(value, "planID"),
      .sourceDirectory = readUrl(value, "sourceDirectory"),
      .ruleSetHash = readString(value, "ruleSetHash"),
  };
  const Json& moves = requireKey(value, "moves");
  if (!moves.is_array()) throw JsonDecodingError("moves: expected an array");
  plan.moves.reserve(moves.size());
  for (const Json& move : moves) plan.moves.push_back(Move::fromJson(move));
  return plan;
}

std::string AppliedPlan::encoded() const {
  return PlanCoding::encode(*this);
}

AppliedPlan AppliedPlan::decode(std::string_view bytes) {
  std::optional<Json> document;
  int64_t storedVersion = 0;
  try {
    document = parseJson(bytes);
    storedVersion = readInt64(requireObject(*document, "applied plan"), "version");
  } catch (const JsonDecodingError& error) {
    throw SortError::journalUnavailable(std::string("stored plan has no version: ") + error.what());
  }
  if (storedVersion > currentVersion) {
    throw SortError::journalUnavailable("stored plan is version " + std::to_string(storedVersion) +
                                        "; this build understands " +
                                        std::to_string(currentVersion));
  }
  return fromJson(*document);
}

std::size_t AppliedPlan::hash() const {
  auto url = std::hash<FileURL>{};
  std::size_t seed = std::hash<int64_t>{}(version);
  hashCombine(seed, std::hash<Uuid>{}(planID));
  hashCombine(seed, url(sourceDirectory));
  hashCombine(seed, std::hash<std::string>{}(ruleSetHash));
  hashCombine(seed, moves.size());
  for (const Move& move : moves) {
    hashCombine(seed, std::hash<Uuid>{}(move.id));
    hashCombine(seed, std::hash<int64_t>{}(move.planSequence));
    hashCombine(seed, url(move.source));
    hashCombine(seed, url(move.destination));
    hashCombine(seed, std::hash<std::string>{}(move.ruleID));
  }
  return seed;
}

}  // namespace rozuzed

#include "rozuzed/model/applied_plan.h"

#include <functional>
#include <optional>

#include "rozuzed/model/plan_coding.h"
#include "rozuzed/model/sort_error.h"
#include "rozuzed/support/hashing.h"

namespace rozuzed {

void AppliedPlan::Move::write(JsonWriter& writer) const {
  writer.beginObject();
  PlanCoding::uuid(writer.key("id"), id);
  writer.key("planSequence").integer(planSequence);
  PlanCoding::url(writer.key("source"), source);
  PlanCoding::url(writer.key("destination"), destination);
  writer.key("ruleID").string(ruleID);
  writer.endObject();
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

void AppliedPlan::write(JsonWriter& writer) const {
  writer.beginObject();
  writer.key("version").integer(version);
  PlanCoding::uuid(writer.key("planID"), planID);
  PlanCoding::url(writer.key("sourceDirectory"), sourceDirectory);
  writer.key("ruleSetHash").string(ruleSetHash);
  writer.key("moves").beginArray();
  PlanCoding::elements(writer, moves);
  writer.endArray();
  writer.endObject();
}

std::string AppliedPlan::encoded() const {
  return PlanCoding::encode(*this);
}

AppliedPlan AppliedPlan::decode(const JsonInput& bytes) {
  AppliedPlan plan;
  PlanCoding::StreamedList<Move> moves(plan.moves);
  Json rest;
  int64_t storedVersion = 0;
  try {
    rest =
        parseJsonStreaming(bytes, {"moves"},
                           {.begin = [&](const std::string&) { moves.begin(); },
                            .element = [&](const std::string&, Json&& move) { moves.take(move); }});
    storedVersion = readInt64(requireObject(rest, "applied plan"), "version");
  } catch (const JsonDecodingError& error) {
    throw SortError::journalUnavailable(std::string("stored plan has no version: ") + error.what());
  }
  if (storedVersion > currentVersion) {
    throw SortError::journalUnavailable("stored plan is version " + std::to_string(storedVersion) +
                                        "; this build understands " +
                                        std::to_string(currentVersion));
  }
  plan.version = storedVersion;
  plan.planID = readUuid(rest, "planID");
  plan.sourceDirectory = readUrl(rest, "sourceDirectory");
  plan.ruleSetHash = readString(rest, "ruleSetHash");
  readArray(rest, "moves");
  moves.check();
  return plan;
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

#include "rozuzed/model/sort_plan.h"

#include <functional>

#include "rozuzed/model/plan_coding.h"
#include "rozuzed/model/sort_error.h"
#include "rozuzed/support/hashing.h"
#include "rozuzed/support/text.h"

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
  hashCombineOptional(seed, collisionSuffix, std::hash<int64_t>{});
  hashCombine(seed, std::hash<std::string>{}(matchedRuleID));
  hashCombine(seed, std::hash<std::string>{}(matchedRuleName));
  hashCombine(seed, std::hash<FileFingerprint>{}(fingerprint));
  hashCombine(seed, static_cast<std::size_t>(strategy));
  return seed;
}

void PlannedMove::write(JsonWriter& writer) const {
  writer.beginObject();
  PlanCoding::uuid(writer.key("id"), id);
  writer.key("planSequence").integer(planSequence);
  PlanCoding::url(writer.key("source"), source);
  PlanCoding::url(writer.key("destinationDirectory"), destinationDirectory);
  PlanCoding::url(writer.key("destinationURL"), destinationURL);
  if (collisionSuffix) writer.key("collisionSuffix").integer(*collisionSuffix);
  writer.key("matchedRuleID").string(matchedRuleID);
  writer.key("matchedRuleName").string(matchedRuleName);
  fingerprint.write(writer.key("fingerprint"));
  writer.key("strategy").string(toText(strategy));
  writer.endObject();
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
  if (!strategy) throw JsonDecodingError("strategy", "not a move strategy");
  move.strategy = *strategy;
  return move;
}

std::size_t SkippedFile::hash() const {
  std::size_t seed = std::hash<FileURL>{}(url);
  hashCombine(seed, reason.hash());
  return seed;
}

void SkippedFile::write(JsonWriter& writer) const {
  writer.beginObject();
  PlanCoding::url(writer.key("url"), url);
  reason.write(writer.key("reason"));
  writer.endObject();
}

SkippedFile SkippedFile::fromJson(const Json& value) {
  requireObject(value, "skipped item");
  FileURL url = readUrl(value, "url");
  return {std::move(url), SkipReason::fromJson(requireKey(value, "reason"))};
}

PlanWarning PlanWarning::patternTimedOut(std::string ruleID, std::string ruleName) {
  std::string message = "The name pattern of the rule " + quotedForm(ruleName) +
                        " took too long on a file name and was not tried on the files after it.";
  return {
      .ruleID = std::move(ruleID), .ruleName = std::move(ruleName), .message = std::move(message)};
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

void SortPlan::write(JsonWriter& writer) const {
  writer.beginObject();
  writer.key("version").integer(version);
  PlanCoding::uuid(writer.key("id"), id);
  PlanCoding::date(writer.key("createdAt"), createdAt);
  PlanCoding::url(writer.key("sourceDirectory"), sourceDirectory);
  writer.key("ruleSetHash").string(ruleSetHash);
  writer.key("moves").beginArray();
  PlanCoding::elements(writer, moves);
  writer.endArray();
  writer.key("skipped").beginArray();
  for (const SkippedFile& item : skipped) item.write(writer);
  writer.endArray();
  writer.endObject();
}

SortPlan SortPlan::read(const JsonInput& input) {
  SortPlan plan;
  PlanCoding::StreamedList<PlannedMove> moves(plan.moves);
  PlanCoding::StreamedList<SkippedFile> skipped(plan.skipped);
  Json rest = parseJsonStreaming(
      input, {"moves", "skipped"},
      {.begin = [&](const std::string& key) { key == "moves" ? moves.begin() : skipped.begin(); },
       .element =
           [&](const std::string& key, Json&& element) {
             key == "moves" ? moves.take(element) : skipped.take(element);
           }});
  requireObject(rest, "plan");
  int64_t storedVersion = readOptionalInt64(rest, "version").value_or(1);
  if (storedVersion > currentVersion) {
    throw SortError::journalUnavailable("stored plan is version " + std::to_string(storedVersion) +
                                        "; this build understands " +
                                        std::to_string(currentVersion));
  }
  plan.version = storedVersion;
  plan.id = readUuid(rest, "id");
  plan.createdAt = readDate(rest, "createdAt");
  plan.sourceDirectory = readUrl(rest, "sourceDirectory");
  plan.ruleSetHash = readString(rest, "ruleSetHash");
  readArray(rest, "moves");
  moves.check();
  readArray(rest, "skipped");
  skipped.check();
  return plan;
}

Json SortPlan::toJson() const {
  return parseJson(PlanCoding::encode(*this));
}

SortPlan SortPlan::fromJson(const Json& value) {
  return read(dumpJson(value));
}

}  // namespace rozuzed

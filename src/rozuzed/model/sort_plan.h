// The plan of one scan: every file that will move and every item left alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "rozuzed/model/file_metadata.h"
#include "rozuzed/model/skip_reason.h"
#include "rozuzed/support/dates.h"
#include "rozuzed/support/file_url.h"
#include "rozuzed/support/json.h"
#include "rozuzed/support/uuid.h"

namespace rozuzed {

// How one move is carried out. Stored as its case name.
enum class MoveStrategy { sameVolumeMove, crossVolumeCopyVerifyTrash };

std::string toText(MoveStrategy strategy);
// Exact, case-sensitive; absent for any other text.
std::optional<MoveStrategy> moveStrategyFromText(const std::string& text);

// One file to move. Equality is member-wise and exact (the fingerprint
// included, without its tolerance).
struct PlannedMove {
  Uuid id = Uuid::random();
  // Position among the moves of the plan as built; kept when a reloaded
  // plan is narrowed, so a narrowed plan's numbers can have gaps.
  int64_t planSequence = 0;
  FileURL source;
  FileURL destinationDirectory;
  FileURL destinationURL;
  // The number put into the name; absent when the file keeps its own name.
  std::optional<int64_t> collisionSuffix;
  std::string matchedRuleID;
  std::string matchedRuleName;
  FileFingerprint fingerprint;
  MoveStrategy strategy = MoveStrategy::sameVolumeMove;

  bool operator==(const PlannedMove&) const = default;
  std::size_t hash() const;

  // Throws JsonEncodingError for a date that is not finite or text that is
  // not UTF-8.
  void write(JsonWriter& writer) const;
  static PlannedMove fromJson(const Json& value);
};

// One item left alone, and why.
struct SkippedFile {
  FileURL url;
  SkipReason reason = SkipReason::noMatchingRule();

  bool operator==(const SkippedFile&) const = default;
  std::size_t hash() const;

  void write(JsonWriter& writer) const;
  static SkippedFile fromJson(const Json& value);
};

// Something the scan could not do as the rules ask, for the review to show
// beside the plan.
struct PlanWarning {
  std::string ruleID;
  std::string ruleName;
  // A sentence for the user.
  std::string message;

  // A name pattern of the rule ran out of time on a name and was not run
  // again in that scan, so the rule may have missed files.
  static PlanWarning patternTimedOut(std::string ruleID, std::string ruleName);

  bool operator==(const PlanWarning&) const = default;
};

// The plan payload writes the fields in declaration order, and is written
// and read a move at a time (PlanCoding), so a plan is never held twice.
// Reading refuses a payload newer than `currentVersion` with
// journalUnavailable whatever else is wrong with it; any other defect
// throws JsonDecodingError.
struct SortPlan {
  static constexpr int64_t currentVersion = 1;

  int64_t version = currentVersion;
  Uuid id = Uuid::random();
  Date createdAt = 0;
  FileURL sourceDirectory;
  std::string ruleSetHash;
  std::vector<PlannedMove> moves;
  std::vector<SkippedFile> skipped;
  // Not part of the payload: they speak of the scan that made the plan,
  // and a stored plan is read back only to be applied.
  std::vector<PlanWarning> warnings;

  bool operator==(const SortPlan&) const = default;
  std::size_t hash() const;

  void write(JsonWriter& writer) const;
  static SortPlan read(const JsonInput& input);

  // The payload as a tree and back, for small plans only: the tree of a
  // large plan takes many times the memory of the plan.
  Json toJson() const;
  static SortPlan fromJson(const Json& value);
};

}  // namespace rozuzed

template <>
struct std::hash<rozuzed::PlannedMove> {
  std::size_t operator()(const rozuzed::PlannedMove& move) const noexcept { return move.hash(); }
};

template <>
struct std::hash<rozuzed::SkippedFile> {
  std::size_t operator()(const rozuzed::SkippedFile& item) const noexcept { return item.hash(); }
};

template <>
struct std::hash<rozuzed::SortPlan> {
  std::size_t operator()(const rozuzed::SortPlan& plan) const noexcept { return plan.hash(); }
};

// The versioned record of what one apply run sets out to do, journaled with
// the run before any file is touched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rozuzed/model/sort_plan.h"
#include "rozuzed/support/file_url.h"
#include "rozuzed/support/json.h"
#include "rozuzed/support/uuid.h"

namespace rozuzed {

// A plain value; equality is member-wise, the moves in order. Nothing reads
// the moves back to decide anything: the snapshot travels with its run.
struct AppliedPlan {
  // The version this build writes and the highest it reads.
  static constexpr int64_t currentVersion = 1;

  struct Move {
    Uuid id;
    // The move's position in the plan the snapshot was built from, from 0;
    // not the planned move's own `planSequence`.
    int64_t planSequence = 0;
    FileURL source;
    // The full new path, final name included.
    FileURL destination;
    std::string ruleID;

    bool operator==(const Move&) const = default;

    void write(JsonWriter& writer) const;
    static Move fromJson(const Json& value);
  };

  int64_t version = currentVersion;
  Uuid planID;
  FileURL sourceDirectory;
  std::string ruleSetHash;
  std::vector<Move> moves;

  // The snapshot of `plan`: always version 1, the moves numbered 0, 1, 2 …
  // in the plan's order, whatever the plan's own version and numbering.
  static AppliedPlan from(const SortPlan& plan);

  // The JSON text, through PlanCoding, which also writes it in pieces.
  // Throws what the writer throws.
  std::string encoded() const;
  void write(JsonWriter& writer) const;

  // Reads stored text, a move at a time, after checking its version.
  // Throws journalUnavailable when the text is not JSON or its version is
  // missing, not an integer, or above currentVersion; any other defect
  // throws the JSON reader's own JsonDecodingError.
  static AppliedPlan decode(const JsonInput& bytes);

  bool operator==(const AppliedPlan&) const = default;
  std::size_t hash() const;
};

}  // namespace rozuzed

template <>
struct std::hash<rozuzed::AppliedPlan> {
  std::size_t operator()(const rozuzed::AppliedPlan& plan) const noexcept { return plan.hash(); }
};

// The review model of one plan: its moves grouped by destination folder, its
// skipped files, and the lists and counts the screens and the model need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "rozuzed/model/sort_plan.h"
#include "rozuzed/support/dates.h"
#include "rozuzed/support/file_url.h"
#include "rozuzed/support/uuid.h"
#include "sortappkit/view_models/move_key.h"

namespace sortappkit {

// One planned move as a row of the review table.
struct MoveRow {
  MoveRow(rozuzed::Uuid id, MoveKey key, rozuzed::FileURL sourceURL,
          rozuzed::FileURL destinationURL, std::string name, int64_t size, std::string ruleID,
          std::string ruleName, std::optional<int64_t> collisionSuffix, bool isCrossVolume);
  explicit MoveRow(const rozuzed::PlannedMove& move);

  // The name the file will carry at its destination, when the planner had to
  // number it.
  std::optional<std::string> renamedTo() const;

  bool operator==(const MoveRow&) const = default;

  rozuzed::Uuid id;
  MoveKey key;
  rozuzed::FileURL sourceURL;
  rozuzed::FileURL destinationURL;
  std::string name;
  int64_t size;
  std::string ruleID;
  std::string ruleName;
  std::optional<int64_t> collisionSuffix;
  bool isCrossVolume;
};

// One file left alone, named relative to the folder it was found in.
struct SkippedRow {
  SkippedRow(std::string id, rozuzed::FileURL url, std::string name, std::string reasonLabel,
             std::string explanation);
  SkippedRow(const rozuzed::SkippedFile& file, const rozuzed::FileURL& folder);

  bool operator==(const SkippedRow&) const = default;

  std::string id;  // the file's path as the plan names it
  rozuzed::FileURL url;
  std::string name;
  std::string reasonLabel;
  std::string explanation;
};

// The planned moves that share one destination folder.
struct DestinationGroup {
  int64_t totalBytes() const;
  std::vector<MoveKey> keys() const;

  bool operator==(const DestinationGroup&) const = default;

  std::string id;  // the destination folder's path key
  rozuzed::FileURL destinationURL;
  std::string displayName;
  std::vector<MoveRow> rows;
};

// Skipped rows that share one reason label.
struct SkipSection {
  std::string label;
  std::vector<SkippedRow> rows;

  bool operator==(const SkipSection&) const = default;
};

// Built once per plan and never changed. Derived values are computed afresh
// on every read.
class PlanViewModel {
 public:
  explicit PlanViewModel(const rozuzed::SortPlan& plan);

  // `url` relative to `base` when it lies strictly inside it (a
  // case-sensitive test on standardized paths), else its whole path.
  static std::string displayName(const rozuzed::FileURL& url, const rozuzed::FileURL& base);

  std::size_t moveCount() const;
  bool isEmpty() const { return moveCount() == 0; }
  int64_t totalBytes() const;
  // Groups in order, rows in order.
  std::vector<rozuzed::Uuid> allMoveIDs() const;
  std::vector<MoveKey> allKeys() const;
  // Every move id under its key, in row order; a key shared by sources that
  // differ only in letter case names each of their moves.
  std::unordered_map<MoveKey, std::vector<rozuzed::Uuid>> idsByKey() const;
  // Sections by label, and rows within one, in plain code-point order.
  std::vector<SkipSection> skipsByReason() const;

  bool operator==(const PlanViewModel&) const = default;

  rozuzed::Uuid id;
  rozuzed::FileURL folder;
  rozuzed::Date createdAt;
  std::vector<DestinationGroup> groups;
  std::vector<SkippedRow> skipped;
  // Two of its moves share a key (their sources differ only in letter case).
  bool sharesKeys = false;
};

}  // namespace sortappkit

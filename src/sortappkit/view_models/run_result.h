// The outcome of one sort, as the result screen lists it.
#pragma once

#include <string>
#include <vector>

#include "rozuzed/execution/execution_records.h"
#include "rozuzed/support/file_url.h"
#include "rozuzed/support/uuid.h"
#include "sortappkit/view_models/plan_view_model.h"

namespace sortappkit {

// One file the sort moved.
struct MovedRow {
  bool operator==(const MovedRow&) const = default;

  rozuzed::Uuid id;  // the journal entry's id
  std::string name;  // the name at the source; a collision suffix shows only in `toURL`
  rozuzed::FileURL fromURL;
  rozuzed::FileURL toURL;
  std::string destinationName;  // the destination folder relative to the sorted folder
};

// One move that failed.
struct FailedRow {
  bool operator==(const FailedRow&) const = default;

  rozuzed::Uuid id;  // the planned move's id
  std::string name;
  std::string message;
};

// Keeps the report's order in every list; sorts nothing.
struct RunResult {
  // Takes its paths out of `report`: a caller done with the report moves it
  // in, so a whole folder's paths are not held twice.
  RunResult(rozuzed::ExecutionReport report, const rozuzed::FileURL& folder);

  bool isCompleteSuccess() const { return failed.empty() && leftAlone.empty(); }
  bool canUndo() const { return !moved.empty(); }

  bool operator==(const RunResult&) const = default;

  rozuzed::Uuid id;  // the apply run's id
  rozuzed::FileURL folder;
  std::vector<MovedRow> moved;
  // Files left alone when checked again just before moving.
  std::vector<SkippedRow> leftAlone;
  std::vector<FailedRow> failed;
};

}  // namespace sortappkit

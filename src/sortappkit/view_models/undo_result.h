// The outcome of one undo.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "rozuzed/execution/undo_runner.h"
#include "rozuzed/support/uuid.h"

namespace sortappkit {

// Equal when the undone run, the restored count and the skipped names (in
// order) are equal; the reason texts are not compared.
struct UndoResult {
  struct Skip {
    std::string name;  // the name the file had after the sort moved it
    std::string reason;
  };

  explicit UndoResult(const rozuzed::UndoReport& report);
  UndoResult(rozuzed::Uuid batchID, int64_t restoredCount, std::vector<Skip> skipped)
      : batchID(batchID), restoredCount(restoredCount), skipped(std::move(skipped)) {}

  // The short wording of why a file was not put back: lower case, no full
  // stop.
  static std::string describe(const rozuzed::UndoSkipReason& reason);

  // Leftover copies do not count.
  bool isCompleteSuccess() const { return skipped.empty(); }

  bool operator==(const UndoResult& other) const;
  std::size_t hash() const;

  rozuzed::Uuid batchID;  // the run that was undone, not the undo run
  int64_t restoredCount;
  std::vector<Skip> skipped;
};

}  // namespace sortappkit

template <>
struct std::hash<sortappkit::UndoResult> {
  std::size_t operator()(const sortappkit::UndoResult& result) const noexcept {
    return result.hash();
  }
};

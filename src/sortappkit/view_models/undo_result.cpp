#include "sortappkit/view_models/undo_result.h"

#include <algorithm>
#include <functional>

#include "rozuzed/support/hashing.h"

namespace sortappkit {

using Reason = rozuzed::UndoSkipReason;

UndoResult::UndoResult(const rozuzed::UndoReport& report)
    : batchID(report.reversedRunID), restoredCount(static_cast<int64_t>(report.restored.size())) {
  skipped.reserve(report.skipped.size());
  for (const auto& skip : report.skipped) {
    skipped.push_back({skip.entry.destinationURL.lastPathComponent(), describe(skip.reason)});
  }
}

std::string UndoResult::describe(const Reason& reason) {
  switch (reason.reasonCase()) {
    case Reason::Case::fileMissingAtRecordedLocation:
      return "it is no longer at " + reason.url().lastPathComponent();
    case Reason::Case::fingerprintMismatch:
      return "it has been edited since it moved";
    case Reason::Case::originalPathNowOccupied:
      return "something else is at " + reason.url().lastPathComponent() + " now";
    case Reason::Case::restoreFailed:
      return reason.error() ? reason.error()->errorDescription() : std::string();
    case Reason::Case::alreadyUndone:
      return "already undone";
    case Reason::Case::notCommitted:
      break;
  }
  return "it was never recorded as moved";
}

bool UndoResult::operator==(const UndoResult& other) const {
  return batchID == other.batchID && restoredCount == other.restoredCount &&
         std::equal(skipped.begin(), skipped.end(), other.skipped.begin(), other.skipped.end(),
                    [](const Skip& a, const Skip& b) { return a.name == b.name; });
}

std::size_t UndoResult::hash() const {
  std::size_t seed = std::hash<rozuzed::Uuid>{}(batchID);
  rozuzed::hashCombine(seed, std::hash<int64_t>{}(restoredCount));
  for (const Skip& skip : skipped) rozuzed::hashCombine(seed, std::hash<std::string>{}(skip.name));
  return seed;
}

}  // namespace sortappkit

#include "rozuzed/recovery/recovery_decision.h"

namespace rozuzed {
namespace {

const char* const kSourceReplaced =
    "The source path now holds a different file than the one this move was for.";

RecoveryDecision settled(EntryState state, RecoveryAction action = RecoveryAction::none) {
  return {.action = action, .resulting = state};
}

RecoveryDecision attention(const char* reason) {
  return {.action = RecoveryAction::none,
          .resulting = EntryState::needsAttention,
          .reason = std::string(reason)};
}

}  // namespace

std::string toText(PathState state) {
  switch (state) {
    case PathState::absent:
      return "absent";
    case PathState::matching:
      return "matching";
    case PathState::foreign:
      break;
  }
  return "foreign";
}

std::optional<PathState> pathStateFromText(const std::string& text) {
  for (PathState state : allPathStates) {
    if (toText(state) == text) return state;
  }
  return std::nullopt;
}

RecoveryDecision RecoveryTable::decide(const ObservedState& observed, MoveStrategy strategy) {
  return strategy == MoveStrategy::crossVolumeCopyVerifyTrash ? crossVolume(observed)
                                                              : sameVolume(observed);
}

RecoveryDecision RecoveryTable::sameVolume(const ObservedState& observed) {
  switch (observed.source) {
    case PathState::absent:
      switch (observed.destination) {
        case PathState::absent:
          return attention("The file is at neither the source nor the destination.");
        case PathState::matching:
          return settled(EntryState::committed);
        case PathState::foreign:
          break;
      }
      return attention(
          "The file is gone from the source and a different file now occupies the destination.");
    case PathState::matching:
      if (observed.destination == PathState::matching) {
        return attention(
            "A file matching this one is at both the source and the destination. A rename cannot "
            "produce that, so something else made a copy.");
      }
      return settled(EntryState::abandoned);
    case PathState::foreign:
      break;
  }
  return attention(kSourceReplaced);
}

RecoveryDecision RecoveryTable::crossVolume(const ObservedState& observed) {
  if (observed.source == PathState::foreign) return attention(kSourceReplaced);
  const bool stagingPresent = observed.temp != PathState::absent;

  if (observed.source == PathState::matching) {
    // A matching destination can only be the verified copy moved into place:
    // what remains is to finish the move. Otherwise the move never completed
    // and the file stays at its source.
    if (observed.destination == PathState::matching) {
      return settled(EntryState::committed, stagingPresent
                                                ? RecoveryAction::trashTempThenTrashSourceThenCommit
                                                : RecoveryAction::trashSourceThenCommit);
    }
    return settled(EntryState::abandoned,
                   stagingPresent ? RecoveryAction::trashTemp : RecoveryAction::none);
  }

  switch (observed.destination) {
    case PathState::absent:
      return attention("The source is gone and nothing arrived at the destination.");
    case PathState::matching:
      return settled(EntryState::committed,
                     stagingPresent ? RecoveryAction::trashTemp : RecoveryAction::none);
    case PathState::foreign:
      break;
  }
  return attention("The source is gone and a different file occupies the destination.");
}

}  // namespace rozuzed

// What recovery finds at an interrupted move's paths, and what it decides
// from that: the clean-up to perform and the state the entry ends in.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>

#include "rozuzed/model/journal_entry.h"
#include "rozuzed/model/sort_plan.h"
#include "rozuzed/support/hashing.h"

namespace rozuzed {

// What lies at one path, judged against the identity recorded for the
// entry's file.
enum class PathState { absent, matching, foreign };

inline constexpr std::array<PathState, 3> allPathStates = {PathState::absent, PathState::matching,
                                                           PathState::foreign};

// The case name.
std::string toText(PathState state);
// Exact, case-sensitive; absent for any other text.
std::optional<PathState> pathStateFromText(const std::string& text);

// One observation of an entry's three paths. `temp` is `absent` when the
// entry has no staging path.
struct ObservedState {
  PathState source;
  PathState temp = PathState::absent;
  PathState destination;

  bool operator==(const ObservedState&) const = default;
};

// The clean-up a decision asks for; the runner performs it.
enum class RecoveryAction {
  none,
  trashTemp,
  trashSourceThenCommit,
  trashTempThenTrashSourceThenCommit
};

// `resulting` is never pending. `reason` is present exactly when `resulting`
// is needsAttention, and then `action` is none: a doubtful entry is never
// touched.
struct RecoveryDecision {
  RecoveryAction action = RecoveryAction::none;
  EntryState resulting = EntryState::abandoned;
  std::optional<std::string> reason;

  bool operator==(const RecoveryDecision&) const = default;
};

// The decision tables. Pure functions, total over all 27 observations: no
// disk, no clock, no state. Entries of apply and undo runs use the same
// tables.
struct RecoveryTable {
  static RecoveryDecision decide(const ObservedState& observed, MoveStrategy strategy);
  // A rename on one volume either happened or did not; the staging path is
  // not looked at.
  static RecoveryDecision sameVolume(const ObservedState& observed);
  // Copy, verify, rename, then the source to the Trash.
  static RecoveryDecision crossVolume(const ObservedState& observed);
};

}  // namespace rozuzed

template <>
struct std::hash<rozuzed::ObservedState> {
  std::size_t operator()(const rozuzed::ObservedState& o) const noexcept {
    std::size_t seed = static_cast<std::size_t>(o.source);
    rozuzed::hashCombine(seed, static_cast<std::size_t>(o.temp));
    rozuzed::hashCombine(seed, static_cast<std::size_t>(o.destination));
    return seed;
  }
};

template <>
struct std::hash<rozuzed::RecoveryDecision> {
  std::size_t operator()(const rozuzed::RecoveryDecision& d) const noexcept {
    std::size_t seed = static_cast<std::size_t>(d.action);
    rozuzed::hashCombine(seed, static_cast<std::size_t>(d.resulting));
    rozuzed::hashCombineOptional(seed, d.reason, std::hash<std::string>{});
    return seed;
  }
};

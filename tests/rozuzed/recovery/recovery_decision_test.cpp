#include "rozuzed/recovery/recovery_decision.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "rozuzed/testing/equality_table.h"

namespace rozuzed {
namespace {

constexpr PathState A = PathState::absent;
constexpr PathState M = PathState::matching;
constexpr PathState F = PathState::foreign;

constexpr RecoveryAction none = RecoveryAction::none;
constexpr RecoveryAction trashTemp = RecoveryAction::trashTemp;
constexpr RecoveryAction trashSource = RecoveryAction::trashSourceThenCommit;
constexpr RecoveryAction trashBoth = RecoveryAction::trashTempThenTrashSourceThenCommit;

const std::string neither = "The file is at neither the source nor the destination.";
const std::string goneAndOccupied =
    "The file is gone from the source and a different file now occupies the destination.";
const std::string bothPlaces =
    "A file matching this one is at both the source and the destination. A rename cannot produce "
    "that, so something else made a copy.";
const std::string sourceReplaced =
    "The source path now holds a different file than the one this move was for.";
const std::string nothingArrived = "The source is gone and nothing arrived at the destination.";
const std::string differentArrived =
    "The source is gone and a different file occupies the destination.";

RecoveryDecision committed(RecoveryAction action = none) {
  return {.action = action, .resulting = EntryState::committed};
}
RecoveryDecision abandoned(RecoveryAction action = none) {
  return {.action = action, .resulting = EntryState::abandoned};
}
RecoveryDecision attention(const std::string& reason) {
  return {.action = none, .resulting = EntryState::needsAttention, .reason = reason};
}

struct Row {
  ObservedState observed;
  RecoveryDecision sameVolume;
  RecoveryDecision crossVolume;
};

// Every observation, source-major, then staging, then destination.
const Row kTable[] = {
    {{A, A, A}, attention(neither), attention(nothingArrived)},
    {{A, A, M}, committed(), committed()},
    {{A, A, F}, attention(goneAndOccupied), attention(differentArrived)},
    {{A, M, A}, attention(neither), attention(nothingArrived)},
    {{A, M, M}, committed(), committed(trashTemp)},
    {{A, M, F}, attention(goneAndOccupied), attention(differentArrived)},
    {{A, F, A}, attention(neither), attention(nothingArrived)},
    {{A, F, M}, committed(), committed(trashTemp)},
    {{A, F, F}, attention(goneAndOccupied), attention(differentArrived)},
    {{M, A, A}, abandoned(), abandoned()},
    {{M, A, M}, attention(bothPlaces), committed(trashSource)},
    {{M, A, F}, abandoned(), abandoned()},
    {{M, M, A}, abandoned(), abandoned(trashTemp)},
    {{M, M, M}, attention(bothPlaces), committed(trashBoth)},
    {{M, M, F}, abandoned(), abandoned(trashTemp)},
    {{M, F, A}, abandoned(), abandoned(trashTemp)},
    {{M, F, M}, attention(bothPlaces), committed(trashBoth)},
    {{M, F, F}, abandoned(), abandoned(trashTemp)},
    {{F, A, A}, attention(sourceReplaced), attention(sourceReplaced)},
    {{F, A, M}, attention(sourceReplaced), attention(sourceReplaced)},
    {{F, A, F}, attention(sourceReplaced), attention(sourceReplaced)},
    {{F, M, A}, attention(sourceReplaced), attention(sourceReplaced)},
    {{F, M, M}, attention(sourceReplaced), attention(sourceReplaced)},
    {{F, M, F}, attention(sourceReplaced), attention(sourceReplaced)},
    {{F, F, A}, attention(sourceReplaced), attention(sourceReplaced)},
    {{F, F, M}, attention(sourceReplaced), attention(sourceReplaced)},
    {{F, F, F}, attention(sourceReplaced), attention(sourceReplaced)},
};

std::string describe(const ObservedState& o) {
  return "source " + toText(o.source) + ", temp " + toText(o.temp) + ", destination " +
         toText(o.destination);
}

TEST(RecoveryTableTest, EveryObservationHasItsDecision) {
  std::set<std::tuple<PathState, PathState, PathState>> seen;
  for (const Row& row : kTable) {
    SCOPED_TRACE(describe(row.observed));
    seen.insert({row.observed.source, row.observed.temp, row.observed.destination});
    EXPECT_EQ(RecoveryTable::sameVolume(row.observed), row.sameVolume);
    EXPECT_EQ(RecoveryTable::crossVolume(row.observed), row.crossVolume);
    EXPECT_EQ(RecoveryTable::decide(row.observed, MoveStrategy::sameVolumeMove), row.sameVolume);
    EXPECT_EQ(RecoveryTable::decide(row.observed, MoveStrategy::crossVolumeCopyVerifyTrash),
              row.crossVolume);
  }
  EXPECT_EQ(seen.size(), 27u);
}

TEST(RecoveryTableTest, DoubtfulEntriesAreNeverTouchedAndAlwaysExplained) {
  for (const Row& row : kTable) {
    for (const RecoveryDecision& d : {row.sameVolume, row.crossVolume}) {
      SCOPED_TRACE(describe(row.observed));
      EXPECT_NE(d.resulting, EntryState::pending);
      EXPECT_EQ(d.reason.has_value(), d.resulting == EntryState::needsAttention);
      if (d.resulting == EntryState::needsAttention) {
        EXPECT_EQ(d.action, none);
      }
    }
  }
}

// What a clean-up leaves behind for the next look at the disk.
ObservedState afterCleanUp(ObservedState o, RecoveryAction action) {
  if (action == trashTemp || action == trashBoth) o.temp = A;
  if (action == trashSource || action == trashBoth) o.source = A;
  return o;
}

// A reconciliation whose clean-up ran but whose journal write failed is done
// again at the next launch; it must land on the same state and touch nothing.
TEST(RecoveryTableTest, RepeatingAfterTheCleanUpGivesTheSameState) {
  for (const Row& row : kTable) {
    for (MoveStrategy strategy :
         {MoveStrategy::sameVolumeMove, MoveStrategy::crossVolumeCopyVerifyTrash}) {
      SCOPED_TRACE(describe(row.observed));
      RecoveryDecision first = RecoveryTable::decide(row.observed, strategy);
      RecoveryDecision again =
          RecoveryTable::decide(afterCleanUp(row.observed, first.action), strategy);
      EXPECT_EQ(again.resulting, first.resulting);
      EXPECT_EQ(again.action, none);
    }
  }
  // Only the staging half of a two-step clean-up done: the source is still due.
  EXPECT_EQ(RecoveryTable::crossVolume({M, A, M}), committed(trashSource));
}

TEST(RecoveryTableTest, PathStateTextRoundTrips) {
  for (PathState state : allPathStates) {
    EXPECT_EQ(pathStateFromText(toText(state)), state);
  }
  EXPECT_EQ(toText(F), "foreign");
  for (const char* text : {"Absent", " matching", "", "missing"}) {
    EXPECT_EQ(pathStateFromText(text), std::nullopt) << text;
  }
}

TEST(RecoveryTableTest, ObservationsAndDecisionsHashByEveryField) {
  std::vector<testing::Labelled<ObservedState>> observations;
  for (const Row& row : kTable) observations.push_back({describe(row.observed), row.observed});
  testing::expectDistinctValuesAndHashes(observations);

  const RecoveryDecision base = committed(trashTemp);
  testing::expectDistinctValuesAndHashes<RecoveryDecision>({
      {"base", base},
      {"action", testing::changed(base, [](auto& d) { d.action = trashSource; })},
      {"resulting", testing::changed(base, [](auto& d) { d.resulting = EntryState::abandoned; })},
      {"reason", testing::changed(base, [](auto& d) { d.reason = neither; })},
      {"empty reason", testing::changed(base, [](auto& d) { d.reason = ""; })},
  });
}

}  // namespace
}  // namespace rozuzed

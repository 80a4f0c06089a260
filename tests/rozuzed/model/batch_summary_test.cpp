#include "rozuzed/model/batch_summary.h"

#include <gtest/gtest.h>

#include "rozuzed/testing/equality_table.h"

namespace rozuzed {
namespace {

TEST(BatchSummaryTest, FullyUndoneNeedsMovesAndEveryOneUndone) {
  struct Case {
    int64_t moves;
    int64_t undone;
    bool fullyUndone;
  };
  for (auto c : {Case{0, 0, false}, Case{3, 3, true}, Case{3, 2, false}, Case{1, 0, false}}) {
    BatchSummary summary{.moveCount = c.moves, .undoneCount = c.undone};
    EXPECT_EQ(summary.isFullyUndone(), c.fullyUndone) << c.moves << "/" << c.undone;
  }
}

TEST(BatchSummaryTest, LeftOutFieldsTakeTheirDefaults) {
  BatchSummary summary{.id = Uuid::random(),
                       .performedAt = 5,
                       .sourceDirectory = FileURL::fromPath("/d", true),
                       .moveCount = 2,
                       .undoneCount = 1};
  EXPECT_EQ(summary.kind, RunKind::apply);
  EXPECT_EQ(summary.state, RunState::finished);
  EXPECT_EQ(summary.needsAttentionCount, 0);
}

TEST(BatchSummaryTest, EqualityAndHashTakeEveryField) {
  const BatchSummary base{.id = *Uuid::parse("11111111-2222-4333-8444-555555555555"),
                          .performedAt = 5,
                          .sourceDirectory = FileURL::fromPath("/d", true),
                          .moveCount = 2,
                          .undoneCount = 1};
  auto with = [&](auto change) { return testing::changed(base, change); };
  testing::expectDistinctValuesAndHashes<BatchSummary>({
      {"base", base},
      {"id", with([](BatchSummary& s) { s.id = Uuid::random(); })},
      {"kind", with([](BatchSummary& s) { s.kind = RunKind::undo; })},
      {"state", with([](BatchSummary& s) { s.state = RunState::recovered; })},
      {"performedAt", with([](BatchSummary& s) { s.performedAt = 6; })},
      {"sourceDirectory",
       with([](BatchSummary& s) { s.sourceDirectory = FileURL::fromPath("/e", true); })},
      {"no sourceDirectory",
       BatchSummary{.id = base.id, .performedAt = 5, .moveCount = 2, .undoneCount = 1}},
      {"moveCount", with([](BatchSummary& s) { s.moveCount = 3; })},
      {"undoneCount", with([](BatchSummary& s) { s.undoneCount = 2; })},
      {"needsAttentionCount", with([](BatchSummary& s) { s.needsAttentionCount = 1; })},
  });
  testing::expectEqualWithEqualHashes(with([](BatchSummary& s) { s.performedAt = 0.0; }),
                                      with([](BatchSummary& s) { s.performedAt = -0.0; }));
}

}  // namespace
}  // namespace rozuzed

#include "rozuzed/model/batch_summary.h"

#include <gtest/gtest.h>

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

  BatchSummary other = summary;
  EXPECT_EQ(other, summary);
  EXPECT_EQ(other.hash(), summary.hash());
  other.needsAttentionCount = 1;
  EXPECT_NE(other, summary);
}

}  // namespace
}  // namespace rozuzed

#include "rozuzed/model/applied_plan.h"

#include <gtest/gtest.h>

#include "rozuzed/model/sort_error.h"
#include "rozuzed/testing/equality_table.h"

namespace rozuzed {
namespace {

PlannedMove plannedMove(int64_t planSequence, const std::string& name) {
  return PlannedMove{
      .planSequence = planSequence,
      .source = FileURL::fromPath("/home/u/Downloads/" + name),
      .destinationDirectory = FileURL::fromPath("/home/u/Documents", true),
      .destinationURL = FileURL::fromPath("/home/u/Documents/" + name),
      .collisionSuffix = 2,
      .matchedRuleID = "rule-" + name,
      .matchedRuleName = "Rule " + name,
      .fingerprint = {7, 1000.5},
      .strategy = MoveStrategy::crossVolumeCopyVerifyTrash,
  };
}

SortPlan samplePlan() {
  return SortPlan{
      .version = 7,
      .createdAt = 1234.5,
      .sourceDirectory = FileURL::fromPath("/home/u/Downloads", true),
      .ruleSetHash = "abc123",
      // A plan narrowed to the selected moves keeps their own numbers.
      .moves = {plannedMove(0, "a.pdf"), plannedMove(3, "b c%.pdf"), plannedMove(9, "é.pdf")},
  };
}

TEST(AppliedPlanTest, SnapshotOfAPlanNumbersItsMovesInOrder) {
  SortPlan plan = samplePlan();
  AppliedPlan snapshot = AppliedPlan::from(plan);
  EXPECT_EQ(snapshot.version, 1);
  EXPECT_EQ(snapshot.planID, plan.id);
  EXPECT_EQ(snapshot.sourceDirectory, plan.sourceDirectory);
  EXPECT_EQ(snapshot.ruleSetHash, "abc123");
  ASSERT_EQ(snapshot.moves.size(), 3u);
  for (std::size_t i = 0; i < plan.moves.size(); ++i) {
    const AppliedPlan::Move& move = snapshot.moves[i];
    EXPECT_EQ(move.id, plan.moves[i].id);
    EXPECT_EQ(move.planSequence, static_cast<int64_t>(i));
    EXPECT_EQ(move.source, plan.moves[i].source);
    EXPECT_EQ(move.destination, plan.moves[i].destinationURL);
    EXPECT_EQ(move.ruleID, plan.moves[i].matchedRuleID);
  }
  EXPECT_TRUE(AppliedPlan::from(SortPlan{}).moves.empty());
}

TEST(AppliedPlanTest, EqualityAndHashTakeEveryFieldAndTheMovesInOrder) {
  const AppliedPlan base = AppliedPlan::from(samplePlan());
  auto with = [&](auto change) { return testing::changed(base, change); };
  testing::expectDistinctValuesAndHashes<AppliedPlan>({
      {"base", base},
      {"version", with([](AppliedPlan& p) { p.version = 2; })},
      {"planID", with([](AppliedPlan& p) { p.planID = Uuid{}; })},
      {"sourceDirectory",
       with([](AppliedPlan& p) { p.sourceDirectory = FileURL::fromPath("/", true); })},
      {"ruleSetHash", with([](AppliedPlan& p) { p.ruleSetHash = "abc124"; })},
      {"a move's id", with([](AppliedPlan& p) { p.moves[1].id = Uuid{}; })},
      {"a move's planSequence", with([](AppliedPlan& p) { p.moves[1].planSequence = 5; })},
      {"a move's source", with([](AppliedPlan& p) { p.moves[1].source = p.moves[0].source; })},
      {"a move's destination",
       with([](AppliedPlan& p) { p.moves[1].destination = p.moves[0].destination; })},
      {"a move's ruleID", with([](AppliedPlan& p) { p.moves[1].ruleID = "other"; })},
      {"moves reordered", with([](AppliedPlan& p) { std::swap(p.moves[0], p.moves[2]); })},
      {"a move fewer", with([](AppliedPlan& p) { p.moves.pop_back(); })},
  });
}

TEST(AppliedPlanTest, EncodedTextReadsBackEqual) {
  for (const SortPlan& plan : {samplePlan(), SortPlan{}}) {
    AppliedPlan snapshot = AppliedPlan::from(plan);
    EXPECT_EQ(AppliedPlan::decode(snapshot.encoded()), snapshot);
  }
  AppliedPlan empty = AppliedPlan::from(SortPlan{});
  EXPECT_NE(empty.encoded().find("\"moves\":[]"), std::string::npos);
}

TEST(AppliedPlanTest, EncodedTextHasTheKeysInOrder) {
  AppliedPlan snapshot{
      .planID = *Uuid::parse("aaaaaaaa-bbbb-4ccc-8ddd-eeeeeeeeeeee"),
      .sourceDirectory = FileURL::fromPath("/d/x y", true),
      .ruleSetHash = "h",
      .moves = {{.id = *Uuid::parse("00000000-0000-4000-8000-000000000001"),
                 .planSequence = 0,
                 .source = FileURL::fromPath("/d/x y/a"),
                 .destination = FileURL::fromPath("/e/a"),
                 .ruleID = "r"}},
  };
  EXPECT_EQ(snapshot.encoded(),
            R"({"version":1,"planID":"AAAAAAAA-BBBB-4CCC-8DDD-EEEEEEEEEEEE",)"
            R"("sourceDirectory":"file:///d/x%20y/","ruleSetHash":"h","moves":[)"
            R"({"id":"00000000-0000-4000-8000-000000000001","planSequence":0,)"
            R"("source":"file:///d/x%20y/a","destination":"file:///e/a","ruleID":"r"}]})");
}

TEST(AppliedPlanTest, VersionIsCheckedBeforeAnythingElse) {
  const std::string rest =
      R"("planID":"AAAAAAAA-BBBB-4CCC-8DDD-EEEEEEEEEEEE","sourceDirectory":"file:///d/",)"
      R"("ruleSetHash":"h","moves":[])";
  struct Case {
    std::string text;
    std::string messagePrefix;
  };
  const Case refused[] = {
      {"{\"version\":2," + rest + "}",
       "Journal unavailable: stored plan is version 2; this build understands 1"},
      {"{" + rest + "}", "Journal unavailable: stored plan has no version: "},
      {"{\"version\":\"1\"," + rest + "}", "Journal unavailable: stored plan has no version: "},
      {"{\"version\":1.5," + rest + "}", "Journal unavailable: stored plan has no version: "},
      {"[1]", "Journal unavailable: stored plan has no version: "},
      {"not json", "Journal unavailable: stored plan has no version: "},
      {"", "Journal unavailable: stored plan has no version: "},
  };
  for (const Case& c : refused) {
    try {
      AppliedPlan::decode(c.text);
      ADD_FAILURE() << "read " << c.text;
    } catch (const SortError& error) {
      EXPECT_EQ(error.errorCase(), SortError::Case::journalUnavailable);
      EXPECT_EQ(error.errorDescription().rfind(c.messagePrefix, 0), 0u) << error.errorDescription();
    }
  }
  // Read after its moves, the version still comes first: a bad move of a
  // later build does not hide that it is one.
  const std::string badMove = R"("moves":[{"id":7}],)";
  try {
    AppliedPlan::decode("{" + badMove + R"("version":2})");
    ADD_FAILURE() << "read";
  } catch (const SortError& error) {
    EXPECT_EQ(error.text(), "stored plan is version 2; this build understands 1");
  }
  EXPECT_EQ(AppliedPlan::decode("{\"version\":0," + rest + "}").version, 0);
  EXPECT_EQ(AppliedPlan::decode("{\"version\":-1," + rest + "}").version, -1);
}

TEST(AppliedPlanTest, OtherDefectsAreTheReadersOwnErrors) {
  const std::string head =
      R"({"version":1,"planID":"AAAAAAAA-BBBB-4CCC-8DDD-EEEEEEEEEEEE","sourceDirectory":"file:///d/","ruleSetHash":"h",)";
  const std::string move =
      R"("id":"00000000-0000-4000-8000-000000000001","planSequence":0,"source":"file:///a","destination":"file:///b")";
  for (const std::string& text : {
           head + R"("moves":[{)" + move + "}]}",                // no ruleID
           head + R"("moves":[{)" + move + R"(,"ruleID":5}]})",  // ruleID not text
           head + R"("moves":{}})",                              // moves not a list
           std::string(R"({"version":1,"moves":[]})"),           // no planID
       }) {
    EXPECT_THROW(AppliedPlan::decode(text), JsonDecodingError) << text;
  }
  AppliedPlan read = AppliedPlan::decode(head + R"("extra":true,"moves":[{)" + move +
                                         R"(,"ruleID":"r","more":[1]}]})");
  ASSERT_EQ(read.moves.size(), 1u);
  EXPECT_EQ(read.moves[0].ruleID, "r");
}

}  // namespace
}  // namespace rozuzed

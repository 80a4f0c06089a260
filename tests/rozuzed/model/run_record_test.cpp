#include "rozuzed/model/run_record.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "rozuzed/testing/equality_table.h"

namespace rozuzed {
namespace {

RunRecord runOwnedBy(ProcessIdentity owner, RunState state) {
  return RunRecord{.state = state, .startedAt = 1000, .owner = std::move(owner)};
}

ProcessIdentity otherBoot() {
  ProcessIdentity owner = ProcessIdentity::current();
  owner.bootSessionID += "-earlier";
  return owner;
}

// No process has this identifier: it is above the kernel's limit.
ProcessIdentity endedProcess() {
  ProcessIdentity owner = ProcessIdentity::current();
  owner.processID = 0x7fffffff;
  return owner;
}

TEST(RunKindTest, TextIsTheExactCaseName) {
  EXPECT_EQ(runKindFromText("apply"), RunKind::apply);
  EXPECT_EQ(runKindFromText("undo"), RunKind::undo);
  EXPECT_EQ(toText(RunKind::undo), "undo");
  EXPECT_FALSE(runKindFromText("Apply"));
  EXPECT_FALSE(runKindFromText(""));
}

TEST(RunStateTest, TextIsTheExactCaseName) {
  for (auto state :
       {RunState::running, RunState::finished, RunState::recovered, RunState::legacy}) {
    EXPECT_EQ(runStateFromText(toText(state)), state);
  }
  EXPECT_EQ(toText(RunState::recovered), "recovered");
  EXPECT_FALSE(runStateFromText("Running"));
  EXPECT_FALSE(runStateFromText("running "));
}

TEST(RunRecordTest, OnlyARunningRunIsLiveOrInterrupted) {
  for (auto state : {RunState::finished, RunState::recovered, RunState::legacy}) {
    for (const auto& owner :
         {ProcessIdentity::current(), otherBoot(), endedProcess(), ProcessIdentity{"", 0, 0}}) {
      RunRecord run = runOwnedBy(owner, state);
      EXPECT_FALSE(run.isLive()) << toText(state);
      EXPECT_FALSE(run.wasInterrupted()) << toText(state);
    }
  }
}

TEST(RunRecordTest, ARunningRunIsLiveExactlyWhileItsOwnerCanStillWork) {
  RunRecord mine = runOwnedBy(ProcessIdentity::current(), RunState::running);
  EXPECT_TRUE(mine.isLive());
  EXPECT_FALSE(mine.wasInterrupted());

  for (const auto& owner : {otherBoot(), endedProcess()}) {
    RunRecord run = runOwnedBy(owner, RunState::running);
    EXPECT_FALSE(run.isLive());
    EXPECT_TRUE(run.wasInterrupted());
  }
}

TEST(RunRecordTest, EqualityAndHashTakeEveryFieldAndTheOwnersStartTimeExactly) {
  const RunRecord base = runOwnedBy(ProcessIdentity{"boot", 42, 100.0}, RunState::running);
  const Uuid other = *Uuid::parse("99999999-2222-4333-8444-555555555555");
  auto with = [&](auto change) { return testing::changed(base, change); };
  testing::expectDistinctValuesAndHashes<RunRecord>({
      {"base", base},
      {"id", with([&](RunRecord& r) { r.id = other; })},
      {"kind", with([](RunRecord& r) { r.kind = RunKind::undo; })},
      {"state", with([](RunRecord& r) { r.state = RunState::finished; })},
      {"planID", with([&](RunRecord& r) { r.planID = other; })},
      {"reversesRunID", with([&](RunRecord& r) { r.reversesRunID = other; })},
      {"sourceDirectory",
       with([](RunRecord& r) { r.sourceDirectory = FileURL::fromPath("/d", true); })},
      {"startedAt", with([](RunRecord& r) { r.startedAt += 1e-6; })},
      {"finishedAt", with([](RunRecord& r) { r.finishedAt = 1000; })},
      {"owner's boot", with([](RunRecord& r) { r.owner.bootSessionID = "boot2"; })},
      {"owner's process", with([](RunRecord& r) { r.owner.processID = 43; })},
      {"owner's start time", with([](RunRecord& r) { r.owner.processStartedAt += 1e-9; })},
      {"appliedPlan", with([&](RunRecord& r) { r.appliedPlan = AppliedPlan{.planID = other}; })},
      {"appliedPlan's moves", with([&](RunRecord& r) {
         r.appliedPlan = AppliedPlan{.planID = other, .moves = {{.ruleID = "r"}}};
       })},
  });
  EXPECT_NE(RunRecord{}.id, RunRecord{}.id);
}

}  // namespace
}  // namespace rozuzed

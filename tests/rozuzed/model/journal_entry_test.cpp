#include "rozuzed/model/journal_entry.h"

#include <gtest/gtest.h>

#include "rozuzed/testing/equality_table.h"

namespace rozuzed {
namespace {

JournalEntry sampleEntry() {
  return JournalEntry{
      .runID = *Uuid::parse("11111111-2222-4333-8444-555555555555"),
      .planSequence = 3,
      .strategy = MoveStrategy::sameVolumeMove,
      .sourceURL = FileURL::fromPath("/home/u/Downloads/a.pdf"),
      .destinationURL = FileURL::fromPath("/home/u/Documents/a.pdf"),
      .fingerprintBefore = {10, 1000.5},
      .matchedRuleID = "documents",
      .intentAt = 2000.25,
  };
}

TEST(EntryStateTest, TextIsTheExactCaseName) {
  for (auto state : {EntryState::pending, EntryState::committed, EntryState::abandoned,
                     EntryState::needsAttention}) {
    EXPECT_EQ(entryStateFromText(toText(state)), state);
  }
  EXPECT_EQ(toText(EntryState::needsAttention), "needsAttention");
  for (const char* text : {"Committed", " committed", "committed ", "", "needsattention"}) {
    EXPECT_FALSE(entryStateFromText(text)) << text;
  }
}

TEST(CompletionSourceTest, TextIsTheExactCaseName) {
  EXPECT_EQ(completionSourceFromText("run"), CompletionSource::run);
  EXPECT_EQ(completionSourceFromText("recovery"), CompletionSource::recovery);
  EXPECT_EQ(toText(CompletionSource::recovery), "recovery");
  EXPECT_FALSE(completionSourceFromText("Run"));
  EXPECT_FALSE(completionSourceFromText(""));
}

TEST(JournalEntryTest, OnlyCommittedEntriesWithoutUndoTimeAreUndoable) {
  struct Case {
    EntryState state;
    bool undone;
    bool undoable;
  };
  for (auto c :
       {Case{EntryState::committed, false, true}, Case{EntryState::committed, true, false},
        Case{EntryState::pending, false, false}, Case{EntryState::pending, true, false},
        Case{EntryState::abandoned, false, false}, Case{EntryState::abandoned, true, false},
        Case{EntryState::needsAttention, false, false},
        Case{EntryState::needsAttention, true, false}}) {
    JournalEntry entry = sampleEntry();
    entry.state = c.state;
    if (c.undone) entry.undoneAt = 3000;
    EXPECT_EQ(entry.isUndoable(), c.undoable) << toText(c.state) << " undone " << c.undone;
  }
}

TEST(JournalEntryTest, DefaultsAreANewIdAndPending) {
  JournalEntry a = sampleEntry();
  JournalEntry b = sampleEntry();
  EXPECT_EQ(a.state, EntryState::pending);
  EXPECT_NE(a.id, b.id);
  EXPECT_NE(a, b);
  b.id = a.id;
  EXPECT_EQ(a, b);
  EXPECT_EQ(a.hash(), b.hash());
}

TEST(JournalEntryTest, EqualityAndHashTakeEveryFieldExactly) {
  const JournalEntry base = sampleEntry();
  const Uuid other = *Uuid::parse("99999999-2222-4333-8444-555555555555");
  const FileURL elsewhere = FileURL::fromPath("/t");
  // Fingerprints that match within the tolerance are still different values.
  ASSERT_TRUE((FileFingerprint{10, 1000.0}).matches({10, 1000.0005}));
  auto with = [&](auto change) { return testing::changed(base, change); };
  testing::expectDistinctValuesAndHashes<JournalEntry>({
      {"base", base},
      {"id", with([&](JournalEntry& e) { e.id = other; })},
      {"runID", with([&](JournalEntry& e) { e.runID = other; })},
      {"planSequence", with([](JournalEntry& e) { e.planSequence = 4; })},
      {"state", with([](JournalEntry& e) { e.state = EntryState::abandoned; })},
      {"strategy",
       with([](JournalEntry& e) { e.strategy = MoveStrategy::crossVolumeCopyVerifyTrash; })},
      {"sourceURL", with([&](JournalEntry& e) { e.sourceURL = elsewhere; })},
      {"destinationURL", with([&](JournalEntry& e) { e.destinationURL = elsewhere; })},
      {"tempURL", with([&](JournalEntry& e) { e.tempURL = elsewhere; })},
      {"trashedSourceURL", with([&](JournalEntry& e) { e.trashedSourceURL = elsewhere; })},
      {"fingerprintBefore size", with([](JournalEntry& e) { e.fingerprintBefore.size = 11; })},
      {"fingerprintBefore date",
       with([](JournalEntry& e) { e.fingerprintBefore.modificationDate += 0.0001; })},
      {"sourceHash", with([](JournalEntry& e) { e.sourceHash = ContentHash{""}; })},
      {"fingerprintAfter", with([](JournalEntry& e) {
         e.fingerprintAfter = FileFingerprint{10, 1000.0};
       })},
      {"fingerprintAfter within the tolerance", with([](JournalEntry& e) {
         e.fingerprintAfter = FileFingerprint{10, 1000.0005};
       })},
      {"matchedRuleID", with([](JournalEntry& e) { e.matchedRuleID = "pictures"; })},
      {"reversesEntryID", with([&](JournalEntry& e) { e.reversesEntryID = other; })},
      {"undoneAt", with([](JournalEntry& e) { e.undoneAt = 3000; })},
      {"intentAt", with([](JournalEntry& e) { e.intentAt += 1e-6; })},
      {"committedAt", with([](JournalEntry& e) { e.committedAt = 3000; })},
      {"completedBy run", with([](JournalEntry& e) { e.completedBy = CompletionSource::run; })},
      {"completedBy recovery",
       with([](JournalEntry& e) { e.completedBy = CompletionSource::recovery; })},
      {"attentionReason", with([](JournalEntry& e) { e.attentionReason = "why"; })},
      {"empty attentionReason", with([](JournalEntry& e) { e.attentionReason = ""; })},
  });
  testing::expectEqualWithEqualHashes(with([](JournalEntry& e) { e.undoneAt = 0.0; }),
                                      with([](JournalEntry& e) { e.undoneAt = -0.0; }));
}

}  // namespace
}  // namespace rozuzed

#include "rozuzed/model/journal_entry.h"

#include <gtest/gtest.h>

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

TEST(JournalEntryTest, EqualityIsExactOnEveryField) {
  const JournalEntry base = sampleEntry();
  auto differs = [&](auto change) {
    JournalEntry other = base;
    change(other);
    return !(other == base);
  };
  EXPECT_TRUE(differs([](JournalEntry& e) { e.attentionReason = "why"; }));
  EXPECT_TRUE(differs([](JournalEntry& e) { e.attentionReason = ""; }));
  EXPECT_TRUE(differs([](JournalEntry& e) { e.fingerprintBefore.modificationDate += 0.0001; }));
  EXPECT_TRUE(differs([](JournalEntry& e) { e.intentAt += 1e-6; }));
  EXPECT_TRUE(differs([](JournalEntry& e) { e.tempURL = FileURL::fromPath("/t"); }));
  EXPECT_TRUE(differs([](JournalEntry& e) { e.completedBy = CompletionSource::run; }));
  EXPECT_TRUE(differs([](JournalEntry& e) { e.sourceHash = ContentHash{""}; }));

  JournalEntry left = base;
  JournalEntry right = base;
  left.fingerprintAfter = FileFingerprint{10, 1000.0};
  right.fingerprintAfter = FileFingerprint{10, 1000.0005};
  EXPECT_TRUE(left.fingerprintAfter->matches(*right.fingerprintAfter));
  EXPECT_NE(left, right);
}

}  // namespace
}  // namespace rozuzed

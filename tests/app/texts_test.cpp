#include "app/common/texts.h"

#include <gtest/gtest.h>

namespace ombrix {
namespace {

TEST(TextsTest, CountedPhrasesAgreeWithTheirNumber) {
  struct Case {
    QString shown;
    const char* expected;
  };
  const Case cases[] = {
      {texts::files(0), "0 files"},
      {texts::files(1), "1 file"},
      {texts::files(3), "3 files"},
      {texts::selectedOfFiles(1, 1), "1 of 1 file selected"},
      {texts::selectedOfFiles(0, 12), "0 of 12 files selected"},
      {texts::earlierRunsCanBeUndone(1), "1 earlier run can still be undone from History."},
      {texts::earlierRunsCanBeUndone(2), "2 earlier runs can still be undone from History."},
      {texts::groupSummary(1, QStringLiteral("Zero bytes")), "1 file · Zero bytes"},
      {texts::filesCouldNotBeMoved(1),
       "1 file could not be moved. Nothing was lost — they are still where they were."},
      {texts::sortedFiles(12), "Sorted 12 files"},
      {texts::putFilesBack(1), "Put 1 file back."},
  };
  for (const Case& c : cases) EXPECT_EQ(c.shown.toStdString(), c.expected);
}

TEST(TextsTest, SizesUseDecimalUnitsAndSpellOutZero) {
  EXPECT_EQ(formatByteCount(0).toStdString(), "Zero bytes");
  EXPECT_EQ(formatByteCount(532).toStdString(), "532 bytes");
  EXPECT_EQ(formatByteCount(1'200'000).toStdString(), "1.2 MB");
}

}  // namespace
}  // namespace ombrix

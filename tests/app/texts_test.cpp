#include "app/common/texts.h"

#include <gtest/gtest.h>

#include <QLocale>

#include "app/history/history_list_model.h"
#include "app/shell/content_view.h"

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

// Large counts read as the locale writes them, in every phrase that holds
// one, while the plural still follows the number.
TEST(TextsTest, CountsAreGroupedAsTheLocaleWritesThem) {
  const QLocale before;
  struct Case {
    const char* locale;
    std::function<QString()> shown;
    const char* expected;
  };
  const Case cases[] = {
      {"en_US", [] { return texts::files(5000); }, "5,000 files"},
      {"en_US", [] { return texts::selectedOfFiles(5000, 5000); }, "5,000 of 5,000 files selected"},
      {"en_US", [] { return texts::earlierRunsCanBeUndone(1200); },
       "1,200 earlier runs can still be undone from History."},
      {"en_US", [] { return texts::sortedFiles(12345); }, "Sorted 12,345 files"},
      {"en_US", [] { return texts::groupSummary(1000, QStringLiteral("2 GB")); },
       "1,000 files · 2 GB"},
      {"de_DE", [] { return texts::files(5000); }, "5.000 files"},
      {"en_US",
       [] {
         return HistoryListModel::subtitle(
             sortappkit::RunSummary(rozuzed::Uuid{}, 0, "/home/u/Downloads", 3000, 1500));
       },
       "3,000 files · Downloads · 1,500 already put back"},
      {"en_US",
       [] {
         sortappkit::RecoverySummary summary{rozuzed::RecoveryReport{}};
         summary.movedCount = 2000;
         summary.untouchedCount = 1001;
         return ContentView::recoveryMessage(summary).section(QLatin1Char('\n'), 2);
       },
       "2,000 files had already moved. They are all accounted for, and you can put them back.\n"
       "1,001 files had not been touched."},
  };
  for (const Case& c : cases) {
    QLocale::setDefault(QLocale(QString::fromLatin1(c.locale)));
    EXPECT_EQ(c.shown().toStdString(), c.expected) << c.locale;
  }
  QLocale::setDefault(before);
}

TEST(TextsTest, SizesUseDecimalUnitsAndSpellOutZero) {
  EXPECT_EQ(formatByteCount(0).toStdString(), "Zero bytes");
  EXPECT_EQ(formatByteCount(532).toStdString(), "532 bytes");
  EXPECT_EQ(formatByteCount(1'200'000).toStdString(), "1.2 MB");
}

}  // namespace
}  // namespace ombrix

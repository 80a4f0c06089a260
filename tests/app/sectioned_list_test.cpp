// The keyboard goes from row to row of a sectioned list and never rests on
// a heading.
#include <gtest/gtest.h>

#include <QStandardItemModel>
#include <QTest>

#include "app/common/sectioned_list_view.h"

namespace ombrix {
namespace {

TEST(SectionedListTest, KeysPassOverHeadings) {
  QStandardItemModel rows;
  for (const char* text : {"# Moved", "a", "b", "# Left alone", "c"}) {
    rows.appendRow(new QStandardItem(QString::fromUtf8(text)));
  }
  SectionedListView view(
      [](const QModelIndex& index) { return index.data().toString().startsWith('#'); });
  view.setModel(&rows);
  view.show();
  view.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
  view.setFocus(Qt::TabFocusReason);
  ASSERT_EQ(view.currentIndex().data().toString(), "a") << "the first row, not its heading";

  struct Step {
    Qt::Key key;
    const char* lands;
  };
  const Step steps[] = {
      {Qt::Key_Up, "a"},   {Qt::Key_Down, "b"}, {Qt::Key_Down, "c"},   {Qt::Key_Up, "b"},
      {Qt::Key_Home, "a"}, {Qt::Key_End, "c"},  {Qt::Key_PageUp, "a"},
  };
  for (const Step& step : steps) {
    QTest::keyClick(&view, step.key);
    EXPECT_EQ(view.currentIndex().data().toString().toStdString(), step.lands)
        << "after key " << step.key;
  }
}

}  // namespace
}  // namespace ombrix

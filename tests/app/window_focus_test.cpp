// Where the keyboard is: Tab walks the window top to bottom, and after a
// sort or an undo the focus is where the next step is taken.
#include <gtest/gtest.h>

#include <QApplication>
#include <QListView>
#include <QPushButton>
#include <QToolBar>

#include "app/result/result_view.h"
#include "app/review/moves_table_view.h"
#include "app/review/review_view.h"
#include "app/review/skipped_pane.h"
#include "app/shell/content_view.h"
#include "testing/shell_fixture.h"

namespace ombrix {
namespace {

using Phase = sortappkit::AppModel::Phase;

class WindowFocusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    f.addFile("a.jpg");
    f.addFile("notes");
    f.replacePicker(f.folderURL());
    f.start();
    f.press(Qt::Key_O, Qt::ControlModifier);
    f.quiesce();
    ASSERT_EQ(f.model().phase().get(), Phase::review);
  }

  template <class Screen>
  Screen* shown() {
    return qobject_cast<Screen*>(f.window().content()->screen());
  }

  QWidget* toolButton(QAction* action) { return f.window().toolBar()->widgetForAction(action); }

  testing::ShellFixture f;
};

TEST_F(WindowFocusTest, TabGoesFromTheToolbarThroughTheTableAndTheLeftAlonePaneToTheActionBar) {
  auto* review = shown<ReviewView>();
  ASSERT_NE(review, nullptr);
  const std::vector<std::pair<const char*, QWidget*>> expected = {
      {"folder button", toolButton(f.window().folderAction())},
      {"History", toolButton(f.window().historyAction())},
      {"Rescan", toolButton(f.window().rescanAction())},
      {"table", review->table()},
      {"left-alone list", review->skippedPane()->list()},
      {"All", review->allButton()},
      {"None", review->noneButton()},
      {"Sort", review->defaultButton()},
      {"folder button again", toolButton(f.window().folderAction())},
  };
  expected.front().second->setFocus(Qt::TabFocusReason);
  for (std::size_t i = 1; i < expected.size(); ++i) {
    f.press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), expected[i].second)
        << "after " << expected[i - 1].first << " expected " << expected[i].first;
    // Put right for the next step, so one slip is reported once.
    expected[i].second->setFocus(Qt::TabFocusReason);
  }
}

TEST_F(WindowFocusTest, AfterASortTheResultsDoneHasTheFocusAndAfterItsUndoTheTable) {
  // Pressed, as by a click: the sort disables it, and the keyboard moves on.
  shown<ReviewView>()->defaultButton()->setFocus(Qt::TabFocusReason);
  f.press(Qt::Key_Space);
  f.quiesce();
  auto* result = shown<ResultView>();
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(QApplication::focusWidget(), result->defaultButton());

  f.press(Qt::Key_Z, Qt::ControlModifier);
  f.quiesce();
  auto* review = shown<ReviewView>();
  ASSERT_NE(review, nullptr);
  EXPECT_EQ(QApplication::focusWidget(), review->table());
}

}  // namespace
}  // namespace ombrix

// The window's keys: one binding per key, Return for the shown screen's
// default button, and no rescan or second run under a running one.
#include <gtest/gtest.h>

#include <QAction>
#include <QListView>
#include <QPushButton>
#include <QShortcut>
#include <QTest>
#include <QToolBar>

#include "app/result/result_view.h"
#include "app/review/moves_table_view.h"
#include "app/review/review_view.h"
#include "app/review/skipped_pane.h"
#include "app/shell/content_view.h"
#include "app/shell/observations.h"
#include "app/shell/ombrix_commands.h"
#include "testing/shell_fixture.h"

namespace ombrix {
namespace {

using sortappkit::AppModel;
using Phase = AppModel::Phase;
using testing::ShellFixture;

class WindowKeysTest : public ::testing::Test {
 protected:
  void sortByReturn() {
    f.press(Qt::Key_Return);
    f.quiesce();
    ASSERT_EQ(f.model().phase().get(), Phase::result);
  }

  // Bindings of `keys` that can fire while the window has the keyboard.
  int liveBindings(const QKeySequence& keys) {
    int count = 0;
    for (QShortcut* shortcut : f.window().findChildren<QShortcut*>()) {
      if (shortcut->key() == keys && shortcut->isEnabled()) ++count;
    }
    for (QAction* action : f.window().findChildren<QAction*>()) {
      if (action->shortcuts().contains(keys) && action->shortcutContext() != Qt::WidgetShortcut) {
        ++count;
      }
    }
    return count;
  }

  ShellFixture f;
};

TEST_F(WindowKeysTest, CtrlZIsTheResultScreensUndoWhileItShowsAndTheMenusOtherwise) {
  f.addFile("a.jpg");
  ASSERT_TRUE(f.startInReview());
  sortByReturn();
  const rozuzed::Uuid first = f.model().lastRun().get()->id;

  f.addFile("b.jpg");
  f.press(Qt::Key_R, Qt::ControlModifier);
  f.quiesce();
  sortByReturn();
  auto* result = qobject_cast<ResultView*>(f.window().content()->screen());
  ASSERT_NE(result, nullptr);
  ASSERT_TRUE(result->isUndoShown());
  EXPECT_EQ(liveBindings(QKeySequence(Qt::CTRL | Qt::Key_Z)), 1);
  EXPECT_EQ(f.window().commands()->undoAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z))
      << "the menu still shows the key";

  const rozuzed::Uuid second = f.model().lastRun().get()->id;
  f.press(Qt::Key_Z, Qt::ControlModifier);
  f.quiesce();
  ASSERT_TRUE(f.model().lastUndo().get()) << "Ctrl+Z did nothing";
  EXPECT_EQ(f.model().lastUndo().get()->batchID, second);
  EXPECT_TRUE(f.exists("b.jpg"));

  // On the review screen it is the menu's Undo: the most recent run that
  // can still be undone.
  ASSERT_TRUE(qobject_cast<ReviewView*>(f.window().content()->screen()));
  EXPECT_EQ(f.window().commands()->undoAction()->text(), "Undo Sorting 1 File");
  EXPECT_EQ(liveBindings(QKeySequence(Qt::CTRL | Qt::Key_Z)), 1);
  f.press(Qt::Key_Z, Qt::ControlModifier);
  f.quiesce();
  EXPECT_EQ(f.model().lastUndo().get()->batchID, first);
  EXPECT_TRUE(f.exists("a.jpg"));
  EXPECT_EQ(f.window().commands()->undoAction()->text(), "Undo");
  EXPECT_FALSE(f.window().commands()->undoAction()->isEnabled());
}

TEST_F(WindowKeysTest, ReturnPressesTheShownScreensDefaultButton) {
  f.addFile("a.jpg");
  ASSERT_TRUE(f.startInReview());
  auto* review = qobject_cast<ReviewView*>(f.window().content()->screen());
  ASSERT_NE(review, nullptr);
  EXPECT_EQ(f.window().content()->defaultButton(), review->defaultButton());
  EXPECT_TRUE(review->defaultButton()->isDefault());

  // With nothing selected the Sort button is off, and Return does nothing.
  f.model().setAll(false);
  f.press(Qt::Key_Return);
  f.quiesce();
  EXPECT_EQ(f.model().phase().get(), Phase::review);
  f.model().setAll(true);

  sortByReturn();
  auto* result = qobject_cast<ResultView*>(f.window().content()->screen());
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(f.window().content()->defaultButton(), result->defaultButton());
  EXPECT_EQ(result->defaultButton()->text(), "Done");
  // Done takes the user back to a fresh review of the folder.
  f.press(Qt::Key_Enter, Qt::KeypadModifier);
  f.quiesce();
  EXPECT_EQ(f.model().phase().get(), Phase::review);
  EXPECT_TRUE(f.exists("Images/a.jpg"));
}

// Return goes to the button the keyboard is on; only focus that has no use
// for Return (the table, the list of files left alone) passes it on to the
// screen's default button.
TEST_F(WindowKeysTest, ReturnPressesTheFocusedButtonBeforeTheDefaultOne) {
  f.addFile("a.jpg");
  f.addFile("Projects/plan.txt");
  ASSERT_TRUE(f.startInReview());
  auto review = [&] { return qobject_cast<ReviewView*>(f.window().content()->screen()); };
  auto result = [&] { return qobject_cast<ResultView*>(f.window().content()->screen()); };
  auto returnOn = [&](QWidget* target) {
    ASSERT_NE(target, nullptr);
    // Offscreen, nothing makes the window active again after a sheet.
    f.window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f.window()));
    target->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(target->hasFocus());
    f.press(Qt::Key_Return);
    f.quiesce();
  };

  returnOn(review()->noneButton());
  EXPECT_EQ(f.model().phase().get(), Phase::review) << "None sorted every file";
  EXPECT_EQ(review()->defaultButton()->text(), "Sort 0 Files");
  returnOn(review()->allButton());
  EXPECT_EQ(review()->defaultButton()->text(), "Sort 1 File");

  returnOn(f.window().toolBar()->widgetForAction(f.window().historyAction()));
  EXPECT_EQ(f.model().phase().get(), Phase::review);
  ASSERT_NE(f.window().historySheet(), nullptr) << "History did not open";
  f.window().historySheet()->reject();
  f.quiesce();

  returnOn(review()->skippedPane()->list());
  ASSERT_EQ(f.model().phase().get(), Phase::result) << "the left-alone list kept Return";
  EXPECT_TRUE(f.exists("Images/a.jpg"));

  returnOn(result()->undoButton());
  ASSERT_TRUE(f.model().lastUndo().get()) << "Return on Undo pressed Done";
  EXPECT_TRUE(f.exists("a.jpg"));
  ASSERT_EQ(f.model().phase().get(), Phase::review);

  returnOn(review()->table());
  EXPECT_EQ(f.model().phase().get(), Phase::result) << "the table kept Return";
  returnOn(result()->defaultButton());
  EXPECT_EQ(f.model().phase().get(), Phase::review);
}

TEST_F(WindowKeysTest, NoRescanAndNoSecondRunWhileASortIsUnderWay) {
  f.addFile("a.jpg");
  ASSERT_TRUE(f.startInReview());
  sortByReturn();
  f.press(Qt::Key_Return);
  f.quiesce();
  f.addFile("b.jpg");
  f.press(Qt::Key_R, Qt::ControlModifier);
  f.quiesce();
  ASSERT_EQ(f.model().plan().get()->moveCount(), 1u);
  ASSERT_TRUE(f.window().commands()->undoAction()->isEnabled());

  // At the moment the sort starts, the user presses Ctrl+R and Ctrl+Z and
  // clicks Rescan.
  std::vector<Phase> phases;
  bool rescanOff = false;
  Observations watching;
  watching.watch(f.model().phase(), [&](Phase phase) {
    phases.push_back(phase);
    if (phase != Phase::applying || phases.size() != 1) return;
    rescanOff = !f.window().rescanAction()->isEnabled() &&
                !f.window().commands()->rescanAction()->isEnabled();
    f.press(Qt::Key_R, Qt::ControlModifier);
    f.clickToolBar(f.window().rescanAction());
    f.press(Qt::Key_Z, Qt::ControlModifier);
  });
  f.press(Qt::Key_Return);
  f.quiesce();
  EXPECT_TRUE(rescanOff);
  EXPECT_EQ(phases, (std::vector<Phase>{Phase::applying, Phase::result}));
  EXPECT_TRUE(f.exists("Images/a.jpg")) << "the earlier run was not undone under the sort";
  EXPECT_TRUE(f.exists("Images/b.jpg"));
  EXPECT_FALSE(f.model().problem().get());
}

TEST_F(WindowKeysTest, RescanIsOffWhileScanning) {
  f.replacePicker(f.folderURL());
  f.start();
  bool checked = false, rescanOff = false;
  Observations watching;
  watching.watch(f.model().phase(), [&](Phase phase) {
    if (phase != Phase::scanning || checked) return;
    checked = true;
    rescanOff = !f.window().rescanAction()->isEnabled() &&
                !f.window().commands()->rescanAction()->isEnabled() &&
                f.window().rescanAction()->isVisible();
  });
  f.press(Qt::Key_O, Qt::ControlModifier);
  f.quiesce();
  EXPECT_TRUE(checked);
  EXPECT_TRUE(rescanOff);
  EXPECT_TRUE(f.window().rescanAction()->isEnabled());
  EXPECT_TRUE(f.window().folderAction()->isEnabled());
  EXPECT_TRUE(f.window().historyAction()->isEnabled());
}

}  // namespace
}  // namespace ombrix

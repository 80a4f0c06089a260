// The window while files move: what can be pressed during a sort, what
// closing the window does then, and how the Undo command keeps up with a
// journal that another copy of the program changes.
#include <gtest/gtest.h>

#include <QAction>
#include <QPushButton>
#include <QTest>

#include "app/history/history_list_model.h"
#include "app/history/history_list_view.h"
#include "app/history/history_row_delegate.h"
#include "app/result/result_view.h"
#include "app/shell/content_view.h"
#include "app/shell/ombrix_commands.h"
#include "app/shell/progress_overlay.h"
#include "rozuzed/testing/subprocess.h"
#include "testing/engine_hold.h"
#include "testing/shell_fixture.h"

namespace ombrix {
namespace {

using sortappkit::AppModel;
using Phase = AppModel::Phase;
using testing::EngineHold;
using testing::ShellFixture;

class WindowRunsTest : public ::testing::Test {
 protected:
  // Another copy of the program sorts the folder.
  void sortInAnotherCopy() {
    auto other = rozuzed::testing::runProcess(
        {rozuzed::testing::builtProgram("ombrix-driver"), "apply", f.folder()});
    ASSERT_EQ(other.exitCode, 0) << other.standardError;
  }

  QAction* menuUndo() { return f.window().commands()->undoAction(); }

  ShellFixture f;
};

TEST_F(WindowRunsTest, WhileASortRunsNoUndoCanBePressedAndTheHistoryStays) {
  f.addFile("a.jpg");
  ASSERT_TRUE(f.startInReview());
  f.press(Qt::Key_Return);
  f.quiesce();
  ASSERT_EQ(f.model().phase().get(), Phase::result);
  f.addFile("b.jpg");
  f.press(Qt::Key_Return);
  f.quiesce();
  ASSERT_EQ(f.model().phase().get(), Phase::review);
  ASSERT_TRUE(menuUndo()->isEnabled());

  EngineHold hold(*f.model().engine(), f.folderURL());
  f.press(Qt::Key_Return);
  ASSERT_TRUE(f.model().busy().get()) << "the sort of b.jpg is under way";
  EXPECT_FALSE(menuUndo()->isEnabled());

  f.clickToolBar(f.window().historyAction());
  ASSERT_TRUE(testing::waitUntil([&] { return f.window().historySheet() != nullptr; }));
  HistoryView* sheet = f.window().historySheet();
  HistoryListView* list = sheet->list();
  const QModelIndex first = list->model()->index(0, 0);
  ASSERT_TRUE(first.isValid());
  EXPECT_TRUE(first.data(HistoryListModel::CanUndoRole).toBool()) << "the button is there";
  EXPECT_FALSE(first.data(HistoryListModel::UndoEnabledRole).toBool()) << "but cannot be pressed";

  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                    HistoryRowDelegate::undoButtonRect(list->visualRect(first), list).center());
  list->setFocus();
  list->setCurrentIndex(first);
  QTest::keyClick(list, Qt::Key_Space);
  testing::settle();
  EXPECT_TRUE(sheet->isVisible()) << "nothing was undone, so the sheet stays";
  EXPECT_TRUE(f.exists("Images/a.jpg"));

  hold.release();
  ASSERT_TRUE(testing::waitUntil([&] { return !f.model().busy().get(); }));
  f.quiesce();
  EXPECT_TRUE(f.exists("Images/b.jpg"));
  ASSERT_TRUE(sheet->isVisible());
  const QModelIndex newest = list->model()->index(0, 0);
  ASSERT_TRUE(newest.data(HistoryListModel::UndoEnabledRole).toBool());
  EXPECT_TRUE(menuUndo()->isEnabled());
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                    HistoryRowDelegate::undoButtonRect(list->visualRect(newest), list).center());
  f.quiesce();
  EXPECT_FALSE(f.window().historySheet());
  EXPECT_TRUE(f.exists("b.jpg"));
  EXPECT_TRUE(f.exists("Images/a.jpg"));
}

TEST_F(WindowRunsTest, TheResultScreensUndoWaitsForAnUndoUnderWay) {
  f.addFile("a.jpg");
  ASSERT_TRUE(f.startInReview());
  f.press(Qt::Key_Return);
  f.quiesce();
  auto* result = qobject_cast<ResultView*>(f.window().content()->screen());
  ASSERT_NE(result, nullptr);
  ASSERT_TRUE(result->isUndoShown());
  EXPECT_TRUE(result->undoButton()->isEnabled());

  // The menu's Undo reads the history before it moves anything; meanwhile
  // the result screen stays, and its Undo must not start a second undo.
  EngineHold hold(*f.model().engine(), f.folderURL());
  menuUndo()->trigger();
  ASSERT_TRUE(f.model().busy().get());
  EXPECT_EQ(f.window().content()->screen(), result);
  EXPECT_FALSE(result->undoButton()->isEnabled());
  hold.release();
  f.quiesce();
  EXPECT_TRUE(f.exists("a.jpg"));
  EXPECT_FALSE(f.model().problem().get()) << "undone once, not twice";
}

// Closing the window while a sort runs stops the sort before its next file
// and closes the window once it has ended; nothing goes on unseen.
TEST_F(WindowRunsTest, ClosingTheWindowDuringASortStopsItAndThenCloses) {
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) f.addFile(name);
  ASSERT_TRUE(f.startInReview());
  f.press(Qt::Key_Return);
  // Behind the plan's lookup and before the moves.
  EngineHold hold(*f.model().engine(), f.folderURL());
  ASSERT_TRUE(testing::waitUntil([&] { return f.model().phase().get() == Phase::applying; }));

  f.press(Qt::Key_Q, Qt::ControlModifier);
  testing::settle();
  EXPECT_TRUE(f.window().isVisible()) << "the window stays while the sort stops";
  EXPECT_TRUE(f.window().content()->overlay()->isVisible());

  hold.release();
  ASSERT_TRUE(testing::waitUntil([&] { return !f.window().isVisible(); }));
  f.quiesce();
  EXPECT_FALSE(f.model().busy().get());
  EXPECT_TRUE(f.exists("a.jpg") && f.exists("b.jpg") && f.exists("c.jpg"));
  auto history = sortappkit::awaitEngine<std::vector<rozuzed::BatchSummary>>(
      [&](auto done) { f.model().engine()->recentBatches(done); });
  EXPECT_TRUE(history.empty()) << "stopped before its first file, the run was never begun";
}

TEST_F(WindowRunsTest, TheUndoCommandFollowsTheJournalThatAnotherCopyChanges) {
  f.addFile("a.jpg");
  ASSERT_TRUE(f.startInReview());
  f.press(Qt::Key_Return);
  f.quiesce();
  f.press(Qt::Key_Return);  // Done
  f.quiesce();
  ASSERT_EQ(f.model().phase().get(), Phase::review);
  ASSERT_EQ(menuUndo()->text().toStdString(), "Undo Sorting 1 File");

  // Another copy sorts two files while this window stays in front: the
  // title is as it was, but Ctrl+Z reads the journal first and moves
  // nothing the title did not name.
  f.addFile("b.jpg");
  f.addFile("c.jpg");
  sortInAnotherCopy();
  EXPECT_EQ(menuUndo()->text().toStdString(), "Undo Sorting 1 File");
  f.press(Qt::Key_Z, Qt::ControlModifier);
  f.quiesce();
  EXPECT_EQ(menuUndo()->text().toStdString(), "Undo Sorting 2 Files");
  EXPECT_TRUE(f.exists("Images/a.jpg") && f.exists("Images/b.jpg") && f.exists("Images/c.jpg"));
  EXPECT_FALSE(f.model().problem().get());

  f.press(Qt::Key_Z, Qt::ControlModifier);
  f.quiesce();
  EXPECT_TRUE(f.exists("b.jpg") && f.exists("c.jpg"));
  EXPECT_TRUE(f.exists("Images/a.jpg"));
  EXPECT_EQ(menuUndo()->text().toStdString(), "Undo Sorting 1 File");

  // Sorted by the other copy while another window is in front: the title
  // is new as soon as this window comes back.
  QWidget elsewhere;
  elsewhere.show();
  elsewhere.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
  f.addFile("d.jpg");
  sortInAnotherCopy();
  f.window().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f.window()));
  f.quiesce();
  EXPECT_EQ(menuUndo()->text().toStdString(), "Undo Sorting 3 Files");
}

}  // namespace
}  // namespace ombrix

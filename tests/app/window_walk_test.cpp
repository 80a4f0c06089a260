// The whole road through the real window, by keys and clicks: the first
// start, choosing the folder, review, sorting, the result, undoing, the
// history sheet and rescanning.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QPushButton>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include "app/common/texts.h"
#include "app/history/history_list_model.h"
#include "app/history/history_list_view.h"
#include "app/history/history_view.h"
#include "app/result/result_view.h"
#include "app/review/review_view.h"
#include "app/shell/content_view.h"
#include "app/shell/observations.h"
#include "app/shell/ombrix_commands.h"
#include "app/shell/progress_overlay.h"
#include "app/start/empty_state_view.h"
#include "app/start/scanning_view.h"
#include "sortappkit/folder_access/granted_folder.h"
#include "sortappkit/folder_access/user_defaults_bookmark_store.h"
#include "testing/shell_fixture.h"

namespace ombrix {
namespace {

using sortappkit::AppModel;
using Phase = AppModel::Phase;
using testing::ShellFixture;

// The first row, at any depth, whose text in some column is `text`.
QModelIndex findRow(const QAbstractItemModel& model, const QString& text,
                    const QModelIndex& parent = {}) {
  for (int row = 0; row < model.rowCount(parent); ++row) {
    for (int column = 0; column < model.columnCount(parent); ++column) {
      const QModelIndex index = model.index(row, column, parent);
      if (index.data().toString() == text) return model.index(row, 0, parent);
    }
    const QModelIndex below = findRow(model, text, model.index(row, 0, parent));
    if (below.isValid()) return below;
  }
  return {};
}

class WindowWalkTest : public ::testing::Test {
 protected:
  // The class of each screen as it came on show; a scanning screen adds
  // its words.
  void recordScreens() {
    QObject::connect(f.window().content(), &ContentView::screenChanged, [this](QWidget* screen) {
      screens.push_back(screen->metaObject()->className());
      if (qobject_cast<ScanningView*>(screen)) {
        screens.push_back(ShellFixture::labelTexts(screen).join(QLatin1Char('|')).toStdString());
      }
    });
  }

  std::vector<std::string> screens;
  ShellFixture f;
};

TEST_F(WindowWalkTest, FromTheFirstStartToAnUndoFromTheHistory) {
  for (const char* name : {"photo.jpg", "notes.txt", "song.mp3", "report.pdf"}) f.addFile(name);
  f.start();
  MainWindow& window = f.window();
  OmbrixCommands& commands = *window.commands();

  // The first start: no folder yet.
  EXPECT_EQ(window.size(), QSize(960, 640));
  EXPECT_EQ(window.minimumSize(), QSize(720, 480));
  EXPECT_TRUE(qobject_cast<EmptyStateView*>(window.content()->screen()));
  EXPECT_FALSE(window.folderAction()->isVisible());
  EXPECT_FALSE(window.rescanAction()->isVisible());
  ASSERT_TRUE(window.historyAction()->isVisible());
  EXPECT_EQ(window.historyAction()->text(), "History");
  EXPECT_EQ(window.historyAction()->toolTip(), "Past runs, and undo");
  EXPECT_FALSE(commands.rescanAction()->isEnabled());
  EXPECT_EQ(commands.undoAction()->text(), "Undo");
  EXPECT_FALSE(commands.undoAction()->isEnabled());
  EXPECT_FALSE(commands.quickLookAction()->isEnabled());
  EXPECT_EQ(f.alert(), nullptr);

  // Return is the empty state's "Choose Folder…"; cancelling changes
  // nothing.
  f.replacePicker(std::nullopt);
  f.press(Qt::Key_Return);
  EXPECT_EQ(f.pickerCalls(), 1);
  f.quiesce();
  EXPECT_EQ(f.model().phase().get(), Phase::empty);

  recordScreens();
  f.replacePicker(f.folderURL());
  f.press(Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(f.pickerCalls(), 2);
  f.quiesce();
  ASSERT_EQ(f.model().phase().get(), Phase::review);
  EXPECT_EQ(screens, (std::vector<std::string>{"ombrix::ScanningView", "Looking through Downloads…",
                                               "ombrix::ReviewView"}));
  ASSERT_TRUE(window.folderAction()->isVisible());
  EXPECT_EQ(window.folderAction()->text(), "Downloads");
  EXPECT_EQ(window.folderAction()->toolTip(), "Choose a different folder");
  EXPECT_TRUE(window.rescanAction()->isVisible());
  EXPECT_TRUE(window.rescanAction()->isEnabled());
  EXPECT_TRUE(commands.rescanAction()->isEnabled());
  EXPECT_EQ(f.model().selectedCount(), 4u);

  // Deselect the notes: highlight their row and press Space.
  QAbstractItemView* table = nullptr;
  QModelIndex notes;
  for (auto* view : window.content()->screen()->findChildren<QAbstractItemView*>()) {
    notes = findRow(*view->model(), "notes.txt");
    table = view;
    if (notes.isValid()) break;
  }
  ASSERT_TRUE(notes.isValid());
  table->setFocus();
  table->setCurrentIndex(notes);
  f.press(Qt::Key_Space);
  EXPECT_EQ(f.model().selectedCount(), 3u);

  // Sort with Return; the overlay covers the content while files move.
  bool overlayShown = false, rescanOff = false;
  Observations watching;
  watching.watch(f.model().phase(), [&](Phase phase) {
    if (phase != Phase::applying) return;
    ProgressOverlay* overlay = window.content()->overlay();
    overlayShown = overlay->isVisible() && overlay->geometry() == window.content()->rect();
    rescanOff = !window.rescanAction()->isEnabled() && !commands.rescanAction()->isEnabled();
  });
  const QWidget* review = window.content()->screen();
  f.press(Qt::Key_Return);
  f.quiesce();
  ASSERT_EQ(f.model().phase().get(), Phase::result);
  EXPECT_TRUE(overlayShown);
  EXPECT_TRUE(rescanOff);
  EXPECT_FALSE(window.content()->overlay()->isVisible());
  EXPECT_NE(window.content()->screen(), review);
  auto* result = qobject_cast<ResultView*>(window.content()->screen());
  ASSERT_NE(result, nullptr);
  EXPECT_TRUE(f.exists("Images/photo.jpg") && f.exists("Audio/song.mp3"));
  EXPECT_TRUE(f.exists("notes.txt")) << "deselected, so left where it was";
  EXPECT_EQ(commands.undoAction()->text(), "Undo Sorting 3 Files");
  EXPECT_TRUE(commands.undoAction()->isEnabled());

  // Ctrl+Z presses the result screen's Undo, which undoes the run on show.
  ASSERT_TRUE(result->isUndoShown());
  const rozuzed::Uuid sorted = f.model().lastRun().get()->id;
  f.press(Qt::Key_Z, Qt::ControlModifier);
  f.quiesce();
  EXPECT_EQ(f.model().phase().get(), Phase::review);
  ASSERT_TRUE(f.model().lastUndo().get());
  EXPECT_EQ(f.model().lastUndo().get()->batchID, sorted);
  EXPECT_TRUE(f.exists("photo.jpg") && f.exists("song.mp3"));
  EXPECT_EQ(commands.undoAction()->text(), "Undo");

  // Sort again, then put the files back from the history sheet.
  f.press(Qt::Key_Return);
  f.quiesce();
  ASSERT_EQ(f.model().phase().get(), Phase::result);
  f.clickToolBar(window.historyAction());
  HistoryView* sheet = window.historySheet();
  ASSERT_NE(sheet, nullptr);
  ASSERT_TRUE(testing::waitUntil([&] { return sheet->isVisible(); }));
  EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
  EXPECT_EQ(sheet->parentWidget(), &window);
  HistoryListView* list = sheet->list();
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->model()->rowCount(), 2);
  const QAbstractItemModel& runs = *list->model();
  EXPECT_EQ(runs.index(0, 0).data(HistoryListModel::SubtitleRole).toString(),
            "3 files · Downloads");
  EXPECT_TRUE(runs.index(0, 0).data(HistoryListModel::CanUndoRole).toBool());
  EXPECT_EQ(runs.index(1, 0).data(HistoryListModel::SubtitleRole).toString(),
            "3 files · Downloads");
  EXPECT_FALSE(runs.index(1, 0).data(HistoryListModel::CanUndoRole).toBool()) << "all put back";
  list->setFocus();
  list->setCurrentIndex(list->model()->index(0, 0));
  f.press(Qt::Key_Space);
  f.quiesce();
  EXPECT_EQ(window.historySheet(), nullptr) << "the sheet closes once its undo has ended";
  EXPECT_EQ(f.model().phase().get(), Phase::review);
  EXPECT_TRUE(f.exists("photo.jpg") && f.exists("report.pdf"));
  EXPECT_FALSE(f.model().problem().get());

  // Rescan by key and by the toolbar: a file that came meanwhile is planned.
  f.addFile("later.png");
  screens.clear();
  f.press(Qt::Key_R, Qt::ControlModifier);
  f.quiesce();
  EXPECT_EQ(f.model().plan().get()->moveCount(), 5u);
  f.addFile("latest.png");
  f.clickToolBar(window.rescanAction());
  f.quiesce();
  EXPECT_EQ(f.model().plan().get()->moveCount(), 6u);
  EXPECT_EQ(screens,
            (std::vector<std::string>{"ombrix::ScanningView", "Looking through Downloads…",
                                      "ombrix::ReviewView", "ombrix::ScanningView",
                                      "Looking through Downloads…", "ombrix::ReviewView"}));
  EXPECT_EQ(f.alert(), nullptr);
}

TEST_F(WindowWalkTest, TheToolbarChoosesAnotherFolderAndCancellingChangesNothing) {
  f.addFile("a.jpg");
  const std::string other = f.root() + "/home/Other";
  std::filesystem::create_directories(other);
  f.replacePicker(f.folderURL());
  f.start();
  // The empty state's own button.
  auto* empty = qobject_cast<EmptyStateView*>(f.window().content()->screen());
  ASSERT_NE(empty, nullptr);
  QTest::mouseClick(empty->defaultButton(), Qt::LeftButton);
  f.quiesce();
  ASSERT_EQ(f.model().folderName(), "Downloads");

  f.replacePicker(std::nullopt);
  f.clickToolBar(f.window().folderAction());
  f.quiesce();
  EXPECT_EQ(f.pickerCalls(), 2);
  EXPECT_EQ(f.model().folderName(), "Downloads");
  EXPECT_EQ(f.model().phase().get(), Phase::review);

  f.replacePicker(rozuzed::FileURL::fromPath(other, true));
  f.clickToolBar(f.window().folderAction());
  f.quiesce();
  EXPECT_EQ(f.model().folderName(), "Other");
  EXPECT_EQ(f.window().folderAction()->text(), "Other");
  EXPECT_EQ(f.model().plan().get()->moveCount(), 0u);
}

// The toolbar moves what does not fit into an overflow menu that covers the
// table's header; the folder's name gives way instead, at any width.
TEST_F(WindowWalkTest, ALongFolderNameLeavesHistoryAndRescanOnTheToolbar) {
  const std::string name = "Scans " + std::string(189, 'x') + " 2026";
  ASSERT_EQ(name.size(), 200u);
  const std::string folder = f.root() + "/home/" + name;
  std::filesystem::create_directories(folder);
  f.replacePicker(rozuzed::FileURL::fromPath(folder, true));
  f.start();
  f.press(Qt::Key_O, Qt::ControlModifier);
  f.quiesce();
  ASSERT_EQ(f.model().folderName(), name);

  QToolBar* toolBar = f.window().toolBar();
  auto* overflow = toolBar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"));
  for (const QSize size : {MainWindow::minimumContentSize, QSize(1100, 640)}) {
    SCOPED_TRACE(size.width());
    f.window().resize(size);
    testing::settle();
    ASSERT_EQ(f.window().width(), size.width());
    for (QAction* action : {f.window().historyAction(), f.window().rescanAction()}) {
      QWidget* button = toolBar->widgetForAction(action);
      EXPECT_TRUE(button->isVisible()) << action->text().toStdString();
      EXPECT_TRUE(toolBar->rect().contains(button->geometry())) << action->text().toStdString();
    }
    EXPECT_TRUE(overflow == nullptr || !overflow->isVisible());
    const QString title = f.window().folderAction()->text();
    EXPECT_TRUE(title.startsWith("Scans xxx")) << title.toStdString();
    EXPECT_TRUE(title.endsWith("xxx 2026")) << title.toStdString();
    EXPECT_TRUE(title.contains(QChar(0x2026))) << title.toStdString();
    EXPECT_EQ(toolBar->widgetForAction(f.window().folderAction())->accessibleName(), qs(name));
  }
  QTest::mouseClick(toolBar->widgetForAction(f.window().historyAction()), Qt::LeftButton);
  EXPECT_NE(f.window().historySheet(), nullptr);
}

TEST_F(WindowWalkTest, EveryToolbarButtonTakesTheKeyboardAndHasAName) {
  f.replacePicker(f.folderURL());
  f.start();
  f.press(Qt::Key_O, Qt::ControlModifier);
  f.quiesce();
  for (QAction* action :
       {f.window().folderAction(), f.window().historyAction(), f.window().rescanAction()}) {
    auto* button = qobject_cast<QToolButton*>(f.window().toolBar()->widgetForAction(action));
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->focusPolicy() & Qt::TabFocus) << action->text().toStdString();
    EXPECT_FALSE(button->text().isEmpty());
  }
  // History has no menu item: Space on its focused button opens the sheet.
  f.window().toolBar()->widgetForAction(f.window().historyAction())->setFocus();
  f.press(Qt::Key_Space);
  ASSERT_NE(f.window().historySheet(), nullptr);
  EXPECT_TRUE(testing::waitUntil([&] { return f.window().historySheet()->isVisible(); }));
  f.press(Qt::Key_Return);
  EXPECT_TRUE(testing::waitUntil([&] { return f.window().historySheet() == nullptr; }));
}

TEST_F(WindowWalkTest, TheLaunchWorkRunsOnceWhenTheWindowIsFirstShown) {
  f.addFile("a.jpg");
  sortappkit::UserDefaultsBookmarkStore().save(
      sortappkit::GrantedFolder::makeBookmark(f.folderURL()), AppModel::defaultBookmarkKey);
  f.start();
  ASSERT_EQ(f.model().phase().get(), Phase::review) << "the remembered folder, scanned";

  std::vector<Phase> phases;
  Observations watching;
  watching.watch(f.model().phase(), [&](Phase phase) { phases.push_back(phase); });
  f.window().hide();
  f.window().show();
  f.quiesce();
  EXPECT_TRUE(phases.empty()) << "shown again, the window does not restore the folder again";
}

}  // namespace
}  // namespace ombrix

#include "app/history/history_view.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <filesystem>

#include "app/history/history_list_model.h"
#include "app/history/history_list_view.h"
#include "app/history/history_row_delegate.h"
#include "rozuzed/journal/sqlite_journal_store.h"
#include "testing/model_operations.h"
#include "testing/paint_record.h"
#include "testing/window_fixture.h"

namespace ombrix {
namespace {

using sortappkit::AppModel;
using testing::WindowFixture;

struct Row {
  QString subtitle;
  bool canUndo;
};

std::vector<Row> rowsOf(const HistoryView& sheet) {
  std::vector<Row> rows;
  const QAbstractItemModel* model = sheet.list()->model();
  for (int row = 0; row < model->rowCount(); ++row) {
    const QModelIndex index = model->index(row, 0);
    rows.push_back({index.data(HistoryListModel::SubtitleRole).toString(),
                    index.data(HistoryListModel::CanUndoRole).toBool()});
  }
  return rows;
}

std::string describe(const std::vector<Row>& rows) {
  std::string text;
  for (const Row& row : rows) {
    text += row.subtitle.toStdString() + (row.canUndo ? " [Undo]" : " [Undone]") + "\n";
  }
  return text;
}

// What each row draws at its end: the Undo button, or the mark of a run put
// back (its symbol and "Undone"), or anything else that is there.
std::string drawnMarks(HistoryView& sheet) {
  HistoryListView* list = sheet.list();
  const testing::PaintRecord drawn = testing::recordPaint(list);
  std::string text;
  for (int row = 0; row < list->model()->rowCount(); ++row) {
    QRect rect = list->visualRect(list->model()->index(row, 0));
    rect.moveTopLeft(list->viewport()->mapTo(list, rect.topLeft()));
    const testing::PaintRecord shown = drawn.within(rect);
    for (const auto& button : shown.controls(QStyle::CE_PushButton)) {
      text += "[" + button.text.toStdString() + "]";
    }
    for (const auto& picture : shown.pictures) {
      if (testing::colorOfSymbol(picture.image, Symbol::undone)) text += "[undone symbol]";
    }
    if (shown.textList().contains("Undone")) text += "[Undone]";
    text += "\n";
  }
  return text;
}

// A run that the journal keeps without its folder, as runs of old versions
// are kept; it moved one file.
void recordRunWithoutFolder(rozuzed::Date startedAt) {
  auto store = sortappkit::SortEngine::defaultStore();
  rozuzed::RunRecord run;
  run.state = rozuzed::RunState::finished;
  run.startedAt = startedAt;
  run.finishedAt = startedAt + 1;
  rozuzed::JournalEntry entry;
  entry.runID = run.id;
  entry.sourceURL = rozuzed::FileURL::fromPath("/elsewhere/old.txt", false);
  entry.destinationURL = rozuzed::FileURL::fromPath("/elsewhere/Documents/old.txt", false);
  entry.intentAt = startedAt;
  store->beginRun(run, {entry});
  entry.state = rozuzed::EntryState::committed;
  entry.committedAt = startedAt + 1;
  entry.completedBy = rozuzed::CompletionSource::run;
  store->commit({entry}, {});
}

// A model that has sorted a.jpg into Images.
std::shared_ptr<AppModel> sortOneFile(WindowFixture& fixture) {
  fixture.addFile("a.jpg");
  auto model = fixture.makeModel();
  fixture.chooseAndScan(*model);
  testing::sortAll(*model);
  return model;
}

class HistoryTest : public ::testing::Test {
 protected:
  // Shows the sheet over a window and waits for its reload.
  std::unique_ptr<HistoryView> openSheet(std::shared_ptr<AppModel> model) {
    auto sheet = std::make_unique<HistoryView>(model, &window);
    window.resize(960, 640);
    window.show();
    sheet->show();
    // The engine answers in order, so the sheet's reload has ended with this.
    testing::runToEnd([&](auto done) { model->loadHistory(done); });
    return sheet;
  }

  WindowFixture fixture;
  QWidget window;
};

TEST_F(HistoryTest, EachRunSaysWhatItMovedAndWhetherItCanStillBeUndone) {
  auto model = fixture.makeModel();
  fixture.addFile("a.jpg");
  fixture.chooseAndScan(*model);
  testing::sortAll(*model);
  fixture.addFile("b.png");
  fixture.addFile("c.mp3");
  testing::runToEnd([&](auto done) { model->scan(done); });
  testing::sortAll(*model);
  for (const char* name : {"d.jpg", "e.jpg", "f.mp3"}) fixture.addFile(name);
  testing::runToEnd([&](auto done) { model->scan(done); });
  const rozuzed::Uuid third = testing::sortAll(*model);
  // One of the three is taken out of its new folder, so the undo leaves it.
  std::filesystem::rename(fixture.folder() + "/Images/d.jpg", fixture.root() + "/d.jpg");
  testing::undoRun(*model, third);
  recordRunWithoutFolder(rozuzed::currentDate() + 60);

  auto sheet = openSheet(model);
  EXPECT_EQ(describe(rowsOf(*sheet)),
            "1 file [Undo]\n"
            "3 files · Downloads · 2 already put back [Undo]\n"
            "2 files · Downloads [Undo]\n"
            "1 file · Downloads [Undo]\n");

  // Once the last file is back, the run shows the mark and no count.
  std::filesystem::rename(fixture.root() + "/d.jpg", fixture.folder() + "/Images/d.jpg");
  testing::undoRun(*model, third);
  EXPECT_EQ(describe(rowsOf(*sheet)),
            "1 file [Undo]\n"
            "3 files · Downloads [Undone]\n"
            "2 files · Downloads [Undo]\n"
            "1 file · Downloads [Undo]\n");
  EXPECT_EQ(drawnMarks(*sheet),
            "[Undo]\n"
            "[undone symbol][Undone]\n"
            "[Undo]\n"
            "[Undo]\n");
  const QModelIndex undone = sheet->list()->model()->index(1, 0);
  EXPECT_TRUE(
      undone.data(Qt::AccessibleTextRole).toString().endsWith(", 3 files · Downloads, Undone"));
}

TEST_F(HistoryTest, TheDateLineUsesTheLocalesShortMonth) {
  const QDateTime when(QDate(2030, 3, 5), QTime(14, 7));
  recordRunWithoutFolder(when.toSecsSinceEpoch());
  auto model = fixture.makeModel();
  struct Case {
    const char* locale;
    QString shown;
  };
  const Case cases[] = {
      {"en_US", "Mar 5, 2030 2:07 PM"},
      {"de_DE", "5. März 2030 14:07"},
  };
  const QLocale before;
  for (const Case& c : cases) {
    QLocale::setDefault(QLocale(c.locale));
    auto sheet = openSheet(model);
    EXPECT_EQ(sheet->list()->model()->index(0, 0).data().toString(), c.shown) << c.locale;
  }
  QLocale::setDefault(before);
}

TEST_F(HistoryTest, TheSheetCannotBeMaximised) {
  auto sheet = openSheet(fixture.makeModel());
  EXPECT_FALSE(sheet->windowFlags() & Qt::WindowMaximizeButtonHint);
  sheet->setWindowState(Qt::WindowMaximized);
  testing::settle();
  EXPECT_FALSE(sheet->isMaximized());
  EXPECT_EQ(sheet->size(), QSize(520, 380));
}

TEST_F(HistoryTest, WithoutRunsTheSheetSaysSo) {
  auto sheet = openSheet(fixture.makeModel());
  EXPECT_EQ(sheet->size(), QSize(520, 380));
  const auto* body = sheet->findChild<QStackedWidget*>();
  EXPECT_FALSE(sheet->list()->isVisible());
  QStringList shown;
  for (const QLabel* label : body->currentWidget()->findChildren<QLabel*>()) {
    if (!label->text().isEmpty()) shown << label->text();
  }
  EXPECT_EQ(shown, (QStringList{"No runs yet",
                                "Once you sort a folder, every run is listed here and can be "
                                "undone."}));
}

// The model of the window may not know of a run yet; the sheet asks the
// journal each time it opens.
TEST_F(HistoryTest, OpeningTheSheetReloadsTheHistory) {
  sortOneFile(fixture);
  auto model = fixture.makeModel();
  ASSERT_TRUE(model->history().get().empty());
  auto sheet = std::make_unique<HistoryView>(model, &window);
  EXPECT_TRUE(rowsOf(*sheet).empty());
  sheet->show();
  ASSERT_TRUE(testing::waitUntil([&] { return !rowsOf(*sheet).empty(); }));
  EXPECT_EQ(describe(rowsOf(*sheet)), "1 file · Downloads [Undo]\n");
  EXPECT_TRUE(sheet->list()->isVisible());
}

// However the row's Undo is pressed, the run's files go back and the sheet
// closes once the undo has ended, not before.
TEST_F(HistoryTest, UndoFromARowPutsTheFilesBackAndClosesTheSheet) {
  struct Case {
    const char* how;
    std::function<void(HistoryListView*)> press;
  };
  const Case cases[] = {
      {"a click on the button",
       [](HistoryListView* list) {
         const QRect row = list->visualRect(list->model()->index(0, 0));
         QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                           HistoryRowDelegate::undoButtonRect(row, list).center());
       }},
      {"Space on the current row",
       [](HistoryListView* list) {
         list->setFocus();
         list->setCurrentIndex(list->model()->index(0, 0));
         QTest::keyClick(list, Qt::Key_Space);
       }},
      {"the button's press action, for assistive technology",
       [](HistoryListView* list) {
         QAccessibleInterface* row = QAccessible::queryAccessibleInterface(list)->child(0);
         ASSERT_EQ(row->childCount(), 1);
         QAccessibleInterface* button = row->child(0);
         EXPECT_EQ(button->role(), QAccessible::Button);
         EXPECT_EQ(button->text(QAccessible::Name), "Undo");
         button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    WindowFixture each;
    auto model = sortOneFile(each);
    auto sheet = openSheet(model);
    ASSERT_TRUE(sheet->isVisible());
    c.press(sheet->list());
    EXPECT_TRUE(sheet->isVisible()) << "the sheet stays while the undo runs";
    EXPECT_EQ(model->phase().get(), AppModel::Phase::applying);
    EXPECT_TRUE(model->busy().get());
    ASSERT_TRUE(testing::waitUntil([&] { return !sheet->isVisible(); }));
    EXPECT_TRUE(each.exists("a.jpg"));
    EXPECT_FALSE(each.exists("Images/a.jpg"));
  }
}

// The history is there without a folder (it is loaded at launch); a run's
// files go back all the same.
TEST_F(HistoryTest, UndoFromARowNeedsNoFolder) {
  sortOneFile(fixture);
  auto model = fixture.makeModel();
  ASSERT_FALSE(model->folder().get());
  auto sheet = openSheet(model);
  ASSERT_EQ(describe(rowsOf(*sheet)), "1 file · Downloads [Undo]\n");
  sheet->list()->requestUndo(0);
  ASSERT_TRUE(testing::waitUntil([&] { return !sheet->isVisible(); }));
  EXPECT_FALSE(model->problem().get());
  EXPECT_TRUE(fixture.exists("a.jpg"));
  EXPECT_FALSE(fixture.exists("Images/a.jpg"));
  EXPECT_EQ(model->phase().get(), AppModel::Phase::empty);
}

TEST_F(HistoryTest, ReturnPressesDoneAndUndoesNothing) {
  auto model = sortOneFile(fixture);
  auto sheet = openSheet(model);
  EXPECT_TRUE(sheet->doneButton()->isDefault());
  sheet->list()->setFocus();
  sheet->list()->setCurrentIndex(sheet->list()->model()->index(0, 0));
  QTest::keyClick(sheet->list(), Qt::Key_Return);
  EXPECT_FALSE(sheet->isVisible());
  testing::settle();
  EXPECT_EQ(model->phase().get(), AppModel::Phase::result);
  EXPECT_TRUE(fixture.exists("Images/a.jpg"));
}

TEST_F(HistoryTest, AScreenReaderHearsEachRow) {
  auto model = sortOneFile(fixture);
  auto sheet = openSheet(model);
  QAccessibleInterface* list = QAccessible::queryAccessibleInterface(sheet->list());
  EXPECT_EQ(list->role(), QAccessible::List);
  EXPECT_EQ(list->text(QAccessible::Name), "Past runs");
  ASSERT_EQ(list->childCount(), 1);
  QAccessibleInterface* row = list->child(0);
  EXPECT_EQ(row->role(), QAccessible::ListItem);
  EXPECT_EQ(row->text(QAccessible::Name),
            HistoryListModel::dateLine(model->history().get().front().performedAt) +
                ", 1 file · Downloads");
  EXPECT_EQ(row->parent(), list);
  EXPECT_EQ(list->indexOfChild(row), 0);
  EXPECT_EQ(row->child(0)->parent(), row);
  EXPECT_FALSE(row->rect().isEmpty());

  sheet->list()->setFocus();
  sheet->list()->setCurrentIndex(sheet->list()->model()->index(0, 0));
  EXPECT_EQ(list->focusChild(), row);
  EXPECT_TRUE(row->state().focused);
}

}  // namespace
}  // namespace ombrix

#include "app/review/review_view.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QDBusConnection>
#include <QDesktopServices>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QStandardPaths>
#include <QTest>
#include <QToolTip>
#include <filesystem>
#include <set>

#include "app/common/reveal_in_file_manager.h"
#include "app/common/texts.h"
#include "app/review/moves_table_delegate.h"
#include "app/review/moves_table_model.h"
#include "app/review/moves_table_view.h"
#include "app/review/skipped_pane.h"
#include "app/shell/app_delegate.h"
#include "app/shell/observations.h"
#include "review_plans.h"
#include "testing/paint_record.h"
#include "testing/shell_fixture.h"
#include "testing/window_fixture.h"

namespace ombrix {
namespace {

using sortappkit::AppModel;
using sortappkit::GroupSelectionState;
using sortappkit::MoveRow;

// Takes the URLs that QDesktopServices would hand to the desktop.
class UrlCatcher : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> opened;

 public slots:
  void open(const QUrl& url) { opened << url; }
};

// Stands in for the desktop's file manager on a private bus.
class FakeFileManager : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

 public:
  // The method asked for and its URIs, one entry per call.
  QList<QStringList> shown;

 public slots:
  void ShowItems(const QStringList& uris, const QString&) {
    shown << (QStringList{QStringLiteral("ShowItems")} + uris);
  }
  void ShowFolders(const QStringList& uris, const QString&) {
    shown << (QStringList{QStringLiteral("ShowFolders")} + uris);
  }
};

class ReviewViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher_, "open");
    // Without a session bus the file manager is never asked; tests that
    // want one bring their own.
    useBusForReveal(QDBusConnection(QStringLiteral("ombrix-no-bus")));
  }

  void TearDown() override {
    view_.reset();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    useBusForReveal(std::nullopt);
  }

  // Scans the fixture's folder and shows its review.
  void show() {
    if (!model_) model_ = fixture_.makeModel();
    fixture_.chooseAndScan(*model_);
    ASSERT_EQ(model_->phase().get(), AppModel::Phase::review);
    showView();
  }

  void showView() {
    view_ = std::make_unique<ReviewView>(model_);
    view_->resize(960, 640);
    view_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view_.get()));
  }

  MovesTableModel& table() { return *view_->tableModel(); }
  MovesTableView& tableView() { return *view_->table(); }

  QModelIndex rowIndex(const std::string& name, int column = MovesTableModel::checkColumn) {
    for (int g = 0; g < table().rowCount(); ++g) {
      const QModelIndex group = table().index(g, 0);
      for (int r = 0; r < table().rowCount(group); ++r) {
        const QModelIndex at = table().index(r, column, group);
        if (table().moveRow(at)->name == name) return at;
      }
    }
    ADD_FAILURE() << "no row " << name;
    return {};
  }

  QModelIndex groupIndex(const std::string& displayName) {
    for (int g = 0; g < table().rowCount(); ++g) {
      const QModelIndex at = table().index(g, 0);
      if (table().group(at)->displayName == displayName) return at;
    }
    ADD_FAILURE() << "no group " << displayName;
    return {};
  }

  const MoveRow& row(const std::string& name) { return *table().moveRow(rowIndex(name)); }
  bool isChecked(const std::string& name) { return model_->isSelected(row(name)); }
  GroupSelectionState stateOf(const std::string& group) {
    return model_->groupState(*table().group(groupIndex(group)));
  }
  Qt::CheckState shownCheck(const QModelIndex& index) {
    return static_cast<Qt::CheckState>(index.data(Qt::CheckStateRole).toInt());
  }

  void highlight(const std::vector<std::string>& names) {
    tableView().selectionModel()->clearSelection();
    for (const auto& name : names) {
      tableView().selectionModel()->select(rowIndex(name),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
  }

  // Where the mouse clicks the checkbox of `index` (a row's or a header's).
  QPoint checkBoxPoint(const QModelIndex& index) {
    QStyleOptionViewItem option;
    option.initFrom(&tableView());
    option.widget = &tableView();
    option.rect = tableView().visualRect(index);
    return MovesTableDelegate::checkBoxRect(option).center();
  }

  void clickCheckBox(const QModelIndex& index) {
    tableView().scrollTo(index);
    QTest::mouseClick(tableView().viewport(), Qt::LeftButton, {}, checkBoxPoint(index));
  }

  bool pressSpace() {
    tableView().setFocus();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    press.setAccepted(false);
    QApplication::sendEvent(&tableView(), &press);
    return press.isAccepted();
  }

  QString countText() { return view_->countLabel()->text(); }
  QString sortText() { return view_->defaultButton()->text(); }
  bool sortEnabled() { return view_->defaultButton()->isEnabled(); }

  QAction* menuAction(const QString& title) {
    for (QAction* action : view_->contextMenu()->actions()) {
      if (action->text() == title) return action;
    }
    ADD_FAILURE() << "no menu item " << title.toStdString();
    return nullptr;
  }

  testing::WindowFixture fixture_;
  std::shared_ptr<AppModel> model_;
  std::unique_ptr<ReviewView> view_;
  UrlCatcher catcher_;
};

TEST_F(ReviewViewTest, TheBarCountsTheSelectionAndNamesTheSort) {
  struct Case {
    const char* name;
    int files;
    std::function<void(AppModel&)> change;
    const char* count;
    const char* sort;
    bool enabled;
  };
  const Case cases[] = {
      {"all twelve", 12, nullptr, "12 of 12 files selected", "Sort 12 Files", true},
      {"after None", 12, [](AppModel& m) { m.setAll(false); }, "0 of 12 files selected",
       "Sort 0 Files", false},
      {"one of twelve", 12,
       [](AppModel& m) {
         m.setAll(false);
         m.toggle(m.plan().get()->groups[0].rows[0]);
       },
       "1 of 12 files selected", "Sort 1 File", true},
      {"a single file", 1, nullptr, "1 of 1 file selected", "Sort 1 File", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::WindowFixture fixture;
    auto model = fixture.makeModel();
    for (int i = 0; i < c.files; ++i) fixture.addFile("photo " + std::to_string(i) + ".jpg");
    fixture.chooseAndScan(*model);
    ReviewView view(model);
    if (c.change) c.change(*model);
    EXPECT_EQ(view.countLabel()->text(), QString::fromUtf8(c.count));
    EXPECT_EQ(view.defaultButton()->text(), QString::fromUtf8(c.sort));
    EXPECT_EQ(view.defaultButton()->isEnabled(), c.enabled);
    EXPECT_TRUE(view.defaultButton()->isDefault());
    EXPECT_FALSE(view.isPlaceholderShown());
  }
}

TEST_F(ReviewViewTest, APlanWithoutMovesShowsThePlaceholderAndStillListsWhatIsLeftAlone) {
  fixture_.addFile("notes");
  std::filesystem::create_directory(fixture_.folder() + "/Projects");
  show();
  EXPECT_TRUE(view_->isPlaceholderShown());
  EXPECT_TRUE(view_->placeholder()->isVisible());
  std::set<QString> texts;
  for (auto* label : view_->placeholder()->findChildren<QLabel*>()) texts.insert(label->text());
  EXPECT_TRUE(texts.count(QStringLiteral("Nothing to sort")));
  EXPECT_TRUE(texts.count(QStringLiteral(
      "No file in this folder matched a rule. Anything Ombrix is unsure about is left where it "
      "is.")));
  EXPECT_EQ(countText(), QStringLiteral("0 of 0 files selected"));
  EXPECT_TRUE(view_->allButton()->isVisible());
  EXPECT_TRUE(view_->noneButton()->isVisible());
  EXPECT_EQ(sortText(), QStringLiteral("Sort 0 Files"));
  EXPECT_FALSE(sortEnabled());
  EXPECT_EQ(view_->skippedPane()->titleLabel()->text(), QStringLiteral("2 files left alone"));
  EXPECT_TRUE(view_->skippedPane()->isListShown());
}

TEST_F(ReviewViewTest, WithoutAPlanOnlyTheDisabledSortButtonShows) {
  model_ = fixture_.makeModel();
  showView();
  // No word about the folder's files: there is no plan to tell of them.
  EXPECT_FALSE(view_->isPlaceholderShown());
  EXPECT_TRUE(view_->isFailureShown());
  EXPECT_TRUE(testing::ShellFixture::labelTexts(view_->failurePage()).isEmpty());
  EXPECT_FALSE(view_->skippedPane()->isVisible());
  EXPECT_FALSE(view_->countLabel()->isVisible());
  EXPECT_FALSE(view_->allButton()->isVisible());
  EXPECT_FALSE(view_->noneButton()->isVisible());
  EXPECT_TRUE(view_->defaultButton()->isVisible());
  EXPECT_EQ(sortText(), QStringLiteral("Sort 0 Files"));
  EXPECT_FALSE(sortEnabled());
  EXPECT_EQ(view_->skippedPane()->titleLabel()->text(), QStringLiteral("Nothing left alone"));
  EXPECT_FALSE(view_->skippedPane()->isListShown());
  // The button sits at the trailing edge of the bar.
  EXPECT_GT(view_->defaultButton()->geometry().left(), view_->width() / 2);
}

TEST_F(ReviewViewTest, TheLayoutIsTwoPanesOverTheBarWithFourFixedColumns) {
  fixture_.addFile("a.jpg");
  show();
  QSplitter* splitter = view_->splitter();
  ASSERT_EQ(splitter->count(), 2);
  EXPECT_EQ(splitter->orientation(), Qt::Vertical);
  EXPECT_GE(splitter->widget(0)->minimumHeight(), 220);
  EXPECT_GE(splitter->widget(1)->minimumHeight(), 120);
  EXPECT_EQ(splitter->widget(1), view_->skippedPane());
  EXPECT_GE(splitter->sizes()[0], splitter->sizes()[1]);

  const QStringList titles = {QString(), QStringLiteral("Name"), QStringLiteral("Size"),
                              QStringLiteral("Matched Rule")};
  for (int column = 0; column < titles.size(); ++column) {
    EXPECT_EQ(table().headerData(column, Qt::Horizontal).toString(), titles[column]);
  }
  EXPECT_EQ(tableView().header()->sectionSize(MovesTableModel::checkColumn), 24);
  EXPECT_GE(tableView().header()->sectionSize(MovesTableModel::nameColumn), 220);
  EXPECT_EQ(tableView().header()->sectionSize(MovesTableModel::sizeColumn), 80);
  EXPECT_EQ(tableView().header()->sectionSize(MovesTableModel::ruleColumn), 140);
  EXPECT_FALSE(tableView().isSortingEnabled());
  EXPECT_FALSE(tableView().header()->sectionsClickable());
}

TEST_F(ReviewViewTest, ARowShowsItsNameSizeRuleAndMarks) {
  std::unique_ptr<rozuzed::testing::TemporaryFolder> elsewhere =
      testing::otherVolumeFolder(fixture_);
  if (elsewhere) {
    testing::sendPapersTo(fixture_, elsewhere->path() + "/Papers");
    std::filesystem::create_directory(elsewhere->path() + "/Papers");
    rozuzed::testing::writeFile(elsewhere->path() + "/Papers/both.pdf", "there already");
    fixture_.addFile("both.pdf");
    fixture_.addFile("far.pdf");
  }
  fixture_.addFile("a.jpg", std::string(1200, 'a'));
  fixture_.addFile("Images/a.jpg");
  fixture_.addFile("b.jpg");
  show();

  const QModelIndex renamed = rowIndex("a.jpg", MovesTableModel::nameColumn);
  EXPECT_EQ(renamed.data().toString(), QStringLiteral("a.jpg"));
  EXPECT_EQ(renamed.data(MovesTableModel::renamedToRole).toString(), QStringLiteral("a 2.jpg"));
  EXPECT_FALSE(renamed.data(MovesTableModel::crossVolumeRole).toBool());
  EXPECT_EQ(renamed.siblingAtColumn(MovesTableModel::sizeColumn).data().toString(),
            QStringLiteral("1.2 kB"));
  EXPECT_EQ(renamed.siblingAtColumn(MovesTableModel::ruleColumn).data().toString(),
            QStringLiteral("Images"));
  const QModelIndex plain = rowIndex("b.jpg", MovesTableModel::nameColumn);
  EXPECT_EQ(plain.siblingAtColumn(MovesTableModel::sizeColumn).data().toString(),
            QStringLiteral("1 byte"));
  EXPECT_FALSE(plain.data(MovesTableModel::renamedToRole).isValid());
  EXPECT_FALSE(plain.data(MovesTableModel::crossVolumeRole).toBool());

  // Hovering a mark explains it.
  auto tooltipAt = [&](const QModelIndex& index, auto rectOf) {
    QStyleOptionViewItem option;
    option.initFrom(&tableView());
    option.widget = &tableView();
    option.rect = tableView().visualRect(index);
    const QRect mark = rectOf(MovesTableDelegate::layoutName(option, index));
    EXPECT_FALSE(mark.isNull());
    QHelpEvent help(QEvent::ToolTip, mark.center(),
                    tableView().viewport()->mapToGlobal(mark.center()));
    QApplication::sendEvent(tableView().viewport(), &help);
    return QToolTip::text();
  };
  EXPECT_EQ(tooltipAt(renamed, [](const auto& layout) { return layout.renamed; }),
            QStringLiteral("A file of that name is already there, so this one is being renamed."));

  if (!elsewhere) GTEST_SKIP() << "no other volume here for the other-volume mark";
  const QModelIndex both = rowIndex("both.pdf", MovesTableModel::nameColumn);
  EXPECT_EQ(both.data(MovesTableModel::renamedToRole).toString(), QStringLiteral("both 2.pdf"));
  EXPECT_TRUE(both.data(MovesTableModel::crossVolumeRole).toBool());
  EXPECT_TRUE(rowIndex("far.pdf", MovesTableModel::nameColumn)
                  .data(MovesTableModel::crossVolumeRole)
                  .toBool());
  QStyleOptionViewItem option;
  option.initFrom(&tableView());
  option.rect = tableView().visualRect(both);
  const auto layout = MovesTableDelegate::layoutName(option, both);
  EXPECT_LT(layout.renamed.left(), layout.crossVolume.left()) << "the new-name mark comes first";
  EXPECT_EQ(
      tooltipAt(both, [](const auto& l) { return l.crossVolume; }),
      QStringLiteral(
          "On another volume: copied and verified before the original is moved to the Trash."));
}

TEST_F(ReviewViewTest, AGroupHeaderNamesItsFolderAndSumsItsFiles) {
  fixture_.addFile("a.jpg", std::string(700000, 'a'));
  fixture_.addFile("b.jpg", std::string(500000, 'b'));
  fixture_.addFile("empty.zip", "");
  show();
  const QModelIndex images = groupIndex("Images");
  EXPECT_EQ(images.data().toString(), QStringLiteral("Images"));
  EXPECT_EQ(images.data(MovesTableModel::summaryRole).toString(),
            QStringLiteral("2 files · 1.2 MB"));
  EXPECT_EQ(groupIndex("Archives").data(MovesTableModel::summaryRole).toString(),
            QStringLiteral("1 file · Zero bytes"));
  EXPECT_TRUE(tableView().isFirstColumnSpanned(images.row(), {}));
}

TEST_F(ReviewViewTest, AClickOnAGroupCheckboxSetsTheWholeGroup) {
  struct Case {
    const char* name;
    std::vector<std::string> deselected;
    GroupSelectionState before;
    GroupSelectionState after;
  };
  const Case cases[] = {
      {"all selected", {}, GroupSelectionState::all, GroupSelectionState::none},
      {"none selected",
       {"a.jpg", "b.jpg", "c.jpg"},
       GroupSelectionState::none,
       GroupSelectionState::all},
      {"mixed", {"b.jpg"}, GroupSelectionState::mixed, GroupSelectionState::all},
  };
  fixture_.addFile("a.jpg");
  fixture_.addFile("b.jpg");
  fixture_.addFile("c.jpg");
  fixture_.addFile("d.zip");
  show();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    model_->setAll(true);
    for (const auto& name : c.deselected) model_->toggle(row(name));
    ASSERT_EQ(stateOf("Images"), c.before);
    clickCheckBox(groupIndex("Images"));
    EXPECT_EQ(stateOf("Images"), c.after);
    EXPECT_EQ(shownCheck(groupIndex("Images")),
              c.after == GroupSelectionState::all ? Qt::Checked : Qt::Unchecked);
    EXPECT_TRUE(isChecked("d.zip")) << "another group is left as it was";
  }
}

// What the table draws, not only what its model says: each group's checkbox
// in the state of its files, a mixed group's in the third state, and a long
// name cut in its middle so its beginning and its extension stay.
TEST_F(ReviewViewTest, TheTableDrawsEachCheckboxAsItsFilesStandAndCutsLongNamesInTheMiddle) {
  const std::string longName = "holiday-" + std::string(150, 'x') + "-last.jpg";
  for (const std::string& name :
       {longName, std::string("b.jpg"), std::string("c.zip"), std::string("d.pdf")}) {
    fixture_.addFile(name);
  }
  show();
  model_->toggle(row("b.jpg"));
  model_->toggle(row("c.zip"));

  const testing::PaintRecord drawn = testing::recordPaint(&tableView());
  auto shown = [&](const QModelIndex& index) {
    QRect cell = tableView().visualRect(index);
    cell.moveTopLeft(tableView().viewport()->mapTo(&tableView(), cell.topLeft()));
    return drawn.within(cell);
  };
  auto checkState = [&](const QModelIndex& index) -> std::string {
    const auto checks = shown(index).primitives(QStyle::PE_IndicatorItemViewItemCheck);
    if (checks.size() != 1) return std::to_string(checks.size()) + " checkboxes";
    const QStyle::State state = checks[0].state;
    if (state & QStyle::State_NoChange) return "mixed";
    if (state & QStyle::State_On) return "on";
    return state & QStyle::State_Off ? "off" : "neither";
  };
  EXPECT_EQ(checkState(groupIndex("Images")), "mixed");
  EXPECT_EQ(checkState(groupIndex("Archives")), "off");
  EXPECT_EQ(checkState(groupIndex("Documents")), "on");
  EXPECT_EQ(checkState(rowIndex(longName)), "on");
  EXPECT_EQ(checkState(rowIndex("b.jpg")), "off");

  const QStringList names = shown(rowIndex(longName, MovesTableModel::nameColumn)).textList();
  ASSERT_EQ(names.size(), 1) << names.join(" | ").toStdString();
  EXPECT_TRUE(names[0].startsWith("holiday-x")) << names[0].toStdString();
  EXPECT_TRUE(names[0].endsWith("x-last.jpg")) << names[0].toStdString();
  EXPECT_TRUE(names[0].contains(QChar(0x2026))) << names[0].toStdString();
}

TEST_F(ReviewViewTest, ARowCheckboxFlipsItsFileAndEverythingThatCountsIt) {
  fixture_.addFile("a.jpg");
  fixture_.addFile("b.jpg");
  fixture_.addFile("c.zip");
  show();
  highlight({"c.zip"});

  clickCheckBox(rowIndex("a.jpg"));
  EXPECT_FALSE(isChecked("a.jpg"));
  EXPECT_EQ(shownCheck(rowIndex("a.jpg")), Qt::Unchecked);
  EXPECT_EQ(shownCheck(groupIndex("Images")), Qt::PartiallyChecked);
  EXPECT_EQ(groupIndex("Images").data(Qt::AccessibleDescriptionRole).toString(),
            QStringLiteral("some files selected"));
  EXPECT_EQ(countText(), QStringLiteral("2 of 3 files selected"));
  EXPECT_EQ(sortText(), QStringLiteral("Sort 2 Files"));
  // The checkbox is not the highlight.
  EXPECT_EQ(view_->highlightedRows().size(), 1u);
  EXPECT_EQ(view_->highlightedRows()[0]->name, "c.zip");

  clickCheckBox(rowIndex("a.jpg"));
  EXPECT_TRUE(isChecked("a.jpg"));
  EXPECT_EQ(shownCheck(groupIndex("Images")), Qt::Checked);
  EXPECT_TRUE(groupIndex("Images").data(Qt::AccessibleDescriptionRole).toString().isEmpty());
}

TEST_F(ReviewViewTest, ASelectionChangeRepaintsOnlyTheRowsItTouchedAndTheirHeaders) {
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.zip", "e.zip"}) fixture_.addFile(name);
  show();
  QSignalSpy changed(&table(), &QAbstractItemModel::dataChanged);
  auto changedRows = [&] {
    std::set<std::string> rows;
    for (const auto& signal : changed) {
      const auto top = signal.at(0).value<QModelIndex>();
      const auto bottom = signal.at(1).value<QModelIndex>();
      for (int r = top.row(); r <= bottom.row(); ++r) {
        const QModelIndex at = top.siblingAtRow(r);
        rows.insert(table().group(at) ? "group " + table().group(at)->displayName
                                      : table().moveRow(at)->name);
      }
    }
    changed.clear();
    return rows;
  };

  clickCheckBox(rowIndex("b.jpg"));
  EXPECT_EQ(changedRows(), (std::set<std::string>{"b.jpg", "group Images"}));
  clickCheckBox(groupIndex("Archives"));
  EXPECT_EQ(changedRows(), (std::set<std::string>{"d.zip", "e.zip", "group Archives"}));
  highlight({"a.jpg", "e.zip"});
  pressSpace();
  EXPECT_EQ(changedRows(),
            (std::set<std::string>{"a.jpg", "e.zip", "group Images", "group Archives"}));
  // A change the screen did not make is found by comparison.
  model_->toggle(row("c.jpg"));
  EXPECT_EQ(changedRows(), (std::set<std::string>{"c.jpg", "group Images"}));
  model_->setAll(true);
  EXPECT_EQ(changedRows(), (std::set<std::string>{"a.jpg", "b.jpg", "c.jpg", "d.zip",
                                                  "group Images", "group Archives"}));
  model_->setAll(true);
  EXPECT_TRUE(changedRows().empty());
}

// Notes each cell the table draws.
class CellLog : public MovesTableDelegate {
 public:
  using MovesTableDelegate::MovesTableDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    drawn.insert({index.parent().isValid() ? index.row() : -1, index.column()});
    MovesTableDelegate::paint(painter, option, index);
  }
  // Row -1 is the header.
  mutable std::set<std::pair<int, int>> drawn;
};

TEST_F(ReviewViewTest, AClickDrawsOnlyTheCheckboxesItChanged) {
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) fixture_.addFile(name);
  show();
  auto& log = *new CellLog(&tableView());
  tableView().setItemDelegate(&log);
  // A new delegate lays the table out and draws it anew, once.
  do {
    log.drawn.clear();
    QCoreApplication::processEvents();
  } while (!log.drawn.empty());
  // Next to its header a row's checkbox is drawn with the header's in one
  // place; further down, in two.
  for (const char* name : {"a.jpg", "c.jpg"}) {
    SCOPED_TRACE(name);
    const int row = rowIndex(name).row();
    for (int click = 0; click < 2; ++click) {
      log.drawn.clear();
      tableView().clickCheckBox(rowIndex(name));
      QCoreApplication::processEvents();
      EXPECT_EQ(log.drawn, (std::set<std::pair<int, int>>{{-1, MovesTableModel::checkColumn},
                                                          {row, MovesTableModel::checkColumn}}));
    }
  }
}

TEST_F(ReviewViewTest, EnablingSortMovesNothingOnTheScreen) {
  for (const char* name : {"a.jpg", "b.jpg", "c.zip"}) fixture_.addFile(name);
  show();
  model_->setAll(false);
  QCoreApplication::processEvents();
  ASSERT_FALSE(sortEnabled());
  const QRect table = tableView().geometry();
  const QRect sort = view_->defaultButton()->geometry();
  const QRect count = view_->countLabel()->geometry();
  for (int click = 0; click < 2; ++click) {
    tableView().clickCheckBox(rowIndex("b.jpg"));
    QCoreApplication::processEvents();
    EXPECT_EQ(sortEnabled(), click == 0);
    EXPECT_EQ(sortText(),
              click == 0 ? QStringLiteral("Sort 1 File") : QStringLiteral("Sort 0 Files"));
    EXPECT_EQ(countText(), click == 0 ? QStringLiteral("1 of 3 files selected")
                                      : QStringLiteral("0 of 3 files selected"));
    EXPECT_TRUE(tableView().geometry() == table) << "the table moved";
    EXPECT_TRUE(view_->defaultButton()->geometry() == sort) << "Sort moved";
    EXPECT_TRUE(view_->countLabel()->geometry() == count) << "the count moved";
  }
}

TEST_F(ReviewViewTest, SpaceFlipsEachHighlightedRowAndIsAlwaysTaken) {
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) fixture_.addFile(name);
  show();
  model_->toggle(row("b.jpg"));
  model_->toggle(row("c.jpg"));
  highlight({"a.jpg", "b.jpg", "c.jpg"});

  EXPECT_TRUE(pressSpace());
  EXPECT_FALSE(isChecked("a.jpg"));
  EXPECT_TRUE(isChecked("b.jpg"));
  EXPECT_TRUE(isChecked("c.jpg"));
  EXPECT_TRUE(isChecked("d.jpg"));
  EXPECT_EQ(countText(), QStringLiteral("3 of 4 files selected"));

  EXPECT_TRUE(pressSpace());
  EXPECT_TRUE(isChecked("a.jpg"));
  EXPECT_FALSE(isChecked("b.jpg"));
  EXPECT_FALSE(isChecked("c.jpg"));
  EXPECT_EQ(view_->highlightedRows().size(), 3u) << "the highlight stays";

  highlight({});
  tableView().setCurrentIndex(rowIndex("d.jpg"));
  tableView().selectionModel()->clearSelection();
  EXPECT_TRUE(pressSpace());
  EXPECT_TRUE(isChecked("d.jpg")) << "nothing highlighted, nothing flips";
  EXPECT_EQ(countText(), QStringLiteral("2 of 4 files selected"));
}

TEST_F(ReviewViewTest, TheKeyboardReachesTheTableAndEachCheckbox) {
  fixture_.addFile("a.jpg");
  fixture_.addFile("b.jpg");
  show();
  view_->activateWindow();
  view_->defaultButton()->setFocus();
  // Tab goes round the bar and the panes and comes to the table.
  bool reached = false;
  for (int i = 0; i < 8 && !reached; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    reached = QApplication::focusWidget() == &tableView();
  }
  ASSERT_TRUE(reached);

  // On a header with nothing highlighted, Space clicks the group's checkbox.
  tableView().setCurrentIndex(groupIndex("Images"));
  tableView().selectionModel()->clearSelection();
  EXPECT_TRUE(pressSpace());
  EXPECT_EQ(stateOf("Images"), GroupSelectionState::none);

  // Arrow keys move the highlight row by row.
  tableView().setCurrentIndex(rowIndex("a.jpg"));
  QTest::keyClick(&tableView(), Qt::Key_Down);
  ASSERT_EQ(view_->highlightedRows().size(), 1u);
  EXPECT_EQ(view_->highlightedRows()[0]->name, "b.jpg");
  EXPECT_TRUE(pressSpace());
  EXPECT_TRUE(isChecked("b.jpg"));
  EXPECT_FALSE(isChecked("a.jpg"));
}

TEST_F(ReviewViewTest, HeaderRowsAreNeverHighlighted) {
  fixture_.addFile("a.jpg");
  fixture_.addFile("b.zip");
  show();
  tableView().selectAll();
  const auto rows = view_->highlightedRows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0]->name, "b.zip") << "display order: Archives before Images";
  EXPECT_EQ(rows[1]->name, "a.jpg");
  for (const QModelIndex& index : tableView().selectionModel()->selectedIndexes()) {
    EXPECT_TRUE(index.parent().isValid());
  }
  const QRect header = tableView().visualRect(groupIndex("Images"));
  QTest::mouseClick(tableView().viewport(), Qt::LeftButton, {}, header.center());
  EXPECT_EQ(view_->highlightedRows().size(), 2u) << "a click on a header changes nothing";
}

TEST_F(ReviewViewTest, TheContextMenuActsOnTheHighlightNotOnTheClickedRow) {
  for (const char* name : {"a.jpg", "b.jpg", "c.zip"}) fixture_.addFile(name);
  show();
  OmbrixAppDelegate delegate;
  const QStringList titles = {QStringLiteral("Toggle"), QStringLiteral("Quick Look"),
                              QStringLiteral("Reveal in File Manager")};
  QStringList shown;
  for (QAction* action : view_->contextMenu()->actions()) shown << action->text();
  EXPECT_EQ(shown, titles);

  highlight({"b.jpg", "c.zip"});
  // A secondary click on a row that is not highlighted opens the same menu.
  QSignalSpy requested(&tableView(), &QWidget::customContextMenuRequested);
  const QPoint onA = tableView().visualRect(rowIndex("a.jpg", 1)).center();
  QContextMenuEvent secondary(QContextMenuEvent::Mouse, onA,
                              tableView().viewport()->mapToGlobal(onA));
  QApplication::sendEvent(tableView().viewport(), &secondary);
  EXPECT_EQ(requested.count(), 1);
  view_->contextMenu()->hide();

  menuAction(QStringLiteral("Toggle"))->trigger();
  EXPECT_TRUE(isChecked("a.jpg"));
  EXPECT_FALSE(isChecked("b.jpg"));
  EXPECT_FALSE(isChecked("c.zip"));

  ASSERT_EQ(delegate.previewURLs().size(), 2u);
  menuAction(QStringLiteral("Quick Look"))->trigger();
  EXPECT_TRUE(delegate.isPreviewVisible());
  menuAction(QStringLiteral("Quick Look"))->trigger();
  EXPECT_FALSE(delegate.isPreviewVisible());

  menuAction(QStringLiteral("Reveal in File Manager"))->trigger();
  ASSERT_TRUE(testing::waitUntil([&] { return !catcher_.opened.isEmpty(); }));
  // No file manager answers here: the folder of the first highlighted file
  // in display order opens instead.
  EXPECT_EQ(catcher_.opened.front(), QUrl::fromLocalFile(qs(fixture_.folder())));
}

TEST_F(ReviewViewTest, TheFileManagerIsAskedToShowTheHighlightedFilesInDisplayOrder) {
  const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
  if (daemon.isEmpty()) GTEST_SKIP() << "no dbus-daemon to stand in for a session bus";
  QProcess bus;
  bus.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                     QStringLiteral("--print-address")});
  ASSERT_TRUE(bus.waitForStarted());
  ASSERT_TRUE(testing::waitUntil([&] { return bus.canReadLine(); }, 10000));
  const QString address = QString::fromUtf8(bus.readLine()).trimmed();
  {
    QDBusConnection connection =
        QDBusConnection::connectToBus(address, QStringLiteral("ombrix-review-test"));
    ASSERT_TRUE(connection.isConnected());
    useBusForReveal(connection);

    for (const char* name : {"a.jpg", "b.jpg", "c.zip"}) fixture_.addFile(name);
    show();
    highlight({"a.jpg", "c.zip"});

    // Nobody owns the name yet: the folder opens instead.
    view_->revealHighlighted();
    ASSERT_TRUE(testing::waitUntil([&] { return !catcher_.opened.isEmpty(); }));
    catcher_.opened.clear();

    FakeFileManager manager;
    ASSERT_TRUE(connection.registerService(QStringLiteral("org.freedesktop.FileManager1")));
    ASSERT_TRUE(connection.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager,
                                          QDBusConnection::ExportAllSlots));
    view_->revealHighlighted();
    ASSERT_TRUE(testing::waitUntil([&] { return !manager.shown.isEmpty(); }, 10000));
    const QString folder = qs(rozuzed::FileURL::fromPath(fixture_.folder()).absoluteString());
    EXPECT_EQ(manager.shown.front(),
              (QStringList{QStringLiteral("ShowItems"), folder + QStringLiteral("/c.zip"),
                           folder + QStringLiteral("/a.jpg")}));

    highlight({});
    view_->revealHighlighted();
    ASSERT_TRUE(testing::waitUntil([&] { return manager.shown.size() == 2; }, 10000));
    EXPECT_EQ(manager.shown.back(), (QStringList{QStringLiteral("ShowFolders"),
                                                 qs(fixture_.folderURL().absoluteString())}))
        << "nothing highlighted: the folder itself";
    testing::settle();
    EXPECT_TRUE(catcher_.opened.isEmpty()) << "the file manager answered";
    EXPECT_FALSE(model_->problem().get());

    useBusForReveal(std::nullopt);
    connection.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
  }
  QDBusConnection::disconnectFromBus(QStringLiteral("ombrix-review-test"));
  bus.kill();
  bus.waitForFinished();
}

TEST_F(ReviewViewTest, ThePreviewListFollowsTheHighlightOnly) {
  for (const char* name : {"a.jpg", "b.zip", "c.jpg"}) fixture_.addFile(name);
  OmbrixAppDelegate delegate;
  const auto earlier = rozuzed::FileURL::fromPath("/earlier/file.txt");
  delegate.setPreviewURLs({earlier});
  show();
  EXPECT_EQ(delegate.previewURLs(), std::vector<rozuzed::FileURL>{earlier})
      << "showing the screen leaves the list alone";

  highlight({"c.jpg", "b.zip"});
  const auto folder = fixture_.folderURL();
  EXPECT_EQ(delegate.previewURLs(),
            (std::vector<rozuzed::FileURL>{folder.appendingPathComponent("b.zip"),
                                           folder.appendingPathComponent("c.jpg")}));
  highlight({});
  EXPECT_TRUE(delegate.previewURLs().empty());

  // Checkboxes do not touch it.
  highlight({"a.jpg"});
  clickCheckBox(rowIndex("b.zip"));
  EXPECT_EQ(delegate.previewURLs(),
            std::vector<rozuzed::FileURL>{folder.appendingPathComponent("a.jpg")});
}

TEST_F(ReviewViewTest, SortIsTheDefaultButtonAndSortsTheSelectedFiles) {
  fixture_.addFile("a.jpg");
  fixture_.addFile("b.jpg");
  fixture_.addFile("c.zip");
  show();
  model_->toggle(row("b.jpg"));
  EXPECT_TRUE(view_->defaultButton()->isDefault());
  ASSERT_TRUE(sortEnabled());
  std::optional<bool> enabledWhileApplying;
  Observations observations;
  observations.watch(model_->phase(), [&](AppModel::Phase phase) {
    if (phase == AppModel::Phase::applying) enabledWhileApplying = sortEnabled();
  });
  QTest::mouseClick(view_->defaultButton(), Qt::LeftButton);
  ASSERT_TRUE(testing::waitUntil([&] { return model_->phase().get() == AppModel::Phase::result; }));
  EXPECT_TRUE(fixture_.exists("Images/a.jpg"));
  EXPECT_TRUE(fixture_.exists("Archives/c.zip"));
  EXPECT_TRUE(fixture_.exists("b.jpg")) << "a deselected file stays";
  EXPECT_EQ(enabledWhileApplying, std::optional<bool>(false));
}

TEST_F(ReviewViewTest, AllAndNoneSetEveryFile) {
  for (const char* name : {"a.jpg", "b.zip", "c.mp3"}) fixture_.addFile(name);
  show();
  model_->toggle(row("a.jpg"));
  QTest::mouseClick(view_->noneButton(), Qt::LeftButton);
  EXPECT_EQ(model_->selectedCount(), 0u);
  EXPECT_EQ(shownCheck(rowIndex("b.zip")), Qt::Unchecked);
  EXPECT_EQ(countText(), QStringLiteral("0 of 3 files selected"));
  QTest::mouseClick(view_->allButton(), Qt::LeftButton);
  EXPECT_EQ(model_->selectedCount(), 3u);
  EXPECT_EQ(shownCheck(rowIndex("a.jpg")), Qt::Checked);
  EXPECT_EQ(countText(), QStringLiteral("3 of 3 files selected"));
}

TEST_F(ReviewViewTest, ARescanShowsTheNewPlanWithTheSelectionKept) {
  fixture_.addFile("a.jpg");
  fixture_.addFile("b.jpg");
  show();
  model_->toggle(row("a.jpg"));
  highlight({"b.jpg"});
  fixture_.addFile("c.zip");
  bool done = false;
  model_->scan([&] { done = true; });
  ASSERT_TRUE(testing::waitUntil([&] { return done; }));
  EXPECT_FALSE(isChecked("a.jpg"));
  EXPECT_EQ(shownCheck(rowIndex("a.jpg")), Qt::Unchecked);
  EXPECT_TRUE(isChecked("c.zip"));
  EXPECT_EQ(countText(), QStringLiteral("2 of 3 files selected"));
}

TEST_F(ReviewViewTest, SourcesThatDifferOnlyInCaseAreOneChoice) {
  fixture_.addFile("Photo.jpg");
  fixture_.addFile("photo.jpg");
  fixture_.addFile("other.jpg");
  show();
  QSignalSpy changed(&table(), &QAbstractItemModel::dataChanged);
  clickCheckBox(rowIndex("photo.jpg"));
  EXPECT_EQ(shownCheck(rowIndex("Photo.jpg")), Qt::Unchecked);
  EXPECT_EQ(shownCheck(rowIndex("photo.jpg")), Qt::Unchecked);
  EXPECT_EQ(shownCheck(rowIndex("other.jpg")), Qt::Checked);
  int rows = 0;
  for (const auto& signal : changed) {
    rows += signal.at(1).value<QModelIndex>().row() - signal.at(0).value<QModelIndex>().row() + 1;
  }
  EXPECT_EQ(rows, 3) << "both rows of the key and their header";
  EXPECT_EQ(countText(), QStringLiteral("1 of 3 files selected"));
}

// Every text of the accessible tree below `node`: names, descriptions and
// values.
void collectTexts(QAccessibleInterface* node, std::set<QString>& texts, int depth = 0) {
  if (!node || depth > 12) return;
  for (auto kind : {QAccessible::Name, QAccessible::Description, QAccessible::Value}) {
    const QString text = node->text(kind);
    if (!text.isEmpty()) texts.insert(text);
  }
  for (int i = 0; i < node->childCount(); ++i) collectTexts(node->child(i), texts, depth + 1);
}

TEST_F(ReviewViewTest, AScreenReaderHearsEveryTextTheScreenShows) {
  fixture_.addFile("a.jpg");
  fixture_.addFile("b.jpg");
  fixture_.addFile("Images/b.jpg");
  fixture_.addFile("notes");
  show();
  model_->toggle(row("a.jpg"));

  std::set<QString> texts;
  collectTexts(QAccessible::queryAccessibleInterface(view_.get()), texts);
  const QStringList expected = {
      QStringLiteral("1 of 2 files selected"),
      QStringLiteral("All"),
      QStringLiteral("None"),
      QStringLiteral("Sort 1 File"),
      QStringLiteral("Name"),
      QStringLiteral("Size"),
      QStringLiteral("Matched Rule"),
      QStringLiteral("Images"),
      QStringLiteral("some files selected"),
      texts::groupSummary(2, formatByteCount(2)),
      QStringLiteral("a.jpg"),
      QStringLiteral("b.jpg"),
      QStringLiteral("→ b 2.jpg A file of that name is already there, so this one is being "
                     "renamed."),
      QStringLiteral("2 files left alone"),
      QStringLiteral("no matching rule · 1"),
      QStringLiteral("notes"),
  };
  for (const QString& text : expected) {
    EXPECT_TRUE(texts.count(text)) << text.toStdString();
  }

  // The check cell of a row is named by its file and says whether it is
  // checked.
  QAccessibleInterface* tree = QAccessible::queryAccessibleInterface(&tableView());
  ASSERT_NE(tree, nullptr);
  ASSERT_NE(tree->tableInterface(), nullptr);
  bool foundA = false;
  for (int i = 0; i < tree->childCount(); ++i) {
    QAccessibleInterface* cell = tree->child(i);
    if (!cell || cell->text(QAccessible::Name) != QStringLiteral("a.jpg")) continue;
    if (!cell->state().checkable) continue;
    foundA = true;
    EXPECT_FALSE(cell->state().checked);
  }
  EXPECT_TRUE(foundA);
}

}  // namespace
}  // namespace ombrix

#include "review_view_test.moc"

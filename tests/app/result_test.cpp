#include "app/result/result_view.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>

#include "app/result/result_list_model.h"
#include "testing/model_operations.h"
#include "testing/paint_record.h"
#include "testing/window_fixture.h"

namespace ombrix {
namespace {

using sortappkit::AppModel;
using testing::WindowFixture;
using Phase = AppModel::Phase;

struct Screen {
  QString title;
  QString line;  // empty: no header line
  bool failed;   // the orange triangle instead of the green check
  QStringList rows;
  bool undoShown;
  std::string symbol;  // the outcome symbol as drawn
};

// The outcome symbol a label draws and its colour.
std::string drawnSymbol(QLabel* label) {
  const testing::PaintRecord drawn = testing::recordPaint(label);
  if (drawn.pictures.size() != 1) return std::to_string(drawn.pictures.size()) + " pictures";
  const QImage& image = drawn.pictures[0].image;
  if (auto color = testing::colorOfSymbol(image, Symbol::success)) {
    return "check in " + color->name().toStdString();
  }
  if (auto color = testing::colorOfSymbol(image, Symbol::failure)) {
    return "triangle in " + color->name().toStdString();
  }
  return "another picture";
}

const std::string kGreenCheck = "check in #26a269";
const std::string kOrangeTriangle = "triangle in #e66100";

Screen read(const ResultView& view) {
  const auto labels = view.findChildren<QLabel*>();
  Screen screen;
  screen.failed = labels.at(0)->accessibleName() != "Finished";
  screen.symbol = drawnSymbol(labels.at(0));
  screen.title = labels.at(1)->text();
  screen.line = labels.at(2)->isHidden() ? QString() : labels.at(2)->text();
  const QAbstractItemModel* rows = view.findChild<QListView*>()->model();
  for (int row = 0; row < rows->rowCount(); ++row) {
    screen.rows << rows->index(row, 0).data(Qt::AccessibleTextRole).toString();
  }
  screen.undoShown = view.isUndoShown();
  return screen;
}

// The folder under review, with files for Images and Audio.
std::shared_ptr<AppModel> reviewThree(WindowFixture& fixture) {
  fixture.addFile("a.jpg");
  fixture.addFile("b.png");
  fixture.addFile("c.mp3");
  auto model = fixture.makeModel();
  fixture.chooseAndScan(*model);
  return model;
}

// Takes a file out of the folder, as a user would, without deleting it.
void moveAway(const WindowFixture& fixture, const std::string& relative) {
  std::filesystem::rename(
      fixture.folder() + "/" + relative,
      fixture.root() + "/" + std::filesystem::path(relative).filename().string());
}

std::string joined(const QStringList& texts) {
  return texts.join(" | ").toStdString();
}

TEST(ResultTest, ShowsTheOutcomeOfTheLastSort) {
  struct Case {
    const char* what;
    std::function<std::shared_ptr<AppModel>(WindowFixture&)> arrange;
    Screen expected;
  };
  const QString blocked = "Could not create %1/Images: File exists";
  const Case cases[] = {
      {"every file moved",
       [](WindowFixture& fixture) {
         auto model = reviewThree(fixture);
         testing::sortAll(*model);
         return model;
       },
       {"Sorted 3 files",
        "",
        false,
        {"Moved", "a.jpg, Images", "b.png, Images", "c.mp3, Audio"},
        true}},
      {"one moved and two failed: a file is where their folder should go",
       [](WindowFixture& fixture) {
         auto model = reviewThree(fixture);
         fixture.addFile("Images", "not a folder");
         testing::sortAll(*model);
         return model;
       },
       {"Sorted 1 file",
        "2 files could not be moved. Nothing was lost — they are still where they were.",
        true,
        {"Moved", "c.mp3, Audio", "Could not be moved", "a.jpg, " + blocked, "b.png, " + blocked},
        true}},
      {"nothing moved: the only file went away before the sort",
       [](WindowFixture& fixture) {
         fixture.addFile("a.jpg");
         auto model = fixture.makeModel();
         fixture.chooseAndScan(*model);
         moveAway(fixture, "a.jpg");
         testing::sortAll(*model);
         return model;
       },
       {"Nothing moved",
        "",
        false,
        {"Left alone", "a.jpg, no longer exists — the plan is out of date"},
        false}},
      {"an undo that could not put one file back",
       [](WindowFixture& fixture) {
         auto model = reviewThree(fixture);
         const rozuzed::Uuid run = testing::sortAll(*model);
         moveAway(fixture, "Images/a.jpg");
         testing::undoRun(*model, run);
         // A failed undo brings the result screen back over the same run.
         testing::undoRun(*model, rozuzed::Uuid::random());
         EXPECT_EQ(model->phase().get(), Phase::result);
         return model;
       },
       {"Sorted 3 files",
        "Put 2 files back. 1 could not be moved back.",
        false,
        {"Moved", "a.jpg, Images", "b.png, Images", "c.mp3, Audio"},
        false}},
      {"no sort in this run of the app: an undo from the history failed",
       [](WindowFixture& fixture) {
         auto model = fixture.makeModel();
         fixture.chooseAndScan(*model);
         testing::undoRun(*model, rozuzed::Uuid::random());
         return model;
       },
       {"Done", "", false, {}, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WindowFixture fixture;
    auto model = c.arrange(fixture);
    ResultView view(model);
    const Screen shown = read(view);
    EXPECT_EQ(shown.title, c.expected.title);
    EXPECT_EQ(shown.line, c.expected.line);
    EXPECT_EQ(shown.failed, c.expected.failed);
    EXPECT_EQ(shown.symbol, c.expected.failed ? kOrangeTriangle : kGreenCheck);
    QStringList rows = c.expected.rows;
    rows.replaceInStrings("%1", QString::fromStdString(fixture.folder()));
    EXPECT_EQ(joined(shown.rows), joined(rows));
    EXPECT_EQ(shown.undoShown, c.expected.undoShown);
    EXPECT_TRUE(view.defaultButton()->isDefault());
  }
}

TEST(ResultTest, UndoPutsTheFilesBackAndTheButtonGoes) {
  WindowFixture fixture;
  auto model = reviewThree(fixture);
  testing::sortAll(*model);
  ResultView view(model);
  QSignalSpy undoShown(&view, &ResultView::undoShownChanged);
  ASSERT_TRUE(view.isUndoShown());

  std::vector<Phase> phases;
  model->phase().observe([&phases](Phase phase) { phases.push_back(phase); });
  QTest::mouseClick(view.undoButton(), Qt::LeftButton);
  ASSERT_TRUE(testing::waitUntil([&] { return model->phase().get() == Phase::review; }));
  EXPECT_EQ(phases, (std::vector<Phase>{Phase::applying, Phase::scanning, Phase::review}));
  EXPECT_TRUE(fixture.exists("a.jpg") && fixture.exists("b.png") && fixture.exists("c.mp3"));
  EXPECT_FALSE(view.isUndoShown());
  ASSERT_EQ(undoShown.count(), 1);
  EXPECT_EQ(undoShown.at(0).at(0).toBool(), false);
  EXPECT_EQ(read(view).line, "Put 3 files back.");
}

TEST(ResultTest, DoneScansTheFolderAgain) {
  WindowFixture fixture;
  auto model = reviewThree(fixture);
  testing::sortAll(*model);
  ResultView view(model);
  QTest::mouseClick(view.defaultButton(), Qt::LeftButton);
  EXPECT_EQ(model->phase().get(), Phase::scanning);
  ASSERT_TRUE(testing::waitUntil([&] { return model->phase().get() == Phase::review; }));
  EXPECT_TRUE(fixture.exists("Images/a.jpg")) << "Done moves nothing";
}

// A long name is cut in its middle so that its beginning and its extension
// stay; the folder it went to keeps its room beside it.
TEST(ResultTest, AMovedRowDrawsALongNameCutInItsMiddle) {
  WindowFixture fixture;
  const std::string name = "holiday-" + std::string(150, 'x') + "-last.jpg";
  fixture.addFile(name);
  auto model = fixture.makeModel();
  fixture.chooseAndScan(*model);
  testing::sortAll(*model);
  ResultView view(model);
  view.resize(960, 640);
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

  QListView* list = view.findChild<QListView*>();
  const testing::PaintRecord drawn = testing::recordPaint(list);
  QRect row = list->visualRect(list->model()->index(1, 0));
  row.moveTopLeft(list->viewport()->mapTo(list, row.topLeft()));
  const QStringList texts = drawn.within(row).textList();
  ASSERT_EQ(texts.size(), 2) << texts.join(" | ").toStdString();
  EXPECT_EQ(texts.filter("Images").size(), 1) << texts.join(" | ").toStdString();
  const QStringList cut = texts.filter("holiday-");
  ASSERT_EQ(cut.size(), 1) << texts.join(" | ").toStdString();
  EXPECT_TRUE(cut[0].startsWith("holiday-x")) << cut[0].toStdString();
  EXPECT_TRUE(cut[0].endsWith("x-last.jpg")) << cut[0].toStdString();
  EXPECT_TRUE(cut[0].contains(QChar(0x2026))) << cut[0].toStdString();
}

// Everything the screen shows reaches assistive technology.
TEST(ResultTest, AScreenReaderFindsEveryText) {
  WindowFixture fixture;
  auto model = reviewThree(fixture);
  fixture.addFile("Images", "not a folder");
  testing::sortAll(*model);
  ResultView view(model);
  view.resize(960, 640);
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

  QStringList heard;
  std::function<void(QAccessibleInterface*)> visit = [&](QAccessibleInterface* node) {
    if (node->state().invisible) return;
    const QString name = node->text(QAccessible::Name);
    if (!name.isEmpty()) heard << name;
    for (int child = 0; child < node->childCount(); ++child) visit(node->child(child));
  };
  visit(QAccessible::queryAccessibleInterface(&view));

  const QStringList expected{"Some files could not be moved",
                             "Sorted 1 file",
                             "2 files could not be moved. Nothing was lost — they are still "
                             "where they were.",
                             "Moved",
                             "c.mp3, Audio",
                             "Could not be moved",
                             "Undo",
                             "Done"};
  for (const QString& text : expected) {
    EXPECT_TRUE(heard.contains(text))
        << text.toStdString() << " not in " << heard.join(" | ").toStdString();
  }
  EXPECT_EQ(heard.filter("a.jpg, Could not create").size(), 1);
}

}  // namespace
}  // namespace ombrix

#include "app/start/empty_state_view.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "testing/model_operations.h"
#include "testing/window_fixture.h"

namespace ombrix {
namespace {

using sortappkit::AppModel;
using testing::WindowFixture;
using Phase = AppModel::Phase;

// The shown texts of the screen, in layout order.
QStringList shownTexts(const QWidget& view) {
  QStringList texts;
  for (const QLabel* label : view.findChildren<QLabel*>()) {
    if (!label->isHidden() && !label->text().isEmpty()) texts << label->text();
  }
  return texts;
}

class EmptyStateTest : public ::testing::Test {
 protected:
  WindowFixture fixture;
  std::shared_ptr<AppModel> model = fixture.makeModel();
};

TEST_F(EmptyStateTest, SaysWhatTheAppDoesAndOffersToChooseAFolder) {
  EmptyStateView view(model);
  EXPECT_EQ(shownTexts(view),
            (QStringList{"Tidy a folder",
                         "Ombrix groups the files in a folder — images, documents, installers and "
                         "the rest — into subfolders. It shows you exactly what it would do first, "
                         "and nothing moves until you say so."}));
  EXPECT_EQ(view.defaultButton()->text(), "Choose Folder…");
  EXPECT_TRUE(view.defaultButton()->isDefault());
  EXPECT_EQ(view.defaultButton()->accessibleName(), "Choose Folder…");
}

// The earlier-runs line follows the history as the model reloads it, with
// no other action: it counts the runs that still have files to put back.
TEST_F(EmptyStateTest, CountsTheEarlierRunsThatCanStillBeUndone) {
  EmptyStateView view(model);
  view.resize(960, 640);
  view.show();
  fixture.addFile("a.jpg");
  fixture.chooseAndScan(*model);

  std::optional<rozuzed::Uuid> first, second;
  struct Step {
    const char* what;
    std::function<void()> act;
    QString line;  // empty: no line at all
  };
  const Step steps[] = {
      {"before any run", [] {}, ""},
      {"after the first sort", [&] { first = testing::sortAll(*model); },
       "1 earlier run can still be undone from History."},
      {"after a second sort",
       [&] {
         fixture.addFile("b.mp3");
         testing::runToEnd([&](auto done) { model->scan(done); });
         second = testing::sortAll(*model);
       },
       "2 earlier runs can still be undone from History."},
      {"after the first run was put back", [&] { testing::undoRun(*model, *first); },
       "1 earlier run can still be undone from History."},
      {"after both were put back", [&] { testing::undoRun(*model, *second); }, ""},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.act();
    const QStringList texts = shownTexts(view);
    if (step.line.isEmpty()) {
      EXPECT_EQ(texts.size(), 2) << texts.join(" | ").toStdString();
    } else {
      EXPECT_EQ(texts.size(), 3);
      EXPECT_EQ(texts.value(2), step.line);
    }
  }
  EXPECT_TRUE(fixture.exists("a.jpg") && fixture.exists("b.mp3"));
}

// The picker is the only thing the button asks; what follows is the model's.
TEST_F(EmptyStateTest, ChoosingAFolderScansItAndCancellingStartsNothing) {
  struct Case {
    const char* what;
    std::optional<rozuzed::FileURL> answer;
    std::vector<Phase> phases;
  };
  const Case cases[] = {
      {"cancelled", std::nullopt, {}},
      {"chosen", fixture.folderURL(), {Phase::scanning, Phase::review}},
  };
  fixture.addFile("a.jpg");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto fresh = fixture.makeModel();
    std::vector<Phase> phases;
    fresh->phase().observe([&phases](Phase phase) { phases.push_back(phase); });
    fixture.replacePicker(c.answer);
    const int asked = fixture.pickerCalls();
    EmptyStateView view(fresh);
    QTest::mouseClick(view.defaultButton(), Qt::LeftButton);
    EXPECT_EQ(fixture.pickerCalls(), asked + 1);
    if (c.answer) {
      ASSERT_TRUE(testing::waitUntil([&] { return fresh->phase().get() == Phase::review; }));
    }
    testing::settle();
    EXPECT_EQ(phases, c.phases);
    EXPECT_EQ(fresh->folder().get() != nullptr, c.answer.has_value());
  }
}

}  // namespace
}  // namespace ombrix

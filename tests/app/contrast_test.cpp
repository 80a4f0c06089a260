// Every text of every screen reads against what it is drawn on, in a light
// and in a dark palette: measured from the screens' own painting.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <algorithm>

#include "app/common/symbols.h"
#include "screenshots/scene.h"
#include "testing/shown_texts.h"

namespace ombrix {
namespace {

// WCAG's least ratios: 4.5:1, or 3:1 for large text (18 points, or 14 bold).
double leastRatio(const testing::ShownText& shown) {
  const bool large = shown.pointSize >= 18 || (shown.bold && shown.pointSize >= 14);
  return large ? 3.0 : 4.5;
}

class ContrastTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    before_ = QApplication::palette();
    if (GetParam()) QApplication::setPalette(readablePalette(testing::darkPalette()));
  }
  void TearDown() override { QApplication::setPalette(before_); }

 private:
  QPalette before_;
};

TEST_P(ContrastTest, EveryTextReadsOnItsBackground) {
  // The desktop's small font, unless the body text is smaller still.
  const double smallest =
      std::min(QFontDatabase::systemFont(QFontDatabase::SmallestReadableFont).pointSizeF(),
               QApplication::font().pointSizeF());
  std::size_t textsSeen = 0;
  for (const auto& scene : screenshots::scenes()) {
    testing::WindowFixture fixture;
    std::vector<std::shared_ptr<void>> keep;
    QWidget* widget = screenshots::showScene(scene, fixture, keep);
    ASSERT_NE(widget, nullptr) << scene.name;
    (void)widget;
    // The scene's widget and whatever else is up: an alert, a sheet.
    std::vector<testing::ShownText> texts;
    for (QWidget* shownWindow : QApplication::topLevelWidgets()) {
      if (!shownWindow->isVisible()) continue;
      const std::vector<testing::ShownText> more = testing::shownTexts(shownWindow);
      texts.insert(texts.end(), more.begin(), more.end());
    }
    textsSeen += texts.size();
    for (const testing::ShownText& shown : texts) {
      EXPECT_GE(contrastRatio(shown.color, shown.background), leastRatio(shown))
          << scene.name << ": \"" << shown.text.toStdString() << "\" in "
          << shown.color.name().toStdString() << " on " << shown.background.name().toStdString();
      EXPECT_GE(shown.pointSize, smallest - 0.01)
          << scene.name << ": \"" << shown.text.toStdString() << "\"";
    }
    keep.clear();
    testing::settle();
  }
  EXPECT_GT(textsSeen, 100u);
}

INSTANTIATE_TEST_SUITE_P(Palettes, ContrastTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "dark" : "light"; });

}  // namespace
}  // namespace ombrix

#include "app/shell/progress_overlay.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace ombrix {
namespace {

using rozuzed::ExecutionProgress;
using rozuzed::FileURL;

struct Shown {
  bool indeterminate;
  int value;      // out of the bar's maximum; unused when indeterminate
  QString count;  // empty: no count line
  QString file;   // empty: no file line
};

Shown read(const ProgressOverlay& overlay) {
  const auto* bar = overlay.findChild<QProgressBar*>();
  const auto labels = overlay.findChildren<QLabel*>();
  Shown shown{bar->maximum() == 0, bar->maximum() > 0 ? bar->value() * 100 / bar->maximum() : 0,
              QString(), QString()};
  if (!labels.at(1)->isHidden()) shown.count = labels.at(1)->text();
  if (!labels.at(2)->isHidden()) shown.file = labels.at(2)->text();
  return shown;
}

ExecutionProgress progress(int64_t done, int64_t total, std::optional<std::string> file) {
  return {done, total,
          file ? std::optional(FileURL::fromPath("/home/ann/Downloads/" + *file, false))
               : std::nullopt};
}

TEST(ProgressOverlayTest, ShowsTheRunsProgress) {
  struct Case {
    const char* what;
    std::optional<ExecutionProgress> given;
    Shown expected;
  };
  const Case cases[] = {
      {"no progress yet", std::nullopt, {true, 0, "", ""}},
      {"a total of 0", progress(0, 0, std::nullopt), {true, 0, "", ""}},
      {"just started", progress(0, 5, std::nullopt), {false, 0, "0 of 5", " "}},
      {"on its way", progress(3, 10, "photo.jpg"), {false, 30, "3 of 10", "photo.jpg"}},
      {"every file done", progress(5, 5, std::nullopt), {false, 100, "5 of 5", " "}},
      {"a name as it is",
       progress(1, 2, "Résumé été %1.pdf"),
       {false, 50, "1 of 2", "Résumé été %1.pdf"}},
  };
  QWidget screen;
  auto* overlay = new ProgressOverlay(&screen);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    overlay->setState("Sorting…", c.given);
    const Shown shown = read(*overlay);
    EXPECT_EQ(overlay->findChildren<QLabel*>().at(0)->text(), "Sorting…");
    EXPECT_EQ(shown.indeterminate, c.expected.indeterminate);
    if (!shown.indeterminate) {
      EXPECT_EQ(shown.value, c.expected.value);
    }
    EXPECT_EQ(shown.count, c.expected.count);
    EXPECT_EQ(shown.file, c.expected.file);
  }
}

TEST(ProgressOverlayTest, ALongNameIsCutInTheMiddleWithinTheBarsWidth) {
  QWidget screen;
  auto* overlay = new ProgressOverlay(&screen);
  const std::string name =
      "Quarterly report of the regional sales office with every appendix and all the "
      "spreadsheets attached, final version.pdf";
  overlay->setState("Sorting…", progress(2, 9, name));
  const QLabel* file = overlay->findChildren<QLabel*>().at(2);
  const QString shown = file->text();
  EXPECT_TRUE(shown.startsWith("Quarterly")) << shown.toStdString();
  EXPECT_TRUE(shown.endsWith("version.pdf")) << shown.toStdString();
  EXPECT_TRUE(shown.contains(QChar(0x2026)));
  EXPECT_LE(file->fontMetrics().horizontalAdvance(shown), ProgressOverlay::barWidth);
  EXPECT_EQ(file->accessibleName(), QString::fromStdString(name));

  // The blank line keeps the height of a named one, so the card does not jump.
  const int named = file->sizeHint().height();
  overlay->setState("Sorting…", progress(3, 9, std::nullopt));
  EXPECT_EQ(file->sizeHint().height(), named);
}

// The backdrop lies over the whole screen and takes the pointer: a click
// where a button of the screen lies goes to the overlay, never the button.
TEST(ProgressOverlayTest, CoversTheScreenAndKeepsThePointerFromIt) {
  QWidget screen;
  screen.resize(400, 300);
  auto* button = new QPushButton("Sort 3 Files", &screen);
  button->setGeometry(10, 10, 120, 30);
  QSignalSpy clicks(button, &QPushButton::clicked);
  auto* overlay = new ProgressOverlay(&screen);
  overlay->setState("Putting files back…", std::nullopt);
  screen.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&screen));
  EXPECT_EQ(overlay->geometry(), screen.rect());
  screen.resize(720, 480);
  EXPECT_EQ(overlay->geometry(), screen.rect()) << "it follows its parent's size";

  for (const QPoint at : {button->geometry().center(), screen.rect().center()}) {
    QWidget* hit = screen.childAt(at);
    ASSERT_NE(hit, nullptr);
    EXPECT_TRUE(hit == overlay || overlay->isAncestorOf(hit));
    QTest::mouseClick(hit, Qt::LeftButton, Qt::NoModifier, hit->mapFrom(&screen, at));
  }
  EXPECT_EQ(clicks.count(), 0);
}

}  // namespace
}  // namespace ombrix

#include "app/shell/progress_overlay.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <condition_variable>
#include <mutex>

#include "app/review/review_view.h"
#include "app/shell/content_view.h"
#include "app/shell/main_window.h"
#include "rozuzed/testing/intercepting_file_system.h"
#include "testing/shell_fixture.h"

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

// Holds the engine before chosen moves until the test lets it go on, so the
// window can be looked at while a run reports a given count.
class MoveGate {
 public:
  explicit MoveGate(rozuzed::testing::InterceptingFileSystem& files) {
    // A sort moves into its held destination folders; an undo moves by path.
    files.beforeMove = files.beforeMoveInto = [this](const auto&, const auto&) {
      std::unique_lock lock(mutex_);
      ++moves_;
      changed_.wait(lock, [this] { return moves_ < holdAt_ || released_ >= moves_; });
    };
  }
  // Lets moves go on up to, but not into, move number `move`.
  void holdAt(int move) {
    std::lock_guard lock(mutex_);
    holdAt_ = move;
    released_ = move - 1;
    changed_.notify_all();
  }
  void openFully() { holdAt(1 << 30); }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int moves_ = 0;
  int holdAt_ = 1 << 30;
  int released_ = 0;
};

// The bar on screen moves with the count beside it. Qt repaints a bar only
// once its value has moved on by a visible step from what it last painted;
// a repaint of the card for the count that also painted the bar, off screen,
// made each small step look painted already, and "60 of 100" stood over an
// empty bar. So the run goes file by file, painting after each, and what is
// compared is the window's own pixels.
TEST(ProgressOverlayTest, TheBarOnScreenFollowsTheCountDuringARun) {
  testing::WindowFixture f;
  auto files = std::make_shared<rozuzed::testing::InterceptingFileSystem>();
  MoveGate gate(*files);
  gate.holdAt(1);
  auto engine = std::make_shared<sortappkit::SortEngine>(f.store, std::nullopt, files);
  // A failed check must not leave the engine waiting while it is torn down.
  const std::shared_ptr<void> letGo(nullptr, [&gate](void*) { gate.openFully(); });
  auto model = sortappkit::AppModel::create(engine, std::make_shared<QtDispatcher>(), std::nullopt);
  constexpr int kFiles = 100;
  for (int i = 0; i < kFiles; ++i) f.addFile("photo" + std::to_string(i) + ".jpg");
  MainWindow window(model, nullptr);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  testing::quiesce(*engine);
  f.chooseAndScan(*model);
  auto* review = qobject_cast<ReviewView*>(window.content()->screen());
  ASSERT_NE(review, nullptr);
  QTest::mouseClick(review->defaultButton(), Qt::LeftButton);

  const QProgressBar* bar = window.content()->overlay()->findChild<QProgressBar*>();
  const QLabel* count = window.content()->overlay()->findChildren<QLabel*>().at(1);
  auto shown = [&] {
    testing::settle();
    return window.screen()->grabWindow(window.winId()).toImage();
  };
  // Points along the middle of the bar, at a tenth and at half its width.
  auto at = [&](int percent) {
    const QPoint inBar(bar->width() * percent / 100, bar->height() / 2);
    return bar->mapTo(&window, inBar) * window.devicePixelRatio();
  };
  ASSERT_TRUE(testing::waitUntil([&] { return model->progress().get().has_value(); }));
  const QImage empty = shown();
  ASSERT_EQ(count->text(), "0 of 100");

  constexpr int kDone = 60;
  for (int done = 1; done <= kDone; ++done) {
    gate.holdAt(done + 1);
    ASSERT_TRUE(testing::waitUntil([&] {
      const auto& progress = model->progress().get();
      return progress && progress->completedCount == done;
    }));
    testing::settle();
  }
  EXPECT_EQ(count->text(), QStringLiteral("%1 of 100").arg(kDone));
  EXPECT_EQ(bar->value() * kFiles / bar->maximum(), kDone);
  const QImage painted = shown();
  for (const int percent : {10, 50}) {
    EXPECT_NE(painted.pixel(at(percent)), empty.pixel(at(percent)))
        << "the count moved on over an empty bar, at " << percent << "%";
  }
  gate.openFully();
  ASSERT_TRUE(testing::waitUntil(
      [&] { return model->phase().get() == sortappkit::AppModel::Phase::result; }));
  EXPECT_TRUE(f.exists("Images/photo99.jpg"));
}

}  // namespace
}  // namespace ombrix

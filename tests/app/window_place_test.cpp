// The window opens where it was left, as long as that place is on a screen.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>

#include "app/shell/main_window.h"
#include "testing/window_fixture.h"

namespace ombrix {
namespace {

class WindowPlaceTest : public ::testing::Test {
 protected:
  // A window that opens and closes again, as at one launch.
  std::unique_ptr<MainWindow> open() {
    auto window = std::make_unique<MainWindow>(model, nullptr);
    window->placeAsRemembered();
    return window;
  }

  testing::WindowFixture fixture;
  std::shared_ptr<sortappkit::AppModel> model = fixture.makeModel();
};

TEST_F(WindowPlaceTest, TheNextLaunchOpensAtTheSizeAndPlaceTheWindowWasClosedAt) {
  const QRect left(QGuiApplication::primaryScreen()->availableGeometry().topLeft() + QPoint(30, 20),
                   QSize(740, 500));
  {
    auto window = open();
    EXPECT_EQ(window->size(), MainWindow::firstSize);
    window->show();
    window->setGeometry(left);
    window->close();
  }
  EXPECT_EQ(open()->geometry(), left);
}

TEST_F(WindowPlaceTest, APlaceOnAScreenThatIsGoneGivesTheFirstSize) {
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  QSettings().setValue(QStringLiteral("window/geometry"),
                       QRect(screen.right() + 4000, screen.bottom() + 4000, 800, 560));
  auto window = open();
  EXPECT_EQ(window->size(), MainWindow::firstSize);
  EXPECT_TRUE(screen.intersects(window->geometry()));
}

}  // namespace
}  // namespace ombrix

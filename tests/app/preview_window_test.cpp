// The preview window over real files: images, PDFs, text, anything else, and
// files that have gone since they were highlighted.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImageWriter>
#include <QMimeDatabase>
#include <QPainter>
#include <QPdfWriter>
#include <QScreen>
#include <QTest>
#include <filesystem>

#include "app/preview/preview_window.h"
#include "app/shell/app_delegate.h"
#include "rozuzed/testing/temporary_folder.h"
#include "testing/window_fixture.h"

namespace ombrix {
namespace {

using Shown = PreviewWindow::Shown;
using rozuzed::FileURL;

class PreviewWindowTest : public ::testing::Test {
 protected:
  std::string path(const std::string& name) const { return folder / name; }
  FileURL url(const std::string& name) const { return FileURL::fromPath(path(name)); }

  // A 300×100 photo whose camera was turned: it is to be shown upright,
  // 100 wide and 300 high.
  FileURL turnedPhoto() {
    QImage image(300, 100, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QImageWriter writer(QString::fromStdString(path("turned.jpg")), "jpeg");
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
    return url("turned.jpg");
  }

  FileURL pdf() {
    QPdfWriter writer(QString::fromStdString(path("letter.pdf")));
    writer.setPageSize(QPageSize(QPageSize::A5));
    QPainter painter(&writer);
    painter.drawText(QRectF(0, 0, 2000, 400), QStringLiteral("Dear reader"));
    painter.end();
    return url("letter.pdf");
  }

  FileURL text(const std::string& name, const std::string& contents) {
    rozuzed::testing::writeFile(path(name), contents);
    return url(name);
  }

  // Shows the preview and waits until its current file is on show.
  PreviewWindow& shown() {
    if (!delegate.isPreviewVisible()) delegate.togglePreview();
    PreviewWindow* window = delegate.previewWindow();
    EXPECT_TRUE(testing::waitUntil([window] {
      return window->shown() != Shown::loading && window->shown() != Shown::nothing;
    }));
    return *window;
  }

  void press(int key) {
    QTest::keyClick(delegate.previewWindow(), static_cast<Qt::Key>(key));
    testing::waitUntil([this] { return delegate.previewWindow()->shown() != Shown::loading; });
  }

  rozuzed::testing::TemporaryFolder folder;
  OmbrixAppDelegate delegate;
};

TEST_F(PreviewWindowTest, AnImageIsShownUprightAndFitted) {
  delegate.setPreviewURLs({turnedPhoto()});
  PreviewWindow& window = shown();
  EXPECT_EQ(window.shown(), Shown::image);
  EXPECT_EQ(window.shownImage().size(), QSize(100, 300));
  EXPECT_EQ(window.windowTitle(), "turned.jpg");
  EXPECT_TRUE(window.windowFlags() & Qt::Tool);
  EXPECT_FALSE(window.isModal());

  window.resize(400, 240);
  testing::settle();
  const QSize drawn = window.drawnImageSize();
  EXPECT_LE(drawn.height(), 240);
  EXPECT_NEAR(drawn.width() * 3, drawn.height(), 3) << "scaled as a whole";
}

TEST_F(PreviewWindowTest, APdfShowsItsFirstPage) {
  delegate.setPreviewURLs({pdf()});
  PreviewWindow& window = shown();
  ASSERT_EQ(window.shown(), Shown::image);
  const QImage page = window.shownImage();
  EXPECT_GT(page.height(), page.width()) << "an A5 page stands upright";
  EXPECT_EQ(page.pixelColor(2, 2), QColor(Qt::white));
}

TEST_F(PreviewWindowTest, ATextFileShowsItsStart) {
  delegate.setPreviewURLs({text("long.txt", "Dear reader,\n" + std::string(20000, 'x'))});
  PreviewWindow& window = shown();
  ASSERT_EQ(window.shown(), Shown::text);
  EXPECT_TRUE(window.shownText().startsWith("Dear reader,\nxxx"));
  EXPECT_EQ(window.shownText().size(), 8 * 1024);

  // A character cut by the limit is left out rather than garbled.
  delegate.setPreviewURLs({text("accents.txt", std::string(8191, 'a') + "é")});
  testing::waitUntil([&] { return window.shownText().startsWith("aaa"); });
  EXPECT_EQ(window.shownText(), QString(8191, QLatin1Char('a')));
}

TEST_F(PreviewWindowTest, AnythingElseShowsItsNameKindAndSize) {
  const FileURL song = text("song.mp3", std::string(532, 'x'));
  delegate.setPreviewURLs({song});
  PreviewWindow& window = shown();
  EXPECT_EQ(window.shown(), Shown::details);
  const QString kind =
      QMimeDatabase().mimeTypeForFile(QString::fromStdString(song.path())).comment();
  ASSERT_FALSE(kind.isEmpty());
  EXPECT_EQ(window.shownTexts(), (QStringList{"song.mp3", kind, "532 bytes"}));
}

TEST_F(PreviewWindowTest, AFileThatHasGoneIsSaidToBeGone) {
  const FileURL photo = turnedPhoto();
  std::filesystem::remove(photo.path());
  delegate.setPreviewURLs({photo});
  PreviewWindow& window = shown();
  EXPECT_EQ(window.shown(), Shown::gone);
  EXPECT_EQ(window.shownTexts(), QStringList{"“turned.jpg” is no longer where it was."});
}

TEST_F(PreviewWindowTest, TheArrowKeysPageAndSpaceOrEscapeClose) {
  const FileURL moved = text("moved.txt", "soon elsewhere");
  delegate.setPreviewURLs({turnedPhoto(), pdf(), moved, text("notes.txt", "notes")});
  PreviewWindow& window = shown();
  EXPECT_EQ(window.position(), 0);
  press(Qt::Key_Left);
  EXPECT_EQ(window.position(), 0) << "nothing before the first";
  press(Qt::Key_Right);
  EXPECT_EQ(window.windowTitle(), "letter.pdf");
  EXPECT_EQ(window.shown(), Shown::image);

  // Moved after it was highlighted.
  std::filesystem::rename(moved.path(), path("elsewhere.txt"));
  press(Qt::Key_Down);
  EXPECT_EQ(window.shown(), Shown::gone);
  press(Qt::Key_Right);
  EXPECT_EQ(window.shownText(), "notes");
  press(Qt::Key_Right);
  EXPECT_EQ(window.position(), 3) << "nothing after the last";
  press(Qt::Key_Up);
  EXPECT_EQ(window.position(), 2);

  press(Qt::Key_Space);
  EXPECT_FALSE(delegate.isPreviewVisible());
  shown();
  EXPECT_EQ(window.position(), 2) << "opened again where it was";
  press(Qt::Key_Escape);
  EXPECT_FALSE(delegate.isPreviewVisible());
}

TEST_F(PreviewWindowTest, ANewListReloadsAnOpenPreviewAndOpensNone) {
  delegate.togglePreview();
  EXPECT_EQ(delegate.previewWindow(), nullptr) << "nothing to preview";
  delegate.setPreviewURLs({text("a.txt", "first")});
  EXPECT_EQ(delegate.previewWindow(), nullptr) << "a new list opens nothing";

  PreviewWindow& window = shown();
  EXPECT_EQ(window.shownText(), "first");
  delegate.setPreviewURLs({text("b.txt", "second"), text("c.txt", "third")});
  EXPECT_TRUE(testing::waitUntil([&] { return window.shownText() == "second"; }));
  press(Qt::Key_Right);
  EXPECT_EQ(window.shownText(), "third");
  delegate.setPreviewURLs({text("d.txt", "fourth")});
  EXPECT_TRUE(testing::waitUntil([&] { return window.shownText() == "fourth"; }))
      << "the place was beyond the new list, so it starts over";

  delegate.setPreviewURLs({});
  EXPECT_TRUE(testing::waitUntil([&] { return window.shown() == Shown::nothing; }));
  EXPECT_TRUE(delegate.isPreviewVisible());
}

TEST_F(PreviewWindowTest, AnUnreadableImageFallsBackToItsDetails) {
  const FileURL broken = text("broken.png", "not a picture at all");
  delegate.setPreviewURLs({broken});
  PreviewWindow& window = shown();
  EXPECT_EQ(window.shown(), Shown::details);
  EXPECT_EQ(window.shownTexts().front(), "broken.png");
}

}  // namespace
}  // namespace ombrix

namespace ombrix {
namespace {

// Wherever the main window is, the preview opens beside it when there is
// room, and wholly on the screen when there is not.
TEST(PreviewPlaceTest, OpensBesideTheWindowAndWhollyOnScreen) {
  const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
  struct Case {
    const char* name;
    QRect window;
    QSize preview;
    bool beside;  // clear of the window
  };
  const QPoint origin = room.topLeft();
  const Case cases[] = {
      {"room on the right", QRect(origin + QPoint(10, 10), QSize(300, 200)), QSize(320, 240), true},
      {"room on the left only", QRect(origin + QPoint(room.width() - 310, 10), QSize(300, 200)),
       QSize(320, 240), true},
      {"no room on either side", QRect(origin, room.size() - QSize(20, 20)), QSize(400, 300),
       false},
      {"larger than the screen", QRect(origin, QSize(300, 200)), room.size() + QSize(200, 200),
       false},
  };
  for (const Case& c : cases) {
    QWidget window;
    window.setGeometry(c.window);
    PreviewWindow preview(&window);
    preview.resize(c.preview);
    preview.placeBeside(&window);
    EXPECT_TRUE(room.contains(preview.geometry())) << c.name;
    if (c.beside) {
      EXPECT_FALSE(preview.geometry().intersects(window.geometry())) << c.name;
    }
  }
}

}  // namespace
}  // namespace ombrix

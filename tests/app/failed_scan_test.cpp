// What the window shows when the folder cannot be read or is gone: no plan
// to sort, and the reason instead of words about the folder's files.
#include <gtest/gtest.h>

#include <QPushButton>
#include <filesystem>

#include "app/review/review_view.h"
#include "app/review/skipped_pane.h"
#include "app/shell/content_view.h"
#include "sortappkit/folder_access/granted_folder.h"
#include "sortappkit/folder_access/user_defaults_bookmark_store.h"
#include "sortappkit/lock_holder.h"
#include "testing/shell_fixture.h"

namespace ombrix {
namespace {

using sortappkit::AppModel;
using Phase = AppModel::Phase;
using testing::ShellFixture;

class FailedScanTest : public ::testing::Test {
 protected:
  ReviewView* review() { return qobject_cast<ReviewView*>(f.window().content()->screen()); }

  // The review screen says `title` and `message` in place of the moves, and
  // nothing about skipped files; Sort cannot be pressed.
  void expectFailureShown(const QString& title, const QString& message) {
    ReviewView* view = review();
    ASSERT_NE(view, nullptr);
    EXPECT_FALSE(f.model().plan().get());
    EXPECT_TRUE(view->isFailureShown());
    EXPECT_FALSE(view->isPlaceholderShown());
    EXPECT_EQ(ShellFixture::labelTexts(view->failurePage()), (QStringList{title, message}));
    EXPECT_FALSE(view->skippedPane()->isVisibleTo(view));
    EXPECT_FALSE(view->defaultButton()->isEnabled());
  }

  ShellFixture f;
};

TEST_F(FailedScanTest, ABusyLockAtLaunchShowsWhyThereIsNoPlan) {
  f.addFile("a.jpg");
  sortappkit::UserDefaultsBookmarkStore().save(
      sortappkit::GrantedFolder::makeBookmark(f.folderURL()), AppModel::defaultBookmarkKey);
  sortappkit::testing::LockHolder holder(f.root() + "/data/RozuZed/run.lock");
  ASSERT_TRUE(holder.locked());
  f.start();
  f.answerAlert("OK");
  EXPECT_EQ(f.model().phase().get(), Phase::review);
  expectFailureShown("Could not read that folder",
                     "Another copy of Ombrix is working on these files.");

  holder.release();
  f.clickToolBar(f.window().rescanAction());
  f.quiesce();
  ASSERT_NE(review(), nullptr);
  EXPECT_FALSE(review()->isFailureShown());
  EXPECT_TRUE(review()->skippedPane()->isVisibleTo(review()));
  EXPECT_TRUE(review()->defaultButton()->isEnabled());
}

TEST_F(FailedScanTest, ARescanOfAFolderRenamedMeanwhileLeavesNothingToSort) {
  f.addFile("a.jpg");
  f.replacePicker(f.folderURL());
  f.start();
  f.press(Qt::Key_O, Qt::ControlModifier);
  f.quiesce();
  ASSERT_TRUE(f.model().plan().get());
  std::filesystem::rename(f.folder(), f.root() + "/home/Renamed");

  f.clickToolBar(f.window().rescanAction());
  f.quiesce();
  QMessageBox* box = f.alert();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text(), "Could not read that folder");
  const QString message = box->informativeText();
  f.answerAlert("OK");
  expectFailureShown("Could not read that folder", message);

  // Return finds no Sort to press.
  f.press(Qt::Key_Return);
  f.quiesce();
  EXPECT_EQ(f.model().phase().get(), Phase::review);
  EXPECT_TRUE(std::filesystem::exists(f.root() + "/home/Renamed/a.jpg"));
}

TEST_F(FailedScanTest, ASortWhoseFolderWentAfterTheReviewSaysSo) {
  const std::vector<std::pair<const char*, std::function<void()>>> cases = {
      {"renamed", [&] { std::filesystem::rename(f.folder(), f.root() + "/home/Renamed"); }},
      {"removed", [&] { std::filesystem::remove_all(f.folder()); }},
  };
  f.replacePicker(f.folderURL());
  f.start();
  for (const auto& [label, change] : cases) {
    SCOPED_TRACE(label);
    f.addFile("a.jpg");
    f.press(Qt::Key_O, Qt::ControlModifier);
    f.quiesce();
    ASSERT_TRUE(f.model().plan().get());
    change();

    f.press(Qt::Key_Return);
    f.quiesce();
    QMessageBox* box = f.alert();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Sorting stopped");
    EXPECT_EQ(box->informativeText().toStdString(), f.folder() + " no longer exists");
    f.answerAlert("OK");
    EXPECT_EQ(f.model().phase().get(), Phase::review);
    EXPECT_NE(review(), nullptr) << "no result screen for a sort that never began";
    EXPECT_FALSE(f.model().lastRun().get());
    EXPECT_TRUE(f.model().history().get().empty());
    std::filesystem::remove_all(f.root() + "/home/Renamed");
    std::filesystem::create_directories(f.folder());
  }
}

}  // namespace
}  // namespace ombrix

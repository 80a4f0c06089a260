// The menu bar's commands, their titles, keys and states as the model and
// the preview list change.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "app/preview/preview_window.h"
#include "app/shell/app_delegate.h"
#include "app/shell/ombrix_commands.h"
#include "testing/shell_fixture.h"

namespace ombrix {
namespace {

using sortappkit::AppModel;
using Phase = AppModel::Phase;
using testing::ShellFixture;

std::vector<std::string> itemsOf(QMenu* menu) {
  std::vector<std::string> items;
  for (QAction* action : menu->actions()) {
    if (action->isSeparator()) continue;
    items.push_back(action->text().toStdString() + " " +
                    action->shortcut().toString(QKeySequence::PortableText).toStdString());
  }
  return items;
}

TEST(MenuCommandsTest, TheMenusHoldTheCommandsWithTheirKeysAndNoRedo) {
  ShellFixture f;
  f.start();
  std::vector<std::string> menus;
  std::vector<std::vector<std::string>> items;
  for (QAction* top : f.window().menuBar()->actions()) {
    menus.push_back(top->text().toStdString());
    items.push_back(itemsOf(top->menu()));
  }
  EXPECT_EQ(menus, (std::vector<std::string>{"&File", "&Edit", "&View"}));
  EXPECT_EQ(items, (std::vector<std::vector<std::string>>{
                       {"Choose Folder… Ctrl+O", "Rescan Ctrl+R", "Quit Ctrl+Q"},
                       {"Undo Ctrl+Z"},
                       {"Quick Look Ctrl+Y"}}));
}

TEST(MenuCommandsTest, TheUndoTitleNamesTheFilesOfTheMostRecentRunThatCanBeUndone) {
  ShellFixture f;
  f.addFile("a.jpg");
  f.replacePicker(f.folderURL());
  f.start();
  QAction* undo = f.window().commands()->undoAction();
  QAction* rescan = f.window().commands()->rescanAction();
  EXPECT_FALSE(rescan->isEnabled()) << "no folder yet";

  f.window().commands()->chooseFolderAction()->trigger();
  f.quiesce();
  EXPECT_TRUE(rescan->isEnabled());
  f.press(Qt::Key_Return);
  f.quiesce();
  EXPECT_EQ(undo->text(), "Undo Sorting 1 File");
  EXPECT_TRUE(undo->isEnabled());

  for (const char* name : {"b.jpg", "c.pdf", "d.mp3"}) f.addFile(name);
  rescan->trigger();
  f.quiesce();
  f.press(Qt::Key_Return);
  f.quiesce();
  EXPECT_EQ(undo->text(), "Undo Sorting 3 Files");

  undo->trigger();
  f.quiesce();
  EXPECT_EQ(undo->text(), "Undo Sorting 1 File") << "the run before is next";
  undo->trigger();
  f.quiesce();
  EXPECT_EQ(undo->text(), "Undo");
  EXPECT_FALSE(undo->isEnabled());
  EXPECT_TRUE(f.exists("a.jpg") && f.exists("d.mp3"));
}

TEST(MenuCommandsTest, QuickLookFollowsThePreviewListAndCtrlYTogglesThePreview) {
  ShellFixture f;
  const std::string path = f.addFile("notes.txt", "hello");
  f.start();
  QAction* quickLook = f.window().commands()->quickLookAction();
  OmbrixAppDelegate& delegate = f.app().delegate();
  EXPECT_EQ(OmbrixAppDelegate::current(), &delegate);
  EXPECT_FALSE(quickLook->isEnabled());
  f.press(Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(delegate.previewWindow(), nullptr) << "nothing to preview, so no window";

  delegate.setPreviewURLs({rozuzed::FileURL::fromPath(path)});
  EXPECT_TRUE(quickLook->isEnabled());
  f.press(Qt::Key_Y, Qt::ControlModifier);
  ASSERT_NE(delegate.previewWindow(), nullptr);
  EXPECT_TRUE(delegate.isPreviewVisible());
  EXPECT_EQ(delegate.previewWindow()->parentWidget(), &f.window());

  delegate.setPreviewURLs({});
  EXPECT_FALSE(quickLook->isEnabled());
  EXPECT_TRUE(delegate.isPreviewVisible()) << "the list changing does not close it";
  delegate.togglePreview();
  EXPECT_FALSE(delegate.isPreviewVisible()) << "hidden even with nothing to preview";
}

}  // namespace
}  // namespace ombrix

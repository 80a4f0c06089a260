// The folder dialog: one existing folder, our words and button, starting in
// Downloads.
#include "app/start/folder_picker.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <filesystem>

#include "testing/window_fixture.h"

namespace ombrix {
namespace {

const QString kMessage =
    QStringLiteral("Choose a folder for Ombrix to tidy. Nothing will move until you say so.");

QPushButton* acceptButton(QFileDialog& dialog) {
  auto* box = dialog.findChild<QDialogButtonBox*>();
  return box ? box->button(QDialogButtonBox::Open) : nullptr;
}

TEST(FolderPickerTest, TheDialogTakesOneExistingFolderAndSaysWhatItIsFor) {
  testing::WindowFixture f;
  std::unique_ptr<QFileDialog> dialog = FolderPicker::makeDialog(nullptr);
  EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
  EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
  EXPECT_TRUE(dialog->testOption(QFileDialog::ShowDirsOnly));
  EXPECT_TRUE(dialog->testOption(QFileDialog::ReadOnly));
  EXPECT_EQ(dialog->labelText(QFileDialog::Accept), "Choose");
  EXPECT_EQ(QDir(dialog->directory()).canonicalPath().toStdString(),
            std::filesystem::canonical(f.folder()).string());

  dialog->show();
  testing::settle();
  QLabel* message = nullptr;
  for (QLabel* label : dialog->findChildren<QLabel*>()) {
    if (label->text() == kMessage) message = label;
  }
  ASSERT_NE(message, nullptr);
  EXPECT_TRUE(message->isVisible());
  EXPECT_LT(message->geometry().top(), dialog->findChild<QLineEdit*>()->geometry().top())
      << "above the list and the name field";
  QPushButton* accept = acceptButton(*dialog);
  ASSERT_NE(accept, nullptr);
  EXPECT_EQ(accept->text(), "Choose");
  auto* newFolder = dialog->findChild<QWidget*>(QStringLiteral("newFolderButton"));
  EXPECT_TRUE(newFolder == nullptr || !newFolder->isVisible());
}

TEST(FolderPickerTest, NoTypeRowTheStandardPlacesAndColumnsThatShowTheirTitles) {
  testing::WindowFixture f;
  for (const char* folder : {"Music", "Documents"}) {
    std::filesystem::create_directories(f.root() + "/home/" + folder);
  }
  std::unique_ptr<QFileDialog> dialog = FolderPicker::makeDialog(nullptr);
  dialog->show();
  testing::settle();

  for (const char* name : {"fileTypeCombo", "fileTypeLabel"}) {
    auto* row = dialog->findChild<QWidget*>(QString::fromLatin1(name));
    EXPECT_TRUE(row == nullptr || !row->isVisible()) << name;
  }

  QStringList places;
  for (const QUrl& url : dialog->sidebarUrls()) {
    places << QDir(QDir::homePath()).relativeFilePath(url.toLocalFile());
  }
  // Only the standard folders there are, home first; Desktop, Pictures and
  // Videos are missing here.
  ASSERT_GE(places.size(), 4);
  EXPECT_EQ(places.mid(0, 4), QStringList({".", "Documents", "Downloads", "Music"}));

  auto* view = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
  ASSERT_NE(view, nullptr);
  QHeaderView* header = view->header();
  for (int section = 0; section < header->count(); ++section) {
    if (header->isSectionHidden(section)) continue;
    EXPECT_GE(header->sectionSize(section), header->sectionSizeHint(section))
        << header->model()->headerData(section, Qt::Horizontal).toString().toStdString();
  }
}

TEST(FolderPickerTest, WithoutADownloadsFolderItOpensWhereQtChooses) {
  testing::WindowFixture f;
  std::filesystem::remove_all(f.folder());
  std::unique_ptr<QFileDialog> dialog = FolderPicker::makeDialog(nullptr);
  EXPECT_NE(dialog->directory().absolutePath().toStdString(), f.folder());
}

TEST(FolderPickerTest, ChooseGivesThePickedFolderOrNoneWhenCancelled) {
  testing::WindowFixture f;
  const std::string inner = f.folder() + "/Inner";
  std::filesystem::create_directories(inner);

  // Answers the dialog once it is up: types a name and presses "Choose",
  // or cancels.
  auto answer = [](const QString& typed) {
    QTimer::singleShot(0, [typed] {
      testing::waitUntil(
          [] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); });
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      if (typed.isEmpty()) {
        dialog->reject();
        return;
      }
      dialog->findChild<QLineEdit*>()->setText(typed);
      acceptButton(*dialog)->click();
    });
  };

  answer(QStringLiteral("Inner"));
  std::optional<rozuzed::FileURL> chosen = FolderPicker::choose(nullptr);
  ASSERT_TRUE(chosen);
  EXPECT_EQ(std::filesystem::canonical(chosen->path()), std::filesystem::canonical(inner));
  EXPECT_TRUE(chosen->hasDirectoryPath());

  answer(QString());
  EXPECT_FALSE(FolderPicker::choose(nullptr));
}

}  // namespace
}  // namespace ombrix

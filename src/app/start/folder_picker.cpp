#include "app/start/folder_picker.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QSplitter>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTreeView>
#include <QUrl>
#include <algorithm>
#include <vector>

namespace ombrix {
namespace {

QString tr(const char* text) {
  return QCoreApplication::translate("ombrix::FolderPicker", text);
}

FolderPicker::Chooser& replacement() {
  static FolderPicker::Chooser chooser;
  return chooser;
}

// Puts `label` in a row of its own above everything else in the dialog.
void addAbove(QFileDialog& dialog, QLabel* label) {
  auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
  if (grid == nullptr) {
    if (dialog.layout() != nullptr) dialog.layout()->addWidget(label);
    return;
  }
  struct Placed {
    QLayoutItem* item;
    int row, column, rowSpan, columnSpan;
  };
  std::vector<Placed> placed;
  while (grid->count() > 0) {
    Placed each{};
    grid->getItemPosition(0, &each.row, &each.column, &each.rowSpan, &each.columnSpan);
    each.item = grid->takeAt(0);
    placed.push_back(each);
  }
  int columns = 1;
  for (const Placed& each : placed) columns = std::max(columns, each.column + each.columnSpan);
  grid->addWidget(label, 0, 0, 1, columns);
  for (const Placed& each : placed) {
    grid->addItem(each.item, each.row + 1, each.column, each.rowSpan, each.columnSpan);
  }
}

constexpr QSize kDialogSize{820, 520};
constexpr int kSidebarWidth = 170;

}  // namespace

QList<QUrl> FolderPicker::places() {
  QList<QUrl> urls;
  auto add = [&urls](const QString& path) {
    const QUrl url = QUrl::fromLocalFile(path);
    if (!path.isEmpty() && QFileInfo(path).isDir() && !urls.contains(url)) urls << url;
  };
  const QString home = QDir::homePath();
  add(home);
  for (QStandardPaths::StandardLocation location :
       {QStandardPaths::DesktopLocation, QStandardPaths::DocumentsLocation,
        QStandardPaths::DownloadLocation, QStandardPaths::MusicLocation,
        QStandardPaths::PicturesLocation, QStandardPaths::MoviesLocation}) {
    const QString path = QStandardPaths::writableLocation(location);
    // Without a folder of its own, a place is the home folder itself.
    if (QDir(path) != QDir(home)) add(path);
  }
  // Volumes the user mounted, where the desktop mounts them.
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    const QString root = volume.rootPath();
    const bool users = root.startsWith(QStringLiteral("/media/")) ||
                       root.startsWith(QStringLiteral("/run/media/")) ||
                       root.startsWith(QStringLiteral("/mnt/"));
    if (volume.isValid() && volume.isReady() && users) add(root);
  }
  return urls;
}

std::optional<rozuzed::FileURL> FolderPicker::choose(QWidget* parent) {
  if (replacement()) return replacement()(parent);
  return showDialog(parent);
}

void FolderPicker::replace(Chooser chooser) {
  replacement() = std::move(chooser);
}

std::unique_ptr<QFileDialog> FolderPicker::makeDialog(QWidget* parent) {
  auto dialog = std::make_unique<QFileDialog>(parent);
  dialog->setOption(QFileDialog::DontUseNativeDialog, true);
  dialog->setWindowTitle(tr("Choose Folder"));
  dialog->setFileMode(QFileDialog::Directory);
  dialog->setOption(QFileDialog::ShowDirsOnly, true);
  // Also takes away "New Folder", renaming and deleting.
  dialog->setOption(QFileDialog::ReadOnly, true);
  if (auto* newFolder = dialog->findChild<QWidget*>(QStringLiteral("newFolderButton"))) {
    newFolder->hide();
  }
  dialog->setLabelText(QFileDialog::Accept, tr("Choose"));

  auto* message = new QLabel(
      tr("Choose a folder for Ombrix to tidy. Nothing will move until you say so."), dialog.get());
  message->setObjectName(QStringLiteral("ombrix_message"));
  message->setWordWrap(true);
  addAbove(*dialog, message);

  // A folder is all it takes: no row for a type of file.
  for (const char* name : {"fileTypeCombo", "fileTypeLabel"}) {
    if (auto* widget = dialog->findChild<QWidget*>(QString::fromLatin1(name))) widget->hide();
  }
  dialog->setSidebarUrls(places());
  // Room for the places' names, with icons of the size of their text.
  if (auto* sidebar = dialog->findChild<QListView*>(QStringLiteral("sidebar"))) {
    sidebar->setIconSize(QSize(16, 16));
  }
  if (auto* splitter = dialog->findChild<QSplitter*>(QStringLiteral("splitter"))) {
    splitter->setSizes({kSidebarWidth, kDialogSize.width() - kSidebarWidth});
  }
  dialog->setViewMode(QFileDialog::Detail);
  // The name takes the room; the other columns as much as their text needs.
  if (auto* view = dialog->findChild<QTreeView*>(QStringLiteral("treeView"))) {
    QHeaderView* header = view->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    // A folder's size is not shown, so its column would stand empty.
    header->hideSection(1);
  }
  dialog->resize(kDialogSize);

  const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
  if (!downloads.isEmpty() && QDir(downloads).exists()) dialog->setDirectory(downloads);
  return dialog;
}

std::optional<rozuzed::FileURL> FolderPicker::showDialog(QWidget* parent) {
  std::unique_ptr<QFileDialog> dialog = makeDialog(parent);
  if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) {
    return std::nullopt;
  }
  return rozuzed::FileURL::fromPath(dialog->selectedFiles().front().toStdString(), true);
}

}  // namespace ombrix

#include "app/start/folder_picker.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QStandardPaths>
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

}  // namespace

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

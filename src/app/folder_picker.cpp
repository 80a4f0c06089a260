#include "app/folder_picker.h"

#include <QFileDialog>

namespace ombrix {
namespace {

FolderPicker::Chooser& replacement() {
  static FolderPicker::Chooser chooser;
  return chooser;
}

}  // namespace

std::optional<rozuzed::FileURL> FolderPicker::choose(QWidget* parent) {
  if (replacement()) return replacement()(parent);
  return showDialog(parent);
}

void FolderPicker::replace(Chooser chooser) {
  replacement() = std::move(chooser);
}

std::optional<rozuzed::FileURL> FolderPicker::showDialog(QWidget* parent) {
  QFileDialog dialog(parent);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return rozuzed::FileURL::fromPath(dialog.selectedFiles().front().toStdString(), true);
}

}  // namespace ombrix

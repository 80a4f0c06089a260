// The screen shown while the folder is being scanned.
#pragma once

#include <QWidget>
#include <optional>
#include <string>

class QLabel;

namespace ombrix {

class ScanningView : public QWidget {
  Q_OBJECT

 public:
  explicit ScanningView(QWidget* parent = nullptr);

  // The chosen folder's display name, or none.
  void setFolderName(const std::optional<std::string>& folderName);

 private:
  QLabel* text_ = nullptr;
};

}  // namespace ombrix

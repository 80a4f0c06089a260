// The screen shown while the folder is being scanned.
#pragma once

#include <QWidget>
#include <optional>
#include <string>

class QLabel;

namespace ombrix {

class BusySpinner;

// A spinner above "Looking through Downloads…" ("…the folder…" without a
// name), centred in all the room it is given.
class ScanningView : public QWidget {
  Q_OBJECT

 public:
  explicit ScanningView(QWidget* parent = nullptr);

  // The chosen folder's display name, or none.
  void setFolderName(const std::optional<std::string>& folderName);

 private:
  BusySpinner* spinner_ = nullptr;
  QLabel* text_ = nullptr;
};

// An indeterminate progress indicator drawn as a ring of fading spokes. It
// turns only while shown, and reads as a busy progress bar to assistive
// technology.
class BusySpinner : public QWidget {
  Q_OBJECT

 public:
  explicit BusySpinner(int diameter = 32, QWidget* parent = nullptr);

  QSize sizeHint() const override { return {diameter_, diameter_}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  int diameter_;
  int step_ = 0;
  int timer_ = 0;
};

}  // namespace ombrix

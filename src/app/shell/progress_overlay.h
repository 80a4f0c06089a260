// The card over the window while files are being moved.
#pragma once

#include <QPixmap>
#include <QWidget>
#include <optional>

#include "rozuzed/execution/execution_records.h"

class QLabel;
class QProgressBar;

namespace ombrix {

// Covers its parent entirely and follows its size: a slight dark backdrop
// that takes every mouse event, so nothing reaches the screen beneath, and a
// card in the middle with the title, a 280-pixel bar and, once a total is
// known, "3 of 10" and the name of the current file. The main window shows
// it only while a sort or an undo runs.
class ProgressOverlay : public QWidget {
  Q_OBJECT

 public:
  static constexpr int barWidth = 280;

  explicit ProgressOverlay(QWidget* parent = nullptr);

  // What it shows is a function of these two alone. The bar is indeterminate
  // without a progress value or with a total of 0, and then the count and
  // the file name are not shown.
  void setState(const QString& title, const std::optional<rozuzed::ExecutionProgress>& progress);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  QWidget* card_ = nullptr;
  QLabel* title_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QLabel* count_ = nullptr;
  QLabel* file_ = nullptr;
  QPixmap shadow_;
  QSize shadowSize_;
};

}  // namespace ombrix

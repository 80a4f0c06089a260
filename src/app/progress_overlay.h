// The card over the window while files are being moved.
#pragma once

#include <QWidget>
#include <optional>

#include "rozuzed/execution/execution_records.h"

namespace ombrix {

// Covers its parent entirely: the main window keeps it sized to the content
// area and shows it only while a sort or an undo runs.
class ProgressOverlay : public QWidget {
  Q_OBJECT

 public:
  explicit ProgressOverlay(QWidget* parent = nullptr);

  // What it shows is a function of these two alone.
  void setState(const QString& title, const std::optional<rozuzed::ExecutionProgress>& progress);
};

}  // namespace ombrix

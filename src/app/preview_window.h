// Stands in for the platform's shared preview panel: a tool window of our
// own that shows one file of a list at a time.
#pragma once

#include <QWidget>
#include <vector>

#include "rozuzed/support/file_url.h"

namespace ombrix {

class PreviewWindow : public QWidget {
  Q_OBJECT

 public:
  explicit PreviewWindow(QWidget* parent = nullptr);

  // Shows the list anew, keeping the position when it is still inside it.
  void reload(const std::vector<rozuzed::FileURL>& urls);

 private:
  std::vector<rozuzed::FileURL> urls_;
  int position_ = 0;
};

}  // namespace ombrix

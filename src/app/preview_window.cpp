#include "app/preview_window.h"

namespace ombrix {

PreviewWindow::PreviewWindow(QWidget* parent) : QWidget(parent, Qt::Tool) {}

void PreviewWindow::reload(const std::vector<rozuzed::FileURL>& urls) {
  urls_ = urls;
  if (position_ >= static_cast<int>(urls_.size())) position_ = 0;
}

}  // namespace ombrix

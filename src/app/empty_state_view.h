// The screen shown while no folder is chosen.
#pragma once

#include <QWidget>
#include <memory>

#include "sortappkit/app_model.h"

class QPushButton;

namespace ombrix {

class EmptyStateView : public QWidget {
  Q_OBJECT

 public:
  explicit EmptyStateView(std::shared_ptr<sortappkit::AppModel> model, QWidget* parent = nullptr);

  // "Choose Folder…", which Return presses.
  QPushButton* defaultButton() const { return chooseButton_; }

 private:
  std::shared_ptr<sortappkit::AppModel> model_;
  QPushButton* chooseButton_ = nullptr;
};

}  // namespace ombrix

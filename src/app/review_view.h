// The review screen: the planned moves by destination over the files left
// alone, and the bar that sorts the selected ones.
#pragma once

#include <QWidget>
#include <memory>

#include "sortappkit/app_model.h"

class QPushButton;

namespace ombrix {

class ReviewView : public QWidget {
  Q_OBJECT

 public:
  explicit ReviewView(std::shared_ptr<sortappkit::AppModel> model, QWidget* parent = nullptr);

  // "Sort N Files", which Return presses while it is enabled.
  QPushButton* defaultButton() const { return sortButton_; }

 private:
  std::shared_ptr<sortappkit::AppModel> model_;
  QPushButton* sortButton_ = nullptr;
};

}  // namespace ombrix

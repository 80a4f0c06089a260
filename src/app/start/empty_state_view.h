// The screen shown while no folder is chosen.
#pragma once

#include <QWidget>
#include <memory>

#include "app/shell/observations.h"
#include "sortappkit/app_model.h"

class QLabel;
class QPushButton;

namespace ombrix {

// Says what the application does and offers "Choose Folder…". Below it, a
// line counts the earlier runs that can still be undone, shown only while
// there are such runs and kept in step with the model's history.
class EmptyStateView : public QWidget {
  Q_OBJECT

 public:
  explicit EmptyStateView(std::shared_ptr<sortappkit::AppModel> model, QWidget* parent = nullptr);

  // "Choose Folder…", drawn as the default button; the main window routes
  // Return to it.
  QPushButton* defaultButton() const { return chooseButton_; }

 private:
  void chooseFolder();
  void showEarlierRuns(const std::vector<sortappkit::RunSummary>& history);

  std::shared_ptr<sortappkit::AppModel> model_;
  QPushButton* chooseButton_ = nullptr;
  QLabel* earlierRuns_ = nullptr;
  Observations observations_;
};

}  // namespace ombrix

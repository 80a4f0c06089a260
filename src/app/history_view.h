// The sheet of past runs, each of which can be undone.
#pragma once

#include <QDialog>
#include <memory>

#include "sortappkit/app_model.h"

namespace ombrix {

// Window-modal over its parent; reloads the history each time it is shown
// and closes itself when an undo started from it has finished.
class HistoryView : public QDialog {
  Q_OBJECT

 public:
  explicit HistoryView(std::shared_ptr<sortappkit::AppModel> model, QWidget* parent = nullptr);

 private:
  std::shared_ptr<sortappkit::AppModel> model_;
};

}  // namespace ombrix

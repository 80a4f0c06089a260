// The result screen: what the last sort moved, could not move and left alone.
#pragma once

#include <QWidget>
#include <memory>

#include "sortappkit/app_model.h"

class QPushButton;

namespace ombrix {

class ResultView : public QWidget {
  Q_OBJECT

 public:
  explicit ResultView(std::shared_ptr<sortappkit::AppModel> model, QWidget* parent = nullptr);

  // "Done", which Return presses.
  QPushButton* defaultButton() const { return doneButton_; }
  // "Undo"; shown only while the run on screen can be undone.
  QPushButton* undoButton() const { return undoButton_; }
  bool isUndoShown() const;

 signals:
  // The Undo button appeared or went.
  void undoShownChanged(bool shown);

 private:
  std::shared_ptr<sortappkit::AppModel> model_;
  QPushButton* doneButton_ = nullptr;
  QPushButton* undoButton_ = nullptr;
};

}  // namespace ombrix

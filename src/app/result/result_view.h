// The result screen: what the last sort moved, could not move and left alone.
#pragma once

#include <QWidget>
#include <memory>

#include "app/shell/observations.h"
#include "sortappkit/app_model.h"

class QLabel;
class QListView;
class QPushButton;

namespace ombrix {

class ResultListModel;

// Reads the model's last run and last undo and follows their changes: a
// header with the outcome's symbol, the title and at most one line (the undo
// summary, else the failure line), the list of files, and a bar with "Undo"
// (only while the run can be undone and no undo result is held) and "Done",
// which scans the folder again. Binds no key itself: the main window routes
// Return to "Done" and Ctrl+Z to "Undo" while it is shown.
class ResultView : public QWidget {
  Q_OBJECT

 public:
  explicit ResultView(std::shared_ptr<sortappkit::AppModel> model, QWidget* parent = nullptr);

  // "Done", drawn as the default button.
  QPushButton* defaultButton() const { return doneButton_; }
  // "Undo"; shown only while the run on screen can be undone.
  QPushButton* undoButton() const { return undoButton_; }
  bool isUndoShown() const;

 signals:
  // The Undo button appeared or went.
  void undoShownChanged(bool shown);

 private:
  void showRun();
  void showHeader();
  void showUndo();
  void undo();

  std::shared_ptr<sortappkit::AppModel> model_;
  QLabel* symbol_ = nullptr;
  QLabel* title_ = nullptr;
  QLabel* headerLine_ = nullptr;
  ResultListModel* rows_ = nullptr;
  QListView* list_ = nullptr;
  QPushButton* doneButton_ = nullptr;
  QPushButton* undoButton_ = nullptr;
  Observations observations_;
};

}  // namespace ombrix

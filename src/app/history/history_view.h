// The sheet of past runs, each of which can be undone.
#pragma once

#include <QDialog>
#include <memory>

#include "app/shell/observations.h"
#include "sortappkit/app_model.h"

class QPushButton;
class QStackedWidget;

namespace ombrix {

class HistoryListModel;
class HistoryListView;

// Window-modal over its parent, 520×380: "History" with "Done" (the default
// button, so Return closes the sheet), then the runs of the model's history
// in its order, or the "No runs yet" placeholder. Reloads the history each
// time it is shown and follows it as it changes. A row's Undo puts that
// run's files back and closes the sheet once the undo has ended, whatever
// its outcome. While a sort or an undo runs every Undo is disabled and the
// sheet stays.
class HistoryView : public QDialog {
  Q_OBJECT

 public:
  explicit HistoryView(std::shared_ptr<sortappkit::AppModel> model, QWidget* parent = nullptr);

  QPushButton* doneButton() const { return doneButton_; }
  HistoryListView* list() const { return list_; }

 protected:
  void showEvent(QShowEvent* event) override;
  // A sheet keeps its size: a request to maximise it is turned down.
  void changeEvent(QEvent* event) override;

 private:
  void showRuns(const std::vector<sortappkit::RunSummary>& runs);
  void undo(int row);

  std::shared_ptr<sortappkit::AppModel> model_;
  QPushButton* doneButton_ = nullptr;
  QStackedWidget* body_ = nullptr;
  QWidget* placeholder_ = nullptr;
  QWidget* runsPage_ = nullptr;
  HistoryListModel* runs_ = nullptr;
  HistoryListView* list_ = nullptr;
  Observations observations_;
};

}  // namespace ombrix

// The list of the history sheet, with a way to each row's Undo button by
// keyboard and through assistive technology.
#pragma once

#include <QListView>

namespace ombrix {

// Shows a HistoryListModel through a HistoryRowDelegate. A row's Undo is
// pressed by a click on its button, by Space on the current row, or by the
// press action of the row's button as assistive technology sees it: each row
// is an accessible list item holding an "Undo" button while the run can be
// undone. Return is left to the dialog, whose default button it presses.
class HistoryListView : public QListView {
  Q_OBJECT

 public:
  explicit HistoryListView(QWidget* parent = nullptr);

  // Asks for the undo of the run on `row`, if its Undo can be pressed now.
  void requestUndo(int row);

 signals:
  void undoRequested(int row);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace ombrix

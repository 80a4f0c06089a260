// The review's table of planned moves, one section per destination group.
#pragma once

#include <QPersistentModelIndex>
#include <QTreeView>

namespace ombrix {

class MovesTableModel;

// A tree view over a MovesTableModel with every group open and its header
// row drawn across the whole row. The highlight is the view's own row
// selection (any number of move rows; headers are never highlighted).
// Clicking a checkbox changes the model's selection and leaves the
// highlight alone. Space is always taken: it asks for the highlighted rows
// to be toggled, or, with nothing highlighted and the keyboard on a header
// row, for that group's checkbox to be clicked.
class MovesTableView : public QTreeView {
  Q_OBJECT

 public:
  explicit MovesTableView(QWidget* parent = nullptr);

  void setMovesModel(MovesTableModel* model);

  // Clicks the checkbox at `index` (a header's or a move's) as the mouse
  // would.
  void clickCheckBox(const QModelIndex& index);

 signals:
  void toggleHighlightedRequested();

 protected:
  // The focus is a ring around the current move's row, or around a group
  // heading's checkbox, which is all that the keyboard works on there.
  void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                   const QList<int>& roles) override;

 private:
  // The index whose checkbox lies under `point`, or none.
  QModelIndex checkBoxAt(const QPoint& point) const;
  void openGroups();

  MovesTableModel* moves_ = nullptr;
  QPersistentModelIndex pressedCheckBox_;
};

}  // namespace ombrix

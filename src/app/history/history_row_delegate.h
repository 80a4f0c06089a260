// Draws the rows of the history sheet and presses their Undo buttons.
#pragma once

#include <QPersistentModelIndex>
#include <QStyledItemDelegate>

namespace ombrix {

// Over a HistoryListModel: the date line above the dimmed subtitle on the
// left; on the right the row's own "Undo" button, or the dimmed "Undone"
// mark. The button is drawn, not a widget: a click on it is taken here and
// announced through `undoClicked`.
class HistoryRowDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  // Where a row of `rowRect` draws its Undo button in `view`.
  static QRect undoButtonRect(const QRect& rowRect, const QWidget* view);

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 signals:
  void undoClicked(const QModelIndex& index);

 protected:
  bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

 private:
  QPersistentModelIndex pressed_;
};

}  // namespace ombrix

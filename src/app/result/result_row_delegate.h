// Draws the rows of the result screen's list.
#pragma once

#include <QStyledItemDelegate>

namespace ombrix {

// Over a ResultListModel. A section row is its title above the section's
// box. A moved file: its icon, its name cut in the middle, and on the right
// a folder symbol with the destination, dimmed. A failed move: a warning
// symbol and the name, the message below in small dimmed type. A file left
// alone: its icon, its name and the explanation, dimmed, on one line.
class ResultRowDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace ombrix

// Draws the rows of the moves table: group headers across the row, and the
// cells of each move.
#pragma once

#include <QStyledItemDelegate>

#include "app/review/group_header.h"

namespace ombrix {

// Over a MovesTableModel. The name cell holds, left to right and 6 pixels
// apart: the file's icon, its name cut in the middle when too long, the
// "→ new name" mark when the file is being renamed, and the other-volume
// symbol; each mark explains itself in a tooltip.
class MovesTableDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  static constexpr int rowHeight = 24;
  static constexpr int spacing = 6;
  static constexpr int iconSize = 16;

  using QStyledItemDelegate::QStyledItemDelegate;

  // Where the parts of a name cell go.
  struct NameLayout {
    QRect icon;
    QRect name;
    QString shownName;
    QRect renamed;
    QString shownRenamed;
    QRect crossVolume;
  };
  static NameLayout layoutName(const QStyleOptionViewItem& option, const QModelIndex& index);

  // The checkbox of a move row's check cell, or of a header row: both sit
  // in the same place.
  static QRect checkBoxRect(const QStyleOptionViewItem& option) {
    return GroupHeader::checkBoxRect(option);
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override;

 protected:
  // Clicks and keys are the table's to handle.
  bool editorEvent(QEvent*, QAbstractItemModel*, const QStyleOptionViewItem&,
                   const QModelIndex&) override {
    return false;
  }

 private:
  void paintCheck(QPainter* painter, const QStyleOptionViewItem& option,
                  const QModelIndex& index) const;
  void paintName(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const;
};

}  // namespace ombrix

#include "app/review/moves_table_delegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include "app/common/symbols.h"
#include "app/review/moves_table_model.h"

namespace ombrix {
namespace {

bool isHeader(const QModelIndex& index) {
  return !index.parent().isValid();
}

const QStyle* styleOf(const QStyleOptionViewItem& option) {
  return option.widget ? option.widget->style() : QApplication::style();
}

QColor textColor(const QStyleOptionViewItem& option, bool secondary) {
  if (option.state & QStyle::State_Selected) {
    return option.palette.color(QPalette::HighlightedText);
  }
  return secondary ? secondaryColor() : option.palette.color(QPalette::Text);
}

}  // namespace

MovesTableDelegate::NameLayout MovesTableDelegate::layoutName(const QStyleOptionViewItem& option,
                                                              const QModelIndex& index) {
  NameLayout layout;
  const QRect cell = option.rect;
  const QFontMetrics metrics(option.font);
  const int middle = cell.top() + cell.height() / 2;
  int x = cell.left() + 4;
  layout.icon = QRect(x, middle - iconSize / 2, iconSize, iconSize);
  x += iconSize + spacing;

  const QString name = index.data(Qt::DisplayRole).toString();
  const QString renamedTo = index.data(MovesTableModel::renamedToRole).toString();
  const QString renamed = renamedTo.isEmpty() ? QString() : MovesTableModel::renamedMark(renamedTo);
  const bool crossVolume = index.data(MovesTableModel::crossVolumeRole).toBool();

  const int right = cell.right() - 4;
  int marks = 0;
  if (!renamed.isEmpty()) marks += spacing + metrics.horizontalAdvance(renamed);
  if (crossVolume) marks += spacing + iconSize;
  // The name gives way first, down to a few letters; then the new name.
  const int nameRoom = std::max(right - x - marks, std::min(metrics.horizontalAdvance(name), 48));
  layout.shownName = metrics.elidedText(name, Qt::ElideMiddle, nameRoom);
  const int nameWidth = metrics.horizontalAdvance(layout.shownName);
  layout.name = QRect(x, cell.top(), nameWidth, cell.height());
  x += nameWidth;

  if (!renamed.isEmpty()) {
    x += spacing;
    const int room = std::max(right - x - (crossVolume ? spacing + iconSize : 0), 0);
    layout.shownRenamed = metrics.elidedText(renamed, Qt::ElideRight, room);
    const int width = metrics.horizontalAdvance(layout.shownRenamed);
    layout.renamed = QRect(x, cell.top(), width, cell.height());
    x += width;
  }
  if (crossVolume) {
    x += spacing;
    layout.crossVolume = QRect(x, middle - iconSize / 2, iconSize, iconSize);
  }
  return layout;
}

void MovesTableDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
  if (isHeader(index)) {
    GroupHeader::paint(painter, option, index);
    return;
  }
  switch (index.column()) {
    case MovesTableModel::checkColumn:
      paintCheck(painter, option, index);
      return;
    case MovesTableModel::nameColumn:
      paintName(painter, option, index);
      return;
    default: {
      QStyleOptionViewItem cell = option;
      initStyleOption(&cell, index);
      // The view rings the whole row; a cell draws no focus of its own.
      cell.state &= ~QStyle::State_HasFocus;
      if (cell.state & QStyle::State_Selected) {
        cell.palette.setColor(QPalette::Text, option.palette.color(QPalette::HighlightedText));
      }
      styleOf(option)->drawControl(QStyle::CE_ItemViewItem, &cell, painter, option.widget);
    }
  }
}

void MovesTableDelegate::paintCheck(QPainter* painter, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
  QStyleOptionViewItem cell = option;
  initStyleOption(&cell, index);
  const QStyle* style = styleOf(option);
  style->drawPrimitive(QStyle::PE_PanelItemViewItem, &cell, painter, option.widget);
  QStyleOptionViewItem check = cell;
  check.rect = checkBoxRect(option);
  check.state &=
      ~(QStyle::State_On | QStyle::State_Off | QStyle::State_NoChange | QStyle::State_HasFocus);
  check.state |=
      index.data(Qt::CheckStateRole).toInt() == Qt::Checked ? QStyle::State_On : QStyle::State_Off;
  style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &check, painter, option.widget);
}

void MovesTableDelegate::paintName(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
  QStyleOptionViewItem cell = option;
  initStyleOption(&cell, index);
  styleOf(option)->drawPrimitive(QStyle::PE_PanelItemViewItem, &cell, painter, option.widget);

  const NameLayout layout = layoutName(option, index);
  painter->save();
  painter->setFont(option.font);
  qvariant_cast<QIcon>(index.data(Qt::DecorationRole)).paint(painter, layout.icon);
  painter->setPen(textColor(option, false));
  painter->drawText(layout.name, Qt::AlignVCenter | Qt::AlignLeft, layout.shownName);
  if (!layout.renamed.isNull()) {
    painter->setPen(textColor(option, true));
    painter->drawText(layout.renamed, Qt::AlignVCenter | Qt::AlignLeft, layout.shownRenamed);
  }
  if (!layout.crossVolume.isNull()) {
    symbolIcon(Symbol::otherVolume, textColor(option, true)).paint(painter, layout.crossVolume);
  }
  painter->restore();
}

QSize MovesTableDelegate::sizeHint(const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
  QSize size = QStyledItemDelegate::sizeHint(option, index);
  size.setHeight(rowHeight);
  return size;
}

bool MovesTableDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                   const QStyleOptionViewItem& option, const QModelIndex& index) {
  if (event->type() == QEvent::ToolTip && !isHeader(index) &&
      index.column() == MovesTableModel::nameColumn) {
    const NameLayout layout = layoutName(option, index);
    QString help;
    if (layout.renamed.contains(event->pos())) help = MovesTableModel::renamedHelp();
    if (layout.crossVolume.contains(event->pos())) help = MovesTableModel::crossVolumeHelp();
    if (!help.isEmpty()) {
      QToolTip::showText(event->globalPos(), help, view);
      return true;
    }
    QToolTip::hideText();
    event->ignore();
    return true;
  }
  return QStyledItemDelegate::helpEvent(event, view, option, index);
}

}  // namespace ombrix

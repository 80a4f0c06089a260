#include "app/review/group_header.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

#include "app/common/symbols.h"
#include "app/review/moves_table_model.h"

namespace ombrix {

using sortappkit::GroupSelectionState;

QRect GroupHeader::checkBoxRect(const QStyleOptionViewItem& option) {
  const QRect& cell = option.rect;
  const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
  const int width = style->pixelMetric(QStyle::PM_IndicatorWidth, &option, option.widget);
  const int height = style->pixelMetric(QStyle::PM_IndicatorHeight, &option, option.widget);
  return {cell.left() + (checkColumnWidth - width) / 2, cell.top() + (cell.height() - height) / 2,
          width, height};
}

void GroupHeader::paint(QPainter* painter, const QStyleOptionViewItem& option,
                        const QModelIndex& index) {
  const QWidget* widget = option.widget;
  const QStyle* style = widget ? widget->style() : QApplication::style();
  const QRect rect = option.rect;
  painter->save();

  painter->fillRect(rect, option.palette.color(QPalette::Window));
  painter->setPen(option.palette.color(QPalette::Midlight));
  painter->drawLine(rect.bottomLeft(), rect.bottomRight());

  const auto state =
      static_cast<GroupSelectionState>(index.data(MovesTableModel::groupStateRole).toInt());
  QStyleOptionViewItem check = option;
  check.rect = checkBoxRect(option);
  check.state &= ~(QStyle::State_On | QStyle::State_Off | QStyle::State_NoChange |
                   QStyle::State_Selected | QStyle::State_HasFocus);
  check.state |= state == GroupSelectionState::all     ? QStyle::State_On
                 : state == GroupSelectionState::mixed ? QStyle::State_NoChange
                                                       : QStyle::State_Off;
  style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &check, painter, widget);

  int x = rect.left() + checkColumnWidth + spacing / 2;
  // A change of the group's state draws the header again around its
  // checkbox only; its folder and texts then lie outside what is drawn.
  if (painter->hasClipping() && !painter->clipBoundingRect().intersects(
                                    QRectF(x, rect.top(), rect.right() - x, rect.height()))) {
    painter->restore();
    return;
  }
  const int middle = rect.top() + rect.height() / 2;
  const QColor secondary = secondaryColor();
  symbolIcon(Symbol::folder, secondary)
      .paint(painter, QRect(x, middle - symbolSize / 2, symbolSize, symbolSize));
  x += symbolSize + spacing;

  const QString summary = index.data(MovesTableModel::summaryRole).toString();
  const QFontMetrics plain(option.font);
  const int summaryWidth = plain.horizontalAdvance(summary);
  QFont bold = option.font;
  bold.setBold(true);
  const QFontMetrics boldMetrics(bold);
  const int room = rect.right() - x - spacing - summaryWidth - spacing;
  const QString name = boldMetrics.elidedText(index.data(Qt::DisplayRole).toString(),
                                              Qt::ElideMiddle, std::max(room, 40));
  const int nameWidth = boldMetrics.horizontalAdvance(name);

  painter->setFont(bold);
  painter->setPen(option.palette.color(QPalette::Text));
  painter->drawText(QRect(x, rect.top(), nameWidth, rect.height()), Qt::AlignVCenter, name);
  x += nameWidth + spacing;

  painter->setFont(option.font);
  painter->setPen(secondary);
  painter->drawText(QRect(x, rect.top(), std::max(rect.right() - x, 0), rect.height()),
                    Qt::AlignVCenter, plain.elidedText(summary, Qt::ElideRight, rect.right() - x));

  painter->restore();
}

}  // namespace ombrix

#include "app/common/focus_ring_style.h"

#include <QPainter>
#include <QStyleOption>

namespace ombrix {

void FocusRingStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                   QPainter* painter, const QWidget* widget) const {
  if (element != PE_FrameFocusRect) {
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    return;
  }
  // Whether the focus came by keyboard or was put there for the next step,
  // the user has to see where Return and space will go.
  const bool onHighlight = option->state & State_Selected;
  paintFocusRing(painter, option->rect, option->palette, onHighlight);
}

void paintFocusRing(QPainter* painter, const QRect& rect, const QPalette& palette, bool onHighlight,
                    double radius) {
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  QPen pen(palette.color(onHighlight ? QPalette::HighlightedText : QPalette::Highlight));
  pen.setWidthF(2);
  painter->setPen(pen);
  painter->setBrush(Qt::NoBrush);
  painter->drawRoundedRect(QRectF(rect).adjusted(1, 1, -1, -1), radius, radius);
  painter->restore();
}

}  // namespace ombrix

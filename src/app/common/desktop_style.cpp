#include "app/common/desktop_style.h"

#include <QPainter>
#include <QStyleOption>
#include <algorithm>

namespace ombrix {

void DesktopStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
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

namespace {

// Qt's own gap between a tool button's icon and its label.
constexpr int kQtIconTextGap = 4;

const QStyleOptionToolButton* besideIcon(const QStyleOption* option) {
  const auto* button = qstyleoption_cast<const QStyleOptionToolButton*>(option);
  if (button == nullptr || button->toolButtonStyle != Qt::ToolButtonTextBesideIcon ||
      button->icon.isNull() || button->text.isEmpty()) {
    return nullptr;
  }
  return button;
}

}  // namespace

void DesktopStyle::drawControl(ControlElement element, const QStyleOption* option,
                               QPainter* painter, const QWidget* widget) const {
  const QStyleOptionToolButton* button =
      element == CE_ToolButtonLabel ? besideIcon(option) : nullptr;
  if (button == nullptr) {
    QProxyStyle::drawControl(element, option, painter, widget);
    return;
  }
  QRect rect = button->rect;
  if (button->state & (State_Sunken | State_On)) {
    rect.translate(proxy()->pixelMetric(PM_ButtonShiftHorizontal, option, widget),
                   proxy()->pixelMetric(PM_ButtonShiftVertical, option, widget));
  }
  const bool enabled = button->state & State_Enabled;
  const QIcon::Mode mode = !enabled ? QIcon::Disabled
                           : (button->state & State_MouseOver) && (button->state & State_AutoRaise)
                               ? QIcon::Active
                               : QIcon::Normal;
  const QSize iconSize = button->iconSize;
  const int textWidth = button->fontMetrics.horizontalAdvance(button->text);
  const int contentWidth = iconSize.width() + iconTextGap + textWidth;
  const int left = rect.left() + std::max(0, (rect.width() - contentWidth) / 2);
  const QRect iconRect(left, rect.top() + (rect.height() - iconSize.height()) / 2, iconSize.width(),
                       iconSize.height());
  button->icon.paint(painter, iconRect, Qt::AlignCenter, mode,
                     button->state & State_On ? QIcon::On : QIcon::Off);
  const QRect textRect(iconRect.right() + 1 + iconTextGap, rect.top(),
                       std::max(0, rect.right() - iconRect.right() - iconTextGap), rect.height());
  painter->setFont(button->font);
  proxy()->drawItemText(painter, textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic,
                        button->palette, enabled, button->text, QPalette::ButtonText);
}

QSize DesktopStyle::sizeFromContents(ContentsType type, const QStyleOption* option,
                                     const QSize& size, const QWidget* widget) const {
  QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
  if (type == CT_ToolButton && besideIcon(option)) {
    result.rwidth() += iconTextGap - kQtIconTextGap;
  }
  return result;
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

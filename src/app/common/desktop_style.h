// The application's style: the platform's own, with what the desktop's own
// applications do differently. The keyboard focus is a ring in the accent
// colour that stays visible on a default button and wherever the focus
// rests; a tool button leaves the desktop's gap between its icon and label.
#pragma once

#include <QProxyStyle>

namespace ombrix {

class DesktopStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;

  static constexpr int iconTextGap = 6;

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget = nullptr) const override;
  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                         const QWidget* widget = nullptr) const override;
};

// A 2-pixel ring just inside `rect`: the highlight colour, or the highlighted
// text's colour on a highlighted row, where the highlight would hide it.
void paintFocusRing(QPainter* painter, const QRect& rect, const QPalette& palette, bool onHighlight,
                    double radius = 4);

}  // namespace ombrix

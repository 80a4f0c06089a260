// The application's style: the platform's own, with the keyboard focus drawn
// as the desktop draws it, a ring in the accent colour that stays visible on
// a default button and wherever the focus rests.
#pragma once

#include <QProxyStyle>

namespace ombrix {

class FocusRingStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
};

// A 2-pixel ring just inside `rect`: the highlight colour, or the highlighted
// text's colour on a highlighted row, where the highlight would hide it.
void paintFocusRing(QPainter* painter, const QRect& rect, const QPalette& palette, bool onHighlight,
                    double radius = 4);

}  // namespace ombrix

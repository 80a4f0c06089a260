// What a widget draws, recorded instead of drawn: the texts with their
// colours, the pictures, and what it asks its style to draw with the states
// it asks for. Tests check what a delegate draws through it without
// comparing pixels with stored pictures.
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <QStyle>
#include <optional>
#include <vector>

#include "app/common/symbols.h"

class QWidget;

namespace ombrix::testing {

struct DrawnText {
  QString text;
  // Where its baseline starts, in the recorded widget's coordinates.
  QPointF at;
  QColor color;
  bool bold = false;
};

struct DrawnPicture {
  // In the recorded widget's coordinates.
  QRect rect;
  QImage image;
};

// A primitive or a control drawn by the style on the recorded widget's
// behalf, with the state and the place it was asked for.
struct DrawnElement {
  enum class Kind { primitive, control };
  Kind kind;
  int element;
  QStyle::State state;
  QRect rect;
  // A push button's title; empty for everything else.
  QString text;
};

struct PaintRecord {
  std::vector<DrawnText> texts;
  std::vector<DrawnPicture> pictures;
  std::vector<DrawnElement> elements;

  // What lies, wholly or in part, within `area`.
  PaintRecord within(const QRect& area) const;
  std::vector<DrawnElement> primitives(QStyle::PrimitiveElement element) const;
  std::vector<DrawnElement> controls(QStyle::ControlElement element) const;
  QStringList textList() const;

 private:
  std::vector<DrawnElement> ofKind(DrawnElement::Kind kind, int element) const;
};

// Paints `widget` with everything in it into the record. The style of
// `widget` is wrapped in a recording one for the time of the paint, so what
// it or its delegates ask of `widget->style()` is recorded; the paint itself
// goes to a recording device, so nothing reaches a screen.
PaintRecord recordPaint(QWidget* widget);

// The colour `image` shows `symbol` in, as symbolIcon(symbol, color) draws
// it; absent when it has another shape. Symbols a theme draws alike cannot
// be told apart.
std::optional<QColor> colorOfSymbol(const QImage& image, Symbol symbol);

}  // namespace ombrix::testing

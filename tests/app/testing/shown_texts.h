// What a widget shows as text, read from its own painting: each text with
// the colour it is drawn in and the colour of what lies under it, so a test
// can judge contrast as a reader would, from the palette and style in use.
#pragma once

#include <QColor>
#include <QPalette>
#include <QString>
#include <vector>

class QWidget;

namespace ombrix::testing {

struct ShownText {
  QString text;
  QColor color;       // opaque: the pen blended over the background
  QColor background;  // opaque: every fill under the text's middle, blended in order
  double pointSize = 0;
  bool bold = false;
};

// Renders `widget` with its children through a recording paint engine. Texts
// of disabled widgets are left out: they are not meant to be read as such.
std::vector<ShownText> shownTexts(QWidget* widget);

// A dark palette as a dark desktop theme gives one.
QPalette darkPalette();

}  // namespace ombrix::testing

// The window's symbols: each chosen once here as a freedesktop icon name,
// with a Qt standard icon for a theme that lacks it.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPalette>

class QWidget;

namespace ombrix {

enum class Symbol {
  chooseFolder,   // the empty state's large symbol
  folder,         // a destination folder, the toolbar's folder button
  history,        // the toolbar's History button
  rescan,         // the toolbar's Rescan button
  nothingToSort,  // the review's empty placeholder
  success,        // the result header when nothing failed
  failure,        // the result header when something failed
  failedRow,      // a row that could not be moved
  otherVolume,    // a move to another volume
  leftAlone,      // the skipped pane's header
  noRuns,         // the history's empty placeholder
  undone,         // a history row that is fully put back
};

// Never a null icon: the theme's icon, else Qt's standard one, in the
// window's text colour, as a symbolic icon is drawn (the theme's own are
// dark, and vanish on a dark window).
QIcon symbolIcon(Symbol symbol);

// The symbol redrawn in one colour (a symbolic icon takes the colour of its
// text: dimmed, green, orange). Made once per symbol and colour and kept, so
// a row's paint may ask for it; main thread only.
QIcon symbolIcon(Symbol symbol, const QColor& color);

// The dimmed foreground colour of secondary texts and symbols: the window's
// text faded toward the window, no further than stays readable (at least
// 4.5:1) on the window, on a view's base and on its alternate rows.
QColor secondaryColor();

// Dimmer still, for remarks below the main content, and as readable.
QColor tertiaryColor();

// `text` faded toward `background` as far as it still reads at `ratio`
// against it; for a dimmed text on a coloured row, such as a highlight.
QColor dimmedOn(const QColor& text, const QColor& background, double ratio);

// The WCAG contrast ratio of two opaque colours, from 1 to 21.
double contrastRatio(const QColor& a, const QColor& b);

// `palette` with the few colours a theme may leave unreadable made readable:
// the link colour (Qt's default is pure blue) and the highlight behind
// highlighted text, each at least 4.5:1 against what it is drawn on.
QPalette readablePalette(QPalette palette);

// Draws the widget's own text (a label's) in `color`.
void setTextColor(QWidget* widget, const QColor& color);

// Points the icon theme at the one installed with the application's
// dependencies when the desktop names none, so icons show under any session.
void useInstalledIconTheme();

}  // namespace ombrix

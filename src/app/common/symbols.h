// The window's symbols: each chosen once here as a freedesktop icon name,
// with a Qt standard icon for a theme that lacks it.
#pragma once

#include <QColor>
#include <QIcon>

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

// Never a null icon: the theme's icon, else Qt's standard one.
QIcon symbolIcon(Symbol symbol);

// The symbol redrawn in one colour (a symbolic icon takes the colour of its
// text: dimmed, green, orange). Made once per symbol and colour and kept, so
// a row's paint may ask for it; main thread only.
QIcon symbolIcon(Symbol symbol, const QColor& color);

// The dimmed foreground colour of secondary texts and symbols.
QColor secondaryColor();

// Dimmer still, for remarks below the main content.
QColor tertiaryColor();

// Draws the widget's own text (a label's) in `color`.
void setTextColor(QWidget* widget, const QColor& color);

// Points the icon theme at the one installed with the application's
// dependencies when the desktop names none, so icons show under any session.
void useInstalledIconTheme();

}  // namespace ombrix

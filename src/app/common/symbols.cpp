#include "app/common/symbols.h"

#include <QApplication>
#include <QHash>
#include <QPainter>
#include <QPalette>
#include <QStandardPaths>
#include <QStyle>
#include <QWidget>

namespace ombrix {
namespace {

struct SymbolSource {
  const char* themeName;
  QStyle::StandardPixmap standard;
};

SymbolSource sourceOf(Symbol symbol) {
  switch (symbol) {
    case Symbol::chooseFolder:
      return {"folder-open-symbolic", QStyle::SP_DirOpenIcon};
    case Symbol::folder:
      return {"folder-symbolic", QStyle::SP_DirIcon};
    case Symbol::history:
      return {"document-open-recent-symbolic", QStyle::SP_BrowserReload};
    case Symbol::rescan:
      return {"view-refresh-symbolic", QStyle::SP_BrowserReload};
    case Symbol::nothingToSort:
      return {"object-select-symbolic", QStyle::SP_DialogApplyButton};
    case Symbol::success:
      return {"emblem-ok-symbolic", QStyle::SP_DialogApplyButton};
    case Symbol::failure:
      return {"dialog-warning-symbolic", QStyle::SP_MessageBoxWarning};
    case Symbol::failedRow:
      return {"dialog-warning-symbolic", QStyle::SP_MessageBoxWarning};
    case Symbol::otherVolume:
      return {"drive-harddisk-symbolic", QStyle::SP_DriveHDIcon};
    case Symbol::leftAlone:
      return {"action-unavailable-symbolic", QStyle::SP_BrowserStop};
    case Symbol::noRuns:
      return {"document-open-recent-symbolic", QStyle::SP_FileDialogInfoView};
    case Symbol::undone:
      return {"edit-undo-symbolic", QStyle::SP_ArrowBack};
  }
  return {"", QStyle::SP_FileIcon};
}

// The icon redrawn in one colour, at each size a window of ours draws.
QIcon tinted(const QIcon& icon, const QColor& color) {
  QIcon result;
  for (int size : {8, 12, 16, 22, 24, 28, 32, 48, 52, 64, 96, 128}) {
    QPixmap pixmap = icon.pixmap(size, size);
    if (pixmap.isNull()) continue;
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), color);
    painter.end();
    result.addPixmap(pixmap);
  }
  return result.isNull() ? icon : result;
}

}  // namespace

QIcon symbolIcon(Symbol symbol) {
  const SymbolSource source = sourceOf(symbol);
  QIcon icon = QIcon::fromTheme(QString::fromLatin1(source.themeName));
  if (icon.isNull()) icon = QApplication::style()->standardIcon(source.standard);
  return icon;
}

QIcon symbolIcon(Symbol symbol, const QColor& color) {
  static QHash<std::pair<int, QRgb>, QIcon> made;
  const std::pair<int, QRgb> key{static_cast<int>(symbol), color.rgba()};
  if (auto found = made.constFind(key); found != made.constEnd()) return *found;
  return *made.insert(key, tinted(symbolIcon(symbol), color));
}

QColor secondaryColor() {
  return QApplication::palette().color(QPalette::PlaceholderText);
}

QColor tertiaryColor() {
  QColor color = QApplication::palette().color(QPalette::WindowText);
  color.setAlphaF(0.38f);
  return color;
}

void setTextColor(QWidget* widget, const QColor& color) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, color);
  widget->setPalette(palette);
}

void useInstalledIconTheme() {
  // Platforms without a desktop theme (offscreen, minimal) search Qt's
  // resources only; the installed themes live in the XDG data folders.
  QStringList paths = QIcon::themeSearchPaths();
  for (const QString& folder :
       QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"),
                                 QStandardPaths::LocateDirectory)) {
    if (!paths.contains(folder)) paths << folder;
  }
  QIcon::setThemeSearchPaths(paths);
  QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
  const QString current = QIcon::themeName();
  if (current.isEmpty() || current == QStringLiteral("hicolor")) {
    QIcon::setThemeName(QStringLiteral("Adwaita"));
  }
}

}  // namespace ombrix

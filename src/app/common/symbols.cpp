#include "app/common/symbols.h"

#include <QApplication>
#include <QHash>
#include <QPainter>
#include <QPalette>
#include <QStandardPaths>
#include <QStyle>
#include <QWidget>
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

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
  return symbolIcon(symbol, QApplication::palette().color(QPalette::WindowText));
}

QIcon symbolIcon(Symbol symbol, const QColor& color) {
  static QHash<std::pair<int, QRgb>, QIcon> made;
  const std::pair<int, QRgb> key{static_cast<int>(symbol), color.rgba()};
  if (auto found = made.constFind(key); found != made.constEnd()) return *found;
  const SymbolSource source = sourceOf(symbol);
  QIcon icon = QIcon::fromTheme(QString::fromLatin1(source.themeName));
  if (icon.isNull()) icon = QApplication::style()->standardIcon(source.standard);
  return *made.insert(key, tinted(icon, color));
}

namespace {

constexpr double kReadable = 4.5;

double luminance(const QColor& color) {
  auto linear = [](double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
  };
  const QColor rgb = color.toRgb();
  return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

QColor mixed(const QColor& from, const QColor& to, double toward) {
  const QColor a = from.toRgb();
  const QColor b = to.toRgb();
  auto channel = [toward](double x, double y) { return qRound((x + (y - x) * toward) * 255); };
  return QColor(channel(a.redF(), b.redF()), channel(a.greenF(), b.greenF()),
                channel(a.blueF(), b.blueF()));
}

double worstContrast(const QColor& color, std::initializer_list<QColor> backgrounds) {
  double worst = 21;
  for (const QColor& background : backgrounds) {
    worst = std::min(worst, contrastRatio(color, background));
  }
  return worst;
}

// `text` faded toward `toward` in small steps while it still reads at
// `ratio` on every one of `backgrounds`.
QColor faded(const QColor& text, const QColor& toward, double ratio,
             std::initializer_list<QColor> backgrounds) {
  QColor best = text;
  for (int step = 1; step <= 50; ++step) {
    const QColor candidate = mixed(text, toward, step / 50.0);
    if (worstContrast(candidate, backgrounds) < ratio) break;
    best = candidate;
  }
  return best;
}

// `color` moved toward black or white, whichever lies away from the
// backgrounds, until it reads at `ratio` on each of them.
QColor strengthened(const QColor& color, double ratio, std::initializer_list<QColor> backgrounds) {
  double light = 0;
  for (const QColor& background : backgrounds) light += luminance(background);
  const QColor away =
      light / static_cast<double>(backgrounds.size()) > 0.18 ? Qt::black : Qt::white;
  for (int step = 0; step <= 50; ++step) {
    const QColor candidate = mixed(color, away, step / 50.0);
    if (worstContrast(candidate, backgrounds) >= ratio) return candidate;
  }
  return away;
}

QColor dimmedText(const QPalette& palette, QPalette::ColorGroup group, double ratio) {
  const QColor window = palette.color(group, QPalette::Window);
  return faded(palette.color(group, QPalette::WindowText), window, ratio,
               {window, palette.color(group, QPalette::Base),
                palette.color(group, QPalette::AlternateBase)});
}

// dimmedText of the application's active palette at one ratio, found again
// only when the colours it is made from change: every painted row asks for
// it, and the search measures contrast some hundred times.
class ApplicationDimmedText {
 public:
  explicit ApplicationDimmedText(double ratio) : ratio_(ratio) {}

  QColor get() {
    const QPalette palette = QApplication::palette();
    const std::array<QColor, 4> from = {palette.color(QPalette::Active, QPalette::WindowText),
                                        palette.color(QPalette::Active, QPalette::Window),
                                        palette.color(QPalette::Active, QPalette::Base),
                                        palette.color(QPalette::Active, QPalette::AlternateBase)};
    if (!found_ || from != from_) {
      found_ = dimmedText(palette, QPalette::Active, ratio_);
      from_ = from;
    }
    return *found_;
  }

 private:
  double ratio_;
  std::array<QColor, 4> from_;
  std::optional<QColor> found_;
};

}  // namespace

double contrastRatio(const QColor& a, const QColor& b) {
  const double first = luminance(a);
  const double second = luminance(b);
  return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

QColor dimmedOn(const QColor& text, const QColor& background, double ratio) {
  return faded(text, background, ratio, {background});
}

// A little above the least readable ratio, so the two dimmed levels differ.
QColor secondaryColor() {
  thread_local ApplicationDimmedText secondary(kReadable + 1);
  return secondary.get();
}

QColor tertiaryColor() {
  thread_local ApplicationDimmedText tertiary(kReadable + 0.1);
  return tertiary.get();
}

QPalette readablePalette(QPalette palette) {
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    const QColor window = palette.color(group, QPalette::Window);
    const QColor base = palette.color(group, QPalette::Base);
    QColor link = palette.color(group, QPalette::Link);
    // Qt's own default; the desktop's links are its accent blue.
    if (link == QColor(Qt::blue)) {
      link = luminance(window) > 0.18 ? QColor(0x1a, 0x5f, 0xb4) : QColor(0x99, 0xc1, 0xf1);
    }
    palette.setColor(group, QPalette::Link, strengthened(link, kReadable + 0.1, {window, base}));
    const QColor highlightedText = palette.color(group, QPalette::HighlightedText);
    const QColor highlight = palette.color(group, QPalette::Highlight);
    // The highlight gives way, not its text: the colour still tells a
    // highlighted row apart.
    palette.setColor(group, QPalette::Highlight,
                     strengthened(highlight, kReadable + 0.1, {highlightedText}));
    palette.setColor(group, QPalette::PlaceholderText, dimmedText(palette, group, kReadable + 0.1));
  }
  return palette;
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

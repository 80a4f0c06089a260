#include "app/common/texts.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLocale>
#include <QTranslator>
#include <algorithm>

namespace ombrix {
namespace {

// "%Ln" writes the count as the locale groups it ("5,000"); the plural form
// follows the number itself.
QString counted(const char* key, int64_t count) {
  return QCoreApplication::translate("Ombrix", key, nullptr, static_cast<int>(count));
}

}  // namespace

QString formatByteCount(int64_t bytes) {
  if (bytes == 0) return QCoreApplication::translate("Ombrix", "Zero bytes");
  // Qt's own text says "1 bytes"; below a kilobyte the noun agrees with the
  // count.
  if (bytes > 0 && bytes < 1000) return counted("%Ln byte(s)", bytes);
  return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

void installTranslations(QCoreApplication& app) {
  auto* translator = new QTranslator(&app);
  if (translator->load(QLocale(), QStringLiteral("ombrix"), QStringLiteral("_"),
                       QStringLiteral(":/i18n")) ||
      translator->load(QStringLiteral(":/i18n/ombrix_en.qm"))) {
    QCoreApplication::installTranslator(translator);
  } else {
    delete translator;
  }
}

QFont textFont(TextStyle style, std::optional<QFont::Weight> weight) {
  QFont font = QApplication::font();
  double scale = 1.0;
  QFont::Weight ownWeight = QFont::Normal;
  switch (style) {
    case TextStyle::title2:
      scale = 1.45;
      break;
    case TextStyle::title3:
      scale = 1.25;
      break;
    case TextStyle::headline:
      ownWeight = QFont::Bold;
      break;
    case TextStyle::body:
      break;
    case TextStyle::callout:
      scale = 0.95;
      break;
    case TextStyle::footnote:
    case TextStyle::caption:
      scale = 0.85;
      break;
  }
  // Small texts stop at the desktop's small font, which is meant to be the
  // least that reads comfortably.
  const QFont smallest = QFontDatabase::systemFont(QFontDatabase::SmallestReadableFont);
  if (font.pointSizeF() > 0) {
    const double least = std::min(font.pointSizeF(), smallest.pointSizeF());
    font.setPointSizeF(std::max(font.pointSizeF() * scale, least));
  } else {
    const int least = std::min(font.pixelSize(), smallest.pixelSize());
    font.setPixelSize(std::max(qRound(font.pixelSize() * scale), least));
  }
  font.setWeight(weight.value_or(ownWeight));
  return font;
}

QString elided(const QFontMetrics& metrics, const QString& text, Qt::TextElideMode mode,
               int width) {
  if (metrics.horizontalAdvance(text) <= width) return text;
  return metrics.elidedText(text, mode, width);
}

QFont withMonospacedDigits(const QFont& font) {
  const QFontMetricsF metrics(font);
  const double zero = metrics.horizontalAdvance(QLatin1Char('0'));
  for (char digit = '1'; digit <= '9'; ++digit) {
    if (metrics.horizontalAdvance(QLatin1Char(digit)) != zero) {
      QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
      if (font.pointSizeF() > 0) {
        fixed.setPointSizeF(font.pointSizeF());
      } else {
        fixed.setPixelSize(font.pixelSize());
      }
      fixed.setWeight(font.weight());
      return fixed;
    }
  }
  return font;
}

namespace texts {

QString number(int64_t count) {
  return QLocale().toString(static_cast<qlonglong>(count));
}

QString files(int64_t count) {
  return counted("%Ln file(s)", count);
}

QString filesLeftAlone(int64_t count) {
  return counted("%Ln file(s) left alone", count);
}

QString selectedOfFiles(int64_t selected, int64_t total) {
  return counted("%1 of %Ln file(s) selected", total).arg(number(selected));
}

QString earlierRunsCanBeUndone(int64_t count) {
  return counted("%Ln earlier run(s) can still be undone from History.", count);
}

QString groupSummary(int64_t count, const QString& size) {
  return counted("%Ln file(s) · %1", count).arg(size);
}

QString filesCouldNotBeMoved(int64_t count) {
  return counted(
      "%Ln file(s) could not be moved. Nothing was lost — they are still where they were.", count);
}

QString sortedFiles(int64_t count) {
  return counted("Sorted %Ln file(s)", count);
}

QString putFilesBack(int64_t count) {
  return counted("Put %Ln file(s) back.", count);
}

QString filesHadMoved(int64_t count) {
  return counted(
      "%Ln file(s) had already moved. They are all accounted for, and you can put them back.",
      count);
}

QString filesUntouched(int64_t count) {
  return counted("%Ln file(s) had not been touched.", count);
}

QString filesUnaccounted(int64_t count) {
  return counted("%Ln file(s) could not be accounted for and were left exactly as they are:",
                 count);
}

}  // namespace texts
}  // namespace ombrix

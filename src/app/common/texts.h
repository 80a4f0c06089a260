// The window's texts that hold a count, and the shared ways of showing
// names and sizes.
//
// Counted phrases are translated with Qt's plural forms, in one context
// ("Ombrix"), so another language needs only a translation file; the English
// one supplies "1 file" / "3 files". Phrases whose plural is a plain "s"
// suffix are composed in code where they are used.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>

class QCoreApplication;

namespace ombrix {

inline QString qs(const std::string& text) {
  return QString::fromStdString(text);
}

// A file size in decimal units as Linux file managers show it: "532 bytes",
// "1.2 MB", and zero as "Zero bytes".
QString formatByteCount(int64_t bytes);

// Loads the translation that matches the user's locale, else the English
// one, which carries the plural forms. Call once, after the application
// object exists.
void installTranslations(QCoreApplication& app);

// The named text styles, as sizes relative to the application font.
enum class TextStyle { title2, title3, headline, body, callout, footnote, caption };

// The application font in `style`; `weight` overrides the style's own (the
// headline is bold, the others normal).
QFont textFont(TextStyle style, std::optional<QFont::Weight> weight = std::nullopt);

// `text` cut to `width` pixels with an ellipsis where `mode` says, and only
// when it does not fit: Qt's own eliding may cut a text of exactly that width.
QString elided(const QFontMetrics& metrics, const QString& text, Qt::TextElideMode mode, int width);

// `font`, or a font of its size whose digits all take the same width when
// its own digits differ, so a changing count does not make its line jitter.
QFont withMonospacedDigits(const QFont& font);

namespace texts {

// A count as the user's locale writes it, digits grouped: "5,000".
QString number(int64_t count);

QString files(int64_t count);                              // "3 files"
QString filesLeftAlone(int64_t count);                     // "3 files left alone"
QString selectedOfFiles(int64_t selected, int64_t total);  // "2 of 3 files selected"
QString earlierRunsCanBeUndone(
    int64_t count);  // "2 earlier runs can still be undone from History."
QString groupSummary(int64_t count, const QString& size);  // "3 files · 1.2 MB"
QString filesCouldNotBeMoved(int64_t count);  // "3 files could not be moved. Nothing was lost — …"
QString sortedFiles(int64_t count);           // "Sorted 3 files"
QString putFilesBack(int64_t count);          // "Put 3 files back."
QString filesHadMoved(int64_t count);         // "3 files had already moved. They are …"
QString filesUntouched(int64_t count);        // "3 files had not been touched."
QString filesUnaccounted(int64_t count);      // "3 files could not be accounted for and …:"

}  // namespace texts
}  // namespace ombrix

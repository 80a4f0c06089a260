#include "app/history/history_list_model.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QStringList>
#include <cmath>

#include "app/common/inset_list_style.h"
#include "app/common/texts.h"

namespace ombrix {
namespace {

// The locale's long date without its weekday and with the month's short
// name: Qt offers no medium date format of its own.
QString abbreviatedDateFormat(const QLocale& locale) {
  QString format = locale.dateFormat(QLocale::LongFormat);
  static const QRegularExpression leadingWeekday(QStringLiteral("^dddd?[\\s,.]*"));
  static const QRegularExpression weekday(QStringLiteral("[\\s,.]*dddd?"));
  format.remove(leadingWeekday);
  format.remove(weekday);
  format.replace(QStringLiteral("MMMM"), QStringLiteral("MMM"));
  return format.trimmed();
}

// The locale's short time; some locales keep seconds in it.
QString hoursAndMinutesFormat(const QLocale& locale) {
  QString format = locale.timeFormat(QLocale::ShortFormat);
  static const QRegularExpression seconds(QStringLiteral("[:.]ss?"));
  format.remove(seconds);
  return format.trimmed();
}

}  // namespace

HistoryListModel::HistoryListModel(QObject* parent) : QAbstractListModel(parent) {}

void HistoryListModel::setRuns(std::vector<sortappkit::RunSummary> runs) {
  beginResetModel();
  runs_ = std::move(runs);
  endResetModel();
}

void HistoryListModel::setUndoAllowed(bool allowed) {
  if (allowed == undoAllowed_) return;
  undoAllowed_ = allowed;
  if (!runs_.empty()) emit dataChanged(index(0), index(rowCount() - 1), {UndoEnabledRole});
}

const sortappkit::RunSummary* HistoryListModel::run(int row) const {
  if (row < 0 || row >= rowCount()) return nullptr;
  return &runs_[static_cast<std::size_t>(row)];
}

QString HistoryListModel::dateLine(rozuzed::Date performedAt) {
  const QLocale locale;
  const QDateTime when =
      QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(performedAt * 1000)));
  return locale.toString(
      when, abbreviatedDateFormat(locale) + QLatin1Char(' ') + hoursAndMinutesFormat(locale));
}

QString HistoryListModel::subtitle(const sortappkit::RunSummary& run) {
  QStringList parts{texts::files(run.movedCount)};
  if (const auto name = run.folderName()) parts << qs(*name);
  if (run.undoneCount > 0 && !run.isFullyUndone()) {
    parts << texts::number(run.undoneCount) + QStringLiteral(" already put back");
  }
  return parts.join(QStringLiteral(" · "));
}

int HistoryListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(runs_.size());
}

QVariant HistoryListModel::data(const QModelIndex& index, int role) const {
  const sortappkit::RunSummary* summary = run(index.row());
  if (!index.isValid() || summary == nullptr) return {};
  switch (role) {
    case Qt::DisplayRole:
      return dateLine(summary->performedAt);
    case SubtitleRole:
      return subtitle(*summary);
    case CanUndoRole:
      // A run still under way has files to put back once it ends.
      return summary->canUndo() || summary->isRunning;
    case UndoEnabledRole:
      return undoAllowed_ && summary->canUndo();
    case PlaceRole:
      return static_cast<int>(insetPlace(static_cast<std::size_t>(index.row()), runs_.size()));
    case Qt::AccessibleTextRole: {
      QString text = dateLine(summary->performedAt) + QStringLiteral(", ") + subtitle(*summary);
      if (!data(index, CanUndoRole).toBool()) text += QStringLiteral(", ") + tr("Undone");
      return text;
    }
    default:
      return {};
  }
}

}  // namespace ombrix

// The rows of the history sheet: one per past run.
#pragma once

#include <QAbstractListModel>
#include <optional>
#include <vector>

#include "rozuzed/support/dates.h"
#include "sortappkit/view_models/run_summary.h"

namespace ombrix {

// Over the model's history, in its order. The display role is the run's date
// line; the accessible text holds every text the row shows ("Undone" for a
// run with nothing left to put back).
class HistoryListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  enum Role {
    SubtitleRole = Qt::UserRole + 1,  // "3 files · Downloads · 1 already put back"
    CanUndoRole,                      // bool: the row shows "Undo", else "Undone"
    UndoEnabledRole,                  // bool: its "Undo" can be pressed now
    PlaceRole,                        // InsetPlace, as int
  };

  explicit HistoryListModel(QObject* parent = nullptr);

  void setRuns(std::vector<sortappkit::RunSummary> runs);
  const sortappkit::RunSummary* run(int row) const;
  // While a sort or an undo runs no Undo can be pressed.
  void setUndoAllowed(bool allowed);

  // When the run started, in the user's locale and time zone: abbreviated
  // month, day and year, then hours and minutes.
  static QString dateLine(rozuzed::Date performedAt);
  // The file count, the folder's name when known and, while only some of
  // the files are back, how many are; joined with " · ".
  static QString subtitle(const sortappkit::RunSummary& run);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  std::vector<sortappkit::RunSummary> runs_;
  bool undoAllowed_ = true;
};

}  // namespace ombrix

// The rows of the result screen's list: one section row before each
// non-empty group of files.
#pragma once

#include <QAbstractListModel>
#include <vector>

#include "app/common/inset_list_style.h"
#include "sortappkit/view_models/run_result.h"

namespace ombrix {

// A flat list over one run's result: "Moved", "Could not be moved" and
// "Left alone", each present only when it has rows, each followed by its
// rows in the run's order. Section rows are headings, not to be selected.
// Every row exposes what it shows through the display and accessible-text
// roles.
class ResultListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  enum class Kind { section, moved, failed, leftAlone };
  enum Role {
    KindRole = Qt::UserRole + 1,  // Kind, as int
    DetailRole,                   // destination name, failure message or explanation
    PlaceRole,                    // InsetPlace of a file row, as int
  };

  explicit ResultListModel(QObject* parent = nullptr);

  // Shows the rows of `run`, or none. Kept by reference, not copied (a
  // run over a whole folder is large): `run` must stay as it is until the
  // next call.
  void setRun(const sortappkit::RunResult* run);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  struct Row {
    Kind kind;
    std::size_t item;  // the position in the run's list of that kind
    InsetPlace place;
  };

  QString title(const Row& row) const;
  QString detail(const Row& row) const;
  QIcon icon(const Row& row) const;
  void pathIconReady(const QString& path);

  const sortappkit::RunResult* run_ = nullptr;
  std::vector<Row> rows_;
};

}  // namespace ombrix

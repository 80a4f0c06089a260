// The review table's rows: a header row per destination group with the
// group's moves under it, over the application model's plan and selection.
#pragma once

#include <QAbstractItemModel>
#include <compare>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sortappkit/app_model.h"

namespace ombrix {

// A two-level tree: the top level holds one header row per group of the
// plan, in order, and each header holds the group's moves, in order. The
// check column is the model's `selection`; writing it calls the model's
// selection operations. Header rows cannot be highlighted.
//
// The rows are read from the application model's plan as it stands. It
// holds no rows until the owner first calls `reload()`, which it calls again
// whenever the plan changes, and `selectionChanged()` whenever the
// selection does. Main thread only.
class MovesTableModel : public QAbstractItemModel {
  Q_OBJECT

 public:
  enum Column { checkColumn, nameColumn, sizeColumn, ruleColumn };
  static constexpr int columns = 4;
  enum Role {
    // Header rows: the group's GroupSelectionState as an int.
    groupStateRole = Qt::UserRole + 1,
    // Header rows: "3 files · 1.2 MB".
    summaryRole,
    // Move rows, name column: the new name when the file is being renamed,
    // else nothing.
    renamedToRole,
    // Move rows, name column: true for a move to another volume.
    crossVolumeRole,
  };

  // Where a move row lies: its group and its place in the group. Ordered
  // as the rows are shown.
  struct RowRef {
    uint32_t group;
    uint32_t row;
    auto operator<=>(const RowRef&) const = default;
  };

  explicit MovesTableModel(std::shared_ptr<sortappkit::AppModel> model, QObject* parent = nullptr);

  // Takes the model's plan anew: a reset of every row.
  void reload();

  // The model's selection has changed. With `touched`, only those rows can
  // have changed (their keys' other rows are found here); without, every
  // row is compared with what was shown. Emits dataChanged for the rows
  // whose check changed and for their headers, nothing else.
  void selectionChanged(const std::vector<RowRef>* touched = nullptr);

  // The next selection change is the one the screen is making to the rows
  // given (until `endOwnChange`), so only they are compared.
  void beginOwnChange(std::vector<RowRef> rows);
  void endOwnChange();

  const sortappkit::PlanViewModel* plan() const;
  // The move row or the group at `index`, or none.
  const sortappkit::MoveRow* moveRow(const QModelIndex& index) const;
  const sortappkit::DestinationGroup* group(const QModelIndex& index) const;
  std::optional<RowRef> rowRef(const QModelIndex& index) const;
  QModelIndex indexOf(RowRef ref, int column = checkColumn) const;
  QModelIndex groupIndex(uint32_t group, int column = checkColumn) const;
  // Where `index` is shown, counted from the top, in a view with every
  // group open.
  std::optional<int> displayRow(const QModelIndex& index) const;

  // The new-name mark ("→ a 2.jpg") and the marks' help texts.
  static QString renamedMark(const QString& newName);
  static QString renamedHelp();
  static QString crossVolumeHelp();

  // The selected moves, counted as the model counts them.
  std::size_t selectedCount() const { return selectedTotal_; }

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& index) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  QVariant groupData(uint32_t group, int column, int role) const;
  QVariant moveData(RowRef ref, int column, int role) const;
  sortappkit::GroupSelectionState stateOf(uint32_t group) const;
  std::size_t flatIndex(RowRef ref) const { return groupStart_[ref.group] + ref.row; }
  // Every row whose key is one of the keys of `rows`.
  std::vector<RowRef> sharingKeys(std::vector<RowRef> rows) const;
  void rebuildIndex();

  std::shared_ptr<sortappkit::AppModel> model_;
  // Of the plan as last reloaded.
  std::optional<rozuzed::Uuid> shownPlan_;
  std::vector<std::size_t> groupStart_;
  std::vector<uint8_t> selected_;
  std::vector<std::size_t> groupSelected_;
  std::vector<int64_t> groupBytes_;
  std::size_t selectedTotal_ = 0;
  // Rows that share a key with an earlier row (sources that differ only in
  // letter case): the next row of the same key, or none.
  std::unordered_map<std::size_t, RowRef> nextSameKey_;
  std::unordered_map<std::string_view, RowRef> firstOfKey_;
  std::optional<std::vector<RowRef>> ownChange_;
};

}  // namespace ombrix

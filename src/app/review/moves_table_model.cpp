#include "app/review/moves_table_model.h"

#include <QCoreApplication>
#include <algorithm>

#include "app/common/file_icon.h"
#include "app/common/symbols.h"
#include "app/common/texts.h"

namespace ombrix {

using sortappkit::DestinationGroup;
using sortappkit::GroupSelectionState;
using sortappkit::MoveRow;
using sortappkit::PlanViewModel;

namespace {

// Top-level rows carry this internal id; a move row carries its group's
// position plus one.
constexpr quintptr headerId = 0;

Qt::CheckState checkStateOf(GroupSelectionState state) {
  switch (state) {
    case GroupSelectionState::all:
      return Qt::Checked;
    case GroupSelectionState::mixed:
      return Qt::PartiallyChecked;
    case GroupSelectionState::none:
      break;
  }
  return Qt::Unchecked;
}

}  // namespace

MovesTableModel::MovesTableModel(std::shared_ptr<sortappkit::AppModel> model, QObject* parent)
    : QAbstractItemModel(parent), model_(std::move(model)) {}

const PlanViewModel* MovesTableModel::plan() const {
  const auto& plan = model_->plan().get();
  return plan ? &*plan : nullptr;
}

void MovesTableModel::reload() {
  beginResetModel();
  groupStart_.clear();
  groupSelected_.clear();
  groupBytes_.clear();
  selected_.clear();
  selectedTotal_ = 0;
  shownPlan_.reset();
  if (const PlanViewModel* current = plan()) {
    shownPlan_ = current->id;
    const auto& selection = model_->selection().get();
    groupStart_.reserve(current->groups.size() + 1);
    groupStart_.push_back(0);
    for (const auto& group : current->groups) {
      groupStart_.push_back(groupStart_.back() + group.rows.size());
    }
    selected_.reserve(groupStart_.back());
    groupSelected_.reserve(current->groups.size());
    groupBytes_.reserve(current->groups.size());
    for (const auto& group : current->groups) {
      std::size_t count = 0;
      int64_t bytes = 0;
      for (const auto& row : group.rows) {
        const bool on = selection.isSelected(row.key);
        selected_.push_back(on ? 1 : 0);
        count += on ? 1 : 0;
        bytes += row.size;
      }
      groupSelected_.push_back(count);
      groupBytes_.push_back(bytes);
      selectedTotal_ += count;
    }
  }
  rebuildIndex();
  endResetModel();
}

void MovesTableModel::rebuildIndex() {
  firstOfKey_.clear();
  firstOfKey_.rehash(0);
  nextSameKey_.clear();
  const PlanViewModel* current = plan();
  // Without shared keys every row is its key's only row, and a whole
  // folder's index would hold the window for nothing.
  if (!current || !current->sharesKeys) return;
  firstOfKey_.reserve(selected_.size());
  std::unordered_map<std::string_view, RowRef> lastOfKey;
  for (uint32_t g = 0; g < current->groups.size(); ++g) {
    const auto& rows = current->groups[g].rows;
    for (uint32_t r = 0; r < rows.size(); ++r) {
      const RowRef ref{g, r};
      auto [found, inserted] = firstOfKey_.try_emplace(rows[r].key.value, ref);
      if (inserted) continue;
      // A key seen before: chain this row behind the last row of that key.
      const auto last = lastOfKey.try_emplace(rows[r].key.value, found->second).first;
      nextSameKey_.emplace(flatIndex(last->second), ref);
      last->second = ref;
    }
  }
}

std::vector<MovesTableModel::RowRef> MovesTableModel::sharingKeys(std::vector<RowRef> rows) const {
  if (nextSameKey_.empty()) return rows;
  const PlanViewModel* current = plan();
  std::vector<RowRef> out;
  std::vector<uint8_t> seen(selected_.size(), 0);
  for (const RowRef& ref : rows) {
    const auto first = firstOfKey_.find(current->groups[ref.group].rows[ref.row].key.value);
    if (first == firstOfKey_.end()) continue;
    for (std::optional<RowRef> at = first->second; at;) {
      if (!seen[flatIndex(*at)]) {
        seen[flatIndex(*at)] = 1;
        out.push_back(*at);
      }
      const auto next = nextSameKey_.find(flatIndex(*at));
      at = next == nextSameKey_.end() ? std::nullopt : std::optional<RowRef>(next->second);
    }
  }
  return out;
}

void MovesTableModel::beginOwnChange(std::vector<RowRef> rows) {
  ownChange_ = sharingKeys(std::move(rows));
}

void MovesTableModel::endOwnChange() {
  ownChange_.reset();
}

void MovesTableModel::selectionChanged(const std::vector<RowRef>* touched) {
  const PlanViewModel* current = plan();
  // A plan that has just replaced the one shown is taken whole by reload().
  if (!current || current->id != shownPlan_) return;
  if (!touched && ownChange_) touched = &*ownChange_;
  const auto& selection = model_->selection().get();

  std::vector<uint8_t> groupTouched(groupSelected_.size(), 0);
  auto compare = [&](RowRef ref) {
    const std::size_t flat = flatIndex(ref);
    const bool on = selection.isSelected(current->groups[ref.group].rows[ref.row].key);
    if (on == static_cast<bool>(selected_[flat])) return false;
    selected_[flat] = on ? 1 : 0;
    if (on) {
      ++groupSelected_[ref.group];
      ++selectedTotal_;
    } else {
      --groupSelected_[ref.group];
      --selectedTotal_;
    }
    groupTouched[ref.group] = 1;
    return true;
  };

  std::vector<RowRef> changed;
  if (touched) {
    for (const RowRef& ref : *touched) {
      if (compare(ref)) changed.push_back(ref);
    }
    std::sort(changed.begin(), changed.end());
  } else {
    for (uint32_t g = 0; g < current->groups.size(); ++g) {
      const auto rows = static_cast<uint32_t>(current->groups[g].rows.size());
      for (uint32_t r = 0; r < rows; ++r) {
        if (compare({g, r})) changed.push_back({g, r});
      }
    }
  }
  // Each run of neighbouring rows is one signal.
  for (std::size_t first = 0; first < changed.size();) {
    std::size_t last = first;
    while (last + 1 < changed.size() && changed[last + 1].group == changed[first].group &&
           changed[last + 1].row == changed[last].row + 1) {
      ++last;
    }
    emit dataChanged(indexOf(changed[first]), indexOf(changed[last]), {Qt::CheckStateRole});
    first = last + 1;
  }
  for (uint32_t g = 0; g < groupTouched.size(); ++g) {
    if (!groupTouched[g]) continue;
    const QModelIndex header = groupIndex(g);
    emit dataChanged(header, header,
                     {Qt::CheckStateRole, groupStateRole, Qt::AccessibleDescriptionRole});
  }
}

GroupSelectionState MovesTableModel::stateOf(uint32_t group) const {
  const std::size_t count = groupSelected_[group];
  const std::size_t rows = groupStart_[group + 1] - groupStart_[group];
  if (count == 0) return GroupSelectionState::none;
  return count == rows ? GroupSelectionState::all : GroupSelectionState::mixed;
}

const MoveRow* MovesTableModel::moveRow(const QModelIndex& index) const {
  const auto ref = rowRef(index);
  if (!ref) return nullptr;
  return &plan()->groups[ref->group].rows[ref->row];
}

const DestinationGroup* MovesTableModel::group(const QModelIndex& index) const {
  if (!index.isValid() || index.internalId() != headerId || index.model() != this) return nullptr;
  const PlanViewModel* current = plan();
  if (!current || static_cast<std::size_t>(index.row()) >= current->groups.size()) return nullptr;
  return &current->groups[index.row()];
}

std::optional<MovesTableModel::RowRef> MovesTableModel::rowRef(const QModelIndex& index) const {
  if (!index.isValid() || index.internalId() == headerId || index.model() != this) {
    return std::nullopt;
  }
  const PlanViewModel* current = plan();
  const auto group = static_cast<uint32_t>(index.internalId() - 1);
  if (!current || group >= current->groups.size() ||
      static_cast<std::size_t>(index.row()) >= current->groups[group].rows.size()) {
    return std::nullopt;
  }
  return RowRef{group, static_cast<uint32_t>(index.row())};
}

QModelIndex MovesTableModel::indexOf(RowRef ref, int column) const {
  return createIndex(static_cast<int>(ref.row), column, static_cast<quintptr>(ref.group) + 1);
}

QModelIndex MovesTableModel::groupIndex(uint32_t group, int column) const {
  return createIndex(static_cast<int>(group), column, headerId);
}

std::optional<int> MovesTableModel::displayRow(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this || groupStart_.empty()) return std::nullopt;
  if (index.internalId() == headerId) {
    const auto group = static_cast<std::size_t>(index.row());
    if (group + 1 >= groupStart_.size()) return std::nullopt;
    return static_cast<int>(group + groupStart_[group]);
  }
  const auto group = static_cast<std::size_t>(index.internalId() - 1);
  if (group + 1 >= groupStart_.size()) return std::nullopt;
  return static_cast<int>(group + groupStart_[group] + 1 + static_cast<std::size_t>(index.row()));
}

QModelIndex MovesTableModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || column < 0 || column >= columns || row >= rowCount(parent)) return {};
  if (!parent.isValid()) return groupIndex(static_cast<uint32_t>(row), column);
  return indexOf({static_cast<uint32_t>(parent.row()), static_cast<uint32_t>(row)}, column);
}

QModelIndex MovesTableModel::parent(const QModelIndex& index) const {
  if (!index.isValid() || index.internalId() == headerId) return {};
  return groupIndex(static_cast<uint32_t>(index.internalId() - 1));
}

int MovesTableModel::rowCount(const QModelIndex& parent) const {
  if (groupStart_.empty()) return 0;
  if (!parent.isValid()) return static_cast<int>(groupStart_.size() - 1);
  if (parent.internalId() != headerId || parent.column() != 0) return 0;
  const auto group = static_cast<std::size_t>(parent.row());
  return static_cast<int>(groupStart_[group + 1] - groupStart_[group]);
}

int MovesTableModel::columnCount(const QModelIndex&) const {
  return columns;
}

QVariant MovesTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || groupStart_.empty()) return {};
  if (index.internalId() == headerId) {
    if (group(index) == nullptr) return {};
    return groupData(static_cast<uint32_t>(index.row()), index.column(), role);
  }
  const auto ref = rowRef(index);
  if (!ref) return {};
  return moveData(*ref, index.column(), role);
}

QVariant MovesTableModel::groupData(uint32_t g, int column, int role) const {
  const DestinationGroup& group = plan()->groups[g];
  const GroupSelectionState state = stateOf(g);
  const auto summary = [&] {
    return texts::groupSummary(static_cast<int64_t>(group.rows.size()),
                               formatByteCount(groupBytes_[g]));
  };
  if (column == checkColumn) {
    switch (role) {
      case Qt::DisplayRole:
      case Qt::AccessibleTextRole:
        return qs(group.displayName);
      case Qt::CheckStateRole:
        return checkStateOf(state);
      case Qt::AccessibleDescriptionRole:
        // Assistive technology hears a partly checked box as unchecked.
        return state == GroupSelectionState::mixed ? tr("some files selected") : QString();
      case groupStateRole:
        return static_cast<int>(state);
      case summaryRole:
        return summary();
      default:
        return {};
    }
  }
  // Hidden under the header's span; read only by assistive technology.
  if (column == nameColumn && (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)) {
    return summary();
  }
  return {};
}

QVariant MovesTableModel::moveData(RowRef ref, int column, int role) const {
  const MoveRow& row = plan()->groups[ref.group].rows[ref.row];
  switch (column) {
    case checkColumn:
      if (role == Qt::CheckStateRole)
        return selected_[flatIndex(ref)] ? Qt::Checked : Qt::Unchecked;
      if (role == Qt::AccessibleTextRole) return qs(row.name);
      return {};
    case nameColumn:
      switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
          return qs(row.name);
        case Qt::DecorationRole:
          return FileIcon::icon(row.sourceURL);
        case renamedToRole:
          if (auto renamed = row.renamedTo()) return qs(*renamed);
          return {};
        case crossVolumeRole:
          return row.isCrossVolume;
        case Qt::AccessibleDescriptionRole: {
          QStringList marks;
          if (auto renamed = row.renamedTo()) {
            marks << renamedMark(qs(*renamed)) << renamedHelp();
          }
          if (row.isCrossVolume) marks << crossVolumeHelp();
          return marks.join(QLatin1Char(' '));
        }
        default:
          return {};
      }
    case sizeColumn:
      if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
        return formatByteCount(row.size);
      }
      if (role == Qt::ForegroundRole) return secondaryColor();
      return {};
    case ruleColumn:
      if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) return qs(row.ruleName);
      if (role == Qt::ForegroundRole) return secondaryColor();
      return {};
    default:
      return {};
  }
}

bool MovesTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || index.column() != checkColumn) return false;
  const bool on = value.toInt() == Qt::Checked;
  if (const DestinationGroup* target = group(index)) {
    const uint32_t g = static_cast<uint32_t>(index.row());
    std::vector<RowRef> rows;
    rows.reserve(target->rows.size());
    for (uint32_t r = 0; r < target->rows.size(); ++r) rows.push_back({g, r});
    beginOwnChange(std::move(rows));
    model_->setGroup(*target, on);
    endOwnChange();
    return true;
  }
  const auto ref = rowRef(index);
  if (!ref) return false;
  if (on == static_cast<bool>(selected_[flatIndex(*ref)])) return true;
  beginOwnChange({*ref});
  model_->toggle(plan()->groups[ref->group].rows[ref->row]);
  endOwnChange();
  return true;
}

Qt::ItemFlags MovesTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled;
  // A move row is a leaf: said so, the view keeps no record per row of
  // whether it is open.
  if (index.internalId() != headerId) flags |= Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (index.column() == checkColumn) flags |= Qt::ItemIsUserCheckable;
  return flags;
}

QVariant MovesTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case nameColumn:
      return tr("Name");
    case sizeColumn:
      return tr("Size");
    case ruleColumn:
      return tr("Matched Rule");
    default:
      return QString();
  }
}

QString MovesTableModel::renamedMark(const QString& newName) {
  return tr("→ %1").arg(newName);
}

QString MovesTableModel::renamedHelp() {
  return tr("A file of that name is already there, so this one is being renamed.");
}

QString MovesTableModel::crossVolumeHelp() {
  return tr("On another volume: copied and verified before the original is moved to the Trash.");
}

}  // namespace ombrix

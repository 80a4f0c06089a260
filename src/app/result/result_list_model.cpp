#include "app/result/result_list_model.h"

#include "app/common/file_icon.h"
#include "app/common/icon_cache.h"
#include "app/common/symbols.h"
#include "app/common/texts.h"

namespace ombrix {
namespace {

using Kind = ResultListModel::Kind;

}  // namespace

ResultListModel::ResultListModel(QObject* parent) : QAbstractListModel(parent) {
  connect(&IconCache::shared(), &IconCache::pathIconReady, this, &ResultListModel::pathIconReady);
}

void ResultListModel::setRun(const sortappkit::RunResult* run) {
  beginResetModel();
  run_ = run;
  rows_.clear();
  if (run_) {
    auto addSection = [this](Kind kind, std::size_t count) {
      if (count == 0) return;
      rows_.push_back({Kind::section, static_cast<std::size_t>(kind), InsetPlace::only});
      for (std::size_t item = 0; item < count; ++item) {
        rows_.push_back({kind, item, insetPlace(item, count)});
      }
    };
    addSection(Kind::moved, run_->moved.size());
    addSection(Kind::failed, run_->failed.size());
    addSection(Kind::leftAlone, run_->leftAlone.size());
  }
  endResetModel();
}

int ResultListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QString ResultListModel::title(const Row& row) const {
  switch (row.kind) {
    case Kind::section:
      switch (static_cast<Kind>(row.item)) {
        case Kind::moved:
          return tr("Moved");
        case Kind::failed:
          return tr("Could not be moved");
        default:
          return tr("Left alone");
      }
    case Kind::moved:
      return qs(run_->moved[row.item].name);
    case Kind::failed:
      return qs(run_->failed[row.item].name);
    case Kind::leftAlone:
      return qs(run_->leftAlone[row.item].name);
  }
  return QString();
}

QString ResultListModel::detail(const Row& row) const {
  switch (row.kind) {
    case Kind::section:
      return QString();
    case Kind::moved:
      return qs(run_->moved[row.item].destinationName);
    case Kind::failed:
      return qs(run_->failed[row.item].message);
    case Kind::leftAlone:
      return qs(run_->leftAlone[row.item].explanation);
  }
  return QString();
}

QIcon ResultListModel::icon(const Row& row) const {
  switch (row.kind) {
    case Kind::section:
      return QIcon();
    case Kind::moved:
      return FileIcon::icon(run_->moved[row.item].toURL);
    case Kind::failed:
      return symbolIcon(Symbol::failedRow);
    case Kind::leftAlone:
      return FileIcon::icon(run_->leftAlone[row.item].url, true);
  }
  return QIcon();
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const Row& row = rows_[static_cast<std::size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
      return title(row);
    case Qt::DecorationRole:
      return row.kind == Kind::section ? QVariant() : QVariant(icon(row));
    case Qt::ToolTipRole:
      return row.kind == Kind::failed || row.kind == Kind::leftAlone ? QVariant(detail(row))
                                                                     : QVariant();
    case Qt::AccessibleTextRole: {
      const QString shown = detail(row);
      return shown.isEmpty() ? title(row) : title(row) + QStringLiteral(", ") + shown;
    }
    case KindRole:
      return static_cast<int>(row.kind);
    case DetailRole:
      return detail(row);
    case PlaceRole:
      return static_cast<int>(row.place);
    default:
      return {};
  }
}

Qt::ItemFlags ResultListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  const Row& row = rows_[static_cast<std::size_t>(index.row())];
  if (row.kind == Kind::section) return Qt::ItemIsEnabled;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void ResultListModel::pathIconReady(const QString& path) {
  if (!run_) return;
  for (std::size_t position = 0; position < rows_.size(); ++position) {
    const Row& row = rows_[position];
    if (row.kind == Kind::leftAlone && qs(run_->leftAlone[row.item].url.path()) == path) {
      const QModelIndex changed = index(static_cast<int>(position));
      emit dataChanged(changed, changed, {Qt::DecorationRole});
    }
  }
}

}  // namespace ombrix

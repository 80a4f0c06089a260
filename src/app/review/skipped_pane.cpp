#include "app/review/skipped_pane.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <optional>

#include "app/common/file_icon.h"
#include "app/common/icon_cache.h"
#include "app/common/inset_list_style.h"
#include "app/common/sectioned_list_view.h"
#include "app/common/symbols.h"
#include "app/common/texts.h"

namespace ombrix {

using sortappkit::SkippedRow;
using sortappkit::SkipSection;

// One row per section title followed by its files, in one flat list. A
// file's icon is its item's own, which arrives later than the row: the row
// is redrawn then.
class SkippedListModel : public QAbstractListModel {
 public:
  static constexpr int explanationRole = Qt::UserRole;
  static constexpr int placeRole = Qt::UserRole + 1;

  explicit SkippedListModel(QObject* parent) : QAbstractListModel(parent) {
    connect(&IconCache::shared(), &IconCache::pathIconReady, this, [this](const QString& path) {
      const auto found = rowOfPath_.constFind(path);
      if (found == rowOfPath_.constEnd()) return;
      const QModelIndex at = index(*found);
      emit dataChanged(at, at, {Qt::DecorationRole});
    });
  }

  void setSections(std::vector<SkipSection> sections) {
    beginResetModel();
    sections_ = std::move(sections);
    entries_.clear();
    rowOfPath_.clear();
    for (std::size_t s = 0; s < sections_.size(); ++s) {
      entries_.push_back({s, std::nullopt});
      for (std::size_t r = 0; r < sections_[s].rows.size(); ++r) {
        rowOfPath_.insert(qs(sections_[s].rows[r].url.path()), static_cast<int>(entries_.size()));
        entries_.push_back({s, r});
      }
    }
    endResetModel();
  }

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
  }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const Entry& entry = entries_[index.row()];
    const SkipSection& section = sections_[entry.section];
    if (!entry.row) {
      if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
        return SkippedPane::tr("%1 · %2").arg(qs(section.label)).arg(section.rows.size());
      }
      return {};
    }
    const SkippedRow& row = section.rows[*entry.row];
    switch (role) {
      case Qt::DisplayRole:
      case Qt::AccessibleTextRole:
        return qs(row.name);
      case Qt::AccessibleDescriptionRole:
      case explanationRole:
        return qs(row.explanation);
      case Qt::DecorationRole:
        return FileIcon::icon(row.url, true);
      case placeRole:
        return static_cast<int>(insetPlace(*entry.row, section.rows.size()));
      default:
        return {};
    }
  }

  Qt::ItemFlags flags(const QModelIndex& index) const override {
    return index.isValid() ? Qt::ItemIsEnabled : Qt::NoItemFlags;
  }

  bool isSection(const QModelIndex& index) const {
    return index.isValid() && !entries_[index.row()].row;
  }

 private:
  struct Entry {
    std::size_t section;
    std::optional<std::size_t> row;
  };
  std::vector<SkipSection> sections_;
  std::vector<Entry> entries_;
  QHash<QString, int> rowOfPath_;
};

namespace {

constexpr int kRowHeight = 28;
constexpr int kSectionHeight = 30;
constexpr int kSpacing = 6;

// Section titles above boxes of rows; a row is its icon, its name cut in the
// middle and its explanation cut at the end.
class SkippedRowDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const auto* model = static_cast<const SkippedListModel*>(index.model());
    painter->save();
    if (model->isSection(index)) {
      const QRect text =
          InsetListStyle::boxRect(option.rect).adjusted(InsetListStyle::padding / 2, 0, 0, -4);
      QFont bold = option.font;
      bold.setBold(true);
      painter->setFont(bold);
      painter->setPen(secondaryColor());
      painter->drawText(
          text, Qt::AlignLeft | Qt::AlignBottom,
          QFontMetrics(bold).elidedText(index.data().toString(), Qt::ElideRight, text.width()));
      painter->restore();
      return;
    }
    InsetListStyle::paintRow(
        painter, option, static_cast<InsetPlace>(index.data(SkippedListModel::placeRole).toInt()));
    const QRect cell = InsetListStyle::boxRect(option.rect)
                           .adjusted(InsetListStyle::padding, 0, -InsetListStyle::padding, 0);
    const QFontMetrics metrics(option.font);
    const int middle = cell.top() + cell.height() / 2;
    int x = cell.left();
    qvariant_cast<QIcon>(index.data(Qt::DecorationRole))
        .paint(painter, QRect(x, middle - FileIcon::defaultSize / 2, FileIcon::defaultSize,
                              FileIcon::defaultSize));
    x += FileIcon::defaultSize + kSpacing;

    const QString name = index.data(Qt::DisplayRole).toString();
    const QString explanation = index.data(SkippedListModel::explanationRole).toString();
    const int room = cell.right() - x;
    const int explanationWidth = metrics.horizontalAdvance(explanation);
    // The name keeps what it needs unless that leaves the explanation less
    // than half; each is cut in its own way.
    const int nameWidthNeeded = metrics.horizontalAdvance(name);
    const int nameRoom =
        std::min(nameWidthNeeded, std::max(room - kSpacing - explanationWidth, room / 2));
    const QString shownName =
        nameRoom >= nameWidthNeeded ? name : metrics.elidedText(name, Qt::ElideMiddle, nameRoom);
    const int nameWidth = metrics.horizontalAdvance(shownName);
    painter->setFont(option.font);
    painter->setPen(InsetListStyle::textColor(option));
    painter->drawText(QRect(x, cell.top(), nameWidth, cell.height()), Qt::AlignVCenter, shownName);
    x += nameWidth + kSpacing;
    const int explanationRoom = std::max(cell.right() - x, 0);
    painter->setPen(InsetListStyle::secondaryTextColor(option));
    painter->drawText(QRect(x, cell.top(), explanationRoom, cell.height()), Qt::AlignVCenter,
                      metrics.elidedText(explanation, Qt::ElideRight, explanationRoom));
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override {
    const auto* model = static_cast<const SkippedListModel*>(index.model());
    return {0, model->isSection(index) ? kSectionHeight : kRowHeight};
  }
};

}  // namespace

SkippedPane::SkippedPane(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  auto* header = new QWidget(this);
  header->setAutoFillBackground(true);
  header->setBackgroundRole(QPalette::Window);
  auto* headerLayout = new QHBoxLayout(header);
  headerLayout->setContentsMargins(16, 8, 16, 8);
  headerLayout->setSpacing(6);
  auto* symbol = new QLabel(header);
  symbol->setPixmap(symbolIcon(Symbol::leftAlone, secondaryColor()).pixmap(16, 16));
  symbol->setAccessibleName(tr("Left alone"));
  headerLayout->addWidget(symbol);
  title_ = new QLabel(header);
  QFont headline = title_->font();
  headline.setBold(true);
  title_->setFont(headline);
  headerLayout->addWidget(title_);
  headerLayout->addStretch(1);
  layout->addWidget(header);

  body_ = new QStackedWidget(this);
  emptyPage_ = new QWidget(body_);
  auto* emptyLayout = new QVBoxLayout(emptyPage_);
  emptyLayout->setContentsMargins(16, 16, 16, 16);
  empty_ = new QLabel(tr("Every file in this folder matched a rule."), emptyPage_);
  empty_->setWordWrap(true);
  emptyLayout->addWidget(empty_);
  emptyLayout->addStretch(1);
  setTextColor(empty_, secondaryColor());
  body_->addWidget(emptyPage_);

  list_ = new SectionedListView(
      [](const QModelIndex& index) {
        return static_cast<const SkippedListModel*>(index.model())->isSection(index);
      },
      body_);
  rows_ = new SkippedListModel(list_);
  list_->setModel(rows_);
  list_->setItemDelegate(new SkippedRowDelegate(list_));
  InsetListStyle::applyTo(list_);
  list_->setSelectionMode(QAbstractItemView::NoSelection);
  list_->setAccessibleName(tr("Files left alone"));
  body_->addWidget(list_);
  layout->addWidget(body_, 1);

  setRows({}, 0);
}

void SkippedPane::setRows(std::vector<SkipSection> sections, int64_t total) {
  title_->setText(total == 0 ? tr("Nothing left alone") : texts::filesLeftAlone(total));
  rows_->setSections(total == 0 ? std::vector<SkipSection>() : std::move(sections));
  body_->setCurrentWidget(total == 0 ? emptyPage_ : static_cast<QWidget*>(list_));
}

bool SkippedPane::isListShown() const {
  return body_->currentWidget() == list_;
}

}  // namespace ombrix

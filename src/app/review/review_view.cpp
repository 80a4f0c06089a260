#include "app/review/review_view.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyleOptionButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/common/reveal_in_file_manager.h"
#include "app/common/symbols.h"
#include "app/common/texts.h"
#include "app/review/moves_table_view.h"
#include "app/review/skipped_pane.h"
#include "app/shell/app_delegate.h"

namespace ombrix {

using sortappkit::AppModel;
using sortappkit::MoveRow;
using sortappkit::PlanViewModel;

namespace {

constexpr int kMovesMinimumHeight = 220;
constexpr int kMovesIdealHeight = 380;
constexpr int kSkippedMinimumHeight = 120;
constexpr int kSkippedIdealHeight = 180;
constexpr int kPlaceholderSymbolSize = 48;

struct ColumnWidth {
  int minimum;
  int ideal;
};
constexpr ColumnWidth kNameWidth{220, 360};
constexpr ColumnWidth kSizeWidth{60, 80};
constexpr ColumnWidth kRuleWidth{90, 140};

// A button drawn as a link: no bezel, the link colour, underlined while the
// pointer or the keyboard is on it.
QPushButton* linkButton(const QString& text, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setFlat(true);
  button->setCursor(Qt::PointingHandCursor);
  button->setAccessibleName(text);
  // The border is there when unseen too, so the ring of the focus moves
  // nothing.
  button->setStyleSheet(QStringLiteral(
      "QPushButton { border: 2px solid transparent; border-radius: 4px; padding: 1px 3px;"
      " color: palette(link); }"
      "QPushButton:hover { text-decoration: underline; }"
      "QPushButton:focus { border-color: palette(highlight); }"));
  return button;
}

// The Sort button. Its accent look and the style's own disabled look frame
// the title differently, so it can tell the size it takes in either state.
class SortButton final : public QPushButton {
 public:
  using QPushButton::QPushButton;

  // The size hint of the state it is in, grown to hold the other state too.
  QSize steadySizeHint() const {
    QStyleOptionButton option;
    initStyleOption(&option);
    const QSize title = fontMetrics().size(Qt::TextShowMnemonic, text());
    const QSize now = style()->sizeFromContents(QStyle::CT_PushButton, &option, title, this);
    option.state ^= QStyle::State_Enabled;
    const QSize other = style()->sizeFromContents(QStyle::CT_PushButton, &option, title, this);
    const QSize hint = sizeHint();
    return hint.expandedTo(hint + other - now);
  }
};

QString sortTitle(std::size_t count) {
  return ReviewView::tr("Sort %1 File%2")
      .arg(texts::number(static_cast<int64_t>(count)))
      .arg(count == 1 ? QString() : QStringLiteral("s"));
}

}  // namespace

ReviewView::ReviewView(std::shared_ptr<AppModel> model, QWidget* parent)
    : QWidget(parent), model_(std::move(model)) {
  moves_ = new MovesTableModel(model_, this);
  table_ = new MovesTableView(this);
  table_->setMovesModel(moves_);
  table_->setAccessibleName(tr("Planned moves"));
  QHeaderView* header = table_->header();
  header->setStretchLastSection(false);
  header->setMinimumSectionSize(24);
  header->setSectionResizeMode(MovesTableModel::checkColumn, QHeaderView::Fixed);
  header->resizeSection(MovesTableModel::checkColumn, 24);
  header->setSectionResizeMode(MovesTableModel::nameColumn, QHeaderView::Stretch);
  header->setSectionResizeMode(MovesTableModel::sizeColumn, QHeaderView::Interactive);
  header->resizeSection(MovesTableModel::sizeColumn, kSizeWidth.ideal);
  header->setSectionResizeMode(MovesTableModel::ruleColumn, QHeaderView::Interactive);
  header->resizeSection(MovesTableModel::ruleColumn, kRuleWidth.ideal);
  connect(header, &QHeaderView::sectionResized, this, [header](int section, int, int size) {
    const int minimum = section == MovesTableModel::ruleColumn   ? kRuleWidth.minimum
                        : section == MovesTableModel::sizeColumn ? kSizeWidth.minimum
                                                                 : 0;
    if (size < minimum) header->resizeSection(section, minimum);
  });
  table_->setMinimumWidth(24 + kNameWidth.minimum + kSizeWidth.minimum + kRuleWidth.minimum);

  placeholder_ = makePage(Symbol::nothingToSort, tr("Nothing to sort"),
                          tr("No file in this folder matched a rule. Anything Ombrix is unsure "
                             "about is left where it is."))
                     .page;
  failure_ = makePage(Symbol::failure, QString(), QString());
  movesPane_ = new QStackedWidget(this);
  movesPane_->addWidget(table_);
  movesPane_->addWidget(placeholder_);
  movesPane_->addWidget(failure_.page);
  movesPane_->setMinimumHeight(kMovesMinimumHeight);

  skipped_ = new SkippedPane(this);
  skipped_->setMinimumHeight(kSkippedMinimumHeight);

  splitter_ = new QSplitter(Qt::Vertical, this);
  splitter_->setChildrenCollapsible(false);
  splitter_->addWidget(movesPane_);
  splitter_->addWidget(skipped_);
  splitter_->setStretchFactor(0, 1);
  splitter_->setStretchFactor(1, 0);
  splitter_->setSizes({kMovesIdealHeight, kSkippedIdealHeight});

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(splitter_, 1);
  layout->addWidget(makeActionBar());

  menu_ = new QMenu(this);
  menu_->addAction(tr("Toggle"), this, &ReviewView::toggleHighlighted);
  menu_->addAction(tr("Quick Look"), this, [] {
    if (auto* delegate = OmbrixAppDelegate::current()) delegate->togglePreview();
  });
  menu_->addAction(tr("Reveal in File Manager"), this, &ReviewView::revealHighlighted);
  connect(table_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& point) { menu_->popup(table_->viewport()->mapToGlobal(point)); });
  connect(table_, &MovesTableView::toggleHighlightedRequested, this,
          &ReviewView::toggleHighlighted);
  connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &ReviewView::highlightChanged);

  observations_.watch(model_->plan(), [this](const auto&) { showPlan(); });
  observations_.watch(model_->selection(), [this](const auto&) {
    moves_->selectionChanged();
    showSelection();
  });
  observations_.watch(model_->phase(), [this](const auto&) { showSelection(); });
  observations_.watch(model_->scanFailure(), [this](const auto&) { showFailure(); });
  showFailure();
  showPlan();
}

ReviewView::Page ReviewView::makePage(Symbol symbol, const QString& title,
                                      const QString& description) {
  Page made;
  made.page = new QWidget(this);
  made.symbol = new QLabel(made.page);
  made.symbol->setPixmap(
      symbolIcon(symbol, secondaryColor()).pixmap(kPlaceholderSymbolSize, kPlaceholderSymbolSize));
  made.symbol->setAlignment(Qt::AlignCenter);
  made.symbol->setAccessibleName(title);

  made.title = new QLabel(title, made.page);
  made.title->setFont(textFont(TextStyle::title2, QFont::Bold));
  made.title->setAlignment(Qt::AlignCenter);

  made.description = new QLabel(description, made.page);
  made.description->setWordWrap(true);
  made.description->setAlignment(Qt::AlignCenter);
  made.description->setFixedWidth(420);
  // A stacked page does not pass a wrapped label's height for its width on.
  made.description->setMinimumHeight(std::max(0, made.description->heightForWidth(420)));
  setTextColor(made.description, secondaryColor());

  auto* layout = new QVBoxLayout(made.page);
  layout->setContentsMargins(24, 24, 24, 24);
  layout->setSpacing(8);
  layout->addStretch(1);
  layout->addWidget(made.symbol, 0, Qt::AlignHCenter);
  layout->addWidget(made.title, 0, Qt::AlignHCenter);
  layout->addWidget(made.description, 0, Qt::AlignHCenter);
  layout->addStretch(1);
  return made;
}

QWidget* ReviewView::makeActionBar() {
  auto* bar = new QWidget(this);
  bar->setAutoFillBackground(true);
  bar->setBackgroundRole(QPalette::Window);

  count_ = new QLabel(bar);
  count_->setFont(withMonospacedDigits(count_->font()));
  setTextColor(count_, secondaryColor());
  all_ = linkButton(tr("All"), bar);
  none_ = linkButton(tr("None"), bar);
  sortButton_ = new SortButton(bar);
  sortButton_->setDefault(true);
  // The screen's suggested action, in the accent colour, as the desktop
  // draws the one button that carries the screen forward.
  // Disabled, it is the style's own disabled button. Only the focus draws a
  // border: one in the button's own colour would not be seen, yet its
  // rounded corners would be most of the cost of drawing the button, which
  // is drawn again on every click of a checkbox.
  sortButton_->setStyleSheet(QStringLiteral(
      "QPushButton { padding: 4px 14px; font-weight: bold; }"
      "QPushButton:enabled { background: palette(highlight); color: palette(highlighted-text);"
      " border: none; border-radius: 5px; padding: 6px 16px; }"
      "QPushButton:enabled:focus { border: 2px solid palette(highlighted-text);"
      " padding: 4px 14px; }"));
  connect(all_, &QPushButton::clicked, this, [this] { model_->setAll(true); });
  connect(none_, &QPushButton::clicked, this, [this] { model_->setAll(false); });
  connect(sortButton_, &QPushButton::clicked, this, [this] { model_->apply(); });

  auto* layout = new QHBoxLayout(bar);
  layout->setContentsMargins(16, 10, 16, 10);
  layout->addWidget(count_);
  layout->addWidget(all_);
  layout->addWidget(none_);
  layout->addStretch(1);
  layout->addWidget(sortButton_);
  return bar;
}

bool ReviewView::isPlaceholderShown() const {
  return movesPane_->currentWidget() == placeholder_;
}

bool ReviewView::isFailureShown() const {
  return movesPane_->currentWidget() == failure_.page;
}

void ReviewView::showFailure() {
  const auto& failure = model_->scanFailure().get();
  const QString title = failure ? QString::fromStdString(failure->title) : QString();
  failure_.symbol->setVisible(failure.has_value());
  failure_.symbol->setAccessibleName(title);
  failure_.title->setText(title);
  failure_.description->setText(failure ? QString::fromStdString(failure->message) : QString());
  failure_.description->setMinimumHeight(std::max(0, failure_.description->heightForWidth(420)));
}

void ReviewView::showPlan() {
  moves_->reload();
  const PlanViewModel* plan = moves_->plan();
  // Without a plan there is nothing to tell of the folder's files: neither
  // that none matched a rule nor that every one did.
  movesPane_->setCurrentWidget(!plan              ? failure_.page
                               : !plan->isEmpty() ? static_cast<QWidget*>(table_)
                                                  : placeholder_);
  skipped_->setVisible(plan != nullptr);
  if (plan) {
    skipped_->setRows(plan->skipsByReason(), static_cast<int64_t>(plan->skipped.size()));
  } else {
    skipped_->setRows({}, 0);
  }
  // The count and the button keep the size of their widest text for this
  // plan (every file selected; digits are of equal width), the button that
  // of either of its states, so nothing in the bar moves under the pointer
  // as the count changes or Sort is enabled. Of a fixed size, neither asks
  // for the window to be laid out again on each click, and the table keeps
  // its height (a table that changes height is drawn anew whole).
  const auto total = static_cast<int64_t>(plan ? plan->moveCount() : 0);
  count_->setMinimumSize(0, 0);
  count_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  count_->setText(texts::selectedOfFiles(total, total));
  count_->setFixedSize(count_->sizeHint());
  auto* sort = static_cast<SortButton*>(sortButton_);
  sort->setMinimumSize(0, 0);
  sort->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  sort->setText(sortTitle(static_cast<std::size_t>(total)));
  sort->setFixedSize(sort->steadySizeHint());
  showSelection();
}

void ReviewView::showSelection() {
  const PlanViewModel* plan = moves_->plan();
  // The model's selectedCount, as the table keeps it row by row: reading the
  // model's own would walk the whole plan on every click.
  const std::size_t selected = moves_->selectedCount();
  count_->setVisible(plan != nullptr);
  all_->setVisible(plan != nullptr);
  none_->setVisible(plan != nullptr);
  if (plan) {
    count_->setText(texts::selectedOfFiles(static_cast<int64_t>(selected),
                                           static_cast<int64_t>(plan->moveCount())));
    count_->setAccessibleName(count_->text());
  }
  sortButton_->setText(sortTitle(selected));
  sortButton_->setAccessibleName(sortButton_->text());
  // The model's canApply, from that count.
  sortButton_->setEnabled(model_->phase().get() == AppModel::Phase::review && selected > 0);
}

std::vector<MovesTableModel::RowRef> ReviewView::highlightedRefs() const {
  std::vector<MovesTableModel::RowRef> refs;
  for (const QModelIndex& index : table_->selectionModel()->selectedRows()) {
    if (auto ref = moves_->rowRef(index)) refs.push_back(*ref);
  }
  std::sort(refs.begin(), refs.end());
  return refs;
}

std::vector<const MoveRow*> ReviewView::highlightedRows() const {
  const std::vector<MovesTableModel::RowRef> refs = highlightedRefs();
  std::vector<const MoveRow*> rows;
  rows.reserve(refs.size());
  const PlanViewModel* plan = moves_->plan();
  for (const auto& ref : refs) rows.push_back(&plan->groups[ref.group].rows[ref.row]);
  return rows;
}

std::vector<rozuzed::FileURL> ReviewView::highlightedURLs() const {
  std::vector<rozuzed::FileURL> urls;
  for (const MoveRow* row : highlightedRows()) urls.push_back(row->sourceURL);
  return urls;
}

void ReviewView::toggleHighlighted() {
  std::vector<MovesTableModel::RowRef> refs = highlightedRefs();
  if (refs.empty()) return;
  const PlanViewModel* plan = moves_->plan();
  // Each row flips on its own, as one toggle per row would, but the change
  // is made and announced once; in place, as the model's own toggle makes
  // it, since a copy of every deselected key would cost more than the change.
  moves_->beginOwnChange(refs);
  model_->selection().modify([&](sortappkit::Selection& selection) {
    for (const auto& ref : refs) selection.toggle(plan->groups[ref.group].rows[ref.row].key);
    return true;
  });
  moves_->endOwnChange();
}

void ReviewView::revealHighlighted() {
  const std::vector<rozuzed::FileURL> urls = highlightedURLs();
  const PlanViewModel* plan = moves_->plan();
  rozuzed::FileURL folder;
  if (!urls.empty()) {
    folder = urls.front().deletingLastPathComponent();
  } else if (plan) {
    folder = plan->folder;
  }
  revealInFileManager(urls, folder, this, [model = std::weak_ptr(model_)] {
    if (auto shown = model.lock()) {
      shown->problem().set(AppModel::Problem(
          tr("Could not open the File Manager").toStdString(),
          tr("No file manager answered, and the folder could not be opened.").toStdString()));
    }
  });
}

void ReviewView::highlightChanged() {
  if (auto* delegate = OmbrixAppDelegate::current()) delegate->setPreviewURLs(highlightedURLs());
}

}  // namespace ombrix

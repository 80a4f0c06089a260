#include "app/history/history_view.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "app/common/inset_list_style.h"
#include "app/common/symbols.h"
#include "app/common/texts.h"
#include "app/history/history_list_model.h"
#include "app/history/history_list_view.h"

namespace ombrix {
namespace {

constexpr int kPlaceholderSymbolSize = 40;

QWidget* makePlaceholder(QWidget* parent) {
  auto* placeholder = new QWidget(parent);
  auto* symbol = new QLabel(placeholder);
  symbol->setPixmap(symbolIcon(Symbol::noRuns, secondaryColor())
                        .pixmap(kPlaceholderSymbolSize, kPlaceholderSymbolSize));
  symbol->setAlignment(Qt::AlignCenter);
  auto* title = new QLabel(HistoryView::tr("No runs yet"), placeholder);
  title->setFont(textFont(TextStyle::title3, QFont::DemiBold));
  title->setAlignment(Qt::AlignCenter);
  auto* description = new QLabel(
      HistoryView::tr("Once you sort a folder, every run is listed here and can be undone."),
      placeholder);
  description->setFont(textFont(TextStyle::callout));
  description->setWordWrap(true);
  description->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  description->setFixedWidth(360);
  // A centred item gets its size hint, not its height for the width it has.
  description->setMinimumHeight(description->heightForWidth(360));
  setTextColor(description, secondaryColor());

  auto* stack = new QVBoxLayout(placeholder);
  stack->setSpacing(8);
  stack->addStretch(1);
  stack->addWidget(symbol, 0, Qt::AlignHCenter);
  stack->addSpacing(4);
  stack->addWidget(title, 0, Qt::AlignHCenter);
  stack->addWidget(description, 0, Qt::AlignHCenter);
  stack->addStretch(1);
  return placeholder;
}

}  // namespace

HistoryView::HistoryView(std::shared_ptr<sortappkit::AppModel> model, QWidget* parent)
    : QDialog(parent), model_(std::move(model)) {
  setWindowModality(Qt::WindowModal);
  setWindowTitle(tr("History"));
  setFixedSize(520, 380);
  setWindowFlags((windowFlags() | Qt::CustomizeWindowHint) &
                 ~(Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint));

  auto* title = new QLabel(tr("History"), this);
  title->setFont(textFont(TextStyle::headline));
  doneButton_ = new QPushButton(tr("Done"), this);
  doneButton_->setAccessibleName(doneButton_->text());
  doneButton_->setDefault(true);
  connect(doneButton_, &QPushButton::clicked, this, &QDialog::accept);

  auto* header = new QHBoxLayout;
  header->setContentsMargins(16, 16, 16, 16);
  header->addWidget(title);
  header->addStretch(1);
  header->addWidget(doneButton_);

  auto* divider = new QFrame(this);
  divider->setFrameShape(QFrame::HLine);
  divider->setFrameShadow(QFrame::Sunken);

  runs_ = new HistoryListModel(this);
  list_ = new HistoryListView(this);
  list_->setModel(runs_);
  list_->setAccessibleName(tr("Past runs"));
  InsetListStyle::applyTo(list_);
  connect(list_, &HistoryListView::undoRequested, this, &HistoryView::undo);

  runsPage_ = new QWidget(this);
  auto* runsLayout = new QVBoxLayout(runsPage_);
  runsLayout->setContentsMargins(0, 12, 0, 0);
  runsLayout->addWidget(list_);

  placeholder_ = makePlaceholder(this);
  body_ = new QStackedWidget(this);
  body_->addWidget(placeholder_);
  body_->addWidget(runsPage_);

  auto* sheet = new QVBoxLayout(this);
  sheet->setContentsMargins(0, 0, 0, 0);
  sheet->setSpacing(0);
  sheet->addLayout(header);
  sheet->addWidget(divider);
  sheet->addWidget(body_, 1);

  showRuns(model_->history().get());
  observations_.watch(model_->history(), [this](const auto& runs) { showRuns(runs); });
  runs_->setUndoAllowed(!model_->busy().get());
  observations_.watch(model_->busy(), [this](bool busy) { runs_->setUndoAllowed(!busy); });
}

void HistoryView::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMaximized)) {
    setWindowState(windowState() & ~Qt::WindowMaximized);
  }
}

void HistoryView::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  model_->loadHistory();
}

void HistoryView::showRuns(const std::vector<sortappkit::RunSummary>& runs) {
  // A reload keeps the row the keyboard was on.
  std::optional<rozuzed::Uuid> current;
  if (const auto* run = runs_->run(list_->currentIndex().row())) current = run->id;
  runs_->setRuns(runs);
  for (int row = 0; current && row < runs_->rowCount(); ++row) {
    if (runs_->run(row)->id == *current) list_->setCurrentIndex(runs_->index(row));
  }
  body_->setCurrentWidget(runs.empty() ? placeholder_ : runsPage_);
}

void HistoryView::undo(int row) {
  const sortappkit::RunSummary* run = runs_->run(row);
  // The model would ignore it; the sheet stays for a later try.
  if (run == nullptr || model_->busy().get()) return;
  QPointer<HistoryView> sheet(this);
  model_->undo(run->id, [sheet] {
    if (sheet) sheet->accept();
  });
}

}  // namespace ombrix

#include "app/shell/content_view.h"

#include <QApplication>
#include <QPushButton>
#include <QStackedWidget>
#include <QStringList>
#include <QVBoxLayout>

#include "app/common/texts.h"
#include "app/result/result_view.h"
#include "app/review/review_view.h"
#include "app/shell/progress_overlay.h"
#include "app/start/empty_state_view.h"
#include "app/start/scanning_view.h"

namespace ombrix {

using Phase = sortappkit::AppModel::Phase;

namespace {

constexpr std::size_t kListedAttentionRows = 5;

// The first control of `screen` that takes the keyboard, in focus order.
QWidget* firstControl(QWidget* screen) {
  for (QWidget* widget = screen->nextInFocusChain(); widget != screen;
       widget = widget->nextInFocusChain()) {
    if (!screen->isAncestorOf(widget)) continue;
    if ((widget->focusPolicy() & Qt::TabFocus) && widget->isEnabled() &&
        widget->isVisibleTo(screen)) {
      return widget;
    }
  }
  return nullptr;
}

}  // namespace

ContentView::ContentView(std::shared_ptr<sortappkit::AppModel> model, QWidget* parent)
    : QWidget(parent), model_(std::move(model)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  stack_ = new QStackedWidget(this);
  layout->addWidget(stack_);
  overlay_ = new ProgressOverlay(this);
  overlay_->hide();

  kind_ = kindFor(model_->phase().get());
  showPhase(model_->phase().get());
  observations_.watch(model_->phase(), [this](Phase phase) {
    showPhase(phase);
    updateOverlay();
  });
  observations_.watch(model_->folder(), [this](const auto&) { updateScanningName(); });
  observations_.watch(model_->progressTitle(), [this](const auto&) { scheduleOverlay(); });
  observations_.watch(model_->progress(), [this](const auto&) { scheduleOverlay(); });
  updateOverlay();
}

ContentView::Kind ContentView::kindFor(Phase phase) {
  switch (phase) {
    case Phase::empty:
      return Kind::empty;
    case Phase::scanning:
      return Kind::scanning;
    case Phase::review:
    case Phase::applying:
      return Kind::review;
    case Phase::result:
      return Kind::result;
  }
  return Kind::empty;
}

void ContentView::showPhase(Phase phase) {
  const Kind kind = kindFor(phase);
  if (screen_ != nullptr && kind == kind_) return;
  kind_ = kind;

  QWidget* focused = QApplication::focusWidget();
  const bool focusHere = focused == nullptr || !focused->isVisible() || isAncestorOf(focused);

  QWidget* next = nullptr;
  switch (kind) {
    case Kind::empty:
      next = new EmptyStateView(model_, stack_);
      break;
    case Kind::scanning:
      next = new ScanningView(stack_);
      break;
    case Kind::review:
      next = new ReviewView(model_, stack_);
      break;
    case Kind::result:
      next = new ResultView(model_, stack_);
      break;
  }
  QWidget* previous = screen_;
  screen_ = next;
  stack_->addWidget(next);
  stack_->setCurrentWidget(next);
  updateScanningName();
  if (previous != nullptr) {
    stack_->removeWidget(previous);
    // Later: the model may be telling the old screen about this very change.
    previous->hide();
    previous->deleteLater();
  }
  // A sort's result takes the keyboard wherever it was, also from the
  // Sort button, which gave it up when the sort disabled it.
  if ((focusHere || kind == Kind::result) && window()->isActiveWindow()) {
    // The result's next step is its default button; elsewhere the first
    // control, which on the review is the table of moves.
    QWidget* control = kind == Kind::result ? defaultButton() : firstControl(next);
    if (control != nullptr) control->setFocus(Qt::OtherFocusReason);
  }
  emit screenChanged(next);
}

void ContentView::updateScanningName() {
  if (auto* scanning = qobject_cast<ScanningView*>(screen_)) {
    scanning->setFolderName(model_->folderName());
  }
}

void ContentView::scheduleOverlay() {
  // A run reports every file, faster than the card can be laid out anew for
  // each; the values that arrive together are shown once, the latest.
  if (overlayPending_) return;
  overlayPending_ = true;
  QMetaObject::invokeMethod(this, &ContentView::updateOverlay, Qt::QueuedConnection);
}

void ContentView::updateOverlay() {
  overlayPending_ = false;
  if (model_->phase().get() != Phase::applying) {
    overlay_->hide();
    return;
  }
  overlay_->setState(qs(model_->progressTitle().get()), model_->progress().get());
  overlay_->setGeometry(rect());
  overlay_->raise();
  overlay_->show();
}

void ContentView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  overlay_->setGeometry(rect());
}

QPushButton* ContentView::defaultButton() const {
  if (auto* empty = qobject_cast<EmptyStateView*>(screen_)) return empty->defaultButton();
  if (auto* review = qobject_cast<ReviewView*>(screen_)) return review->defaultButton();
  if (auto* result = qobject_cast<ResultView*>(screen_)) return result->defaultButton();
  return nullptr;
}

QPushButton* ContentView::shownUndoButton() const {
  auto* result = qobject_cast<ResultView*>(screen_);
  if (result == nullptr || !result->isUndoShown()) return nullptr;
  return result->undoButton();
}

QString ContentView::recoveryMessage(const sortappkit::RecoverySummary& summary) {
  QStringList lines;
  lines << (summary.wasUndo ? tr("Ombrix was putting files back when it stopped unexpectedly.")
                            : tr("Ombrix was sorting when it stopped unexpectedly."));
  lines << QString();
  lines << (summary.movedCount > 0 ? texts::filesHadMoved(summary.movedCount)
                                   : tr("No file had moved yet."));
  if (summary.untouchedCount > 0) lines << texts::filesUntouched(summary.untouchedCount);
  const auto& rows = summary.needsAttention;
  if (!rows.empty()) {
    lines << QString();
    lines << texts::filesUnaccounted(static_cast<int64_t>(rows.size()));
    for (std::size_t i = 0; i < rows.size() && i < kListedAttentionRows; ++i) {
      lines << QStringLiteral("  ") + qs(rows[i].sourcePath);
      lines << QStringLiteral("    ") + qs(rows[i].reason);
    }
    if (rows.size() > kListedAttentionRows) {
      lines << tr("  …and %1 more, listed in History.")
                   .arg(texts::number(static_cast<int64_t>(rows.size() - kListedAttentionRows)));
    }
  }
  return lines.join(QLatin1Char('\n'));
}

}  // namespace ombrix

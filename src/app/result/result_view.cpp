#include "app/result/result_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListView>

#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include "app/common/sectioned_list_view.h"

#include "app/common/inset_list_style.h"
#include "app/common/symbols.h"
#include "app/common/texts.h"
#include "app/result/result_list_model.h"
#include "app/result/result_row_delegate.h"

namespace ombrix {
namespace {

constexpr int kSymbolSize = 28;
const QColor kSuccessColor(0x26, 0xa2, 0x69);
const QColor kFailureColor(0xe6, 0x61, 0x00);

// The bar along the bottom edge, set off from the list by a hairline.
class ActionBar : public QWidget {
 public:
  explicit ActionBar(QWidget* parent) : QWidget(parent) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    QColor line = palette().color(QPalette::WindowText);
    line.setAlphaF(0.15f);
    painter.setPen(line);
    painter.drawLine(rect().topLeft(), rect().topRight());
  }
};

QString undoSummary(const sortappkit::UndoResult& undo) {
  QString summary = texts::putFilesBack(undo.restoredCount);
  if (!undo.isCompleteSuccess()) {
    summary +=
        QLatin1Char(' ') + ResultView::tr("%1 could not be moved back.")
                               .arg(texts::number(static_cast<int64_t>(undo.skipped.size())));
  }
  return summary;
}

}  // namespace

ResultView::ResultView(std::shared_ptr<sortappkit::AppModel> model, QWidget* parent)
    : QWidget(parent), model_(std::move(model)) {
  symbol_ = new QLabel(this);
  symbol_->setFixedSize(kSymbolSize, kSymbolSize);
  title_ = new QLabel(this);
  title_->setFont(textFont(TextStyle::title3, QFont::DemiBold));
  headerLine_ = new QLabel(this);
  headerLine_->setWordWrap(true);
  setTextColor(headerLine_, secondaryColor());

  auto* lines = new QVBoxLayout;
  lines->setSpacing(2);
  lines->addWidget(title_);
  lines->addWidget(headerLine_);
  auto* header = new QHBoxLayout;
  header->setContentsMargins(16, 16, 16, 16);
  header->setSpacing(12);
  header->addWidget(symbol_, 0, Qt::AlignVCenter);
  header->addLayout(lines, 1);

  rows_ = new ResultListModel(this);
  list_ = new SectionedListView(
      [](const QModelIndex& index) {
        return index.data(ResultListModel::KindRole).toInt() ==
               static_cast<int>(ResultListModel::Kind::section);
      },
      this);
  list_->setModel(rows_);
  list_->setItemDelegate(new ResultRowDelegate(list_));
  list_->setAccessibleName(tr("Files"));
  InsetListStyle::applyTo(list_);

  undoButton_ = new QPushButton(tr("Undo"), this);
  undoButton_->setAccessibleName(undoButton_->text());
  undoButton_->setAutoDefault(false);
  doneButton_ = new QPushButton(tr("Done"), this);
  doneButton_->setAccessibleName(doneButton_->text());
  doneButton_->setDefault(true);
  connect(undoButton_, &QPushButton::clicked, this, &ResultView::undo);
  connect(doneButton_, &QPushButton::clicked, this, [this] { model_->scan(); });

  auto* bar = new ActionBar(this);
  auto* buttons = new QHBoxLayout(bar);
  buttons->setContentsMargins(16, 10, 16, 10);
  buttons->addWidget(undoButton_);
  buttons->addStretch(1);
  buttons->addWidget(doneButton_);

  auto* screen = new QVBoxLayout(this);
  screen->setContentsMargins(0, 0, 0, 0);
  screen->setSpacing(0);
  screen->addLayout(header);
  screen->addWidget(list_, 1);
  screen->addWidget(bar);

  undoButton_->setVisible(false);
  showRun();
  observations_.watch(model_->lastRun(), [this](const auto&) { showRun(); });
  observations_.watch(model_->lastUndo(), [this](const auto&) {
    showHeader();
    showUndo();
  });
  observations_.watch(model_->busy(), [this](bool busy) { undoButton_->setEnabled(!busy); });
  undoButton_->setEnabled(!model_->busy().get());
}

bool ResultView::isUndoShown() const {
  return !undoButton_->isHidden();
}

void ResultView::showRun() {
  const auto& run = model_->lastRun().get();
  rows_->setRun(run ? &*run : nullptr);
  showHeader();
  showUndo();
}

void ResultView::showHeader() {
  const auto& run = model_->lastRun().get();
  const bool failed = run && !run->failed.empty();
  symbol_->setPixmap(
      symbolIcon(failed ? Symbol::failure : Symbol::success, failed ? kFailureColor : kSuccessColor)
          .pixmap(kSymbolSize, kSymbolSize));
  symbol_->setAccessibleName(failed ? tr("Some files could not be moved") : tr("Finished"));

  if (!run) {
    title_->setText(tr("Done"));
  } else if (run->moved.empty()) {
    title_->setText(tr("Nothing moved"));
  } else {
    title_->setText(texts::sortedFiles(static_cast<int64_t>(run->moved.size())));
  }

  QString line;
  if (const auto& undone = model_->lastUndo().get()) {
    line = undoSummary(*undone);
  } else if (failed) {
    line = texts::filesCouldNotBeMoved(static_cast<int64_t>(run->failed.size()));
  }
  headerLine_->setText(line);
  headerLine_->setVisible(!line.isEmpty());
}

void ResultView::showUndo() {
  const auto& run = model_->lastRun().get();
  const bool shown = run && run->canUndo() && !model_->lastUndo().get();
  if (shown == isUndoShown()) return;
  undoButton_->setVisible(shown);
  emit undoShownChanged(shown);
}

void ResultView::undo() {
  const auto& run = model_->lastRun().get();
  if (run) model_->undo(run->id);
}

}  // namespace ombrix

#include "app/shell/progress_overlay.h"

#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QVBoxLayout>
#include <algorithm>

#include "app/common/symbols.h"
#include "app/common/texts.h"

namespace ombrix {
namespace {

constexpr int kBarSteps = 1000;

// The card's rounded background.
class Card : public QWidget {
 public:
  explicit Card(QWidget* parent) : QWidget(parent) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), 12, 12);
    painter.fillPath(path, palette().color(QPalette::Window));
  }
};

}  // namespace

ProgressOverlay::ProgressOverlay(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_NoMousePropagation);
  setMouseTracking(true);

  card_ = new Card(this);
  auto* shadow = new QGraphicsDropShadowEffect(card_);
  shadow->setBlurRadius(20);
  shadow->setOffset(0, 0);
  shadow->setColor(QColor(0, 0, 0, 84));
  card_->setGraphicsEffect(shadow);

  title_ = new QLabel(card_);
  title_->setFont(textFont(TextStyle::headline));
  title_->setAlignment(Qt::AlignCenter);

  bar_ = new QProgressBar(card_);
  bar_->setFixedWidth(barWidth);
  bar_->setTextVisible(false);

  count_ = new QLabel(card_);
  count_->setFont(withMonospacedDigits(textFont(TextStyle::callout)));
  count_->setAlignment(Qt::AlignCenter);
  setTextColor(count_, secondaryColor());

  file_ = new QLabel(card_);
  file_->setFont(textFont(TextStyle::caption));
  file_->setAlignment(Qt::AlignCenter);
  file_->setFixedWidth(barWidth);
  file_->setTextFormat(Qt::PlainText);
  setTextColor(file_, secondaryColor());

  auto* stack = new QVBoxLayout(card_);
  stack->setContentsMargins(28, 28, 28, 28);
  stack->setSpacing(14);
  stack->addWidget(title_, 0, Qt::AlignHCenter);
  stack->addWidget(bar_, 0, Qt::AlignHCenter);
  stack->addWidget(count_, 0, Qt::AlignHCenter);
  stack->addWidget(file_, 0, Qt::AlignHCenter);
  stack->setSizeConstraint(QLayout::SetFixedSize);

  auto* centre = new QVBoxLayout(this);
  centre->setContentsMargins(0, 0, 0, 0);
  centre->addWidget(card_, 0, Qt::AlignCenter);

  if (parent != nullptr) {
    parent->installEventFilter(this);
    setGeometry(parent->rect());
  }
  setState(QString(), std::nullopt);
}

void ProgressOverlay::setState(const QString& title,
                               const std::optional<rozuzed::ExecutionProgress>& progress) {
  title_->setText(title);
  bar_->setAccessibleName(title);
  const bool determinate = progress && progress->totalCount > 0;
  count_->setVisible(determinate);
  file_->setVisible(determinate);
  if (!determinate) {
    bar_->setRange(0, 0);
    return;
  }
  bar_->setRange(0, kBarSteps);
  const double fraction = std::clamp(progress->fractionCompleted(), 0.0, 1.0);
  bar_->setValue(static_cast<int>(fraction * kBarSteps + 0.5));
  count_->setText(tr("%1 of %2")
                      .arg(texts::number(progress->completedCount))
                      .arg(texts::number(progress->totalCount)));
  if (progress->currentFile) {
    const QString name = qs(progress->currentFile->lastPathComponent());
    file_->setText(elided(file_->fontMetrics(), name, Qt::ElideMiddle, barWidth));
    file_->setAccessibleName(name);
  } else {
    // A blank keeps the line's height when there is no file to name.
    file_->setText(QStringLiteral(" "));
    file_->setAccessibleName(QString());
  }
}

bool ProgressOverlay::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parentWidget() && event->type() == QEvent::Resize) {
    setGeometry(parentWidget()->rect());
  }
  return QWidget::eventFilter(watched, event);
}

void ProgressOverlay::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(0, 0, 0, qRound(255 * 0.08)));
}

// The backdrop takes the pointer so the screen beneath never sees it.
void ProgressOverlay::mousePressEvent(QMouseEvent* event) {
  event->accept();
}
void ProgressOverlay::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
}
void ProgressOverlay::mouseDoubleClickEvent(QMouseEvent* event) {
  event->accept();
}
void ProgressOverlay::mouseMoveEvent(QMouseEvent* event) {
  event->accept();
}
void ProgressOverlay::wheelEvent(QWheelEvent* event) {
  event->accept();
}

}  // namespace ombrix

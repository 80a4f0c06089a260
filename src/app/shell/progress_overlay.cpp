#include "app/shell/progress_overlay.h"

#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QGraphicsPathItem>
#include <QGraphicsScene>
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
constexpr int kCornerRadius = 12;
constexpr int kShadowRadius = 20;
// Room around the card for the blur of its shadow.
constexpr int kShadowMargin = 2 * kShadowRadius;

// The shadow around a card of `size`, with room for its blur on each side.
// Drawn once and painted beneath the card: a shadow effect set on the card
// would send every repaint inside it through the effect, and Qt then keeps
// showing an old picture of the card (the bar stayed empty while the count
// beside it moved on).
QPixmap cardShadow(QSize size) {
  QPainterPath card;
  card.addRoundedRect(QRectF(QPointF(0, 0), size), kCornerRadius, kCornerRadius);
  QGraphicsScene scene;
  QGraphicsPathItem* item = scene.addPath(card, Qt::NoPen, Qt::black);
  auto* shadow = new QGraphicsDropShadowEffect;
  shadow->setBlurRadius(kShadowRadius);
  shadow->setOffset(0, 0);
  shadow->setColor(QColor(0, 0, 0, 84));
  item->setGraphicsEffect(shadow);

  QImage image(size + QSize(2 * kShadowMargin, 2 * kShadowMargin),
               QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  scene.render(&painter, QRectF(image.rect()),
               QRectF(-kShadowMargin, -kShadowMargin, image.width(), image.height()));
  // Only what lies outside the card is shadow; the card's own antialiased
  // edge must not darken.
  painter.setCompositionMode(QPainter::CompositionMode_Clear);
  painter.fillPath(card.translated(kShadowMargin, kShadowMargin), Qt::black);
  painter.end();
  return QPixmap::fromImage(image);
}

// The card's rounded background.
class Card : public QWidget {
 public:
  explicit Card(QWidget* parent) : QWidget(parent) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    painter.fillPath(path, palette().color(QPalette::Window));
  }
};

}  // namespace

ProgressOverlay::ProgressOverlay(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_NoMousePropagation);
  setMouseTracking(true);

  card_ = new Card(this);
  card_->installEventFilter(this);

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
  // The shadow reaches past the card, where a move of the card alone would
  // leave it behind.
  if (watched == card_ && (event->type() == QEvent::Resize || event->type() == QEvent::Move)) {
    update();
  }
  return QWidget::eventFilter(watched, event);
}

void ProgressOverlay::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(0, 0, 0, qRound(255 * 0.08)));
  if (shadow_.isNull() || shadowSize_ != card_->size()) {
    shadowSize_ = card_->size();
    shadow_ = cardShadow(shadowSize_);
  }
  painter.drawPixmap(card_->pos() - QPoint(kShadowMargin, kShadowMargin), shadow_);
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

#include "app/start/scanning_view.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "app/common/symbols.h"
#include "app/common/texts.h"

namespace ombrix {
namespace {

constexpr int kSpokes = 12;
constexpr int kStepMs = 80;

QAccessibleInterface* spinnerAccessibility(const QString& className, QObject* object) {
  if (className == QLatin1String("ombrix::BusySpinner") && object->isWidgetType()) {
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::ProgressBar);
  }
  return nullptr;
}

}  // namespace

BusySpinner::BusySpinner(int diameter, QWidget* parent) : QWidget(parent), diameter_(diameter) {
  static const bool installed = [] {
    QAccessible::installFactory(spinnerAccessibility);
    return true;
  }();
  (void)installed;
  setFixedSize(diameter_, diameter_);
  setAccessibleName(tr("Busy"));
}

void BusySpinner::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(width() / 2.0, height() / 2.0);
  const double outer = diameter_ / 2.0 - 1;
  const double inner = outer * 0.5;
  QPen pen(palette().color(QPalette::WindowText));
  pen.setWidthF(std::max(2.0, diameter_ / 12.0));
  pen.setCapStyle(Qt::RoundCap);
  for (int spoke = 0; spoke < kSpokes; ++spoke) {
    // The spoke at the current step is darkest; those behind it fade out.
    const int age = (step_ - spoke + kSpokes) % kSpokes;
    QColor color = pen.color();
    color.setAlphaF(std::max(0.15, 1.0 - age / double(kSpokes)));
    pen.setColor(color);
    painter.setPen(pen);
    painter.save();
    painter.rotate(spoke * 360.0 / kSpokes);
    painter.drawLine(QPointF(0, -inner), QPointF(0, -outer + pen.widthF() / 2));
    painter.restore();
  }
}

void BusySpinner::showEvent(QShowEvent*) {
  if (timer_ == 0) timer_ = startTimer(kStepMs);
}

void BusySpinner::hideEvent(QHideEvent*) {
  if (timer_ != 0) killTimer(timer_);
  timer_ = 0;
}

void BusySpinner::timerEvent(QTimerEvent*) {
  step_ = (step_ + 1) % kSpokes;
  update();
}

ScanningView::ScanningView(QWidget* parent) : QWidget(parent) {
  spinner_ = new BusySpinner(32, this);
  text_ = new QLabel(this);
  setTextColor(text_, secondaryColor());
  text_->setAlignment(Qt::AlignCenter);

  auto* layout = new QVBoxLayout(this);
  layout->setSpacing(12);
  layout->addStretch(1);
  layout->addWidget(spinner_, 0, Qt::AlignHCenter);
  layout->addWidget(text_, 0, Qt::AlignHCenter);
  layout->addStretch(1);
  setFolderName(std::nullopt);
}

void ScanningView::setFolderName(const std::optional<std::string>& folderName) {
  text_->setText(tr("Looking through %1…").arg(folderName ? qs(*folderName) : tr("the folder")));
}

}  // namespace ombrix

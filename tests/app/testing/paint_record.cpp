#include "testing/paint_record.h"

#include <QApplication>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QProxyStyle>
#include <QScreen>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QWidget>
#include <cstdlib>

namespace ombrix::testing {
namespace {

// Takes the painter's commands and keeps what a test asks about; lines,
// shapes and fills are dropped.
class RecordingEngine final : public QPaintEngine {
 public:
  explicit RecordingEngine(PaintRecord& record) : QPaintEngine(AllFeatures), record_(record) {}

  bool begin(QPaintDevice*) override { return true; }
  bool end() override { return true; }
  Type type() const override { return User; }

  void updateState(const QPaintEngineState& state) override {
    if (state.state() & DirtyPen) pen_ = state.pen();
    if (state.state() & DirtyTransform) transform_ = state.transform();
  }

  void drawTextItem(const QPointF& at, const QTextItem& item) override {
    record_.texts.push_back({item.text(), transform_.map(at), pen_.color(), item.font().bold()});
  }
  void drawPixmap(const QRectF& rect, const QPixmap& pixmap, const QRectF& source) override {
    drawImage(rect, pixmap.toImage(), source, Qt::AutoColor);
  }
  void drawImage(const QRectF& rect, const QImage& image, const QRectF& source,
                 Qt::ImageConversionFlags) override {
    const QImage part = source.toRect() == image.rect() ? image : image.copy(source.toRect());
    record_.pictures.push_back({transform_.mapRect(rect).toRect(), part});
  }
  void drawTiledPixmap(const QRectF&, const QPixmap&, const QPointF&) override {}
  void drawRects(const QRectF*, int) override {}
  void drawLines(const QLineF*, int) override {}
  void drawEllipse(const QRectF&) override {}
  void drawPath(const QPainterPath&) override {}
  void drawPoints(const QPointF*, int) override {}
  void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}

 private:
  PaintRecord& record_;
  QPen pen_;
  QTransform transform_;
};

// As large as the widget and as dense as the screen, so texts are measured
// and cut as they are on the screen.
class RecordingDevice final : public QPaintDevice {
 public:
  RecordingDevice(PaintRecord& record, QSize size) : engine_(record), size_(size) {}
  ~RecordingDevice() override = default;

  QPaintEngine* paintEngine() const override { return &engine_; }

 protected:
  int metric(PaintDeviceMetric metric) const override {
    const QScreen* screen = QGuiApplication::primaryScreen();
    switch (metric) {
      case PdmWidth:
        return size_.width();
      case PdmHeight:
        return size_.height();
      case PdmWidthMM:
        return size_.width() * 254 / 960;
      case PdmHeightMM:
        return size_.height() * 254 / 960;
      case PdmNumColors:
        return INT_MAX;
      case PdmDepth:
        return 32;
      case PdmDpiX:
      case PdmPhysicalDpiX:
        return qRound(screen->logicalDotsPerInchX());
      case PdmDpiY:
      case PdmPhysicalDpiY:
        return qRound(screen->logicalDotsPerInchY());
      case PdmDevicePixelRatio:
        return 1;
      case PdmDevicePixelRatioScaled:
        return static_cast<int>(devicePixelRatioFScale());
    }
    return 0;
  }

 private:
  mutable RecordingEngine engine_;
  QSize size_;
};

// Writes down what it is asked to draw, then draws it as its base would.
class RecordingStyle final : public QProxyStyle {
 public:
  RecordingStyle(PaintRecord& record, QStyle* base) : QProxyStyle(base), record_(record) {}

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
    add(DrawnElement::Kind::primitive, element, option, painter);
    QProxyStyle::drawPrimitive(element, option, painter, widget);
  }

  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    add(DrawnElement::Kind::control, element, option, painter);
    QProxyStyle::drawControl(element, option, painter, widget);
  }

 private:
  void add(DrawnElement::Kind kind, int element, const QStyleOption* option,
           QPainter* painter) const {
    QString text;
    if (const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option)) {
      text = button->text;
    }
    const QRect rect = painter ? painter->deviceTransform().mapRect(option->rect) : option->rect;
    record_.elements.push_back({kind, element, option->state, rect, text});
  }

  PaintRecord& record_;
};

}  // namespace

PaintRecord PaintRecord::within(const QRect& area) const {
  PaintRecord out;
  for (const DrawnText& text : texts) {
    if (area.contains(text.at.toPoint())) out.texts.push_back(text);
  }
  for (const DrawnPicture& picture : pictures) {
    if (area.intersects(picture.rect)) out.pictures.push_back(picture);
  }
  for (const DrawnElement& element : elements) {
    if (area.intersects(element.rect)) out.elements.push_back(element);
  }
  return out;
}

std::vector<DrawnElement> PaintRecord::primitives(QStyle::PrimitiveElement element) const {
  return ofKind(DrawnElement::Kind::primitive, element);
}

std::vector<DrawnElement> PaintRecord::controls(QStyle::ControlElement element) const {
  return ofKind(DrawnElement::Kind::control, element);
}

std::vector<DrawnElement> PaintRecord::ofKind(DrawnElement::Kind kind, int element) const {
  std::vector<DrawnElement> out;
  for (const DrawnElement& drawn : elements) {
    if (drawn.kind == kind && drawn.element == element) out.push_back(drawn);
  }
  return out;
}

QStringList PaintRecord::textList() const {
  QStringList out;
  for (const DrawnText& text : texts) out << text.text;
  return out;
}

PaintRecord recordPaint(QWidget* widget) {
  PaintRecord record;
  RecordingStyle style(record, QStyleFactory::create(QApplication::style()->name()));
  widget->setStyle(&style);
  {
    RecordingDevice device(record, widget->size());
    QPainter painter(&device);
    widget->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
  }
  widget->setStyle(nullptr);
  return record;
}

std::optional<QColor> colorOfSymbol(const QImage& drawn, Symbol symbol) {
  const QImage image = drawn.convertToFormat(QImage::Format_ARGB32);
  const QImage plain =
      symbolIcon(symbol).pixmap(image.size()).toImage().convertToFormat(QImage::Format_ARGB32);
  if (plain.size() != image.size()) return std::nullopt;
  // The colour is that of the most opaque point, where the tint shows
  // unblended; the tint scales the symbol's opacity by the colour's own.
  QRgb strongest = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (qAlpha(image.pixel(x, y)) > qAlpha(strongest)) strongest = image.pixel(x, y);
    }
  }
  const int opacity = qAlpha(strongest);
  if (opacity == 0) return std::nullopt;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const int expected = qAlpha(plain.pixel(x, y)) * opacity / 255;
      if (std::abs(qAlpha(image.pixel(x, y)) - expected) > 2) return std::nullopt;
    }
  }
  return QColor(qRed(strongest), qGreen(strongest), qBlue(strongest), opacity);
}

}  // namespace ombrix::testing

#include "testing/shown_texts.h"

#include <QFontMetricsF>
#include <QGradient>
#include <QImage>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainterPath>
#include <QPixmap>
#include <QTextItem>
#include <QWidget>
#include <optional>

namespace ombrix::testing {
namespace {

QColor over(const QColor& top, const QColor& below) {
  const double alpha = top.alphaF();
  auto channel = [alpha](double a, double b) {
    return qRound((a * alpha + b * (1 - alpha)) * 255);
  };
  return QColor(channel(top.redF(), below.redF()), channel(top.greenF(), below.greenF()),
                channel(top.blueF(), below.blueF()));
}

QColor brushColor(const QBrush& brush) {
  if (const QGradient* gradient = brush.gradient()) {
    // A bevel's gradient is close to flat; its middle stands for it.
    const QGradientStops stops = gradient->stops();
    if (stops.isEmpty()) return Qt::transparent;
    const QColor first = stops.front().second;
    const QColor last = stops.back().second;
    return QColor((first.red() + last.red()) / 2, (first.green() + last.green()) / 2,
                  (first.blue() + last.blue()) / 2, (first.alpha() + last.alpha()) / 2);
  }
  if (!brush.textureImage().isNull()) return Qt::transparent;
  return brush.color();
}

// One fill, in the device's coordinates: a flat colour, or an image drawn
// into a rectangle, whose pixel under a point is what shows there.
struct Fill {
  QPainterPath area;
  QColor color;
  QImage image;
  QRectF target;
  QRectF source;

  std::optional<QColor> at(const QPointF& point) const {
    if (!area.contains(point)) return std::nullopt;
    if (image.isNull()) return color;
    const QPointF inImage(
        source.left() + (point.x() - target.left()) * source.width() / target.width(),
        source.top() + (point.y() - target.top()) * source.height() / target.height());
    const QPoint pixel = inImage.toPoint();
    if (!image.rect().contains(pixel)) return std::nullopt;
    return image.pixelColor(pixel);
  }
};

struct Drawn {
  QString text;
  QColor pen;
  QPointF middle;
  QFont font;
  std::size_t fillsBefore;
};

class RecordingEngine : public QPaintEngine {
 public:
  RecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}

  bool begin(QPaintDevice*) override { return true; }
  bool end() override { return true; }
  Type type() const override { return QPaintEngine::User; }

  void updateState(const QPaintEngineState& state) override {
    const QPaintEngine::DirtyFlags flags = state.state();
    if (flags & DirtyTransform) transform_ = state.transform();
    if (flags & DirtyPen) pen_ = state.pen();
    if (flags & DirtyBrush) brush_ = state.brush();
    if (flags & DirtyOpacity) opacity_ = state.opacity();
  }

  void drawRects(const QRectF* rects, int count) override {
    for (int i = 0; i < count; ++i) {
      QPainterPath path;
      path.addRect(rects[i]);
      fillPath(path);
    }
  }
  void drawRects(const QRect* rects, int count) override {
    for (int i = 0; i < count; ++i) {
      const QRectF rect(rects[i]);
      drawRects(&rect, 1);
    }
  }
  void drawPath(const QPainterPath& path) override { fillPath(path); }
  void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override {
    if (mode == PolylineMode) return;
    QPolygonF polygon;
    for (int i = 0; i < count; ++i) polygon << points[i];
    QPainterPath path;
    path.addPolygon(polygon);
    fillPath(path);
  }
  void drawPolygon(const QPoint* points, int count, PolygonDrawMode mode) override {
    QList<QPointF> converted;
    for (int i = 0; i < count; ++i) converted << QPointF(points[i]);
    drawPolygon(converted.constData(), count, mode);
  }
  void drawPixmap(const QRectF& target, const QPixmap& pixmap, const QRectF& source) override {
    drawImage(target, pixmap.toImage(), source, Qt::AutoColor);
  }
  void drawImage(const QRectF& target, const QImage& image, const QRectF& source,
                 Qt::ImageConversionFlags) override {
    Fill fill;
    fill.area.addRect(target);
    fill.area = transform_.map(fill.area);
    fill.target = transform_.mapRect(target);
    fill.image = image.convertToFormat(QImage::Format_ARGB32);
    // The image's own pixels, whatever its scale for the screen.
    fill.source = QRectF(source.topLeft() * image.devicePixelRatio(),
                         source.size() * image.devicePixelRatio());
    fills.push_back(fill);
  }
  void drawTiledPixmap(const QRectF& target, const QPixmap& pixmap, const QPointF&) override {
    drawImage(target, pixmap.toImage(), QRectF(QPointF(0, 0), pixmap.size()), Qt::AutoColor);
  }
  void drawTextItem(const QPointF& origin, const QTextItem& item) override {
    const QFontMetricsF metrics(item.font());
    const QPointF middle(origin.x() + metrics.horizontalAdvance(item.text()) / 2,
                         origin.y() - (metrics.ascent() - metrics.descent()) / 2);
    QColor pen = pen_.color();
    pen.setAlphaF(pen.alphaF() * opacity_);
    texts.push_back({item.text(), pen, transform_.map(middle), item.font(), fills.size()});
  }

  std::vector<Fill> fills;
  std::vector<Drawn> texts;

 private:
  void fillPath(const QPainterPath& path) {
    if (brush_.style() == Qt::NoBrush) return;
    QColor color = brushColor(brush_);
    color.setAlphaF(color.alphaF() * opacity_);
    if (color.alpha() == 0) return;
    fills.push_back({transform_.map(path), color, {}, {}, {}});
  }

  QTransform transform_;
  QPen pen_;
  QBrush brush_;
  double opacity_ = 1;
};

class RecordingDevice : public QPaintDevice {
 public:
  RecordingDevice(QSize size, int dpi) : size_(size), dpi_(dpi) {}
  QPaintEngine* paintEngine() const override { return &engine_; }
  RecordingEngine& engine() { return engine_; }

 protected:
  int metric(PaintDeviceMetric metric) const override {
    switch (metric) {
      case PdmWidth:
        return size_.width();
      case PdmHeight:
        return size_.height();
      case PdmWidthMM:
        return size_.width() * 254 / (dpi_ * 10);
      case PdmHeightMM:
        return size_.height() * 254 / (dpi_ * 10);
      case PdmNumColors:
        return 0x7fffffff;
      case PdmDepth:
        return 32;
      case PdmDpiX:
      case PdmDpiY:
      case PdmPhysicalDpiX:
      case PdmPhysicalDpiY:
        return dpi_;
      case PdmDevicePixelRatio:
        return 1;
      case PdmDevicePixelRatioScaled:
        return static_cast<int>(devicePixelRatioFScale());
    }
    return 0;
  }

 private:
  QSize size_;
  int dpi_;
  mutable RecordingEngine engine_;
};

}  // namespace

std::vector<ShownText> shownTexts(QWidget* widget) {
  RecordingDevice device(widget->size(), widget->logicalDpiY());
  widget->render(&device);
  std::vector<QRect> disabled;
  for (QWidget* child : widget->findChildren<QWidget*>()) {
    if (child->isVisible() && !child->isEnabled()) {
      disabled.push_back(QRect(child->mapTo(widget, QPoint(0, 0)), child->size()));
    }
  }
  const RecordingEngine& engine = device.engine();
  std::vector<ShownText> shown;
  for (const Drawn& drawn : engine.texts) {
    if (drawn.text.trimmed().isEmpty()) continue;
    bool inDisabled = false;
    for (const QRect& area : disabled)
      inDisabled = inDisabled || area.contains(drawn.middle.toPoint());
    if (inDisabled) continue;
    QColor background = Qt::black;
    for (std::size_t i = 0; i < drawn.fillsBefore; ++i) {
      if (auto color = engine.fills[i].at(drawn.middle)) background = over(*color, background);
    }
    shown.push_back({drawn.text, over(drawn.pen, background), background,
                     drawn.font.pointSizeF() > 0
                         ? drawn.font.pointSizeF()
                         : drawn.font.pixelSize() * 72.0 / widget->logicalDpiY(),
                     drawn.font.bold()});
  }
  return shown;
}

QPalette darkPalette() {
  QPalette palette;
  const QColor window(0x24, 0x24, 0x24);
  const QColor view(0x1e, 0x1e, 0x1e);
  const QColor text(0xff, 0xff, 0xff);
  const QColor button(0x33, 0x33, 0x33);
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    palette.setColor(group, QPalette::Window, window);
    palette.setColor(group, QPalette::WindowText, text);
    palette.setColor(group, QPalette::Base, view);
    palette.setColor(group, QPalette::AlternateBase, QColor(0x2a, 0x2a, 0x2a));
    palette.setColor(group, QPalette::Text, text);
    palette.setColor(group, QPalette::Button, button);
    palette.setColor(group, QPalette::ButtonText, text);
    palette.setColor(group, QPalette::BrightText, text);
    palette.setColor(group, QPalette::Light, QColor(0x4a, 0x4a, 0x4a));
    palette.setColor(group, QPalette::Midlight, QColor(0x3a, 0x3a, 0x3a));
    palette.setColor(group, QPalette::Mid, QColor(0x2c, 0x2c, 0x2c));
    palette.setColor(group, QPalette::Dark, QColor(0x18, 0x18, 0x18));
    palette.setColor(group, QPalette::Shadow, Qt::black);
    palette.setColor(group, QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
    palette.setColor(group, QPalette::HighlightedText, text);
    palette.setColor(group, QPalette::ToolTipBase, QColor(0x38, 0x38, 0x38));
    palette.setColor(group, QPalette::ToolTipText, text);
    palette.setColor(group, QPalette::PlaceholderText, QColor(0xff, 0xff, 0xff, 0x80));
    palette.setColor(group, QPalette::Link, QColor(0x78, 0xae, 0xed));
  }
  palette.setColor(QPalette::Disabled, QPalette::Window, window);
  palette.setColor(QPalette::Disabled, QPalette::Base, view);
  palette.setColor(QPalette::Disabled, QPalette::Button, button);
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    palette.setColor(QPalette::Disabled, role, QColor(0xff, 0xff, 0xff, 0x70));
  }
  return palette;
}

}  // namespace ombrix::testing

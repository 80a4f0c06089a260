#include "app/preview/preview_window.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QIcon>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeDatabase>
#include <QPainter>
#include <QPdfDocument>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QStackedLayout>
#include <QStringDecoder>
#include <QStyle>
#include <QThreadPool>
#include <QVBoxLayout>
#include <algorithm>

#include "app/common/texts.h"
#include "app/shell/qt_dispatcher.h"

namespace ombrix {
namespace {

constexpr qint64 kTextBytes = 8 * 1024;
constexpr int kLargestImageSide = 2048;
constexpr int kLargestPageSide = 1600;
constexpr int kIconSize = 128;

QImage readImage(const QString& path) {
  QImageReader reader(path);
  reader.setAutoTransform(true);
  const QSize size = reader.size();
  if (size.isValid() && (size.width() > kLargestImageSide || size.height() > kLargestImageSide)) {
    reader.setScaledSize(size.scaled(kLargestImageSide, kLargestImageSide, Qt::KeepAspectRatio));
  }
  return reader.read();
}

QImage readFirstPage(const QString& path) {
  QPdfDocument document;
  if (document.load(path) != QPdfDocument::Error::None || document.pageCount() < 1) return {};
  const QSizeF points = document.pagePointSize(0);
  if (points.isEmpty()) return {};
  const QSize pixels =
      points.toSize().scaled(kLargestPageSide, kLargestPageSide, Qt::KeepAspectRatio);
  QImage page = document.render(0, pixels);
  if (page.isNull()) return {};
  // A page without a background of its own is white, as on paper.
  QImage paper(page.size(), QImage::Format_RGB32);
  paper.fill(Qt::white);
  QPainter painter(&paper);
  painter.drawImage(0, 0, page);
  return paper;
}

std::optional<QString> readTextStart(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray bytes = file.read(kTextBytes);
  // A character cut by the limit stays in the decoder rather than showing
  // as a replacement character.
  QStringDecoder decoder(QStringDecoder::Utf8);
  return QString(decoder.decode(bytes));
}

}  // namespace

PreviewWindow::PreviewWindow(QWidget* parent) : QWidget(parent, Qt::Tool) {
  // Closing the main window ends the application even while this is open.
  setAttribute(Qt::WA_QuitOnClose, false);
  setMinimumSize(320, 240);
  resize(640, 480);

  pages_ = new QStackedLayout(this);
  blankPage_ = new QWidget(this);
  pages_->addWidget(blankPage_);

  imagePage_ = new QLabel(this);
  imagePage_->setAlignment(Qt::AlignCenter);
  imagePage_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  imagePage_->setMinimumSize(1, 1);
  pages_->addWidget(imagePage_);

  textPage_ = new QPlainTextEdit(this);
  textPage_->setReadOnly(true);
  textPage_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  // The arrow keys page through the files rather than move a cursor.
  textPage_->setFocusPolicy(Qt::NoFocus);
  pages_->addWidget(textPage_);

  detailsPage_ = new QWidget(this);
  auto* details = new QVBoxLayout(detailsPage_);
  details->addStretch(1);
  icon_ = new QLabel(detailsPage_);
  icon_->setAlignment(Qt::AlignCenter);
  name_ = new QLabel(detailsPage_);
  QFont nameFont = name_->font();
  nameFont.setBold(true);
  nameFont.setPointSizeF(nameFont.pointSizeF() * 1.25);
  name_->setFont(nameFont);
  kind_ = new QLabel(detailsPage_);
  size_ = new QLabel(detailsPage_);
  for (QLabel* label : {name_, kind_, size_}) {
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    details->addWidget(label);
  }
  details->insertWidget(1, icon_);
  details->addStretch(1);
  pages_->addWidget(detailsPage_);
}

std::optional<rozuzed::FileURL> PreviewWindow::currentURL() const {
  if (position_ < 0 || position_ >= static_cast<int>(urls_.size())) return std::nullopt;
  return urls_[static_cast<std::size_t>(position_)];
}

QStringList PreviewWindow::shownTexts() const {
  QStringList texts;
  for (QLabel* label : {name_, kind_, size_}) {
    if (!label->isHidden() && !label->text().isEmpty()) texts << label->text();
  }
  return texts;
}

QSize PreviewWindow::drawnImageSize() const {
  const QPixmap pixmap = imagePage_->pixmap();
  return pixmap.isNull() ? QSize() : pixmap.deviceIndependentSize().toSize();
}

QString PreviewWindow::shownText() const {
  return shown_ == Shown::text ? textPage_->toPlainText() : QString();
}

void PreviewWindow::reload(const std::vector<rozuzed::FileURL>& urls) {
  urls_ = urls;
  if (position_ >= static_cast<int>(urls_.size())) position_ = 0;
  stale_ = true;
  if (isVisible()) load();
}

void PreviewWindow::step(int by) {
  const int next = position_ + by;
  if (next < 0 || next >= static_cast<int>(urls_.size())) return;
  position_ = next;
  load();
}

void PreviewWindow::load() {
  stale_ = false;
  const uint64_t generation = ++generation_;
  image_ = QImage();
  const std::optional<rozuzed::FileURL> url = currentURL();
  if (!url) {
    shown_ = Shown::nothing;
    setWindowTitle(QString());
    pages_->setCurrentWidget(blankPage_);
    emit shownChanged();
    return;
  }
  shown_ = Shown::loading;
  const QString name = qs(url->lastPathComponent());
  setWindowTitle(name);
  pages_->setCurrentWidget(blankPage_);

  QPointer<PreviewWindow> self(this);
  QThreadPool::globalInstance()->start([self, generation, path = qs(url->path()), name] {
    Preview preview = read(path, name);
    QtDispatcher().post([self, generation, preview = std::move(preview)] {
      if (self && self->generation_ == generation) self->present(preview);
    });
  });
}

PreviewWindow::Preview PreviewWindow::read(const QString& path, const QString& name) {
  Preview preview;
  preview.name = name;
  const QFileInfo info(path);
  if (!info.exists()) {
    preview.kind = Shown::gone;
    return preview;
  }
  const QMimeType mime = QMimeDatabase().mimeTypeForFile(info);
  preview.kindName = mime.comment();
  preview.iconName = mime.iconName();
  preview.genericIconName = mime.genericIconName();
  if (info.isFile()) preview.size = info.size();
  if (!info.isFile()) return preview;

  if (QImageReader::supportedMimeTypes().contains(mime.name().toLatin1())) {
    preview.image = readImage(path);
    if (!preview.image.isNull()) preview.kind = Shown::image;
  } else if (mime.inherits(QStringLiteral("application/pdf"))) {
    preview.image = readFirstPage(path);
    if (!preview.image.isNull()) preview.kind = Shown::image;
  } else if (mime.inherits(QStringLiteral("text/plain"))) {
    if (std::optional<QString> text = readTextStart(path)) {
      preview.text = *text;
      preview.kind = Shown::text;
    }
  }
  return preview;
}

void PreviewWindow::present(const Preview& preview) {
  shown_ = preview.kind;
  icon_->show();
  kind_->show();
  size_->show();
  switch (preview.kind) {
    case Shown::image:
      image_ = preview.image;
      imagePage_->setAccessibleName(preview.name);
      pages_->setCurrentWidget(imagePage_);
      fitImage();
      break;
    case Shown::text:
      textPage_->setPlainText(preview.text);
      textPage_->setAccessibleName(preview.name);
      pages_->setCurrentWidget(textPage_);
      break;
    case Shown::gone:
      icon_->hide();
      kind_->hide();
      size_->hide();
      name_->setText(tr("“%1” is no longer where it was.").arg(preview.name));
      pages_->setCurrentWidget(detailsPage_);
      break;
    default: {
      QIcon icon = QIcon::fromTheme(preview.iconName, QIcon::fromTheme(preview.genericIconName));
      if (icon.isNull()) icon = style()->standardIcon(QStyle::SP_FileIcon);
      icon_->setPixmap(icon.pixmap(kIconSize, kIconSize));
      name_->setText(preview.name);
      kind_->setText(preview.kindName);
      kind_->setVisible(!preview.kindName.isEmpty());
      size_->setText(preview.size ? formatByteCount(*preview.size) : QString());
      size_->setVisible(preview.size.has_value());
      pages_->setCurrentWidget(detailsPage_);
      break;
    }
  }
  emit shownChanged();
}

void PreviewWindow::fitImage() {
  if (image_.isNull()) return;
  const qreal ratio = devicePixelRatioF();
  const QSize room = imagePage_->size() * ratio;
  QImage fitted = image_;
  if (image_.width() > room.width() || image_.height() > room.height()) {
    fitted = image_.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  }
  QPixmap pixmap = QPixmap::fromImage(fitted);
  pixmap.setDevicePixelRatio(ratio);
  imagePage_->setPixmap(pixmap);
}

void PreviewWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
      step(-1);
      return;
    case Qt::Key_Right:
    case Qt::Key_Down:
      step(1);
      return;
    case Qt::Key_Space:
    case Qt::Key_Escape:
      close();
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

void PreviewWindow::placeBeside(const QWidget* window) {
  const QScreen* screen = window->screen();
  if (screen == nullptr) return;
  const QRect room = screen->availableGeometry();
  const QRect beside = window->frameGeometry();
  constexpr int gap = 12;
  resize(size().boundedTo(room.size()));
  const int width = frameGeometry().width();
  const int height = frameGeometry().height();
  int x = beside.right() + 1 + gap;
  if (x + width - 1 > room.right()) x = beside.left() - gap - width;
  if (x < room.left()) x = room.right() + 1 - width;
  const int y =
      std::clamp(beside.top(), room.top(), std::max(room.top(), room.bottom() + 1 - height));
  move(std::max(x, room.left()), y);
}

void PreviewWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (stale_) load();
}

void PreviewWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (shown_ == Shown::image) fitImage();
}

}  // namespace ombrix

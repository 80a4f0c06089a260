#include "app/shell/app_delegate.h"

#include <QApplication>

#include "app/preview/preview_window.h"

namespace ombrix {
namespace {

QPointer<OmbrixAppDelegate>& currentDelegate() {
  static QPointer<OmbrixAppDelegate> delegate;
  return delegate;
}

}  // namespace

OmbrixAppDelegate::OmbrixAppDelegate(QObject* parent) : QObject(parent) {
  currentDelegate() = this;
}

OmbrixAppDelegate::~OmbrixAppDelegate() {
  delete preview_;
}

OmbrixAppDelegate* OmbrixAppDelegate::current() {
  return currentDelegate();
}

void OmbrixAppDelegate::setPreviewURLs(std::vector<rozuzed::FileURL> urls) {
  previewURLs_ = std::move(urls);
  if (preview_) preview_->reload(previewURLs_);
  emit previewURLsChanged();
}

bool OmbrixAppDelegate::isPreviewVisible() const {
  return preview_ && preview_->isVisible();
}

void OmbrixAppDelegate::togglePreview() {
  if (isPreviewVisible()) {
    preview_->hide();
    return;
  }
  if (!canPreview()) return;
  if (!preview_) {
    preview_ = new PreviewWindow(window_ ? window_.data() : QApplication::activeWindow());
  }
  preview_->reload(previewURLs_);
  if (preview_->parentWidget() != nullptr) preview_->placeBeside(preview_->parentWidget());
  preview_->show();
  preview_->raise();
  preview_->activateWindow();
}

}  // namespace ombrix

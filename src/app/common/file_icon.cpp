#include "app/common/file_icon.h"

#include <QPainter>

#include "app/common/icon_cache.h"
#include "app/common/texts.h"

namespace ombrix {

QIcon FileIcon::icon(const rozuzed::FileURL& url, bool byPath) {
  IconCache& cache = IconCache::shared();
  if (byPath) return cache.iconForPath(qs(url.path()));
  return cache.iconForExtension(qs(url.pathExtension()));
}

FileIcon::FileIcon(rozuzed::FileURL url, bool byPath, int size, QWidget* parent)
    : QWidget(parent), url_(std::move(url)), byPath_(byPath), size_(size) {
  setFixedSize(size_, size_);
  if (byPath_) {
    connect(&IconCache::shared(), &IconCache::pathIconReady, this, [this](const QString& path) {
      if (path == qs(url_.path())) update();
    });
  }
}

void FileIcon::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  icon(url_, byPath_).paint(&painter, rect());
}

}  // namespace ombrix

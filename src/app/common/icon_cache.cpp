#include "app/common/icon_cache.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStyle>

namespace ombrix {
namespace {

// The theme's icon for a MIME type, else the one of its generic kind, else
// Qt's plain file icon.
QIcon iconOfMimeType(const QMimeType& type) {
  QIcon icon = QIcon::fromTheme(type.iconName());
  if (icon.isNull()) icon = QIcon::fromTheme(type.genericIconName());
  if (icon.isNull()) icon = QFileIconProvider().icon(QAbstractFileIconProvider::File);
  if (icon.isNull()) icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
  return icon;
}

}  // namespace

IconCache& IconCache::shared() {
  // Never destroyed: a worker may still post its answer while the process
  // ends, and the icons are the process's for as long as it runs.
  static IconCache* cache = new IconCache;
  return *cache;
}

IconCache::IconCache() {
  workers_.setMaxThreadCount(2);
}

QIcon IconCache::iconForExtension(const QString& extension) {
  const QString key = extension.toLower();
  if (auto found = byType_.constFind(key); found != byType_.constEnd()) return *found;
  const QMimeDatabase database;
  QMimeType type;
  if (!key.isEmpty()) {
    // By name alone: the database reads no file for this.
    const QList<QMimeType> candidates =
        database.mimeTypesForFileName(QStringLiteral("file.") + key);
    if (!candidates.isEmpty()) type = candidates.first();
  }
  if (!type.isValid()) type = database.mimeTypeForName(QStringLiteral("application/octet-stream"));
  const QIcon icon = iconOfMimeType(type);
  byType_.insert(key, icon);
  return icon;
}

QIcon IconCache::iconForPath(const QString& path) {
  if (auto found = byPath_.constFind(path); found != byPath_.constEnd()) return *found;
  if (!pending_.contains(path)) {
    pending_.insert(path);
    workers_.start([this, path] {
      const ItemKind kind = kindOf(path);
      QMetaObject::invokeMethod(
          this, [this, path, kind] { keep(path, kind); }, Qt::QueuedConnection);
    });
  }
  return iconForExtension(QFileInfo(path).suffix());
}

IconCache::ItemKind IconCache::kindOf(const QString& path) {
  const QFileInfo info(path);
  if (info.isSymLink()) return {false, QStringLiteral("inode/symlink")};
  if (info.isDir()) return {true, {}};
  return {false, QMimeDatabase().mimeTypeForFile(info).name()};
}

QIcon IconCache::iconForKind(const ItemKind& kind) {
  if (kind.isFolder) {
    QIcon icon = QFileIconProvider().icon(QAbstractFileIconProvider::Folder);
    if (icon.isNull()) icon = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
    return icon;
  }
  return iconOfMimeType(QMimeDatabase().mimeTypeForName(kind.mimeName));
}

void IconCache::keep(const QString& path, const ItemKind& kind) {
  pending_.remove(path);
  byPath_.insert(path, iconForKind(kind));
  emit pathIconReady(path);
}

}  // namespace ombrix

#include "app/common/icon_cache.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStyle>
#include <algorithm>
#include <initializer_list>

namespace ombrix {
namespace {

// Kinds whose generic icon misleads: shared-mime-info files a disc image
// under blank data and a package under archives. Each has a standard icon
// name that says what it is, for a theme that has no icon of the type's own.
struct Family {
  std::initializer_list<const char*> types;
  std::initializer_list<const char*> iconNames;
};

const Family kFamilies[] = {
    {{"application/x-cd-image", "application/x-raw-disk-image", "application/x-apple-diskimage",
      "application/x-iso9660-image", "application/vnd.efi.iso", "application/vnd.efi.img"},
     {"media-optical", "drive-optical", "drive-harddisk"}},
    {{"application/vnd.debian.binary-package", "application/x-deb", "application/x-rpm",
      "application/x-msi", "application/x-xar", "application/vnd.android.package-archive",
      "application/vnd.flatpak", "application/vnd.flatpak.ref", "application/vnd.snap"},
     {"system-software-install", "application-x-addon"}},
    {{"application/x-executable", "application/x-ms-dos-executable", "application/x-msdownload",
      "application/vnd.microsoft.portable-executable", "application/vnd.appimage"},
     {"application-x-executable"}},
    {{"application/epub+zip", "application/x-mobipocket-ebook", "application/vnd.amazon.ebook",
      "application/vnd.amazon.mobi8-ebook", "application/x-fictionbook+xml", "application/x-cbz",
      "application/vnd.comicbook+zip"},
     {"x-office-document"}},
};

// The standard icon of the type's family, looked for by the type and then
// by what it is a kind of; text never counts as a program, whatever it
// inherits (a script is text first).
QIcon familyIcon(const QMimeType& type) {
  QStringList names{type.name()};
  if (!type.inherits(QStringLiteral("text/plain"))) names += type.allAncestors();
  for (const QString& name : names) {
    for (const Family& family : kFamilies) {
      const bool member =
          std::any_of(family.types.begin(), family.types.end(),
                      [&](const char* each) { return name == QLatin1String(each); });
      if (!member) continue;
      for (const char* iconName : family.iconNames) {
        QIcon icon = QIcon::fromTheme(QString::fromLatin1(iconName));
        if (!icon.isNull()) return icon;
      }
    }
  }
  return {};
}

// The theme's icon for a MIME type, else its family's, else the one of its
// generic kind, else Qt's plain file icon.
QIcon iconOfMimeType(const QMimeType& type) {
  QIcon icon = QIcon::fromTheme(type.iconName());
  if (icon.isNull()) icon = familyIcon(type);
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

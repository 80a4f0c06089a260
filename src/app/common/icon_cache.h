// The icons of file rows, asked of the icon theme once per key and kept for
// the life of the process.
#pragma once

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>

namespace ombrix {

// One per process, made on first use and never destroyed; main thread only.
// Every answer is a non-null icon, and a key once answered is answered with
// the same QIcon (the same cacheKey) from then on.
//
// By extension the answer comes from the MIME database and the icon theme,
// which reads no file of the user's. By path it needs the item itself, so
// its kind (folder, link, MIME type) is found on a worker thread: until then
// the path is answered with its extension's icon, and `pathIconReady` tells
// when the item's own icon has taken over.
class IconCache : public QObject {
  Q_OBJECT

 public:
  static IconCache& shared();

  // The icon of the file kind named by `extension` (without the dot; may be
  // empty), keyed by the lower-cased extension. An unknown extension gets
  // the icon of plain data.
  QIcon iconForExtension(const QString& extension);

  // The icon of the item at `path`, keyed by the exact text. Never waits on
  // the disk: the first request starts the lookup and answers with the
  // extension's icon.
  QIcon iconForPath(const QString& path);

  // True once the item at `path` has its own icon.
  bool hasIconForPath(const QString& path) const { return byPath_.contains(path); }

 signals:
  // The item at `path` now has its own icon; emitted once per path.
  void pathIconReady(const QString& path);

 private:
  IconCache();

  // What the worker found out about an item: enough to pick its icon
  // without touching the disk again.
  struct ItemKind {
    bool isFolder = false;
    QString mimeName;
  };
  static ItemKind kindOf(const QString& path);
  QIcon iconForKind(const ItemKind& kind);
  void keep(const QString& path, const ItemKind& kind);

  QHash<QString, QIcon> byType_;
  QHash<QString, QIcon> byPath_;
  QSet<QString> pending_;
  QThreadPool workers_;
};

}  // namespace ombrix

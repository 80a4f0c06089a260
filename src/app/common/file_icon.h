// The small icon that starts every file row.
#pragma once

#include <QIcon>
#include <QWidget>

#include "rozuzed/support/file_url.h"

namespace ombrix {

// The icon of a file, by the kind its extension names or by the item at its
// path, from the process's IconCache. Delegates draw `icon()` in their cells;
// the widget is for a single file shown outside a list, and redraws itself
// once the item's own icon is known.
class FileIcon : public QWidget {
  Q_OBJECT

 public:
  static constexpr int defaultSize = 16;

  // `byPath` false: only the URL's extension counts, so every item with the
  // same extension, file or folder, gets the same icon. `byPath` true: the
  // item's own icon, the extension's until that is known (never waits).
  static QIcon icon(const rozuzed::FileURL& url, bool byPath = false);

  explicit FileIcon(rozuzed::FileURL url, bool byPath = false, int size = defaultSize,
                    QWidget* parent = nullptr);

  QSize sizeHint() const override { return {size_, size_}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  rozuzed::FileURL url_;
  bool byPath_;
  int size_;
};

}  // namespace ombrix

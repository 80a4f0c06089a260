// Stands in for the platform's shared preview panel: a tool window of our
// own that shows one file of a list at a time.
#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <vector>

#include "rozuzed/support/file_url.h"

class QLabel;
class QPlainTextEdit;
class QStackedLayout;

namespace ombrix {

// Shows the file at the current position: an image scaled to fit, the first
// page of a PDF, the start of a text file, or else the file's icon, name,
// kind and size; a file that has moved or gone since is said to be so. Each
// file is read on a worker thread and shown when ready, so the main thread
// never waits on the disk. The arrow keys page through the list; Space and
// Escape close the window. Main thread only.
class PreviewWindow : public QWidget {
  Q_OBJECT

 public:
  enum class Shown { nothing, loading, image, text, details, gone };

  explicit PreviewWindow(QWidget* parent = nullptr);

  // Shows the list anew, keeping the position when it is still inside it.
  void reload(const std::vector<rozuzed::FileURL>& urls);

  // Moves the window beside `window`, to its right where it fits, else to
  // its left, else as near as it can be, always wholly on `window`'s
  // screen, smaller if the screen is.
  void placeBeside(const QWidget* window);

  int position() const { return position_; }
  // The file at the current position, if any.
  std::optional<rozuzed::FileURL> currentURL() const;
  Shown shown() const { return shown_; }
  // The words on show for details and for a file that has gone, line by line.
  QStringList shownTexts() const;
  // The picture on show: an image as read, or a PDF's first page.
  QImage shownImage() const { return image_; }
  // The size the picture is drawn at, fitted to the window.
  QSize drawnImageSize() const;
  QString shownText() const;

 signals:
  // The current file's preview is on show.
  void shownChanged();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // What a worker made of one file.
  struct Preview {
    Shown kind = Shown::details;
    QImage image;
    QString text;
    QString name;
    QString kindName;
    QString iconName;
    QString genericIconName;
    std::optional<int64_t> size;
  };

  static Preview read(const QString& path, const QString& name);
  void step(int by);
  void load();
  void present(const Preview& preview);
  void fitImage();

  std::vector<rozuzed::FileURL> urls_;
  int position_ = 0;
  Shown shown_ = Shown::nothing;
  bool stale_ = true;
  uint64_t generation_ = 0;
  QImage image_;

  QStackedLayout* pages_ = nullptr;
  QWidget* blankPage_ = nullptr;
  QLabel* imagePage_ = nullptr;
  QPlainTextEdit* textPage_ = nullptr;
  QWidget* detailsPage_ = nullptr;
  QLabel* icon_ = nullptr;
  QLabel* name_ = nullptr;
  QLabel* kind_ = nullptr;
  QLabel* size_ = nullptr;
};

}  // namespace ombrix

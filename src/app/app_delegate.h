// The application's preview controller: the review screen hands it the
// highlighted files, and the menu and the context menu show or hide their
// preview through it.
#pragma once

#include <QObject>
#include <QPointer>
#include <vector>

#include "rozuzed/support/file_url.h"

namespace ombrix {

class PreviewWindow;

// One per application, made at start-up and found through `current()`.
// Main thread only.
class OmbrixAppDelegate : public QObject {
  Q_OBJECT

 public:
  explicit OmbrixAppDelegate(QObject* parent = nullptr);
  ~OmbrixAppDelegate() override;

  // The delegate made at start-up, or none.
  static OmbrixAppDelegate* current();

  // The files the preview pages through, in order. Setting it reloads an
  // open preview and never opens one.
  const std::vector<rozuzed::FileURL>& previewURLs() const { return previewURLs_; }
  void setPreviewURLs(std::vector<rozuzed::FileURL> urls);

  bool canPreview() const { return !previewURLs_.empty(); }
  bool isPreviewVisible() const;

  // Hides a shown preview, even with nothing to preview; otherwise shows one
  // when there is something to preview.
  void togglePreview();

  // The preview window, once it has been made.
  PreviewWindow* previewWindow() const { return preview_; }

 signals:
  void previewURLsChanged();

 private:
  std::vector<rozuzed::FileURL> previewURLs_;
  QPointer<PreviewWindow> preview_;
};

}  // namespace ombrix

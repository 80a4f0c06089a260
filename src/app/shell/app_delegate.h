// The application's preview controller: the review screen hands it the
// highlighted files, and the menu and the context menu show or hide their
// preview through it.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <vector>

#include "app/preview/preview_window.h"
#include "rozuzed/support/file_url.h"

namespace ombrix {

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

  // The window the preview stays above; the active window when none.
  void setWindow(QWidget* window) { window_ = window; }

 signals:
  void previewURLsChanged();

 private:
  std::vector<rozuzed::FileURL> previewURLs_;
  QPointer<PreviewWindow> preview_;
  QPointer<QWidget> window_;
};

}  // namespace ombrix

// The window's content area: one screen for the model's phase, with the
// progress overlay over it while files are being moved.
#pragma once

#include <QWidget>
#include <memory>

#include "app/shell/observations.h"
#include "sortappkit/app_model.h"

class QPushButton;
class QStackedWidget;

namespace ombrix {

class ProgressOverlay;

// Shows an EmptyStateView, a ScanningView, a ReviewView (for review and for
// applying, under the overlay) or a ResultView. Review and applying share one
// ReviewView, so what the user highlighted survives a sort that failed; any
// other change of screen makes a new one. Main thread only.
class ContentView : public QWidget {
  Q_OBJECT

 public:
  explicit ContentView(std::shared_ptr<sortappkit::AppModel> model, QWidget* parent = nullptr);

  // The screen on show.
  QWidget* screen() const { return screen_; }
  // The shown screen's default button, which Return presses; none on the
  // scanning screen.
  QPushButton* defaultButton() const;
  // The result screen's Undo button while it is shown, which Ctrl+Z presses.
  QPushButton* shownUndoButton() const;
  ProgressOverlay* overlay() const { return overlay_; }

  // The message of the interrupted-run alert: one line per fact, joined
  // with "\n", the first five entries needing attention listed.
  static QString recoveryMessage(const sortappkit::RecoverySummary& summary);

 signals:
  // A new screen is on show.
  void screenChanged(QWidget* screen);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  enum class Kind { empty, scanning, review, result };

  static Kind kindFor(sortappkit::AppModel::Phase phase);
  void showPhase(sortappkit::AppModel::Phase phase);
  void updateScanningName();
  void scheduleOverlay();
  void updateOverlay();

  std::shared_ptr<sortappkit::AppModel> model_;
  QStackedWidget* stack_ = nullptr;
  QWidget* screen_ = nullptr;
  Kind kind_ = Kind::empty;
  ProgressOverlay* overlay_ = nullptr;
  bool overlayPending_ = false;
  Observations observations_;
};

}  // namespace ombrix

// The application's one window: the menus, the toolbar, the content area
// with one screen per phase, the history sheet, and the alerts for an
// interrupted run and for the current problem.
#pragma once

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <memory>
#include <optional>

#include "app/history/history_view.h"
#include "app/shell/observations.h"
#include "sortappkit/app_model.h"

class QAction;
class QToolBar;

namespace ombrix {

class ContentView;
class OmbrixAppDelegate;
class OmbrixCommands;

// Everything it shows follows the model; every action is one model
// operation or the folder picker. When first shown it starts the launch
// work (`restoreFolder()`) once.
//
// Keys: Return presses the focused push or tool button, else the shown
// screen's default button, and the window holds the one Ctrl+Z binding,
// which presses the result screen's Undo while it is shown and is the menu's
// Undo otherwise.
//
// The two alerts follow the model alone: the interrupted-run alert is up
// exactly while `recovery()` holds a notice, the problem alert while
// `problem()` holds one (dismissing it clears the problem). The problem
// comes first: a notice on show steps aside for it and comes back after.
//
// Nothing goes on unseen: closing the window while a sort or an undo runs
// asks the run to stop before its next file and keeps the window, with its
// progress, until the run has ended; then the window closes. Each time the
// window comes to the front it reads the history again, since another copy
// of the program may have sorted or undone meanwhile.
// Main thread only.
class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // `delegate` may be none; the preview then stays off.
  MainWindow(std::shared_ptr<sortappkit::AppModel> model, OmbrixAppDelegate* delegate,
             QWidget* parent = nullptr);
  ~MainWindow() override;

  static constexpr QSize minimumContentSize{720, 480};
  static constexpr QSize firstSize{960, 640};

  // Takes the size, place and maximised state the window had when last
  // closed, if it lies on a screen there is now; otherwise the first size.
  void placeAsRemembered();

  ContentView* content() const { return content_; }
  OmbrixCommands* commands() const { return commands_; }
  QToolBar* toolBar() const { return toolBar_; }
  // The folder button (present with a folder), History and Rescan (present
  // with a folder).
  QAction* folderAction() const { return folderAction_; }
  QAction* historyAction() const { return historyAction_; }
  QAction* rescanAction() const { return rescanAction_; }

  // The history sheet while it is shown.
  HistoryView* historySheet() const { return history_; }
  // The alerts while they are shown.
  QMessageBox* recoveryAlert() const { return recoveryAlert_; }
  QMessageBox* problemAlert() const { return problemAlert_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  QMenu* createPopupMenu() override;

 private:
  void buildToolBar();
  void updateToolBar();
  void fitFolderTitle();
  void chooseFolder();
  void showHistory();
  void routeUndo();
  void syncAlerts();
  void showProblem(const sortappkit::AppModel::Problem& problem);
  void showRecovery(const sortappkit::RecoverySummary& summary);
  void dropAlert(QPointer<QMessageBox>& alert);

  std::shared_ptr<sortappkit::AppModel> model_;
  ContentView* content_ = nullptr;
  OmbrixCommands* commands_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  QAction* folderAction_ = nullptr;
  QAction* historyAction_ = nullptr;
  QAction* rescanAction_ = nullptr;
  QString folderTitle_;
  QPointer<HistoryView> history_;
  QPointer<QMessageBox> recoveryAlert_;
  QPointer<QMessageBox> problemAlert_;
  std::optional<sortappkit::AppModel::Problem> shownProblem_;
  std::optional<sortappkit::RecoverySummary> shownRecovery_;
  bool launched_ = false;
  // Closing waits for the run under way to stop.
  bool closeWhenIdle_ = false;
  Observations observations_;
};

}  // namespace ombrix

// The menu bar's commands: choosing and rescanning the folder, undoing the
// most recent run that can still be undone, and the preview.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

#include "app/shell/observations.h"
#include "sortappkit/app_model.h"

class QAction;
class QMainWindow;

namespace ombrix {

class OmbrixAppDelegate;

// Adds the File, Edit and View menus to the window's menu bar. Titles and
// enabled states follow the model and the delegate as they change; every
// command starts one model or delegate operation. Main thread only.
//
// The Undo item shows Ctrl+Z but does not bind it: the window owns the one
// Ctrl+Z binding and sends it here or to the result screen's Undo button,
// since two bindings of one key would both go dead.
class OmbrixCommands : public QObject {
  Q_OBJECT

 public:
  // `delegate` may be none: Quick Look then stays disabled.
  OmbrixCommands(std::shared_ptr<sortappkit::AppModel> model, OmbrixAppDelegate* delegate,
                 QMainWindow* window);

  // "Undo", or "Undo Sorting 3 Files" for the most recent run that can
  // still be undone; built text, never translated.
  static QString undoTitle(const sortappkit::AppModel& model);

  QAction* chooseFolderAction() const { return chooseFolder_; }
  QAction* rescanAction() const { return rescan_; }
  QAction* quitAction() const { return quit_; }
  QAction* undoAction() const { return undo_; }
  QAction* quickLookAction() const { return quickLook_; }

 private:
  void update();

  std::shared_ptr<sortappkit::AppModel> model_;
  QPointer<OmbrixAppDelegate> delegate_;
  QMainWindow* window_;
  QAction* chooseFolder_ = nullptr;
  QAction* rescan_ = nullptr;
  QAction* quit_ = nullptr;
  QAction* undo_ = nullptr;
  QAction* quickLook_ = nullptr;
  Observations observations_;
};

}  // namespace ombrix

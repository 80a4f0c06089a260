// The application as it starts: its journal, its one engine and model, the
// application delegate and the one window.
#pragma once

#include <QString>
#include <memory>
#include <optional>
#include <string>

#include "sortappkit/app_model.h"

class QApplication;

namespace ombrix {

class MainWindow;
class OmbrixAppDelegate;

// Built once per process on the main thread, after the application object.
// Opens the journal at its default place; when that fails for any reason it
// keeps going with the process-wide journal in memory and starts the model
// with the problem that says so. The window is made but not yet shown.
class OmbrixApp {
 public:
  OmbrixApp();
  ~OmbrixApp();
  OmbrixApp(const OmbrixApp&) = delete;
  OmbrixApp& operator=(const OmbrixApp&) = delete;

  // Names the application, picks its icon theme and translation, makes
  // closing the last window quit, and has large blocks of memory given back
  // to the system once freed. Before an OmbrixApp is built.
  static void prepare(QApplication& app);

  // The start-up problem when the journal could not be opened, the failure
  // described by `reason`.
  static sortappkit::AppModel::Problem journalUnavailable(const std::string& reason);

  // Shows the window at its first size.
  void show();

  const std::shared_ptr<sortappkit::AppModel>& model() const { return model_; }
  OmbrixAppDelegate& delegate() const { return *delegate_; }
  MainWindow& window() const { return *window_; }

 private:
  std::shared_ptr<sortappkit::AppModel> model_;
  std::unique_ptr<OmbrixAppDelegate> delegate_;
  std::unique_ptr<MainWindow> window_;
};

}  // namespace ombrix

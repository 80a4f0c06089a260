// The application as its entry builds it (journal, engine, model, delegate
// and window), over a WindowFixture's scratch folders, with ways to drive it
// by keys and clicks as a user would.
#pragma once

#include <QKeySequence>
#include <QMessageBox>
#include <memory>
#include <ostream>
#include <string>

#include "app/shell/main_window.h"
#include "app/shell/ombrix_app.h"
#include "testing/window_fixture.h"

class QAction;

// Shows a QString as its text in a test's failure message.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace ombrix::testing {

// Runs the event loop and `engine` until neither has anything left to do:
// every operation started so far has ended.
void quiesce(sortappkit::SortEngine& engine);

// The visible alert of the application, if one is up.
QMessageBox* visibleAlert();

class ShellFixture : public WindowFixture {
 public:
  // The journal is the application's own to open.
  ShellFixture() : WindowFixture(false) {}
  ~ShellFixture();

  // Builds the application, shows its window and waits until it is active
  // and its launch work has ended.
  void start();
  // Starts, chooses the folder with Ctrl+O and waits for its scan; true
  // when its review is on show.
  bool startInReview();

  OmbrixApp& app() { return *app_; }
  MainWindow& window() { return app_->window(); }
  sortappkit::AppModel& model() { return *app_->model(); }

  void quiesce() { testing::quiesce(*model().engine()); }

  // Presses a key where the keyboard is: the focused widget, else the
  // active window.
  void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
  // Clicks the toolbar button of `action`.
  void clickToolBar(QAction* action);

  QMessageBox* alert() const { return visibleAlert(); }
  // Clicks the alert's button named `text` and waits until the alert is
  // gone; throws std::runtime_error when it stays.
  void answerAlert(const QString& text);

  // The texts of the visible labels inside `widget`.
  static QStringList labelTexts(const QWidget* widget);

  std::string remembered() const;

 private:
  std::unique_ptr<OmbrixApp> app_;
};

}  // namespace ombrix::testing

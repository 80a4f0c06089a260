#include "testing/shell_fixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QToolBar>
#include <stdexcept>

#include "sortappkit/folder_access/user_defaults_bookmark_store.h"

namespace ombrix::testing {

void quiesce(sortappkit::SortEngine& engine) {
  // Each round lets the engine finish what it was given and the main
  // thread take the results, which may start the next step.
  for (int round = 0; round < 8; ++round) {
    sortappkit::awaitEngine<std::vector<rozuzed::BatchSummary>>(
        [&engine](auto done) { engine.recentBatches(1, done); });
    settle();
  }
}

QMessageBox* visibleAlert() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    if (box != nullptr && box->isVisible()) return box;
  }
  return nullptr;
}

ShellFixture::~ShellFixture() {
  if (app_) quiesce();
  app_.reset();
}

void ShellFixture::start() {
  app_ = std::make_unique<OmbrixApp>();
  app_->show();
  window().activateWindow();
  if (!QTest::qWaitForWindowActive(&window())) qWarning("the window never became active");
  quiesce();
}

bool ShellFixture::startInReview() {
  replacePicker(folderURL());
  start();
  press(Qt::Key_O, Qt::ControlModifier);
  quiesce();
  return model().phase().get() == sortappkit::AppModel::Phase::review;
}

void ShellFixture::press(int key, Qt::KeyboardModifiers modifiers) {
  // A dialog that is up has the keyboard. The offscreen platform makes
  // neither it nor the window after it active as a window manager would,
  // so keys go to the dialog's own focus, and the window is made active
  // again for its shortcuts once no dialog is left.
  QWidget* target = nullptr;
  if (QWidget* modal = QApplication::activeModalWidget()) {
    target = modal->focusWidget();
    if (target == nullptr || !target->isVisible()) target = modal;
  } else {
    QWidget* active = QApplication::activeWindow();
    if (active == nullptr || !active->isVisible()) {
      window().activateWindow();
      if (!QTest::qWaitForWindowActive(&window())) qWarning("the window never became active");
    }
    target = QApplication::focusWidget();
    if (target == nullptr || !target->isVisible()) target = QApplication::activeWindow();
  }
  QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
}

void ShellFixture::clickToolBar(QAction* action) {
  QWidget* button = window().toolBar()->widgetForAction(action);
  if (button == nullptr) return;
  QTest::mouseClick(button, Qt::LeftButton);
}

void ShellFixture::answerAlert(const QString& text) {
  QMessageBox* box = alert();
  if (box == nullptr) return;
  for (QAbstractButton* button : box->buttons()) {
    if (button->text() == text) {
      QPointer<QMessageBox> guard(box);
      QTest::mouseClick(button, Qt::LeftButton);
      if (!waitUntil([&] { return !guard || !guard->isVisible(); })) {
        throw std::runtime_error("the alert stayed after " + text.toStdString());
      }
      settle();
      return;
    }
  }
}

QStringList ShellFixture::labelTexts(const QWidget* widget) {
  QStringList texts;
  for (QLabel* label : widget->findChildren<QLabel*>()) {
    if (label->isVisibleTo(widget) && !label->text().isEmpty()) texts << label->text();
  }
  return texts;
}

std::string ShellFixture::remembered() const {
  return sortappkit::UserDefaultsBookmarkStore()
      .data(sortappkit::AppModel::defaultBookmarkKey)
      .value_or("");
}

}  // namespace ombrix::testing
